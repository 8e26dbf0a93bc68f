#pragma once

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

// A child that is killed when the process that started it dies, even by CTest's timeout: a
// viewer left behind would keep the automation port busy, a server its display.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override { prctl(PR_SET_PDEATHSIG, SIGKILL); }
};
