#pragma once

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

class XvfbScreen;

// The real viewer (PAGE_SCOPE_BINARY) in a scratch directory with the icons and the test's profile,
// loading libSquishPlugin.so.1 from the given directory, offscreen or on an X server of its own.
// What it starts dies with it and with the test: a viewer left behind would hold the port.
class ViewerProcess
{
public:
    static constexpr quint16 automationPort = 5014;

    ViewerProcess(const QString &pluginDirectory, bool underXvfb);
    ~ViewerProcess();

    QString error() const { return lastError; }
    bool writeProfile(const QByteArray &text);
    // Shell commands run before the viewer is exec'd, such as "ulimit -v 393216 && ".
    void setLaunchPrefix(const QString &shellCommands) { launchPrefix = shellCommands; }
    // Poppler may write a hundred thousand lines a file, and a test blocked on the plugin's
    // socket reads no pipe: the viewer would stop on a full one.
    void discardErrorOutput() { errorOutputDiscarded = true; }
    // Another Qt platform in place of offscreen, such as "vnc:size=480x272:port=5900".
    void setPlatform(const QString &qpaPlatform) { platform = qpaPlatform; }
    bool start(const QStringList &arguments = {});
    // Waits for the port, which other runs share, then for our viewer's main window to answer.
    bool startWithAutomation(const QStringList &arguments = {});
    // Waits for a page larger than the view and its page number gone: then only input moves it.
    bool waitForDocument();

    QStringList lines();
    QStringList errorLines();
    bool waitForLine(const QString &line, int timeoutMs = 20000);
    bool isRunning() const { return viewer->state() != QProcess::NotRunning; }
    // The exit code of a normal exit; -1 after a crash or while the viewer still runs.
    int waitForExit(int timeoutMs = 15000);
    qint64 processId() const { return viewer->processId(); }

    // On startWithAutomation's connection; empty when no answer comes in time (then a new one).
    QJsonObject request(const QJsonObject &request, int timeoutMs = 10000);
    QJsonObject requestLine(const QByteArray &line, int timeoutMs = 10000);
    // A click of a Qt key through the plugin; true once the viewer has taken it.
    bool key(int qtKey, int timeoutMs = 10000);
    QJsonArray widgets(int timeoutMs = 10000);
    // The first listed widget with this object name and, when given, this text.
    QJsonObject widget(const QString &name, const QString &text = QString(), int timeoutMs = 10000);
    QImage grab(const QString &name = QString());
    static QRect geometry(const QJsonObject &widget);
    // Whether the widgets listed include the page-number overlay, "1 / 3".
    static bool showsPageNumber(const QJsonArray &widgets);

    // Whether no process, ours or another run's viewer, listens on the automation port.
    static bool portFree();
    // A further connection, unconnected when that fails. A served one has had a ping answered,
    // as connections that a test just closed count until the viewer notices.
    static std::unique_ptr<QTcpSocket> connectToPlugin(bool served = true);
    static void send(QTcpSocket &socket, const QByteArray &bytes);
    // One line without its newline; empty when none arrives in time or the connection closes.
    static QByteArray readLine(QTcpSocket &socket, int timeoutMs = 10000);

    // The X server's screen as it shows; null without one.
    const XvfbScreen *screen() const { return xvfb.get(); }

    // Real input: a key as xdotool names it (F3, Escape) in the main window, a left click.
    bool xKey(const QString &key);
    bool xClick(const QPoint &screenPoint);

private:
    bool fail(const QString &why);
    bool xdotool(const QStringList &arguments);

    QString pluginDirectory;
    bool underXvfb;
    QTemporaryDir directory;
    std::unique_ptr<QProcess> viewer;
    std::unique_ptr<XvfbScreen> xvfb;
    std::unique_ptr<QTcpSocket> client = std::make_unique<QTcpSocket>();
    QByteArray output;
    QByteArray errorOutput;
    QString launchPrefix;
    bool errorOutputDiscarded = false;
    QString platform = QStringLiteral("offscreen");
    QString lastError;
};
