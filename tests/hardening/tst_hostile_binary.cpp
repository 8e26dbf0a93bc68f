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

#include <signal.h>
#include <sys/prctl.h>

// The real viewer on hostile inputs, driven through the automation plugin on the offscreen
// platform: no crash, no hang, the failure box where one is due, and a viewer that answers to
// the end. PAGE_SCOPE_HOSTILE_SET=full takes every file through the whole zoom range; otherwise
// one file of each kind at low resolutions, and the 14400 pt page at 300 dpi under the cap.
// PAGE_SCOPE_ADDRESS_SPACE_KB lists the caps to run under, 0 for none.
namespace {

enum Key : int {
    Return = 0x01000004,
    Up = 0x01000031, // F2
    Down,
    Right,
    Left,
    ZoomOut,
    ZoomIn,
    Close
};
using Steps = QVector<QPair<int, int>>;

// Dies with the test, whether it fails, times out or is killed: a viewer left behind would hold
// the automation port that other test runs need.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override { prctl(PR_SET_PDEATHSIG, SIGKILL); }
};

class Automation
{
public:
    bool connect(int timeoutMs)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), 5014);
        return socket.waitForConnected(timeoutMs);
    }

    // The answer, or an empty object when none came in time.
    QJsonObject request(const QJsonObject &request, int timeoutMs)
    {
        socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        QElapsedTimer timer;
        timer.start();
        while (!socket.canReadLine() && timer.elapsed() < timeoutMs &&
               socket.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed()))))
            ;
        return socket.canReadLine() ? QJsonDocument::fromJson(socket.readLine()).object()
                                    : QJsonObject();
    }

    bool key(int code, int timeoutMs)
    {
        return request({{"cmd", "key"}, {"key", code}, {"action", "click"}}, timeoutMs)
            .value("ok")
            .toBool();
    }

    // The failure box's text ("" for none), or a null string when the viewer did not answer.
    QString boxText(int timeoutMs, bool *pageNumberShown = nullptr)
    {
        static const QRegularExpression pageNumber(QStringLiteral("^\\d+ / \\d+$"));
        const QJsonArray widgets =
            request({{"cmd", "widgets"}}, timeoutMs).value("widgets").toArray();
        QString text = widgets.isEmpty() ? QString() : QLatin1String("");
        for (const QJsonValue &value : widgets) {
            const QJsonObject widget = value.toObject();
            if (widget.value("name").toString() == QLatin1String("qt_msgbox_label"))
                text = widget.value("text").toString();
            if (pageNumberShown && pageNumber.match(widget.value("text").toString()).hasMatch())
                *pageNumberShown = true;
        }
        return text;
    }

private:
    QTcpSocket socket;
};

} // namespace

class TestHostileBinary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void survives_data();
    void survives();
    void cleanup();

private:
    // False only when another program holds the automation port.
    bool startViewer(const QString &path, int capKb);

    QString binary;
    QString pluginDirectory;
    QTemporaryDir dir;
    QList<HostileDocuments::Entry> entries;
    ChildProcess viewer;
    QByteArray output;
};

void TestHostileBinary::initTestCase()
{
    binary = QFileInfo(qEnvironmentVariable("PAGE_SCOPE_BINARY")).absoluteFilePath();
    pluginDirectory = QFileInfo(qEnvironmentVariable("PAGE_SCOPE_PLUGIN_DIR")).absoluteFilePath();
    QVERIFY(QFileInfo(binary).isExecutable());
    QVERIFY(QFileInfo::exists(pluginDirectory + "/libSquishPlugin.so.1"));
    // The viewer runs in the scratch folder: the icons by their relative path, no device profile.
    QVERIFY(dir.isValid());
    QVERIFY(QFile::link(QDir::current().absoluteFilePath("images"), dir.filePath("images")));
    entries = HostileDocuments::writeAll(dir.path());
    QVERIFY(!entries.isEmpty());
}

void TestHostileBinary::survives_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("capKb");
    const bool full = qgetenv("PAGE_SCOPE_HOSTILE_SET") == "full";
    static const QRegularExpression number(QStringLiteral("-\\d+\\.pdf$"));
    for (const QByteArray &cap : qgetenv("PAGE_SCOPE_ADDRESS_SPACE_KB").split(',')) {
        QSet<QString> kinds;
        // The last file of each kind is the most damaged, or the longest, of its kind.
        for (int i = entries.size() - 1; i >= 0; --i) {
            const QString name = entries.at(i).name;
            if (full || !kinds.contains(QString(name).remove(number))) {
                kinds.insert(QString(name).remove(number));
                QTest::addRow("%s, cap %s KB", qPrintable(name), cap.constData())
                    << i << cap.toInt();
            }
        }
    }
}

bool TestHostileBinary::startViewer(const QString &path, int capKb)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_LIBRARY_PATH", pluginDirectory);
    viewer.setProcessEnvironment(environment);
    viewer.setWorkingDirectory(dir.path());
    // Poppler reports every damaged object, up to a hundred thousand lines a file: a pipe that
    // nobody reads would fill up and stop the viewer.
    viewer.setStandardErrorFile(QProcess::nullDevice());
    viewer.start("/bin/sh", {"-c",
                             QString("ulimit -v %1 && exec \"$0\" \"$@\"")
                                 .arg(capKb ? QString::number(capKb) : "unlimited"),
                             binary, "-f", path});
    output.clear();
    QElapsedTimer clock;
    clock.start();
    while (viewer.state() != QProcess::NotRunning && clock.elapsed() < 30000) {
        viewer.waitForReadyRead(100);
        output += viewer.readAllStandardOutput();
        if (output.contains("Squish opened Port: 5014"))
            return true;
        if (output.contains("Squish FAILED")) {
            cleanup();
            return false;
        }
    }
    return true;
}

void TestHostileBinary::survives()
{
    QFETCH(int, index);
    QFETCH(int, capKb);
    const HostileDocuments::Entry entry = entries.at(index);
    const QString path = dir.filePath(entry.name);
    const bool full = qgetenv("PAGE_SCOPE_HOSTILE_SET") == "full";

    // Another test run on this machine may hold the port for a while; wait for it.
    QElapsedTimer waited;
    waited.start();
    while (!startViewer(path, capKb) && waited.elapsed() < 120000)
        QTest::qWait(1000);
    QVERIFY2(output.contains("Squish opened Port: 5014"), output.constData());

    // A hang is a file that takes longer than its bound from start to exit. The heavy pages
    // take Poppler seconds for each zoom step of the whole range; there every step has the
    // bound of an ordinary file.
    const int fileBoundMs = 30000;
    const int bound = full && entry.heavy ? 240000 : fileBoundMs;
    QElapsedTimer clock;
    clock.start();
    auto left = [&] { return int(qBound<qint64>(1, bound - clock.elapsed(), fileBoundMs)); };
    auto after = [&](const char *what) {
        return QByteArray(what) + " after " + QByteArray::number(clock.elapsed()) + " ms";
    };
    Automation automation;
    QVERIFY(automation.connect(left()));

    // Loaded: the page-number overlay is up (for a second, even without pages). Failed: the box.
    bool shown = false;
    QString box;
    while (clock.elapsed() < bound && box.isEmpty() && !shown)
        box = automation.boxText(left(), &shown);
    QVERIFY2(!box.isEmpty() || shown, after("neither page nor failure box").constData());
    const bool failed = !box.isEmpty();
    QVERIFY2(failed ? entry.outcome != HostileDocuments::Outcome::Opens
                    : entry.outcome != HostileDocuments::Outcome::Fails,
             failed ? "the document did not open" : "the document opened, but must not");
    if (failed) {
        QCOMPARE(box, "Loading document " + path + " failed!");
        QVERIFY(automation.key(Return, left()));
    }

    // Keys are posted to the viewer's queue; the widgets request after each is answered once the
    // key has been handled, so it bounds every single step.
    // The heavy pages take seconds a render: one at 48 dpi is enough by default.
    Steps steps = {{ZoomOut, entry.heavy ? 0 : 4}, {Down, 2}, {Up, 1}, {Right, 1}};
    if (full)
        steps = {{Down, 14}, {Up, 3}, {ZoomIn, 26}, {Right, 2}, {ZoomOut, 29}, {Left, 1}};
    else if (capKb && entry.name == "page-14400pt.pdf")
        steps += Steps{{ZoomIn, 29}, {ZoomOut, 1}}; // refused by the render budget
    for (const auto &step : steps) {
        for (int i = 0; i < step.second; ++i) {
            QVERIFY2(automation.key(step.first, left()), after("no answer").constData());
            const QString now = automation.boxText(left());
            QVERIFY2(!now.isNull(), after("the viewer stopped answering").constData());
            QVERIFY2(now.isEmpty(), qPrintable("a box during navigation: " + now));
        }
    }

    QVERIFY(automation.key(Close, left()));
    QVERIFY2(viewer.waitForFinished(left()), after("no exit").constData());
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), 0);
    output += viewer.readAllStandardOutput();
    QCOMPARE(output.count("Document is "), failed ? 1 : 0);
    qInfo("%s: %s, %lld ms after the start, %lld ms with it", qPrintable(entry.name),
          failed ? "failure box" : "shown", clock.elapsed(), waited.elapsed());
}

void TestHostileBinary::cleanup()
{
    viewer.kill();
    viewer.waitForFinished();
}

QTEST_MAIN(TestHostileBinary)
#include "tst_hostile_binary.moc"
