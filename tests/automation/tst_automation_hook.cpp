// The viewer's plugin hook with stand-in plugins: what it prints for each outcome, and the
// override cursor it leaves.
#include "viewerprocess.h"

#include <QTest>

class TestAutomationHook : public QObject
{
    Q_OBJECT

private slots:
    void startupLines_data()
    {
        QTest::addColumn<QString>("plugin");
        QTest::addColumn<QStringList>("expected");
        // What a stand-in's entry point reports once the event loop runs.
        QTest::addColumn<QString>("cursor");
        const QString loaded = "Squish Plugin loaded", initialized = "Squish Plugin Initialized";
        QTest::newRow("returns 1")
            << "ok" << QStringList{loaded, initialized, "Squish opened Port: 5014", "Arguments: 1"}
            << "override cursor 13";
        QTest::newRow("returns 0")
            << "fail"
            << QStringList{loaded, initialized, "Squish FAILED to open Port: 5014", "Arguments: 1"}
            << "override cursor -1";
        QTest::newRow("no entry point")
            << "missing"
            << QStringList{loaded, "Squish FAILED to Initialize Plugin", "Arguments: 1"} << "";
        QTest::newRow("no plugin") << "" << QStringList{"Arguments: 1"} << "";
    }

    void startupLines()
    {
        QFETCH(QString, plugin);
        QFETCH(QStringList, expected);
        QFETCH(QString, cursor);
        ViewerProcess viewer(plugin.isEmpty() ? QString() : FAKE_PLUGIN_ROOT "/" + plugin, false);
        QVERIFY2(viewer.start(), qPrintable(viewer.error()));
        // The main window's constructor prints this after reading the profile.
        QVERIFY2(viewer.waitForLine("Opening b7s.conf FAILED! Using default B7 config!") &&
                     (cursor.isEmpty() || viewer.waitForLine(cursor)),
                 qPrintable(viewer.error()));
        QCOMPARE(viewer.lines().mid(0, expected.size()), expected);
        for (const QString &line : viewer.lines().mid(expected.size()))
            QVERIFY2(!line.startsWith("Squish"), qPrintable(line));
    }
};

QTEST_MAIN(TestAutomationHook)
#include "tst_automation_hook.moc"
