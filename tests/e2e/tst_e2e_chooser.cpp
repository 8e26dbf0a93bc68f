#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QtTest>

// The open key brings up the file chooser over the main window; real hardware keys cancel it,
// or walk the tree and pick another document.
class TestE2EChooser : public QObject
{
    Q_OBJECT

private slots:
    void cancelThenPickNextDocument();
};

namespace {

// The chooser has a cancel softkey; the main window has none.
bool chooserShown(ViewerProcess &viewer)
{
    return !viewer.widget("cancelButton").isEmpty();
}

// The tree fills in from a background reader and selects the current document a moment after
// the chooser appears; keys sent before that would act on no selection.
bool openChooser(ViewerProcess &viewer)
{
    if (!viewer.xKey("F1") || !QTest::qWaitFor([&] { return chooserShown(viewer); }))
        return false;
    QImage previous;
    return QTest::qWaitFor([&] {
        QTest::qWait(300);
        const QImage shot = viewer.grab();
        return std::exchange(previous, shot) == shot;
    });
}

} // namespace

void TestE2EChooser::cancelThenPickNextDocument()
{
    QTemporaryDir folder;
    const QString first = TestDocuments::writeA4Document(folder.filePath("a.pdf"), 3);
    const QString second = TestDocuments::writeA4Document(folder.filePath("b.pdf"), 2);
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
    QVERIFY2(viewer.startWithAutomation({"-o", "-f", first}), qPrintable(viewer.error()));
    QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));

    // The close key cancels the chooser; only a second one would quit.
    QVERIFY2(openChooser(viewer), qPrintable(viewer.error()));
    const int printed = viewer.lines().size();
    QVERIFY(viewer.xKey("F8"));
    QVERIFY2(QTest::qWaitFor([&] { return !chooserShown(viewer); }), "F8 did not cancel");
    QVERIFY(viewer.isRunning());
    QCOMPARE(viewer.lines().size(), printed);

    // The current document is selected; down moves to the next entry and open picks it. The
    // page number of the new document shows for a second.
    QVERIFY2(openChooser(viewer), qPrintable(viewer.error()));
    QVERIFY(viewer.xKey("F3"));
    QVERIFY(viewer.xKey("F1"));
    QVERIFY2(viewer.waitForLine(second), qPrintable(viewer.error()));
    QVERIFY2(QTest::qWaitFor([&] { return !viewer.widget(QString(), "1 / 2").isEmpty(); }),
             "the chosen document is not shown");
    QVERIFY(!chooserShown(viewer));

    QVERIFY(viewer.xKey("F8"));
    QCOMPARE(viewer.waitForExit(), 0);
}

QTEST_MAIN(TestE2EChooser)
#include "tst_e2e_chooser.moc"
