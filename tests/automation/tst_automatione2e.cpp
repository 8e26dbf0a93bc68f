// The real plugin inside the real viewer on the fixed port 5014, driven as an automation tool
// would drive it. PAGE_SCOPE_E2E_PLATFORM chooses the viewer's platform (offscreen by default,
// xcb under a virtual X server).
#include "lineclient.h"
#include "viewerprocess.h"
#include "widgetlist.h"

#include <QImage>
#include <QJsonArray>
#include <QTcpServer>
#include <QTest>

namespace {

constexpr quint16 automationPort = 5014;

// The lock keeps this suite's viewers apart, but a viewer of another suite or build may hold
// the port for a moment; a test that needs it waits until it is free.
bool waitForFreePort()
{
    return QTest::qWaitFor(
        [] {
            QTcpServer probe;
            return probe.listen(QHostAddress::LocalHost, automationPort);
        },
        60000);
}

} // namespace

class TestAutomationEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pingAndDefaultSoftkeyLayout();
    void badRequestsLeaveViewerServing();
    void grabShowsWholeWindow();
    void tapOnCloseEndsViewer();
    void closeKeyEndsViewer();
    void takenPortIsReportedAndViewerRuns();

private:
    bool startViewer();

    std::unique_ptr<ViewerProcess> m_viewer;
    LineClient m_client;
};

void TestAutomationEndToEnd::init()
{
    m_viewer.reset(new ViewerProcess(QStringLiteral(SQUISH_PLUGIN_DIR),
                                     qEnvironmentVariable("PAGE_SCOPE_E2E_PLATFORM", "offscreen")));
}

void TestAutomationEndToEnd::cleanup()
{
    m_client.close();
    m_viewer.reset();
}

bool TestAutomationEndToEnd::startViewer()
{
    if (!waitForFreePort()) {
        qWarning("port 5014 stays in use by another process");
        return false;
    }
    QString error;
    if (!m_viewer->start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    if (!m_viewer->waitForLine("Squish opened Port: 5014") ||
        !m_viewer->waitForLine("Arguments: 1")) {
        qWarning("%s", qPrintable(m_viewer->lines().join('\n')));
        return false;
    }
    // The port is open before any window exists; wait until the main window is shown.
    if (!m_client.connectTo(automationPort))
        return false;
    return QTest::qWaitFor(
        [this] {
            const QJsonArray widgets =
                m_client.request({{"cmd", "widgets"}}).value("widgets").toArray();
            return !findWidget(widgets, "closeButton").isEmpty();
        },
        30000);
}

void TestAutomationEndToEnd::pingAndDefaultSoftkeyLayout()
{
    QVERIFY(startViewer());
    const QJsonObject pong = m_client.request({{"cmd", "ping"}});
    QCOMPARE(pong.value("ok").toBool(), true);
    QCOMPARE(qint64(pong.value("pid").toDouble()), m_viewer->processId());
    QCOMPARE(pong.value("application").toString(), QString("page-scope"));

    const QJsonArray widgets = m_client.request({{"cmd", "widgets"}}).value("widgets").toArray();
    const QJsonObject window = findWidget(widgets, "PDFViewer");
    QCOMPARE(window.value("class").toString(), QString("PDFViewer"));
    QCOMPARE(geometry(window), QRect(0, 0, 480, 272));
    QCOMPARE(geometry(findWidget(widgets, "verticalLayoutWidget")), QRect(428, 0, 52, 272));
    QCOMPARE(geometry(findWidget(widgets, "verticalLayoutWidget_2")), QRect(0, 0, 53, 272));

    const QRect rightColumn(428, 0, 52, 272);
    const QRect leftColumn(0, 0, 53, 272);
    for (const char *name : {"openButton", "upButton", "downButton", "rightButton"}) {
        const QJsonObject button = findWidget(widgets, name);
        QCOMPARE(button.value("class").toString(), QString("QPushButton"));
        QVERIFY2(rightColumn.contains(geometry(button)), name);
    }
    for (const char *name : {"closeButton", "zommInButton", "zoomOutButton", "leftButton"}) {
        const QJsonObject button = findWidget(widgets, name);
        QCOMPARE(button.value("class").toString(), QString("QPushButton"));
        QVERIFY2(leftColumn.contains(geometry(button)), name);
    }
    // Without the open option the open softkey is a disabled blank.
    QCOMPARE(findWidget(widgets, "openButton").value("enabled").toBool(true), false);
    QCOMPARE(findWidget(widgets, "upButton").value("text").toString(), QString::fromUtf8("⇧"));
}

void TestAutomationEndToEnd::badRequestsLeaveViewerServing()
{
    QVERIFY(startViewer());
    for (const QByteArray &line :
         {QByteArray("{"), QByteArray("{}"), QByteArray(R"({"cmd":"fly"})"),
          QByteArray(R"({"cmd":"tap","name":"noSuchButton"})"), QByteArray(R"({"cmd":"key"})")}) {
        const QJsonObject answer = m_client.requestRaw(line);
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY(!answer.value("error").toString().isEmpty());
    }
    LineClient overlong;
    QVERIFY(overlong.connectTo(automationPort));
    overlong.send(QByteArray(1024 * 1024 + 1, '{'));
    QVERIFY(overlong.readLine().contains("longer than"));
    QVERIFY(overlong.waitForClosed());

    QCOMPARE(m_client.request({{"cmd", "ping"}}).value("ok").toBool(), true);
    QVERIFY(m_viewer->isRunning());
}

void TestAutomationEndToEnd::grabShowsWholeWindow()
{
    QVERIFY(startViewer());
    const QJsonObject answer = m_client.request({{"cmd", "grab"}});
    QCOMPARE(answer.value("targetName").toString(), QString("PDFViewer"));
    const QImage image =
        QImage::fromData(QByteArray::fromBase64(answer.value("png").toString().toLatin1()), "PNG");
    QCOMPARE(image.size(), QSize(480, 272));
}

void TestAutomationEndToEnd::tapOnCloseEndsViewer()
{
    QVERIFY(startViewer());
    const QJsonObject answer = m_client.request({{"cmd", "tap"}, {"name", "closeButton"}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(answer.value("targetName").toString(), QString("closeButton"));
    QCOMPARE(m_viewer->waitForExit(), 0);
}

void TestAutomationEndToEnd::closeKeyEndsViewer()
{
    QVERIFY(startViewer());
    // F8, the default close key, acts on release in the main window.
    QCOMPARE(m_client.request({{"cmd", "key"}, {"key", Qt::Key_F8}, {"action", "press"}})
                 .value("ok")
                 .toBool(),
             true);
    QTest::qWait(200);
    QVERIFY(m_viewer->isRunning());
    QCOMPARE(m_client.request({{"cmd", "key"}, {"key", Qt::Key_F8}, {"action", "release"}})
                 .value("ok")
                 .toBool(),
             true);
    QCOMPARE(m_viewer->waitForExit(), 0);
}

void TestAutomationEndToEnd::takenPortIsReportedAndViewerRuns()
{
    QVERIFY(waitForFreePort());
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, automationPort));
    QString error;
    QVERIFY2(m_viewer->start(&error), qPrintable(error));
    QVERIFY2(m_viewer->waitForLine("Arguments: 1"), qPrintable(m_viewer->lines().join('\n')));
    const QStringList lines = m_viewer->lines();
    QCOMPARE(lines.mid(0, 3), QStringList({"Squish Plugin loaded", "Squish Plugin Initialized",
                                           "Squish FAILED to open Port: 5014"}));
    QTest::qWait(1000);
    QVERIFY(m_viewer->isRunning());
}

QTEST_MAIN(TestAutomationEndToEnd)
#include "tst_automatione2e.moc"
