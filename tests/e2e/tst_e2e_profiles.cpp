#include "viewerprocess.h"

#include <QtTest>

// The device profile b7s.conf in the working directory decides where the softkeys and the page
// view go and which keys do what; real hardware keys reach the viewer in each arrangement.
class TestE2EProfiles : public QObject
{
    Q_OBJECT

private slots:
    void arrangementsAndKeyCodes_data();
    void arrangementsAndKeyCodes();
};

void TestE2EProfiles::arrangementsAndKeyCodes_data()
{
    QTest::addColumn<QString>("onSide");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QRect>("pageView");
    // Where each frame order puts the close softkey. Eight slots do not fit in a 272-pixel
    // column, so the last one is squeezed; in a 61-pixel row a softkey is centred.
    QTest::addColumn<QRect>("closeSoftkey");
    QTest::addColumn<QString>("closeKey");
    QTest::addColumn<int>("closeCode");
    QTest::newRow("side, two frames")
        << "TRUE" << 2 << QRect(52, 0, 353, 257) << QRect(0, 0, 50, 50) << "F8" << 0x01000037;
    QTest::newRow("side, one frame")
        << "TRUE" << 1 << QRect(0, 0, 409, 257) << QRect(428, 242, 50, 30) << "F9" << 0x01000038;
    QTest::newRow("top and bottom, two frames")
        << "FALSE" << 2 << QRect(0, 61, 465, 135) << QRect(429, 5, 50, 50) << "F10" << 0x01000039;
    QTest::newRow("top and bottom, one frame")
        << "FALSE" << 1 << QRect(0, 0, 465, 196) << QRect(61, 216, 50, 50) << "F11" << 0x0100003a;
}

void TestE2EProfiles::arrangementsAndKeyCodes()
{
    QFETCH(QString, onSide);
    QFETCH(int, frames);
    QFETCH(QRect, pageView);
    QFETCH(QRect, closeSoftkey);
    QFETCH(QString, closeKey);
    QFETCH(int, closeCode);

    ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
    QVERIFY(viewer.writeProfile(QString("SOFTKEY_FRAMES_ON_SIDE=%1\nNO_OF_SOFTKEY_FRAMES=%2\n"
                                        "NO_OF_SOFTKEYS_PER_FRAME=%3\nKEY_CLOSE=%4\n")
                                    .arg(onSide)
                                    .arg(frames)
                                    .arg(8 / frames)
                                    .arg(closeCode)
                                    .toLatin1()));
    QVERIFY2(viewer.startWithAutomation(), qPrintable(viewer.error()));
    QCOMPARE(ViewerProcess::geometry(viewer.widget("pdfWidget")), pageView);
    QCOMPARE(ViewerProcess::geometry(viewer.widget("closeButton")), closeSoftkey);

    // An unmapped key reports its scan code and the configured key codes.
    QVERIFY2(viewer.xKey("Escape"), qPrintable(viewer.error()));
    QVERIFY2(viewer.waitForLine("HOME: 16777232"), qPrintable(viewer.error()));
    const QStringList lines = viewer.lines();
    const int known = lines.indexOf("Known Keycodes are:");
    QVERIFY(known > 0);
    QVERIFY2(
        lines[known - 1].contains(QRegularExpression("^UNKNOWN KEY CODE RECEIVED: [1-9]\\d*$")),
        qPrintable(lines[known - 1]));
    QCOMPARE(lines.mid(known + 1),
             QStringList({"OPEN: 16777264", "CLOSE: " + QString::number(closeCode),
                          "LEFT: 16777268", "RIGHT: 16777267", "UP: 16777265", "DOWN: 16777266",
                          "ZOOM_IN: 16777270", "ZOOM_OUT: 16777269", "ENTER: 16777220",
                          "ESCAPE: 16777216", "HOME: 16777232"}));

    QVERIFY(viewer.xKey(closeKey));
    QCOMPARE(viewer.waitForExit(), 0);
}

QTEST_MAIN(TestE2EProfiles)
#include "tst_e2e_profiles.moc"
