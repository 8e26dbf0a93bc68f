#include "rfbclient.h"
#include "testdocuments.h"
#include "viewerprocess.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// X keysyms of the default profile's keys.
constexpr quint32 keyF1 = 0xffbe;
constexpr quint32 keyF3 = 0xffc0;
constexpr quint32 keyF8 = 0xffc5;
constexpr quint32 keyEscape = 0xff1b;

// The viewer on a vnc screen of the device's size, and that screen read once `ready` holds.
bool startOnScreen(ViewerProcess &viewer, RfbClient &rfb, const QStringList &arguments,
                   const std::function<bool()> &ready)
{
    const quint16 port = RfbClient::freePort();
    viewer.setPlatform(QString("vnc:size=480x272:port=%1").arg(port));
    return viewer.startWithAutomation(arguments) && QTest::qWaitFor(ready, 20000) &&
           QTest::qWaitFor([&] { return rfb.connectTo(port); }, 20000) &&
           rfb.waitForQuiet(700, 20000);
}

// The share of a window's own rendering that the framebuffer shows at its place: anything drawn
// elsewhere, late or not at all lowers it.
double shownShare(const QImage &screen, const QRect &place, const QImage &window)
{
    if (window.size() != place.size() || !QRect(QPoint(), screen.size()).contains(place))
        return 0;
    qint64 same = 0;
    for (int y = 0; y < window.height(); ++y)
        for (int x = 0; x < window.width(); ++x) {
            const QRgb a = screen.pixel(place.x() + x, place.y() + y);
            const QRgb b = window.pixel(x, y);
            same += qAbs(qRed(a) - qRed(b)) <= 8 && qAbs(qGreen(a) - qGreen(b)) <= 8 &&
                    qAbs(qBlue(a) - qBlue(b)) <= 8;
        }
    return double(same) / (qint64(window.width()) * window.height());
}

// Whether the quiet framebuffer shows the front window as the plugin renders it. Asked again: a
// repaint between the two reads, such as the chooser's scroll to the document, is no fault.
bool frontWindowShown(ViewerProcess &viewer, RfbClient &rfb)
{
    return QTest::qWaitFor(
        [&] {
            if (!rfb.waitForQuiet(700, 20000))
                return false;
            const QJsonObject front = viewer.widgets().first().toObject();
            return shownShare(rfb.framebuffer(), ViewerProcess::geometry(front), viewer.grab()) >
                   0.99;
        },
        20000);
}

// The share of an area's pixels whose every channel lies within [least, most].
double shareWithin(const QImage &image, const QRect &area, QRgb least, QRgb most)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += qRed(p) >= qRed(least) && qRed(p) <= qRed(most) &&
                     qGreen(p) >= qGreen(least) && qGreen(p) <= qGreen(most) &&
                     qBlue(p) >= qBlue(least) && qBlue(p) <= qBlue(most);
        }
    return double(count) / (qint64(area.width()) * area.height());
}

// The screen with the main window's place blanked out: Qt never draws where no window is, so a
// window of the viewer's drawn out of place changes it.
QImage outside(const QImage &screen, const QRect &window)
{
    QImage rest = screen;
    rest.fill(Qt::black);
    QPainter painter(&rest);
    painter.setClipRegion(QRegion(rest.rect()).subtracted(window));
    painter.drawImage(0, 0, screen);
    return rest;
}

} // namespace

// The viewer without an X server or window manager, as on a device: Qt's vnc platform shares
// linuxfb's framebuffer window code. Screen and keys go over RFB; the plugin only says where the
// windows are and how they look rendered on their own.
class TestE2EFramebuffer : public QObject
{
    Q_OBJECT

private slots:
    void placedWindowKeysChooserAndClose()
    {
        // Not in /tmp: the chooser watches the folders it lists, and other tests' folders that
        // come and go there repaint it at any moment, even between a choice and its notice.
        QTemporaryDir folder("/var/tmp/page-scope-e2e-XXXXXX");
        QVERIFY(folder.isValid());
        const QString document = TestDocuments::writeA4Document(folder.filePath("a.pdf"), 3);
        const QString next = TestDocuments::writeA4Document(folder.filePath("b.pdf"), 2);
        QVERIFY(!document.isEmpty() && !next.isEmpty());
        QFile profile("profiles/side-one-frame.conf");
        QVERIFY(profile.open(QIODevice::ReadOnly));
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, false);
        QVERIFY(viewer.writeProfile(profile.readAll()));
        RfbClient rfb;
        QVERIFY2(
            startOnScreen(viewer, rfb,
                          {"-x", "24", "-y", "12", "-w", "440", "-h", "250", "-o", "-f", document},
                          [&] { return viewer.waitForDocument(); }),
            qPrintable(viewer.error() + rfb.error()));

        // Frameless, where the options put it.
        const QRect window(24, 12, 440, 250);
        QCOMPARE(ViewerProcess::geometry(viewer.widget("PDFViewer")), window);
        const QImage around = outside(rfb.framebuffer(), window);
        QVERIFY(frontWindowShown(viewer, rfb));
        // The profile in the working directory puts the softkeys in one column on the right.
        const QRect close = ViewerProcess::geometry(viewer.widget("closeButton"));
        QVERIFY(close.left() > window.center().x() && window.contains(close));
        // A grab lacks an icon that did not load as the screen does: the red cross is sought there.
        QVERIFY2(shareWithin(rfb.framebuffer(), close, qRgb(181, 0, 0), qRgb(255, 89, 89)) > 0,
                 "the close softkey's icon is not drawn");

        // On a device the chooser is a frameless child over the whole window; Escape closes it.
        const auto chooserShown = [&] { return !viewer.widget("cancelButton").isEmpty(); };
        QVERIFY(rfb.clickKey(keyF1));
        QVERIFY2(QTest::qWaitFor(chooserShown, 20000), "the open key brought up no chooser");
        QJsonObject chooser;
        for (const QJsonValue &entry : viewer.widgets())
            if (entry.toObject().value("class") == "CustomFileOpenDialog")
                chooser = entry.toObject();
        QCOMPARE(ViewerProcess::geometry(chooser), window);
        QVERIFY(frontWindowShown(viewer, rfb));
        QVERIFY2(outside(rfb.framebuffer(), window) == around,
                 "the chooser drew outside the window");
        const int printed = viewer.lines().size();
        QVERIFY(rfb.clickKey(keyEscape));
        QVERIFY2(QTest::qWaitFor([&] { return !chooserShown(); }, 20000),
                 "Escape did not close the chooser");
        QVERIFY(frontWindowShown(viewer, rfb));

        // Down moves to the next document and open picks it. The loading notice reaches the screen
        // before the load: its translucent grey puts every channel of its top rows in 157..212.
        QVERIFY(rfb.clickKey(keyF1));
        QVERIFY(QTest::qWaitFor(chooserShown, 20000) && rfb.waitForQuiet(700, 20000));
        QVERIFY(rfb.clickKey(keyF3) && rfb.waitForQuiet(700, 20000) && rfb.clickKey(keyF1));
        const QRect notice(window.x() + window.width() / 4, window.y() + 100, window.width() / 2,
                           8);
        bool noticeShown = false;
        while (!noticeShown && rfb.readUpdate(3000))
            noticeShown = shareWithin(rfb.framebuffer(), notice, qRgb(150, 150, 150),
                                      qRgb(220, 220, 220)) == 1;
        QVERIFY2(noticeShown, "the loading notice did not reach the screen");
        QVERIFY2(viewer.waitForLine(next), qPrintable(viewer.error()));
        // Read only now, so that a report of Escape's release, had the window seen it, is in.
        QVERIFY(!viewer.lines().mid(printed).join('\n').contains("UNKNOWN KEY CODE RECEIVED"));
        QVERIFY2(QTest::qWaitFor([&] { return !viewer.widget(QString(), "1 / 2").isEmpty(); }),
                 "the chosen document is not shown");
        QVERIFY(!chooserShown());

        QVERIFY(rfb.clickKey(keyF8));
        QCOMPARE(viewer.waitForExit(), 0);
    }

    // On a device the keys come from an evdev node through Qt's own keyboard handler and its
    // built-in keymap. A FIFO stands in for the node; Qt takes only paths in /dev as devices.
    void keysFromAnEvdevNode()
    {
        if (geteuid() != 0)
            QSKIP("making a node in /dev needs root");
        const QByteArray node = "/dev/page-scope-test-keys-" + QByteArray::number(getpid());
        QVERIFY2(mkfifo(node, 0600) == 0, node);
        const auto removeNode = qScopeGuard([&] {
            unlink(node);
            qunsetenv("QT_QPA_GENERIC_PLUGINS");
        });
        // Read by the viewer's application object, which inherits this process's environment.
        qputenv("QT_QPA_GENERIC_PLUGINS", "evdevkeyboard:" + node);
        QTemporaryDir folder;
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, false);
        RfbClient rfb;
        const auto boxShown = [&] {
            return viewer.widgets().first().toObject().value("class") == "QMessageBox";
        };
        QVERIFY2(startOnScreen(viewer, rfb, {"-f", folder.filePath("missing.pdf")}, boxShown),
                 qPrintable(viewer.error() + rfb.error()));

        // Opened once the viewer reads, so no key is lost; a blocking open could hang for ever.
        int keys = -1;
        QVERIFY2(
            QTest::qWaitFor([&] { return (keys = open(node, O_WRONLY | O_NONBLOCK)) >= 0; }, 20000),
            "the viewer did not open the key node");
        fcntl(keys, F_SETFL, 0);
        // Key events of the values given: 1 a press, 0 a release, 2 a repeat.
        const auto type = [keys](unsigned short code, std::initializer_list<int> values = {1, 0}) {
            for (const int value : values) {
                input_event events[2] = {};
                events[0].type = EV_KEY;
                events[0].code = code;
                events[0].value = value;
                events[1].type = EV_SYN;
                if (write(keys, events, sizeof events) != sizeof events)
                    return false;
            }
            return true;
        };
        // The failure box stays up through the repeats of a key held down; a press closes it.
        QVERIFY(type(KEY_ENTER, {2, 2, 2}));
        QTest::qWait(500);
        QVERIFY2(boxShown(), "a held key's repeats closed the failure box");
        QVERIFY(type(KEY_ENTER));
        QVERIFY(QTest::qWaitFor([&] { return !boxShown(); }, 20000));
        // A key the profile does not map is reported with Qt's scan code, the Linux code + 8.
        QVERIFY(type(KEY_A));
        QVERIFY2(viewer.waitForLine("UNKNOWN KEY CODE RECEIVED: 38"), qPrintable(viewer.error()));
        QVERIFY(type(KEY_F8));
        close(keys);
        QCOMPARE(viewer.waitForExit(), 0);
    }
};

QTEST_MAIN(TestE2EFramebuffer)
#include "tst_e2e_framebuffer.moc"
