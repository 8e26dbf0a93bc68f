#include "testdocuments.h"
#include "viewerprocess.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The viewer as a device's launcher starts it: real arguments, the window where they put it,
// standard output, and a real touch on the close softkey; and what it loads into the process.
class TestE2EStartup : public QObject
{
    Q_OBJECT

private slots:
    void argumentsGeometryAndCloseSoftkey();
    void noOpenGLDriverOnX();
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

// The widgets only rasterise. A window that merely could host OpenGL makes Qt's xcb platform load
// its GL integration, and Mesa its software driver with LLVM: tens of milliseconds and tens of
// megabytes at every start. libGL itself is linked by Qt Gui, so the driver is what counts.
void TestE2EStartup::noOpenGLDriverOnX()
{
    QTemporaryDir folder;
    const QString document = TestDocuments::writeA4Document(folder.filePath("one.pdf"), 1);
    QVERIFY(!document.isEmpty());
    ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
    QVERIFY2(viewer.startWithAutomation({"-f", document}), qPrintable(viewer.error()));
    QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));

    QFile maps(QString("/proc/%1/maps").arg(viewer.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QStringList mapped = QString::fromLocal8Bit(maps.readAll()).split('\n');
    // The page view's libraries are there, so the list is the viewer's and complete.
    QVERIFY(!mapped.filter("libpoppler-qt5").isEmpty());
    const QRegularExpression driver("_dri\\.so|libLLVM|libGLX_mesa|xcbglintegrations/");
    QCOMPARE(mapped.filter(driver), QStringList());
}

QTEST_MAIN(TestE2EStartup)
#include "tst_e2e_startup.moc"
