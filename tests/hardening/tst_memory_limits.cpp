#include "hostiledocuments.h"
#include "memorycgrouplimit.h"
#include "sanitizerruntime.h"
#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

// The real viewer under the limits of a small device, zoomed to the highest resolution by its
// zoom-in key: a page that fits must be shown there, in bands where a whole render would not
// fit, and the viewer must stay alive.
namespace {

constexpr qint64 MiB = 1024 * 1024;

// The peak of a process's address space in bytes, or -1.
qint64 addressSpacePeak(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmPeak:"))
                return line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// Zooms a started viewer from 48 to 300 dpi, each key answered before the next. The page must be
// shown there, wider than the view (the horizontal bar is up and the view shows more than one
// colour), and in bands; the viewer must quit normally.
void zoomsToTheEndInBands(ViewerProcess &viewer, const MemoryCgroupLimit *cgroup = nullptr)
{
    QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));
    const auto errors = [&] {
        return viewer.errorLines().join('\n').toLocal8Bit() +
               (cgroup && cgroup->killedForMemory() ? "\nkilled for memory" : "");
    };
    for (int step = 0; step < 26; ++step) {
        const QJsonObject key{{"cmd", "key"}, {"key", Qt::Key_F7}, {"action", "click"}};
        QVERIFY2(viewer.request(key).value("ok").toBool() && !viewer.widgets().isEmpty(),
                 errors().constData());
    }
    QVERIFY2(!viewer.widget("horizontalScrollBar").isEmpty(), errors().constData());
    const QImage view = viewer.grab("pdfWidget");
    bool coloured = false;
    for (int y = 0; y < view.height() && !coloured; ++y)
        for (int x = 0; x < view.width() && !coloured; ++x)
            coloured = view.pixel(x, y) != view.pixel(0, 0);
    QVERIFY2(coloured, errors().constData());
    QVERIFY2(
        !viewer.errorLines().filter("page-scope: page 1 at 300 dpi rendered in bands").isEmpty(),
        errors().constData());
    QVERIFY(viewer.request({{"cmd", "key"}, {"key", Qt::Key_F8}}).value("ok").toBool());
    QCOMPARE(viewer.waitForExit(), 0);
}

} // namespace

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

    // A whole render at 300 dpi needs 250 MiB by the budget's estimate; so bands it must be.
    void a4PageUnderCapAboveOwnPeak()
    {
        if (underSanitizers())
            QSKIP(
                "the sanitizers reserve terabytes of address space; no cap can be set under them");
        const QStringList arguments = {"-f", dir.filePath("a4-text.pdf")};
        qint64 ownPeak = 0;
        {
            ViewerProcess viewer(pluginDirectory, false);
            QVERIFY2(viewer.startWithAutomation(arguments), qPrintable(viewer.error()));
            QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));
            ownPeak = addressSpacePeak(viewer.processId());
            QVERIFY(ownPeak > 0);
        }

        ViewerProcess viewer(pluginDirectory, false);
        const qint64 capKb = (ownPeak + 96 * MiB) / 1024;
        viewer.setLaunchPrefix(QString("ulimit -v %1 && ").arg(capKb));
        QVERIFY2(viewer.startWithAutomation(arguments), qPrintable(viewer.error()));
        struct rlimit limit;
        if (prlimit(pid_t(viewer.processId()), RLIMIT_AS, nullptr, &limit) != 0 ||
            limit.rlim_cur != rlim_t(capKb) * 1024)
            QSKIP("the address-space cap does not take effect here");
        zoomsToTheEndInBands(viewer);
    }

    void transparencyPageInCgroup()
    {
        // In a cgroup the viewer lowers its address-space limit while it renders, and the
        // sanitizers' allocator, which reserves terabytes, then runs out of memory.
        if (underSanitizers())
            QSKIP("under the sanitizers a memory limit measures them, not the viewer");
        MemoryCgroupLimit cgroup(160 * MiB);
        if (!cgroup.isValid())
            QSKIP(qPrintable(cgroup.error()));
        ViewerProcess viewer(pluginDirectory, false);
        viewer.setLaunchPrefix(cgroup.shellPrefix());
        QVERIFY2(viewer.startWithAutomation({"-f", dir.filePath("transparency-stack.pdf")}),
                 qPrintable(viewer.error()));
        zoomsToTheEndInBands(viewer, &cgroup);
    }
};

QTEST_MAIN(TestMemoryLimits)
#include "tst_memory_limits.moc"
