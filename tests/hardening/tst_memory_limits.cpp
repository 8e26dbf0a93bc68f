#include "hostiledocuments.h"
#include "memorycgrouplimit.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QtTest>

// The real viewer in a memory cgroup of a small device's size (made as root), zoomed to the
// highest resolution by its zoom-in key: a page that fits must be shown there, in bands where a
// whole render would not fit, and the viewer must stay alive. Under an address-space cap the
// same is checked in tst_renderbudget, in the test's own process.
class TestMemoryLimits : public QObject
{
    Q_OBJECT

private slots:
    void transparencyPageInCgroup_data();
    void transparencyPageInCgroup();
};

void TestMemoryLimits::transparencyPageInCgroup_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("cgroup v1") << 1;
    QTest::newRow("cgroup v2") << 2;
}

void TestMemoryLimits::transparencyPageInCgroup()
{
    QFETCH(int, version);
    MemoryCgroupLimit cgroup(version, 160 * 1024 * 1024);
    if (!cgroup.isValid())
        QSKIP(qPrintable(cgroup.error()));
    QTemporaryDir dir;
    QVERIFY(!HostileDocuments::writeAll(dir.path()).isEmpty());
    ViewerProcess viewer(qEnvironmentVariable("PAGE_SCOPE_PLUGIN_DIR"), false);
    viewer.setLaunchPrefix(cgroup.shellPrefix());
    QVERIFY2(viewer.startWithAutomation({"-f", dir.filePath("transparency-stack.pdf")}),
             qPrintable(viewer.error()));
    QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));

    // 48 to 300 dpi, ten a key, each step answered before the next.
    const auto errors = [&] { return viewer.errorLines().join('\n').toLocal8Bit(); };
    for (int step = 0; step < 26; ++step)
        QVERIFY2(viewer.request({{"cmd", "key"}, {"key", Qt::Key_F7}, {"action", "click"}})
                         .value("ok")
                         .toBool() &&
                     !viewer.widgets().isEmpty(),
                 errors().constData());
    QVERIFY(!cgroup.killedForMemory());
    // Wider than the view, so the horizontal bar is up, and more than one colour.
    QVERIFY(!viewer.widget("horizontalScrollBar").isEmpty());
    const QImage view = viewer.grab("pdfWidget").convertToFormat(QImage::Format_ARGB32);
    QImage flat(view.size(), view.format());
    flat.fill(view.isNull() ? 0 : view.pixel(0, 0));
    QVERIFY2(!view.isNull() && view != flat, errors().constData());
    QVERIFY2(
        !viewer.errorLines().filter("page-scope: page 1 at 300 dpi rendered in bands").isEmpty(),
        errors().constData());
    QVERIFY(viewer.request({{"cmd", "key"}, {"key", Qt::Key_F8}}).value("ok").toBool());
    QCOMPARE(viewer.waitForExit(), 0);
}

QTEST_MAIN(TestMemoryLimits)
#include "tst_memory_limits.moc"
