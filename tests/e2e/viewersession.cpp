#include "viewersession.h"

#include <poppler-qt5.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <memory>

namespace {

bool poll(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (done())
            return true;
        if (clock.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

ViewerSession::ViewerSession()
{
    // The viewer loads its icons by relative path; the tests run from the source root.
    QFile::link(QDir::current().absoluteFilePath(QStringLiteral("images")),
                directory.filePath(QStringLiteral("images")));
    viewer.setStandardErrorFile(directory.filePath(QStringLiteral(".viewer-stderr")));
}

ViewerSession::~ViewerSession()
{
    if (viewer.state() != QProcess::NotRunning) {
        viewer.kill();
        viewer.waitForFinished(3000);
    }
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        if (!xvfb.waitForFinished(3000)) {
            xvfb.kill();
            xvfb.waitForFinished(3000);
        }
    }
}

QString ViewerSession::path(const QString &name) const
{
    return directory.filePath(name);
}

bool ViewerSession::writeProfile(const QByteArray &text)
{
    QFile profile(path(QStringLiteral("b7s.conf")));
    if (!profile.open(QIODevice::WriteOnly) || profile.write(text) != text.size()) {
        lastError = QStringLiteral("cannot write the profile");
        return false;
    }
    return true;
}

bool ViewerSession::startDisplay()
{
    if (!directory.isValid()) {
        lastError = QStringLiteral("no temporary directory");
        return false;
    }
    // -displayfd picks a free display number and writes it once the server accepts clients.
    // The long autorepeat delay keeps a key that a test holds down from repeating.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screenWidth).arg(screenHeight),
                QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset"),
                QStringLiteral("-ardelay"), QStringLiteral("30000")});
    if (!xvfb.waitForStarted(5000)) {
        lastError = QStringLiteral("Xvfb does not start: ") + xvfb.errorString();
        return false;
    }
    QByteArray number;
    const bool ready = poll(
        [&] {
            xvfb.waitForReadyRead(50);
            number += xvfb.readAllStandardOutput();
            return number.contains('\n') || xvfb.state() == QProcess::NotRunning;
        },
        15000);
    bool isNumber = false;
    number.trimmed().toInt(&isNumber);
    if (!ready || !isNumber) {
        lastError = QStringLiteral("Xvfb gave no display: ") +
                    QString::fromLocal8Bit(xvfb.readAllStandardError());
        return false;
    }
    display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    return true;
}

bool ViewerSession::startViewer(const QString &program, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    viewer.setProcessEnvironment(environment);
    viewer.setWorkingDirectory(directory.path());
    viewer.start(program, arguments);
    if (!viewer.waitForStarted(5000)) {
        lastError = QStringLiteral("the viewer does not start: ") + viewer.errorString();
        return false;
    }
    return true;
}

bool ViewerSession::start(const QStringList &arguments)
{
    const QString binary = qEnvironmentVariable("PAGE_SCOPE_BINARY");
    if (binary.isEmpty()) {
        lastError = QStringLiteral("PAGE_SCOPE_BINARY is not set");
        return false;
    }
    return startDisplay() && startViewer(binary, arguments);
}

bool ViewerSession::startWithShellArguments(const QString &words)
{
    const QString binary = qEnvironmentVariable("PAGE_SCOPE_BINARY");
    if (binary.isEmpty()) {
        lastError = QStringLiteral("PAGE_SCOPE_BINARY is not set");
        return false;
    }
    // exec keeps the process id, so the viewer's windows are still found by it.
    return startDisplay() &&
           startViewer(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("exec \"$0\" ") + words, binary});
}

QByteArray ViewerSession::runX(const QString &program, const QStringList &arguments, int timeoutMs,
                               bool *ok)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    bool finished = tool.waitForStarted(5000) && tool.waitForFinished(timeoutMs);
    if (!finished) {
        tool.kill();
        tool.waitForFinished(1000);
    }
    const bool success =
        finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    if (!success)
        lastError = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) +
                    QStringLiteral(" failed: ") +
                    QString::fromLocal8Bit(tool.readAllStandardError());
    if (ok)
        *ok = success;
    return tool.readAllStandardOutput();
}

QStringList ViewerSession::visibleWindows(const QString &nameRegex)
{
    QStringList arguments = {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--pid"), QString::number(viewer.processId())};
    // Conditions are alternatives unless --all is given.
    if (!nameRegex.isEmpty())
        arguments << QStringLiteral("--all") << QStringLiteral("--name") << nameRegex;
    const QByteArray found = runX(QStringLiteral("xdotool"), arguments);
    return QString::fromLatin1(found).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool ViewerSession::waitForWindowCount(int count, int timeoutMs)
{
    int seen = -1;
    if (poll([&] { return (seen = visibleWindows().size()) == count; }, timeoutMs))
        return true;
    lastError = QStringLiteral("%1 visible windows instead of %2").arg(seen).arg(count);
    return false;
}

QRect ViewerSession::queryGeometry(const QString &window)
{
    const QByteArray shell = runX(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                              QStringLiteral("--shell"), window});
    int x = 0, y = 0, width = -1, height = -1;
    for (const QByteArray &line : shell.split('\n')) {
        const QList<QByteArray> pair = line.split('=');
        if (pair.size() != 2)
            continue;
        if (pair[0] == "X")
            x = pair[1].toInt();
        else if (pair[0] == "Y")
            y = pair[1].toInt();
        else if (pair[0] == "WIDTH")
            width = pair[1].toInt();
        else if (pair[0] == "HEIGHT")
            height = pair[1].toInt();
    }
    return QRect(x, y, width, height);
}

QString ViewerSession::property(const QString &window, const QString &name)
{
    return QString::fromLatin1(runX(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name}))
        .trimmed();
}

bool ViewerSession::waitForWindow(int timeoutMs)
{
    QStringList windows;
    const bool found = poll(
        [&] {
            windows = visibleWindows(QStringLiteral("^PDFViewer$"));
            return !windows.isEmpty() || viewer.state() == QProcess::NotRunning;
        },
        timeoutMs);
    if (!found || windows.isEmpty()) {
        lastError = QStringLiteral("no main window; stderr: ") + standardError();
        return false;
    }
    mainWindow = windows.first();
    geometry = queryGeometry(mainWindow);
    bool focused = false;
    runX(QStringLiteral("xdotool"),
         {QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow}, 10000, &focused);
    return focused;
}

void ViewerSession::readOutput()
{
    if (viewer.state() != QProcess::NotRunning)
        viewer.waitForReadyRead(0);
    pending += viewer.readAllStandardOutput();
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        lines << QString::fromUtf8(pending.left(end));
        pending.remove(0, end + 1);
    }
}

QStringList ViewerSession::output()
{
    readOutput();
    return lines;
}

bool ViewerSession::waitForLine(const QString &line, int timeoutMs)
{
    if (poll([&] { return output().contains(line); }, timeoutMs))
        return true;
    lastError = QStringLiteral("no line \"%1\" in:\n%2").arg(line, lines.join(QLatin1Char('\n')));
    return false;
}

bool ViewerSession::waitForLineMatching(const QRegularExpression &pattern, int timeoutMs)
{
    const auto matches = [&] {
        for (const QString &line : output())
            if (pattern.match(line).hasMatch())
                return true;
        return false;
    };
    if (poll(matches, timeoutMs))
        return true;
    lastError = QStringLiteral("no line matching \"%1\" in:\n%2")
                    .arg(pattern.pattern(), lines.join(QLatin1Char('\n')));
    return false;
}

QStringList ViewerSession::linesAfter(const QString &after, int count, int timeoutMs)
{
    QStringList following;
    const bool complete = poll(
        [&] {
            const QStringList all = output();
            const int at = all.indexOf(after);
            following = at < 0 ? QStringList() : all.mid(at + 1);
            return following.size() >= count;
        },
        timeoutMs);
    if (!complete)
        lastError = QStringLiteral("fewer than %1 lines after \"%2\" in:\n%3")
                        .arg(count)
                        .arg(after, lines.join(QLatin1Char('\n')));
    return following;
}

bool ViewerSession::key(const QString &keys, const QString &window)
{
    bool ok = false;
    runX(QStringLiteral("xdotool"),
         QStringList{QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                     window.isEmpty() ? mainWindow : window, QStringLiteral("key")} +
             keys.split(QLatin1Char(' '), Qt::SkipEmptyParts),
         10000, &ok);
    return ok;
}

bool ViewerSession::keyDown(const QString &key)
{
    bool ok = false;
    runX(QStringLiteral("xdotool"),
         {QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow,
          QStringLiteral("keydown"), key},
         10000, &ok);
    return ok;
}

bool ViewerSession::keyUp(const QString &key)
{
    bool ok = false;
    runX(QStringLiteral("xdotool"),
         {QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow,
          QStringLiteral("keyup"), key},
         10000, &ok);
    return ok;
}

bool ViewerSession::click(const QPoint &windowPoint)
{
    // No --sync: it waits forever when the pointer is already there. The server handles the
    // motion and the button in the order they were sent anyway.
    bool ok = false;
    runX(QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QStringLiteral("--window"), mainWindow,
          QString::number(windowPoint.x()), QString::number(windowPoint.y()),
          QStringLiteral("click"), QStringLiteral("1")},
         10000, &ok);
    return ok;
}

QImage ViewerSession::capture(const QRect &area)
{
    QStringList arguments = {QStringLiteral("-silent"), QStringLiteral("-window"),
                             QStringLiteral("root")};
    // Cropping in the tool keeps the encoding small, which matters for timed checks on a busy
    // machine.
    if (!area.isNull())
        arguments << QStringLiteral("-crop")
                  << QStringLiteral("%1x%2+%3+%4")
                         .arg(area.width())
                         .arg(area.height())
                         .arg(area.x())
                         .arg(area.y())
                  << QStringLiteral("+repage");
    arguments << QStringLiteral("png:-");
    bool ok = false;
    const QByteArray png = runX(QStringLiteral("import"), arguments, 20000, &ok);
    if (!ok)
        return QImage();
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

QImage ViewerSession::screenshot()
{
    return capture(QRect());
}

QImage ViewerSession::windowShot()
{
    if (QRect(0, 0, screenWidth, screenHeight).contains(geometry))
        return capture(geometry);
    const QImage screen = screenshot();
    return screen.isNull() ? screen : screen.copy(geometry);
}

QImage ViewerSession::waitForShot(const std::function<bool(const QImage &)> &condition,
                                  int timeoutMs)
{
    QImage shot;
    if (poll([&] { return condition(shot = windowShot()); }, timeoutMs))
        return shot;
    lastError = QStringLiteral("no screenshot showed what was expected");
    return QImage();
}

void ViewerSession::keepShot(const QImage &shot, const QString &name)
{
    const QString folder = qEnvironmentVariable("PAGE_SCOPE_E2E_SHOTS");
    if (!folder.isEmpty())
        shot.save(QDir(folder).filePath(name));
}

bool ViewerSession::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    return poll(condition, timeoutMs);
}

bool ViewerSession::isRunning() const
{
    return viewer.state() != QProcess::NotRunning;
}

bool ViewerSession::waitForExit(int timeoutMs)
{
    const bool finished =
        viewer.state() == QProcess::NotRunning || viewer.waitForFinished(timeoutMs);
    readOutput();
    if (!finished)
        lastError = QStringLiteral("the viewer is still running");
    return finished;
}

int ViewerSession::exitCode() const
{
    return viewer.exitCode();
}

QProcess::ExitStatus ViewerSession::exitStatus() const
{
    return viewer.exitStatus();
}

QString ViewerSession::standardError()
{
    QFile file(path(QStringLiteral(".viewer-stderr")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

namespace Pixels {

double matchRatio(const QImage &shot, const QRect &area, const QImage &expected,
                  const QPoint &expectedOrigin, int tolerance)
{
    // Only where expected has pixels: a page view may show empty space past the page's end.
    const QRect covered =
        area & QRect(area.topLeft() - expectedOrigin, expected.size()) & shot.rect();
    if (qint64(covered.width()) * covered.height() * 2 < qint64(area.width()) * area.height())
        return 0.0;
    qint64 matches = 0;
    for (int y = covered.top(); y <= covered.bottom(); ++y) {
        for (int x = covered.left(); x <= covered.right(); ++x) {
            const QPoint source = QPoint(x, y) - area.topLeft() + expectedOrigin;
            if (near(shot.pixel(x, y), expected.pixel(source), tolerance))
                ++matches;
        }
    }
    return double(matches) / (qint64(covered.width()) * covered.height());
}

int countNear(const QImage &shot, const QRect &area, QRgb colour, int tolerance)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (shot.valid(x, y) && near(shot.pixel(x, y), colour, tolerance))
                ++count;
    return count;
}

int countDarker(const QImage &shot, const QRect &area, int level)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!shot.valid(x, y))
                continue;
            const QRgb pixel = shot.pixel(x, y);
            if (qRed(pixel) < level && qGreen(pixel) < level && qBlue(pixel) < level)
                ++count;
        }
    }
    return count;
}

} // namespace Pixels

QImage renderPdfPage(const QString &path, int pageIndex, double resolution)
{
    // The same back end and hint as the page view, so the pixels can be compared one to one.
    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(path));
    if (!document || document->isLocked())
        return QImage();
    document->setRenderBackend(Poppler::Document::SplashBackend);
    document->setRenderHint(Poppler::Document::TextAntialiasing, true);
    std::unique_ptr<Poppler::Page> page(document->page(pageIndex));
    if (!page)
        return QImage();
    return page->renderToImage(resolution, resolution).convertToFormat(QImage::Format_RGB32);
}
