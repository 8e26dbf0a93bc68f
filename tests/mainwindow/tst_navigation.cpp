#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "paintcounter.h"
#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

// The window's commands from its scroll bars and from the keys, which run the softkeys' slots.
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
        QTest::addColumn<QString>("input"); // a key, or a bar and its action or "release"
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<QString>("after"); // page index, x, y, resolution, focus, and any quit

        // From page index 1 at x 96, y 48, 48 dpi, focus on close. The image is 562 pixels wide
        // in a view of 353: a slider unit is 49 pixels, and a page step goes from 2 to 0 or 4.
        const auto row = [](const char *input, const char *after, const QByteArray &profile = {}) {
            QTest::addRow("%s%s", input,
                          profile.isEmpty() ? "" : qPrintable(", " + profile.trimmed()))
                << QString(input) << profile << QString(after);
        };
        row("vertical 1", "1 96 96 48 vertical");
        row("vertical 2", "1 96 0 48 vertical");
        row("vertical 3", "2 96 0 48 vertical");
        row("vertical 4", "0 96 0 48 vertical");
        row("vertical 7", "1 96 48 48 vertical");
        row("vertical release", "1 96 0 48 close");
        row("horizontal 1", "1 144 48 48 horizontal");
        row("horizontal 3", "1 196 48 48 horizontal");
        row("horizontal 6", "1 96 48 48 horizontal");
        row("horizontal release", "1 98 48 48 close");
        // The default profile's keys; without the open command F1 does nothing.
        row("F4", "1 144 48 48 horizontal");
        row("Return", "1 144 48 48 horizontal");
        row("F5", "1 48 48 48 horizontal");
        row("F2", "1 96 0 48 vertical");
        row("F3", "1 96 96 48 vertical");
        row("F7", "1 96 48 58 close");
        row("F6", "1 96 48 38 close");
        row("F1", "1 96 48 48 close");
        row("F8", "1 96 48 48 close quit");
        row("Home", "1 96 48 48 close quit");
        row("Esc", "1 96 48 48 close report");
        row("Up", "1 96 0 48 vertical", "KEY_UP=0x01000013\n");
        row("F2", "1 96 48 48 close report", "KEY_UP=0x01000013\n");
        // One code for two commands: the earlier comparison wins.
        row("F5", "1 96 48 48 close quit", "KEY_HOME=0x01000034\n");
        row("F4", "1 144 48 48 horizontal", "KEY_DOWN=0x01000033\n");
        // A device's select key, which the focused close softkey would take as a click.
        row("Select", "1 144 48 48 horizontal", "KEY_ENTER=0x01010000\n");
        // Tab, which would pass the focus on to the next softkey: a zoom leaves it where it was.
        row("Tab", "1 96 48 58 close", "KEY_ZOOM_IN=0x01000001\n");
    }

    void commands()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, profile);
        QFETCH(QString, after);

        // A chooser brought up by mistake is then a window of its own, which the closer finds.
        deviceConfig.deviceType = 0;
        StdoutCapture setup;
        PDFViewer viewer(nullptr, false);
        QFile file(directory.filePath("keys.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(profile) == profile.size());
        file.close();
        viewer.loadDeviceConfig(file.fileName().toStdString());
        static_cast<QWidget &>(viewer).show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        viewer.initWithFile(landscape.toLocal8Bit().constData());
        auto *view = viewer.findChild<PDFWidget *>("pdfWidget");
        view->gotoPage(1);
        view->scrollDown();
        view->scrollRight();
        view->scrollRight();
        viewer.findChild<QPushButton *>("closeButton")->setFocus();
        const auto state = [view] {
            return QString::asprintf("%d %d %d %g", view->pageIndex, view->xOffset, view->yOffset,
                                     view->resolution);
        };
        const QString before = state();
        PaintCounter paints(view);
        ModalCloser closer;
        StdoutCapture capture;

        const QStringList words = input.split(' ');
        auto *bar = viewer.findChild<QScrollBar *>(words[0] + "ScrollBar");
        const int key = QKeySequence(input)[0];
        QString afterPress, seen;
        bool painted = false, quit = false;
        // Inside an event loop, as a device delivers keys; a quit ends every loop, this one too.
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            // Keys go to the focus widget, as the window system delivers them; what it leaves
            // goes on to the window.
            if (!bar) {
                QTest::sendKeyEvent(QTest::Press, viewer.focusWidget(), Qt::Key(key), QString(),
                                    Qt::NoModifier);
                QTest::qWait(30);
                afterPress = state();
            }
            paints.count = 0;
            if (!bar) {
                // The scan code is the only trace of the key itself in the report, unsigned.
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, 4294967295u, 0, 0);
                QCoreApplication::sendEvent(viewer.focusWidget(), &release);
            } else if (words[1] == "release") {
                bar->setSliderDown(true);
                bar->setSliderDown(false);
            } else {
                bar->triggerAction(QAbstractSlider::SliderAction(words[1].toInt()));
            }
            painted = paints.count > 0;
            const QString focus = viewer.focusWidget()->objectName();
            seen = state() + ' ' + QString(focus).remove("ScrollBar").remove("Button");
            quit = !loop.isRunning();
            loop.exit();
        });
        loop.exec();
        if (quit) {
            // The quit also marks the thread as quitting; the application's own loop clears that.
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
            QCoreApplication::exec();
        }

        QCOMPARE(afterPress, bar ? QString() : before);
        const QStringList lines = capture.lines();
        QCOMPARE(seen + (quit ? " quit" : "") + (lines.isEmpty() ? "" : " report"), after);
        // A command paints before it returns, so the page is on screen before the next key.
        QCOMPARE(painted, !seen.startsWith(before + ' '));
        QCOMPARE(closer.closed(), 0);
        // The report lists the codes in use, the profile's among them.
        const QString up = profile.isEmpty() ? "UP: 16777265" : "UP: 16777235";
        const QStringList report({"UNKNOWN KEY CODE RECEIVED: 4294967295",
                                  "Known Keycodes are:", "OPEN: 16777264", "CLOSE: 16777271",
                                  "LEFT: 16777268", "RIGHT: 16777267", up, "DOWN: 16777266",
                                  "ZOOM_IN: 16777270", "ZOOM_OUT: 16777269", "ENTER: 16777220",
                                  "ESCAPE: 16777216", "HOME: 16777232"});
        QCOMPARE(lines, after.endsWith("report") ? report : QStringList());
    }

    // On X the menu key also asks the focus widget for its context menu, and every scroll
    // command leaves the focus on a bar: a menu there would take the key's release.
    void noMenuOnScrollBars()
    {
        StdoutCapture quiet;
        PDFViewer viewer(nullptr, false);
        for (const char *name : {"verticalScrollBar", "horizontalScrollBar"}) {
            bool menu = false;
            QTimer::singleShot(100, &viewer, [&menu] {
                if (QWidget *popup = QApplication::activePopupWidget()) {
                    menu = true;
                    popup->close();
                }
            });
            QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(1, 1));
            QCoreApplication::sendEvent(viewer.findChild<QScrollBar *>(name), &request);
            QTest::qWait(150);
            QVERIFY2(!menu, name);
        }
    }

private:
    ProfileFreeDirectory directory;
    QString landscape;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
