// The viewer's plugin hook with stand-ins and with the real plugin, which finds the port held.
#include "viewerprocess.h"

#include <QTcpServer>
#include <QTest>

class TestAutomationHook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Other runs may hold the port for a while.
        QVERIFY(QTest::qWaitFor(
            [&] { return squatter.listen(QHostAddress::LocalHost, ViewerProcess::automationPort); },
            120000));
    }

    void startupLines_data()
    {
        QTest::addColumn<QString>("pluginDirectory");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("cursor"); // as a stand-in reports it
        const QString loaded = "Squish Plugin loaded", initialized = "Squish Plugin Initialized";
        const QString fakes = FAKE_PLUGIN_ROOT "/";
        const QStringList portTaken{loaded, initialized, "Squish FAILED to open Port: 5014",
                                    "Arguments: 1"};
        QTest::newRow("returns 1")
            << fakes + "ok"
            << QStringList{loaded, initialized, "Squish opened Port: 5014", "Arguments: 1"}
            << "override cursor 13";
        QTest::newRow("returns 0") << fakes + "fail" << portTaken << "override cursor -1";
        QTest::newRow("real plugin, port taken") << SQUISH_PLUGIN_DIR << portTaken << "";
        QTest::newRow("no entry point")
            << fakes + "missing"
            << QStringList{loaded, "Squish FAILED to Initialize Plugin", "Arguments: 1"} << "";
        QTest::newRow("no plugin") << "" << QStringList{"Arguments: 1"} << "";
    }

    void startupLines()
    {
        QFETCH(QString, pluginDirectory);
        QFETCH(QStringList, expected);
        QFETCH(QString, cursor);
        ViewerProcess viewer(pluginDirectory, false);
        QVERIFY2(viewer.start(), qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForLine("Opening b7s.conf FAILED! Using default B7 config!") &&
                     (cursor.isEmpty() || viewer.waitForLine(cursor)),
                 qPrintable(viewer.error()));
        QCOMPARE(viewer.lines().mid(0, expected.size()), expected);
        for (const QString &line : viewer.lines().mid(expected.size()))
            QVERIFY2(!line.startsWith("Squish"), qPrintable(line));
        QTest::qWait(500); // whatever the plugin did, the viewer goes on
        QVERIFY(viewer.isRunning());
    }

    // A mistyped address opens the port nowhere, rather than on every interface; with the port
    // free, since the held one would refuse any address.
    void mistypedAddressOpensNoPort()
    {
        squatter.close();
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, false);
        viewer.setLaunchPrefix("export PAGE_SCOPE_AUTOMATION_ADDRESS=127.0.0.300 && ");
        QVERIFY2(viewer.start(), qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForLine("Squish FAILED to open Port: 5014"),
                 qPrintable(viewer.error()));
    }

private:
    QTcpServer squatter;
};

QTEST_MAIN(TestAutomationHook)
#include "tst_automation_hook.moc"
