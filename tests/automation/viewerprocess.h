#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The real viewer binary (PAGE_SCOPE_BINARY) run in a scratch working directory, so no device
// profile is found and the compiled-in defaults apply, with the given plugin search directory
// (none when empty) and platform plugin. On the xcb platform it gets an X server of its own.
// Its standard output is collected line by line.
class ViewerProcess
{
public:
    ViewerProcess(const QString &pluginDirectory, const QString &platform);
    ~ViewerProcess();

    bool start(QString *error);
    // Waits until the line has been printed; false when it is not within the timeout or the
    // viewer ends first.
    bool waitForLine(const QString &line, int timeoutMs = 30000);
    QStringList lines();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // The exit code once the viewer ended normally, -1 when it crashed or did not end in time.
    int waitForExit(int timeoutMs = 15000);
    qint64 processId() const { return m_process.processId(); }

private:
    void collect();
    bool startDisplay(QString *display, QString *error);

    QString m_pluginDirectory;
    QString m_platform;
    QTemporaryDir m_workingDirectory;
    QProcess m_process;
    QProcess m_displayServer;
    QByteArray m_partial;
    QStringList m_lines;
};
