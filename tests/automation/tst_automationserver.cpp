// The server classes with small limits, where the limits themselves are under test.
#include "automationserver.h"
#include "lineclient.h"

#include <QJsonDocument>
#include <QLabel>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

class TestAutomationServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lineLimitIsInclusive();
    void peerThatNeverReadsIsDropped();
    void burstIsServedInTurns();
    void refusedPeerThatStaysIsCutOffAfterLinger();
    void peerGoneMidLineIsForgotten();

private:
    std::unique_ptr<AutomationServer> m_server;
};

void TestAutomationServer::init()
{
    m_server.reset(new AutomationServer);
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

void TestAutomationServer::cleanup()
{
    m_server.reset();
}

void TestAutomationServer::lineLimitIsInclusive()
{
    m_server->setMaxLineLength(100);
    QByteArray line = R"({"cmd":"ping","pad":")";
    line += QByteArray(100 - line.size() - 2, ' ') + "\"}";
    QCOMPARE(line.size(), 100);

    LineClient fits;
    QVERIFY(fits.connectTo(m_server->serverPort()));
    QCOMPARE(fits.requestRaw(line).value("ok").toBool(), true);

    LineClient tooLong;
    QVERIFY(tooLong.connectTo(m_server->serverPort()));
    const QJsonObject answer = tooLong.requestRaw(line + ' ');
    QCOMPARE(answer.value("error").toString(), QString("request line longer than 100 bytes"));
    QVERIFY(tooLong.waitForClosed());
    QCOMPARE(fits.requestRaw(line).value("ok").toBool(), true);
}

void TestAutomationServer::peerThatNeverReadsIsDropped()
{
    // Random pixels do not compress, so every answer is large.
    QImage noise(500, 500, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        auto *row = reinterpret_cast<quint32 *>(noise.scanLine(y));
        QRandomGenerator::global()->fillRange(row, noise.width());
    }
    QLabel label;
    label.setObjectName("noise");
    label.setPixmap(QPixmap::fromImage(noise));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));

    m_server->setMaxPendingWrite(64 * 1024);
    LineClient greedy;
    QVERIFY(greedy.connectTo(m_server->serverPort()));
    // The server stops reading once it drops the peer, so the requests may not all be sent.
    for (int i = 0; i < 60; ++i)
        greedy.socket().write("{\"cmd\":\"grab\",\"name\":\"noise\"}\n");
    QVERIFY(QTest::qWaitFor([this] { return m_server->connectionCount() == 0; }, 60000));

    LineClient next;
    QVERIFY(next.connectTo(m_server->serverPort()));
    QCOMPARE(next.request({{"cmd", "ping"}}).value("ok").toBool(), true);
}

void TestAutomationServer::burstIsServedInTurns()
{
    LineClient client;
    QVERIFY(client.connectTo(m_server->serverPort()));
    int turns = 0;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });

    QByteArray burst;
    for (int id = 0; id < 200; ++id)
        burst += "{\"cmd\":\"ping\",\"id\":" + QByteArray::number(id) + "}\n";
    ticker.start();
    client.send(burst);
    for (int id = 0; id < 200; ++id)
        QCOMPARE(QJsonDocument::fromJson(client.readLine()).object().value("id").toInt(), id);
    ticker.stop();
    // Served eight at a time, the burst needs 25 turns of the event loop, and other events
    // (here the ticker) get their share in between.
    QVERIFY2(turns >= 20, qPrintable(QString::number(turns)));
}

void TestAutomationServer::refusedPeerThatStaysIsCutOffAfterLinger()
{
    m_server->setMaxClients(1);
    m_server->setLingerMs(300);
    LineClient first;
    QVERIFY(first.connectTo(m_server->serverPort()));
    QCOMPARE(first.request({{"cmd", "ping"}}).value("ok").toBool(), true);

    LineClient second;
    QVERIFY(second.connectTo(m_server->serverPort()));
    const QJsonObject refusal = QJsonDocument::fromJson(second.readLine()).object();
    QCOMPARE(refusal.value("error").toString(), QString("too many clients: at most 1 connections"));
    QCOMPARE(m_server->connectionCount(), 2);
    QCOMPARE(m_server->clientCount(), 1);
    // The refused peer keeps talking and never closes; the server gives up on it.
    second.send("{\"cmd\":\"ping\"}\n");
    QVERIFY(QTest::qWaitFor([this] { return m_server->connectionCount() == 1; }, 5000));
    QCOMPARE(first.request({{"cmd", "ping"}}).value("ok").toBool(), true);
}

void TestAutomationServer::peerGoneMidLineIsForgotten()
{
    LineClient client;
    QVERIFY(client.connectTo(m_server->serverPort()));
    QVERIFY(QTest::qWaitFor([this] { return m_server->clientCount() == 1; }, 5000));
    client.send(R"({"cmd":"wid)");
    client.close();
    QVERIFY(QTest::qWaitFor([this] { return m_server->connectionCount() == 0; }, 5000));
}

QTEST_MAIN(TestAutomationServer)
#include "tst_automationserver.moc"
