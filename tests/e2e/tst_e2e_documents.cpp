#include "testdocuments.h"
#include "viewerprocess.h"

#include <QTemporaryDir>
#include <QtTest>

// A document named on the command line, scrolled and paged through with a real touch on a
// softkey and real hardware keys.
class DocumentsTest : public QObject
{
    Q_OBJECT

private slots:
    void scrollAndTurnPage();
};

void DocumentsTest::scrollAndTurnPage()
{
    QTemporaryDir folder;
    const QString document =
        TestDocuments::writeA4Document(folder.filePath(QStringLiteral("ten.pdf")), 10);
    QVERIFY(!document.isEmpty());
    ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
    QVERIFY2(viewer.startWithAutomation({"-f", document}), qPrintable(viewer.error()));
    // The scroll bars show once the page, larger than the view, is rendered.
    QVERIFY(QTest::qWaitFor([&] { return !viewer.widget("verticalScrollBar").isEmpty(); }));

    const QImage top = viewer.grab("pdfWidget");
    QVERIFY(viewer.xClick(ViewerProcess::geometry(viewer.widget("downButton")).center()));
    QVERIFY2(QTest::qWaitFor([&] { return viewer.grab("pdfWidget") != top; }),
             "the down softkey did not scroll");

    // Past the bottom edge comes page 2, its number shown over the page for a second.
    const auto pageTwoShown = [&] { return !viewer.widget(QString(), "2 / 10").isEmpty(); };
    bool turned = false;
    for (int press = 0; press < 15 && !turned; ++press) {
        QVERIFY2(viewer.xKey("F3"), qPrintable(viewer.error()));
        turned = QTest::qWaitFor(pageTwoShown, 500);
    }
    QVERIFY2(turned, "the down key never turned the page");
    QVERIFY2(QTest::qWaitFor([&] { return !pageTwoShown(); }, 3000), "the page number stays");

    QVERIFY(viewer.xKey("F8"));
    QCOMPARE(viewer.waitForExit(), 0);
}

QTEST_MAIN(DocumentsTest)
#include "tst_e2e_documents.moc"
