#include "config/deviceconfig.h"
#include "config/pointerfile.h"
#include "config/profile.h"

#include "stdoutcapture.h"

#include <QtTest>

#include <climits>
#include <future>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every field as "name=value", so that a failure names the field that differs.
QStringList fields(const DeviceConfig &c)
{
#define FIELD(name) QStringLiteral(#name "=%1").arg(qint64(c.name))
    return QStringList() << FIELD(keyHome) << FIELD(keyEscape) << FIELD(keyEnter) << FIELD(keyClose)
                         << FIELD(keyZoomIn) << FIELD(keyZoomOut) << FIELD(keyLeft)
                         << FIELD(keyRight) << FIELD(keyDown) << FIELD(keyUp) << FIELD(keyOpen)
                         << FIELD(softkeyFrameCount) << FIELD(deviceType)
                         << FIELD(softkeyFramesOnSide) << FIELD(softkeysPerFrame) << FIELD(windowX)
                         << FIELD(windowY) << FIELD(windowWidth) << FIELD(windowHeight);
#undef FIELD
}

} // namespace

class TestConfigLoader : public QObject
{
    Q_OBJECT

private slots:
    void pointerFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("profilePath"); // "none" when the file names no profile

        const QByteArray none = "none";
        QTest::newRow("last line without newline")
            << QByteArray("config_file=/etc/dev.conf") << none;
        // Leading blanks stay, trailing ones go; the value starts after the last equals sign.
        QTest::newRow("value") << QByteArray("config_file=a=  /etc/dev.conf \t\r\n")
                               << QByteArray("  /etc/dev.conf");
        QTest::newRow("section, empty and other lines first, first match wins")
            << QByteArray("[main]\n\ndevice=3\nconfig_file=/first\nconfig_file=/second\n")
            << QByteArray("/first");
        // The key is compared whole and exactly.
        QTest::newRow("blank before the equals sign")
            << QByteArray("config_file =/etc/dev.conf\n") << none;
        QTest::newRow("upper case") << QByteArray("CONFIG_FILE=/etc/dev.conf\n") << none;
        QTest::newRow("no equals sign") << QByteArray("config_file\n") << QByteArray("config_file");
    }

    void pointerFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, profilePath);

        std::istringstream in(content.toStdString());
        StdoutCapture capture;
        const std::optional<std::string> named = readPointerFile(in);

        QCOMPARE(named ? QByteArray::fromStdString(*named) : QByteArray("none"), profilePath);
        QCOMPARE(capture.lines(), QStringList());
    }

    void profile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("changes");

        // The carriage return stays in every value: numbers convert, the text comparison fails.
        QTest::newRow("every key, CR LF")
            << QByteArray(
                   "DEVICE=5\r\nNO_OF_SOFTKEYS_PER_FRAME=6\r\nSOFTKEY_FRAMES_ON_SIDE=TRUE\r\n"
                   "NO_OF_SOFTKEY_FRAMES=1\r\nKEY_OPEN=101\r\nKEY_ENTER=102\r\nKEY_UP=103\r\n"
                   "KEY_DOWN=104\r\nKEY_LEFT=105\r\nKEY_RIGHT=106\r\nKEY_ZOOM_IN=107\r\n"
                   "KEY_ZOOM_OUT=108\r\nKEY_ESCAPE=109\r\nKEY_CLOSE=110\r\nKEY_HOME=111\r\n")
            << QStringList{"deviceType=5",        "softkeysPerFrame=6", "softkeyFramesOnSide=0",
                           "softkeyFrameCount=1", "keyOpen=101",        "keyEnter=102",
                           "keyUp=103",           "keyDown=104",        "keyLeft=105",
                           "keyRight=106",        "keyZoomIn=107",      "keyZoomOut=108",
                           "keyEscape=109",       "keyClose=110",       "keyHome=111"};
        // strtol and strtoul with base 0; codes are kept bit for bit, other values saturate, and
        // a code wider than 32 bits saturates on a 64-bit machine as on the device.
        QTest::newRow("numbers")
            << QByteArray("KEY_OPEN=0x01000013\nKEY_UP=0xFFFFFFFF\nKEY_DOWN=0100000023\n"
                          "DEVICE=99999999999999999999\nNO_OF_SOFTKEY_FRAMES=010\n"
                          "NO_OF_SOFTKEYS_PER_FRAME=abc\nKEY_LEFT=0x100000030\nKEY_RIGHT=-5\n")
            << QStringList{"keyOpen=16777235",    "keyUp=-1",
                           "keyDown=16777235",    "deviceType=" + QString::number(INT_MAX),
                           "softkeyFrameCount=8", "softkeysPerFrame=0",
                           "keyLeft=-1",          "keyRight=-5"};
        QTest::newRow("blanks, comments, hash in a value, lower-case true")
            << QByteArray("KEY_UP = 5\n#KEY_UP=5\nKEY_DOWN=6 # six\nSOFTKEY_FRAMES_ON_SIDE=true\n")
            << QStringList{"keyDown=6", "softkeyFramesOnSide=0"};
        QTest::newRow("later value wins, last line without newline")
            << QByteArray("KEY_UP=1\nKEY_UP=2\nKEY_FOO=3\nSOFTKEY_FRAMES_ON_SIDE=FALSE\n"
                          "SOFTKEY_FRAMES_ON_SIDE=TRUE\nKEY_DOWN=4")
            << QStringList{"keyUp=2", "softkeyFramesOnSide=1", "keyDown=4"};
        // A line of 254 characters is whole; a longer one is cut there and ends the reading.
        const QByteArray line254 = "DEVICE=" + QByteArray(246, '0') + "7";
        QTest::newRow("254 characters") << line254 + "\nKEY_UP=5\n"
                                        << QStringList{"deviceType=7", "keyUp=5"};
        QTest::newRow("300 characters") << line254 + QByteArray(46, '3') + "\nKEY_UP=5\n"
                                        << QStringList{"deviceType=7"};
    }

    void profile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, changes);

        DeviceConfig config = DeviceConfig::defaults();
        QStringList expected = fields(config);
        for (const QString &change : changes)
            for (QString &field : expected)
                if (field.section('=', 0, 0) == change.section('=', 0, 0))
                    field = change;
        std::istringstream in(content.toStdString());
        StdoutCapture capture;
        readProfile(in, config);

        QCOMPARE(capture.lines(), QStringList());
        QCOMPARE(fields(config), expected);
    }

    void specialFileCountsAsUnreadable_data()
    {
        QTest::addColumn<QString>("target"); // a device the file links to, or a FIFO when empty
        QTest::newRow("FIFO") << QString();
        QTest::newRow("device") << "/dev/null";
    }

    // A FIFO or a device in place of either file would keep the viewer waiting for a writer, or
    // reading for ever, before its window shows: it counts as a file that cannot be opened.
    void specialFileCountsAsUnreadable()
    {
        QFETCH(QString, target);
        QTemporaryDir dir;
        const std::string special = QFile::encodeName(dir.filePath("b7s.conf")).toStdString();
        QVERIFY(target.isEmpty() ? mkfifo(special.c_str(), 0600) == 0
                                 : QFile::link(target, dir.filePath("b7s.conf")));
        DeviceConfig config = DeviceConfig::defaults();
        const QStringList before = fields(config);
        StdoutCapture capture;
        auto read = std::async(std::launch::async, [&] {
            loadProfile(special, config);
            return readPointerFile(special).has_value();
        });
        const bool prompt = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        // A reader still waiting is let go, so that the test ends either way.
        while (read.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            close(open(special.c_str(), O_WRONLY | O_NONBLOCK));
        QVERIFY(prompt);
        QVERIFY(!read.get());
        const QString path = QString::fromStdString(special);
        QCOMPARE(capture.lines(),
                 QStringList({"Using config file " + path,
                              "Opening " + path + " FAILED! Using default B7 config!"}));
        QCOMPARE(fields(config), before);
    }

    // A directory opens as a plain stream opens it, and reads as an empty profile.
    void directoryReadsAsEmptyProfile()
    {
        QTemporaryDir dir;
        DeviceConfig config = DeviceConfig::defaults();
        StdoutCapture capture;
        loadProfile(QFile::encodeName(dir.path()).toStdString(), config);
        QCOMPARE(capture.lines(), QStringList{"Using config file " + dir.path()});
        QCOMPARE(fields(config), fields(DeviceConfig::defaults()));
    }

    void pointerFileOnTheDevice()
    {
        // Where the device keeps it; tests that build a window point it elsewhere.
        QCOMPARE(pointerFilePath(), std::string("/data/device_config.ini"));
    }
};

QTEST_MAIN(TestConfigLoader)
#include "tst_configloader.moc"
