#include "base/procstatus.h"
#include "hostiledocuments.h"
#include "memorycgrouplimit.h"
#include "sanitizerruntime.h"
#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <memory>

// The real viewer under a small device's limits, zoomed in to 300 dpi: a page that fits is shown
// there, in bands where a whole render would not fit, and the viewer stays alive; so it does
// where its chooser meets a folder larger than the room, and a document too large to open or
// rewritten so under it.
class TestMemoryLimits : public QObject
{
    Q_OBJECT

    const QString pluginDirectory = qEnvironmentVariable("PAGE_SCOPE_PLUGIN_DIR");
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(!TestDocuments::writeA4Document(dir.filePath("a4-text.pdf"), 1).isEmpty());
        QVERIFY(!HostileDocuments::writeAll(dir.path()).isEmpty());
    }

    void zoomsToTheEndInBands_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cgroupMiB"); // 0: an address-space cap 96 MiB above its own peak
        // A whole render at 300 dpi needs 250 MiB by the budget's estimate; so bands it must be.
        QTest::newRow("A4 text, capped address space") << "a4-text.pdf" << 0;
        QTest::newRow("transparency, 160 MiB cgroup") << "transparency-stack.pdf" << 160;
    }

    void zoomsToTheEndInBands()
    {
        QFETCH(QString, file);
        QFETCH(int, cgroupMiB);
        if (underSanitizers())
            QSKIP("under the sanitizers a memory limit measures them, not the viewer");
        const QStringList arguments = {"-f", dir.filePath(file)};
        ViewerProcess viewer(pluginDirectory, false);
        const auto cgroup = MemoryCgroupLimit::forViewer(viewer, cgroupMiB);
        if (cgroup && !cgroup->isValid())
            QSKIP(qPrintable(cgroup->error()));
        const qint64 capKb = cgroup ? 0 : capAboveOwnPeak(viewer, arguments, 96);
        QVERIFY(cgroup || capKb > 0);
        QVERIFY2(viewer.startWithAutomation(arguments), qPrintable(viewer.error()));
        if (capKb && !capTookEffect(viewer, capKb))
            QSKIP("the address-space cap does not take effect here");
        QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));

        const auto errors = [&] {
            return viewer.errorLines().join('\n').toLocal8Bit() +
                   (cgroup && cgroup->killedForMemory() ? "\nkilled for memory" : "");
        };
        for (int step = 0; step < 26; ++step)
            QVERIFY2(viewer.key(Qt::Key_F7) && !viewer.widgets().isEmpty(), errors().constData());
        // Wider than the view: the horizontal bar is up and the view shows more than one colour.
        QVERIFY2(!viewer.widget("horizontalScrollBar").isEmpty(), errors().constData());
        const QImage view = viewer.grab("pdfWidget");
        QImage flat(view.size(), view.format());
        flat.fill(view.pixel(0, 0));
        QVERIFY2(view != flat, errors().constData());
        QVERIFY2(!viewer.errorLines()
                      .filter("page-scope: page 1 at 300 dpi rendered in bands")
                      .isEmpty(),
                 errors().constData());
        QVERIFY(viewer.key(Qt::Key_F8));
        QCOMPARE(viewer.waitForExit(), 0);
    }

    // Qt's model keeps every entry that the chooser lists, some 20 MiB for 20,000 files: in a
    // cgroup with less room than that, the kernel ended the viewer while the chooser listed them.
    void chooserLeavesAFolderBeyondItsRoomUnlisted()
    {
        if (underSanitizers())
            QSKIP("under the sanitizers a memory limit measures them, not the viewer");
        QTemporaryDir folder;
        const QString document = TestDocuments::writeA4Document(folder.filePath("a.pdf"), 1);
        QVERIFY(!document.isEmpty());
        for (int i = 0; i < 20000; ++i)
            QVERIFY(QFile(folder.filePath(QString("%1.pdf").arg(i))).open(QIODevice::WriteOnly));
        ViewerProcess viewer(pluginDirectory, false);
        const auto cgroup = MemoryCgroupLimit::forViewer(viewer, 256);
        if (!cgroup->isValid())
            QSKIP(qPrintable(cgroup->error()));
        QVERIFY2(viewer.startWithAutomation({"-o", "-f", document}) && viewer.waitForDocument(),
                 qPrintable(viewer.error()));
        QTest::qWait(1000); // the model's first read of the root folder, after the page
        QVERIFY(cgroup->leaveRoom(4 * 1024 * 1024));

        const QString unlisted = "page-scope: folder " + folder.path() + " not listed for memory";
        const auto refused = [&] { return !viewer.errorLines().filter(unlisted).isEmpty(); };
        QVERIFY2(viewer.key(Qt::Key_F1) && QTest::qWaitFor(refused, 20000),
                 cgroup->killedForMemory() ? "killed for memory" : "the folder was listed");
        QVERIFY(viewer.key(Qt::Key_Escape) && viewer.key(Qt::Key_F8));
        QCOMPARE(viewer.waitForExit(), 0);
    }

    // Poppler makes its cross-reference table as large as the file says, before it reads an
    // object: under a cap that leaves it 64 MiB, a file of 500 bytes that claims 3,000,000
    // objects, 120 MB of table, ended the viewer as it opened it.
    void documentWhoseOpenOutgrowsTheRoomIsNotOpened()
    {
        if (underSanitizers())
            QSKIP("under the sanitizers a memory limit measures them, not the viewer");
        ViewerProcess viewer(pluginDirectory, false);
        const qint64 capKb = capAboveOwnPeak(viewer, {"-f", dir.filePath("a4-text.pdf")}, 64);
        QVERIFY(capKb > 0);
        const QString path = dir.filePath("object-count-3000000.pdf");
        QVERIFY2(viewer.startWithAutomation({"-f", path}), qPrintable(viewer.error()));
        if (!capTookEffect(viewer, capKb))
            QSKIP("the address-space cap does not take effect here");

        const QString failed = "Loading document " + path + " failed!";
        QVERIFY2(
            QTest::qWaitFor([&] { return !viewer.widget("qt_msgbox_label", failed).isEmpty(); }),
            qPrintable(viewer.errorLines().join('\n')));
        QVERIFY(!viewer.errorLines().filter(path + " not opened for memory").isEmpty());
        QVERIFY(viewer.key(Qt::Key_Return) && viewer.key(Qt::Key_F8));
        QCOMPARE(viewer.waitForExit(), 0);
    }

    // Poppler reads the file again at each page, and where the file was rewritten in place it
    // first rebuilds its table, 40 bytes for each object up to the highest number in the file: a
    // rewrite that holds object 3,000,000 ended the viewer in a cgroup at the next page.
    void documentRewrittenBeyondTheRoomIsNotReadAgain()
    {
        if (underSanitizers())
            QSKIP("under the sanitizers a memory limit measures them, not the viewer");
        const QString path = TestDocuments::writeA4Document(dir.filePath("rewritten.pdf"), 2);
        QVERIFY(!path.isEmpty());
        ViewerProcess viewer(pluginDirectory, false);
        const auto cgroup = MemoryCgroupLimit::forViewer(viewer, 100);
        if (!cgroup->isValid())
            QSKIP(qPrintable(cgroup->error()));
        QVERIFY2(viewer.startWithAutomation({"-f", path}) && viewer.waitForDocument(),
                 qPrintable(viewer.error()));
        // In place, with every object moved by one more in front.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray objects = file.readAll();
        QVERIFY(file.seek(0));
        file.write("%PDF-1.4\n3000000 0 obj\n<< >>\nendobj\n" + objects);
        file.close();

        const auto errors = [&] {
            return viewer.errorLines().join('\n').toLocal8Bit() +
                   (cgroup->killedForMemory() ? "\nkilled for memory" : "");
        };
        // The down key scrolls to the page's end first.
        for (int press = 0; press < 12; ++press)
            QVERIFY2(viewer.key(Qt::Key_F3), errors().constData());
        QVERIFY2(viewer.waitForLine("Error: Page is 0"), errors().constData());
        const QString notRead = path + " changed, not read again for memory";
        QVERIFY(QTest::qWaitFor([&] { return !viewer.errorLines().filter(notRead).isEmpty(); }));
        QVERIFY(viewer.key(Qt::Key_F2) && viewer.key(Qt::Key_F8));
        QCOMPARE(viewer.waitForExit(), 0);
    }

private:
    // Sets `viewer` to start under an address-space cap `mebibytes` above the peak of a viewer
    // started with `arguments`; the cap in KiB, 0 where that viewer did not show its document.
    qint64 capAboveOwnPeak(ViewerProcess &viewer, const QStringList &arguments, int mebibytes)
    {
        ViewerProcess unlimited(pluginDirectory, false);
        if (!unlimited.startWithAutomation(arguments) || !unlimited.waitForDocument())
            return 0;
        const qint64 peakKb = statusKib("VmPeak", QByteArray::number(unlimited.processId()));
        if (peakKb <= 0)
            return 0;
        const qint64 capKb = peakKb + mebibytes * 1024;
        viewer.setLaunchPrefix(QString("ulimit -v %1 && ").arg(capKb));
        return capKb;
    }

    static bool capTookEffect(ViewerProcess &viewer, qint64 capKb)
    {
        struct rlimit limit;
        return prlimit(pid_t(viewer.processId()), RLIMIT_AS, nullptr, &limit) == 0 &&
               limit.rlim_cur == rlim_t(capKb) * 1024;
    }
};

QTEST_MAIN(TestMemoryLimits)
#include "tst_memory_limits.moc"
