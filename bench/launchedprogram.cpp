#include "launchedprogram.h"

#include "base/procstatus.h"

#include <QFile>
#include <QProcessEnvironment>

#include <cmath>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

double monotonicMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void sleepMs(double ms)
{
    const timespec pause{time_t(ms / 1000), long(std::fmod(ms, 1000.0) * 1e6)};
    nanosleep(&pause, nullptr);
}

QStringList launchEnvironment(const QStringList &settings)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LD_LIBRARY_PATH", "DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    for (const QString &setting : settings)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return environment.toStringList();
}

QString vncPlatform(quint16 port)
{
    return QString("QT_QPA_PLATFORM=vnc:size=%1x%2:port=%3")
        .arg(screenWidth)
        .arg(screenHeight)
        .arg(port);
}

bool LaunchedProgram::start(const QStringList &command, const QStringList &environment,
                            double &execMs, const QByteArray &cgroupProcs)
{
    // Everything the child needs is made before the fork, so that only the exec lies between
    // the fork and the program's own start.
    std::vector<QByteArray> words, entries;
    for (const QString &word : command)
        words.push_back(QFile::encodeName(word));
    for (const QString &entry : environment)
        entries.push_back(entry.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    for (QByteArray &entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    int pipes[2];
    if (argv.size() < 2 || pipe2(pipes, O_CLOEXEC) != 0)
        return false;

    execMs = monotonicMs();
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (!cgroupProcs.isEmpty()) {
            const int procs = open(cgroupProcs.constData(), O_WRONLY);
            if (procs < 0 || ::write(procs, "0", 1) != 1)
                _exit(126);
            close(procs);
        }
        dup2(pipes[1], 2);
        dup2(open("/dev/null", O_WRONLY), 1);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipes[1]);
    m_errorPipe = pipes[0];
    fcntl(m_errorPipe, F_SETFL, O_NONBLOCK);
    return m_pid > 0;
}

const QByteArray &LaunchedProgram::errors()
{
    char buffer[4096];
    ssize_t got;
    while (m_errorPipe >= 0 && (got = read(m_errorPipe, buffer, sizeof buffer)) > 0)
        m_errorText.append(buffer, int(got));
    return m_errorText;
}

bool LaunchedProgram::reaped()
{
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
        // Forgotten once reaped: the number may soon be another process's.
        m_pid = -1;
        m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return m_pid <= 0;
}

bool LaunchedProgram::running()
{
    errors();
    return !reaped();
}

int LaunchedProgram::waitForExit(int timeoutMs)
{
    const double deadline = monotonicMs() + timeoutMs;
    for (errors(); !reaped() && monotonicMs() < deadline; errors())
        sleepMs(10);
    return m_pid > 0 ? -1 : m_exitStatus;
}

double LaunchedProgram::peakMiB() const
{
    return qMax<qint64>(statusKib("VmHWM", QByteArray::number(m_pid)), 0) / 1024.0;
}

void LaunchedProgram::stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    if (m_errorPipe >= 0)
        close(m_errorPipe);
    m_errorPipe = -1;
}
