#include "chooser/customfileopendialog.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"
#include "paintcounter.h"
#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

constexpr int stillRunning = 77;

// Runs `events` inside an event loop, as a device delivers keys, and returns 0 when they quit
// the application.
int inEventLoop(const std::function<void()> &events)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        events();
        // A quit ends every running loop; one that still runs was not told to.
        if (loop.isRunning())
            loop.exit(stillRunning);
    });
    const int result = loop.exec();
    if (result != stillRunning) {
        // The quit also marks the thread as quitting; the application's own loop clears that.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
    return result;
}

// What a command changed on the page view, by direction.
QString movement(const PDFWidget *view, int x, int y, double resolution)
{
    QStringList moved;
    if (view->xOffset != x)
        moved << (view->xOffset > x ? "right" : "left");
    if (view->yOffset != y)
        moved << (view->yOffset > y ? "down" : "up");
    if (view->resolution != resolution)
        moved << (view->resolution > resolution ? "zoom in" : "zoom out");
    return moved.join(", ");
}

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

// The window's commands on the page view, from its softkeys and scroll bars and from the
// device's keys.
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
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("after"); // page index, x, y, resolution

        // From page index 1 at x 96, y 48, 48 dpi. The image is 562 pixels wide in a view of
        // 353: 1 column, so a slider unit is 49 pixels; a page step takes the slider from 2 to
        // an end of its range 0..4.
        const QString close = "closeButton", vertical = "verticalScrollBar",
                      horizontal = "horizontalScrollBar";
        const QString unmoved = "1 96 48 48";
        QTest::newRow("down") << "downButton" << vertical << "1 96 96 48";
        QTest::newRow("left") << "leftButton" << horizontal << "1 48 48 48";
        QTest::newRow("zoom in") << "zommInButton" << close << "1 96 48 58";
        QTest::newRow("zoom out") << "zoomOutButton" << close << "1 96 48 38";
        QTest::newRow("vertical arrow down") << "vertical 1" << vertical << "1 96 96 48";
        QTest::newRow("trough below") << "vertical 3" << vertical << "2 96 0 48";
        QTest::newRow("trough above") << "vertical 4" << vertical << "0 96 0 48";
        QTest::newRow("vertical drag") << "vertical 7" << vertical << unmoved;
        QTest::newRow("vertical release") << "vertical release" << close << "1 96 0 48";
        QTest::newRow("horizontal arrow right") << "horizontal 1" << horizontal << "1 144 48 48";
        QTest::newRow("trough right") << "horizontal 3" << horizontal << "1 196 48 48";
        QTest::newRow("horizontal to maximum") << "horizontal 6" << horizontal << unmoved;
        QTest::newRow("horizontal release") << "horizontal release" << close << "1 98 48 48";
    }

    void commands()
    {
        QFETCH(QString, command);
        QFETCH(QString, after);
        QFETCH(QString, focus);

        PDFViewer viewer(nullptr, true);
        static_cast<QWidget &>(viewer).show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        PDFWidget *view = middleOfDocument(viewer);
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

    void keys_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("effect");

        // The default profile's keys. The window has no open command, so F1 does nothing; the
        // chooser it brings up otherwise is tested with the chooser.
        const std::pair<Qt::Key, const char *> standard[] = {
            {Qt::Key_F4, "right"},    {Qt::Key_Return, "right"}, {Qt::Key_F5, "left"},
            {Qt::Key_F2, "up"},       {Qt::Key_F3, "down"},      {Qt::Key_F7, "zoom in"},
            {Qt::Key_F6, "zoom out"}, {Qt::Key_F1, ""},          {Qt::Key_F8, "quit"},
            {Qt::Key_Home, "quit"},   {Qt::Key_Escape, "report"}};
        for (const auto &[key, effect] : standard)
            QTest::addRow("%s %s", qPrintable(QKeySequence(key).toString()),
                          *effect ? effect : "nothing")
                << QByteArray() << int(key) << QString(effect);
        const QByteArray arrows = "KEY_UP=0x01000013\n";
        QTest::newRow("profile's up") << arrows << int(Qt::Key_Up) << "up";
        QTest::newRow("replaced code") << arrows << int(Qt::Key_F2) << "report";
        // One code for two commands: the earlier comparison wins.
        QTest::newRow("home before left")
            << QByteArray("KEY_HOME=0x01000034\n") << int(Qt::Key_F5) << "quit";
        QTest::newRow("right before down")
            << QByteArray("KEY_DOWN=0x01000033\n") << int(Qt::Key_F4) << "right";
    }

    void keys()
    {
        QFETCH(QByteArray, profile);
        QFETCH(int, key);
        QFETCH(QString, effect);

        const QString path = directory.filePath("keys.conf");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(profile) >= 0);
        file.close();
        StdoutCapture capture;
        PDFViewer viewer(nullptr, false);
        viewer.loadDeviceConfig(path.toStdString());
        PDFWidget *view = middleOfDocument(viewer);
        const int x = view->xOffset, y = view->yOffset;
        const double resolution = view->resolution;
        const int before = capture.lines().size();
        // A chooser brought up by mistake would wait in exec() for ever. It is a child widget,
        // out of reach of a modal-box closer: cancelled once exec() has marked it modal.
        int choosers = 0;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto *dialog = viewer.findChild<CustomFileOpenDialog *>();
            if (dialog && dialog->isModal()) {
                ++choosers;
                dialog->reject();
            }
        });
        closer.start(10);

        QString afterPress;
        const int result = inEventLoop([&] {
            QTest::keyPress(&viewer, Qt::Key(key));
            QTest::qWait(30);
            afterPress = movement(view, x, y, resolution);
            // The scan code is the only trace of the key itself in the report, printed unsigned.
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, 4294967295u, 0, 0);
            QCoreApplication::sendEvent(&viewer, &release);
        });

        QCOMPARE(afterPress, QString());
        QCOMPARE(result, effect == "quit" ? 0 : stillRunning);
        QCOMPARE(choosers, 0);
        const bool moves = effect != "quit" && effect != "report";
        QCOMPARE(movement(view, x, y, resolution), moves ? effect : QString());
        // The report lists the codes in use, the profile's among them.
        const QString up = profile.isEmpty() ? "UP: 16777265" : "UP: 16777235";
        const QStringList report({"UNKNOWN KEY CODE RECEIVED: 4294967295",
                                  "Known Keycodes are:", "OPEN: 16777264", "CLOSE: 16777271",
                                  "LEFT: 16777268", "RIGHT: 16777267", up, "DOWN: 16777266",
                                  "ZOOM_IN: 16777270", "ZOOM_OUT: 16777269", "ENTER: 16777220",
                                  "ESCAPE: 16777216", "HOME: 16777232"});
        QCOMPARE(capture.lines().mid(before), effect == "report" ? report : QStringList());
    }

private:
    // Page index 1 at x 96, y 48, 48 dpi, with room for every command both ways.
    PDFWidget *middleOfDocument(PDFViewer &viewer)
    {
        viewer.initWithFile(landscape.toLocal8Bit().constData());
        auto *view = viewer.findChild<PDFWidget *>("pdfWidget");
        view->gotoPage(1);
        view->scrollDown();
        view->scrollRight();
        view->scrollRight();
        return view;
    }

    ProfileFreeDirectory directory;
    QString landscape;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
