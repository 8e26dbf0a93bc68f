#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "paintcounter.h"
#include "testdocuments.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class PDFViewerTestAccess
{
public:
    static bool &documentLoaded(PDFViewer &viewer) { return viewer.documentLoaded; }
};

namespace {

// The main window on screen with its default device layout, the page view and its bars.
struct Screen
{
    PDFViewer viewer{nullptr, true};
    PDFWidget *view = viewer.findChild<PDFWidget *>(QStringLiteral("pdfWidget"));
    QScrollBar *horizontal = viewer.findChild<QScrollBar *>(QStringLiteral("horizontalScrollBar"));
    QScrollBar *vertical = viewer.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
    QPushButton *close = viewer.findChild<QPushButton *>(QStringLiteral("closeButton"));
    ModalCloser closer;

    // Shown without the first-show signal, so no file is opened behind the test's back.
    bool show()
    {
        static_cast<QWidget &>(viewer).show();
        return QTest::qWaitForWindowExposed(&viewer);
    }

    // Focus on a widget that no command moves it to, and pending paints done, so that whatever
    // happens next is the command's own doing.
    void settle(PaintCounter &paints)
    {
        close->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        paints.count = 0;
    }

    bool invoke(const QByteArray &slot, int action = -1)
    {
        return action < 0
                   ? QMetaObject::invokeMethod(&viewer, slot.constData())
                   : QMetaObject::invokeMethod(&viewer, slot.constData(), Q_ARG(int, action));
    }
};

// As the bar itself reports a click or a drag; values beyond the bar's own actions go to the
// slot directly.
void trigger(QScrollBar *bar, int action)
{
    if (action <= QAbstractSlider::SliderMove) {
        bar->triggerAction(QAbstractSlider::SliderAction(action));
        return;
    }
    const QByteArray slot = "on_" + bar->objectName().toLatin1() + "_actionTriggered";
    QVERIFY(QMetaObject::invokeMethod(bar->window(), slot.constData(), Q_ARG(int, action)));
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        tenA4 = TestDocuments::writeA4Document(dir.filePath(QStringLiteral("ten.pdf")), 10);
        landscape =
            TestDocuments::writeRawPdf(dir.filePath(QStringLiteral("landscape.pdf")),
                                       {QSizeF(843, 594), QSizeF(843, 594), QSizeF(843, 594)});
        QVERIFY(!tenA4.isEmpty() && !landscape.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    void nothingWithoutDocument_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<int>("action");
        for (const char *slot :
             {"on_zommInButton_clicked", "on_zoomOutButton_clicked", "on_leftButton_clicked",
              "on_rightButton_clicked", "on_upButton_clicked", "on_downButton_clicked",
              "on_verticalScrollBar_sliderReleased", "on_horizontalScrollBar_sliderReleased"})
            QTest::newRow(slot) << QByteArray(slot) << -1;
        for (int action = 1; action <= 4; ++action) {
            QTest::addRow("vertical action %d", action)
                << QByteArray("on_verticalScrollBar_actionTriggered") << action;
            QTest::addRow("horizontal action %d", action)
                << QByteArray("on_horizontalScrollBar_actionTriggered") << action;
        }
    }

    void nothingWithoutDocument()
    {
        QFETCH(QByteArray, slot);
        QFETCH(int, action);
        Screen screen;
        QVERIFY(screen.show());
        // A document in the page view, but the window has not marked one as loaded.
        PDFWidget *view = screen.view;
        QVERIFY(view->loadDocument(landscape));
        view->gotoPage(1);
        view->scrollDown();
        view->scrollRight();
        PaintCounter paints(view);
        screen.settle(paints);
        const QList<double> before{view->resolution, double(view->pageIndex), double(view->xOffset),
                                   double(view->yOffset)};

        QVERIFY(screen.invoke(slot, action));
        QCOMPARE(paints.count, 0);
        QCOMPARE(screen.viewer.focusWidget(), screen.close);
        QCOMPARE(QList<double>({view->resolution, double(view->pageIndex), double(view->xOffset),
                                double(view->yOffset)}),
                 before);
    }

    void verticalActions_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("y");
        // From page 5 (index 4), one step down.
        QTest::newRow("1 single step add") << 1 << 4 << 96;
        QTest::newRow("2 single step sub") << 2 << 4 << 0;
        QTest::newRow("3 page step add") << 3 << 5 << 0;
        QTest::newRow("4 page step sub") << 4 << 3 << 0;
        for (int action : {0, 5, 6, 7, 42})
            QTest::addRow("%d none", action) << action << 4 << 48;
    }

    void verticalActions()
    {
        QFETCH(int, action);
        QFETCH(int, page);
        QFETCH(int, y);
        Screen screen;
        QVERIFY(screen.show());
        screen.viewer.initWithFile(tenA4.toLocal8Bit().constData());
        screen.view->gotoPage(4);
        screen.view->scrollDown();
        PaintCounter paints(screen.view);
        screen.settle(paints);

        trigger(screen.vertical, action);
        QCOMPARE(screen.view->pageIndex, page);
        QCOMPARE(screen.view->yOffset, y);
        QCOMPARE(paints.count > 0, action >= 1 && action <= 4);
        QCOMPARE(screen.viewer.focusWidget(), screen.vertical);
    }

    void horizontalActions_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("x");
        // From x 96 with the slider put at 3 of 0..4; a 562 pixel image over 353 is 1 column, so a
        // slider unit is 49 pixels. A page step of 10 takes the slider to either end of the range
        // before the bar's value follows.
        QTest::newRow("1 single step add") << 1 << 144;
        QTest::newRow("2 single step sub") << 2 << 48;
        QTest::newRow("3 page step add") << 3 << 196;
        QTest::newRow("4 page step sub") << 4 << 0;
        for (int action : {0, 5, 6, 7, 42})
            QTest::addRow("%d none", action) << action << 96;
    }

    void horizontalActions()
    {
        QFETCH(int, action);
        QFETCH(int, x);
        Screen screen;
        QVERIFY(screen.show());
        screen.viewer.initWithFile(landscape.toLocal8Bit().constData());
        QCOMPARE(screen.view->width(), 353);
        screen.view->scrollRight();
        screen.view->scrollRight();
        screen.horizontal->setSliderPosition(3);
        PaintCounter paints(screen.view);
        screen.settle(paints);

        trigger(screen.horizontal, action);
        QCOMPARE(screen.view->xOffset, x);
        QCOMPARE(paints.count > 0, action >= 1 && action <= 4);
        QCOMPARE(screen.viewer.focusWidget(), screen.horizontal);
    }

    void focusAfterCommands_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<QString>("focus");
        QTest::newRow("left") << QByteArray("on_leftButton_clicked") << "horizontalScrollBar";
        QTest::newRow("right") << QByteArray("on_rightButton_clicked") << "horizontalScrollBar";
        QTest::newRow("up") << QByteArray("on_upButton_clicked") << "verticalScrollBar";
        QTest::newRow("down") << QByteArray("on_downButton_clicked") << "verticalScrollBar";
        QTest::newRow("zoom in") << QByteArray("on_zommInButton_clicked") << "closeButton";
        QTest::newRow("zoom out") << QByteArray("on_zoomOutButton_clicked") << "closeButton";
        QTest::newRow("vertical release")
            << QByteArray("on_verticalScrollBar_sliderReleased") << "closeButton";
        QTest::newRow("horizontal release")
            << QByteArray("on_horizontalScrollBar_sliderReleased") << "closeButton";
    }

    void focusAfterCommands()
    {
        QFETCH(QByteArray, slot);
        QFETCH(QString, focus);
        Screen screen;
        QVERIFY(screen.show());
        // Landscape pages keep both bars on screen at every zoom step used here.
        screen.viewer.initWithFile(landscape.toLocal8Bit().constData());
        screen.view->gotoPage(1);
        screen.view->scrollDown();
        PaintCounter paints(screen.view);
        screen.settle(paints);

        QVERIFY(screen.invoke(slot));
        QVERIFY(!screen.horizontal->isHidden() && !screen.vertical->isHidden());
        QVERIFY(paints.count > 0);
        QCOMPARE(screen.viewer.focusWidget()->objectName(), focus);
    }

    void barSignalsReachSlots()
    {
        Screen screen;
        QVERIFY(screen.show());
        PDFWidget *view = screen.view;
        screen.viewer.initWithFile(tenA4.toLocal8Bit().constData());
        QVERIFY(PDFViewerTestAccess::documentLoaded(screen.viewer));
        view->gotoPage(3);
        view->scrollDown();
        view->scrollDown();
        view->scrollRight();
        const int x = view->xOffset;
        view->hidePageNumberWidget();
        PaintCounter paints(view);
        screen.settle(paints);

        // Letting go of the slider on the page shown reloads it from its top.
        screen.vertical->setSliderDown(true);
        screen.vertical->setSliderDown(false);
        QCOMPARE(view->pageIndex, 3);
        QCOMPARE(view->yOffset, 0);
        QCOMPARE(view->xOffset, x);
        QVERIFY(!view->pageNumberLabel->isHidden());
        QCOMPARE(view->pageNumberLabel->text(), QStringLiteral("4 / 10"));
        QVERIFY(paints.count > 0);

        screen.vertical->setValue(7);
        screen.vertical->setSliderDown(true);
        screen.vertical->setSliderDown(false);
        QCOMPARE(view->pageIndex, 7);

        // Trough clicks above and below the slider.
        screen.vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(view->pageIndex, 6);
        screen.vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
        screen.vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(view->pageIndex, 8);
        QCOMPARE(screen.vertical->value(), 8);

        screen.horizontal->setValue(0);
        screen.horizontal->setSliderDown(true);
        screen.horizontal->setSliderDown(false);
        QCOMPARE(view->xOffset, 0);
    }

private:
    QTemporaryDir dir;
    QString tenA4;
    QString landscape;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
