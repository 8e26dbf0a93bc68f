// The automation server's connections with small limits, in this process on a free port, so
// that each limit is reached in milliseconds rather than by filling the kernel's buffers.
#include "automationclient.h"
#include "commanddispatcher.h"

#include <QDialog>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWindow>
#include <QtTest>

#include <memory>

#include <sys/socket.h>

namespace {

// One line without its newline; empty when none arrives in time or the connection closes.
QByteArray readAnswer(QTcpSocket &peer)
{
    const bool arrived = QTest::qWaitFor(
        [&] { return peer.canReadLine() || peer.state() == QTcpSocket::UnconnectedState; }, 5000);
    return arrived && peer.canReadLine() ? peer.readLine().trimmed() : QByteArray();
}

// Requests that the dispatcher answers with their own text: about `length` bytes an answer.
QByteArray unknownCommands(int count, int length = 1000)
{
    return QByteArray("{\"cmd\":\"" + QByteArray(length, 'x') + "\"}\n").repeated(count);
}

// Counts the key and button events that reach windows, where a filter sees real input.
class WindowInputCounter : public QObject
{
public:
    int events = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (qobject_cast<QWindow *>(watched) &&
            (type == QEvent::KeyPress || type == QEvent::KeyRelease ||
             type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease))
            ++events;
        return false;
    }
};

} // namespace

class TestAutomationClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(listener.listen(QHostAddress::LocalHost, 0)); }
    // A client, not started yet, on a served socket of this process, and its peer.
    void init()
    {
        peer = std::make_unique<QTcpSocket>();
        peer->connectToHost(QHostAddress::LocalHost, listener.serverPort());
        QVERIFY(QTest::qWaitFor([&] { return listener.hasPendingConnections(); }, 5000));
        socket = listener.nextPendingConnection();
        client = std::make_unique<AutomationClient>(socket, &dispatcher);
    }
    void cleanup() { client.reset(); }
    void lineLimit_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("served");
        // {"cmd": "ping" } is 16 bytes, the limit.
        QTest::newRow("at the limit") << QByteArray("{\"cmd\": \"ping\" }\n") << true;
        QTest::newRow("at the limit with CR LF") << QByteArray("{\"cmd\": \"ping\" }\r\n") << false;
        QTest::newRow("over, whole line") << QByteArray("{\"cmd\": \"ping\"  }\n") << false;
    }

    void lineLimit()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, served);
        client->setMaxLineLength(16);
        client->start();

        peer->write(request);
        const QJsonObject answer = QJsonDocument::fromJson(readAnswer(*peer)).object();
        if (served) {
            QCOMPARE(answer.value("ok").toBool(), true);
            QCOMPARE(client->state(), AutomationClient::State::Serving);
            return;
        }
        QCOMPARE(answer.value("error").toString(), QString("request line longer than 16 bytes"));
        // At once: the end of the answers, not the linger time, ends a peer that reads.
        QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QTcpSocket::UnconnectedState, 1000);
        QCOMPARE(peer->bytesAvailable(), 0);
        QTRY_COMPARE(client->state(), AutomationClient::State::Finished);
    }

    void peerThatNeverReadsIsCutOff()
    {
        // Qt reads no more from the kernel once its buffer is full; both as small as they get.
        peer->setReadBufferSize(1);
        peer->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 2048);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
        QSignalSpy finished(client.get(), &AutomationClient::finished);
        client->setMaxPendingWrite(4096);
        client->start();

        peer->write(unknownCommands(300));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    }

    void requestsBeforeHalfCloseAllAnswered_data()
    {
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("readsLate");
        QTest::addColumn<QByteArray>("unfinished"); // a last line without its newline
        QTest::newRow("answers read as they come") << 300 << 1000 << false << QByteArray();
        // Too many for the kernel's small buffers: answers still wait in the client at the end.
        QTest::newRow("answers read after the end of input") << 300 << 1000 << true << QByteArray();
        QTest::newRow("one large answer read after the end of input")
            << 1 << 200000 << true << QByteArray();
        QTest::newRow("answers read after an unfinished last line")
            << 300 << 1000 << true << QByteArray("{\"cmd\":\"ping\"}");
    }

    // A script piped into a client that then ends its sending side, as `nc -N` does: every
    // request gets its answer, and answers taken in time never count against the pending limit.
    void requestsBeforeHalfCloseAllAnswered()
    {
        QFETCH(int, requests);
        QFETCH(int, length);
        QFETCH(bool, readsLate);
        QFETCH(QByteArray, unfinished);
        if (readsLate) {
            peer->setReadBufferSize(1);
            peer->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 32 * 1024);
            socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 32 * 1024);
        } else {
            client->setMaxPendingWrite(4096);
        }
        client->start();

        QVERIFY(peer->waitForConnected(5000));
        peer->write(unknownCommands(requests, length) + unfinished);
        // Our own event loop, not a blocking wait: the client reads in it, making room.
        QVERIFY(QTest::qWaitFor([&] { return peer->bytesToWrite() == 0; }, 5000));
        QCOMPARE(::shutdown(int(peer->socketDescriptor()), SHUT_WR), 0);
        if (readsLate) {
            QTest::qWait(200);
            peer->setReadBufferSize(0);
        }
        int answers = 0;
        while (answers < requests && readAnswer(*peer).contains("unknown command"))
            ++answers;
        QCOMPARE(answers, requests);
    }

    // Blank lines, spaces and all, take their turns as requests do, so a flood cannot hold the
    // viewer's events, and get no answer.
    void blankLinesTakeTurns()
    {
        client->start();
        int turns = 0;
        QTimer counter;
        connect(&counter, &QTimer::timeout, [&] { ++turns; });
        counter.start(0);
        peer->write(QByteArray(" \n").repeated(400) + "{\"cmd\":\"ping\"}\n");
        QVERIFY(readAnswer(*peer).contains("\"ok\":true"));
        QVERIFY2(turns >= 25, qPrintable(QString::number(turns)));
    }

    // Keys come as a keyboard's do, through their window, where a filter such as the one that keeps
    // input from the window beneath a dialog not active yet must see them. Sent in one write, they
    // land as if typed: a key that moves the focus, as opening a chooser does, decides where the
    // key behind it goes.
    void keyBehindAKeyThatMovesTheFocusFollowsIt()
    {
        QWidget window;
        auto *opener = new QPushButton(QStringLiteral("open"), &window);
        auto *opened = new QPushButton(QStringLiteral("opened"), &window);
        opened->setObjectName(QStringLiteral("opened"));
        opened->hide();
        connect(opener, &QPushButton::clicked, [opened] {
            opened->show();
            opened->setFocus();
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        opener->setFocus();
        WindowInputCounter counter;
        qApp->installEventFilter(&counter);
        client->start();

        // Space clicks the focused button.
        peer->write(QByteArray("{\"cmd\":\"key\",\"key\":32}\n").repeated(2));
        QVERIFY(readAnswer(*peer).contains("\"ok\":true"));
        QCOMPARE(QJsonDocument::fromJson(readAnswer(*peer)).object().value("targetName").toString(),
                 QString("opened"));
        QTRY_COMPARE(counter.events, 4);
    }

    // Each window, then its visible widgets under it with their texts; a window with a parent,
    // such as a dialog, is listed as a window only.
    void widgetsListsWindowsAndTheirWidgets()
    {
        QWidget window;
        new QPushButton(QStringLiteral("press"), &window);
        window.show();
        QDialog dialog(&window);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        client->start();
        peer->write("{\"cmd\":\"widgets\"}\n");
        const QJsonArray list =
            QJsonDocument::fromJson(readAnswer(*peer)).object().value("widgets").toArray();
        QCOMPARE(list.size(), 3); // the active dialog, the window, its button
        const QJsonObject button = list.last().toObject();
        QCOMPARE(button.value("text").toString(), QString("press"));
        QCOMPARE(button.value("parent"), list.at(1).toObject().value("id"));
    }

    // A press leaves the key down until its release; a click is both.
    void keyActions()
    {
        QPushButton button;
        button.show();
        QVERIFY(QTest::qWaitForWindowActive(&button));
        button.setFocus();
        QSignalSpy pressed(&button, &QPushButton::pressed);
        QSignalSpy clicked(&button, &QPushButton::clicked);
        client->start();
        const auto space = [&](const QByteArray &action) {
            peer->write("{\"cmd\":\"key\",\"key\":32,\"action\":\"" + action + "\"}\n");
            return readAnswer(*peer).contains("\"ok\":true");
        };
        QVERIFY(space("press"));
        QTRY_VERIFY(button.isDown());
        QVERIFY(space("release"));
        QTRY_COMPARE(clicked.count(), 1);
        QVERIFY(space("click"));
        QTRY_COMPARE(clicked.count(), 2);
        QCOMPARE(pressed.count(), 2);
    }

    // Keys carry the text a keyboard would give them with their modifiers, or the text given.
    void keysType()
    {
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        client->start();
        peer->write("{\"cmd\":\"key\",\"key\":65,\"modifiers\":33554432}\n"
                    "{\"cmd\":\"key\",\"key\":66}\n{\"cmd\":\"key\",\"key\":67,\"text\":\"z\"}\n");
        QTRY_COMPARE(edit.text(), QString("Abz"));
    }

    // A tap by point lands on the widget under it, wherever that lies in its window.
    void tapAtPoint()
    {
        QWidget window;
        auto *button = new QPushButton(&window);
        button->setObjectName(QStringLiteral("button"));
        button->setGeometry(40, 60, 50, 30);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicked(button, &QPushButton::clicked);
        const QPoint point = button->mapToGlobal(QPoint(10, 20));
        client->start();
        peer->write(QStringLiteral("{\"cmd\":\"tap\",\"x\":%1,\"y\":%2}\n")
                        .arg(point.x())
                        .arg(point.y())
                        .toLatin1());
        QVERIFY(readAnswer(*peer).contains("\"targetName\":\"button\""));
        QTRY_COMPARE(clicked.count(), 1);
    }

    // A tap comes as a touch's does, through its window, for the same filters to see.
    void tapPassesThroughItsWindow()
    {
        QWidget window;
        (new QPushButton(&window))->setObjectName(QStringLiteral("button"));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        WindowInputCounter counter;
        qApp->installEventFilter(&counter);
        client->start();
        peer->write("{\"cmd\":\"tap\",\"name\":\"button\"}\n");
        QVERIFY(readAnswer(*peer).contains("\"ok\":true"));
        QTRY_COMPARE(counter.events, 2);
    }

    // A dialog shown before its exec() runs modally, though Qt never lists it as modal: a tap
    // beside it is refused, as a real touch does not reach the window beneath.
    void tapBesideDialogShownBeforeExecIsRefused()
    {
        QWidget window;
        (new QPushButton(&window))->setObjectName(QStringLiteral("beside"));
        window.show();
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("chooser"));
        dialog.show();
        client->start();
        QByteArray answer;
        QTimer::singleShot(0, &dialog, [&] {
            peer->write("{\"cmd\":\"tap\",\"name\":\"beside\"}\n");
            answer = readAnswer(*peer);
            dialog.reject();
        });
        dialog.exec();
        QVERIFY2(answer.contains("beside is blocked by the modal window chooser"), answer);
    }

    void lingerAfterRefusal()
    {
        QSignalSpy finished(client.get(), &AutomationClient::finished);
        client->setLingerMs(200);
        // A peer that reads nothing never sees the end of the answers, so never closes.
        peer->setReadBufferSize(1);
        client->refuse("full");

        QCOMPARE(client->state(), AutomationClient::State::Closing);
        // Further requests are swallowed; the peer is cut off in time.
        peer->write("{\"cmd\":\"ping\"}\n");
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 1500);
        peer->setReadBufferSize(0);
        QCOMPARE(readAnswer(*peer), QByteArray(R"({"error":"full","ok":false})"));
        QCOMPARE(readAnswer(*peer), QByteArray());
    }

private:
    QTcpServer listener;
    CommandDispatcher dispatcher;
    std::unique_ptr<QTcpSocket> peer;
    QTcpSocket *socket = nullptr;
    std::unique_ptr<AutomationClient> client;
};

QTEST_MAIN(TestAutomationClient)
#include "tst_automationclient.moc"
