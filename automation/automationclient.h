#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

class CommandDispatcher;
class QTcpSocket;
class QTimer;

// One connection: splits the incoming bytes into request lines, answers each with one line,
// and enforces the per-connection limits. Closing is "lingering": the last answer is sent,
// our side is shut down for writing and further input is discarded until the peer closes or
// a timer runs out, so the peer reliably reads that last answer instead of a reset.
class AutomationClient : public QObject
{
    Q_OBJECT

public:
    enum class State { Serving, Closing, Finished };

    AutomationClient(QTcpSocket *socket, CommandDispatcher *dispatcher, QObject *parent = nullptr);

    // The limits default to those of every connection the server accepts; tests set smaller
    // ones.
    void setMaxLineLength(qint64 bytes) { m_maxLineLength = bytes; }
    void setMaxPendingWrite(qint64 bytes) { m_maxPendingWrite = bytes; }
    void setLingerMs(int ms) { m_lingerMs = ms; }

    void start();
    // Sends one error answer and closes without serving any request.
    void refuse(const QString &error);

    State state() const { return m_state; }

signals:
    // The connection is over; the owner deletes the client later.
    void finished(AutomationClient *client);

private slots:
    void readInput();
    void writeProgress();
    // At once, dropping whatever is still unsent.
    void closeNow();
    void finish();

private:
    void answer(const QJsonObject &reply);
    void closeAfterAnswer(const QString &error);
    void shutdownWriteWhenFlushed();
    void scheduleResume();
    void pauseUntilNextTurn();
    void holdInput();

    QTcpSocket *m_socket;
    CommandDispatcher *m_dispatcher;
    QTimer *m_lingerTimer;
    QByteArray m_requestLine;
    State m_state = State::Serving;
    qint64 m_maxLineLength = 1024 * 1024;
    qint64 m_maxPendingWrite = 8 * 1024 * 1024;
    int m_lingerMs = 2000;
    bool m_resumeScheduled = false;
    // The newline of the last request served is back in the socket's buffer (see holdInput).
    bool m_newlineHeld = false;
    bool m_inputHeld = false;
    bool m_writeShutDown = false;
};
