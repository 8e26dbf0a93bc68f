// The viewer at a device's speed: each run starts the real viewer inside a cgroup whose cpu quota
// stands in for a slow core (10% of one core by default), on Qt's vnc platform (the framebuffer
// window code of linuxfb), and times from outside, over RFB, what the user waits for: the first
// page after the exec, a page turn and a zoom step at 48, 100 and 300 dpi.
//   device-speed --viewer PATH --documents DIR [--quota PERCENT] [--runs N] [--quiet MS]
// Run it as root from the repository root (the viewer loads its icons from there).
//
// Input goes in as a device's would: keys (F7 zoom in, F6 zoom out) and a touch in the vertical
// scroll bar's trough (one page on) as RFB events. An action counts as done at the first
// framebuffer update that shows the left part of the page view as it finally settles; the page
// number overlay, at the right, is left out. The quota is lifted while the viewer zooms to the
// next measured resolution, which is not timed.
#include "benchcommandline.h"
#include "cgroup.h"
#include "launchedprogram.h"
#include "rfbclient.h"
#include "samples.h"
#include "testdocuments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

// With the default device the page view is at 52, 0 and 353 x 257, its vertical scroll bar to
// its right. The page number overlay sits at the view's right edge.
const QRect pageLeft(60, 6, 270, 240);
const QPoint troughBelowSlider(415, 200);
constexpr quint32 keyZoomOut = 0xffc3; // F6
constexpr quint32 keyZoomIn = 0xffc4;  // F7
constexpr quint32 keyClose = 0xffc5;   // F8
constexpr int periodUs = 10000;

// A cpu cgroup whose quota can be lifted while the benchmark does work of its own. A short
// period keeps the throttling close to a slow core's steady pace.
class CpuQuota : public Cgroup
{
public:
    explicit CpuQuota(int percent)
        : Cgroup("cpu", "page-scope-device-speed"), m_quotaUs(periodUs * percent / 100)
    {
        if (isValid() && !limit(true))
            fail("cannot set the cpu quota");
    }

    bool limit(bool on) const
    {
        const QByteArray period = QByteArray::number(periodUs);
        if (unified())
            return write("cpu.max",
                         (on ? QByteArray::number(m_quotaUs) : QByteArray("max")) + " " + period);
        return write("cpu.cfs_period_us", period) &&
               write("cpu.cfs_quota_us", on ? QByteArray::number(m_quotaUs) : "-1");
    }

private:
    const int m_quotaUs;
};

// One fresh viewer, which joins the cgroup in its own process before the exec, so that all of its
// start runs under the quota.
class Run
{
public:
    Run(CpuQuota &quota, int quietMs) : m_quota(quota), m_quietMs(quietMs) {}

    QString error() const { return m_error; }

    bool start(const QString &viewer, const QString &document, double &firstPageMs)
    {
        const quint16 port = RfbClient::freePort();
        double execMs = 0;
        // Without the automation plugin, as on a device without it.
        const QStringList environment = launchEnvironment({vncPlatform(port)});
        if (!m_quota.limit(true) || !m_viewer.start({viewer, "-f", document}, environment, execMs,
                                                    QFile::encodeName(m_quota.procsFile())))
            return fail("no start");
        while (!m_rfb.connectTo(port)) {
            if (!m_viewer.running() || monotonicMs() - execMs > 60000)
                return fail("the vnc server does not answer");
            sleepMs(2);
        }
        return timeUntilSettled(execMs, firstPageMs, m_quietMs);
    }

    // Timed under the quota: from sending the input to the page view as it settles.
    bool timed(const std::function<bool()> &input, double &ms)
    {
        if (!m_quota.limit(true))
            return fail("cannot set the quota");
        const double sent = monotonicMs();
        return (input() || fail("input not sent")) && timeUntilSettled(sent, ms, m_quietMs);
    }

    // Not timed: the quota is lifted, so a render ends long before the quiet period that a
    // throttled one needs; waiting that long for each of the 43 zoom steps between the measured
    // resolutions made a run take five minutes.
    bool untimed(const std::function<bool()> &input)
    {
        double ignored;
        return (m_quota.limit(false) || fail("cannot lift the quota")) &&
               (input() || fail("input not sent")) &&
               timeUntilSettled(monotonicMs(), ignored, std::min(m_quietMs, 1500));
    }

    bool zoomIn() { return m_rfb.clickKey(keyZoomIn); }
    bool zoomOut() { return m_rfb.clickKey(keyZoomOut); }
    bool turnPage() { return m_rfb.click(troughBelowSlider.x(), troughBelowSlider.y()); }

    bool close()
    {
        m_quota.limit(false);
        return (m_rfb.clickKey(keyClose) && m_viewer.waitForExit(15000) == 0) ||
               fail("the close key did not end the viewer with status 0");
    }

private:
    bool fail(const QString &why)
    {
        m_error = why + (m_rfb.error().isEmpty() ? QString() : ": " + m_rfb.error());
        const QByteArray errors = m_viewer.errors().trimmed();
        if (!errors.isEmpty())
            m_error += "; the viewer's standard error: " + QString::fromLocal8Bit(errors);
        m_viewer.stop();
        return false;
    }

    // Reads updates until none has come for quietMs, then finds the first one that already
    // showed the settled page view.
    bool timeUntilSettled(double since, double &ms, int quietMs)
    {
        const QImage before = m_rfb.framebuffer().copy(pageLeft);
        std::vector<std::pair<double, QImage>> updates;
        double last = monotonicMs();
        while (monotonicMs() - last < quietMs) {
            if (!m_viewer.running())
                return fail("the viewer ended");
            if (monotonicMs() - since > 120000)
                return fail("the screen does not settle");
            if (m_rfb.readUpdate(50)) {
                last = monotonicMs();
                updates.emplace_back(last, m_rfb.framebuffer().copy(pageLeft));
            } else if (!m_rfb.error().isEmpty()) {
                return fail("connection lost");
            }
        }
        const QImage settled = m_rfb.framebuffer().copy(pageLeft);
        // At 300 dpi the view's left part shows the page's blank top-left corner, the same on
        // every page: a page turn there is seen as the first update the input brought, which
        // is its one synchronous repaint.
        if (settled == before) {
            if (updates.empty())
                return fail("nothing changed on the screen");
            ms = updates.front().first - since;
            return true;
        }
        for (const auto &[at, image] : updates)
            if (image == settled) {
                ms = at - since;
                return true;
            }
        return fail("no update");
    }

    CpuQuota &m_quota;
    int m_quietMs;
    LaunchedProgram m_viewer;
    RfbClient m_rfb;
    QString m_error;
};

} // namespace

int main(int argc, char *argv[])
{
    BenchCommandLine commandLine(argc, argv);
    // A 300 dpi render at 10% of a core keeps the screen still for close to 3 s; with a shorter
    // quiet period the wait ends before the page arrives and the run fails (2500 ms did).
    if (!commandLine.parse(
            {{"documents", "Where the document is written once.", "dir"},
             {"quota", "Percent of one core the viewer gets.", "percent", "10"},
             {"runs", "Fresh viewers to time.", "n", "5"},
             {"quiet", "Milliseconds without an update that end a timed action.", "ms", "6000"}},
            {"documents"}))
        return 2;
    const int percent = std::clamp(commandLine.value("quota").toInt(), 10, 100);
    const int runs = std::max(1, commandLine.value("runs").toInt());
    const QString viewer = QFileInfo(commandLine.value("viewer")).absoluteFilePath();
    QDir documents(commandLine.value("documents"));
    documents.mkpath(".");
    const QString document = documents.absoluteFilePath("device-speed-a4-20.pdf");
    if (!QFile::exists(document) && TestDocuments::writeA4Document(document, 20).isEmpty()) {
        std::fprintf(stderr, "device-speed: cannot write %s\n", qPrintable(document));
        return 1;
    }

    CpuQuota quota(percent);
    if (!quota.isValid()) {
        std::fprintf(stderr, "device-speed: skipped: %s\n", qPrintable(quota.error()));
        return 77;
    }

    // What each run times, in order; the resolution after the zoom step is the one named.
    const std::vector<QString> cases = {
        "first page (48 dpi)",      "page turn at 48 dpi",  "zoom step 48 to 58 dpi",
        "zoom step 298 to 300 dpi", "page turn at 300 dpi", "zoom step 110 to 100 dpi",
        "page turn at 100 dpi",
    };
    std::map<QString, std::vector<double>> times;
    int failures = 0;
    // One unrecorded run first: page cache and fonts.
    for (int run = -1; run < runs; ++run) {
        Run viewerRun(quota, commandLine.value("quiet").toInt());
        std::vector<double> ms(cases.size());
        const auto repeatUntimed = [&](int count, bool (Run::*input)()) {
            for (int i = 0; i < count; ++i)
                if (!viewerRun.untimed([&] { return (viewerRun.*input)(); }))
                    return false;
            return true;
        };
        const bool ok = viewerRun.start(viewer, document, ms[0]) &&
                        viewerRun.timed([&] { return viewerRun.turnPage(); }, ms[1]) &&
                        viewerRun.timed([&] { return viewerRun.zoomIn(); }, ms[2]) &&
                        repeatUntimed(24, &Run::zoomIn) &&
                        viewerRun.timed([&] { return viewerRun.zoomIn(); }, ms[3]) &&
                        viewerRun.timed([&] { return viewerRun.turnPage(); }, ms[4]) &&
                        repeatUntimed(19, &Run::zoomOut) &&
                        viewerRun.timed([&] { return viewerRun.zoomOut(); }, ms[5]) &&
                        viewerRun.timed([&] { return viewerRun.turnPage(); }, ms[6]) &&
                        viewerRun.close();
        if (!ok) {
            ++failures;
            std::fprintf(stderr, "device-speed: run %d: %s\n", run + 1,
                         qPrintable(viewerRun.error()));
            continue;
        }
        std::fprintf(stderr, "device-speed: run %d:", run + 1);
        for (size_t i = 0; i < cases.size(); ++i)
            std::fprintf(stderr, " %.0f", ms[i]);
        std::fprintf(stderr, "%s\n", run < 0 ? " (not counted)" : "");
        if (run >= 0)
            for (size_t i = 0; i < cases.size(); ++i)
                times[cases[i]].push_back(ms[i]);
    }

    std::printf("Milliseconds under a cpu quota of %d%% of one core (%d runs, a fresh viewer "
                "each).\n\n| Action | Median | Min | Max |\n|---|---:|---:|---:|\n",
                percent, runs);
    for (const QString &name : cases) {
        const std::vector<double> &values = times[name];
        if (values.empty())
            continue;
        std::printf("| %s | %.0f | %.0f | %.0f |\n", qPrintable(name), median(values),
                    minimum(values), maximum(values));
    }
    if (failures)
        std::fprintf(stderr, "device-speed: %d runs failed\n", failures);
    return failures ? 1 : 0;
}
