#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"
#include "paintcounter.h"
#include "profilefreedirectory.h"
#include "testdocuments.h"

#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

// Softkey slots by name, or a scroll bar and the action it reports ("vertical 3"), or its slider
// being let go ("vertical release").
void command(PDFViewer &viewer, const QString &what)
{
    const QStringList words = what.split(' ');
    if (words.size() == 1) {
        QVERIFY(QMetaObject::invokeMethod(&viewer, qPrintable("on_" + what + "_clicked")));
        return;
    }

    auto *bar = viewer.findChild<QScrollBar *>(words[0] + "ScrollBar");
    if (words[1] == "release") {
        bar->setSliderDown(true);
        bar->setSliderDown(false);
    } else {
        bar->triggerAction(QAbstractSlider::SliderAction(words[1].toInt()));
    }
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(directory.enter());
        // Landscape pages keep both bars on screen at every zoom step used here.
        landscape = TestDocuments::writeRawPdf(directory.filePath("landscape.pdf"),
                                               {{843, 594}, {843, 594}, {843, 594}});
        QVERIFY(!landscape.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("after"); // page index, x, y, resolution
        QTest::addColumn<QString>("focus");

        // From page index 1 at x 96, y 48, 48 dpi. The image is 562 pixels wide in a view of
        // 353: 1 column, so a slider unit is 49 pixels; a page step takes the slider from 2 to
        // an end of its range 0..4.
        const QString close = "closeButton", vertical = "verticalScrollBar",
                      horizontal = "horizontalScrollBar";
        const QString unmoved = "1 96 48 48";
        QTest::newRow("down") << "downButton" << true << "1 96 96 48" << vertical;
        QTest::newRow("left") << "leftButton" << true << "1 48 48 48" << horizontal;
        QTest::newRow("zoom in") << "zommInButton" << true << "1 96 48 58" << close;
        QTest::newRow("zoom out") << "zoomOutButton" << true << "1 96 48 38" << close;
        QTest::newRow("vertical arrow down") << "vertical 1" << true << "1 96 96 48" << vertical;
        QTest::newRow("trough below") << "vertical 3" << true << "2 96 0 48" << vertical;
        QTest::newRow("trough above") << "vertical 4" << true << "0 96 0 48" << vertical;
        QTest::newRow("vertical drag") << "vertical 7" << true << unmoved << vertical;
        QTest::newRow("vertical release") << "vertical release" << true << "1 96 0 48" << close;
        QTest::newRow("horizontal arrow right")
            << "horizontal 1" << true << "1 144 48 48" << horizontal;
        QTest::newRow("trough right") << "horizontal 3" << true << "1 196 48 48" << horizontal;
        QTest::newRow("horizontal to maximum") << "horizontal 6" << true << unmoved << horizontal;
        QTest::newRow("horizontal release")
            << "horizontal release" << true << "1 98 48 48" << close;
        // Nothing moves and nothing is painted while the window has no document of its own.
        for (const char *name :
             {"downButton", "vertical 3", "vertical release", "horizontal 1", "horizontal release"})
            QTest::addRow("%s without document", name) << name << false << unmoved << close;
    }

    void commands()
    {
        QFETCH(QString, command);
        QFETCH(bool, loaded);
        QFETCH(QString, after);
        QFETCH(QString, focus);

        PDFViewer viewer(nullptr, true);
        static_cast<QWidget &>(viewer).show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        auto *view = viewer.findChild<PDFWidget *>("pdfWidget");
        // Loaded straight into the page view, the window still counts as empty.
        if (loaded)
            viewer.initWithFile(landscape.toLocal8Bit().constData());
        else
            QVERIFY(view->loadDocument(landscape));
        view->gotoPage(1);
        view->scrollDown();
        view->scrollRight();
        view->scrollRight();
        viewer.findChild<QPushButton *>("closeButton")->setFocus();
        PaintCounter paints(view);
        QCoreApplication::processEvents();
        paints.count = 0;

        ::command(viewer, command);
        const QString state = QStringLiteral("%1 %2 %3 %4")
                                  .arg(view->pageIndex)
                                  .arg(view->xOffset)
                                  .arg(view->yOffset)
                                  .arg(view->resolution);
        QCOMPARE(state, after);
        // A command paints before it returns, so the page is on screen before the next key.
        QCOMPARE(paints.count > 0, after != "1 96 48 48");
        QCOMPARE(viewer.focusWidget()->objectName(), focus);
    }

private:
    ProfileFreeDirectory directory;
    QString landscape;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
