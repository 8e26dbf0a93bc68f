#include "viewerprocess.h"

#include <QtTest>

// The viewer as a device's launcher starts it: real arguments, the window where they put it,
// standard output, and a real touch on the close softkey.
class TestE2EStartup : public QObject
{
    Q_OBJECT

private slots:
    void argumentsGeometryAndCloseSoftkey();
};

void TestE2EStartup::argumentsGeometryAndCloseSoftkey()
{
    ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
    // The toolkit takes -style for itself, so it is not counted.
    QVERIFY2(viewer.startWithAutomation({"-style", "fusion", "-x", "10", "-y", "20", "-w", "400",
                                         "-h", "260", "-o", "--bogus"}),
             qPrintable(viewer.error()));
    // Frameless and without a window manager, so exactly the requested place.
    QCOMPARE(ViewerProcess::geometry(viewer.widget("PDFViewer")), QRect(10, 20, 400, 260));
    QCOMPARE(viewer.widget("openButton").value("enabled").toBool(), true);

    const QRect close = ViewerProcess::geometry(viewer.widget("closeButton"));
    QCOMPARE(close.topLeft(), QPoint(10, 20));
    QVERIFY2(viewer.xClick(close.center()), qPrintable(viewer.error()));
    QCOMPARE(viewer.waitForExit(), 0);
    const QStringList expected = {
        "Squish Plugin loaded",
        "Squish Plugin Initialized",
        "Squish opened Port: 5014",
        "Arguments: 11",
        "page-scope evaluating arg 'x' with value '10'.",
        "page-scope evaluating arg 'y' with value '20'.",
        "page-scope evaluating arg 'w' with value '400'.",
        "page-scope evaluating arg 'h' with value '260'.",
        "page-scope evaluating arg 'o' with value 'NONE'.",
        "page-scope evaluating arg '?' with value 'NONE'.",
        "page-scope INCOMPLETE arg '0' found - ignored",
        "Using config file b7s.conf",
        "Opening b7s.conf FAILED! Using default B7 config!",
    };
    QCOMPARE(viewer.lines(), expected);
}

QTEST_MAIN(TestE2EStartup)
#include "tst_e2e_startup.moc"
