#include "config/deviceconfig.h"
#include "openpage.h"
#include "pageview/pdfwidget.h"
#include "pageviewframe.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

class TestPdfWidget : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString tenA4;

    // Sizes in points; multiples of 3 render to whole pixels at 48 dpi (two thirds of a point).
    QString pages(const QSizeF &size, int count = 1)
    {
        const QString name = QStringLiteral("%1x%2-%3.pdf").arg(size.width()).arg(size.height());
        return TestDocuments::writeRawPdf(dir.filePath(name.arg(count)),
                                          QVector<QSizeF>(count, size).toList());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        tenA4 = TestDocuments::writeA4Document(dir.filePath("ten.pdf"), 10);
        QVERIFY(!tenA4.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    // R, L, D and U step right, left, down and up, + and - zoom, a count after them repeats the
    // step; N and P turn the page; G goes to a page index and S to a horizontal slider position;
    // O opens the document again.
    void moves_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("opened"); // bars shown, view size, bar maxima
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QStringList>("places"); // page, x, y, slider, resolution
        const auto row = [](const char *name, const QString &path, const char *opened,
                            const QStringList &moves = {}, const QStringList &places = {},
                            int windowWidth = 480) {
            QTest::newRow(name) << windowWidth << path << QString(opened) << moves << places;
        };
        // The default resolution steps up above 499 and above 800 pixels of window width; the
        // step is the resolution, 10 dpi a zoom step between 10 and 300.
        const QString square = pages(QSizeF(144, 144));
        row("zoom in from 48 at 499", square, " 367x266 0 0", {"+", "+24", "+", "+", "U"},
            {"0 0 0 0 58", "0 0 0 0 298", "0 0 0 0 300", "0 0 0 0 300", "0 0 -300 0 300"}, 499);
        // 18 - 10 is not above the floor of 10.
        row("zoom out from 48 at 480", square, " 367x266 0 0", {"-", "-", "-", "-", "-", "U"},
            {"0 0 0 0 38", "0 0 0 0 28", "0 0 0 0 18", "0 0 0 0 10", "0 0 0 0 10", "0 0 -10 0 10"});
        row("zoom out from 80 at 500", square, " 367x266 0 0", {"-", "-5", "-", "-"},
            {"0 0 0 0 70", "0 0 0 0 20", "0 0 0 0 10", "0 0 0 0 10"}, 500);
        row("zoom in from 80 at 800", square, " 367x266 0 0", {"+"}, {"0 0 0 0 90"}, 800);
        row("zoom in from 100 at 801", square, " 367x266 0 0", {"+"}, {"0 0 0 0 110"}, 801);
        // At 48 dpi: 534 x 66 and 200 x 100 pixels.
        row("horizontal only", pages(QSizeF(801, 99)), "h 367x251 0 3");
        row("many short pages", pages(QSizeF(300, 150), 10), "v 352x266 9 0");
        // 562 pixels in a view 352 wide: 210 to scroll, 1 column, so 49 pixels per slider unit;
        // 48 / 49 + 0.5 is 1.48, while 18 / 49 + 0.5 going left truncates to 0.
        row("landscape", pages(QSizeF(843, 594)), "vh 352x251 0 4",
            {"R", "R", "R", "R", "R", "R", "L", "L", "L", "L", "S2", "S5", "S-1"},
            {"0 48 0 1 48", "0 96 0 2 48", "0 144 0 3 48", "0 192 0 4 48", "0 210 0 4 48",
             "0 210 0 4 48", "0 162 0 3 48", "0 114 0 2 48", "0 66 0 1 48", "0 18 0 0 48",
             "0 98 0 0 48", "0 210 0 0 48", "0 0 0 0 48"});
        // 362 pixels: 10 to scroll, still one slider unit.
        row("wider by under half a step", pages(QSizeF(543, 600)), "vh 352x251 0 1", {"R", "L"},
            {"0 10 0 1 48", "0 0 0 0 48"});
        // Zooming out of an image that already fits keeps it at the left edge.
        row("not wider", pages(QSizeF(300, 600)), "v 352x266 0 0", {"R", "S3", "L", "-"},
            {"0 0 0 0 48", "0 0 0 0 48", "0 0 0 0 48", "0 0 0 0 38"});
        // 367 x 251 pixels, the view's own size before the bars are placed: no bar is needed.
        row("exactly the view's size", pages(QSizeF(550.5, 376.5)), " 367x266 0 0");
        // Zooming out keeps the offset within the previous image; the next step clamps to the
        // new. 12 inches: 696 and 576 pixels wide at 58 and 48 dpi; 6.5 inches: 377 and 312, so
        // the smaller image fits and the bar goes. Going left, 176 / 49 + 0.5 rounds up to 4.
        row("zoom out past the smaller image's edge", pages(QSizeF(864, 594)), "vh 352x251 0 5",
            {"+", "R", "R", "R", "R", "R", "R", "-", "R", "L"},
            {"0 0 0 0 58", "0 58 0 1 58", "0 116 0 2 58", "0 174 0 3 58", "0 232 0 4 58",
             "0 290 0 5 58", "0 344 0 6 58", "0 344 0 5 48", "0 224 0 5 48", "0 176 0 4 48"});
        row("zoom out past the edge of a smaller image that fits", pages(QSizeF(468, 594)),
            "v 352x266 0 0", {"+", "R", "-", "R"},
            {"0 0 0 0 58", "0 25 0 1 58", "0 25 0 1 48", "0 0 0 0 48"});
        // An A4 page is 561 pixels high in a view of 251: seven steps of 48, the last into the
        // band below; the eighth goes to the next page, except on the last page. The sideways
        // position carries over from page to page; opening the document again resets it, the page
        // and the zoom.
        row("down", tenA4, "vh 352x251 9 1", {"R", "D", "D6", "D", "G9", "D8", "N", "U", "+", "O"},
            {"0 45 0 1 48", "0 45 48 1 48", "0 45 336 1 48", "1 45 0 1 48", "9 45 0 1 48",
             "9 45 336 1 48", "9 45 0 1 48", "9 45 -48 1 48", "9 45 -48 1 58", "0 0 0 1 48"});
        // 539 pixels high: at 336 the view ends exactly one step below the page, which is not
        // yet past it.
        row("down to exactly one step below", pages(QSizeF(594, 808.5), 2), "vh 352x251 1 1",
            {"D7", "D"}, {"0 0 336 0 48", "1 0 0 0 48"});
        // Up from the top opens a band of one step; the next step shows the page before at the
        // offset of the page being left, which is its bottom only when both are as high: here
        // 280 - 251, though the page before is 562 pixels high. On the first page it stays.
        row("up", TestDocuments::writeRawPdf(dir.filePath("heights.pdf"), {{594, 843}, {594, 420}}),
            "vh 352x251 1 1", {"G1", "U", "U", "P", "U", "U"},
            {"1 0 0 0 48", "1 0 -48 0 48", "0 0 29 0 48", "0 0 0 0 48", "0 0 -48 0 48",
             "0 0 0 0 48"});
    }

    void moves()
    {
        QFETCH(int, windowWidth);
        QFETCH(QString, path);
        QFETCH(QString, opened);
        QFETCH(QStringList, moves);
        QFETCH(QStringList, places);
        deviceConfig.windowWidth = windowWidth;
        PageViewFrame frame;
        QVERIFY(frame.open(path));
        PDFWidget *view = frame.view;
        QCOMPARE(view->pos(), QPoint(56, 2));
        QCOMPARE(QString::asprintf("%s%s %dx%d %d %d", frame.vertical->isHidden() ? "" : "v",
                                   frame.horizontal->isHidden() ? "" : "h", view->width(),
                                   view->height(), frame.vertical->maximum(),
                                   frame.horizontal->isHidden() ? 0 : frame.horizontal->maximum()),
                 opened);
        const QMap<QChar, void (PDFWidget::*)()> steps = {
            {'R', &PDFWidget::scrollRight}, {'L', &PDFWidget::scrollLeft},
            {'D', &PDFWidget::scrollDown},  {'U', &PDFWidget::scrollUp},
            {'+', &PDFWidget::zoomIn},      {'-', &PDFWidget::zoomOut},
            {'N', &PDFWidget::nextPage},    {'P', &PDFWidget::previousPage}};
        for (int i = 0; i < moves.size(); ++i) {
            const QChar move = moves.at(i).at(0);
            const int number = moves.at(i).mid(1).toInt();
            if (move == 'G')
                view->gotoPage(number);
            else if (move == 'S')
                view->setHorizontalPosition(number);
            else if (move == 'O')
                QVERIFY(frame.open(path));
            for (int n = 0; n < qMax(1, number) && steps.contains(move); ++n)
                (view->*steps.value(move))();
            QCOMPARE(QString::asprintf("%d %d %d %d %g", view->pageIndex, view->xOffset,
                                       view->yOffset, frame.horizontal->sliderPosition(),
                                       view->resolution),
                     places.at(i));
            QCOMPARE(frame.vertical->value(), view->pageIndex);
        }
        // Pixel for pixel Poppler's render, the look testers check against, at the view's offsets.
        const OpenPage reference = openPage(path, view->pageIndex);
        QVERIFY(reference.page);
        QCOMPARE(*view->image, reference.page->renderToImage(view->resolution, view->resolution));
        // The widget's own painting only: no background, no page-number overlay.
        QImage painted(view->size(), QImage::Format_ARGB32_Premultiplied), expected(painted);
        painted.fill(Qt::transparent);
        expected.fill(Qt::transparent);
        view->render(&painted, QPoint(), QRegion(), QWidget::RenderFlags());
        QPainter(&expected).drawImage(QPoint(-view->xOffset, -view->yOffset), *view->image);
        QCOMPARE(painted, expected);
    }

    void overlayHidesOneSecondAfterLastChange()
    {
        PageViewFrame frame;
        QVERIFY(frame.open(tenA4));
        QLabel *label = frame.view->pageNumberLabel;
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 3000);
        // Scrolled onto the next page: the overlay walks down the right edge as the number grows.
        for (int i = 0; i < 8; ++i)
            frame.view->scrollDown();
        QCOMPARE(label->text(), QStringLiteral("2 / 10"));
        QCOMPARE(label->geometry(), QRect(277, 15 + (251 - 38) / 10, 70, 25));
        QVERIFY(!label->isHidden());
        QTest::qWait(600);
        frame.view->gotoPage(9);
        QElapsedTimer sinceLast;
        sinceLast.start();
        QCOMPARE(label->geometry(), QRect(277, 15 + 9 * (251 - 38) / 10, 70, 25));
        // The second change starts the second afresh, read from the timer: a loaded machine could
        // stretch a wait past it. A coarse timer may be set up to 5 % late.
        const int left = frame.view->pageNumberTimer->remainingTime();
        QVERIFY2(!label->isHidden() && left > 900 && left <= 1050,
                 "the second change did not start one second afresh");
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 3000);
        // A coarse timer may fire up to 5 % early; a loaded machine may see it late, but not as
        // late as a timer of two seconds.
        QVERIFY(sinceLast.elapsed() >= 940 && sinceLast.elapsed() < 1900);
    }

    // A page that cannot be fetched, or no document to fetch it from, is reported on standard
    // output, where a tester reads it; a page move without a document says nothing.
    void pageFetchFailuresAreReported()
    {
        PageViewFrame frame;
        {
            StdoutCapture printed;
            frame.view->nextPage();
            frame.view->previousPage();
            QCOMPARE(printed.lines(), QStringList{"Error! document zero!"});
        }
        StdoutCapture printed;
        QVERIFY(frame.open(TestDocuments::writeRawPdf(dir.filePath("no-pages.pdf"), {})));
        QCOMPARE(printed.lines(), QStringList{"Error: Page is 0"});
        QCOMPARE(frame.view->pageNumberLabel->text(), QStringLiteral("1 / 0"));
        // Ends the burst of Poppler's messages that the open began, which the next test counts.
        QCoreApplication::processEvents();
    }

    // After many renders the document is read again while the user pauses, but only from the file
    // that was read: another one put in its place under the name is for the user to open.
    void fileReplacedUnderTheViewIsNotReadAgain()
    {
        PageViewFrame frame;
        const QString path = dir.filePath("replaced.pdf");
        QVERIFY(QFile::copy(pages(QSizeF(144, 144), 2), path) && frame.open(path));
        QVERIFY(QFile::remove(path) && QFile::copy(pages(QSizeF(144, 144)), path));
        for (int i = 0; i < 200; ++i)
            frame.view->renderPage();
        QTest::qWait(1500);
        QCOMPARE(frame.view->document->numPages(), 2);
    }

    // Poppler reports an unknown operator each time a render meets it: a page of a thousand
    // must not write a thousand lines at every render, and what is not shown is counted.
    void popplerMessagesAreCountedNotRepeated()
    {
        const QString noisy = TestDocuments::writeRawPdf(dir.filePath("noisy.pdf"), {{144, 144}},
                                                         QByteArray("zork\n").repeated(1000));
        static int reports;
        reports = 0;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) {
                reports += message.contains(QLatin1String("zork"));
            });
        QTemporaryFile errors;
        QVERIFY(errors.open());
        std::fflush(stderr);
        const int standardError = dup(STDERR_FILENO);
        dup2(errors.handle(), STDERR_FILENO);
        bool opened;
        {
            PageViewFrame frame;
            opened = frame.open(noisy);
            QCoreApplication::processEvents();
            frame.view->zoomIn();
            QCoreApplication::processEvents();
        }
        std::fflush(stderr);
        dup2(standardError, STDERR_FILENO);
        close(standardError);
        qInstallMessageHandler(previous);
        QVERIFY(opened);
        QCOMPARE(reports, 20);
        QFile written(errors.fileName());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(),
                 QByteArray("page-scope: 990 more messages from Poppler not shown\n").repeated(2));
    }
};

QTEST_MAIN(TestPdfWidget)
#include "tst_pdfwidget.moc"
