// page-scope-bench: the viewer's page view against Poppler's own cost, side by side.
//
// The parent writes the documents once into a cache directory, then runs every case in fresh
// child processes of itself: one that times both sides interleaved, and one per side that only
// measures the peak resident memory, so that neither side's memory is counted for the other.
// With --instructions a further child per case runs under Callgrind and counts instructions,
// which the load of a shared machine does not disturb.

#include "benchcases.h"
#include "benchdocuments.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define PAGE_SCOPE_HAVE_CALLGRIND 1
#else
#define PAGE_SCOPE_HAVE_CALLGRIND 0
#endif

namespace {

// Lines of the children that the parent reads; anything else on their output is ignored.
const char *const Tag = "@bench";

constexpr int Warmups = 2;
constexpr int MemoryRuns = 3;
constexpr double Tolerance = 1.10;

qint64 cpuNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A field of /proc/self/status in KiB, such as VmRSS or VmHWM (the peak of VmRSS).
qint64 statusKib(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void emitLine(const QByteArray &line)
{
    std::printf("%s %s\n", Tag, line.constData());
    std::fflush(stdout);
}

bool fail(const QString &message)
{
    emitLine("error " + message.toUtf8());
    return false;
}

const BenchCase *findCase(const QVector<BenchCase> &cases, const QString &id)
{
    for (const BenchCase &c : cases)
        if (c.id == id)
            return &c;
    return nullptr;
}

// --- Child: one case, in a process of its own -------------------------------------------------

struct Sides
{
    std::unique_ptr<Side> viewer;
    std::unique_ptr<Side> floor;
};

bool setUpSide(Side *side)
{
    if (!side)
        return true;
    return side->setUp() || fail(side->error);
}

void runOnce(Side *side)
{
    side->prepare();
    side->run();
    side->finish();
}

void sample(const char *name, Side *side)
{
    side->prepare();
    const qint64 cpu = cpuNanoseconds();
    QElapsedTimer timer;
    timer.start();
    side->run();
    const qint64 wall = timer.nsecsElapsed();
    const qint64 cpuUsed = cpuNanoseconds() - cpu;
    side->finish();
    emitLine(QByteArray("sample ") + name + ' ' + QByteArray::number(wall) + ' ' +
             QByteArray::number(cpuUsed));
}

bool timeCase(const Sides &s, int runs)
{
    for (Side *side : {s.viewer.get(), s.floor.get()})
        if (side)
            for (int i = 0; i < Warmups; ++i)
                runOnce(side);
    // Interleaved, the order swapped every run, so that a change of the machine's load falls
    // on both sides alike.
    for (int i = 0; i < runs; ++i) {
        const bool viewerFirst = i % 2 == 0;
        if (s.viewer && viewerFirst)
            sample("viewer", s.viewer.get());
        if (s.floor)
            sample("floor", s.floor.get());
        if (s.viewer && !viewerFirst)
            sample("viewer", s.viewer.get());
    }
    return !s.viewer || s.viewer->check() || fail(s.viewer->error);
}

bool measureMemory(const char *name, Side *side, qint64 baseKib)
{
    qint64 imageBytes = 0;
    for (int i = 0; i < 1 + MemoryRuns; ++i) {
        side->prepare();
        side->run();
        imageBytes = side->imageBytes();
        side->finish();
    }
    if (!side->check())
        return fail(side->error);
    emitLine(QByteArray("memory ") + name + ' ' + QByteArray::number(baseKib) + ' ' +
             QByteArray::number(statusKib("VmHWM")) + ' ' + QByteArray::number(imageBytes));
    return true;
}

bool countInstructions(const Sides &s)
{
#if PAGE_SCOPE_HAVE_CALLGRIND
    if (!RUNNING_ON_VALGRIND)
        return fail(QStringLiteral("--mode instructions needs valgrind --tool=callgrind"));
    const std::pair<const char *, Side *> sides[] = {{"viewer", s.viewer.get()},
                                                     {"floor", s.floor.get()}};
    for (const auto &[name, side] : sides) {
        if (!side)
            continue;
        runOnce(side);
        side->prepare();
        CALLGRIND_TOGGLE_COLLECT;
        side->run();
        CALLGRIND_TOGGLE_COLLECT;
        CALLGRIND_DUMP_STATS_AT(name);
        side->finish();
    }
    return !s.viewer || s.viewer->check() || fail(s.viewer->error);
#else
    Q_UNUSED(s);
    return fail(QStringLiteral("built without valgrind/callgrind.h"));
#endif
}

int runChild(const BenchCase &c, const QString &cache, const QString &mode, const QString &side,
             int runs)
{
    Stage stage;
    stage.show();
    const qint64 baseKib = statusKib("VmRSS");
    const QString path = QDir(cache).filePath(c.document);

    Sides s;
    if (side != QLatin1String("floor"))
        s.viewer = c.viewer(stage, path);
    if (side != QLatin1String("viewer") && c.floor && (c.timedFloor || mode == "memory"))
        s.floor = c.floor(path);
    if (!setUpSide(s.viewer.get()) || !setUpSide(s.floor.get()))
        return 1;

    bool ok = false;
    if (mode == QLatin1String("time"))
        ok = timeCase(s, runs);
    else if (mode == QLatin1String("memory"))
        ok = s.viewer ? measureMemory("viewer", s.viewer.get(), baseKib)
                      : (!s.floor || measureMemory("floor", s.floor.get(), baseKib));
    else if (mode == QLatin1String("instructions"))
        ok = countInstructions(s);
    else
        ok = fail(QStringLiteral("unknown mode ") + mode);
    return ok ? 0 : 1;
}

// --- Parent: run the children and write the tables --------------------------------------------

struct Series
{
    QVector<double> wallMs;
    QVector<double> cpuMs;
};

double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const int n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double minimum(const QVector<double> &v)
{
    return v.isEmpty() ? 0 : *std::min_element(v.begin(), v.end());
}

double maximum(const QVector<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

struct Memory
{
    qint64 baseKib = -1;
    qint64 peakKib = -1;
    qint64 imageBytes = 0;
};

struct Result
{
    const BenchCase *benchCase = nullptr;
    Series viewer;
    Series floor;
    Memory viewerMemory;
    Memory floorMemory;
    qint64 viewerInstructions = -1;
    qint64 floorInstructions = -1;
    QString error;
};

struct ChildOutput
{
    bool ok = false;
    QList<QList<QByteArray>> lines; // the tagged lines, split into words, without the tag
};

ChildOutput runProcess(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    ChildOutput out;
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1))
        return out;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.value(0) == Tag)
            out.lines.append(words.mid(1));
    }
    out.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return out;
}

QString childError(const ChildOutput &out, const QString &what)
{
    for (const QList<QByteArray> &words : out.lines)
        if (words.value(0) == "error")
            return what + QStringLiteral(": ") + QString::fromUtf8(words.mid(1).join(' '));
    return what + QStringLiteral(": the child process failed");
}

QStringList childArguments(const BenchCase &c, const QString &cache, const QString &mode,
                           const QString &side, int runs)
{
    return {QStringLiteral("--child"), c.id,
            QStringLiteral("--cache"), cache,
            QStringLiteral("--mode"),  mode,
            QStringLiteral("--side"),  side,
            QStringLiteral("--runs"),  QString::number(runs)};
}

void collectTimes(const ChildOutput &out, Result &r)
{
    for (const QList<QByteArray> &w : out.lines) {
        if (w.value(0) != "sample" || w.size() < 4)
            continue;
        Series &s = w.at(1) == "viewer" ? r.viewer : r.floor;
        s.wallMs.append(w.at(2).toLongLong() / 1e6);
        s.cpuMs.append(w.at(3).toLongLong() / 1e6);
    }
}

void collectMemory(const ChildOutput &out, Result &r)
{
    for (const QList<QByteArray> &w : out.lines) {
        if (w.value(0) != "memory" || w.size() < 5)
            continue;
        Memory &m = w.at(1) == "viewer" ? r.viewerMemory : r.floorMemory;
        m.baseKib = w.at(2).toLongLong();
        m.peakKib = w.at(3).toLongLong();
        m.imageBytes = w.at(4).toLongLong();
    }
}

// Callgrind writes one file per dump; each names the dump's label and its instruction total.
void collectInstructions(const QString &directory, Result &r)
{
    const QDir dir(directory);
    for (const QString &name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QString label;
        qint64 total = -1;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            if (line.startsWith("desc: Trigger: Client Request: "))
                label = QString::fromUtf8(line.mid(31));
            else if (line.startsWith("totals: ") || (line.startsWith("summary: ") && total < 0))
                total = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        if (label == QLatin1String("viewer"))
            r.viewerInstructions = total;
        else if (label == QLatin1String("floor"))
            r.floorInstructions = total;
    }
}

QString ms(double value)
{
    if (value < 1)
        return QString::number(value, 'f', 3);
    if (value < 10)
        return QString::number(value, 'f', 2);
    if (value < 100)
        return QString::number(value, 'f', 1);
    return QString::number(value, 'f', 0);
}

QString mib(double kib)
{
    return QString::number(kib / 1024.0, 'f', 1);
}

QString ratio(double a, double b)
{
    return b > 0 ? QString::number(a / b, 'f', 3) : QStringLiteral("—");
}

double ratioMedian(const Result &r)
{
    return median(r.viewer.wallMs) / median(r.floor.wallMs);
}

const Result *byId(const QVector<Result> &results, const char *id)
{
    for (const Result &r : results)
        if (r.benchCase->id == QLatin1String(id) && r.error.isEmpty() && !r.viewer.wallMs.isEmpty())
            return &r;
    return nullptr;
}

// The memory bound: the process before the case, one page image, and a tenth of both on top.
double boundKib(const Memory &m)
{
    return Tolerance * (m.baseKib + m.imageBytes / 1024.0);
}

void writeTables(QTextStream &out, const QVector<Result> &results, bool instructions)
{
    out << "Times in milliseconds over repeated runs, viewer and Poppler interleaved in one "
           "process. Ratio = viewer / Poppler (wall-clock medians, wall-clock minimums, and "
           "process CPU-time medians).\n\n";
    out << "| Case | Runs | Viewer median | min | max | Poppler median | min | max | Ratio median "
           "| "
           "Ratio min | Ratio CPU |\n";
    out << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Result &r : results) {
        if (!r.error.isEmpty()) {
            out << "| " << r.benchCase->title << " | failed: " << r.error
                << " | | | | | | | | | |\n";
            continue;
        }
        const bool floor = !r.floor.wallMs.isEmpty();
        const QString none = QStringLiteral("—");
        out << "| " << r.benchCase->title << " | " << r.viewer.wallMs.size() << " | "
            << ms(median(r.viewer.wallMs)) << " | " << ms(minimum(r.viewer.wallMs)) << " | "
            << ms(maximum(r.viewer.wallMs)) << " | " << (floor ? ms(median(r.floor.wallMs)) : none)
            << " | " << (floor ? ms(minimum(r.floor.wallMs)) : none) << " | "
            << (floor ? ms(maximum(r.floor.wallMs)) : none) << " | "
            << (floor ? ratio(median(r.viewer.wallMs), median(r.floor.wallMs)) : none) << " | "
            << (floor ? ratio(minimum(r.viewer.wallMs), minimum(r.floor.wallMs)) : none) << " | "
            << (floor ? ratio(median(r.viewer.cpuMs), median(r.floor.cpuMs)) : none) << " |\n";
    }

    const bool memory = std::any_of(results.begin(), results.end(),
                                    [](const Result &r) { return r.viewerMemory.peakKib >= 0; });
    if (memory) {
        out << "\nPeak resident memory (VmHWM) in MiB, each side in a process of its own. Base = "
               "resident memory of that process with its window shown, before the case; image = "
               "the page image the case ends with (its largest); bound = 1.10 x (base + "
               "image).\n\n";
        out << "| Case | Base | Image | Bound | Viewer peak | Poppler peak | Viewer - Poppler | "
               "Viewer within bound |\n";
        out << "|---|---:|---:|---:|---:|---:|---:|---|\n";
    }
    for (const Result &r : results) {
        const Memory &v = r.viewerMemory;
        const Memory &f = r.floorMemory;
        if (v.peakKib < 0)
            continue;
        const bool floor = f.peakKib >= 0;
        out << "| " << r.benchCase->title << " | " << mib(v.baseKib) << " | "
            << mib(v.imageBytes / 1024.0) << " | " << mib(boundKib(v)) << " | " << mib(v.peakKib)
            << " | " << (floor ? mib(f.peakKib) : QStringLiteral("—")) << " | "
            << (floor ? mib(double(v.peakKib - v.baseKib) - (f.peakKib - f.baseKib))
                      : QStringLiteral("—"))
            << " | " << (v.peakKib <= boundKib(v) ? "yes" : "no") << " |\n";
    }

    if (instructions) {
        out << "\nInstructions (Callgrind, one run of each side after one warm-up run).\n\n";
        out << "| Case | Viewer | Poppler | Ratio |\n|---|---:|---:|---:|\n";
        for (const Result &r : results) {
            if (r.viewerInstructions < 0)
                continue;
            const bool floor = r.floorInstructions > 0;
            out << "| " << r.benchCase->title << " | " << r.viewerInstructions << " | "
                << (floor ? QString::number(r.floorInstructions) : QStringLiteral("—")) << " | "
                << (floor ? ratio(r.viewerInstructions, r.floorInstructions) : QStringLiteral("—"))
                << " |\n";
        }
    }

    out << "\nTargets:\n\n";
    int within = 0, compared = 0;
    QString worst;
    double worstRatio = 0;
    for (const Result &r : results) {
        if (!r.error.isEmpty() || r.floor.wallMs.isEmpty())
            continue;
        const double q = ratioMedian(r);
        ++compared;
        within += q <= Tolerance;
        if (q > worstRatio) {
            worstRatio = q;
            worst = r.benchCase->id;
        }
    }
    if (compared) {
        out << "- Ratio to Poppler at most 1.10 (wall-clock medians): " << within << " of "
            << compared << " cases";
        out << "; the highest is " << QString::number(worstRatio, 'f', 3) << " (" << worst << "). "
            << (within == compared ? "Met." : "Not met.") << '\n';
    }

    if (instructions) {
        int counted = 0, below = 0;
        for (const Result &r : results) {
            if (r.viewerInstructions < 0 || r.floorInstructions <= 0)
                continue;
            ++counted;
            below += double(r.viewerInstructions) / r.floorInstructions <= Tolerance;
        }
        out << "- Ratio to Poppler at most 1.10 (instructions): " << below << " of " << counted
            << " cases. " << (counted && below == counted ? "Met." : "Not met.") << '\n';
    }

    if (const Result *s = byId(results, "scroll-300")) {
        const double m = median(s->viewer.wallMs);
        out << "- Scroll step within a page at 300 dpi under 5 ms: median " << ms(m) << " ms, max "
            << ms(maximum(s->viewer.wallMs)) << " ms. " << (m < 5 ? "Met." : "Not met.") << '\n';
    }

    const Result *one = byId(results, "open-1");
    const Result *many = byId(results, "open-10000");
    if (one && many) {
        const double popplerDifference = median(many->floor.wallMs) - median(one->floor.wallMs);
        const double limit = 1.2 * (median(one->viewer.wallMs) + popplerDifference);
        const double m = median(many->viewer.wallMs);
        out << "- Opening 10,000 pages within 1.2 x (opening 1 page + Poppler's difference): "
            << ms(m) << " ms against 1.2 x (" << ms(median(one->viewer.wallMs)) << " + "
            << ms(popplerDifference) << ") = " << ms(limit) << " ms. "
            << (m <= limit ? "Met." : "Not met.") << '\n';
    }

    int bounded = 0, measured = 0, floorBounded = 0;
    for (const Result &r : results) {
        if (r.viewerMemory.peakKib < 0)
            continue;
        ++measured;
        bounded += r.viewerMemory.peakKib <= boundKib(r.viewerMemory);
        floorBounded +=
            r.floorMemory.peakKib >= 0 && r.floorMemory.peakKib <= boundKib(r.floorMemory);
    }
    if (measured)
        out << "- Peak resident memory at most 1.10 x (base + one page image): viewer within it in "
            << bounded << " of " << measured << " cases (Poppler alone: " << floorBounded << "). "
            << (bounded == measured ? "Met." : "Not met.") << '\n';
}

int runParent(const QVector<BenchCase> &cases, const QString &cache, int runsOverride, bool memory,
              bool instructions, const QString &valgrind)
{
    if (!BenchDocuments::ensure(cache))
        return 1;
    const QString self = QCoreApplication::applicationFilePath();
    QVector<Result> results;
    for (const BenchCase &c : cases) {
        Result r;
        r.benchCase = &c;
        const int runs = runsOverride > 0 ? runsOverride : c.runs;
        std::fprintf(stderr, "%s: timing ... ", qPrintable(c.id));
        std::fflush(stderr);
        QElapsedTimer timer;
        timer.start();
        ChildOutput out =
            runProcess(self, childArguments(c, cache, QStringLiteral("time"), "both", runs));
        if (!out.ok)
            r.error = childError(out, QStringLiteral("timing"));
        collectTimes(out, r);

        if (memory && r.error.isEmpty()) {
            std::fprintf(stderr, "memory ... ");
            std::fflush(stderr);
            for (const char *side : {"viewer", "floor"}) {
                if (QLatin1String(side) == QLatin1String("floor") && !c.floor)
                    continue;
                out = runProcess(self, childArguments(c, cache, QStringLiteral("memory"), side, 1));
                if (!out.ok)
                    r.error = childError(out, QStringLiteral("memory"));
                collectMemory(out, r);
            }
        }

        if (instructions && r.error.isEmpty()) {
            std::fprintf(stderr, "instructions ... ");
            std::fflush(stderr);
            QTemporaryDir dumps;
            QStringList arguments = {QStringLiteral("--tool=callgrind"), QStringLiteral("-q"),
                                     QStringLiteral("--collect-atstart=no"),
                                     QStringLiteral("--callgrind-out-file=") +
                                         dumps.filePath(QStringLiteral("callgrind.%p")),
                                     self};
            arguments += childArguments(c, cache, QStringLiteral("instructions"), "both", 1);
            out = runProcess(valgrind, arguments);
            if (!out.ok)
                r.error = childError(out, QStringLiteral("instructions"));
            collectInstructions(dumps.path(), r);
        }
        std::fprintf(stderr, "%.0f s\n", timer.elapsed() / 1000.0);
        results.append(r);
    }

    QTextStream out(stdout);
    writeTables(out, results, instructions);
    out.flush();
    for (const Result &r : results)
        if (!r.error.isEmpty())
            return 1;
    return 0;
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
    const QCommandLineOption cacheOption(
        QStringLiteral("cache"),
        QStringLiteral("Directory of the generated documents (default: bench-documents beside "
                       "the program)."),
        QStringLiteral("dir"));
    const QCommandLineOption casesOption(QStringLiteral("cases"),
                                         QStringLiteral("Comma-separated case ids (default: all)."),
                                         QStringLiteral("ids"));
    const QCommandLineOption runsOption(
        QStringLiteral("runs"),
        QStringLiteral("Samples per side for every case (default: each "
                       "case's own count)."),
        QStringLiteral("n"));
    const QCommandLineOption noMemoryOption(QStringLiteral("no-memory"),
                                            QStringLiteral("Skip the peak memory processes."));
    const QCommandLineOption instructionsOption(
        QStringLiteral("instructions"),
        QStringLiteral("Also count instructions under Callgrind (slow)."));
    const QCommandLineOption valgrindOption(QStringLiteral("valgrind"),
                                            QStringLiteral("The valgrind program to use."),
                                            QStringLiteral("path"), QStringLiteral("valgrind"));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        QStringLiteral("List the cases and exit."));
    const QCommandLineOption documentsOption(QStringLiteral("documents-only"),
                                             QStringLiteral("Write the documents and exit."));
    // Used by the parent to start its children.
    const QCommandLineOption childOption(QStringLiteral("child"), QStringLiteral("Internal."),
                                         QStringLiteral("id"));
    const QCommandLineOption modeOption(QStringLiteral("mode"), QStringLiteral("Internal."),
                                        QStringLiteral("mode"), QStringLiteral("time"));
    const QCommandLineOption sideOption(QStringLiteral("side"), QStringLiteral("Internal."),
                                        QStringLiteral("side"), QStringLiteral("both"));
    parser.addOptions({cacheOption, casesOption, runsOption, noMemoryOption, instructionsOption,
                       valgrindOption, listOption, documentsOption, childOption, modeOption,
                       sideOption});
    parser.process(app);

    const QVector<BenchCase> all = benchCases();
    const QString cache = parser.isSet(cacheOption)
                              ? parser.value(cacheOption)
                              : QDir(QCoreApplication::applicationDirPath())
                                    .filePath(QStringLiteral("bench-documents"));
    const int runs = parser.value(runsOption).toInt();

    if (parser.isSet(childOption)) {
        const BenchCase *c = findCase(all, parser.value(childOption));
        if (!c)
            return fail(QStringLiteral("unknown case ") + parser.value(childOption)), 1;
        return runChild(*c, cache, parser.value(modeOption), parser.value(sideOption),
                        runs > 0 ? runs : c->runs);
    }

    if (parser.isSet(listOption)) {
        for (const BenchCase &c : all)
            std::printf("%-16s %s\n", qPrintable(c.id), qPrintable(c.title));
        return 0;
    }
    if (parser.isSet(documentsOption))
        return BenchDocuments::ensure(cache) ? 0 : 1;

    QVector<BenchCase> chosen;
    if (parser.isSet(casesOption)) {
        for (const QString &id : parser.value(casesOption).split(QLatin1Char(','))) {
            const BenchCase *c = findCase(all, id.trimmed());
            if (!c) {
                std::fprintf(stderr, "unknown case %s (see --list)\n", qPrintable(id));
                return 2;
            }
            chosen.append(*c);
        }
    } else {
        chosen = all;
    }
    return runParent(chosen, cache, runs, !parser.isSet(noMemoryOption),
                     parser.isSet(instructionsOption), parser.value(valgrindOption));
}
