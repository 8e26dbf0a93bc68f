#include "pageview/opentrial.h"

#include "base/processfootprint.h"
#include "base/startuptrace.h"
#include "pageview/addressspaceceiling.h"
#include "pageview/memoryheadroom.h"
#include "pageview/refusedallocations.h"
#include "pageview/renderbudget.h"

#include <poppler-qt5.h>

#include <QElapsedTimer>

#include <csignal>

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
// Poppler runs here, on the thread that forked; nothing returns from it.
[[noreturn]] void openInChild(const QString &path, qint64 mapped, qint64 room)
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
    _exit(refused.count() > 0 ? refusedStatus : 0);
}

// Waits for the child, whose end closes `exited`, until `timeoutMs` has passed; its status, or
// none after a kill.
bool waitFor(pid_t child, int exited, int *status)
{
    QElapsedTimer clock;
    clock.start();
    pollfd end = {exited, POLLIN, 0};
    int ready;
    do
        ready = poll(&end, 1, int(qMax<qint64>(0, OpenTrial::timeoutMs - clock.elapsed())));
    while (ready < 0 && errno == EINTR);
    const bool ended = ready > 0;
    if (!ended)
        kill(child, SIGKILL);
    pid_t waited;
    do
        waited = waitpid(child, status, 0);
    while (waited < 0 && errno == EINTR);
    return ended && waited == child;
}

} // namespace

QString OpenTrial::refusal(const QString &path, const MemoryHeadroom &headroom)
{
    // A sanitizer's allocator reserves its own address space, which the ceiling would refuse.
    const qint64 bytes = headroom.bytes();
    if (bytes >= triedBelow || !RefusedAllocations::areCounted())
        return {};
    // What the open may map: the headroom but the reserve, which the render and the failure box
    // that follow need.
    const qint64 room = qMax<qint64>(0, headroom.mappable() - RenderBudget::reserve);
    const qint64 mapped = ProcessFootprint::now().mapped;
    // The child holds the pipe's one end until it exits: the other end then tells.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        openInChild(path, mapped, room);
    }
    close(ends[1]);
    int status = 0;
    const bool ended = child > 0 && waitFor(child, ends[0], &status);
    close(ends[0]);
    if (child > 0)
        startupTrace("document's open tried in a child process");
    if (!ended)
        return {};
    constexpr double mebibyte = 1024.0 * 1024.0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == refusedStatus)
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
