// The viewer's plugin hook with stand-in plugins: what it prints for each outcome, and the
// override cursor it leaves.
#include "viewerprocess.h"

#include <QTest>

class TestAutomationHook : public QObject
{
    Q_OBJECT

private slots:
    void startupLines_data();
    void startupLines();
};

void TestAutomationHook::startupLines_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QStringList>("expected");
    // What the stand-in reports once the event loop runs; empty when no entry point ran.
    QTest::addColumn<QString>("cursor");
    QTest::newRow("returns 1") << "hook-ok"
                               << QStringList{"Squish Plugin loaded", "Squish Plugin Initialized",
                                              "Squish opened Port: 5014", "Arguments: 1"}
                               << "override cursor 13";
    QTest::newRow("returns 0") << "hook-fail"
                               << QStringList{"Squish Plugin loaded", "Squish Plugin Initialized",
                                              "Squish FAILED to open Port: 5014", "Arguments: 1"}
                               << "override cursor -1";
    QTest::newRow("no entry point")
        << "hook-missing"
        << QStringList{"Squish Plugin loaded", "Squish FAILED to Initialize Plugin", "Arguments: 1"}
        << "";
    QTest::newRow("no plugin") << "" << QStringList{"Arguments: 1"} << "";
}

void TestAutomationHook::startupLines()
{
    QFETCH(QString, plugin);
    QFETCH(QStringList, expected);
    QFETCH(QString, cursor);
    ViewerProcess viewer(plugin.isEmpty() ? QString() : FAKE_PLUGIN_ROOT "/" + plugin, false);
    QVERIFY2(viewer.start(), qPrintable(viewer.error()));
    // The main window's constructor prints this after reading the profile.
    QVERIFY2(viewer.waitForLine("Opening b7s.conf FAILED! Using default B7 config!"),
             qPrintable(viewer.error()));
    if (!cursor.isEmpty())
        QVERIFY2(viewer.waitForLine(cursor), qPrintable(viewer.error()));
    QCOMPARE(viewer.lines().mid(0, expected.size()), expected);
    for (const QString &line : viewer.lines().mid(expected.size()))
        QVERIFY2(!line.startsWith("Squish"), qPrintable(line));
}

QTEST_MAIN(TestAutomationHook)
#include "tst_automationhook.moc"
