#include "config/deviceconfig.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "stdoutcapture.h"
#include "testdocuments.h"
#include "viewpixels.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A page view between its own two scroll bars, with the view fields at their construction
// values: 352 x 251 at (56, 2), bars 15 pixels thick.
struct Frame
{
    QWidget window;
    QScrollBar *horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar *vertical = new QScrollBar(Qt::Vertical, &window);
    PDFWidget *view = new PDFWidget(&window);

    Frame()
    {
        view->horizontalScrollBar = horizontal;
        view->verticalScrollBar = vertical;
        view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);
    }

    // A failing load would wait for its message box; close it so the test fails instead.
    bool open(const QString &path)
    {
        ModalCloser closer;
        return view->loadDocument(path) && closer.closed() == 0;
    }
};

} // namespace

class TestPdfWidget : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString tenA4;
    QString landscape;

    // Sizes in points; multiples of 3 render to whole pixels at 48 dpi (two thirds of a point).
    QString pages(const QSizeF &size, int count)
    {
        const QString path = dir.filePath(
            QStringLiteral("%1x%2-%3.pdf").arg(size.width()).arg(size.height()).arg(count));
        QList<QSizeF> sizes;
        for (int i = 0; i < count; ++i)
            sizes.append(size);
        return QFile::exists(path) ? path : TestDocuments::writeRawPdf(path, sizes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        tenA4 = TestDocuments::writeA4Document(dir.filePath(QStringLiteral("ten.pdf")), 10);
        landscape = pages(QSizeF(843, 594), 3);
        QVERIFY(!tenA4.isEmpty() && !landscape.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    void defaultResolution_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<double>("resolution");
        QTest::newRow("499") << 499 << 48.0;
        QTest::newRow("500") << 500 << 80.0;
        QTest::newRow("800") << 800 << 80.0;
        QTest::newRow("801") << 801 << 100.0;
    }

    void defaultResolution()
    {
        QFETCH(int, windowWidth);
        QFETCH(double, resolution);
        deviceConfig.windowWidth = windowWidth;
        Frame frame;
        QCOMPARE(frame.view->resolution, resolution);
        // Zoom never carries over to the next document.
        QVERIFY(frame.open(landscape));
        frame.view->zoomIn();
        QVERIFY(frame.open(landscape));
        QCOMPARE(frame.view->resolution, resolution);
    }

    void zoomSequence_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<bool>("in");
        QTest::addColumn<QList<double>>("resolutions");
        QList<double> up;
        for (double r = 58; r <= 298; r += 10)
            up << r;
        QTest::newRow("in from 48") << 480 << true << (up << 300 << 300);
        QTest::newRow("out from 48") << 480 << false << QList<double>{38, 28, 18, 10, 10};
        QTest::newRow("out from 80")
            << 600 << false << QList<double>{70, 60, 50, 40, 30, 20, 10, 10};
    }

    void zoomSequence()
    {
        QFETCH(int, windowWidth);
        QFETCH(bool, in);
        QFETCH(QList<double>, resolutions);
        deviceConfig.windowWidth = windowWidth;
        Frame frame;
        PDFWidget *view = frame.view;
        // Two inches wide, so the image is exactly twice the resolution wide.
        QVERIFY(frame.open(pages(QSizeF(144, 144), 1)));
        for (double expected : resolutions) {
            in ? view->zoomIn() : view->zoomOut();
            QCOMPARE(view->resolution, expected);
            QCOMPARE(view->image->width(), int(2 * expected));
        }
        // The scroll step is the resolution: one step up opens a band that high above the page.
        view->scrollUp();
        QCOMPARE(view->yOffset, -int(resolutions.last()));
    }

    void barsAndSize_data()
    {
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("verticalShown");
        QTest::addColumn<bool>("horizontalShown");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("horizontalMaximum");
        // At 48 dpi: 396 x 562, 534 x 66, 200 x 400, 200 x 100, 362 x 400 and 562 x 396.
        QTest::newRow("both") << QSizeF(594, 843) << 10 << true << true << QSize(352, 251) << 1;
        QTest::newRow("horizontal only")
            << QSizeF(801, 99) << 1 << false << true << QSize(367, 251) << 3;
        QTest::newRow("vertical only")
            << QSizeF(300, 600) << 1 << true << false << QSize(352, 266) << 0;
        QTest::newRow("neither") << QSizeF(300, 150) << 1 << false << false << QSize(367, 266) << 0;
        QTest::newRow("many short pages")
            << QSizeF(300, 150) << 10 << true << false << QSize(352, 266) << 0;
        QTest::newRow("wider by less than half a step")
            << QSizeF(543, 600) << 1 << true << true << QSize(352, 251) << 1;
        QTest::newRow("landscape") << QSizeF(843, 594) << 1 << true << true << QSize(352, 251) << 4;
    }

    void barsAndSize()
    {
        QFETCH(QSizeF, page);
        QFETCH(int, count);
        QFETCH(bool, verticalShown);
        QFETCH(bool, horizontalShown);
        QFETCH(QSize, size);
        QFETCH(int, horizontalMaximum);
        Frame frame;
        QVERIFY(frame.open(pages(page, count)));
        QCOMPARE(frame.view->geometry(), QRect(QPoint(56, 2), size));
        QCOMPARE(!frame.vertical->isHidden(), verticalShown);
        QCOMPARE(!frame.horizontal->isHidden(), horizontalShown);
        QCOMPARE(frame.vertical->maximum(), count - 1);
        if (horizontalShown)
            QCOMPARE(frame.horizontal->maximum(), horizontalMaximum);
    }

    void horizontalScrolling_data()
    {
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<QString>("moves");
        QTest::addColumn<QList<int>>("offsets");
        QTest::addColumn<QList<int>>("positions");
        // 562 pixels in a 352 wide view: 210 to scroll, 1 column, so 49 pixels per slider unit;
        // 48 / 49 + 0.5 is 1.48, while 18 / 49 + 0.5 going left truncates to 0.
        QTest::newRow("landscape") << QSizeF(843, 594) << QStringLiteral("RRRRRRLLLLL")
                                   << QList<int>{48, 96, 144, 192, 210, 210, 162, 114, 66, 18, 0}
                                   << QList<int>{1, 2, 3, 4, 4, 4, 3, 2, 1, 0, 0};
        QTest::newRow("wider by less than half a step")
            << QSizeF(543, 600) << QStringLiteral("RL") << QList<int>{10, 0} << QList<int>{1, 0};
        QTest::newRow("not wider")
            << QSizeF(300, 600) << QStringLiteral("RL") << QList<int>{0, 0} << QList<int>{0, 0};
    }

    void horizontalScrolling()
    {
        QFETCH(QSizeF, page);
        QFETCH(QString, moves);
        QFETCH(QList<int>, offsets);
        QFETCH(QList<int>, positions);
        Frame frame;
        QVERIFY(frame.open(pages(page, 1)));
        for (int i = 0; i < moves.size(); ++i) {
            moves.at(i) == QLatin1Char('R') ? frame.view->scrollRight() : frame.view->scrollLeft();
            QCOMPARE(frame.view->xOffset, offsets.at(i));
            QCOMPARE(frame.horizontal->sliderPosition(), positions.at(i));
        }
    }

    void setHorizontalPosition_data()
    {
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<double>("resolution");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("offset");
        QTest::newRow("1 column") << QSizeF(843, 594) << 48.0 << 2 << 98;
        // 1171 pixels over 352: 3 columns, 103 pixels per unit.
        QTest::newRow("3 columns") << QSizeF(843, 594) << 100.0 << 2 << 206;
        QTest::newRow("past the end") << QSizeF(843, 594) << 48.0 << 5 << 210;
        QTest::newRow("negative") << QSizeF(843, 594) << 48.0 << -1 << 0;
        QTest::newRow("not wider") << QSizeF(300, 600) << 48.0 << 3 << 0;
    }

    void setHorizontalPosition()
    {
        QFETCH(QSizeF, page);
        QFETCH(double, resolution);
        QFETCH(int, position);
        QFETCH(int, offset);
        Frame frame;
        QVERIFY(frame.open(pages(page, 1)));
        frame.view->resolution = resolution;
        frame.view->renderPage();
        frame.horizontal->setSliderPosition(1);
        frame.view->setHorizontalPosition(position);
        QCOMPARE(frame.view->xOffset, offset);
        QCOMPARE(frame.horizontal->sliderPosition(), 1);
    }

    void zoomOutClampsAgainstPreviousImage()
    {
        Frame frame;
        PDFWidget *view = frame.view;
        QVERIFY(frame.open(landscape));
        auto end = [view] { return view->image->width() - view->width(); };
        view->zoomIn();
        for (int i = 0; i < 10; ++i)
            view->scrollRight();
        const int end58 = end();
        QCOMPARE(view->xOffset, end58);

        view->zoomOut();
        QCOMPARE(view->xOffset, end58);
        const int end48 = end();
        QVERIFY(view->xOffset > end48); // empty space right of the page until the user scrolls
        view->zoomOut();
        QCOMPARE(view->xOffset, end48);
        view->zoomIn();
        QCOMPARE(view->xOffset, end48);
        view->zoomOut();
        QCOMPARE(view->xOffset, end48);
        const int end38 = end();
        view->zoomOut();
        QCOMPARE(view->xOffset, end38);
        QVERIFY(view->image->width() <= view->width());
        view->zoomOut();
        QCOMPARE(view->xOffset, 0);
    }

    void scrollDownThroughPage()
    {
        Frame frame;
        PDFWidget *view = frame.view;
        QVERIFY(frame.open(tenA4));
        QCOMPARE(view->height(), 251);
        QVERIFY(qAbs(view->imageHeight - 562) <= 1);
        for (int y = 48; y <= 336; y += 48) {
            view->scrollDown();
            QCOMPARE(view->yOffset, y);
            QCOMPARE(view->pageIndex, 0);
        }
        view->hidePageNumberWidget();
        view->scrollDown();
        QCOMPARE(view->pageIndex, 1);
        QCOMPARE(view->yOffset, 0);
        QCOMPARE(frame.vertical->value(), 1);
        QVERIFY(!view->pageNumberLabel->isHidden());
        QCOMPARE(view->pageNumberLabel->text(), QStringLiteral("2 / 10"));

        view->gotoPage(9);
        for (int i = 0; i < 7; ++i)
            view->scrollDown();
        frame.vertical->setValue(3);
        view->scrollDown();
        QCOMPARE(view->yOffset, 336);
        QCOMPARE(view->pageIndex, 9);
        QCOMPARE(frame.vertical->value(), 9);
    }

    void scrollUpAcrossTop_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("start");
        QTest::newRow("previous page of the same height") << tenA4 << 1;
        // 280 pixels high after a page of 562: the offset comes from the page being left.
        QTest::newRow("previous page taller")
            << TestDocuments::writeRawPdf(dir.filePath(QStringLiteral("heights.pdf")),
                                          {QSizeF(594, 843), QSizeF(594, 420)})
            << 1;
        QTest::newRow("first page") << tenA4 << 0;
    }

    void scrollUpAcrossTop()
    {
        QFETCH(QString, path);
        QFETCH(int, start);
        Frame frame;
        PDFWidget *view = frame.view;
        QVERIFY(frame.open(path));
        view->gotoPage(start);
        view->scrollUp();
        QCOMPARE(view->yOffset, -48);
        QCOMPARE(view->pageIndex, start);
        const int bottomOfPageLeft = view->imageHeight - view->height();
        frame.vertical->setValue(5);
        view->scrollUp();
        QCOMPARE(view->pageIndex, qMax(0, start - 1));
        QCOMPARE(view->yOffset, start > 0 ? bottomOfPageLeft : 0);
        QCOMPARE(frame.vertical->value(), view->pageIndex);
    }

    void pageMoves()
    {
        Frame frame;
        PDFWidget *view = frame.view;
        QVERIFY(frame.open(tenA4));
        view->scrollRight();
        const int x = view->xOffset;
        QVERIFY(x > 0);
        view->nextPage();
        QCOMPARE(view->pageIndex, 1);
        QCOMPARE(frame.vertical->value(), 1);

        view->gotoPage(9);
        view->scrollDown();
        view->hidePageNumberWidget();
        view->nextPage();
        QCOMPARE(view->pageIndex, 9);
        QCOMPARE(view->yOffset, 0);
        QVERIFY(!view->pageNumberLabel->isHidden());

        view->gotoPage(0);
        view->scrollDown();
        view->previousPage();
        QCOMPARE(view->pageIndex, 0);
        QCOMPARE(view->yOffset, 0);
        QCOMPARE(view->xOffset, x);
    }

    void overlayGeometry_data()
    {
        QTest::addColumn<QSizeF>("page");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("1 of 1") << QSizeF(300, 600) << 1 << 0 << QRect(277, 15, 70, 25) << "1 / 1";
        QTest::newRow("10 of 10, 266 high")
            << QSizeF(450, 600) << 10 << 9 << QRect(277, 220, 70, 25) << "10 / 10";
        QTest::newRow("3 of 12") << QSizeF(450, 600) << 12 << 2 << QRect(277, 53, 70, 25)
                                 << "3 / 12";
        QTest::newRow("10 of 10, 251 high")
            << QSizeF(594, 843) << 10 << 9 << QRect(277, 206, 70, 25) << "10 / 10";
        QTest::newRow("367 wide") << QSizeF(801, 99) << 1 << 0 << QRect(292, 15, 70, 25) << "1 / 1";
    }

    void overlayGeometry()
    {
        QFETCH(QSizeF, page);
        QFETCH(int, count);
        QFETCH(int, index);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        Frame frame;
        QVERIFY(frame.open(pages(page, count)));
        frame.view->gotoPage(index);
        const QLabel *label = frame.view->pageNumberLabel;
        QCOMPARE(label->geometry(), geometry);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->styleSheet(),
                 QStringLiteral(
                     "QLabel { background-color : rgba(200, 200, 200, 200);; color : black; }"));
        QVERIFY(!label->isHidden());
    }

    void overlayLivesOneSecondAfterLastChange()
    {
        Frame frame;
        PDFWidget *view = frame.view;
        QVERIFY(frame.open(tenA4));
        QLabel *label = view->pageNumberLabel;
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 3000);

        QElapsedTimer clock;
        clock.start();
        view->nextPage();
        QVERIFY(!label->isHidden());
        QTest::qWait(400);
        view->nextPage();
        QTest::qWait(400);
        view->nextPage();
        const qint64 third = clock.elapsed();
        QTest::qWait(400);
        QVERIFY2(!label->isHidden(), "gone one second after the first of three changes");
        QTRY_VERIFY_WITH_TIMEOUT(label->isHidden(), 3000);
        QVERIFY(clock.elapsed() - third >= 940); // a coarse timer may fire up to 5 % early
        QCOMPARE(view->pageNumberLabel, label);
    }

    void paintDrawsImageAtOffsets_data()
    {
        QTest::addColumn<QString>("moves");
        QTest::addColumn<QPoint>("offsets");
        QTest::newRow("origin") << QString() << QPoint(0, 0);
        QTest::newRow("right and down") << QStringLiteral("RRD") << QPoint(96, 48);
        QTest::newRow("band above the page") << QStringLiteral("U") << QPoint(0, -48);
    }

    void paintDrawsImageAtOffsets()
    {
        QFETCH(QString, moves);
        QFETCH(QPoint, offsets);
        Frame frame;
        PDFWidget *view = frame.view;
        QVERIFY(frame.open(landscape));
        for (QChar move : moves)
            move == QLatin1Char('R')   ? view->scrollRight()
            : move == QLatin1Char('D') ? view->scrollDown()
                                       : view->scrollUp();
        QCOMPARE(QPoint(view->xOffset, view->yOffset), offsets);

        const QImage drawn = grabbedPixels(view);
        // Without a file name the widget paints nothing: its bare background.
        const QString path = view->filePath;
        view->filePath.clear();
        QImage expected = grabbedPixels(view);
        QVERIFY(isUniform(expected));
        view->filePath = path;
        QPainter(&expected).drawImage(-offsets, *view->image);
        QVERIFY(!isUniform(drawn));
        QCOMPARE(drawn, expected);
    }

    void documentWithoutPages()
    {
        Frame frame;
        PDFWidget *view = frame.view;
        frame.vertical->setRange(0, 5);
        StdoutCapture out;
        QVERIFY(frame.open(pages(QSizeF(), 0)));
        QCOMPARE(out.lines(), QStringList{"Error: Page is 0"});
        QCOMPARE(frame.vertical->maximum(), 0);
        QCOMPARE(view->pageNumberLabel->text(), QStringLiteral("1 / 0"));
        QCOMPARE(view->pageNumberLabel->y(), 15);

        ModalCloser closer;
        view->nextPage();
        view->previousPage();
        view->gotoPage(0);
        view->scrollDown();
        view->scrollUp();
        view->scrollRight();
        view->zoomIn();
        view->zoomOut();
        QVERIFY(!view->image);
        QCOMPARE(closer.closed(), 0);
        QVERIFY(isUniform(grabbedPixels(view)));
    }

    void operationsWithoutDocument()
    {
        Frame frame;
        PDFWidget *view = frame.view;
        StdoutCapture out;
        view->nextPage();
        view->showPageNumber();
        view->scrollDown();
        view->scrollUp();
        view->scrollRight();
        view->setHorizontalPosition(3);
        QVERIFY(out.lines().isEmpty());
        view->previousPage();
        view->gotoPage(2);
        QCOMPARE(out.lines(), QStringList({"Error! document zero!", "Error! document zero!"}));
        QCOMPARE(QPoint(view->xOffset, view->yOffset), QPoint(0, 0));
        QVERIFY(!view->pageNumberLabel);
    }
};

QTEST_MAIN(TestPdfWidget)
#include "tst_pdfwidget.moc"
