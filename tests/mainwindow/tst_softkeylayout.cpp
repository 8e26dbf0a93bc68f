#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "profilefreedirectory.h"
#include "stdoutcapture.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include <memory>

namespace {

struct Device
{
    bool onSide = true;
    int frames = 2;
    int softkeys = 4;
    QSize window{480, 272};
    QPoint position;
    bool openButton = false;
};

struct Arrangement
{
    QRect page;
    QRect right, left, bottom, top;
    QRect verticalBar, horizontalBar;
    int spacing = 0;
    QStringList rightColumn, leftColumn, bottomRow, topRow;
    QPoint position;
};

} // namespace

Q_DECLARE_METATYPE(Device)
Q_DECLARE_METATYPE(Arrangement)

namespace {

const QString placeholder = QStringLiteral("placeholder");

QStringList placeholders(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << placeholder;
    return names;
}

const QStringList rightTwo{"openButton", "upButton", "downButton", "rightButton"};
const QStringList leftTwo{"closeButton", "zommInButton", "zoomOutButton", "leftButton"};
const QStringList columnOne =
    rightTwo + QStringList{"leftButton", "zoomOutButton", "zommInButton", "closeButton"};
const QStringList bottomTwo{"rightButton", "downButton", "upButton", "openButton"};
const QStringList topTwo{"leftButton", "zoomOutButton", "zommInButton", "closeButton"};
const QStringList rowOne{"openButton", "closeButton", "zoomOutButton", "zommInButton",
                         "upButton",   "downButton",  "leftButton",    "rightButton"};

// Where the designed form puts the holders; an arrangement leaves the other pair there.
const QRect formRight(426, 0, 52, 271);
const QRect formLeft(2, 0, 53, 271);
const QRect formBottom(0, 210, 481, 61);
const QRect formTop(0, 0, 481, 61);

Arrangement sideTwo(int spacing, int extra)
{
    Arrangement a;
    a.page = QRect(52, 0, 353, 257);
    a.right = QRect(428, 0, 52, 272);
    a.left = QRect(0, 0, 53, 272);
    a.bottom = formBottom;
    a.top = formTop;
    a.verticalBar = QRect(413, 0, 15, 272);
    a.horizontalBar = QRect(53, 257, 361, 15);
    a.spacing = spacing;
    a.rightColumn = rightTwo + placeholders(extra);
    a.leftColumn = leftTwo + placeholders(extra);
    return a;
}

Arrangement sideOne(int spacing, int extra)
{
    Arrangement a = sideTwo(spacing, 0);
    a.page = QRect(0, 0, 409, 257);
    a.horizontalBar = QRect(0, 257, 413, 15);
    a.rightColumn = columnOne + placeholders(extra);
    a.leftColumn = QStringList();
    return a;
}

Arrangement topAndBottomTwo(int spacing, int extra)
{
    Arrangement a;
    a.page = QRect(0, 61, 465, 135);
    a.right = formRight;
    a.left = formLeft;
    a.bottom = QRect(0, 211, 480, 61);
    a.top = QRect(0, 0, 480, 61);
    a.verticalBar = QRect(465, 61, 15, 135);
    a.horizontalBar = QRect(0, 196, 480, 15);
    a.spacing = spacing;
    a.bottomRow = bottomTwo + placeholders(extra);
    a.topRow = topTwo + placeholders(extra);
    return a;
}

Arrangement topAndBottomOne(int spacing, int extra)
{
    Arrangement a = topAndBottomTwo(spacing, 0);
    a.page = QRect(0, 0, 465, 196);
    a.bottomRow = rowOne + placeholders(extra);
    a.topRow = QStringList();
    return a;
}

Device device(bool onSide, int frames, int softkeys)
{
    Device d;
    d.onSide = onSide;
    d.frames = frames;
    d.softkeys = softkeys;
    return d;
}

QStringList frameContents(const QLayout *layout, const QWidget *holder)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QWidget *widget = layout->itemAt(i)->widget();
        if (!widget) {
            names << QStringLiteral("(not a widget)");
            continue;
        }
        if (widget->parentWidget() != holder)
            names << QStringLiteral("(outside its holder)");
        if (qobject_cast<QPushButton *>(widget))
            names << widget->objectName();
        else if (widget->objectName().isEmpty() &&
                 widget->metaObject() == &QWidget::staticMetaObject)
            names << placeholder;
        else
            names << QStringLiteral("(unexpected %1)").arg(widget->metaObject()->className());
    }
    return names;
}

// What a box layout reports after setSpacing(value): Qt takes a negative spacing as "not set" and
// then reports the style's spacing for the holder.
template <typename Box> int reportedSpacing(int value)
{
    QWidget holder;
    auto *box = new Box(&holder);
    box->setSpacing(value);
    return box->spacing();
}

} // namespace

class TestSoftkeyLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { deviceConfig = DeviceConfig::defaults(); }
    void arrangement_data();
    void arrangement();

private:
    ProfileFreeDirectory directory;
};

void TestSoftkeyLayout::initTestCase()
{
    if (ProfileFreeDirectory::machineHasPointerFile())
        QSKIP("this machine has a device pointer file, which would override the settings");
    QVERIFY(directory.enter());
}

void TestSoftkeyLayout::arrangement_data()
{
    QTest::addColumn<Device>("device");
    QTest::addColumn<Arrangement>("expected");

    // The four reference arrangements on the default screen.
    QTest::newRow("side, two frames, 4") << device(true, 2, 4) << sideTwo(24, 0);
    QTest::newRow("side, one frame, 8") << device(true, 1, 8) << sideOne(-18, 0);
    QTest::newRow("top and bottom, two frames, 4") << device(false, 2, 4) << topAndBottomTwo(93, 0);
    QTest::newRow("top and bottom, one frame, 8") << device(false, 1, 8) << topAndBottomOne(11, 0);

    // Frames padded with placeholders; spacing may go negative and is passed on as it is.
    QTest::newRow("side, two frames, 6") << device(true, 2, 6) << sideTwo(-5, 2);
    QTest::newRow("side, one frame, 10") << device(true, 1, 10) << sideOne(-25, 2);
    QTest::newRow("top and bottom, two frames, 6") << device(false, 2, 6) << topAndBottomTwo(36, 2);
    QTest::newRow("top and bottom, one frame, 10")
        << device(false, 1, 10) << topAndBottomOne(-2, 2);

    // Fewer softkeys than buttons: every button stays, only the spacing changes.
    QTest::newRow("side, two frames, 2") << device(true, 2, 2) << sideTwo(172, 0);
    QTest::newRow("side, two frames, 1") << device(true, 2, 1) << sideTwo(0, 0);
    QTest::newRow("top and bottom, one frame, 1") << device(false, 1, 1) << topAndBottomOne(0, 0);

    for (const int frames : {0, -1}) {
        QTest::addRow("side, %d frames", frames) << device(true, frames, 4) << sideOne(24, 0);
        QTest::addRow("top and bottom, %d frames", frames)
            << device(false, frames, 4) << topAndBottomOne(93, 0);
    }
    QTest::newRow("side, 3 frames") << device(true, 3, 4) << sideTwo(24, 0);
    QTest::newRow("top and bottom, 3 frames") << device(false, 3, 4) << topAndBottomTwo(93, 0);

    Device open = device(true, 2, 4);
    open.openButton = true;
    QTest::newRow("side, two frames, open button") << open << sideTwo(24, 0);
    open = device(false, 1, 8);
    open.openButton = true;
    QTest::newRow("top and bottom, one frame, open button") << open << topAndBottomOne(11, 0);

    Device placed = device(true, 2, 4);
    placed.position = QPoint(30, 40);
    Arrangement moved = sideTwo(24, 0);
    moved.position = QPoint(30, 40);
    QTest::newRow("side, window position") << placed << moved;
    placed.onSide = false;
    QTest::newRow("top and bottom, window position ignored") << placed << topAndBottomTwo(93, 0);

    // A larger screen, in both arrangements: everything follows the configured size, not the
    // form's.
    Device large = device(true, 2, 4);
    large.window = QSize(800, 480);
    Arrangement expected = sideTwo(93, 0);
    expected.page = QRect(52, 0, 673, 465);
    expected.right = QRect(748, 0, 52, 480);
    expected.left = QRect(0, 0, 53, 480);
    expected.verticalBar = QRect(733, 0, 15, 480);
    expected.horizontalBar = QRect(53, 465, 681, 15);
    QTest::newRow("side, two frames, 800 x 480") << large << expected;

    large.onSide = false;
    large.frames = 1;
    large.softkeys = 8;
    expected = topAndBottomOne(57, 0);
    expected.page = QRect(0, 0, 785, 404);
    expected.bottom = QRect(0, 419, 800, 61);
    expected.top = QRect(0, 0, 800, 61);
    expected.verticalBar = QRect(785, 61, 15, 343);
    expected.horizontalBar = QRect(0, 404, 800, 15);
    QTest::newRow("top and bottom, one frame, 800 x 480") << large << expected;
}

void TestSoftkeyLayout::arrangement()
{
    QFETCH(Device, device);
    QFETCH(Arrangement, expected);

    deviceConfig.softkeyFramesOnSide = device.onSide;
    deviceConfig.softkeyFrameCount = device.frames;
    deviceConfig.softkeysPerFrame = device.softkeys;
    deviceConfig.windowWidth = device.window.width();
    deviceConfig.windowHeight = device.window.height();
    deviceConfig.windowX = device.position.x();
    deviceConfig.windowY = device.position.y();
    std::unique_ptr<PDFViewer> viewer;
    {
        StdoutCapture quiet;
        viewer = std::make_unique<PDFViewer>(nullptr, device.openButton);
    }

    const auto widget = [&](const char *name) { return viewer->findChild<QWidget *>(name); };
    const auto layout = [&](const char *name) { return viewer->findChild<QBoxLayout *>(name); };
    QWidget *right = widget("verticalLayoutWidget");
    QWidget *left = widget("verticalLayoutWidget_2");
    QWidget *bottom = widget("horizontalLayoutWidget");
    QWidget *top = widget("horizontalLayoutWidget_2");

    QCOMPARE(viewer->pos(), expected.position);
    QCOMPARE(viewer->size(), device.window);
    QCOMPARE(widget("centralWidget")->geometry(), QRect(QPoint(0, 0), device.window));

    auto *page = viewer->findChild<PDFWidget *>("pdfWidget");
    QCOMPARE(page->geometry(), expected.page);
    QCOMPARE(QRect(page->viewX, page->viewY, page->viewWidth, page->viewHeight), expected.page);
    QCOMPARE(right->geometry(), expected.right);
    QCOMPARE(left->geometry(), expected.left);
    QCOMPARE(bottom->geometry(), expected.bottom);
    QCOMPARE(top->geometry(), expected.top);
    QCOMPARE(widget("verticalScrollBar")->geometry(), expected.verticalBar);
    QCOMPARE(widget("horizontalScrollBar")->geometry(), expected.horizontalBar);

    QCOMPARE(frameContents(layout("verticalLayout"), right), expected.rightColumn);
    QCOMPARE(frameContents(layout("verticalLayout_2"), left), expected.leftColumn);
    QCOMPARE(frameContents(layout("bottomFrame"), bottom), expected.bottomRow);
    QCOMPARE(frameContents(layout("topFrame"), top), expected.topRow);

    // The frames of the other arrangement keep the spacing the form gave them.
    const int column = reportedSpacing<QVBoxLayout>(expected.spacing);
    const int row = reportedSpacing<QHBoxLayout>(expected.spacing);
    QCOMPARE(layout("verticalLayout")->spacing(), device.onSide ? column : 0);
    QCOMPARE(layout("verticalLayout_2")->spacing(), device.onSide ? column : 6);
    QCOMPARE(layout("bottomFrame")->spacing(), device.onSide ? 6 : row);
    QCOMPARE(layout("topFrame")->spacing(), device.onSide ? 6 : row);

    auto *open = viewer->findChild<QPushButton *>("openButton");
    QCOMPARE(open->isEnabled(), device.openButton);
    QCOMPARE(open->isFlat(), !device.openButton);
    QCOMPARE(open->icon().isNull(), !device.openButton);

    QVERIFY(widget("verticalScrollBar")->isHidden());
    QVERIFY(widget("horizontalScrollBar")->isHidden());
    QCOMPARE(right->isHidden(), !device.onSide);
    QCOMPARE(left->isHidden(), !device.onSide);
    QCOMPARE(bottom->isHidden(), device.onSide);
    QCOMPARE(top->isHidden(), device.onSide);

    // Once shown, every softkey and placeholder is on screen, whichever holder it moved to.
    static_cast<QWidget *>(viewer.get())->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    for (QWidget *holder : {right, left, bottom, top}) {
        for (QWidget *child :
             holder->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(child->isVisible(), qPrintable(child->objectName()));
    }
    QCOMPARE(viewer->findChildren<QPushButton *>().size(), 8);
    for (QPushButton *button : viewer->findChildren<QPushButton *>())
        QVERIFY2(button->isVisible(), qPrintable(button->objectName()));
}

QTEST_MAIN(TestSoftkeyLayout)
#include "tst_softkeylayout.moc"
