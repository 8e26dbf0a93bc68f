#include "runner.h"

#include "benchcases.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line :
         file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>())
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool emitLine(const QByteArray &line)
{
    std::printf("%s %s\n", Tag, line.constData());
    std::fflush(stdout);
    return true;
}

bool fail(const QString &message)
{
    return !emitLine("error " + message.toUtf8());
}

// Runs the side once; only run() is timed, into wall and cpu when given.
void runOnce(Side *side, qint64 *wall = nullptr, qint64 *cpu = nullptr)
{
    side->prepare();
    const qint64 cpuStart = cpuNanoseconds();
    QElapsedTimer timer;
    timer.start();
    side->run();
    if (wall)
        *wall = timer.nsecsElapsed(), *cpu = cpuNanoseconds() - cpuStart;
    side->finish();
}

void sample(const char *name, Side *side)
{
    qint64 wall = 0, cpu = 0;
    runOnce(side, &wall, &cpu);
    emitLine(QByteArray("sample ") + name + ' ' + QByteArray::number(wall) + ' ' +
             QByteArray::number(cpu));
}

bool timeCase(Side *viewer, Side *floor, int runs)
{
    for (Side *side : {viewer, floor})
        for (int i = 0; side && i < Warmups; ++i)
            runOnce(side);
    // Interleaved, the order swapped every run, so that a change of the machine's load falls
    // on both sides alike.
    for (int i = 0; i < runs; ++i) {
        if (viewer && i % 2 == 0)
            sample("viewer", viewer);
        if (floor)
            sample("floor", floor);
        if (viewer && i % 2 == 1)
            sample("viewer", viewer);
    }
    return !viewer || viewer->check() || fail(viewer->error);
}

bool measureMemory(const char *name, Side *side, qint64 baseKib)
{
    for (int i = 0; i < 1 + MemoryRuns; ++i)
        runOnce(side);
    return side->check()
               ? emitLine(QByteArray("memory ") + name + ' ' + QByteArray::number(baseKib) + ' ' +
                          QByteArray::number(statusKib("VmHWM")) + ' ' +
                          QByteArray::number(side->imageBytes()))
               : fail(side->error);
}

bool countInstructions(Side *viewer, Side *floor)
{
#if PAGE_SCOPE_HAVE_CALLGRIND
    if (!RUNNING_ON_VALGRIND)
        return fail(QStringLiteral("--mode instructions needs valgrind --tool=callgrind"));
    for (const auto &[name, side] :
         {std::make_pair("viewer", viewer), std::make_pair("floor", floor)}) {
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
    return !viewer || viewer->check() || fail(viewer->error);
#else
    Q_UNUSED(viewer);
    Q_UNUSED(floor);
    return fail(QStringLiteral("built without valgrind/callgrind.h"));
#endif
}

// Runs one child and gathers its tagged lines into r; false, with r.error set, when it failed.
bool runProcess(const QString &program, const QStringList &arguments, const QString &what,
                Result &r)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool ran = process.waitForStarted(-1) && process.waitForFinished(-1);
    QString error = what + QStringLiteral(": the child process failed");
    for (const QByteArray &line :
         ran ? process.readAllStandardOutput().split('\n') : QList<QByteArray>()) {
        const QList<QByteArray> w = line.trimmed().split(' ');
        if (w.value(0) != Tag)
            continue;
        const bool viewer = w.value(2) == "viewer";
        if (w.value(1) == "sample" && w.size() >= 5) {
            Series &s = viewer ? r.viewer : r.floor;
            s.wallMs.append(w[3].toLongLong() / 1e6);
            s.cpuMs.append(w[4].toLongLong() / 1e6);
        } else if (w.value(1) == "memory" && w.size() >= 6) {
            (viewer ? r.viewerMemory : r.floorMemory) = {w[3].toLongLong(), w[4].toLongLong(),
                                                         w[5].toLongLong()};
        } else if (w.value(1) == "error" && error.endsWith(QLatin1String("failed"))) {
            error = what + QStringLiteral(": ") + QString::fromUtf8(w.mid(2).join(' '));
        }
    }
    if (ran && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    r.error = error;
    return false;
}

QStringList childArguments(const BenchCase &c, const QString &cache, const char *mode,
                           const char *side, int runs)
{
    return {QStringLiteral("--child"), c.id,
            QStringLiteral("--cache"), cache,
            QStringLiteral("--mode"),  mode,
            QStringLiteral("--side"),  side,
            QStringLiteral("--runs"),  QString::number(runs)};
}

// Callgrind writes one file per dump; each names the dump's label and its instruction total.
void collectInstructions(const QString &directory, Result &r)
{
    const QDir dir(directory);
    for (const QString &name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        QString label;
        qint64 total = -1;
        if (!file.open(QIODevice::ReadOnly))
            continue;
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

void progress(const char *step)
{
    std::fprintf(stderr, "%s", step);
    std::fflush(stderr);
}

} // namespace

int runChild(const BenchCase &c, const QString &cache, const QString &mode, const QString &side,
             int runs)
{
    Stage stage;
    stage.show();
    const qint64 baseKib = statusKib("VmRSS");
    const QString path = QDir(cache).filePath(c.document);
    std::unique_ptr<Side> viewer, floor;
    if (side != QLatin1String("floor"))
        viewer = c.viewer(stage, path);
    if (side != QLatin1String("viewer") && c.floor && (c.timedFloor || mode == "memory"))
        floor = c.floor(path);
    for (Side *s : {viewer.get(), floor.get()})
        if (s && !s->setUp())
            return fail(s->error), 1;

    bool ok = false;
    if (mode == QLatin1String("time"))
        ok = timeCase(viewer.get(), floor.get(), runs);
    else if (mode == QLatin1String("memory"))
        ok = viewer ? measureMemory("viewer", viewer.get(), baseKib)
                    : (!floor || measureMemory("floor", floor.get(), baseKib));
    else if (mode == QLatin1String("instructions"))
        ok = countInstructions(viewer.get(), floor.get());
    else
        ok = fail(QStringLiteral("unknown mode ") + mode);
    return ok ? 0 : 1;
}

Result runCase(const BenchCase &c, const QString &cache, int runs, bool memory,
               const QString &valgrind)
{
    const QString self = QCoreApplication::applicationFilePath();
    Result r;
    r.benchCase = &c;
    progress(qPrintable(c.id + QStringLiteral(": timing ... ")));
    QElapsedTimer timer;
    timer.start();
    bool ok = runProcess(self, childArguments(c, cache, "time", "both", runs),
                         QStringLiteral("timing"), r);
    if (memory && ok) {
        progress("memory ... ");
        for (const char *side : {"viewer", "floor"})
            if (side[0] == 'v' || c.floor)
                runProcess(self, childArguments(c, cache, "memory", side, 1),
                           QStringLiteral("memory"), r);
    }
    if (!valgrind.isEmpty() && r.error.isEmpty()) {
        progress("instructions ... ");
        QTemporaryDir dumps;
        const QStringList arguments =
            QStringList{QStringLiteral("--tool=callgrind"), QStringLiteral("-q"),
                        QStringLiteral("--collect-atstart=no"),
                        QStringLiteral("--callgrind-out-file=") +
                            dumps.filePath(QStringLiteral("callgrind.%p")),
                        self} +
            childArguments(c, cache, "instructions", "both", 1);
        runProcess(valgrind, arguments, QStringLiteral("instructions"), r);
        collectInstructions(dumps.path(), r);
    }
    std::fprintf(stderr, "%.0f s\n", timer.elapsed() / 1000.0);
    return r;
}
