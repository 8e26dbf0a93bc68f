#include "hostiledocuments.h"
#include "memorycgrouplimit.h"
#include "sanitizerruntime.h"
#include "viewerprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The real viewer on hostile inputs: no crash, no hang, the failure box where one is due. Runs
// under each cap of PAGE_SCOPE_ADDRESS_SPACE_KB (0 for none) and in a memory cgroup of each limit
// of PAGE_SCOPE_MEMORY_CGROUP_MIB; PAGE_SCOPE_HOSTILE_SET=full takes every file through the whole
// zoom range, otherwise one file of each kind at low resolutions.
namespace {

// The failure box's text among the widgets ("" for none), or a null string when the list is
// empty, as when the viewer did not answer.
QString boxText(const QJsonArray &widgets)
{
    QString text = widgets.isEmpty() ? QString() : QLatin1String("");
    for (const QJsonValue &value : widgets)
        if (value.toObject().value("name").toString() == QLatin1String("qt_msgbox_label"))
            text = value.toObject().value("text").toString();
    return text;
}

} // namespace

class TestHostileBinary : public QObject
{
    Q_OBJECT

    const QString pluginDirectory = qEnvironmentVariable("PAGE_SCOPE_PLUGIN_DIR");
    const bool full = qgetenv("PAGE_SCOPE_HOSTILE_SET") == "full";
    QTemporaryDir dir;
    QList<HostileDocuments::Entry> entries;

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(qEnvironmentVariable("PAGE_SCOPE_BINARY")).isExecutable());
        QVERIFY(QFileInfo::exists(pluginDirectory + "/libSquishPlugin.so.1"));
        QVERIFY(dir.isValid());
        entries = HostileDocuments::writeAll(dir.path());
        QVERIFY(!entries.isEmpty());
    }

    void survives_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("capKb");
        QTest::addColumn<int>("cgroupMiB");
        QList<QPair<int, int>> limits; // an address-space cap in KB, or a cgroup's limit in MiB
        for (const QByteArray &cap : qgetenv("PAGE_SCOPE_ADDRESS_SPACE_KB").split(','))
            if (!cap.isEmpty())
                limits.append({cap.toInt(), 0});
        for (const QByteArray &cgroup : qgetenv("PAGE_SCOPE_MEMORY_CGROUP_MIB").split(','))
            if (cgroup.toInt() > 0)
                limits.append({0, cgroup.toInt()});
        const QRegularExpression number(QStringLiteral("-\\d+\\.pdf$"));
        for (const auto &limit : limits) {
            const QString cap = limit.second ? QString("%1 MiB cgroup").arg(limit.second)
                                             : QString("%1 KB").arg(limit.first);
            // The last file of each kind is the most damaged, or the longest, of its kind.
            QSet<QString> kinds;
            for (int i = entries.size() - 1; i >= 0; --i) {
                const QString name = entries.at(i).name;
                const int before = kinds.size();
                kinds.insert(QString(name).remove(number));
                if (full || kinds.size() > before)
                    QTest::addRow("%s, cap %s", qPrintable(name), qPrintable(cap))
                        << i << limit.first << limit.second;
            }
        }
    }

    void survives()
    {
        QFETCH(int, index);
        QFETCH(int, capKb);
        QFETCH(int, cgroupMiB);
        const HostileDocuments::Entry entry = entries.at(index);
        const QString path = dir.filePath(entry.name);

        ViewerProcess viewer(pluginDirectory, false);
        const auto cgroup = MemoryCgroupLimit::forViewer(viewer, cgroupMiB);
        if (cgroup && !cgroup->isValid())
            QSKIP(qPrintable(cgroup->error()));
        if (!cgroup)
            viewer.setLaunchPrefix(
                QString("ulimit -v %1 && ").arg(capKb ? QString::number(capKb) : "unlimited"));
        viewer.discardErrorOutput();
        QVERIFY2(viewer.startWithAutomation({"-f", path}), qPrintable(viewer.error()));

        // A hang is a file that takes longer than its bound from start to exit; a heavy page takes
        // Poppler seconds a step, and through the whole zoom range has eight steps' bound.
        const int stepBoundMs = underSanitizers() ? 4 * 30000 : 30000;
        const int bound = full && entry.heavy ? 8 * stepBoundMs : stepBoundMs;
        QElapsedTimer clock;
        clock.start();
        auto left = [&] { return int(qBound<qint64>(1, bound - clock.elapsed(), stepBoundMs)); };
        // Whether the viewer is gone or only slow tells a crash or a kill from a long render.
        auto after = [&](const char *what) {
            return QByteArray(what) + " after " + QByteArray::number(clock.elapsed()) + " ms" +
                   (viewer.isRunning() ? ", still running" : ", no longer running") +
                   (cgroup && cgroup->killedForMemory() ? ", killed for memory" : "");
        };
        auto key = [&](int code) { return viewer.key(code, left()); };

        // Loaded: the page-number overlay is up (for a second, even without pages).
        bool shown = false;
        QString box;
        while (clock.elapsed() < bound && box.isEmpty() && !shown && viewer.isRunning()) {
            const QJsonArray widgets = viewer.widgets(left());
            box = boxText(widgets);
            shown = ViewerProcess::showsPageNumber(widgets);
        }
        QVERIFY2(!box.isEmpty() || shown, after("neither page nor failure box").constData());
        const bool failed = !box.isEmpty();
        QVERIFY2(failed ? entry.outcome != HostileDocuments::Outcome::Opens
                        : entry.outcome != HostileDocuments::Outcome::Fails,
                 failed ? "the document did not open" : "the document opened, but must not");
        if (failed) {
            QCOMPARE(box, "Loading document " + path + " failed!");
            QVERIFY(key(Qt::Key_Return));
        }

        // F2 up, F3 down, F4 right, F5 left, F6 zoom out, F7 zoom in (10 dpi a step from 48); by
        // default heavy pages only at 48 dpi.
        using Steps = QVector<QPair<int, int>>;
        Steps steps = {
            {Qt::Key_F6, entry.heavy ? 0 : 4}, {Qt::Key_F3, 2}, {Qt::Key_F2, 1}, {Qt::Key_F4, 1}};
        if (full)
            steps = {{Qt::Key_F3, 14}, {Qt::Key_F2, 3},  {Qt::Key_F7, 26},
                     {Qt::Key_F4, 2},  {Qt::Key_F6, 29}, {Qt::Key_F5, 1}};
        // Under limits, to 300 dpi: the huge page is refused by the render budget; the image
        // drawn beyond its page needs far more than the budget foresees, in one allocation.
        else if ((capKb || cgroupMiB) &&
                 (entry.name == "page-14400pt.pdf" || entry.name == "image-beyond-page.pdf"))
            steps += Steps{{Qt::Key_F7, 29}, {Qt::Key_F6, 1}};
        // Keys are queued in the viewer: a widgets request after a key is answered once it is done.
        for (const auto &step : steps) {
            for (int i = 0; i < step.second; ++i) {
                QVERIFY2(key(step.first), after("no answer").constData());
                const QString now = boxText(viewer.widgets(left()));
                QVERIFY2(!now.isNull(), after("the viewer stopped answering").constData());
                QVERIFY2(now.isEmpty(), qPrintable("a box during navigation: " + now));
            }
        }

        QVERIFY(key(Qt::Key_F8));
        const int exitCode = viewer.waitForExit(left());
        QVERIFY(!cgroup || !cgroup->killedForMemory());
        QVERIFY2(exitCode == 0, after("no exit, or not a normal one").constData());
        QCOMPARE(viewer.lines().join('\n').count("Document is "), failed ? 1 : 0);
    }
};

QTEST_MAIN(TestHostileBinary)
#include "tst_hostile_binary.moc"
