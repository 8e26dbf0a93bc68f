#include "config/deviceconfig.h"
#include "openpage.h"
#include "pageview/pdfwidget.h"
#include "pageviewframe.h"
#include "testdocuments.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

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

    void zoom_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<bool>("in");
        QTest::addColumn<QList<double>>("resolutions");
        // The default resolution steps up above 499 and above 800 pixels of window width.
        QList<double> up;
        for (double r = 58; r <= 298; r += 10)
            up << r;
        QTest::newRow("in from 48 at 499") << 499 << true << (up << 300 << 300);
        // 18 - 10 is not above the floor of 10.
        QTest::newRow("out from 48 at 480") << 480 << false << QList<double>{38, 28, 18, 10, 10};
        QTest::newRow("out from 80 at 500")
            << 500 << false << QList<double>{70, 60, 50, 40, 30, 20, 10, 10};
        QTest::newRow("in from 80 at 800") << 800 << true << QList<double>{90};
        QTest::newRow("in from 100 at 801") << 801 << true << QList<double>{110};
    }

    void zoom()
    {
        QFETCH(int, windowWidth);
        QFETCH(bool, in);
        QFETCH(QList<double>, resolutions);
        deviceConfig.windowWidth = windowWidth;
        // Two inches wide, so the image is twice the resolution wide.
        PageViewFrame frame;
        QVERIFY(frame.open(pages(QSizeF(144, 144))));
        for (const double expected : resolutions) {
            in ? frame.view->zoomIn() : frame.view->zoomOut();
            QCOMPARE(frame.view->resolution, expected);
            QCOMPARE(frame.view->image->width(), int(2 * expected));
        }
        // The scroll step is the resolution: one step up opens a band that high above the page.
        frame.view->scrollUp();
        QCOMPARE(frame.view->yOffset, -int(resolutions.last()));
    }

    void horizontal_data()
    {
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("bars"); // shown on opening
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("horizontalMaximum");
        // R, L, + (zoom in), - (zoom out), or P and a slider position.
        QTest::addColumn<QStringList>("moves");
        QTest::addColumn<QList<int>>("offsets");
        QTest::addColumn<QList<int>>("sliderPositions"); // none: not compared
        const auto row = [](const char *name, const QSizeF &page, int count, const char *bars,
                            const QSize &size, int maximum, const QStringList &moves = {},
                            const QList<int> &offsets = {}, const QList<int> &positions = {}) {
            QTest::newRow(name) << page << count << QString(bars) << size << maximum << moves
                                << offsets << positions;
        };
        // At 48 dpi: 534 x 66 and 200 x 100 pixels.
        row("horizontal only", QSizeF(801, 99), 1, "h", QSize(367, 251), 3);
        row("many short pages", QSizeF(300, 150), 10, "v", QSize(352, 266), 0);
        // 562 pixels in a view 352 wide: 210 to scroll, 1 column, so 49 pixels per slider unit;
        // 48 / 49 + 0.5 is 1.48, while 18 / 49 + 0.5 going left truncates to 0.
        row("landscape", QSizeF(843, 594), 1, "vh", QSize(352, 251), 4,
            {"R", "R", "R", "R", "R", "R", "L", "L", "L", "L", "P2", "P5", "P-1"},
            {48, 96, 144, 192, 210, 210, 162, 114, 66, 18, 98, 210, 0},
            {1, 2, 3, 4, 4, 4, 3, 2, 1, 0, 0, 0, 0});
        // 362 pixels: 10 to scroll, still one slider unit.
        row("wider by under half a step", QSizeF(543, 600), 1, "vh", QSize(352, 251), 1, {"R", "L"},
            {10, 0}, {1, 0});
        // Zooming out of an image that already fits keeps it at the left edge.
        row("not wider", QSizeF(300, 600), 1, "v", QSize(352, 266), 0, {"R", "P3", "L", "-"},
            {0, 0, 0, 0}, {0, 0, 0, 0});
        // 367 x 251 pixels, the view's own size before the bars are placed: no bar is needed.
        row("exactly the view's size", QSizeF(550.5, 376.5), 1, "", QSize(367, 266), 0);
        // Zooming out keeps the offset within the previous image; the next step clamps to the
        // new. 12 inches: 696 pixels wide at 58 dpi, 576 at 48, in a view 352 wide; 6.5 inches:
        // 377 and 312, so the smaller image fits and the bar goes. Going left, 176 / 49 + 0.5
        // rounds up to 4.
        row("zoom out past the smaller image's edge", QSizeF(864, 594), 1, "vh", QSize(352, 251), 5,
            {"+", "R", "R", "R", "R", "R", "R", "-", "R", "L"},
            {0, 58, 116, 174, 232, 290, 344, 344, 224, 176}, {0, 1, 2, 3, 4, 5, 6, 5, 5, 4});
        row("zoom out past the edge of a smaller image that fits", QSizeF(468, 594), 1, "v",
            QSize(352, 266), 0, {"+", "R", "-", "R"}, {0, 25, 25, 0});
    }

    void horizontal()
    {
        QFETCH(QSizeF, page);
        QFETCH(int, count);
        QFETCH(QString, bars);
        QFETCH(QSize, size);
        QFETCH(int, horizontalMaximum);
        QFETCH(QStringList, moves);
        QFETCH(QList<int>, offsets);
        QFETCH(QList<int>, sliderPositions);
        PageViewFrame frame;
        QVERIFY(frame.open(pages(page, count)));
        QCOMPARE(frame.view->geometry(), QRect(QPoint(56, 2), size));
        QCOMPARE(QString(frame.vertical->isHidden() ? "" : "v") +
                     (frame.horizontal->isHidden() ? "" : "h"),
                 bars);
        QCOMPARE(frame.vertical->maximum(), count - 1);
        QCOMPARE(frame.horizontal->isHidden() ? 0 : frame.horizontal->maximum(), horizontalMaximum);
        for (int i = 0; i < moves.size(); ++i) {
            const QString &move = moves.at(i);
            if (move == "R")
                frame.view->scrollRight();
            else if (move == "L")
                frame.view->scrollLeft();
            else if (move == "+")
                frame.view->zoomIn();
            else if (move == "-")
                frame.view->zoomOut();
            else
                frame.view->setHorizontalPosition(move.mid(1).toInt());
            QCOMPARE(frame.view->xOffset, offsets.at(i));
            if (!sliderPositions.isEmpty())
                QCOMPARE(frame.horizontal->sliderPosition(), sliderPositions.at(i));
        }
    }

    void vertical_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("moves");  // D or U and a count, N, P, or G and a page index
        QTest::addColumn<QStringList>("places"); // page index and y offset after each move
        // An A4 page is 561 pixels high in a view of 251: seven steps of 48, the last into the
        // band below; the eighth goes to the next page, except on the last page.
        QTest::newRow("down") << tenA4 << QStringList{"D1", "D6", "D1", "G9", "D8", "N"}
                              << QStringList{"0 48", "0 336", "1 0", "9 0", "9 336", "9 0"};
        // 539 pixels high: at 336 the view ends exactly one step below the page, which is not
        // yet past it.
        QTest::newRow("down to exactly one step below")
            << pages(QSizeF(594, 808.5), 2) << QStringList{"D7", "D1"}
            << QStringList{"0 336", "1 0"};
        // Up from the top opens a band of one step; the next step shows the page before at the
        // offset of the page being left, which is its bottom only when both are as high: here
        // 280 - 251, though the page before is 562 pixels high.
        QTest::newRow("up, previous page taller")
            << TestDocuments::writeRawPdf(dir.filePath("heights.pdf"),
                                          {QSizeF(594, 843), QSizeF(594, 420)})
            << QStringList{"G1", "U1", "U1", "P"} << QStringList{"1 0", "1 -48", "0 29", "0 0"};
        QTest::newRow("up, first page")
            << tenA4 << QStringList{"U1", "U1", "P"} << QStringList{"0 -48", "0 0", "0 0"};
    }

    void vertical()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, moves);
        QFETCH(QStringList, places);
        PageViewFrame frame;
        QVERIFY(frame.open(path));
        PDFWidget *view = frame.view;
        // The sideways position carries over from page to page.
        view->scrollRight();
        const int x = view->xOffset;
        for (int i = 0; i < moves.size(); ++i) {
            const QChar move = moves.at(i).at(0);
            const int number = moves.at(i).mid(1).toInt();
            for (int n = 0; n < number && (move == 'D' || move == 'U'); ++n)
                move == 'D' ? view->scrollDown() : view->scrollUp();
            if (move == 'N')
                view->nextPage();
            else if (move == 'P')
                view->previousPage();
            else if (move == 'G')
                view->gotoPage(number);
            QCOMPARE(QStringLiteral("%1 %2").arg(view->pageIndex).arg(view->yOffset), places.at(i));
            QCOMPARE(frame.vertical->value(), view->pageIndex);
            QCOMPARE(view->xOffset, x);
        }
    }

    void overlayHidesOneSecondAfterLastChange()
    {
        PageViewFrame frame;
        QVERIFY(frame.open(tenA4));
        QLabel *label = frame.view->pageNumberLabel;
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 3000);
        QElapsedTimer clock;
        clock.start();
        // Scrolled onto the next page: the overlay walks down the right edge as the number grows.
        for (int i = 0; i < 8; ++i)
            frame.view->scrollDown();
        QCOMPARE(label->text(), QStringLiteral("2 / 10"));
        QCOMPARE(label->geometry(), QRect(277, 15 + (251 - 38) / 10, 70, 25));
        QVERIFY(!label->isHidden());
        QTest::qWait(600);
        frame.view->nextPage();
        const qint64 last = clock.elapsed();
        QCOMPARE(label->geometry(), QRect(277, 15 + 2 * (251 - 38) / 10, 70, 25));
        // The second change starts the second afresh. Read from the timer, not from a wait,
        // which a loaded machine could stretch past it.
        QVERIFY2(!label->isHidden() && frame.view->pageNumberTimer->remainingTime() > 900,
                 "the second change did not start the second afresh");
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 3000);
        // A coarse timer may fire up to 5 % early; a loaded machine may see it late, but not as
        // late as a timer of two seconds.
        QVERIFY(clock.elapsed() - last >= 940 && clock.elapsed() - last < 1900);
    }

    // Pixel for pixel what Poppler's Splash gives with antialiased text at the resolution (the
    // look a tester checks the viewer's pages against), painted at the view's offsets.
    void paintsPopplersSplashRenderAtOffsets()
    {
        PageViewFrame frame;
        QVERIFY(frame.open(tenA4));
        const OpenPage reference = openPage(tenA4);
        QVERIFY(reference.page);
        PDFWidget *view = frame.view;
        QCOMPARE(*view->image, reference.page->renderToImage(48, 48));
        // 397 pixels wide in a view of 352: the step right stops at 45.
        view->scrollRight();
        view->scrollUp();
        // The widget's own painting only: no background, no page-number overlay.
        QImage painted(view->size(), QImage::Format_ARGB32_Premultiplied), expected(painted);
        painted.fill(Qt::transparent);
        expected.fill(Qt::transparent);
        view->render(&painted, QPoint(), QRegion(), QWidget::RenderFlags());
        QPainter(&expected).drawImage(QPoint(-45, 48), *view->image);
        QCOMPARE(painted, expected);
    }
};

QTEST_MAIN(TestPdfWidget)
#include "tst_pdfwidget.moc"
