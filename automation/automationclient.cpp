#include "automationclient.h"

#include "commanddispatcher.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {

// A burst of pipelined requests is served a few at a time so the viewer's own events are
// never starved by one busy client.
constexpr int requestsPerTurn = 8;
constexpr qint64 readChunk = 64 * 1024;
// Qt's own receive buffer stays small; the kernel then throttles a fast sender.
constexpr qint64 socketReadBuffer = 256 * 1024;

} // namespace

AutomationClient::AutomationClient(QTcpSocket *socket, CommandDispatcher *dispatcher,
                                   QObject *parent)
    : QObject(parent), m_socket(socket), m_dispatcher(dispatcher), m_lingerTimer(new QTimer(this))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(socketReadBuffer);
    m_lingerTimer->setSingleShot(true);
    connect(m_lingerTimer, &QTimer::timeout, this, &AutomationClient::closeNow);
    connect(m_socket, &QTcpSocket::readyRead, this, &AutomationClient::readInput);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &AutomationClient::writeProgress);
    connect(m_socket, &QTcpSocket::disconnected, this, &AutomationClient::finish);
}

void AutomationClient::start()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        finish();
        return;
    }
    readInput();
}

void AutomationClient::refuse(const QString &error)
{
    closeAfterAnswer(error);
}

void AutomationClient::readInput()
{
    m_resumeScheduled = false;
    if (m_state == State::Finished)
        return;
    if (m_state == State::Closing) {
        // Input after the last answer is read and dropped, so closing sends no reset.
        m_socket->readAll();
        return;
    }

    // A paused turn left requests in the socket's buffer; reading goes on where it stopped.
    m_socket->setReadBufferSize(socketReadBuffer);
    m_inputHeld = false;

    int budget = requestsPerTurn;
    while (m_state == State::Serving) {
        const bool answersWaiting = m_socket->bytesToWrite() > 0;
        if (m_newlineHeld) {
            if (answersWaiting && m_socket->bytesAvailable() == 1) {
                holdInput();
                return;
            }
            m_socket->getChar(nullptr);
            m_newlineHeld = false;
        }
        if (!m_requestLine.endsWith('\n')) {
            // While answers wait, the last byte stays in the socket's buffer (see holdInput).
            const qint64 available = m_socket->bytesAvailable() - (answersWaiting ? 1 : 0);
            if (available <= 0) {
                if (answersWaiting && m_socket->bytesAvailable() > 0)
                    holdInput();
                return;
            }
            // No further than the end of the next request: the ones after it stay in the socket.
            m_requestLine.append(m_socket->readLine(qMin(available, readChunk) + 1));
            // The newline does not count toward the line's length.
            if (m_requestLine.size() - int(m_requestLine.endsWith('\n')) > m_maxLineLength) {
                closeAfterAnswer(
                    QStringLiteral("request line longer than %1 bytes").arg(m_maxLineLength));
                return;
            }
            continue;
        }
        QByteArray line = m_requestLine;
        m_requestLine.clear();
        if (m_socket->bytesAvailable() == 0) {
            // The newline of a last request goes back into the socket's buffer, in case its answer
            // has to wait (see holdInput).
            m_socket->ungetChar('\n');
            m_newlineHeld = true;
        }
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty()) {
            answer(m_dispatcher->handle(line));
            // The next request is read once that input has been delivered (the resume is posted
            // behind it), so that its target is chosen in whatever window the input opened, as a
            // real key's would be.
            if (m_dispatcher->takeInputPosted())
                budget = 1;
        }
        // Blank lines count too: a flood of them must not hold the viewer up either.
        if (--budget == 0) {
            if (m_state == State::Serving && m_socket->bytesAvailable() > 0)
                pauseUntilNextTurn();
            return;
        }
    }
}

void AutomationClient::pauseUntilNextTurn()
{
    // Qt takes a peer's end of input for the end of the connection and closes the socket, which
    // would drop the requests still waiting here unanswered. A buffer counted full keeps Qt from
    // reading on, so a peer that ends its sending side after its last request is not seen to go
    // before every request is served.
    m_socket->setReadBufferSize(m_socket->bytesAvailable());
    scheduleResume();
}

void AutomationClient::holdInput()
{
    // The same closing would drop the answers still waiting to be written, so while any wait the
    // socket's buffer keeps its last byte of input (the newline of the last request, if nothing
    // follows it) and is counted full; writeProgress resumes once they are all written.
    m_socket->setReadBufferSize(m_socket->bytesAvailable());
    m_inputHeld = true;
}

void AutomationClient::scheduleResume()
{
    if (m_resumeScheduled)
        return;
    m_resumeScheduled = true;
    QTimer::singleShot(0, this, &AutomationClient::readInput);
}

void AutomationClient::answer(const QJsonObject &reply)
{
    if (m_state == State::Finished)
        return;
    QByteArray line = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    line.append('\n');
    m_socket->write(line);
    // Hand the answer to the kernel now: the request may have posted an event that quits
    // the viewer or enters a modal loop before the socket's next write notification.
    m_socket->flush();
    if (m_socket->bytesToWrite() > m_maxPendingWrite) {
        // A peer that does not read must not make the viewer hold its answers forever.
        closeNow();
    }
}

void AutomationClient::closeAfterAnswer(const QString &error)
{
    if (m_state != State::Serving)
        return;
    answer(CommandDispatcher::failure(error));
    if (m_state == State::Finished)
        return;
    m_state = State::Closing;
    m_requestLine.clear();
    m_lingerTimer->start(m_lingerMs);
    m_socket->readAll();
    shutdownWriteWhenFlushed();
}

void AutomationClient::writeProgress()
{
    if (m_state == State::Closing)
        shutdownWriteWhenFlushed();
    else if (m_inputHeld && m_socket->bytesToWrite() == 0)
        scheduleResume();
}

void AutomationClient::shutdownWriteWhenFlushed()
{
    if (m_writeShutDown || m_socket->bytesToWrite() > 0)
        return;
    m_writeShutDown = true;
    // Qt has no half-close; the peer sees the end of our answers while we keep draining.
    const qintptr descriptor = m_socket->socketDescriptor();
    if (descriptor < 0 || ::shutdown(static_cast<int>(descriptor), SHUT_WR) != 0)
        closeNow();
}

void AutomationClient::closeNow()
{
    m_socket->abort();
    finish();
}

void AutomationClient::finish()
{
    if (m_state == State::Finished)
        return;
    m_state = State::Finished;
    m_lingerTimer->stop();
    m_requestLine.clear();
    emit finished(this);
}
