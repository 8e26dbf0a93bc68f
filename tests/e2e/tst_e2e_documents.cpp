#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QtTest>

// A document named on the command line, moved with a real touch on a softkey and real hardware
// keys; each must change what the page view shows.
class TestE2EDocuments : public QObject
{
    Q_OBJECT

private slots:
    void softkeyAndKeysMoveThePage();
};

void TestE2EDocuments::softkeyAndKeysMoveThePage()
{
    QTemporaryDir folder;
    const QString document = TestDocuments::writeA4Document(folder.filePath("ten.pdf"), 10);
    QVERIFY(!document.isEmpty());
    ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
    QVERIFY2(viewer.startWithAutomation({"-f", document}), qPrintable(viewer.error()));
    QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));

    const auto changesPage = [&](auto send) {
        const QImage before = viewer.grab("pdfWidget");
        return send() && QTest::qWaitFor([&] { return viewer.grab("pdfWidget") != before; });
    };
    const QPoint down = ViewerProcess::geometry(viewer.widget("downButton")).center();
    QVERIFY2(changesPage([&] { return viewer.xClick(down); }), "the down softkey did not scroll");
    QVERIFY2(changesPage([&] { return viewer.xKey("F3"); }), "the down key did not scroll");
    QVERIFY2(changesPage([&] { return viewer.xKey("F7"); }), "the zoom-in key did not zoom");

    QVERIFY(viewer.xKey("F8"));
    QCOMPARE(viewer.waitForExit(), 0);
}

QTEST_MAIN(TestE2EDocuments)
#include "tst_e2e_documents.moc"
