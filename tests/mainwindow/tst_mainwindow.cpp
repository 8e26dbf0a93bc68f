#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "profilefreedirectory.h"
#include "stdoutcapture.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<PDFViewer> makeViewer(bool openButtonEnabled = false)
{
    StdoutCapture quiet;
    return std::make_unique<PDFViewer>(nullptr, openButtonEnabled);
}

// A frame from its first slot to its last: softkeys by name, "-" for a placeholder, and "?" after
// a widget that is not a child of the frame's holder (it would not be drawn there).
QString frameContents(PDFViewer &viewer, const QString &layoutName)
{
    QStringList names;
    const QLayout *layout = viewer.findChild<QLayout *>(layoutName);
    for (int i = 0; i < layout->count(); ++i) {
        const QWidget *widget = layout->itemAt(i)->widget();
        QString name = widget->objectName().isEmpty() ? "-" : widget->objectName().remove("Button");
        names << (widget->parentWidget() == layout->parentWidget() ? name : name + '?');
    }
    return names.join(' ');
}

// Qt reports a negative spacing as the style's; compare with a layout given the same value.
int spacingAsSet(int spacing)
{
    QWidget holder;
    QVBoxLayout layout(&holder);
    layout.setSpacing(spacing);
    return layout.spacing();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { deviceConfig = DeviceConfig::defaults(); }
    // First: only the first show in the process opens the command line's file.
    void firstShowAnnouncedOnce();
    void softkeyLayout_data();
    void softkeyLayout();
    void openSoftkey();
    void frameless_data();
    void frameless();

private:
    ProfileFreeDirectory directory;
};

void TestMainWindow::initTestCase()
{
    if (ProfileFreeDirectory::machineHasPointerFile())
        QSKIP("this machine has a device pointer file, which would override the settings");
    QVERIFY(directory.enter());
}

void TestMainWindow::firstShowAnnouncedOnce()
{
    auto first = makeViewer();
    auto second = makeViewer();
    QSignalSpy firstSpy(first.get(), &PDFViewer::firstShowCalled);
    QSignalSpy secondSpy(second.get(), &PDFViewer::firstShowCalled);
    first->show();
    first->hide();
    first->show();
    second->show();
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(secondSpy.count(), 0);
}

void TestMainWindow::softkeyLayout_data()
{
    QTest::addColumn<bool>("onSide");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("softkeys");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<QRect>("page");
    // Side: right column, left column. Top and bottom: bottom row, top row.
    QTest::addColumn<QRect>("firstHolder");
    QTest::addColumn<QRect>("secondHolder");
    QTest::addColumn<QRect>("verticalBar");
    QTest::addColumn<QRect>("horizontalBar");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QString>("firstFrame");
    QTest::addColumn<QString>("secondFrame");

    const QPoint origin;
    const QRect right(428, 0, 52, 272), left(0, 0, 53, 272), sideBar(413, 0, 15, 272);
    const QRect bottom(0, 211, 480, 61), top(0, 0, 480, 61), topBottomBar(465, 61, 15, 135);
    const QString column = "open up down right", otherColumn = "close zommIn zoomOut left";
    const QString oneColumn = column + " left zoomOut zommIn close";
    const QString row = "right down up open", otherRow = "left zoomOut zommIn close";
    const QString oneRow = "open close zoomOut zommIn up down left right";

    QTest::newRow("side, two frames of 4")
        << true << 2 << 4 << origin << QRect(52, 0, 353, 257) << right << left << sideBar
        << QRect(53, 257, 361, 15) << 24 << column << otherColumn;
    QTest::newRow("side, one frame of 8")
        << true << 1 << 8 << origin << QRect(0, 0, 409, 257) << right << left << sideBar
        << QRect(0, 257, 413, 15) << -18 << oneColumn << "";
    QTest::newRow("top and bottom, two frames of 4")
        << false << 2 << 4 << origin << QRect(0, 61, 465, 135) << bottom << top << topBottomBar
        << QRect(0, 196, 480, 15) << 93 << row << otherRow;
    QTest::newRow("top and bottom, one frame of 8")
        << false << 1 << 8 << origin << QRect(0, 0, 465, 196) << bottom << top << topBottomBar
        << QRect(0, 196, 480, 15) << 11 << oneRow << "";
    QTest::newRow("side, two frames of 6, placed")
        << true << 2 << 6 << QPoint(30, 40) << QRect(52, 0, 353, 257) << right << left << sideBar
        << QRect(53, 257, 361, 15) << -5 << column + " - -" << otherColumn + " - -";
    QTest::newRow("top and bottom, one frame of 10, position ignored")
        << false << 1 << 10 << QPoint(30, 40) << QRect(0, 0, 465, 196) << bottom << top
        << topBottomBar << QRect(0, 196, 480, 15) << -2 << oneRow + " - -"
        << "";
    QTest::newRow("side, 0 frames is one")
        << true << 0 << 4 << origin << QRect(0, 0, 409, 257) << right << left << sideBar
        << QRect(0, 257, 413, 15) << 24 << oneColumn << "";
    QTest::newRow("top and bottom, 3 frames is two")
        << false << 3 << 4 << origin << QRect(0, 61, 465, 135) << bottom << top << topBottomBar
        << QRect(0, 196, 480, 15) << 93 << row << otherRow;
}

void TestMainWindow::softkeyLayout()
{
    QFETCH(bool, onSide);
    QFETCH(int, frames);
    QFETCH(int, softkeys);
    QFETCH(QPoint, position);
    QFETCH(QRect, page);
    QFETCH(QRect, firstHolder);
    QFETCH(QRect, secondHolder);
    QFETCH(QRect, verticalBar);
    QFETCH(QRect, horizontalBar);
    QFETCH(int, spacing);
    QFETCH(QString, firstFrame);
    QFETCH(QString, secondFrame);

    deviceConfig.softkeyFramesOnSide = onSide;
    deviceConfig.softkeyFrameCount = frames;
    deviceConfig.softkeysPerFrame = softkeys;
    deviceConfig.windowX = position.x();
    deviceConfig.windowY = position.y();
    auto viewer = makeViewer();
    const auto widget = [&](const QString &name) { return viewer->findChild<QWidget *>(name); };
    const QStringList holders =
        onSide ? QStringList{"verticalLayoutWidget", "verticalLayoutWidget_2"}
               : QStringList{"horizontalLayoutWidget", "horizontalLayoutWidget_2"};
    const QStringList layouts = onSide ? QStringList{"verticalLayout", "verticalLayout_2"}
                                       : QStringList{"bottomFrame", "topFrame"};
    const QStringList otherHolders =
        onSide ? QStringList{"horizontalLayoutWidget", "horizontalLayoutWidget_2"}
               : QStringList{"verticalLayoutWidget", "verticalLayoutWidget_2"};

    QCOMPARE(QRect(viewer->pos(), viewer->size()),
             QRect(onSide ? position : QPoint(), QSize(480, 272)));
    auto *view = viewer->findChild<PDFWidget *>("pdfWidget");
    QCOMPARE(view->geometry(), page);
    QCOMPARE(QRect(view->viewX, view->viewY, view->viewWidth, view->viewHeight), page);
    QCOMPARE(widget(holders[0])->geometry(), firstHolder);
    QCOMPARE(widget(holders[1])->geometry(), secondHolder);
    QCOMPARE(widget("verticalScrollBar")->geometry(), verticalBar);
    QCOMPARE(widget("horizontalScrollBar")->geometry(), horizontalBar);
    QCOMPARE(frameContents(*viewer, layouts[0]), firstFrame);
    QCOMPARE(frameContents(*viewer, layouts[1]), secondFrame);
    for (const QString &layout : layouts)
        QCOMPARE(viewer->findChild<QLayout *>(layout)->spacing(), spacingAsSet(spacing));
    for (const QString &holder : holders)
        QVERIFY(!widget(holder)->isHidden());
    for (const QString &holder : otherHolders)
        QVERIFY(widget(holder)->isHidden());
    // No document yet: both bars stay hidden.
    QVERIFY(widget("verticalScrollBar")->isHidden() && widget("horizontalScrollBar")->isHidden());
}

void TestMainWindow::openSoftkey()
{
    // Without the option the slot stays, blank and inert, so the other softkeys keep their keys.
    for (const bool enabled : {false, true}) {
        auto viewer = makeViewer(enabled);
        auto *open = viewer->findChild<QPushButton *>("openButton");
        QCOMPARE(open->isEnabled(), enabled);
        QCOMPARE(open->isFlat(), !enabled);
        QCOMPARE(open->icon().isNull(), !enabled);
        QCOMPARE(frameContents(*viewer, "verticalLayout"), QString("open up down right"));
    }
}

void TestMainWindow::frameless_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::newRow("desktop") << 0;
    QTest::newRow("device") << 1;
    QTest::newRow("other device") << -7;
}

void TestMainWindow::frameless()
{
    QFETCH(int, deviceType);
    deviceConfig.deviceType = deviceType;
    auto viewer = makeViewer();
    QCOMPARE(viewer->windowFlags().testFlag(Qt::FramelessWindowHint), deviceType != 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
