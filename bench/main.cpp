// page-scope-bench: the viewer's page view against Poppler's own cost, side by side.
//
// The parent writes the documents once into a cache directory, then runs every case in fresh
// child processes of itself: one that times both sides interleaved, and one per side that only
// measures the peak resident memory, so that neither side's memory is counted for the other.
// With --instructions a further child per case runs under Callgrind and counts instructions,
// which the load of a shared machine does not disturb. The tables and the targets (report.h) go
// to standard output.

#include "benchcases.h"
#include "benchdocuments.h"
#include "report.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else // a child asked to count then says that it cannot
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_TOGGLE_COLLECT (void)0
#define CALLGRIND_DUMP_STATS_AT(label) (void)0
#endif

namespace {

// The word after a name at the start of a line of a file: a field of /proc/self/status in KiB,
// or the label or the instruction total of a Callgrind dump.
QByteArray field(const QString &path, const QString &name)
{
    QFile file(path);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "";
    const QRegularExpression line("^" + name + ":?[ \\t]+(\\w+)",
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1).toUtf8();
}

// Children report in lines tagged @bench on standard output, which the parent reads.
int fail(const QString &message)
{
    std::printf("@bench error %s\n", qPrintable(message));
    return 1;
}

// A child: mode timing (both sides), memory (one side's peak) or instructions (under Callgrind).
int runChild(const BenchCase &c, const QString &cache, const QString &mode, const QString &which,
             int runs)
{
    const bool count = mode == "instructions", memory = mode == "memory";
    if (count && !RUNNING_ON_VALGRIND)
        return fail("counting needs valgrind --tool=callgrind and valgrind/callgrind.h");
    Stage stage;
    stage.show();
    const QString status = "/proc/self/status", path = QDir(cache).filePath(c.document);
    const QByteArray base = field(status, "VmRSS");
    std::vector<std::pair<QByteArray, std::unique_ptr<Side>>> sides;
    if (which != "floor")
        sides.emplace_back("viewer", c.viewer(stage, path));
    if (which != "viewer" && (c.timedFloor || memory))
        sides.emplace_back("floor", c.floor(path));
    for (auto &[name, side] : sides)
        if (!side->setUp())
            return fail(side->error);

    // Warm-up runs (i < 0), then the samples, of which only run() is timed or counted. The peak
    // is read after three runs beyond the first. Interleaved, the order swapped every run, so
    // that a change of the machine's load falls on both sides alike.
    const int n = int(sides.size()), warmups = count ? 1 : memory ? 4 : 2;
    // Read before finish(), which closes what the open cases opened.
    std::map<QByteArray, qint64> largestImage;
    for (int i = -warmups; i < (count ? 1 : memory ? 0 : runs); ++i) {
        for (int k = 0; k < n; ++k) {
            auto &[name, side] = sides[i % 2 ? n - 1 - k : k];
            side->prepare();
            const std::clock_t cpu = std::clock();
            QElapsedTimer timer;
            timer.start();
            if (i >= 0)
                CALLGRIND_TOGGLE_COLLECT;
            side->run();
            if (i >= 0)
                CALLGRIND_TOGGLE_COLLECT;
            const double wallMs = timer.nsecsElapsed() / 1e6;
            const double cpuMs = (std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
            largestImage[name] = std::max(largestImage[name], side->imageBytes());
            side->finish();
            if (i >= 0 && count)
                CALLGRIND_DUMP_STATS_AT(name.constData());
            else if (i >= 0)
                std::printf("@bench %s sample %.6f %.6f\n", name.constData(), wallMs, cpuMs);
        }
    }
    for (auto &[name, side] : sides) {
        if (!side->check())
            return fail(side->error);
        if (memory)
            std::printf("@bench %s memory %s %s %lld\n", name.constData(), base.constData(),
                        field(status, "VmHWM").constData(), largestImage[name]);
    }
    return 0;
}

// Runs a child of the parent's case, under Callgrind when given the valgrind program, and
// gathers what it measured into r; sets r.error when it failed.
void spawn(Result &r, const QString &cache, int runs, const char *mode, const char *side,
           const QString &valgrind = {})
{
    QStringList command{QCoreApplication::applicationFilePath(), "--cache", cache, "--child",
                        QStringList{r.benchCase->id, mode, side, QString::number(runs)}.join(',')};
    QTemporaryDir dumps;
    if (!valgrind.isEmpty())
        command = QStringList{valgrind, "--tool=callgrind", "-q", "--collect-atstart=no",
                              "--callgrind-out-file=" + dumps.filePath("callgrind.%p")} +
                  command;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.takeFirst(), command);
    // Bounded, so that a child stuck on a document (a FIFO in the cache) cannot hold the whole
    // run; Callgrind on the 10,000-page open ends well within the hour.
    const bool finished = process.waitForFinished(60 * 60 * 1000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    QString error = QStringLiteral("the child process failed");
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        Measured &m = r.side(line.split(' ').value(1));
        double wallMs, cpuMs;
        if (line.startsWith("@bench error ")) {
            error = QString::fromUtf8(line).section(' ', 2);
        } else if (std::sscanf(line, "@bench %*s sample %lf %lf", &wallMs, &cpuMs) == 2) {
            m.wallMs << wallMs;
            m.cpuMs << cpuMs;
        } else {
            std::sscanf(line, "@bench %*s memory %lld %lld %lld", &m.baseKib, &m.peakKib,
                        &m.imageBytes);
        }
    }
    // Callgrind writes a file per dump, with the dump's label and its instruction total.
    for (const QFileInfo &dump : QDir(dumps.path()).entryInfoList(QDir::Files)) {
        const QByteArray label = field(dump.filePath(), "desc: Trigger: Client Request");
        if (!label.isEmpty())
            r.side(label).instructions = field(dump.filePath(), "(?:totals|summary)").toLongLong();
    }
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        r.error = QLatin1String(mode) + ": " + error;
}

// The parent's side of a case: timing, then with memory each side's peak, then with a valgrind
// program the instruction counts, each in a child of its own.
Result runCase(const BenchCase &c, const QString &cache, int runs, bool memory,
               const QString &valgrind)
{
    Result r;
    r.benchCase = &c;
    QElapsedTimer timer;
    timer.start();
    std::fprintf(stderr, "%s: timing ... ", qPrintable(c.id));
    spawn(r, cache, runs, "timing", "both");
    if (memory && r.error.isEmpty()) {
        std::fprintf(stderr, "memory ... ");
        spawn(r, cache, runs, "memory", "viewer");
        spawn(r, cache, runs, "memory", "floor");
    }
    if (!valgrind.isEmpty() && r.error.isEmpty()) {
        std::fprintf(stderr, "instructions ... ");
        spawn(r, cache, runs, "instructions", "both", valgrind);
    }
    std::fprintf(stderr, "%.0f s\n", timer.elapsed() / 1000.0);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    // Off-screen unless told otherwise: the benchmark needs no display and must not draw on one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the page view against Poppler's own load, page and render calls, and measures "
        "the peak resident memory of each. Prints Markdown tables on standard output."));
    parser.addHelpOption();
    parser.addOptions({
        {"cache",
         "Directory of the generated documents (default: bench-documents beside the "
         "program).",
         "dir", QCoreApplication::applicationDirPath() + "/bench-documents"},
        {"cases", "Comma-separated case ids (default: all).", "ids"},
        {"runs", "Samples per side for every case (default: each case's own count).", "n"},
        {"no-memory", "Skip the peak memory processes."},
        {"instructions", "Also count instructions under Callgrind (slow)."},
        {"valgrind", "The valgrind program to use.", "path", "valgrind"},
        {"list", "List the cases and exit."},
        {"documents-only", "Write the documents and exit."},
        // How the parent starts a child: case id, mode, side and runs.
        {"child", "Internal.", "args"},
    });
    parser.process(app);

    const QVector<BenchCase> all = benchCases();
    QStringList ids;
    for (const BenchCase &c : all)
        ids << c.id;
    const auto find = [&all, &ids](const QString &id) {
        const int i = ids.indexOf(id.trimmed());
        return i < 0 ? nullptr : &all[i];
    };
    const QString cache = parser.value("cache");
    const int runs = parser.value("runs").toInt();
    if (parser.isSet("child")) {
        const QStringList child = parser.value("child").split(',');
        const BenchCase *c = find(child.value(0));
        return c ? runChild(*c, cache, child.value(1), child.value(2), child.value(3).toInt())
                 : fail("unknown case " + child.value(0));
    }
    if (parser.isSet("list")) {
        for (const BenchCase &c : all)
            std::printf("%-16s %s\n", qPrintable(c.id), qPrintable(c.title));
        return 0;
    }
    if (!BenchDocuments::ensure(cache))
        return 1;
    if (parser.isSet("documents-only"))
        return 0;

    QVector<const BenchCase *> chosen;
    for (const QString &id : parser.isSet("cases") ? parser.value("cases").split(',') : ids) {
        if (!find(id)) {
            std::fprintf(stderr, "unknown case %s (see --list)\n", qPrintable(id));
            return 2;
        }
        chosen << find(id);
    }
    QVector<Result> results;
    for (const BenchCase *c : chosen)
        results << runCase(*c, cache, runs > 0 ? runs : c->runs, !parser.isSet("no-memory"),
                           parser.isSet("instructions") ? parser.value("valgrind") : "");
    writeReport(results, parser.isSet("instructions"));
    const auto failed = [](const Result &r) { return !r.error.isEmpty(); };
    return std::any_of(results.begin(), results.end(), failed) ? 1 : 0;
}
