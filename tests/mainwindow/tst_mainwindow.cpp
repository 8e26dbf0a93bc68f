#include "chooser/customfileopendialog.h"
#include "chooser/customtreeview.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "pdfviewertestaccess.h"
#include "profilefreedirectory.h"
#include "softkeyframes.h"
#include "stdoutcapture.h"

#include <QPushButton>
#include <QtTest>

#include <climits>

class CustomFileOpenDialogTestAccess
{
public:
    // Left, right, top, bottom.
    static QList<QWidget *> holders(CustomFileOpenDialog &d)
    {
        return {d.leftColumn, d.rightColumn, d.topRow, d.bottomRow};
    }
};

// One arrangement of the softkey frames, and where the window and its chooser put everything.
struct Arrangement
{
    bool onSide;
    int frames, softkeys;
    bool openCommand;
    QPoint position;
    QRect page, horizontalBar;
    int spacing;
    // Side: right column, left column. Top and bottom: bottom row, top row.
    QString firstFrame, secondFrame, chooserFirst, chooserSecond;
};
Q_DECLARE_METATYPE(Arrangement)

bool drawsIn(const QImage &image, QRgb colour)
{
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            if (pixels.pixel(x, y) == colour)
                return true;
    return false;
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(directory.enter());
        // Any device number but 0 makes the window frameless, a negative one too.
        for (const auto &[name, profile] : {std::pair{"b7s.conf", "DEVICE=-1\nKEY_UP=6\n"},
                                            std::pair{"device.conf", "DEVICE=0\nKEY_UP=77\n"}}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(profile) > 0);
        }
    }
    void init() { deviceConfig = DeviceConfig::defaults(); }

    // The profile is b7s.conf in the working directory unless the pointer file names another; an
    // empty name is of no file, so the defaults stay.
    void profileAndLayout_data()
    {
        QTest::addColumn<QByteArray>("pointer"); // none when empty
        QTest::addColumn<QStringList>("printed");
        QTest::addColumn<int>("keyUp");
        QTest::addColumn<Arrangement>("arrangement");
        const QPoint origin, placed(30, 40);
        const QString column = "open up down right", otherColumn = "close zommIn zoomOut left";
        const QString oneColumn = column + " left zoomOut zommIn close";
        const QString row = "right down up open", otherRow = "left zoomOut zommIn close";
        const QString oneRow = "open close zoomOut zommIn up down left right";
        const QRect twoSideBar(53, 257, 361, 15), oneSideBar(0, 257, 413, 15);
        const QRect topBottomBar(0, 196, 480, 15);
        // Two blanks keep the chooser's cancel and left level with the window's close and left.
        const QString chooserColumn = "cancel - - left", chooserOne = " left cancel";

        const auto add = [](const char *name, const QByteArray &pointer, const QStringList &printed,
                            int keyUp, const Arrangement &a) {
            QTest::newRow(name) << pointer << printed << keyUp << a;
        };
        const QStringList workingDirectory{"Using config file b7s.conf"};
        add("side, one frame of 8", "", workingDirectory, 6,
            {true, 1, 8, false, origin, QRect(0, 0, 409, 257), oneSideBar, -18, oneColumn, "",
             column + chooserOne + " - -", ""});
        add("top and bottom, two frames of 4, profile from the pointer file",
            "[main]\nconfig_file=device.conf\n", {"Using config file device.conf"}, 77,
            {false, 2, 4, false, origin, QRect(0, 61, 465, 135), topBottomBar, 93, row, otherRow,
             row, "left cancel - -"});
        // Any count from 2 up is two frames, and below 2 one; placeholders fill the slots left.
        add("side, 3 frames of 5, placed, empty name in the pointer file", "config_file= \n",
            {"Using config file ", "Opening  FAILED! Using default B7 config!"}, int(Qt::Key_F2),
            {true, 3, 5, true, placed, QRect(52, 0, 353, 257), twoSideBar, 5, column + " -",
             otherColumn + " -", column + " -", chooserColumn + " -"});
        // A profile's count saturates at INT_MIN: no slot is left over for a placeholder.
        add("side, two frames of INT_MIN", "", workingDirectory, 6,
            {true, 2, INT_MIN, false, origin, QRect(52, 0, 353, 257), twoSideBar, -50, column,
             otherColumn, column, chooserColumn});
        add("top and bottom, 0 frames of 10, position ignored", "", workingDirectory, 6,
            {false, 0, 10, true, placed, QRect(0, 0, 465, 196), topBottomBar, -2, oneRow + " - -",
             "", row + chooserOne + " - - - -", ""});
    }

    void profileAndLayout()
    {
        QFETCH(QByteArray, pointer);
        QFETCH(QStringList, printed);
        QFETCH(int, keyUp);
        QFETCH(Arrangement, arrangement);
        const Arrangement &a = arrangement;
        deviceConfig.softkeyFramesOnSide = a.onSide;
        deviceConfig.softkeyFrameCount = a.frames;
        deviceConfig.softkeysPerFrame = a.softkeys;
        deviceConfig.windowX = a.position.x();
        deviceConfig.windowY = a.position.y();
        QFile::remove("device_config.ini");
        QFile pointerFile("device_config.ini");
        QVERIFY(pointer.isEmpty() || (pointerFile.open(QIODevice::WriteOnly) &&
                                      pointerFile.write(pointer) == pointer.size()));
        pointerFile.close();
        StdoutCapture capture;
        PDFViewer viewer(nullptr, a.openCommand);
        QCOMPARE(capture.lines(), printed);
        QCOMPARE(deviceConfig.keyUp, keyUp);
        QCOMPARE(viewer.windowFlags().testFlag(Qt::FramelessWindowHint), keyUp != 77);
        const auto widget = [&](const QString &name) { return viewer.findChild<QWidget *>(name); };
        const QStringList side{"verticalLayoutWidget", "verticalLayoutWidget_2"};
        const QStringList topAndBottom{"horizontalLayoutWidget", "horizontalLayoutWidget_2"};
        const QStringList holders = a.onSide ? side : topAndBottom;
        const QStringList layouts = a.onSide ? QStringList{"verticalLayout", "verticalLayout_2"}
                                             : QStringList{"bottomFrame", "topFrame"};

        QCOMPARE(QRect(viewer.pos(), viewer.size()),
                 QRect(a.onSide ? a.position : QPoint(), QSize(480, 272)));
        auto *view = viewer.findChild<PDFWidget *>("pdfWidget");
        QCOMPARE(view->geometry(), a.page);
        QCOMPARE(widget(holders[0])->geometry(),
                 a.onSide ? QRect(428, 0, 52, 272) : QRect(0, 211, 480, 61));
        QCOMPARE(widget(holders[1])->geometry(),
                 a.onSide ? QRect(0, 0, 53, 272) : QRect(0, 0, 480, 61));
        QCOMPARE(widget("verticalScrollBar")->geometry(),
                 a.onSide ? QRect(413, 0, 15, 272) : QRect(465, 61, 15, 135));
        QCOMPARE(widget("horizontalScrollBar")->geometry(), a.horizontalBar);
        QCOMPARE(frameContents(viewer.findChild<QLayout *>(layouts[0])), a.firstFrame);
        QCOMPARE(frameContents(viewer.findChild<QLayout *>(layouts[1])), a.secondFrame);
        for (const QString &layout : layouts)
            QCOMPARE(viewer.findChild<QLayout *>(layout)->spacing(), spacingAsSet(a.spacing));
        for (const QString &holder : side + topAndBottom)
            QCOMPARE(widget(holder)->isHidden(), !holders.contains(holder));
        // Without the option the open slot stays, blank and inert, so the others keep their keys.
        auto *open = viewer.findChild<QPushButton *>("openButton");
        QCOMPARE(open->isEnabled(), a.openCommand);
        QCOMPARE(open->isFlat(), !a.openCommand);
        QCOMPARE(open->icon().isNull(), !a.openCommand);
        QVERIFY(widget("verticalScrollBar")->isHidden() &&
                widget("horizontalScrollBar")->isHidden());

        // The chooser, as the open command builds it over the window.
        CustomFileOpenDialog dialog(nullptr, nullptr);
        dialog.setGeometry(0, 0, 480, 272);
        dialog.setupDialog(std::string(), PDFViewerTestAccess::chooserModel(viewer));
        const auto chooser = CustomFileOpenDialogTestAccess::holders(dialog);
        QWidget *first = chooser[a.onSide ? 1 : 3], *second = chooser[a.onSide ? 0 : 2];
        QCOMPARE(frameContents(first->layout()), a.chooserFirst);
        QCOMPARE(frameContents(second->layout()), a.chooserSecond);
        QCOMPARE(second->layout()->spacing(), spacingAsSet(a.spacing));
        QCOMPARE(first->geometry(), a.onSide ? QRect(430, 0, 50, 272) : QRect(0, 222, 480, 50));
        QCOMPARE(second->geometry(), a.onSide ? QRect(0, 0, 50, 272) : QRect(0, 0, 480, 50));
        const auto *tree = dialog.findChild<CustomTreeView *>();
        QCOMPARE(tree->geometry(), a.onSide ? QRect(50, 0, 380, 272) : QRect(0, 50, 480, 172));
        // The names, the only column shown, fill the view: no sideways scrolling.
        QCOMPARE(tree->columnWidth(0), tree->viewport()->width());
        // The other pair is moved out of sight, just past the bottom-right corner.
        for (QWidget *other : {chooser[a.onSide ? 2 : 0], chooser[a.onSide ? 3 : 1]})
            QCOMPARE(other->pos(), QPoint(480, 272));
        // Both windows draw their arrows in navy.
        for (QObject *window : {static_cast<QObject *>(&viewer), static_cast<QObject *>(&dialog)})
            QVERIFY(drawsIn(window->findChild<QPushButton *>("upButton")->grab().toImage(),
                            qRgb(0, 0, 127)));
    }

private:
    ProfileFreeDirectory directory;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
