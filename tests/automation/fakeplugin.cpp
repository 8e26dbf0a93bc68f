// Stand-ins for the plugin: an entry point with a fixed result, or none. Once the event loop
// runs, they print the override cursor that the viewer's hook left.
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

// The library is well formed but lacks the entry point.
extern "C" Q_DECL_EXPORT int NotTheEntryPoint(int port)
{
    return port;
}

#endif
