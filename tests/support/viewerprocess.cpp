#include "viewerprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace {

// A child that is killed when the test process dies, even by CTest's timeout.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override { prctl(PR_SET_PDEATHSIG, SIGKILL); }
};

void stop(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

ViewerProcess::ViewerProcess(const QString &pluginDirectory, bool underXvfb)
    : m_pluginDirectory(pluginDirectory), m_underXvfb(underXvfb), m_viewer(new ChildProcess),
      m_xvfb(new ChildProcess)
{
    // The icons are looked up relative to the working directory; tests run from the source tree.
    QFile::link(QDir::current().absoluteFilePath(QStringLiteral("images")),
                m_directory.filePath(QStringLiteral("images")));
}

ViewerProcess::~ViewerProcess()
{
    m_client.abort();
    stop(*m_viewer);
    stop(*m_xvfb);
}

bool ViewerProcess::fail(const QString &why)
{
    m_error = why + QStringLiteral("\nviewer output:\n") + lines().join(QLatin1Char('\n'));
    return false;
}

bool ViewerProcess::writeProfile(const QByteArray &text)
{
    QFile profile(filePath(QStringLiteral("b7s.conf")));
    return profile.open(QIODevice::WriteOnly) && profile.write(text) == text.size();
}

bool ViewerProcess::startXvfb()
{
    if (m_xvfb->state() == QProcess::Running)
        return true;
    // -displayfd picks a free display number, so parallel runs cannot collide. The long
    // autorepeat delay keeps a key held down by xdotool from repeating.
    m_xvfb->start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-ardelay"), QStringLiteral("30000")});
    QByteArray number;
    const bool answered = QTest::qWaitFor(
        [&] {
            number += m_xvfb->readAllStandardOutput();
            return number.contains('\n') || m_xvfb->state() == QProcess::NotRunning;
        },
        20000);
    if (!answered || !number.contains('\n'))
        return fail(QStringLiteral("Xvfb gave no display: ") + m_xvfb->errorString());
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    return true;
}

bool ViewerProcess::start(const QStringList &arguments)
{
    const QString binary = qEnvironmentVariable("PAGE_SCOPE_BINARY");
    if (binary.isEmpty() || !m_directory.isValid())
        return fail(QStringLiteral("PAGE_SCOPE_BINARY is not set or no scratch directory"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                       m_underXvfb ? QStringLiteral("xcb") : QStringLiteral("offscreen"));
    if (m_underXvfb) {
        if (!startXvfb())
            return false;
        environment.insert(QStringLiteral("DISPLAY"), m_display);
    }
    if (m_pluginDirectory.isEmpty())
        environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    else
        environment.insert(QStringLiteral("LD_LIBRARY_PATH"), m_pluginDirectory);
    m_lines.clear();
    m_partialLine.clear();
    m_viewer->setProcessEnvironment(environment);
    m_viewer->setWorkingDirectory(m_directory.path());
    m_viewer->start(binary, arguments);
    if (!m_viewer->waitForStarted(10000))
        return fail(QStringLiteral("the viewer does not start: ") + m_viewer->errorString());
    return true;
}

bool ViewerProcess::waitForFreePort(int timeoutMs)
{
    return QTest::qWaitFor(
        [] {
            QTcpServer probe;
            return probe.listen(QHostAddress::LocalHost, automationPort);
        },
        timeoutMs);
}

bool ViewerProcess::startWithAutomation(const QStringList &arguments)
{
    const QString opened = QStringLiteral("Squish opened Port: %1").arg(automationPort);
    QElapsedTimer clock;
    clock.start();
    // Another run may take the port between our look and the viewer's; then start again.
    while (!lines().contains(opened)) {
        stop(*m_viewer);
        if (clock.hasExpired(120000) || !waitForFreePort() || !start(arguments))
            return fail(QStringLiteral("port %1 stays busy, or no start").arg(automationPort));
        const auto portLine = [this] {
            return lines().join(QLatin1Char('\n')).contains("Port: ") || !isRunning();
        };
        if (!QTest::qWaitFor(portLine, 20000))
            return fail(QStringLiteral("the plugin reports nothing"));
    }
    m_client.connectToHost(QHostAddress::LocalHost, automationPort);
    if (!m_client.waitForConnected(10000))
        return fail(QStringLiteral("no connection to the plugin"));
    if (qint64(request({{"cmd", "ping"}}).value("pid").toDouble()) != processId())
        return fail(QStringLiteral("another process answers on the automation port"));
    // The port opens before any window exists.
    if (!QTest::qWaitFor([this] { return !widget(QStringLiteral("closeButton")).isEmpty(); },
                         30000))
        return fail(QStringLiteral("no main window"));
    return true;
}

QStringList ViewerProcess::lines()
{
    m_partialLine += m_viewer->readAllStandardOutput();
    int newline;
    while ((newline = m_partialLine.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partialLine.left(newline));
        m_partialLine.remove(0, newline + 1);
    }
    return m_lines;
}

bool ViewerProcess::waitForLine(const QString &line, int timeoutMs)
{
    const auto printed = [&] { return lines().contains(line); };
    return (QTest::qWaitFor([&] { return printed() || !isRunning(); }, timeoutMs) && printed()) ||
           fail(QStringLiteral("no line: ") + line);
}

int ViewerProcess::waitForExit(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs))
        return -1;
    lines();
    return m_viewer->exitStatus() == QProcess::NormalExit ? m_viewer->exitCode() : -1;
}

QJsonObject ViewerProcess::requestLine(const QByteArray &line)
{
    send(m_client, line + '\n');
    return QJsonDocument::fromJson(readLine(m_client)).object();
}

QJsonObject ViewerProcess::request(const QJsonObject &request)
{
    return requestLine(QJsonDocument(request).toJson(QJsonDocument::Compact));
}

QJsonArray ViewerProcess::widgets()
{
    return request({{"cmd", "widgets"}}).value("widgets").toArray();
}

QJsonObject ViewerProcess::widget(const QString &name, const QString &text)
{
    for (const QJsonValue &entry : widgets()) {
        const QJsonObject widget = entry.toObject();
        if (widget.value("name").toString() == name &&
            (text.isEmpty() || widget.value("text").toString() == text))
            return widget;
    }
    return QJsonObject();
}

QImage ViewerProcess::grab(const QString &name)
{
    QJsonObject grab{{"cmd", "grab"}};
    if (!name.isEmpty())
        grab.insert("name", name);
    const QString png = request(grab).value("png").toString();
    return QImage::fromData(QByteArray::fromBase64(png.toLatin1()), "PNG");
}

QRect ViewerProcess::geometry(const QJsonObject &widget)
{
    return QRect(widget.value("x").toInt(), widget.value("y").toInt(),
                 widget.value("width").toInt(), widget.value("height").toInt());
}

std::unique_ptr<QTcpSocket> ViewerProcess::connectToPlugin()
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, automationPort);
    return socket->waitForConnected(10000) ? std::move(socket) : nullptr;
}

void ViewerProcess::send(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(10000)) {
    }
}

QByteArray ViewerProcess::readLine(QTcpSocket &socket, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(int(left)))
            return socket.canReadLine() ? socket.readLine().chopped(1) : QByteArray();
    }
    return socket.readLine().chopped(1);
}

bool ViewerProcess::waitForClosed(QTcpSocket &socket, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && !clock.hasExpired(timeoutMs)) {
        socket.waitForReadyRead(100);
        socket.readAll();
    }
    return socket.state() != QAbstractSocket::ConnectedState;
}

bool ViewerProcess::xdotool(const QStringList &arguments, QByteArray *output)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        tool.kill();
        tool.waitForFinished(1000);
        return fail(QStringLiteral("xdotool %1 failed: %2")
                        .arg(arguments.join(QLatin1Char(' ')),
                             QString::fromLocal8Bit(tool.readAllStandardError())));
    }
    if (output)
        *output = tool.readAllStandardOutput();
    return true;
}

bool ViewerProcess::xKey(const QString &action, const QString &key)
{
    QByteArray found;
    if (m_window.isEmpty() &&
        QTest::qWaitFor(
            [&] {
                return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                QStringLiteral("--name"), QStringLiteral("^PDFViewer$")},
                               &found);
            },
            10000))
        m_window = QString::fromLatin1(found.split('\n').first());
    // Without a window manager nothing gives the window the keyboard but us.
    return !m_window.isEmpty() && xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                           m_window, action, key});
}

bool ViewerProcess::xClick(const QPoint &screenPoint)
{
    // No --sync: it waits forever when the pointer is already there.
    return xdotool({QStringLiteral("mousemove"), QString::number(screenPoint.x()),
                    QString::number(screenPoint.y()), QStringLiteral("click"),
                    QStringLiteral("1")});
}
