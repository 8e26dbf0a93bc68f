// Stand-in plugins for the viewer's hook: the same library name, an entry point that answers
// a fixed result, or none at all. One variant reports the override cursor the hook set.
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

#include <iostream>

#ifdef FAKE_PLUGIN_WITHOUT_ENTRY_POINT

// Something to export, so the library is well formed but lacks the entry point.
extern "C" Q_DECL_EXPORT int NotTheEntryPoint(int port)
{
    return port;
}

#else

extern "C" Q_DECL_EXPORT int Initialise(int port)
{
    (void)port;
#ifdef FAKE_PLUGIN_REPORTS_CURSOR
    // The hook sets the cursor after this returns; look once the event loop runs.
    QTimer::singleShot(0, [] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        std::cout << "fake plugin: override cursor " << (cursor ? int(cursor->shape()) : -1)
                  << std::endl;
    });
#endif
    return FAKE_PLUGIN_RESULT;
}

#endif
