// The real plugin inside the real viewer on the automation port, driven as an automation tool
// drives it: offscreen, or on a private Xvfb when PAGE_SCOPE_E2E_XVFB is set. One viewer serves
// the tests in order; the last ones end it.
#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

class TestAutomationEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pingNamesViewer();
    void widgetsListDefaultSoftkeys();
    void downKeyScrollsDocument();
    void badRequestsAreAnswered_data();
    void badRequestsAreAnswered();
    void connectionLimitsKeepViewerServing();
    void tapOnCloseEndsViewer();
    void takenPortIsReportedAndViewerRuns();

private:
    bool pingWorks() { return viewer->request({{"cmd", "ping"}}).value("ok").toBool(); }
    static constexpr auto connected = QAbstractSocket::ConnectedState;
    static constexpr auto closed = QAbstractSocket::UnconnectedState;

    const bool underXvfb = qEnvironmentVariableIsSet("PAGE_SCOPE_E2E_XVFB");
    QTemporaryDir folder;
    std::unique_ptr<ViewerProcess> viewer;
};

void TestAutomationEndToEnd::initTestCase()
{
    const QString document =
        TestDocuments::writeA4Document(folder.filePath(QStringLiteral("ten.pdf")), 10);
    QVERIFY(!document.isEmpty());
    viewer.reset(new ViewerProcess(SQUISH_PLUGIN_DIR, underXvfb));
    QVERIFY2(viewer->startWithAutomation({"-f", document}), qPrintable(viewer->error()));
    QVERIFY2(viewer->waitForDocument(), qPrintable(viewer->error()));
}

void TestAutomationEndToEnd::pingNamesViewer()
{
    const QJsonObject answer = viewer->request({{"cmd", "ping"}, {"id", 7}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(answer.value("id").toInt(), 7);
    QCOMPARE(qint64(answer.value("pid").toDouble()), viewer->processId());
    QCOMPARE(answer.value("application").toString(), QString("page-scope"));
}

void TestAutomationEndToEnd::widgetsListDefaultSoftkeys()
{
    // Two columns of four 50-pixel slots, 24 pixels apart, at the edges of the 480 x 272 window.
    const QList<QPair<QString, QRect>> softkeys = {
        {"openButton", {428, 0, 50, 50}},    {"upButton", {428, 74, 50, 50}},
        {"downButton", {428, 148, 50, 50}},  {"rightButton", {428, 222, 50, 50}},
        {"closeButton", {0, 0, 50, 50}},     {"zommInButton", {0, 74, 50, 50}},
        {"zoomOutButton", {0, 148, 50, 50}}, {"leftButton", {0, 222, 50, 50}},
    };
    for (const auto &[name, place] : softkeys) {
        const QJsonObject button = viewer->widget(name);
        QCOMPARE(button.value("class").toString(), QString("QPushButton"));
        QCOMPARE(ViewerProcess::geometry(button), place);
    }
    // Without the open option its softkey keeps the slot but does nothing.
    QCOMPARE(viewer->widget("openButton").value("enabled").toBool(true), false);
}

void TestAutomationEndToEnd::downKeyScrollsDocument()
{
    const QImage before = viewer->grab("pdfWidget");
    QVERIFY(!before.isNull());
    const QJsonObject answer = viewer->request({{"cmd", "key"}, {"key", Qt::Key_F3}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QVERIFY2(QTest::qWaitFor([&] { return viewer->grab("pdfWidget") != before; }),
             "the page view did not change");
}

void TestAutomationEndToEnd::badRequestsAreAnswered_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("malformed JSON") << QByteArray(R"({"cmd":)") << "malformed JSON";
    QTest::newRow("unknown command") << QByteArray(R"({"cmd":"fly"})") << "unknown command: fly";
    QTest::newRow("no command") << QByteArray("{}") << "missing field: cmd";
    QTest::newRow("key without key") << QByteArray(R"({"cmd":"key"})") << "missing field: key";
    QTest::newRow("tap without point") << QByteArray(R"({"cmd":"tap"})") << "missing field: x";
    QTest::newRow("tap on nothing") << QByteArray(R"({"cmd":"tap","name":"noSuchButton"})")
                                    << "no visible widget named noSuchButton";
}

void TestAutomationEndToEnd::badRequestsAreAnswered()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    const QJsonObject answer = viewer->requestLine(line);
    QCOMPARE(answer.value("ok").toBool(true), false);
    QVERIFY2(answer.value("error").toString().contains(error),
             qPrintable(answer.value("error").toString()));
    QVERIFY(pingWorks());
}

void TestAutomationEndToEnd::connectionLimitsKeepViewerServing()
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

    // A client that never reads is cut off by a limit that tst_automationclient reaches with
    // small buffers; here, filling the kernel's buffers would take minutes.
    QVERIFY(pingWorks());
}

void TestAutomationEndToEnd::tapOnCloseEndsViewer()
{
    const QJsonObject answer = viewer->request({{"cmd", "tap"}, {"name", "closeButton"}});
    QCOMPARE(answer.value("targetName").toString(), QString("closeButton"));
    QCOMPARE(viewer->waitForExit(), 0);
}

void TestAutomationEndToEnd::takenPortIsReportedAndViewerRuns()
{
    // Other runs on this machine may hold the port for a while.
    QTcpServer squatter;
    QVERIFY(QTest::qWaitFor(
        [&] { return squatter.listen(QHostAddress::LocalHost, ViewerProcess::automationPort); },
        120000));
    ViewerProcess portless(SQUISH_PLUGIN_DIR, underXvfb);
    QVERIFY2(portless.start(), qPrintable(portless.error()));
    QVERIFY2(portless.waitForLine("Opening b7s.conf FAILED! Using default B7 config!"),
             qPrintable(portless.error()));
    QCOMPARE(portless.lines().mid(0, 4),
             QStringList({"Squish Plugin loaded", "Squish Plugin Initialized",
                          "Squish FAILED to open Port: 5014", "Arguments: 1"}));
    if (!underXvfb) {
        QTest::qWait(500);
        QVERIFY(portless.isRunning());
        return;
    }
    QVERIFY2(portless.xKey("F8"), qPrintable(portless.error()));
    QCOMPARE(portless.waitForExit(), 0);
}

QTEST_MAIN(TestAutomationEndToEnd)
#include "tst_automation_e2e.moc"
