#ifndef VIEWERPROCESS_H
#define VIEWERPROCESS_H

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

// The real viewer (PAGE_SCOPE_BINARY) as a device starts it, in a scratch working directory that
// has the icons and whatever profile the test writes there. It loads libSquishPlugin.so.1 from
// the given directory only, runs offscreen or on an X server of its own, and takes real key and
// mouse events through xdotool there. Everything it starts dies with it, and with the test
// process: a viewer left behind would keep the automation port busy for every other run.
class ViewerProcess
{
public:
    static constexpr quint16 automationPort = 5014;

    ViewerProcess(const QString &pluginDirectory, bool underXvfb);
    ~ViewerProcess();
    ViewerProcess(const ViewerProcess &) = delete;
    ViewerProcess &operator=(const ViewerProcess &) = delete;

    QString error() const { return m_error; }
    bool writeProfile(const QByteArray &text);

    bool start(const QStringList &arguments = {});
    // Starts the viewer with the plugin on the automation port and waits for its main window.
    // Other runs on this machine use the same port, so it waits for the port and makes sure the
    // viewer that answers is this one.
    bool startWithAutomation(const QStringList &arguments = {});
    static bool waitForFreePort(int timeoutMs = 120000);

    QStringList lines();
    bool waitForLine(const QString &line, int timeoutMs = 20000);
    bool isRunning() const { return m_viewer->state() != QProcess::NotRunning; }
    // The exit code of a normal exit; -1 after a crash or when the viewer is still running.
    int waitForExit(int timeoutMs = 15000);
    qint64 processId() const { return m_viewer->processId(); }

    // Requests on the connection that startWithAutomation opened.
    QJsonObject request(const QJsonObject &request);
    QJsonObject requestLine(const QByteArray &line);
    QJsonArray widgets();
    // The first listed widget with this object name, or with this text when name is empty.
    QJsonObject widget(const QString &name, const QString &text = QString());
    QImage grab(const QString &name = QString());
    static QRect geometry(const QJsonObject &widget);

    // Further connections to the automation port, for tests of the server's limits; served ones
    // have had a ping answered.
    static std::unique_ptr<QTcpSocket> connectToPlugin(bool served = true);
    static void send(QTcpSocket &socket, const QByteArray &bytes);
    // One line without its newline; empty when none arrives in time.
    static QByteArray readLine(QTcpSocket &socket, int timeoutMs = 10000);
    static bool waitForClosed(QTcpSocket &socket, int timeoutMs = 10000);

    // Real input on the X server: a key as xdotool names it (F3, Escape) pressed and released
    // in the main window, and a left click at a point of the screen.
    bool xKey(const QString &key);
    bool xClick(const QPoint &screenPoint);

private:
    bool fail(const QString &why);
    bool startXvfb();
    bool xdotool(const QStringList &arguments);

    QString m_pluginDirectory;
    bool m_underXvfb;
    QTemporaryDir m_directory;
    std::unique_ptr<QProcess> m_viewer;
    std::unique_ptr<QProcess> m_xvfb;
    QString m_display;
    QString m_window;
    QTcpSocket m_client;
    QByteArray m_partialLine;
    QStringList m_lines;
    QString m_error;
};

#endif // VIEWERPROCESS_H
