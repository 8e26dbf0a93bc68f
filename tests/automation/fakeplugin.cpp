// Stand-ins for the plugin: the same library name, and an entry point that answers a fixed
// result, or none at all. Once the event loop runs, the entry point's variants print the
// override cursor that the viewer's hook left, since that is not visible on standard output.
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

#include <iostream>

#ifdef FAKE_PLUGIN_RESULT

extern "C" Q_DECL_EXPORT int Initialise(int)
{
    QTimer::singleShot(0, [] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        std::cout << "override cursor " << (cursor ? int(cursor->shape()) : -1) << std::endl;
    });
    return FAKE_PLUGIN_RESULT;
}

#else

// Something to export, so the library is well formed but lacks the entry point.
extern "C" Q_DECL_EXPORT int NotTheEntryPoint(int port)
{
    return port;
}

#endif
