// The built plugin library, loaded as the viewer loads it and driven over its TCP port
// against a window of plain Qt widgets.
#include "lineclient.h"
#include "widgetlist.h"

#include <QDialog>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLabel>
#include <QLibrary>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

using InitialiseFunction = int (*)(int);

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QJsonObject ping()
{
    return QJsonObject{{"cmd", "ping"}};
}

} // namespace

// Records the key events it receives. A probe that does not accept them leaves them
// unaccepted, so they travel on to its parent as unhandled real key events do.
class KeyProbe : public QWidget
{
    Q_OBJECT

public:
    struct Record
    {
        QEvent::Type type;
        int key;
        QString text;
        quint32 scanCode;
    };

    KeyProbe(const QString &name, bool accepting, QWidget *parent)
        : QWidget(parent), accepting(accepting)
    {
        setObjectName(name);
        setFocusPolicy(Qt::StrongFocus);
    }

    bool accepting;
    QList<Record> records;
    std::function<void(int key)> onRelease;

protected:
    void keyPressEvent(QKeyEvent *event) override { record(event); }
    void keyReleaseEvent(QKeyEvent *event) override
    {
        record(event);
        if (onRelease)
            onRelease(event->key());
    }

private:
    void record(QKeyEvent *event)
    {
        records.append({event->type(), event->key(), event->text(), event->nativeScanCode()});
        event->setAccepted(accepting);
    }
};

class TestAutomationPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pingNamesProcess();
    void widgetsListVisibleTreeInScreenCoordinates();
    void keyReachesFocusAndPropagatesWhenIgnored();
    void tapClicksByNameAndByPoint();
    void grabMatchesWindow();
    void serverAnswersWhileModalDialogRuns();
    void badRequestsAreAnsweredOnOpenConnection_data();
    void badRequestsAreAnsweredOnOpenConnection();
    void pipelinedRequestsAnsweredInOrder();
    void overlongLineAnsweredThenClosed_data();
    void overlongLineAnsweredThenClosed();
    void ninthClientRefusedPolitely();
    void vanishingClientsLeaveServerWorking();
    void ctlToolExitStatus_data();
    void ctlToolExitStatus();
    void ctlToolWritesGrabbedPng();
    void initialiseRules();
    void cleanupTestCase();

private:
    QJsonObject request(const QJsonObject &request) { return m_client.request(request); }
    void openModalDialog();
    int runCtl(const QStringList &arguments, QByteArray *output);

    InitialiseFunction m_initialise = nullptr;
    quint16 m_port = 0;
    LineClient m_client;
    std::unique_ptr<QMainWindow> m_window;
    QPushButton *m_ok = nullptr;
    QPushButton *m_disabled = nullptr;
    KeyProbe *m_outer = nullptr;
    KeyProbe *m_inner = nullptr;
    QList<int> m_dialogResults;
};

void TestAutomationPlugin::initTestCase()
{
    QLibrary library(QStringLiteral(SQUISH_PLUGIN_PATH));
    library.setLoadHints(QLibrary::PreventUnloadHint);
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    m_initialise = reinterpret_cast<InitialiseFunction>(library.resolve("Initialise"));
    QVERIFY(m_initialise);
    m_port = freePort();
    QCOMPARE(m_initialise(m_port), 1);

    m_window.reset(new QMainWindow);
    m_window->setObjectName("testWindow");
    m_window->setWindowTitle("Automation test");
    m_window->setGeometry(30, 40, 400, 300);
    auto *central = new QWidget;
    central->setObjectName("central");
    m_window->setCentralWidget(central);
    m_ok = new QPushButton("OK", central);
    m_ok->setObjectName("okButton");
    m_ok->setGeometry(10, 10, 80, 30);
    m_disabled = new QPushButton("Off", central);
    m_disabled->setObjectName("disabledButton");
    m_disabled->setGeometry(100, 10, 80, 30);
    m_disabled->setEnabled(false);
    auto *opener = new QPushButton("Open", central);
    opener->setObjectName("dialogOpener");
    opener->setGeometry(200, 10, 80, 30);
    connect(opener, &QPushButton::clicked, this, &TestAutomationPlugin::openModalDialog);
    auto *hidden = new QPushButton("Hidden", central);
    hidden->setObjectName("hiddenButton");
    hidden->hide();
    auto *label = new QLabel("Ready", central);
    label->setObjectName("statusLabel");
    label->setGeometry(10, 50, 100, 20);
    m_outer = new KeyProbe("outerProbe", true, central);
    m_outer->setGeometry(10, 80, 200, 100);
    m_inner = new KeyProbe("innerProbe", false, m_outer);
    m_inner->setGeometry(10, 10, 50, 50);
    m_outer->onRelease = [this](int key) {
        if (key == Qt::Key_F1)
            openModalDialog();
    };

    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QVERIFY(m_client.connectTo(m_port));
}

void TestAutomationPlugin::init()
{
    // Nothing gives the activation back after a dialog closes on this headless platform.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_inner->setFocus();
    m_inner->accepting = false;
    m_inner->records.clear();
    m_outer->records.clear();
}

void TestAutomationPlugin::openModalDialog()
{
    QDialog dialog(m_window.get());
    dialog.setObjectName("modalDialog");
    auto *button = new QPushButton("Close", &dialog);
    button->setObjectName("dialogButton");
    connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    // Should the test fail to close it, the dialog ends by itself with a telling result.
    QTimer::singleShot(20000, &dialog, [&dialog] { dialog.done(99); });
    m_dialogResults.append(dialog.exec());
}

void TestAutomationPlugin::pingNamesProcess()
{
    const QJsonObject answer = request({{"cmd", "ping"}, {"id", "first"}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(qint64(answer.value("pid").toDouble()), QCoreApplication::applicationPid());
    QCOMPARE(answer.value("application").toString(), QCoreApplication::applicationName());
    QCOMPARE(answer.value("id").toString(), QString("first"));
}

void TestAutomationPlugin::widgetsListVisibleTreeInScreenCoordinates()
{
    const QJsonObject answer = request({{"cmd", "widgets"}});
    QVERIFY(answer.value("ok").toBool());
    const QJsonArray widgets = answer.value("widgets").toArray();

    // Ids are unique and every parent is listed before its children.
    QSet<int> seen;
    for (const QJsonValue &value : widgets) {
        const QJsonObject entry = value.toObject();
        const int parent = entry.value("parent").toInt();
        QVERIFY(parent == 0 || seen.contains(parent));
        QVERIFY(!seen.contains(entry.value("id").toInt()));
        seen.insert(entry.value("id").toInt());
        QVERIFY(entry.value("visible").toBool());
    }

    const QJsonObject window = findWidget(widgets, "testWindow");
    QCOMPARE(window.value("class").toString(), QString("QMainWindow"));
    QCOMPARE(window.value("parent").toInt(), 0);
    QCOMPARE(window.value("window").toBool(), true);
    QCOMPARE(window.value("active").toBool(), true);
    QCOMPARE(window.value("text").toString(), QString("Automation test"));
    QCOMPARE(geometry(window), QRect(30, 40, 400, 300));

    const QJsonObject central = findWidget(widgets, "central");
    QCOMPARE(central.value("parent").toInt(), window.value("id").toInt());
    const QJsonObject ok = findWidget(widgets, "okButton");
    QCOMPARE(ok.value("parent").toInt(), central.value("id").toInt());
    QCOMPARE(ok.value("class").toString(), QString("QPushButton"));
    QCOMPARE(ok.value("text").toString(), QString("OK"));
    QCOMPARE(geometry(ok), QRect(40, 50, 80, 30));
    QCOMPARE(ok.value("enabled").toBool(), true);
    QCOMPARE(findWidget(widgets, "disabledButton").value("enabled").toBool(), false);
    QCOMPARE(findWidget(widgets, "statusLabel").value("text").toString(), QString("Ready"));

    const QJsonObject inner = findWidget(widgets, "innerProbe");
    QCOMPARE(inner.value("class").toString(), QString("KeyProbe"));
    QCOMPARE(inner.value("parent").toInt(), findWidget(widgets, "outerProbe").value("id").toInt());
    QCOMPARE(inner.value("x").toInt(), 30 + 10 + 10);
    QCOMPARE(inner.value("focus").toBool(), true);
    QCOMPARE(findWidget(widgets, "outerProbe").value("focus").toBool(), false);
    QVERIFY(!inner.contains("text"));

    QVERIFY(findWidget(widgets, "hiddenButton").isEmpty());
}

void TestAutomationPlugin::keyReachesFocusAndPropagatesWhenIgnored()
{
    QJsonObject answer = request({{"cmd", "key"}, {"key", Qt::Key_F3}, {"action", "press"}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(answer.value("target").toString(), QString("KeyProbe"));
    QCOMPARE(answer.value("targetName").toString(), QString("innerProbe"));
    QTRY_COMPARE(m_outer->records.size(), 1);
    QCOMPARE(m_inner->records.size(), 1);
    QCOMPARE(m_inner->records[0].type, QEvent::KeyPress);
    QCOMPARE(m_inner->records[0].key, 16777266);
    QCOMPARE(m_inner->records[0].scanCode, 0u);
    QCOMPARE(m_outer->records[0].key, 16777266);

    QVERIFY(
        request({{"cmd", "key"}, {"key", Qt::Key_F3}, {"action", "release"}}).value("ok").toBool());
    QTRY_COMPARE(m_outer->records.size(), 2);
    QCOMPARE(m_outer->records[1].type, QEvent::KeyRelease);

    // A click is a press then a release; printable keys carry their text.
    m_inner->accepting = true;
    m_inner->records.clear();
    m_outer->records.clear();
    QVERIFY(request({{"cmd", "key"}, {"key", Qt::Key_A}}).value("ok").toBool());
    QTRY_COMPARE(m_inner->records.size(), 2);
    QCOMPARE(m_inner->records[0].type, QEvent::KeyPress);
    QCOMPARE(m_inner->records[1].type, QEvent::KeyRelease);
    QCOMPARE(m_inner->records[0].text, QString("a"));
    QCOMPARE(m_outer->records.size(), 0);

    // Without a focus widget the active window receives the key.
    m_inner->clearFocus();
    answer = request({{"cmd", "key"}, {"key", Qt::Key_F5}, {"action", "release"}});
    QCOMPARE(answer.value("targetName").toString(), QString("testWindow"));
}

void TestAutomationPlugin::tapClicksByNameAndByPoint()
{
    QSignalSpy okClicks(m_ok, &QPushButton::clicked);
    QSignalSpy disabledClicks(m_disabled, &QPushButton::clicked);

    QJsonObject answer = request({{"cmd", "tap"}, {"name", "okButton"}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(answer.value("targetName").toString(), QString("okButton"));
    const QPoint centre = m_ok->mapToGlobal(m_ok->rect().center());
    QCOMPARE(answer.value("x").toInt(), centre.x());
    QCOMPARE(answer.value("y").toInt(), centre.y());
    QTRY_COMPARE(okClicks.count(), 1);

    answer = request({{"cmd", "tap"}, {"x", 30 + 10 + 5}, {"y", 40 + 50 + 5}});
    QCOMPARE(answer.value("targetName").toString(), QString("statusLabel"));

    // A disabled button takes the tap without clicking; the ok tap after it is the barrier
    // that shows the events before it were delivered.
    QVERIFY(request({{"cmd", "tap"}, {"name", "disabledButton"}}).value("ok").toBool());
    answer = request({{"cmd", "tap"}, {"x", centre.x()}, {"y", centre.y()}});
    QCOMPARE(answer.value("targetName").toString(), QString("okButton"));
    QTRY_COMPARE(okClicks.count(), 2);
    QCOMPARE(disabledClicks.count(), 0);

    answer = request({{"cmd", "tap"}, {"name", "hiddenButton"}});
    QCOMPARE(answer.value("ok").toBool(), false);
    QVERIFY(answer.value("error").toString().contains("no visible widget named hiddenButton"));
    answer = request({{"cmd", "tap"}, {"x", -20000}, {"y", -20000}});
    QCOMPARE(answer.value("ok").toBool(), false);
    QVERIFY(answer.value("error").toString().contains("no widget at -20000,-20000"));
}

void TestAutomationPlugin::grabMatchesWindow()
{
    QJsonObject answer = request({{"cmd", "grab"}});
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(answer.value("targetName").toString(), QString("testWindow"));
    const QImage image =
        QImage::fromData(QByteArray::fromBase64(answer.value("png").toString().toLatin1()), "PNG");
    QCOMPARE(image.size(), QSize(400, 300));
    QCOMPARE(answer.value("width").toInt(), 400);
    const QImage expected = m_window->grab().toImage().convertToFormat(image.format());
    QCOMPARE(image, expected);

    answer = request({{"cmd", "grab"}, {"name", "okButton"}});
    QCOMPARE(
        QImage::fromData(QByteArray::fromBase64(answer.value("png").toString().toLatin1())).size(),
        QSize(80, 30));
}

void TestAutomationPlugin::serverAnswersWhileModalDialogRuns()
{
    // The dialogs run nested event loops on this thread, so the client lives on another one.
    struct Script
    {
        QJsonObject keyAnswer, widgets, blockedTap, closeTap, tapAnswer, escapeAnswer;
    } script;
    const quint16 port = m_port;
    auto waitForDialog = [](LineClient &client, bool shown) {
        QJsonObject widgets;
        for (int attempt = 0; attempt < 100; ++attempt) {
            widgets = client.request({{"cmd", "widgets"}});
            const QJsonObject dialog =
                findWidget(widgets.value("widgets").toArray(), "modalDialog");
            if (dialog.isEmpty() != shown && (!shown || dialog.value("active").toBool()))
                break;
            QThread::msleep(50);
        }
        return widgets;
    };
    std::unique_ptr<QThread> worker(QThread::create([&] {
        LineClient client;
        if (!client.connectTo(port))
            return;
        // A key whose release opens a dialog, answered before the dialog closes.
        script.keyAnswer = client.request({{"cmd", "key"}, {"key", Qt::Key_F1}});
        script.widgets = waitForDialog(client, true);
        script.blockedTap = client.request({{"cmd", "tap"}, {"name", "okButton"}});
        script.closeTap = client.request({{"cmd", "tap"}, {"name", "dialogButton"}});
        // A tap that opens the dialog, then a key that closes it.
        waitForDialog(client, false);
        script.tapAnswer = client.request({{"cmd", "tap"}, {"name", "dialogOpener"}});
        waitForDialog(client, true);
        script.escapeAnswer = client.request({{"cmd", "key"}, {"key", Qt::Key_Escape}});
    }));
    m_dialogResults.clear();
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 30000);

    QCOMPARE(script.keyAnswer.value("ok").toBool(), true);
    const QJsonArray widgets = script.widgets.value("widgets").toArray();
    QVERIFY(!widgets.isEmpty());
    QCOMPARE(widgets.first().toObject().value("name").toString(), QString("modalDialog"));
    QCOMPARE(widgets.first().toObject().value("active").toBool(), true);
    QCOMPARE(script.blockedTap.value("ok").toBool(), false);
    QVERIFY(script.blockedTap.value("error").toString().contains("blocked"));
    QCOMPARE(script.closeTap.value("ok").toBool(), true);
    QCOMPARE(script.tapAnswer.value("ok").toBool(), true);
    QCOMPARE(script.escapeAnswer.value("ok").toBool(), true);
    QTRY_COMPARE(m_dialogResults.size(), 2);
    QCOMPARE(m_dialogResults, QList<int>({QDialog::Accepted, QDialog::Rejected}));
}

void TestAutomationPlugin::badRequestsAreAnsweredOnOpenConnection_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("malformed") << QByteArray(R"({"cmd":)") << "malformed JSON";
    QTest::newRow("invalid UTF-8") << QByteArray("{\"cmd\":\"\xff\xfe\"}") << "malformed JSON";
    QTest::newRow("array") << QByteArray("[1,2]") << "must be a JSON object";
    QTest::newRow("no cmd") << QByteArray("{}") << "missing field: cmd";
    QTest::newRow("cmd number") << QByteArray(R"({"cmd":5})") << "field cmd must be a string";
    QTest::newRow("unknown") << QByteArray(R"({"cmd":"dance","id":7})") << "unknown command: dance";
    QTest::newRow("key missing") << QByteArray(R"({"cmd":"key"})") << "missing field: key";
    QTest::newRow("key fraction") << QByteArray(R"({"cmd":"key","key":1.5})") << "integer";
    QTest::newRow("key negative") << QByteArray(R"({"cmd":"key","key":-1})") << "integer";
    QTest::newRow("key action") << QByteArray(R"({"cmd":"key","key":65,"action":"hold"})")
                                << "press, release or click";
    QTest::newRow("tap nothing") << QByteArray(R"({"cmd":"tap"})") << "missing field: x";
    QTest::newRow("tap y text") << QByteArray(R"({"cmd":"tap","x":1,"y":"2"})") << "field y";
    QTest::newRow("tap name number")
        << QByteArray(R"({"cmd":"tap","name":5})") << "field name must be a string";
    QTest::newRow("grab unknown") << QByteArray(R"({"cmd":"grab","name":"nope"})")
                                  << "no visible widget named nope";
}

void TestAutomationPlugin::badRequestsAreAnsweredOnOpenConnection()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    const QJsonObject answer = m_client.requestRaw(line);
    QCOMPARE(answer.value("ok").toBool(true), false);
    QVERIFY2(answer.value("error").toString().contains(error),
             qPrintable(answer.value("error").toString()));
    if (line.contains("\"id\""))
        QCOMPARE(answer.value("id").toInt(), 7);
    QCOMPARE(request(ping()).value("ok").toBool(), true);
}

void TestAutomationPlugin::pipelinedRequestsAnsweredInOrder()
{
    QByteArray burst;
    for (int id = 0; id < 50; ++id)
        burst += QByteArray("\n  \r\n{\"cmd\":\"ping\",\"id\":") + QByteArray::number(id) + "}\r\n";
    m_client.send(burst);
    for (int id = 0; id < 50; ++id) {
        const QJsonObject answer = QJsonDocument::fromJson(m_client.readLine()).object();
        QCOMPARE(answer.value("ok").toBool(), true);
        QCOMPARE(answer.value("id").toInt(), id);
    }
}

void TestAutomationPlugin::overlongLineAnsweredThenClosed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const int limit = 1024 * 1024;
    QTest::newRow("no newline") << QByteArray(limit + 1, 'a');
    QTest::newRow("newline late, more after")
        << QByteArray(2 * limit, 'b') + "\n" + QByteArray(limit, 'c') + "\n";
}

void TestAutomationPlugin::overlongLineAnsweredThenClosed()
{
    QFETCH(QByteArray, bytes);
    LineClient client;
    QVERIFY(client.connectTo(m_port));
    client.send(bytes);
    const QJsonObject answer = QJsonDocument::fromJson(client.readLine()).object();
    QCOMPARE(answer.value("ok").toBool(true), false);
    QVERIFY(answer.value("error").toString().contains("longer than 1048576 bytes"));
    // A line of exactly the limit is still a request: the server test checks that boundary.
    QVERIFY(client.waitForClosed());
}

void TestAutomationPlugin::ninthClientRefusedPolitely()
{
    // Connections closed by earlier tests must be gone first; the server learns of them
    // through its event loop.
    QTest::qWait(500);
    // m_client is the first of the eight.
    std::vector<std::unique_ptr<LineClient>> clients;
    for (int i = 0; i < 7; ++i) {
        clients.emplace_back(new LineClient);
        QVERIFY(clients.back()->connectTo(m_port));
        QCOMPARE(clients.back()->request(ping()).value("ok").toBool(), true);
    }
    LineClient ninth;
    QVERIFY(ninth.connectTo(m_port));
    const QJsonObject refusal = QJsonDocument::fromJson(ninth.readLine()).object();
    QCOMPARE(refusal.value("ok").toBool(true), false);
    QVERIFY(refusal.value("error").toString().contains("too many clients"));
    QVERIFY(ninth.waitForClosed());

    // A freed place is taken by the next client.
    clients.back()->close();
    QVERIFY(QTest::qWaitFor(
        [this] {
            LineClient next;
            return next.connectTo(m_port) && next.request(ping()).value("ok").toBool();
        },
        10000));
}

void TestAutomationPlugin::vanishingClientsLeaveServerWorking()
{
    LineClient midLine;
    QVERIFY(midLine.connectTo(m_port));
    midLine.send(R"({"cmd":"pi)");
    midLine.close();

    LineClient beforeAnswer;
    QVERIFY(beforeAnswer.connectTo(m_port));
    beforeAnswer.send("{\"cmd\":\"grab\"}\n{\"cmd\":\"widgets\"}\n");
    beforeAnswer.close();

    LineClient neverReads;
    QVERIFY(neverReads.connectTo(m_port));
    for (int i = 0; i < 40; ++i)
        neverReads.send("{\"cmd\":\"grab\"}\n");
    QTest::qWait(200);
    neverReads.close();

    QCOMPARE(request(ping()).value("ok").toBool(), true);
    LineClient fresh;
    QVERIFY(fresh.connectTo(m_port));
    QCOMPARE(fresh.request(ping()).value("ok").toBool(), true);
}

int TestAutomationPlugin::runCtl(const QStringList &arguments, QByteArray *output)
{
    // The server answers from this thread, so the tool runs while the event loop spins.
    QProcess tool;
    tool.start(QStringLiteral(PYTHON3_EXECUTABLE),
               QStringList{QStringLiteral(PAGE_SCOPE_CTL), "--port", QString::number(m_port)} +
                   arguments);
    if (!QTest::qWaitFor([&tool] { return tool.state() == QProcess::NotRunning; }, 30000))
        return -1;
    *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

void TestAutomationPlugin::ctlToolExitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed");
    QTest::newRow("ping") << QStringList{"ping"} << 0 << R"("ok":true)";
    QTest::newRow("key") << QStringList{"key", "16777266", "click"} << 0 << "innerProbe";
    QTest::newRow("tap name") << QStringList{"tap", "okButton"} << 0 << "okButton";
    QTest::newRow("raw") << QStringList{"raw", R"({"cmd":"ping","id":3})"} << 0 << R"("id":3)";
    QTest::newRow("not ok") << QStringList{"raw", R"({"cmd":"dance"})"} << 1 << "unknown command";
    QTest::newRow("usage") << QStringList{"tap", "1", "2", "3"} << 2 << "";
    QTest::newRow("no server") << QStringList{"--port", QString::number(freePort()), "ping"} << 3
                               << "";
}

void TestAutomationPlugin::ctlToolExitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QByteArray output;
    QCOMPARE(runCtl(arguments, &output), exitCode);
    QVERIFY2(output.contains(printed.toUtf8()), output.constData());
}

void TestAutomationPlugin::ctlToolWritesGrabbedPng()
{
    QTemporaryDir directory;
    const QString file = directory.filePath("okButton.png");
    QByteArray output;
    QCOMPARE(runCtl({"grab", file, "okButton"}, &output), 0);
    QVERIFY(output.contains(R"("file":)"));
    QVERIFY(!output.contains(R"("png":)"));
    QCOMPARE(QImage(file).size(), QSize(80, 30));
}

void TestAutomationPlugin::initialiseRules()
{
    // A port that is taken is reported, and the working port stays open.
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(m_initialise(squatter.serverPort()), 0);
    QCOMPARE(request(ping()).value("ok").toBool(), true);

    // Calling again for the open port changes nothing.
    QCOMPARE(m_initialise(m_port), 1);
    QCOMPARE(request(ping()).value("ok").toBool(), true);

    QCOMPARE(m_initialise(-1), 0);
    qputenv("PAGE_SCOPE_AUTOMATION_ADDRESS", "not-an-address");
    QCOMPARE(m_initialise(freePort()), 0);

    // A wider address moves the server; loopback still reaches it.
    qputenv("PAGE_SCOPE_AUTOMATION_ADDRESS", "0.0.0.0");
    const quint16 wide = freePort();
    QCOMPARE(m_initialise(wide), 1);
    qunsetenv("PAGE_SCOPE_AUTOMATION_ADDRESS");
    LineClient client;
    QVERIFY(client.connectTo(wide));
    QCOMPARE(client.request(ping()).value("ok").toBool(), true);
    LineClient old;
    old.connectTo(m_port, 2000);
    QVERIFY(old.socket().state() != QAbstractSocket::ConnectedState);
}

void TestAutomationPlugin::cleanupTestCase()
{
    m_client.close();
    m_window.reset();
}

QTEST_MAIN(TestAutomationPlugin)
#include "tst_automationplugin.moc"
