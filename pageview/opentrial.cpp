#include "pageview/opentrial.h"

#include "base/processfootprint.h"
#include "base/procstatus.h"
#include "base/startuptrace.h"
#include "pageview/addressspaceceiling.h"
#include "pageview/fileidentity.h"
#include "pageview/memoryheadroom.h"
#include "pageview/refusedallocations.h"
#include "pageview/renderbudget.h"

#include <poppler-qt5.h>

#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int refusedStatus = 3;

void ignoreMessage(const QString &, const QVariant &) {}

const RefusedAllocations *childRefusals = nullptr;

// Poppler ends the process on some refusals and crashes on others: after one, the child says
// that memory ran out rather than die of it.
void onFatalSignal(int signal)
{
    if (childRefusals && childRefusals->count() > 0)
        _exit(refusedStatus);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// In the child, which the kernel's out-of-memory killer is to choose before the viewer. Only
// Poppler runs here, on the thread that forked; nothing returns from it. Writes to `report` how
// far its address space grew past `mapped`, the viewer's at the fork, at its peak.
[[noreturn]] void openInChild(const QString &path, qint64 mapped, qint64 room, int report)
{
    // Its messages come again at the real open.
    Poppler::setDebugErrorFunction(ignoreMessage, QVariant());
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0)
        dup2(null, STDERR_FILENO);
    // Where the score cannot be set, the child is still the larger of the two.
    const int score = open("/proc/self/oom_score_adj", O_WRONLY | O_CLOEXEC);
    if (score >= 0) {
        [[maybe_unused]] const ssize_t written = write(score, "1000", 4);
    }
    const AddressSpaceCeiling ceiling(mapped, room);
    const RefusedAllocations refused;
    childRefusals = &refused;
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS})
        std::signal(signal, onFatalSignal);
    Poppler::Document::load(path, QByteArray(), QByteArray());
    // The kernel's peak starts from the viewer's own, so it never says less than the growth.
    const qint64 growth = qMax<qint64>(0, statusKib("VmPeak") * 1024 - mapped);
    if (refused.count() > 0)
        _exit(refusedStatus);
    [[maybe_unused]] const ssize_t written = write(report, &growth, sizeof growth);
    _exit(0);
}

struct Trial
{
    pid_t child = -1;
    int report = -1; // the read end of the child's pipe
    QString path;
    FileIdentity file;
    QElapsedTimer clock;
};

struct Outcome
{
    bool ended = false; // false: the child was killed at the timeout
    int status = 0;
    qint64 growth = -1; // -1 where the child did not say
};

std::optional<Trial> early;

std::optional<Trial> start(const QString &path, const MemoryHeadroom &headroom)
{
    // What the open may map: the headroom but the reserve, which the render and the failure box
    // that follow need.
    const qint64 room = qMax<qint64>(0, headroom.mappable() - RenderBudget::reserve);
    const qint64 mapped = ProcessFootprint::now().mapped;
    // The child holds the pipe's one end until it exits: the other end then tells.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    Trial trial;
    trial.path = path;
    trial.file = FileIdentity::of(path);
    trial.clock.start();
    trial.child = fork();
    if (trial.child == 0) {
        close(ends[0]);
        openInChild(path, mapped, room, ends[1]);
    }
    close(ends[1]);
    trial.report = ends[0];
    if (trial.child < 0) {
        close(ends[0]);
        return std::nullopt;
    }
    return trial;
}

// Reads what the child says until its end, or until `timeoutMs` has passed since it started and
// it is killed, and reaps it.
Outcome finish(const Trial &trial)
{
    Outcome outcome;
    qint64 growth = 0;
    size_t received = 0;
    pollfd end = {trial.report, POLLIN, 0};
    for (;;) {
        const int ready =
            poll(&end, 1, int(qMax<qint64>(0, OpenTrial::timeoutMs - trial.clock.elapsed())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t bytes = read(trial.report, reinterpret_cast<char *>(&growth) + received,
                                   sizeof growth - received);
        if (bytes < 0 && errno == EINTR)
            continue;
        if (bytes <= 0) {
            outcome.ended = true;
            break;
        }
        received += size_t(bytes);
    }
    close(trial.report);
    if (!outcome.ended)
        kill(trial.child, SIGKILL);
    pid_t waited;
    do
        waited = waitpid(trial.child, &outcome.status, 0);
    while (waited < 0 && errno == EINTR);
    outcome.ended = outcome.ended && waited == trial.child;
    outcome.growth = received == sizeof growth ? growth : -1;
    return outcome;
}

void discard(const Trial &trial)
{
    kill(trial.child, SIGKILL);
    finish(trial);
}

} // namespace

void OpenTrial::startEarly(const QString &path)
{
    const MemoryHeadroom headroom = MemoryHeadroom::current();
    if (!early && headroom.bytes() < triedBelow && RefusedAllocations::areCounted() &&
        QFileInfo(path).isFile())
        early = start(path, headroom);
}

QString OpenTrial::refusal(const QString &path, const MemoryHeadroom &headroom)
{
    std::optional<Trial> trial;
    if (early) {
        if (early->path == path && early->file == FileIdentity::of(path))
            trial = early;
        else
            discard(*early);
        early.reset();
    }
    // A sanitizer's allocator reserves its own address space, which the ceiling would refuse.
    const qint64 bytes = headroom.bytes();
    if (bytes >= triedBelow || !RefusedAllocations::areCounted()) {
        if (trial)
            discard(*trial);
        return {};
    }
    // An early trial had the room there was before the window was made: what it took must also
    // fit the room now.
    const bool triedEarly = trial.has_value();
    if (!trial)
        trial = start(path, headroom);
    if (!trial)
        return {};
    const Outcome outcome = finish(*trial);
    startupTrace("document's open tried in a child process");
    if (!outcome.ended)
        return {};
    constexpr double mebibyte = 1024.0 * 1024.0;
    const int status = outcome.status;
    const qint64 room = qMax<qint64>(0, headroom.mappable() - RenderBudget::reserve);
    if ((WIFEXITED(status) && WEXITSTATUS(status) == refusedStatus) ||
        (triedEarly && WIFEXITED(status) && outcome.growth > room))
        return QString::asprintf("for memory: its open needs more than the headroom (%.1f MiB)",
                                 double(bytes) / mebibyte);
    // Nothing but the kernel's out-of-memory killer, or a person, sends the child SIGKILL.
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        return QString::asprintf(
            "for memory: the kernel ended a trial of its open (headroom %.1f MiB)",
            double(bytes) / mebibyte);
    if (WIFSIGNALED(status))
        return QString::asprintf("after a trial of its open ended on signal %d (headroom %.1f MiB)",
                                 WTERMSIG(status), double(bytes) / mebibyte);
    return {};
}
