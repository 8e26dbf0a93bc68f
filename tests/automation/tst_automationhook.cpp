// The viewer's plugin hook against stand-in plugins: what it prints for each outcome, and the
// pointing-hand cursor it sets when the port is open.
#include "viewerprocess.h"

#include <QTest>

class TestAutomationHook : public QObject
{
    Q_OBJECT

private slots:
    void startupLines_data();
    void startupLines();
    void openPortSetsPointingHandCursor();
};

void TestAutomationHook::startupLines_data()
{
    QTest::addColumn<QString>("plugin");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("returns 1") << "hook-ok"
                               << QStringList{"Squish Plugin loaded", "Squish Plugin Initialized",
                                              "Squish opened Port: 5014", "Arguments: 1"};
    QTest::newRow("returns 0") << "hook-fail"
                               << QStringList{"Squish Plugin loaded", "Squish Plugin Initialized",
                                              "Squish FAILED to open Port: 5014", "Arguments: 1"};
    QTest::newRow("no entry point")
        << "hook-missing"
        << QStringList{"Squish Plugin loaded", "Squish FAILED to Initialize Plugin",
                       "Arguments: 1"};
    QTest::newRow("no plugin") << "" << QStringList{"Arguments: 1"};
}

void TestAutomationHook::startupLines()
{
    QFETCH(QString, plugin);
    QFETCH(QStringList, expected);
    ViewerProcess viewer(plugin.isEmpty() ? QString()
                                          : QStringLiteral(FAKE_PLUGIN_ROOT "/") + plugin,
                         QStringLiteral("offscreen"));
    QString error;
    QVERIFY2(viewer.start(&error), qPrintable(error));
    QVERIFY2(viewer.waitForLine("Arguments: 1"), qPrintable(viewer.lines().join('\n')));
    QCOMPARE(viewer.lines().mid(0, expected.size()), expected);
    // Nothing else of the hook's comes later.
    for (const QString &line : viewer.lines().mid(expected.size()))
        QVERIFY2(!line.startsWith("Squish"), qPrintable(line));
}

void TestAutomationHook::openPortSetsPointingHandCursor()
{
    ViewerProcess viewer(QStringLiteral(FAKE_PLUGIN_ROOT "/hook-cursor"), "offscreen");
    QString error;
    QVERIFY2(viewer.start(&error), qPrintable(error));
    QVERIFY2(
        viewer.waitForLine(
            QStringLiteral("fake plugin: override cursor %1").arg(int(Qt::PointingHandCursor))),
        qPrintable(viewer.lines().join('\n')));
}

QTEST_MAIN(TestAutomationHook)
#include "tst_automationhook.moc"
