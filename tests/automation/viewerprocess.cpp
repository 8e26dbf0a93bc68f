#include "viewerprocess.h"

#include <QDir>
#include <QFile>
#include <QTest>

ViewerProcess::ViewerProcess(const QString &pluginDirectory, const QString &platform)
    : m_pluginDirectory(pluginDirectory), m_platform(platform)
{
}

ViewerProcess::~ViewerProcess()
{
    for (QProcess *process : {&m_process, &m_displayServer}) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

bool ViewerProcess::startDisplay(QString *display, QString *error)
{
    // -displayfd lets the server pick a free display number, so parallel tests cannot collide.
    m_displayServer.start(QStringLiteral("Xvfb"),
                          {QStringLiteral("-displayfd"), QStringLiteral("1"),
                           QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp")});
    if (!m_displayServer.waitForStarted(10000)) {
        *error = QStringLiteral("Xvfb does not start: ") + m_displayServer.errorString();
        return false;
    }
    QByteArray number;
    const bool answered = QTest::qWaitFor(
        [this, &number] {
            number += m_displayServer.readAllStandardOutput();
            return number.contains('\n') || m_displayServer.state() == QProcess::NotRunning;
        },
        15000);
    if (!answered || !number.contains('\n')) {
        *error = QStringLiteral("Xvfb gave no display number");
        return false;
    }
    *display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    return true;
}

bool ViewerProcess::start(QString *error)
{
    const QString binary = qEnvironmentVariable("PAGE_SCOPE_BINARY");
    if (binary.isEmpty() || !QFile::exists(binary)) {
        *error = QStringLiteral("PAGE_SCOPE_BINARY does not name the built viewer: ") + binary;
        return false;
    }
    if (!m_workingDirectory.isValid()) {
        *error = QStringLiteral("no scratch directory");
        return false;
    }
    // The icons are looked up relative to the working directory.
    QFile::link(QStringLiteral(PAGE_SCOPE_SOURCE_DIR "/images"),
                m_workingDirectory.filePath(QStringLiteral("images")));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), m_platform);
    if (m_platform == QLatin1String("xcb")) {
        QString display;
        if (!startDisplay(&display, error))
            return false;
        environment.insert(QStringLiteral("DISPLAY"), display);
    }
    if (m_pluginDirectory.isEmpty())
        environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    else
        environment.insert(QStringLiteral("LD_LIBRARY_PATH"), m_pluginDirectory);
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(m_workingDirectory.path());
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(binary, QStringList());
    if (!m_process.waitForStarted(10000)) {
        *error = m_process.errorString();
        return false;
    }
    return true;
}

void ViewerProcess::collect()
{
    m_partial += m_process.readAllStandardOutput();
    int newline;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_partial.left(newline)));
        m_partial.remove(0, newline + 1);
    }
}

QStringList ViewerProcess::lines()
{
    collect();
    return m_lines;
}

bool ViewerProcess::waitForLine(const QString &line, int timeoutMs)
{
    return QTest::qWaitFor(
               [this, &line] {
                   collect();
                   return m_lines.contains(line) || !isRunning();
               },
               timeoutMs) &&
           lines().contains(line);
}

int ViewerProcess::waitForExit(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs))
        return -1;
    collect();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
