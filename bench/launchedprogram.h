#pragma once

#include <QByteArray>
#include <QStringList>

#include <sys/types.h>

// Milliseconds on the monotonic clock, which the benchmarks' own timestamps and the viewer's
// start-up trace both use.
double monotonicMs();
void sleepMs(double ms);

// The environment a benchmark starts the viewer in: this process's own, without the automation
// plugin's library path and without any display or platform of its own, with `settings`
// ("NAME=value") on top.
QStringList launchEnvironment(const QStringList &settings);

// The device's screen: the size of the benchmarks' Xvfb and vnc screens.
constexpr int screenWidth = 480;
constexpr int screenHeight = 272;
// The setting that puts a program on Qt's vnc platform with that screen, served on this port.
QString vncPlatform(quint16 port);

// A program started as a device's launcher starts it: a fork and an exec, with nothing in
// between that would count against its start-up. Its standard output is discarded and its
// standard error kept for errors(); it dies with the benchmark.
class LaunchedProgram
{
public:
    LaunchedProgram() = default;
    LaunchedProgram(const LaunchedProgram &) = delete;
    LaunchedProgram &operator=(const LaunchedProgram &) = delete;
    ~LaunchedProgram() { stop(); }

    // Starts command[0] with exactly this environment; execMs is the monotonic time just before
    // the fork. With a cgroup's procs file, the child joins that cgroup before the exec.
    bool start(const QStringList &command, const QStringList &environment, double &execMs,
               const QByteArray &cgroupProcs = {});

    // What the program wrote to standard error so far.
    const QByteArray &errors();
    // Also collects standard error, so that a program polled this way never blocks on a full
    // pipe.
    bool running();
    // The exit status, or -1 for a program that was killed or did not exit within the time.
    int waitForExit(int timeoutMs);
    // Peak resident memory so far (VmHWM).
    double peakMiB() const;
    void stop();

private:
    // True once the program has ended, and then with its status in m_exitStatus.
    bool reaped();

    pid_t m_pid = -1;
    int m_exitStatus = -1;
    int m_errorPipe = -1;
    QByteArray m_errorText;
};
