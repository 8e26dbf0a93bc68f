#include "testdocuments.h"
#include "viewersession.h"

#include <QTemporaryDir>
#include <QtTest>

// The device profile b7s.conf in the working directory decides where the softkeys and the page
// view go and whether the windows have a frame; the hardware keys drive the viewer in each case.
class ProfilesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void arrangementsAndKeys_data();
    void arrangementsAndKeys();
    void deviceNumberDecidesFrame_data();
    void deviceNumberDecidesFrame();

private:
    QTemporaryDir folder;
    QString document;
    QImage page;
    QImage zoomedPage;
};

namespace {

bool showsPage(const QImage &shot, const QRect &area, const QImage &page, const QPoint &offset)
{
    return Pixels::matchRatio(shot, area, page, offset) > 0.99;
}

// A window manager draws a frame unless the Motif hints switch all decorations off.
bool asksForFrame(const QString &motifHints)
{
    const int equals = motifHints.indexOf(QLatin1Char('='));
    if (equals < 0)
        return true;
    const QStringList fields = motifHints.mid(equals + 1).split(QLatin1Char(','));
    if (fields.size() < 3)
        return true;
    const uint flags = fields[0].trimmed().toUInt(nullptr, 16);
    const uint decorations = fields[2].trimmed().toUInt(nullptr, 16);
    const uint decorationsGiven = 0x2;
    return !(flags & decorationsGiven) || decorations != 0;
}

} // namespace

void ProfilesTest::initTestCase()
{
    QVERIFY(folder.isValid());
    document = TestDocuments::writeA4Document(folder.filePath(QStringLiteral("ten.pdf")), 10);
    QVERIFY(!document.isEmpty());
    page = renderPdfPage(document, 0, 48.0);
    zoomedPage = renderPdfPage(document, 0, 58.0);
    QVERIFY(!page.isNull() && !zoomedPage.isNull());
}

void ProfilesTest::arrangementsAndKeys_data()
{
    QTest::addColumn<QByteArray>("profile");
    // Where the softkey layout puts the page view at 480 x 272; the page is drawn from its
    // top-left corner.
    QTest::addColumn<QRect>("pageView");
    QTest::addColumn<QString>("quitKey");

    QTest::newRow("side, two frames, 4 softkeys")
        << QByteArray("SOFTKEY_FRAMES_ON_SIDE=TRUE\nNO_OF_SOFTKEY_FRAMES=2\n"
                      "NO_OF_SOFTKEYS_PER_FRAME=4\n")
        << QRect(52, 0, 353, 257) << "F8";
    QTest::newRow("side, one frame, 8 softkeys")
        << QByteArray("SOFTKEY_FRAMES_ON_SIDE=TRUE\nNO_OF_SOFTKEY_FRAMES=1\n"
                      "NO_OF_SOFTKEYS_PER_FRAME=8\n")
        << QRect(0, 0, 409, 257) << "Home";
    QTest::newRow("top and bottom, two frames, 4 softkeys")
        << QByteArray("SOFTKEY_FRAMES_ON_SIDE=FALSE\nNO_OF_SOFTKEY_FRAMES=2\n"
                      "NO_OF_SOFTKEYS_PER_FRAME=4\n")
        << QRect(0, 61, 465, 135) << "F8";
    QTest::newRow("top and bottom, one frame, 8 softkeys")
        << QByteArray("SOFTKEY_FRAMES_ON_SIDE=FALSE\nNO_OF_SOFTKEY_FRAMES=1\n"
                      "NO_OF_SOFTKEYS_PER_FRAME=8\n")
        << QRect(0, 0, 465, 196) << "Home";
}

void ProfilesTest::arrangementsAndKeys()
{
    QFETCH(QByteArray, profile);
    QFETCH(QRect, pageView);
    QFETCH(QString, quitKey);

    ViewerSession session;
    QVERIFY(session.writeProfile(profile));
    QVERIFY2(session.start({QStringLiteral("-f"), document}), qPrintable(session.error()));
    QVERIFY2(session.waitForWindow(), qPrintable(session.error()));
    QCOMPARE(session.windowGeometry().size(), QSize(480, 272));

    const auto waitForPage = [&](const QImage &expected, const QPoint &offset) {
        return !session
                    .waitForShot([&](const QImage &shot) {
                        return showsPage(shot, pageView, expected, offset);
                    })
                    .isNull();
    };
    QVERIFY2(waitForPage(page, QPoint(0, 0)), "the page is not where the layout puts it");
    ViewerSession::keepShot(session.windowShot(),
                            QStringLiteral("profile-%1.png").arg(QTest::currentDataTag()));
    QVERIFY(session.output().contains(QStringLiteral("Using config file b7s.conf")));

    const int step = 48;
    QVERIFY(session.key(QStringLiteral("F3")));
    QVERIFY2(waitForPage(page, QPoint(0, step)), "F3 did not scroll down");
    QVERIFY(session.key(QStringLiteral("F7")));
    QVERIFY2(waitForPage(zoomedPage, QPoint(0, step)), "F7 did not zoom in");
    // Right by one step of the new resolution, or as far as the wider page goes.
    const int right = qMin(58, zoomedPage.width() - pageView.width());
    QVERIFY(right > 0);
    QVERIFY(session.key(QStringLiteral("F4")));
    QVERIFY2(waitForPage(zoomedPage, QPoint(right, step)), "F4 did not scroll right");

    QVERIFY(session.key(QStringLiteral("Escape")));
    const QString known = QStringLiteral("Known Keycodes are:");
    const QStringList report = session.linesAfter(known, 11);
    const QStringList expected = {
        "OPEN: 16777264",  "CLOSE: 16777271",  "LEFT: 16777268",    "RIGHT: 16777267",
        "UP: 16777265",    "DOWN: 16777266",   "ZOOM_IN: 16777270", "ZOOM_OUT: 16777269",
        "ENTER: 16777220", "ESCAPE: 16777216", "HOME: 16777232",
    };
    QCOMPARE(report, expected);
    const QStringList all = session.output();
    const QString unknown = all.value(all.indexOf(known) - 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^UNKNOWN KEY CODE RECEIVED: [1-9][0-9]*$"))
                 .match(unknown)
                 .hasMatch(),
             qPrintable(unknown));

    QVERIFY(session.key(quitKey));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitStatus(), QProcess::NormalExit);
    QCOMPARE(session.exitCode(), 0);
}

void ProfilesTest::deviceNumberDecidesFrame_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<bool>("framed");

    QTest::newRow("device 0") << QByteArray("DEVICE=0\n") << true;
    QTest::newRow("device 1") << QByteArray("DEVICE=1\n") << false;
}

void ProfilesTest::deviceNumberDecidesFrame()
{
    QFETCH(QByteArray, profile);
    QFETCH(bool, framed);

    ViewerSession session;
    QVERIFY(session.writeProfile(profile));
    QVERIFY2(session.start({QStringLiteral("-o")}), qPrintable(session.error()));
    QVERIFY2(session.waitForWindow(), qPrintable(session.error()));
    // Xvfb runs no window manager, so the frame can only be seen in what the window asks for.
    const QString hints = session.property(session.windowId(), QStringLiteral("_MOTIF_WM_HINTS"));
    QVERIFY2(asksForFrame(hints) == framed, qPrintable(hints));

    // The chooser follows the main window: a framed dialog of its own, or a frameless child
    // laid over the main window, whose grey panel shows between the softkeys.
    QVERIFY(session.key(QStringLiteral("F1")));
    if (framed) {
        QStringList dialogs;
        QVERIFY2(ViewerSession::waitUntil([&] {
                     dialogs = session.visibleWindows(QStringLiteral("^Open PDF document$"));
                     return !dialogs.isEmpty();
                 }),
                 "no chooser window");
        QVERIFY(asksForFrame(session.property(dialogs.first(), QStringLiteral("_MOTIF_WM_HINTS"))));
        QVERIFY(session.key(QStringLiteral("F8"), dialogs.first()));
        QVERIFY2(session.waitForWindowCount(1), qPrintable(session.error()));
    } else {
        const QRect gap(0, 55, 50, 15);
        const auto chooserShown = [&](const QImage &shot) {
            return Pixels::countNear(shot, gap, qRgb(200, 200, 200), 2) ==
                   gap.width() * gap.height();
        };
        QVERIFY2(!session.waitForShot(chooserShown).isNull(), "no chooser over the window");
        QCOMPARE(session.visibleWindows().size(), 1);
        QVERIFY(session.key(QStringLiteral("F8")));
        QVERIFY2(
            !session.waitForShot([&](const QImage &shot) { return !chooserShown(shot); }).isNull(),
            "the chooser did not close");
    }
    QVERIFY(session.isRunning());

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
}

QTEST_MAIN(ProfilesTest)
#include "tst_e2e_profiles.moc"
