#include "testdocuments.h"
#include "viewerprocess.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The viewer as a device's launcher starts it on a private X server: real arguments, the device
// profile b7s.conf in the working directory, the window and softkeys where they put them,
// standard output, and real touches and hardware keys; and what it loads into the process.
class TestE2EStartup : public QObject
{
    Q_OBJECT

private slots:
    void argumentsGeometryAndCloseSoftkey()
    {
        QTemporaryDir folder;
        const QString document = TestDocuments::writeA4Document(folder.filePath("one.pdf"), 1);
        QVERIFY(!document.isEmpty());
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
        // The toolkit takes -style for itself, so it is not counted.
        QVERIFY2(viewer.startWithAutomation({"-style", "fusion", "-x", "10", "-y", "20", "-w",
                                             "400", "-h", "260", "-o", "--bogus", "-f", document}),
                 qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));
        // Frameless and without a window manager, so exactly the requested place.
        QCOMPARE(ViewerProcess::geometry(viewer.widget("PDFViewer")), QRect(10, 20, 400, 260));
        QCOMPARE(viewer.widget("openButton").value("enabled").toBool(), true);

        // The widgets only rasterise. A window that merely could host OpenGL makes Qt's xcb
        // platform load its GL integration, and Mesa its software driver with LLVM: tens of
        // milliseconds and megabytes at every start. Qt Gui links libGL, so the driver counts.
        QFile maps(QString("/proc/%1/maps").arg(viewer.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QStringList mapped = QString::fromLocal8Bit(maps.readAll()).split('\n');
        // The page view's libraries are there, so the list is the viewer's and complete.
        QVERIFY(!mapped.filter("libpoppler-qt5").isEmpty());
        const QRegularExpression driver("_dri\\.so|libLLVM|libGLX_mesa|xcbglintegrations/");
        QCOMPARE(mapped.filter(driver), QStringList());

        const QRect close = ViewerProcess::geometry(viewer.widget("closeButton"));
        QCOMPARE(close.topLeft(), QPoint(10, 20));
        QVERIFY2(viewer.xClick(close.center()), qPrintable(viewer.error()));
        QCOMPARE(viewer.waitForExit(), 0);
        const QStringList expected = {
            "Squish Plugin loaded",
            "Squish Plugin Initialized",
            "Squish opened Port: 5014",
            "Arguments: 13",
            "page-scope evaluating arg 'x' with value '10'.",
            "page-scope evaluating arg 'y' with value '20'.",
            "page-scope evaluating arg 'w' with value '400'.",
            "page-scope evaluating arg 'h' with value '260'.",
            "page-scope evaluating arg 'o' with value 'NONE'.",
            "page-scope evaluating arg '?' with value 'NONE'.",
            "page-scope INCOMPLETE arg '0' found - ignored",
            "page-scope evaluating arg 'f' with value '" + document + "'.",
            "Using config file b7s.conf",
            "Opening b7s.conf FAILED! Using default B7 config!",
        };
        QCOMPARE(viewer.lines(), expected);
    }

    void arrangementsAndKeyCodes_data()
    {
        QTest::addColumn<QString>("onSide");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QRect>("pageView");
        // Where each frame order puts the close softkey. Eight slots do not fit in a 272-pixel
        // column, so the last one is squeezed; in a 61-pixel row a softkey is centred. The
        // window's own tests place every arrangement; here each profile key is read by the real
        // binary from its working directory, and the close key is never the default F8.
        QTest::addColumn<QRect>("closeSoftkey");
        QTest::addColumn<QString>("closeKey");
        QTest::addColumn<int>("closeCode");
        QTest::newRow("side, one frame") << "TRUE" << 1 << QRect(0, 0, 409, 257)
                                         << QRect(428, 242, 50, 30) << "F9" << 0x01000038;
        QTest::newRow("top and bottom, two frames") << "FALSE" << 2 << QRect(0, 61, 465, 135)
                                                    << QRect(429, 5, 50, 50) << "F10" << 0x01000039;
    }

    void arrangementsAndKeyCodes()
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

        // An unmapped key reports the scan code of the real key and the configured key codes.
        QVERIFY2(viewer.xKey("Escape"), qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForLine("HOME: 16777232"), qPrintable(viewer.error()));
        const QStringList lines = viewer.lines();
        const int known = lines.indexOf("Known Keycodes are:");
        QVERIFY(known > 0);
        QVERIFY2(
            lines[known - 1].contains(QRegularExpression("^UNKNOWN KEY CODE RECEIVED: [1-9]\\d*$")),
            qPrintable(lines[known - 1]));
        QCOMPARE(lines.value(known + 2), "CLOSE: " + QString::number(closeCode));

        QVERIFY(viewer.xKey(closeKey));
        QCOMPARE(viewer.waitForExit(), 0);
    }
};

QTEST_MAIN(TestE2EStartup)
#include "tst_e2e_startup.moc"
