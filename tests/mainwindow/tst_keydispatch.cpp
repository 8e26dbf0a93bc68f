#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QDialog>
#include <QScrollBar>
#include <QtTest>

#include <memory>

class PDFViewerTestAccess
{
public:
    static bool documentLoaded(const PDFViewer &viewer) { return viewer.documentLoaded; }
};

namespace {

constexpr int stillRunning = 77;

// Releases the key from inside a running event loop, as a device delivers it, and returns 0 when
// the key quit the application.
int releaseInEventLoop(QWidget *target, int key)
{
    QEventLoop loop;
    QTimer::singleShot(0, target, [&loop, target, key] {
        QTest::keyRelease(target, Qt::Key(key));
        // A quit ends every running loop of the thread; one that still runs was not told to.
        if (loop.isRunning())
            loop.exit(stillRunning);
    });
    const int result = loop.exec();
    if (result != stillRunning) {
        // A quit also leaves the thread marked as quitting, which would end the next loop at
        // once; running the application's own loop clears the mark.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
    return result;
}

struct View
{
    int x, y, page;
    double resolution;
};

View viewOf(const PDFWidget *page)
{
    return {page->xOffset, page->yOffset, page->pageIndex, page->resolution};
}

} // namespace

class TestKeyDispatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { deviceConfig = DeviceConfig::defaults(); }

    void releaseWithDocument_data();
    void releaseWithDocument();
    void keysBeforeDocument_data();
    void keysBeforeDocument();
    void escapeReport();
    void pressDoesNothing();
    void keyFromFocusedScrollBar();
    void openKeyNeedsOption();

private:
    bool applyProfile(const QByteArray &profile);
    bool openDocument(PDFViewer *viewer);

    ProfileFreeDirectory directory;
    QString documentPath;
    std::unique_ptr<PDFViewer> viewer;
    PDFWidget *page = nullptr;
};

void TestKeyDispatch::initTestCase()
{
    if (ProfileFreeDirectory::machineHasPointerFile())
        QSKIP("this machine has a device pointer file, which would override the key codes");
    QVERIFY(directory.enter());
    documentPath = TestDocuments::writeA4Document(directory.filePath("three.pdf"), 3);
    QVERIFY(!documentPath.isEmpty());

    StdoutCapture quiet;
    viewer = std::make_unique<PDFViewer>(nullptr, false);
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    page = viewer->findChild<PDFWidget *>("pdfWidget");
}

bool TestKeyDispatch::applyProfile(const QByteArray &profile)
{
    if (profile.isEmpty())
        return true;
    const QString path = directory.filePath("keys.conf");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(profile) < 0)
        return false;
    file.close();
    StdoutCapture quiet;
    viewer->loadDeviceConfig(path.toStdString());
    return true;
}

// A fresh copy of the document, zoomed in once and moved off the top left corner, so that every
// command has room to move in both directions.
bool TestKeyDispatch::openDocument(PDFViewer *window)
{
    window->initWithFile(documentPath.toLocal8Bit().constData());
    auto *view = window->findChild<PDFWidget *>("pdfWidget");
    view->zoomIn();
    view->scrollRight();
    view->scrollDown();
    return PDFViewerTestAccess::documentLoaded(*window) && view->xOffset > 0 && view->yOffset > 0;
}

void TestKeyDispatch::releaseWithDocument_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("effect");

    const QByteArray standard;
    QTest::newRow("F4 right") << standard << int(Qt::Key_F4) << "right";
    QTest::newRow("Return right") << standard << int(Qt::Key_Return) << "right";
    QTest::newRow("F5 left") << standard << int(Qt::Key_F5) << "left";
    QTest::newRow("F2 up") << standard << int(Qt::Key_F2) << "up";
    QTest::newRow("F3 down") << standard << int(Qt::Key_F3) << "down";
    QTest::newRow("F7 zoom in") << standard << int(Qt::Key_F7) << "zoom in";
    QTest::newRow("F6 zoom out") << standard << int(Qt::Key_F6) << "zoom out";
    QTest::newRow("F8 quits") << standard << int(Qt::Key_F8) << "quit";
    QTest::newRow("Home quits") << standard << int(Qt::Key_Home) << "quit";
    QTest::newRow("F1 without open command") << standard << int(Qt::Key_F1) << "nothing";
    QTest::newRow("keypad Enter is not Return") << standard << int(Qt::Key_Enter) << "report";
    QTest::newRow("Escape is not compared") << standard << int(Qt::Key_Escape) << "report";
    QTest::newRow("letter A") << standard << int(Qt::Key_A) << "report";

    const QByteArray arrows = "KEY_UP=0x01000013\nKEY_DOWN=0x01000015\n"
                              "KEY_LEFT=0x01000012\nKEY_RIGHT=0x01000014\n";
    QTest::newRow("remapped up") << arrows << int(Qt::Key_Up) << "up";
    QTest::newRow("remapped down") << arrows << int(Qt::Key_Down) << "down";
    QTest::newRow("remapped left") << arrows << int(Qt::Key_Left) << "left";
    QTest::newRow("remapped right") << arrows << int(Qt::Key_Right) << "right";
    QTest::newRow("old up code unmapped") << arrows << int(Qt::Key_F2) << "report";
    const QByteArray zoom = "KEY_ZOOM_IN=0x2b\nKEY_ZOOM_OUT=0x2d\nKEY_CLOSE=0x51\n";
    QTest::newRow("remapped zoom in") << zoom << int(Qt::Key_Plus) << "zoom in";
    QTest::newRow("remapped zoom out") << zoom << int(Qt::Key_Minus) << "zoom out";
    QTest::newRow("remapped close") << zoom << int(Qt::Key_Q) << "quit";

    QTest::newRow("home on the left key quits")
        << QByteArray("KEY_HOME=0x01000034\n") << int(Qt::Key_F5) << "quit";
    const QByteArray enterAsRight = "KEY_ENTER=0x01000033\n";
    QTest::newRow("enter on the right key") << enterAsRight << int(Qt::Key_F4) << "right";
    QTest::newRow("Return then unmapped") << enterAsRight << int(Qt::Key_Return) << "report";
    QTest::newRow("escape code never acts")
        << QByteArray("KEY_ESCAPE=0x01000033\n") << int(Qt::Key_F4) << "right";

    // One code on two commands: the earlier comparison wins.
    QTest::newRow("right before down")
        << QByteArray("KEY_DOWN=0x01000033\n") << int(Qt::Key_F4) << "right";
    QTest::newRow("down before up")
        << QByteArray("KEY_UP=0x01000032\n") << int(Qt::Key_F3) << "down";
    QTest::newRow("up before open")
        << QByteArray("KEY_OPEN=0x01000031\n") << int(Qt::Key_F2) << "up";
    QTest::newRow("open before close")
        << QByteArray("KEY_CLOSE=0x01000030\n") << int(Qt::Key_F1) << "nothing";
    QTest::newRow("close before left")
        << QByteArray("KEY_LEFT=0x01000037\n") << int(Qt::Key_F8) << "quit";
    QTest::newRow("left before zoom in")
        << QByteArray("KEY_ZOOM_IN=0x01000034\n") << int(Qt::Key_F5) << "left";
    QTest::newRow("zoom in before zoom out")
        << QByteArray("KEY_ZOOM_OUT=0x01000036\n") << int(Qt::Key_F7) << "zoom in";
    QTest::newRow("zoom out before enter")
        << QByteArray("KEY_ENTER=0x01000035\n") << int(Qt::Key_F6) << "zoom out";
}

void TestKeyDispatch::releaseWithDocument()
{
    QFETCH(QByteArray, profile);
    QFETCH(int, key);
    QFETCH(QString, effect);

    QVERIFY(applyProfile(profile));
    QVERIFY(openDocument(viewer.get()));
    const View before = viewOf(page);

    StdoutCapture capture;
    const int result = releaseInEventLoop(viewer.get(), key);
    const QStringList output = capture.lines();
    const View after = viewOf(page);

    QCOMPARE(result, effect == "quit" ? 0 : stillRunning);
    if (effect == "report") {
        QCOMPARE(output.size(), 13);
        QCOMPARE(output.first(), QStringLiteral("UNKNOWN KEY CODE RECEIVED: 0"));
    } else {
        QCOMPARE(output, QStringList());
    }

    // Each command moves exactly one thing, in its own direction.
    QStringList moved;
    if (after.x != before.x)
        moved << (after.x > before.x ? "right" : "left");
    if (after.y != before.y)
        moved << (after.y > before.y ? "down" : "up");
    if (after.resolution != before.resolution)
        moved << (after.resolution > before.resolution ? "zoom in" : "zoom out");
    if (after.page != before.page)
        moved << "page";
    const QStringList movements{"right", "left", "down", "up", "zoom in", "zoom out"};
    QCOMPARE(moved, movements.contains(effect) ? QStringList{effect} : QStringList());
}

void TestKeyDispatch::keysBeforeDocument_data()
{
    QTest::addColumn<int>("key");
    for (const int key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6,
                          Qt::Key_F7, Qt::Key_Return})
        QTest::addRow("%s", qPrintable(QKeySequence(key).toString())) << key;
}

void TestKeyDispatch::keysBeforeDocument()
{
    QFETCH(int, key);

    std::unique_ptr<PDFViewer> empty;
    {
        StdoutCapture quiet;
        empty = std::make_unique<PDFViewer>(nullptr, false);
    }
    auto *view = empty->findChild<PDFWidget *>("pdfWidget");
    const double resolution = view->resolution;

    StdoutCapture capture;
    QCOMPARE(releaseInEventLoop(empty.get(), key), stillRunning);
    QCOMPARE(capture.lines(), QStringList());
    QVERIFY(!view->document);
    QVERIFY(!view->image);
    QCOMPARE(view->resolution, resolution);
    QCOMPARE(view->xOffset, 0);
    QCOMPARE(view->yOffset, 0);
    QVERIFY(!PDFViewerTestAccess::documentLoaded(*empty));
}

void TestKeyDispatch::escapeReport()
{
    const QStringList codes{"Known Keycodes are:", "OPEN: 16777264",    "CLOSE: 16777271",
                            "LEFT: 16777268",      "RIGHT: 16777267",   "UP: 16777265",
                            "DOWN: 16777266",      "ZOOM_IN: 16777270", "ZOOM_OUT: 16777269",
                            "ENTER: 16777220",     "ESCAPE: 16777216",  "HOME: 16777232"};
    {
        StdoutCapture capture;
        QTest::keyRelease(viewer.get(), Qt::Key_Escape);
        QCOMPARE(capture.lines(), QStringList{"UNKNOWN KEY CODE RECEIVED: 0"} + codes);
    }

    // The scan code is the only trace of the key itself, printed unsigned.
    for (const quint32 scanCode : {9u, 4294967295u}) {
        StdoutCapture capture;
        QKeyEvent event(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, scanCode, 0, 0);
        QCoreApplication::sendEvent(viewer.get(), &event);
        QVERIFY(event.isAccepted());
        QCOMPARE(capture.lines(),
                 QStringList{QStringLiteral("UNKNOWN KEY CODE RECEIVED: %1").arg(scanCode)} +
                     codes);
    }

    // The report lists the codes in force, as signed numbers.
    QVERIFY(applyProfile("KEY_ENTER=0x01000033\nKEY_ESCAPE=0xFFFFFFFF\n"));
    StdoutCapture capture;
    QTest::keyRelease(viewer.get(), Qt::Key_Return);
    const QStringList lines = capture.lines();
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines.at(10), QStringLiteral("ENTER: 16777267"));
    QCOMPARE(lines.at(11), QStringLiteral("ESCAPE: -1"));
}

void TestKeyDispatch::pressDoesNothing()
{
    QVERIFY(openDocument(viewer.get()));
    const View before = viewOf(page);

    StdoutCapture capture;
    QTest::keyPress(viewer.get(), Qt::Key_F4);
    QTest::keyPress(viewer.get(), Qt::Key_F3);
    QTest::keyPress(viewer.get(), Qt::Key_Escape);
    QCOMPARE(capture.lines(), QStringList());
    QCOMPARE(page->xOffset, before.x);
    QCOMPARE(page->yOffset, before.y);

    QTest::keyRelease(viewer.get(), Qt::Key_F4);
    QVERIFY(page->xOffset > before.x);
    QTest::keyRelease(viewer.get(), Qt::Key_F3);
    QVERIFY(page->yOffset > before.y);
    QCOMPARE(capture.lines(), QStringList());

    // Every release acts, auto-repeated ones too.
    const int x = page->xOffset;
    QTest::keyRelease(viewer.get(), Qt::Key_F5);
    QTest::keyRelease(viewer.get(), Qt::Key_F5);
    QVERIFY(page->xOffset < x);
    QCOMPARE(page->xOffset, 0);
}

void TestKeyDispatch::keyFromFocusedScrollBar()
{
    // A scroll bar with the focus does not take F keys; they reach the window.
    QVERIFY(openDocument(viewer.get()));
    auto *bar = viewer->findChild<QScrollBar *>("horizontalScrollBar");
    const View before = viewOf(page);
    StdoutCapture capture;
    QTest::keyRelease(bar, Qt::Key_F4);
    QVERIFY(page->xOffset > before.x);
    QTest::keyRelease(bar, Qt::Key_Escape);
    QCOMPARE(capture.lines().size(), 13);
}

void TestKeyDispatch::openKeyNeedsOption()
{
    std::unique_ptr<PDFViewer> withOpen;
    {
        StdoutCapture quiet;
        withOpen = std::make_unique<PDFViewer>(nullptr, true);
    }
    // The chooser is laid over its window, so that must be on screen.
    static_cast<QWidget *>(withOpen.get())->show();
    QVERIFY(QTest::qWaitForWindowExposed(withOpen.get()));
    // The chooser on a device is a frameless child of the window rather than a modal window of
    // its own, so it is looked for among all widgets, once it runs its own loop.
    QStringList shown;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&shown] {
        for (QWidget *widget : QApplication::allWidgets()) {
            auto *dialog = qobject_cast<QDialog *>(widget);
            if (dialog && dialog->isVisible() && dialog->testAttribute(Qt::WA_ShowModal)) {
                shown << QString::fromLatin1(dialog->metaObject()->className());
                dialog->reject();
            }
        }
    });
    closer.start(20);

    StdoutCapture capture;
    QCOMPARE(releaseInEventLoop(viewer.get(), Qt::Key_F1), stillRunning);
    QCOMPARE(shown, QStringList());
    QCOMPARE(capture.lines(), QStringList());

    QCOMPARE(releaseInEventLoop(withOpen.get(), Qt::Key_F1), stillRunning);
    QCOMPARE(shown, QStringList{"CustomFileOpenDialog"});
    // Closed without a choice: nothing was opened.
    QVERIFY(!PDFViewerTestAccess::documentLoaded(*withOpen));
}

QTEST_MAIN(TestKeyDispatch)
#include "tst_keydispatch.moc"
