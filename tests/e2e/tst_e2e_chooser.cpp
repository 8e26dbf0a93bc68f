#include "testdocuments.h"
#include "viewersession.h"

#include <QTemporaryDir>
#include <QtTest>

// The open key brings up the file chooser over the main window; the hardware keys walk the
// tree and pick another document, or cancel and keep the one shown.
class ChooserTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pickNextDocument();
    void cancelKeepsDocument();

private:
    bool startOnFirstDocument(ViewerSession &session);
    bool openChooser(ViewerSession &session);

    QTemporaryDir folder;
    QString first;
    QString second;
    QImage firstPage;
    QImage secondPage;
};

namespace {

// Default device: the page view between the two softkey columns.
const QRect pageArea(52, 0, 353, 257);
// Between the first two slots of the left column, where the chooser's grey panel shows through
// and the main window shows its own lighter background.
const QRect leftColumnGap(0, 55, 50, 15);
// The tree view between the chooser's softkey columns.
const QRect treeArea(50, 0, 380, 272);

bool showsPage(const QImage &shot, const QImage &page)
{
    return Pixels::matchRatio(shot, pageArea, page, QPoint(0, 0)) > 0.99;
}

bool chooserShown(const QImage &shot)
{
    return Pixels::countNear(shot, leftColumnGap, qRgb(200, 200, 200), 2) ==
           leftColumnGap.width() * leftColumnGap.height();
}

} // namespace

void ChooserTest::initTestCase()
{
    QVERIFY(folder.isValid());
    // Different page counts and different drawings, so that the first pages differ plainly.
    first = TestDocuments::writeA4Document(folder.filePath(QStringLiteral("a.pdf")), 3);
    const QSizeF a4(595, 842);
    second = TestDocuments::writeRawPdf(folder.filePath(QStringLiteral("b.pdf")), {a4, a4});
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    firstPage = renderPdfPage(first, 0, 48.0);
    secondPage = renderPdfPage(second, 0, 48.0);
    QVERIFY(!firstPage.isNull() && !secondPage.isNull());
    QVERIFY(Pixels::matchRatio(firstPage, QRect(QPoint(0, 0), pageArea.size()), secondPage,
                               QPoint(0, 0)) < 0.9);
}

bool ChooserTest::startOnFirstDocument(ViewerSession &session)
{
    return session.start({QStringLiteral("-o"), QStringLiteral("-f"), first}) &&
           session.waitForWindow() &&
           !session.waitForShot([&](const QImage &shot) { return showsPage(shot, firstPage); })
                .isNull();
}

bool ChooserTest::openChooser(ViewerSession &session)
{
    if (!session.key(QStringLiteral("F1")) || session.waitForShot(chooserShown).isNull())
        return false;
    // The tree fills in from a background reader and scrolls to the current document half a
    // second after it appears: wait until it holds still.
    QImage previous;
    return ViewerSession::waitUntil([&] {
        QTest::qWait(300);
        const QImage shot = session.windowShot().copy(treeArea);
        const bool still = shot == previous;
        previous = shot;
        return still;
    });
}

void ChooserTest::pickNextDocument()
{
    ViewerSession session;
    QVERIFY2(startOnFirstDocument(session), qPrintable(session.error()));
    QVERIFY2(openChooser(session), qPrintable(session.error()));
    // Frameless device: the chooser is a child of the main window, not a window of its own.
    QCOMPARE(session.visibleWindows().size(), 1);
    ViewerSession::keepShot(session.windowShot(), QStringLiteral("chooser.png"));

    // The current document is selected; down moves the selection to the next entry.
    const QImage before = session.windowShot().copy(treeArea);
    QVERIFY(session.key(QStringLiteral("F3")));
    QVERIFY2(!session.waitForShot([&](const QImage &shot) { return shot.copy(treeArea) != before; })
                  .isNull(),
             "the selection did not move");
    const int linesBefore = session.output().size();
    QVERIFY(session.key(QStringLiteral("F1")));
    QVERIFY2(session.waitForLine(second), qPrintable(session.error()));
    QCOMPARE(session.output().mid(linesBefore), QStringList{second});

    QVERIFY2(!session
                  .waitForShot([&](const QImage &shot) {
                      return !chooserShown(shot) && showsPage(shot, secondPage);
                  })
                  .isNull(),
             "the chosen document's first page is not shown");

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
}

void ChooserTest::cancelKeepsDocument()
{
    ViewerSession session;
    QVERIFY2(startOnFirstDocument(session), qPrintable(session.error()));
    const int linesBefore = session.output().size();
    QVERIFY2(openChooser(session), qPrintable(session.error()));

    // F8 is the close key: in the chooser it cancels, and only a second one quits.
    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(!session
                  .waitForShot([&](const QImage &shot) {
                      return !chooserShown(shot) && showsPage(shot, firstPage);
                  })
                  .isNull(),
             "the first document is not back after cancelling");
    QVERIFY(session.isRunning());
    QCOMPARE(session.output().size(), linesBefore);

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
}

QTEST_MAIN(ChooserTest)
#include "tst_e2e_chooser.moc"
