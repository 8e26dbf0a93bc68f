// The start-up benchmark: the viewer and the floor (startup-floor, a bare QWindow that loads and
// paints the same page), each started as a launcher starts it, timed from just before the fork and
// exec to the moment the first page is on the screen, and their peak resident memory. The floor
// also runs a second time with --notice, doing the work the viewer's opening flow asks for before
// the page (the loading notice drawn as text, the load 10 ms later), so that what that flow costs
// and what the viewer's widgets cost can be told apart. Runs of the programs alternate, so all see
// the same machine load.
//   startup-bench --viewer PATH --floor PATH --documents DIR [--platforms xcb,vnc,offscreen]
//                 [--pages 1,10000] [--runs N] [--settle MS]
// Run it from the repository root: the viewer loads its icons from there.
//
// What "on the screen" means, by platform:
//   xcb        the page's pixels in the framebuffer of an Xvfb of our own (mapped from -fbdir);
//   vnc        the page's pixels in the framebuffer of an RFB client connected to the program;
//   offscreen  nothing is shown anywhere, so the program's own trace line "page painted"
//              (PAGE_SCOPE_STARTUP_TRACE) after its first flush of the page.
// "The page's pixels" is a 160 x 80 block of the top left of page 1 exactly as Poppler renders it
// at 48 dpi, found anywhere on the screen. The peak resident memory is VmHWM, read --settle ms
// after the page appeared (the viewer's page-number overlay has gone by then).
#include "benchcommandline.h"
#include "launchedprogram.h"
#include "pageview/rendersettings.h"
#include "rfbclient.h"
#include "startupreport.h"
#include "testdocuments.h"
#include "xvfbscreen.h"

#include <poppler-qt5.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

const QRect probeArea(0, 0, 160, 80);

// The top left of page 1, as the viewer and the floor must show it.
QImage expectedProbe(const QString &path)
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(path));
    if (!document)
        return QImage();
    useViewerRenderSettings(*document);
    std::unique_ptr<Poppler::Page> page(document->page(0));
    if (!page)
        return QImage();
    return page->renderToImage(48, 48).copy(probeArea).convertToFormat(QImage::Format_RGB32);
}

// Finds the probe on a screen whose pixels pixel(x, y) gives (0xffRRGGBB). Tries the last place
// first; a full search otherwise, cheap because almost every place fails on its first pixel.
template <typename Pixel>
bool probeShown(const QImage &probe, int width, int height, Pixel pixel, QPoint &place)
{
    const auto matchesAt = [&](QPoint at) {
        for (int y = 0; y < probe.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(probe.constScanLine(y));
            for (int x = 0; x < probe.width(); ++x)
                if ((line[x] | 0xff000000u) != pixel(at.x() + x, at.y() + y))
                    return false;
        }
        return true;
    };
    if (place.x() >= 0 && matchesAt(place))
        return true;
    // Start each place at the probe's darkest pixel: on a screen that does not show the page,
    // that pixel rarely matches.
    QPoint anchor(0, 0);
    for (int y = 0; y < probe.height(); ++y)
        for (int x = 0; x < probe.width(); ++x)
            if (qGray(probe.pixel(x, y)) < qGray(probe.pixel(anchor)))
                anchor = QPoint(x, y);
    const QRgb anchorColour = probe.pixel(anchor) | 0xff000000u;
    for (int y = 0; y + probe.height() <= height; ++y)
        for (int x = 0; x + probe.width() <= width; ++x)
            if (pixel(x + anchor.x(), y + anchor.y()) == anchorColour && matchesAt(QPoint(x, y))) {
                place = QPoint(x, y);
                return true;
            }
    return false;
}

struct Program
{
    QString name;
    QStringList command;
};

// "page-scope startup MS RSS_KB PHASE" lines, as milliseconds after the exec.
std::map<QString, double> tracePhases(const QByteArray &errors, double execMs)
{
    std::map<QString, double> phases;
    for (const QByteArray &line : errors.split('\n')) {
        if (!line.startsWith("page-scope startup "))
            continue;
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 5)
            continue;
        const QString phase = QString::fromUtf8(words.mid(4).join(' '));
        if (!phases.count(phase))
            phases[phase] = words[2].toDouble() - execMs;
    }
    return phases;
}

class Bench
{
public:
    Bench(XvfbScreen *xvfb, int settleMs) : m_xvfb(xvfb), m_settleMs(settleMs) {}

    RunResult run(const Program &program, const QString &platform, const QString &document,
                  const QImage &probe, QPoint &place)
    {
        RunResult result;
        QStringList settings{"PAGE_SCOPE_STARTUP_TRACE=1", "LC_ALL=C.UTF-8"};
        quint16 port = 0;
        if (platform == "xcb") {
            settings << "QT_QPA_PLATFORM=xcb"
                     << "DISPLAY=" + m_xvfb->display();
            if (!waitForEmptyScreen()) {
                result.error = "the screen does not clear";
                return result;
            }
        } else if (platform == "vnc") {
            port = RfbClient::freePort();
            settings << vncPlatform(port);
        } else {
            settings << "QT_QPA_PLATFORM=offscreen";
        }

        LaunchedProgram child;
        double execMs = 0;
        if (!child.start(program.command + QStringList{document}, launchEnvironment(settings),
                         execMs)) {
            result.error = "no start";
            return result;
        }
        RfbClient rfb;
        bool connected = false;
        const double deadline = execMs + 30000;
        bool shown = false;
        while (!shown && monotonicMs() < deadline) {
            if (!child.running()) {
                result.error = "exited: " + QString::fromLocal8Bit(child.errors());
                return result;
            }
            if (platform == "xcb") {
                const auto pixel = [this](int x, int y) { return m_xvfb->pixel(x, y); };
                if (result.firstFrameMs < 0 && !empty(m_xvfb->width(), m_xvfb->height(), pixel))
                    result.firstFrameMs = monotonicMs() - execMs;
                shown = probeShown(probe, m_xvfb->width(), m_xvfb->height(), pixel, place);
                if (!shown)
                    sleepMs(0.5);
            } else if (platform == "vnc") {
                if (!connected) {
                    connected = rfb.connectTo(port);
                    if (!connected)
                        sleepMs(0.5);
                    continue;
                }
                if (!rfb.readUpdate(100)) {
                    if (!rfb.error().isEmpty()) {
                        result.error = rfb.error();
                        return result;
                    }
                    continue;
                }
                const QImage &frame = rfb.framebuffer();
                const auto pixel = [&frame](int x, int y) { return frame.pixel(x, y); };
                if (result.firstFrameMs < 0 && !empty(frame.width(), frame.height(), pixel))
                    result.firstFrameMs = monotonicMs() - execMs;
                shown = probeShown(probe, frame.width(), frame.height(), pixel, place);
            } else {
                shown = child.errors().contains(" page painted\n");
                if (!shown)
                    sleepMs(0.5);
            }
        }
        const double shownMs = monotonicMs() - execMs;
        if (!shown) {
            result.error = "no page within 30 s";
            return result;
        }
        sleepMs(m_settleMs);
        result.peakMiB = child.peakMiB();
        result.phasesMs = tracePhases(child.errors(), execMs);
        result.firstPageMs = platform == "offscreen" ? result.phasesMs["page painted"] : shownMs;
        result.ok = true;
        child.stop();
        return result;
    }

private:
    // Black, as an empty Xvfb root window and a fresh vnc framebuffer are (sampled).
    template <typename Pixel> static bool empty(int width, int height, Pixel pixel)
    {
        for (int y = 0; y < height; y += 4)
            for (int x = 0; x < width; x += 4)
                if (pixel(x, y) != 0xff000000u)
                    return false;
        return true;
    }

    bool waitForEmptyScreen()
    {
        QElapsedTimer clock;
        clock.start();
        const auto pixel = [this](int x, int y) { return m_xvfb->pixel(x, y); };
        while (!empty(m_xvfb->width(), m_xvfb->height(), pixel)) {
            if (clock.hasExpired(10000))
                return false;
            sleepMs(5);
        }
        return true;
    }

    XvfbScreen *m_xvfb;
    int m_settleMs;
};

struct Document
{
    int pages;
    QString path;
    QImage probe; // what the page's pixels look like on the screen
};

// The A4 documents of the given page counts, written once into the directory; empty when one
// cannot be written or rendered.
std::vector<Document> prepareDocuments(const QString &directory, const QStringList &pageCounts)
{
    QDir documents(directory);
    documents.mkpath(".");
    std::vector<Document> prepared;
    for (const QString &pages : pageCounts) {
        const QString path = documents.absoluteFilePath(QString("startup-a4-%1.pdf").arg(pages));
        if (!QFile::exists(path) && TestDocuments::writeA4Document(path, pages.toInt()).isEmpty()) {
            std::fprintf(stderr, "startup-bench: cannot write %s\n", qPrintable(path));
            return {};
        }
        const QImage probe = expectedProbe(path);
        if (probe.isNull()) {
            std::fprintf(stderr, "startup-bench: cannot render %s\n", qPrintable(path));
            return {};
        }
        prepared.push_back({pages.toInt(), path, probe});
    }
    return prepared;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchCommandLine commandLine(argc, argv);
    if (!commandLine.parse(
            {{"floor", "The startup-floor binary.", "path"},
             {"documents", "Where the documents are written once.", "dir"},
             {"platforms", "Platforms to run on.", "list", "xcb,vnc,offscreen"},
             {"pages", "Page counts of the documents.", "list", "1,10000"},
             {"runs", "Runs of each program per case.", "n", "21"},
             {"settle", "Milliseconds between the page and reading VmHWM.", "ms", "1200"}},
            {"floor", "documents"}))
        return 2;
    const QString floor = QFileInfo(commandLine.value("floor")).absoluteFilePath();
    const std::vector<Program> programs = {
        {"floor", {floor}},
        {"floor with notice", {floor, "--notice"}},
        {"viewer", {QFileInfo(commandLine.value("viewer")).absoluteFilePath(), "-f"}},
    };
    const QStringList platforms = commandLine.value("platforms").split(',');
    const int runs = std::max(1, commandLine.value("runs").toInt());
    const std::vector<Document> documents =
        prepareDocuments(commandLine.value("documents"), commandLine.value("pages").split(','));
    if (documents.empty())
        return 1;

    XvfbScreen xvfb;
    if (platforms.contains("xcb") && !xvfb.start(screenWidth, screenHeight)) {
        std::fprintf(stderr, "startup-bench: %s\n", qPrintable(xvfb.error()));
        return 1;
    }
    Bench bench(&xvfb, commandLine.value("settle").toInt());

    Measurements measured;
    int failures = 0;
    for (const QString &platform : platforms) {
        for (const Document &document : documents) {
            std::map<QString, QPoint> places;
            // One unrecorded run of each first: page cache, fonts, the Xvfb's first client.
            for (int run = -1; run < runs; ++run) {
                for (size_t i = 0; i < programs.size(); ++i) {
                    // Alternate which program goes first.
                    const Program &program = programs[(i + size_t(run + 1)) % programs.size()];
                    QPoint &place = places.emplace(program.name, QPoint(-1, -1)).first->second;
                    const RunResult result =
                        bench.run(program, platform, document.path, document.probe, place);
                    if (!result.ok) {
                        ++failures;
                        std::fprintf(stderr, "startup-bench: %s on %s, %d pages: %s\n",
                                     qPrintable(program.name), qPrintable(platform), document.pages,
                                     qPrintable(result.error));
                    } else if (run >= 0) {
                        measured.add(platform, document.pages, program.name, result);
                    }
                }
            }
            std::fprintf(stderr, "startup-bench: %s, %d pages done\n", qPrintable(platform),
                         document.pages);
        }
    }

    QStringList names;
    for (const Program &program : programs)
        names << program.name;
    std::vector<int> pageCounts;
    for (const Document &document : documents)
        pageCounts.push_back(document.pages);
    printStartupReport(measured, names, platforms, pageCounts, runs);
    if (failures)
        std::fprintf(stderr, "startup-bench: %d runs failed\n", failures);
    return failures ? 1 : 0;
}
