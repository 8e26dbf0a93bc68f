#include "viewersession.h"

#include <QtTest>

// The viewer as a device's launcher starts it: real arguments, the window on the X screen,
// standard output, and a touch on the close softkey.
class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void argumentsGeometryAndCloseSoftkey();
    void toolkitOptionIsNotCounted();
    void badInputNeverStopsStartup_data();
    void badInputNeverStopsStartup();
};

namespace {

// Strongly coloured pixels: icon artwork, as opposed to grey button faces and backgrounds.
int countSaturated(const QImage &shot, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor colour = shot.pixelColor(x, y);
            const int high = qMax(colour.red(), qMax(colour.green(), colour.blue()));
            const int low = qMin(colour.red(), qMin(colour.green(), colour.blue()));
            if (high - low > 80)
                ++count;
        }
    }
    return count;
}

} // namespace

void StartupTest::argumentsGeometryAndCloseSoftkey()
{
    ViewerSession session;
    QVERIFY2(session.start({"-x", "10", "-y", "20", "-w", "400", "-h", "260", "-o", "--bogus"}),
             qPrintable(session.error()));
    QVERIFY2(session.waitForWindow(), qPrintable(session.error()));
    // Frameless and without a window manager, so the geometry is exactly the requested one.
    QCOMPARE(session.windowGeometry(), QRect(10, 20, 400, 260));

    // Close softkey at the top of the left column, open softkey at the top of the right one
    // (the right column is 52 wide), both showing their icons once the window is drawn.
    const QRect closeKey(0, 0, 50, 50);
    const QRect openKey(400 - 52, 0, 50, 50);
    const QImage shot = session.waitForShot([&](const QImage &window) {
        return countSaturated(window, closeKey) > 100 && countSaturated(window, openKey) > 100;
    });
    QVERIFY2(!shot.isNull(), "the softkey icons never appeared");
    ViewerSession::keepShot(shot, QStringLiteral("startup.png"));

    QVERIFY(session.click(closeKey.center()));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitStatus(), QProcess::NormalExit);
    QCOMPARE(session.exitCode(), 0);

    const QStringList expected = {
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
    QCOMPARE(session.output(), expected);
}

void StartupTest::toolkitOptionIsNotCounted()
{
    ViewerSession session;
    QVERIFY2(session.start({"-style", "fusion", "-x", "5"}), qPrintable(session.error()));
    QVERIFY2(session.waitForWindow(), qPrintable(session.error()));
    QCOMPARE(session.windowGeometry(), QRect(5, 0, 480, 272));

    // Without -o the open softkey keeps its slot but shows nothing; the close softkey is drawn.
    const QImage shot = session.waitForShot(
        [](const QImage &window) { return countSaturated(window, QRect(0, 0, 50, 50)) > 100; });
    QVERIFY2(!shot.isNull(), qPrintable(session.error()));
    QCOMPARE(countSaturated(shot, QRect(480 - 52, 0, 50, 50)), 0);

    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitCode(), 0);
    const QStringList expected = {
        "Arguments: 3",
        "page-scope evaluating arg 'x' with value '5'.",
        "Using config file b7s.conf",
        "Opening b7s.conf FAILED! Using default B7 config!",
    };
    QCOMPARE(session.output(), expected);
}

void StartupTest::badInputNeverStopsStartup_data()
{
    QTest::addColumn<QStringList>("arguments");
    // Shell words instead of arguments, for bytes that are not UTF-8.
    QTest::addColumn<QString>("shellWords");
    QTest::addColumn<QString>("firstLine");
    // A file that cannot be found is reported in a message box that the user must close.
    QTest::addColumn<bool>("messageBox");

    const QString digits(5000, QLatin1Char('9'));
    QTest::newRow("empty strings")
        << QStringList{"-x", "", "-f", "", ""} << QString() << "Arguments: 6" << false;
    QTest::newRow("long unknown option") << QStringList{"--" + QString(5000, QLatin1Char('a'))}
                                         << QString() << "Arguments: 2" << false;
    QTest::newRow("long number") << QStringList{"-y", digits} << QString() << "Arguments: 3"
                                 << false;
    QTest::newRow("overflowing numbers")
        << QStringList{"-x", "99999999999999999999", "-w", "99999999999999999999"} << QString()
        << "Arguments: 5" << false;
    QTest::newRow("long path") << QStringList{"-f", "/" + QString(5000, QLatin1Char('p')) + ".pdf"}
                               << QString() << "Arguments: 3" << true;
    QTest::newRow("non-UTF-8 path")
        << QStringList() << QStringLiteral("-f \"$(printf '\\377\\376 plan.pdf')\"")
        << "Arguments: 3" << true;
}

void StartupTest::badInputNeverStopsStartup()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, shellWords);
    QFETCH(QString, firstLine);
    QFETCH(bool, messageBox);

    ViewerSession session;
    QVERIFY2(shellWords.isEmpty() ? session.start(arguments)
                                  : session.startWithShellArguments(shellWords),
             qPrintable(session.error()));
    QVERIFY2(
        session.waitForLine(QStringLiteral("Opening b7s.conf FAILED! Using default B7 config!")),
        qPrintable(session.error()));
    QCOMPARE(session.output().value(0), firstLine);

    QVERIFY2(session.waitForWindow(), qPrintable(session.error()));
    if (messageBox) {
        const QRegularExpression opening(QStringLiteral(
            "^PDFViewer::initWithFile\\(.*\\): File not found. Opening message box.$"));
        QVERIFY2(session.waitForLineMatching(opening), qPrintable(session.error()));
        QVERIFY2(session.waitForWindowCount(2), qPrintable(session.error()));
        QStringList windows = session.visibleWindows();
        windows.removeAll(session.windowId());
        QCOMPARE(windows.size(), 1);
        QVERIFY(session.key(QStringLiteral("Return"), windows.first()));
        QVERIFY2(session.waitForLineMatching(
                     QRegularExpression(QStringLiteral("File not found. Done with message box.$"))),
                 qPrintable(session.error()));
        QVERIFY2(session.waitForWindowCount(1), qPrintable(session.error()));
    }

    QVERIFY(session.isRunning());
    QVERIFY(session.key(QStringLiteral("F8")));
    QVERIFY2(session.waitForExit(), qPrintable(session.error()));
    QCOMPARE(session.exitStatus(), QProcess::NormalExit);
    QCOMPARE(session.exitCode(), 0);
}

QTEST_MAIN(StartupTest)
#include "tst_e2e_startup.moc"
