#include "testdocuments.h"
#include "viewersession.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

// A document named on the command line, read, scrolled and paged through as a device user
// would: touches on the softkeys and hardware keys, checked on the screen itself.
class DocumentsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstPageScrollAndPageTurn();
    void keyActsOnRelease();
    void missingFileIsReportedAndViewerGoesOn();

private:
    bool startWithDocument(ViewerSession &session);

    QTemporaryDir folder;
    QString document;
    QImage firstPage;
    QImage secondPage;
};

namespace {

// Default device: two side frames, so the page view sits between the columns with both scroll
// bars shown for a ten-page A4 document (its page is wider than the view).
const QRect pageArea(52, 0, 353, 257);
// Third softkey of the right column.
const QPoint downSoftkey(428 + 25, 148 + 25);
// At the default 48 dots per inch the scroll step is 48 pixels.
const int step = 48;

bool showsPage(const QImage &shot, const QImage &page, int yOffset)
{
    return Pixels::matchRatio(shot, pageArea, page, QPoint(0, yOffset)) > 0.99;
}

} // namespace

void DocumentsTest::initTestCase()
{
    QVERIFY(folder.isValid());
    document = TestDocuments::writeA4Document(folder.filePath(QStringLiteral("ten.pdf")), 10);
    QVERIFY(!document.isEmpty());
    firstPage = renderPdfPage(document, 0, 48.0);
    secondPage = renderPdfPage(document, 1, 48.0);
    QVERIFY(!firstPage.isNull() && !secondPage.isNull());
    QVERIFY(firstPage != secondPage);
}

bool DocumentsTest::startWithDocument(ViewerSession &session)
{
    return session.start({QStringLiteral("-f"), document}) && session.waitForWindow();
}

void DocumentsTest::firstPageScrollAndPageTurn()
{
    ViewerSession session;
    QVERIFY2(startWithDocument(session), qPrintable(session.error()));
    const QImage shown =
        session.waitForShot([&](const QImage &shot) { return showsPage(shot, firstPage, 0); });
    QVERIFY2(!shown.isNull(), "page 1 never appeared in the page view");
    QVERIFY(Pixels::countDarker(shown, pageArea, 64) > 1000);

    // The page turns on the first step that would show more than one step of empty space
    // below the page.
    int turn = 1;
    while (pageArea.height() + turn * step <= firstPage.height() + step)
        ++turn;

    for (int click = 1; click < turn; ++click) {
        QVERIFY2(session.click(downSoftkey), qPrintable(session.error()));
        QVERIFY2(!session
                      .waitForShot([&](const QImage &shot) {
                          return showsPage(shot, firstPage, click * step);
                      })
                      .isNull(),
                 qPrintable(QStringLiteral("click %1 did not scroll by one step").arg(click)));
    }

    // Page 2 of 10: the overlay sits 5 pixels from the view's right edge, moved down by a tenth
    // of the view's height less its own size.
    const QRect overlay(pageArea.x() + pageArea.width() - 75, 15 + (pageArea.height() - 38) / 10,
                        70, 25);
    const QRect firstPagePlace(overlay.x(), 15, overlay.width(), overlay.y() - 15);
    const QRgb overlayGrey = qRgb(212, 212, 212); // light grey at alpha 200 over white paper
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    QVERIFY2(session.click(downSoftkey), qPrintable(session.error()));
    const QImage turned = session.waitForShot(
        [&](const QImage &shot) {
            return Pixels::countNear(shot, overlay, overlayGrey, 6) > overlay.width() * 8;
        },
        900);
    QVERIFY2(!turned.isNull(), "no page-number overlay within the first second");
    ViewerSession::keepShot(turned, QStringLiteral("page-turn.png"));
    QVERIFY(Pixels::countDarker(turned, overlay, 100) > 20); // its text
    QVERIFY(Pixels::matchRatio(turned, firstPagePlace, secondPage,
                               firstPagePlace.topLeft() - pageArea.topLeft()) > 0.95);
    QRect below(pageArea.x(), overlay.bottom() + 1, pageArea.width(), 100);
    QVERIFY(Pixels::matchRatio(turned, below, secondPage, below.topLeft() - pageArea.topLeft()) >
            0.99);

    const QImage hidden = session.waitForShot(
        [&](const QImage &shot) { return showsPage(shot, secondPage, 0); }, 4000);
    QVERIFY2(!hidden.isNull(), "the overlay did not go away");
    QVERIFY2(sinceTurn.elapsed() >= 900,
             qPrintable(QStringLiteral("gone after %1 ms").arg(sinceTurn.elapsed())));

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
}

void DocumentsTest::keyActsOnRelease()
{
    ViewerSession session;
    QVERIFY2(startWithDocument(session), qPrintable(session.error()));
    QVERIFY(!session.waitForShot([&](const QImage &shot) { return showsPage(shot, firstPage, 0); })
                 .isNull());

    QVERIFY(session.keyDown(QStringLiteral("F3")));
    // Nothing may happen while the key is held; there is no event to wait for, only time.
    QTest::qWait(400);
    QVERIFY(showsPage(session.windowShot(), firstPage, 0));
    QVERIFY(session.keyUp(QStringLiteral("F3")));
    QVERIFY(
        !session.waitForShot([&](const QImage &shot) { return showsPage(shot, firstPage, step); })
             .isNull());

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
}

void DocumentsTest::missingFileIsReportedAndViewerGoesOn()
{
    const QString missing = folder.filePath(QStringLiteral("gone.pdf"));
    ViewerSession session;
    QVERIFY2(session.start({QStringLiteral("-f"), missing}), qPrintable(session.error()));
    QVERIFY2(session.waitForWindow(), qPrintable(session.error()));

    const QString opening =
        QStringLiteral("PDFViewer::initWithFile(%1): File not found. Opening message box.")
            .arg(missing);
    const QString done =
        QStringLiteral("PDFViewer::initWithFile(%1): File not found. Done with message box.")
            .arg(missing);
    QVERIFY2(session.waitForLine(opening), qPrintable(session.error()));
    QVERIFY2(session.waitForWindowCount(2), qPrintable(session.error()));
    // The box waits for the user: nothing more is printed while it is open.
    QTest::qWait(300);
    QVERIFY(!session.output().contains(done));

    QStringList windows = session.visibleWindows();
    windows.removeAll(session.windowId());
    QCOMPARE(windows.size(), 1);
    QVERIFY(session.key(QStringLiteral("Return"), windows.first()));
    QVERIFY2(session.waitForLine(done), qPrintable(session.error()));
    QVERIFY2(session.waitForWindowCount(1), qPrintable(session.error()));
    QVERIFY(session.isRunning());

    const QStringList expected = {
        "Arguments: 3",
        "page-scope evaluating arg 'f' with value '" + missing + "'.",
        "Using config file b7s.conf",
        "Opening b7s.conf FAILED! Using default B7 config!",
        opening,
        done,
    };
    QCOMPARE(session.output(), expected);

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
}

QTEST_MAIN(DocumentsTest)
#include "tst_e2e_documents.moc"
