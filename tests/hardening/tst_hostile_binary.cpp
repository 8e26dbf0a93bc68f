#include "hostiledocuments.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

// The real viewer binary on every hostile input: opened from the command line, a page move,
// zoom in to 300 dpi and out, then quit, all through the automation plugin on the offscreen
// platform. With PAGE_SCOPE_ADDRESS_SPACE_KB set, the viewer runs under that address-space cap.
namespace {

// A hang is a file that takes longer than this from start to exit. The heavy pages render
// images of up to two gigabytes on every zoom step, which Poppler alone takes seconds for; for
// them the bound holds for each single request, and the whole file gets heavyFileBoundMs.
constexpr int fileBoundMs = 30000;
constexpr int heavyFileBoundMs = 240000;
constexpr int keyReturn = 0x01000004;
constexpr int keyUp = 0x01000031;      // F2
constexpr int keyDown = 0x01000032;    // F3
constexpr int keyRight = 0x01000033;   // F4
constexpr int keyLeft = 0x01000034;    // F5
constexpr int keyZoomOut = 0x01000035; // F6
constexpr int keyZoomIn = 0x01000036;  // F7
constexpr int keyClose = 0x01000037;   // F8

// One JSON Lines conversation with the plugin.
class Automation
{
public:
    bool connect(int timeoutMs)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), 5014);
        return socket.waitForConnected(timeoutMs);
    }

    // The answer to one request, or an empty object when none came in time.
    QJsonObject request(const QJsonObject &request, int timeoutMs)
    {
        socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        QElapsedTimer timer;
        timer.start();
        while (!socket.canReadLine()) {
            const qint64 remaining = timeoutMs - timer.elapsed();
            if (remaining <= 0 || !socket.waitForReadyRead(int(remaining)))
                break;
        }
        if (!socket.canReadLine())
            return {};
        return QJsonDocument::fromJson(socket.readLine()).object();
    }

    bool key(int code, int timeoutMs)
    {
        return request({{"cmd", "key"}, {"key", code}, {"action", "click"}}, timeoutMs)
            .value("ok")
            .toBool();
    }

    QJsonArray widgets(int timeoutMs)
    {
        return request({{"cmd", "widgets"}}, timeoutMs).value("widgets").toArray();
    }

private:
    QTcpSocket socket;
};

struct Screen
{
    bool box = false;
    QString boxText;
    bool pageNumber = false;
};

Screen look(const QJsonArray &widgets)
{
    static const QRegularExpression pageNumber(QStringLiteral("^\\d+ / \\d+$"));
    Screen screen;
    for (const QJsonValue &value : widgets) {
        const QJsonObject widget = value.toObject();
        const QString className = widget.value("class").toString();
        if (className == QLatin1String("QMessageBox"))
            screen.box = true;
        if (widget.value("name").toString() == QLatin1String("qt_msgbox_label"))
            screen.boxText = widget.value("text").toString();
        if (className == QLatin1String("QLabel") &&
            pageNumber.match(widget.value("text").toString()).hasMatch())
            screen.pageNumber = true;
    }
    return screen;
}

} // namespace

class TestHostileBinary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void survives_data();
    void survives();

private:
    QTemporaryDir dir;
    QString documents;
    QString workingDirectory;
    QList<HostileDocuments::Entry> entries;
    QString binary;
    QString pluginDirectory;
    QByteArray addressSpaceKb;
};

void TestHostileBinary::initTestCase()
{
    binary = qEnvironmentVariable("PAGE_SCOPE_BINARY");
    pluginDirectory = qEnvironmentVariable("PAGE_SCOPE_PLUGIN_DIR");
    addressSpaceKb = qgetenv("PAGE_SCOPE_ADDRESS_SPACE_KB");
    QVERIFY2(QFileInfo(binary).isExecutable(), "PAGE_SCOPE_BINARY names no viewer binary");
    QVERIFY2(QFileInfo::exists(pluginDirectory + "/libSquishPlugin.so.1"),
             "PAGE_SCOPE_PLUGIN_DIR holds no automation plugin");

    QVERIFY(dir.isValid());
    documents = dir.filePath(QStringLiteral("documents"));
    workingDirectory = dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(documents) && QDir().mkpath(workingDirectory));
    // The icons by their relative path, and no device profile but the defaults.
    QVERIFY(QFile::link(QDir::current().absoluteFilePath(QStringLiteral("images")),
                        workingDirectory + QStringLiteral("/images")));
    entries = HostileDocuments::writeAll(documents);
    QVERIFY(!entries.isEmpty());
}

void TestHostileBinary::survives_data()
{
    QTest::addColumn<int>("index");
    // The rows are known only once the documents exist; initTestCase runs first.
    for (int i = 0; i < entries.size(); ++i)
        QTest::newRow(qPrintable(entries.at(i).name)) << i;
}

void TestHostileBinary::survives()
{
    QFETCH(int, index);
    const HostileDocuments::Entry entry = entries.at(index);
    const QString path = QDir(documents).filePath(entry.name);

    QProcess viewer;
    viewer.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LD_LIBRARY_PATH", pluginDirectory);
    viewer.setProcessEnvironment(environment);
    // Poppler reports every damaged object on standard error, a hundred thousand lines for
    // some of these files: a pipe nobody reads would fill up and stop the viewer.
    const QString errorLog = dir.filePath(QStringLiteral("stderr-%1.log").arg(index));
    viewer.setStandardErrorFile(errorLog);
    const QStringList arguments = {QStringLiteral("-f"), path};
    if (addressSpaceKb.isEmpty()) {
        viewer.start(binary, arguments);
    } else {
        viewer.start(QStringLiteral("/bin/sh"),
                     QStringList{"-c",
                                 "ulimit -v " + QString::fromLatin1(addressSpaceKb) +
                                     " && exec \"$0\" \"$@\"",
                                 binary} +
                         arguments);
    }
    QVERIFY2(viewer.waitForStarted(), qPrintable(viewer.errorString()));
    auto cleanup = qScopeGuard([&] {
        if (viewer.state() != QProcess::NotRunning) {
            viewer.kill();
            viewer.waitForFinished();
        }
    });

    QElapsedTimer clock;
    clock.start();
    const int bound = entry.heavy ? heavyFileBoundMs : fileBoundMs;
    auto left = [&] { return int(qBound<qint64>(1, bound - clock.elapsed(), fileBoundMs)); };
    QByteArray output;
    auto readOutput = [&] {
        viewer.waitForReadyRead(10);
        output += viewer.readAllStandardOutput();
    };

    while (!output.contains("Squish opened Port: 5014") && clock.elapsed() < bound &&
           viewer.state() == QProcess::Running)
        readOutput();
    QVERIFY2(output.contains("Squish opened Port: 5014"), output.constData());

    Automation automation;
    QVERIFY(automation.connect(left()));

    // Loaded means the page-number overlay is up (it shows for a second after the load, also for
    // a document without pages); failed means the box is up.
    Screen screen;
    while (clock.elapsed() < bound && !screen.box && !screen.pageNumber) {
        screen = look(automation.widgets(left()));
        if (!screen.box && !screen.pageNumber)
            QTest::qWait(20);
    }
    readOutput();
    QVERIFY2(screen.box || screen.pageNumber,
             qPrintable("neither page nor failure box after " + QString::number(clock.elapsed()) +
                        " ms: " + output));

    const bool failed = screen.box;
    if (failed) {
        QVERIFY2(entry.outcome != HostileDocuments::Outcome::Opens, "the document did not open");
        QVERIFY2(output.contains("Document is "), output.constData());
        QCOMPARE(screen.boxText,
                 QStringLiteral("Loading document ") + path + QStringLiteral(" failed!"));
        QVERIFY(automation.key(keyReturn, left()));
        while (clock.elapsed() < bound && screen.box) {
            screen = look(automation.widgets(left()));
            if (screen.box)
                QTest::qWait(20);
        }
        QVERIFY2(!screen.box, "the failure box did not close");
    } else {
        QVERIFY2(entry.outcome != HostileDocuments::Outcome::Fails,
                 "the document opened, but must not");
        QVERIFY(!output.contains("Document is "));
    }

    // A page move (past the bottom of the page), zoom in to 300 dpi and back out to 10 dpi, and
    // some scrolling on the way. Keys are posted to the viewer's event queue; the widgets request
    // after each is answered once the key has been handled, so it bounds every single step.
    const QList<QPair<int, int>> batches = {{keyDown, 14}, {keyUp, 3},       {keyZoomIn, 26},
                                            {keyRight, 2}, {keyZoomOut, 29}, {keyLeft, 1}};
    for (const auto &batch : batches) {
        for (int i = 0; i < batch.second; ++i) {
            QVERIFY2(automation.key(batch.first, left()),
                     qPrintable("no answer after " + QString::number(clock.elapsed()) + " ms"));
            const QJsonArray widgets = automation.widgets(left());
            QVERIFY2(!widgets.isEmpty(), qPrintable("the viewer stopped answering after " +
                                                    QString::number(clock.elapsed()) + " ms"));
            QVERIFY2(!look(widgets).box, "a message box appeared during navigation");
        }
    }
    readOutput();
    QCOMPARE(output.count("Document is "), failed ? 1 : 0);

    QVERIFY(automation.key(keyClose, left()));
    QVERIFY2(viewer.waitForFinished(left()),
             qPrintable("no exit within the bound: " + QString::number(clock.elapsed()) + " ms"));
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), 0);
    QFile errorFile(errorLog);
    QVERIFY(errorFile.open(QIODevice::ReadOnly));
    const QByteArray errors = errorFile.readAll();
    // Poppler may report "Out of memory" for an allocation it then does without; a crash would
    // have shown in the exit status above.
    QVERIFY2(!errors.contains("Sanitizer") && !errors.contains("runtime error"),
             errors.right(4096).constData());
    qInfo("%s: %s in %lld ms", qPrintable(entry.name), failed ? "failure box" : "shown",
          clock.elapsed());
}

QTEST_MAIN(TestHostileBinary)
#include "tst_hostile_binary.moc"
