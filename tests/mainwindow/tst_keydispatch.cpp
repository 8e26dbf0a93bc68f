#include "chooser/customfileopendialog.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

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

} // namespace

class TestKeyDispatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(directory.enter());
        document = TestDocuments::writeA4Document(directory.filePath("three.pdf"), 3);
        QVERIFY(!document.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }
    void release_data()
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

    void release()
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
        // Zoomed in and off the top left corner, so that every command has room both ways.
        viewer.initWithFile(document.toLocal8Bit().constData());
        auto *view = viewer.findChild<PDFWidget *>("pdfWidget");
        view->zoomIn();
        view->scrollRight();
        view->scrollDown();
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
    ProfileFreeDirectory directory;
    QString document;
};

QTEST_MAIN(TestKeyDispatch)
#include "tst_keydispatch.moc"
