#include "viewerprocess.h"

#include "childprocess.h"
#include "xvfbscreen.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

ViewerProcess::ViewerProcess(const QString &pluginDirectory, bool underXvfb)
    : pluginDirectory(pluginDirectory), underXvfb(underXvfb), viewer(new ChildProcess)
{
    // Tests run from the source tree, which holds the icons.
    QFile::link(QDir::current().absoluteFilePath("images"), directory.filePath("images"));
}

ViewerProcess::~ViewerProcess()
{
    viewer->kill();
    viewer->waitForFinished(5000);
}

bool ViewerProcess::fail(const QString &why)
{
    lastError = why + "\nviewer output:\n" + lines().join('\n');
    return false;
}

bool ViewerProcess::writeProfile(const QByteArray &text)
{
    QFile profile(directory.filePath("b7s.conf"));
    return profile.open(QIODevice::WriteOnly) && profile.write(text) == text.size();
}

bool ViewerProcess::start(const QStringList &arguments)
{
    const QString binary = qEnvironmentVariable("PAGE_SCOPE_BINARY");
    if (binary.isEmpty() || !directory.isValid())
        return fail("PAGE_SCOPE_BINARY is not set or no scratch directory");
    if (underXvfb && !xvfb) {
        auto screen = std::make_unique<XvfbScreen>();
        // The long autorepeat delay keeps a key held down by xdotool from repeating.
        if (!screen->start(1024, 768, {"-ardelay", "30000"}))
            return fail(screen->error());
        xvfb = std::move(screen);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", underXvfb ? "xcb" : platform);
    environment.insert("DISPLAY", xvfb ? xvfb->display() : QString());
    environment.insert("LC_ALL", "C.UTF-8");
    environment.insert("LD_LIBRARY_PATH", pluginDirectory);
    output.clear();
    errorOutput.clear();
    viewer->setProcessEnvironment(environment);
    viewer->setWorkingDirectory(directory.path());
    if (errorOutputDiscarded)
        viewer->setStandardErrorFile(QProcess::nullDevice());
    if (launchPrefix.isEmpty())
        viewer->start(binary, arguments);
    else
        viewer->start("/bin/sh",
                      QStringList{"-c", launchPrefix + "exec \"$0\" \"$@\"", binary} + arguments);
    return viewer->waitForStarted(10000) || fail("no start: " + viewer->errorString());
}

bool ViewerProcess::startWithAutomation(const QStringList &arguments)
{
    const QString opened = QString("Squish opened Port: %1").arg(automationPort);
    const QString taken = QString("Squish FAILED to open Port: %1").arg(automationPort);
    // Another run may take the port between our look and the viewer's; then start again.
    const QDeadlineTimer deadline(120000);
    do {
        viewer->kill();
        viewer->waitForFinished(5000);
        if (deadline.hasExpired() || !QTest::qWaitFor(portFree, 120000))
            return fail(QString("port %1 stays busy").arg(automationPort));
        if (!start(arguments))
            return false; // start() has said why
        if (!QTest::qWaitFor([&] { return lines().contains(opened) || lines().contains(taken); },
                             20000))
            return fail("the plugin reports nothing");
    } while (!lines().contains(opened));

    // The port opens before any window exists, and a fresh viewer may be busy with its first
    // render, seconds for a large page.
    client = connectToPlugin(false);
    if (qint64(request({{"cmd", "ping"}}, 30000).value("pid").toDouble()) != processId())
        return fail("no answer, or another process answers on the automation port");
    return QTest::qWaitFor([this] { return !widget("closeButton", QString(), 30000).isEmpty(); },
                           30000) ||
           fail("no main window");
}

bool ViewerProcess::waitForDocument()
{
    return (QTest::qWaitFor([this] { return !widget("verticalScrollBar").isEmpty(); }, 20000) &&
            QTest::qWaitFor([this] { return !showsPageNumber(widgets()); }, 5000)) ||
           fail("no document shown, or its page number stays");
}

QStringList ViewerProcess::lines()
{
    if (viewer->isOpen())
        output += viewer->readAllStandardOutput();
    QStringList lines = QString::fromUtf8(output).split('\n');
    lines.removeLast(); // not finished yet
    return lines;
}

QStringList ViewerProcess::errorLines()
{
    // The pipe is drained by the event loop, which a test waiting on the plugin's socket skips.
    QCoreApplication::processEvents();
    if (viewer->isOpen())
        errorOutput += viewer->readAllStandardError();
    return QString::fromUtf8(errorOutput).split('\n', Qt::SkipEmptyParts);
}

bool ViewerProcess::waitForLine(const QString &line, int timeoutMs)
{
    const auto printed = [&] { return lines().contains(line); };
    return (QTest::qWaitFor([&] { return printed() || !isRunning(); }, timeoutMs) && printed()) ||
           fail("no line: " + line);
}

int ViewerProcess::waitForExit(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs))
        return -1;
    lines();
    return viewer->exitStatus() == QProcess::NormalExit ? viewer->exitCode() : -1;
}

QJsonObject ViewerProcess::requestLine(const QByteArray &line, int timeoutMs)
{
    send(*client, line + '\n');
    const QByteArray answer = readLine(*client, timeoutMs);
    // An answer that came after the wait would be read as the next request's: the next request
    // goes on a connection of its own.
    if (answer.isEmpty() && isRunning()) {
        client->abort();
        client = connectToPlugin(false);
    }
    return QJsonDocument::fromJson(answer).object();
}

QJsonObject ViewerProcess::request(const QJsonObject &request, int timeoutMs)
{
    return requestLine(QJsonDocument(request).toJson(QJsonDocument::Compact), timeoutMs);
}

bool ViewerProcess::key(int qtKey, int timeoutMs)
{
    return request({{"cmd", "key"}, {"key", qtKey}}, timeoutMs).value("ok").toBool();
}

QJsonArray ViewerProcess::widgets(int timeoutMs)
{
    return request({{"cmd", "widgets"}}, timeoutMs).value("widgets").toArray();
}

QJsonObject ViewerProcess::widget(const QString &name, const QString &text, int timeoutMs)
{
    for (const QJsonValue &entry : widgets(timeoutMs)) {
        const QJsonObject widget = entry.toObject();
        if (widget.value("name") == name && (text.isEmpty() || widget.value("text") == text))
            return widget;
    }
    return QJsonObject();
}

QImage ViewerProcess::grab(const QString &name)
{
    QJsonObject grab{{"cmd", "grab"}};
    if (!name.isEmpty())
        grab.insert("name", name);
    const QJsonObject answer = request(grab);
    const QImage image =
        QImage::fromData(QByteArray::fromBase64(answer.value("png").toString().toLatin1()), "PNG");
    // Null unless the answer gives the image's own size.
    const QSize size(answer.value("width").toInt(), answer.value("height").toInt());
    return image.size() == size ? image : QImage();
}

QRect ViewerProcess::geometry(const QJsonObject &widget)
{
    return QRect(widget.value("x").toInt(), widget.value("y").toInt(),
                 widget.value("width").toInt(), widget.value("height").toInt());
}

bool ViewerProcess::showsPageNumber(const QJsonArray &widgets)
{
    const QRegularExpression pageNumber("^\\d+ / \\d+$");
    for (const QJsonValue &entry : widgets)
        if (entry.toObject().value("text").toString().contains(pageNumber))
            return true;
    return false;
}

bool ViewerProcess::portFree()
{
    return QTcpServer().listen(QHostAddress::LocalHost, automationPort);
}

std::unique_ptr<QTcpSocket> ViewerProcess::connectToPlugin(bool served)
{
    std::unique_ptr<QTcpSocket> socket;
    const auto connected = [&] {
        socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, automationPort);
        if (!socket->waitForConnected(10000))
            return false;
        if (served)
            send(*socket, "{\"cmd\":\"ping\"}\n");
        return !served || readLine(*socket).contains("\"ok\":true");
    };
    if (!QTest::qWaitFor(connected, 10000))
        socket->abort();
    return socket;
}

void ViewerProcess::send(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(10000)) {
    }
}

QByteArray ViewerProcess::readLine(QTcpSocket &socket, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!socket.canReadLine() && socket.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    return socket.canReadLine() ? socket.readLine().chopped(1) : QByteArray();
}

bool ViewerProcess::xdotool(const QStringList &arguments)
{
    if (!xvfb)
        return fail("no X server for xdotool");
    const QStringList command = QStringList{"10", "env", "DISPLAY=" + xvfb->display(), "xdotool"};
    return QProcess::execute("timeout", command + arguments) == 0 ||
           fail("xdotool failed: " + arguments.join(' '));
}

bool ViewerProcess::xKey(const QString &key)
{
    // Without a window manager nothing gives the main window the keyboard but us.
    return xdotool({"search", "--sync", "--onlyvisible", "--name", "^PDFViewer$", "windowfocus",
                    "--sync", "key", key});
}

bool ViewerProcess::xClick(const QPoint &screenPoint)
{
    // No --sync: it waits forever when the pointer is already there.
    return xdotool({"mousemove", QString::number(screenPoint.x()), QString::number(screenPoint.y()),
                    "click", "1"});
}
