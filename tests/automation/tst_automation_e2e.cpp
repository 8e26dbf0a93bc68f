// The real plugin in the real viewer, offscreen: one viewer serves the tests in order to the last.
#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QTest>

class TestAutomationEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString document =
            TestDocuments::writeA4Document(folder.filePath(QStringLiteral("ten.pdf")), 10);
        QVERIFY(!document.isEmpty());
        viewer.reset(new ViewerProcess(SQUISH_PLUGIN_DIR, false));
        QVERIFY2(viewer->startWithAutomation({"-o", "-f", document}), qPrintable(viewer->error()));
        QVERIFY2(viewer->waitForDocument(), qPrintable(viewer->error()));
    }

    void pingEchoesIdAndNamesApplication()
    {
        const QJsonObject answer = viewer->request({{"cmd", "ping"}, {"id", 7}});
        QCOMPARE(answer.value("id").toInt(), 7);
        QCOMPARE(answer.value("application").toString(), QString("page-scope"));
    }

    void badRequestsAreAnswered_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("error");
        QTest::newRow("malformed JSON") << QByteArray(R"({"cmd":)") << "malformed JSON";
        QTest::newRow("unknown command")
            << QByteArray(R"({"cmd":"fly"})") << "unknown command: fly";
        QTest::newRow("not an object") << QByteArray("[1]") << "must be a JSON object";
        QTest::newRow("no command") << QByteArray("{}") << "missing field: cmd";
        QTest::newRow("command not a string") << QByteArray(R"({"cmd":1})") << "must be a string";
        // Key codes are whole, not negative and within Qt's range: nothing is rounded or wraps
        // around.
        for (const char *key : {"1.5", "-1", "33554432"})
            QTest::addRow("key %s", key) << QByteArray(R"({"cmd":"key","key":)") + key + "}"
                                         << "field key must be an integer";
        QTest::newRow("tap without point") << QByteArray(R"({"cmd":"tap"})") << "missing field: x";
        QTest::newRow("tap on nothing") << QByteArray(R"({"cmd":"tap","name":"noSuchButton"})")
                                        << "no visible widget named noSuchButton";
        QTest::newRow("tap beside the screen")
            << QByteArray(R"({"cmd":"tap","x":-9,"y":-9})") << "no widget at -9,-9";
        QTest::newRow("grab of nothing") << QByteArray(R"({"cmd":"grab","name":"noSuchWidget"})")
                                         << "no visible widget named noSuchWidget";
    }

    void badRequestsAreAnswered()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, error);
        const QJsonObject answer = viewer->requestLine(line);
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY2(answer.value("error").toString().contains(error),
                 qPrintable(answer.value("error").toString()));
    }

    // Loopback only, unless told otherwise: another address of this host is not served.
    void listensOnLoopbackOnly()
    {
        QTcpSocket other;
        other.connectToHost(QHostAddress("127.0.0.2"), ViewerProcess::automationPort);
        QVERIFY(!other.waitForConnected(5000));
    }

    void connectionLimitsKeepViewerServing()
    {
        // With the tests' own connection, eight are served; the ninth is told so and closed.
        std::vector<std::unique_ptr<QTcpSocket>> clients(7);
        for (auto &client : clients)
            QVERIFY((client = ViewerProcess::connectToPlugin())->state() == connected);
        auto refused = ViewerProcess::connectToPlugin(false);
        QVERIFY(ViewerProcess::readLine(*refused).contains("too many clients"));
        QVERIFY(ViewerProcess::readLine(*refused).isEmpty() && refused->state() == closed);
        clients.clear();

        const auto overlong = ViewerProcess::connectToPlugin();
        ViewerProcess::send(*overlong, QByteArray(1024 * 1024 + 1, 'a'));
        QVERIFY(ViewerProcess::readLine(*overlong).contains("longer than 1048576 bytes"));
        QVERIFY(ViewerProcess::readLine(*overlong).isEmpty() && overlong->state() == closed);

        // Clients that go mid-line, or before their answer.
        for (const QByteArray &last :
             {QByteArray("{\"cmd\":\"wid"), QByteArray("{\"cmd\":\"grab\"}\n")})
            ViewerProcess::send(*ViewerProcess::connectToPlugin(), last);
        QVERIFY(viewer->request({{"cmd", "ping"}}).value("ok").toBool());
    }

    // On a device the chooser is a child over the whole window: a tap by name lands on its
    // softkey, as a touch would, never on one under it.
    void tapByNameLandsOnWhatIsOnTop()
    {
        QVERIFY(viewer->request({{"cmd", "key"}, {"key", Qt::Key_F1}}).value("ok").toBool());
        QVERIFY(QTest::qWaitFor([&] { return !viewer->widget("cancelButton").isEmpty(); }, 20000));
        const QJsonObject close = viewer->request({{"cmd", "tap"}, {"name", "closeButton"}});
        QVERIFY2(close.value("error").toString().startsWith("closeButton is covered by"),
                 qPrintable(close.value("error").toString()));
        QJsonArray openButtons; // the window's, then the chooser's
        for (const QJsonValue &entry : viewer->widgets())
            if (entry.toObject().value("name") == "openButton")
                openButtons.append(entry);
        QCOMPARE(openButtons.size(), 2);
        const QJsonObject open = viewer->request({{"cmd", "tap"}, {"name", "openButton"}});
        QCOMPARE(open.value("targetName").toString(), QString("openButton"));
        QCOMPARE(QPoint(open.value("x").toInt(), open.value("y").toInt()),
                 ViewerProcess::geometry(openButtons.last().toObject()).center());
        // Whether that opened the document again or not, the chooser goes.
        viewer->request({{"cmd", "tap"}, {"name", "cancelButton"}});
        QVERIFY(QTest::qWaitFor([&] { return viewer->widget("cancelButton").isEmpty(); }, 20000));
    }

private:
    static constexpr auto connected = QAbstractSocket::ConnectedState;
    static constexpr auto closed = QAbstractSocket::UnconnectedState;

    QTemporaryDir folder;
    std::unique_ptr<ViewerProcess> viewer;
};

QTEST_MAIN(TestAutomationEndToEnd)
#include "tst_automation_e2e.moc"
