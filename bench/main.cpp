// page-scope-bench: the page view against Poppler's own calls, each case in child processes.

#include "base/procstatus.h"
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

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else // a child asked to count then says that it cannot
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_TOGGLE_COLLECT (void)0
#define CALLGRIND_DUMP_STATS_AT(label) (void)0
#endif

namespace {
// Children report on standard output in lines tagged @bench, or @error, which the parent reads.
int fail(const QString &message)
{
    std::printf("@error %s\n", qPrintable(message));
    return 1;
}

// A child (case id, mode, side, runs). Timing interleaves both sides, swapped every run so that a
// change of load falls on both; memory measures one side's peak alone, after three runs beyond the
// first; instructions counts both under Callgrind, which load does not disturb. Only run() counts.
int runChild(const BenchCase &c, const QString &cache, const QStringList &args)
{
    const bool count = args.value(1) == "instructions", memory = args.value(1) == "memory";
    if (count && !RUNNING_ON_VALGRIND)
        return fail("counting needs valgrind --tool=callgrind and valgrind/callgrind.h");
    Stage stage;
    stage.show();
    const QString path = QDir(cache).filePath(c.document), which = args.value(2);
    const qint64 base = statusKib("VmRSS");
    std::vector<std::pair<const char *, std::unique_ptr<Side>>> sides;
    if (which != "floor")
        sides.emplace_back("viewer", c.viewer(stage, path));
    if (which != "viewer" && (c.timedFloor || memory))
        sides.emplace_back("floor", c.floor(path));
    for (auto &[name, side] : sides)
        if (!side->setUp())
            return fail(side->error);
    const int n = int(sides.size()), warmups = count ? 1 : memory ? 4 : 2;
    qint64 largestImage = 0; // of a memory child's one side, read before finish() closes it
    for (int i = -warmups; i < (count ? 1 : memory ? 0 : args.value(3).toInt()); ++i)
        for (int k = 0; k < n; ++k) {
            auto &[name, side] = sides[i % 2 ? n - 1 - k : k];
            side->prepare();
            const std::clock_t cpu = std::clock();
            QElapsedTimer timer;
            timer.start();
            CALLGRIND_TOGGLE_COLLECT;
            side->run();
            CALLGRIND_TOGGLE_COLLECT;
            const double wallMs = timer.nsecsElapsed() / 1e6;
            const double cpuMs = (std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
            largestImage = std::max(largestImage, side->imageBytes());
            side->finish();
            CALLGRIND_DUMP_STATS_AT(i < 0 ? "warm-up" : name); // a no-op unless counting
            if (i >= 0 && !count)
                std::printf("@bench %s sample %.6f %.6f\n", name, wallMs, cpuMs);
        }
    for (auto &[name, side] : sides)
        if (!side->check())
            return fail(side->error);
    if (memory)
        std::printf("@bench %s memory %lld %lld %lld\n", qPrintable(which), base,
                    statusKib("VmHWM"), largestImage);
    return 0;
}

// Runs a child of r's case, under Callgrind to count: its measures go into r, a failure to r.error.
void spawn(Result &r, const QString &cache, int runs, const QString &mode, const char *side)
{
    std::fprintf(stderr, "%s: %s %s\n", qPrintable(r.benchCase->id), qPrintable(mode), side);
    runs = runs > 0 ? runs : r.benchCase->runs;
    QStringList command{QCoreApplication::applicationFilePath(), "--cache", cache, "--child",
                        QStringList{r.benchCase->id, mode, side, QString::number(runs)}.join(',')};
    QTemporaryDir dumps;
    if (mode == "instructions")
        command = QStringList{"valgrind", "--tool=callgrind", "-q", "--collect-atstart=no",
                              "--callgrind-out-file=" + dumps.filePath("callgrind.%p")} +
                  command;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.takeFirst(), command);
    // Bounded: a child stuck on a document (a FIFO in the cache) must not hold the whole run.
    if (!process.waitForFinished(60 * 60 * 1000))
        process.kill();
    process.waitForFinished();
    QString error = QStringLiteral("the child process failed");
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        Measured &m = r.side(line.split(' ').value(1));
        double wallMs, cpuMs;
        if (line.startsWith("@error "))
            error = QString::fromUtf8(line.mid(7));
        std::sscanf(line, "@bench %*s memory %lld %lld %lld", &m.baseKib, &m.peakKib,
                    &m.imageBytes);
        if (std::sscanf(line, "@bench %*s sample %lf %lf", &wallMs, &cpuMs) == 2) {
            m.wallMs << wallMs;
            m.cpuMs << cpuMs;
        }
    }
    // Callgrind writes a file per dump, with its label and its instruction total.
    const QRegularExpression dump("(?ms)Request: (viewer|floor)$.*?^(?:totals|summary): (\\d+)");
    for (const QFileInfo &info : QDir(dumps.path()).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        const auto found = dump.match(file.open(QIODevice::ReadOnly) ? file.readAll() : "");
        if (found.hasMatch())
            r.side(found.captured(1).toUtf8()).instructions = found.captured(2).toLongLong();
    }
    if (process.error() != QProcess::UnknownError || process.exitCode() != 0)
        r.error = mode + ": " + error;
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
         "Directory of the generated documents (default: bench-documents beside the program).",
         "dir", QCoreApplication::applicationDirPath() + "/bench-documents"},
        {"cases", "Comma-separated case ids (default: all).", "ids"},
        {"runs", "Samples per side for every case (default: each case's own count).", "n"},
        {"no-memory", "Skip the peak memory processes."},
        {"instructions", "Also count instructions under Callgrind (slow)."},
        {"list", "List the cases and exit."},
        {"documents-only", "Write the documents and exit."},
        {"child", "Internal.", "args"},
    });
    parser.process(app);
    const QVector<BenchCase> all = benchCases();
    QStringList ids;
    for (const BenchCase &c : all)
        ids << c.id;
    const QString cache = parser.value("cache");
    if (parser.isSet("child")) {
        const QStringList child = parser.value("child").split(',');
        const int i = ids.indexOf(child.value(0));
        return i < 0 ? fail("unknown case " + child.value(0)) : runChild(all[i], cache, child);
    }
    if (parser.isSet("list")) {
        for (const BenchCase &c : all)
            std::printf("%-16s %s\n", qPrintable(c.id), qPrintable(c.title));
        return 0;
    }
    const bool written = BenchDocuments::ensure(cache);
    if (!written || parser.isSet("documents-only"))
        return written ? 0 : 1;
    QVector<Result> results;
    for (const QString &id : parser.isSet("cases") ? parser.value("cases").split(',') : ids) {
        const int i = ids.indexOf(id.trimmed());
        if (i < 0) {
            std::fprintf(stderr, "unknown case %s (see --list)\n", qPrintable(id));
            return 2;
        }
        results << Result();
        results.last().benchCase = &all[i];
    }
    // A kind of child runs only when the kinds before it succeeded.
    const int runs = parser.value("runs").toInt();
    for (Result &r : results) {
        spawn(r, cache, runs, "timing", "both");
        if (!parser.isSet("no-memory") && r.error.isEmpty()) {
            spawn(r, cache, runs, "memory", "viewer");
            spawn(r, cache, runs, "memory", "floor");
        }
        if (parser.isSet("instructions") && r.error.isEmpty())
            spawn(r, cache, runs, "instructions", "both");
    }
    writeReport(results, parser.isSet("instructions"));
    const auto failed = [](const Result &r) { return !r.error.isEmpty(); };
    return std::any_of(results.begin(), results.end(), failed) ? 1 : 0;
}
