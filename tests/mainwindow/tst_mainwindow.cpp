#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "mainwindow/softkeystyle.h"
#include "pageview/pdfwidget.h"

#include "profilefreedirectory.h"
#include "stdoutcapture.h"

#include <QBoxLayout>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include <memory>

class PDFViewerTestAccess
{
public:
    static bool documentLoaded(const PDFViewer &viewer) { return viewer.documentLoaded; }
    static QLabel *loadingLabel(const PDFViewer &viewer) { return viewer.loadingLabel; }
    static QString fileToLoad(const PDFViewer &viewer) { return viewer.fileToLoad; }
    static std::string configFile(const PDFViewer &viewer) { return viewer.configFile; }
    static QFileSystemModel *model(const PDFViewer &viewer) { return viewer.fileSystemModel; }
};

namespace {

std::unique_ptr<PDFViewer> makeViewer(bool openButtonEnabled = false)
{
    StdoutCapture quiet;
    return std::make_unique<PDFViewer>(nullptr, openButtonEnabled);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(40, 40).toImage();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { deviceConfig = DeviceConfig::defaults(); }

    // Must come first: only the first show in the process announces itself.
    void firstShowIsAnnouncedOnce();

    void constructedState();
    void widgetTree_data();
    void widgetTree();
    void stackingOrder();
    void layouts();
    void buttons_data();
    void buttons();
    void arrowAndCloseStyle();
    void openButtonWithOption();
    void scrollBars();
    void windowFrame_data();
    void windowFrame();
    void slotOrder();

private:
    ProfileFreeDirectory directory;
};

void TestMainWindow::initTestCase()
{
    if (ProfileFreeDirectory::machineHasPointerFile())
        QSKIP("this machine has a device pointer file, which would override the settings");
    QVERIFY(directory.enter());
}

void TestMainWindow::firstShowIsAnnouncedOnce()
{
    auto first = makeViewer();
    QSignalSpy firstSpy(first.get(), &PDFViewer::firstShowCalled);

    // Shown through the base class, the window is not the viewer's first show.
    static_cast<QWidget *>(first.get())->show();
    QCOMPARE(firstSpy.count(), 0);

    first->show();
    QCOMPARE(firstSpy.count(), 1);
    first->hide();
    first->show();
    QCOMPARE(firstSpy.count(), 1);

    auto second = makeViewer();
    QSignalSpy secondSpy(second.get(), &PDFViewer::firstShowCalled);
    second->show();
    QCOMPARE(secondSpy.count(), 0);

    // The queued loadFile has nothing to open: no notice, no document.
    QCoreApplication::processEvents();
    QTest::qWait(30);
    QVERIFY(!PDFViewerTestAccess::loadingLabel(*first));
    QVERIFY(!PDFViewerTestAccess::documentLoaded(*first));
}

void TestMainWindow::constructedState()
{
    auto viewer = makeViewer();
    QCOMPARE(viewer->objectName(), QStringLiteral("PDFViewer"));
    QCOMPARE(viewer->windowTitle(), QStringLiteral("PDFViewer"));
    QVERIFY(viewer->autoFillBackground());
    QCOMPARE(viewer->geometry(), QRect(0, 0, 480, 272));
    QVERIFY(viewer->isHidden());
    QCOMPARE(viewer->centralWidget(), viewer->findChild<QWidget *>("centralWidget"));

    QVERIFY(!PDFViewerTestAccess::documentLoaded(*viewer));
    QVERIFY(!PDFViewerTestAccess::loadingLabel(*viewer));
    QVERIFY(PDFViewerTestAccess::fileToLoad(*viewer).isEmpty());
    QCOMPARE(PDFViewerTestAccess::configFile(*viewer), std::string("b7s.conf"));

    QFileSystemModel *model = PDFViewerTestAccess::model(*viewer);
    QVERIFY(model);
    QVERIFY(!model->parent());
    QCOMPARE(model->nameFilters(), QStringList{"*.pdf"});
    QCOMPARE(model->rootPath(), QStringLiteral("/"));
    QVERIFY(model->nameFilterDisables());
}

void TestMainWindow::widgetTree_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    // Geometry and visibility after the layout are the softkey layout test's subject.
    const auto rows = [](std::initializer_list<const char *> names, const char *className,
                         const char *parentName) {
        for (const char *name : names)
            QTest::newRow(name) << QString(className) << QString(parentName);
    };
    rows({"centralWidget"}, "QWidget", "PDFViewer");
    rows({"verticalLayoutWidget", "verticalLayoutWidget_2", "horizontalLayoutWidget",
          "horizontalLayoutWidget_2"},
         "QWidget", "centralWidget");
    rows({"pdfWidget"}, "PDFWidget", "centralWidget");
    rows({"verticalScrollBar", "horizontalScrollBar"}, "QScrollBar", "centralWidget");
    rows({"openButton", "upButton", "downButton", "rightButton"}, "QPushButton",
         "verticalLayoutWidget");
    rows({"closeButton", "zommInButton", "zoomOutButton", "leftButton"}, "QPushButton",
         "verticalLayoutWidget_2");
}

void TestMainWindow::widgetTree()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    auto viewer = makeViewer();
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QList<QWidget *> matches = viewer->findChildren<QWidget *>(name);
    QCOMPARE(matches.size(), 1);
    QWidget *widget = matches.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
}

void TestMainWindow::stackingOrder()
{
    // Creation order decides stacking: the page view above the columns, the bars and the rows
    // above the page view.
    auto viewer = makeViewer();
    QStringList children;
    for (QObject *child : viewer->centralWidget()->children()) {
        if (child->isWidgetType())
            children << child->objectName();
    }
    QCOMPARE(children, QStringList({"verticalLayoutWidget", "verticalLayoutWidget_2", "pdfWidget",
                                    "verticalScrollBar", "horizontalScrollBar",
                                    "horizontalLayoutWidget", "horizontalLayoutWidget_2"}));
    QCOMPARE(viewer->findChildren<QPushButton *>().size(), 8);
}

void TestMainWindow::layouts()
{
    // Which softkeys each frame holds, and its spacing, is the layout test's subject.
    auto viewer = makeViewer();
    const QStringList holders{"verticalLayoutWidget", "verticalLayoutWidget_2",
                              "horizontalLayoutWidget", "horizontalLayoutWidget_2"};
    const QStringList names{"verticalLayout", "verticalLayout_2", "bottomFrame", "topFrame"};
    for (int i = 0; i < names.size(); ++i) {
        auto *box = viewer->findChild<QBoxLayout *>(names.at(i));
        QVERIFY2(box, qPrintable(names.at(i)));
        QCOMPARE(box->metaObject()->className(), i < 2 ? "QVBoxLayout" : "QHBoxLayout");
        QCOMPARE(box->parentWidget()->objectName(), holders.at(i));
        QCOMPARE(box->parentWidget()->layout(), box);
        QCOMPARE(box->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    QCOMPARE(viewer->findChild<QBoxLayout *>("verticalLayout")->sizeConstraint(),
             QLayout::SetNoConstraint);
}

void TestMainWindow::buttons_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("iconFile");

    QTest::newRow("openButton") << QString() << QString();
    QTest::newRow("upButton") << QStringLiteral("\u21e7") << QString();
    QTest::newRow("downButton") << QStringLiteral("\u21e9") << QString();
    QTest::newRow("rightButton") << QStringLiteral("\u21e8") << QString();
    QTest::newRow("closeButton") << QString() << "images/cancel.svg";
    QTest::newRow("zommInButton") << QString() << "images/ZoomIn.svg";
    QTest::newRow("zoomOutButton") << QString() << "images/ZoomOut.svg";
    QTest::newRow("leftButton") << QStringLiteral("\u21e6") << QString();
}

void TestMainWindow::buttons()
{
    QFETCH(QString, text);
    QFETCH(QString, iconFile);

    auto viewer = makeViewer();
    auto *button = viewer->findChild<QPushButton *>(QTest::currentDataTag());
    QVERIFY(button);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->maximumSize(), QSize(50, 50));
    // Without the open command its button is a blank, inert slot.
    const bool blank = button->objectName() == "openButton";
    QCOMPARE(button->isEnabled(), !blank);
    QCOMPARE(button->isFlat(), blank);
    if (iconFile.isEmpty()) {
        QVERIFY(button->icon().isNull());
    } else {
        QCOMPARE(button->iconSize(), QSize(40, 40));
        const QImage expected = iconImage(QIcon(iconFile));
        QVERIFY(!expected.isNull());
        QCOMPARE(iconImage(button->icon()), expected);
    }
}

void TestMainWindow::arrowAndCloseStyle()
{
    auto viewer = makeViewer();
    const QPalette arrows = arrowPalette();
    const QColor blue(0, 0, 127);
    const QColor grey(118, 118, 117);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        QCOMPARE(arrows.brush(QPalette::Active, role), QBrush(blue));
        QCOMPARE(arrows.brush(QPalette::Inactive, role), QBrush(blue));
        QCOMPARE(arrows.brush(QPalette::Disabled, role), QBrush(grey));
    }
    const QFont font = arrowFont();
    QCOMPARE(font.family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(font.pointSize(), 36);
    QCOMPARE(font.weight(), 75);
    QVERIFY(!font.italic());
    QVERIFY(!font.strikeOut());
    QVERIFY(font.kerning());

    for (const char *name : {"upButton", "downButton", "rightButton", "leftButton"}) {
        auto *button = viewer->findChild<QPushButton *>(name);
        QVERIFY2(button->testAttribute(Qt::WA_SetPalette), name);
        for (const QPalette::ColorGroup group :
             {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            for (const QPalette::ColorRole role :
                 {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                QCOMPARE(button->palette().brush(group, role), arrows.brush(group, role));
        }
        // A widget's font also carries what it inherited, so compare what a font describes.
        QCOMPARE(button->font().toString(), font.toString());
        QCOMPARE(button->font().kerning(), font.kerning());
    }

    auto *close = viewer->findChild<QPushButton *>("closeButton");
    QCOMPARE(close->font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(close->font().pointSize(), 27);
    QCOMPARE(close->font().weight(), 75);
    QVERIFY(!close->testAttribute(Qt::WA_SetPalette));
    QVERIFY(!close->isCheckable());
    QVERIFY(!close->isChecked());
    QVERIFY(!close->autoRepeat());
    QCOMPARE(close->autoRepeatDelay(), 50000000);
    QCOMPARE(close->autoRepeatInterval(), 500000000);

    for (const char *name : {"openButton", "zommInButton", "zoomOutButton"}) {
        auto *button = viewer->findChild<QPushButton *>(name);
        QVERIFY2(!button->testAttribute(Qt::WA_SetPalette), name);
        QVERIFY2(!button->testAttribute(Qt::WA_SetFont), name);
    }
}

void TestMainWindow::openButtonWithOption()
{
    auto viewer = makeViewer(true);
    auto *open = viewer->findChild<QPushButton *>("openButton");
    QVERIFY(open->isEnabled());
    QVERIFY(!open->isFlat());
    QCOMPARE(open->iconSize(), QSize(40, 40));
    const QImage expected = iconImage(QIcon("images/1270668950.svg"));
    QVERIFY(!expected.isNull());
    QCOMPARE(iconImage(open->icon()), expected);
    QCOMPARE(viewer->findChild<QBoxLayout *>("verticalLayout")->itemAt(0)->widget(), open);
}

void TestMainWindow::scrollBars()
{
    auto viewer = makeViewer();
    auto *page = viewer->findChild<PDFWidget *>("pdfWidget");
    auto *vertical = viewer->findChild<QScrollBar *>("verticalScrollBar");
    auto *horizontal = viewer->findChild<QScrollBar *>("horizontalScrollBar");
    QCOMPARE(page->verticalScrollBar, vertical);
    QCOMPARE(page->horizontalScrollBar, horizontal);

    QCOMPARE(vertical->orientation(), Qt::Vertical);
    QCOMPARE(vertical->singleStep(), 0);
    QCOMPARE(vertical->pageStep(), 1);
    QVERIFY(vertical->hasTracking());
    QCOMPARE(horizontal->orientation(), Qt::Horizontal);
    QCOMPARE(horizontal->singleStep(), 1);
    QCOMPARE(horizontal->pageStep(), 10);
    QVERIFY(horizontal->hasTracking());
}

void TestMainWindow::windowFrame_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<bool>("frameless");

    QTest::newRow("desktop") << 0 << false;
    QTest::newRow("standard device") << 1 << true;
    QTest::newRow("negative device") << -1 << true;
    QTest::newRow("other device") << 7 << true;
}

void TestMainWindow::windowFrame()
{
    QFETCH(int, deviceType);
    QFETCH(bool, frameless);

    deviceConfig.deviceType = deviceType;
    auto viewer = makeViewer();
    QCOMPARE(viewer->windowFlags().testFlag(Qt::FramelessWindowHint), frameless);
    if (frameless) {
        // The flags are replaced, not added to: no title bar hints survive.
        QCOMPARE(viewer->windowFlags() & ~Qt::WindowType_Mask,
                 Qt::WindowFlags(Qt::FramelessWindowHint));
    }
    QVERIFY(viewer->isWindow());
}

void TestMainWindow::slotOrder()
{
    const QMetaObject &meta = PDFViewer::staticMetaObject;
    QCOMPARE(meta.className(), "PDFViewer");
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        methods << QString::fromLatin1(method.methodSignature());
        const bool isSignal = method.methodType() == QMetaMethod::Signal;
        QCOMPARE(method.access(), isSignal ? QMetaMethod::Public : QMetaMethod::Private);
    }
    QCOMPARE(methods,
             QStringList({"firstShowCalled()", "on_horizontalScrollBar_sliderReleased()",
                          "on_horizontalScrollBar_actionTriggered(int)",
                          "on_verticalScrollBar_sliderReleased()",
                          "on_verticalScrollBar_actionTriggered(int)", "on_closeButton_clicked()",
                          "on_downButton_clicked()", "on_upButton_clicked()",
                          "on_rightButton_clicked()", "on_leftButton_clicked()",
                          "on_zoomOutButton_clicked()", "on_zommInButton_clicked()",
                          "on_openButton_clicked()", "loadFile()", "doLoadFile()"}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
