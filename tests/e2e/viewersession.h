#ifndef VIEWERSESSION_H
#define VIEWERSESSION_H

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// One run of the real viewer binary on a display of its own: a private Xvfb, a working directory
// with the icons (and optionally a device profile), the viewer's standard output line by line,
// and the X tools that a device's input would go through. Everything started is stopped by the
// destructor, so a failed check never leaves a server or a viewer behind.
class ViewerSession
{
public:
    ViewerSession();
    ~ViewerSession();
    ViewerSession(const ViewerSession &) = delete;
    ViewerSession &operator=(const ViewerSession &) = delete;

    // Why the last operation failed, for the test's failure message.
    QString error() const { return lastError; }

    // A file in the viewer's working directory; images/ of the source tree is linked into it.
    QString path(const QString &name) const;
    bool writeProfile(const QByteArray &text);

    // Starts Xvfb, then the viewer with these arguments.
    bool start(const QStringList &arguments);
    // Same, but the arguments are shell words, for bytes that a QString cannot carry.
    bool startWithShellArguments(const QString &words);

    // Waits for the main window to be mapped, focuses it and reads its geometry.
    bool waitForWindow(int timeoutMs = 20000);
    QString windowId() const { return mainWindow; }
    QRect windowGeometry() const { return geometry; }

    // Visible windows of the viewer's process (main window, message boxes, framed dialogs),
    // optionally only those whose name matches. A message box has no name of its own.
    QStringList visibleWindows(const QString &nameRegex = QString());
    bool waitForWindowCount(int count, int timeoutMs = 10000);
    QRect queryGeometry(const QString &window);
    QString property(const QString &window, const QString &name);

    // Standard output so far, one entry per line.
    QStringList output();
    bool waitForLine(const QString &line, int timeoutMs = 10000);
    bool waitForLineMatching(const QRegularExpression &pattern, int timeoutMs = 10000);
    // Lines that follow the first occurrence of after, once there are at least count of them.
    QStringList linesAfter(const QString &after, int count, int timeoutMs = 10000);

    // Input through the X server: keys go to the focused window as a keyboard's would.
    bool key(const QString &keys, const QString &window = QString());
    bool keyDown(const QString &key);
    bool keyUp(const QString &key);
    bool click(const QPoint &windowPoint);

    // The whole screen, and the main window's part of it.
    QImage screenshot();
    QImage windowShot();
    // Takes window shots until one satisfies the condition; returns it, or a null image.
    QImage waitForShot(const std::function<bool(const QImage &)> &condition, int timeoutMs = 10000);

    // Saves a screenshot into the folder named by PAGE_SCOPE_E2E_SHOTS, if set, for a look by eye.
    static void keepShot(const QImage &shot, const QString &name);

    // Polls condition until it holds; false after the timeout.
    static bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

    bool isRunning() const;
    bool waitForExit(int timeoutMs = 10000);
    int exitCode() const;
    QProcess::ExitStatus exitStatus() const;
    QString standardError();

    // Runs an X client against this session's display and returns its standard output.
    QByteArray runX(const QString &program, const QStringList &arguments, int timeoutMs = 10000,
                    bool *ok = nullptr);

private:
    bool startDisplay();
    // The screen, or the given part of it; a null area means all of it.
    QImage capture(const QRect &area);
    bool startViewer(const QString &program, const QStringList &arguments);
    void readOutput();

    static constexpr int screenWidth = 1024;
    static constexpr int screenHeight = 768;

    QTemporaryDir directory;
    QProcess xvfb;
    QProcess viewer;
    QString display;
    QString mainWindow;
    QRect geometry;
    QByteArray pending;
    QStringList lines;
    QByteArray errors;
    QString lastError;
};

// Pixel checks on screenshots.
namespace Pixels {

// Share (0..1) of the pixels of area in shot that equal expected, whose pixel at expectedOrigin
// lies at area's top-left corner, within tolerance per channel. Only the part of area that
// expected covers is compared; when that is less than half of area the result is 0.
double matchRatio(const QImage &shot, const QRect &area, const QImage &expected,
                  const QPoint &expectedOrigin, int tolerance = 8);
// Number of pixels in area whose colour is within tolerance of colour.
int countNear(const QImage &shot, const QRect &area, QRgb colour, int tolerance = 4);
// Number of pixels in area that are darker than the given grey level in every channel.
int countDarker(const QImage &shot, const QRect &area, int level);

} // namespace Pixels

// A page rendered as the viewer renders it, for comparison with what is on screen.
QImage renderPdfPage(const QString &path, int pageIndex, double resolution);

#endif // VIEWERSESSION_H
