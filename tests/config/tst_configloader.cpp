#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"

#include "deviceconfigfields.h"
#include "stdoutcapture.h"

#include <QtTest>

#include <climits>
#include <memory>

class PDFViewerTestAccess
{
public:
    static std::string &configFile(PDFViewer &viewer) { return viewer.configFile; }
};

namespace {

const char pointerFilePath[] = "/data/device_config.ini";

// A key that was given to the loader applies; everything else keeps the value it had.
QStringList withChanges(QStringList fields, const QStringList &changes)
{
    for (const QString &change : changes) {
        const QString name = change.section(QLatin1Char('='), 0, 0) + QLatin1Char('=');
        for (QString &field : fields) {
            if (field.startsWith(name))
                field = change;
        }
    }
    return fields;
}

template <int size> QByteArray bytes(const char (&text)[size])
{
    return QByteArray(text, size - 1);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Some bytes of everything, with a line break every hundred bytes and no "=", so no line of it
// can set a field.
QByteArray binaryGarbage()
{
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i) {
        char byte = char((i * 37 + 11) & 0xff);
        if (byte == '=' || byte == '\n')
            byte = 'x';
        bytes += i % 100 == 99 ? '\n' : byte;
    }
    return bytes;
}

const QByteArray everyKey = "DEVICE=5\n"
                            "NO_OF_SOFTKEYS_PER_FRAME=6\n"
                            "SOFTKEY_FRAMES_ON_SIDE=FALSE\n"
                            "NO_OF_SOFTKEY_FRAMES=1\n"
                            "KEY_OPEN=101\n"
                            "KEY_ENTER=102\n"
                            "KEY_UP=103\n"
                            "KEY_DOWN=104\n"
                            "KEY_LEFT=105\n"
                            "KEY_RIGHT=106\n"
                            "KEY_ZOOM_IN=107\n"
                            "KEY_ZOOM_OUT=108\n"
                            "KEY_ESCAPE=109\n"
                            "KEY_CLOSE=110\n"
                            "KEY_HOME=111\n";

const QStringList everyKeyApplied = {
    "deviceType=5",        "softkeysPerFrame=6", "softkeyFramesOnSide=0",
    "softkeyFrameCount=1", "keyOpen=101",        "keyEnter=102",
    "keyUp=103",           "keyDown=104",        "keyLeft=105",
    "keyRight=106",        "keyZoomIn=107",      "keyZoomOut=108",
    "keyEscape=109",       "keyClose=110",       "keyHome=111"};

} // namespace

class TestConfigLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { viewer.reset(); }

    void pointerFile_data();
    void pointerFile();
    void profile_data();
    void profile();
    void directoryInPlaceOfFile();
    void defaultLocations_data();
    void defaultLocations();

private:
    QDir originalDirectory = QDir::current();
    QTemporaryDir directory;
    std::unique_ptr<PDFViewer> viewer;
};

void TestConfigLoader::initTestCase()
{
    QVERIFY(directory.isValid());
    // Built where no profile lies around; the loaders are then driven through their arguments.
    QVERIFY(QDir::setCurrent(directory.path()));
    StdoutCapture quiet;
    viewer = std::make_unique<PDFViewer>(nullptr, false);
    QVERIFY(QDir::setCurrent(originalDirectory.path()));
}

void TestConfigLoader::init()
{
    deviceConfig = DeviceConfig::defaults();
    // Geometry belongs to the command line; setting it here shows that no profile touches it.
    deviceConfig.windowX = 7;
    deviceConfig.windowY = 8;
    deviceConfig.windowWidth = 333;
    deviceConfig.windowHeight = 222;
    PDFViewerTestAccess::configFile(*viewer) = "b7s.conf";
}

void TestConfigLoader::pointerFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("configFile");

    const QByteArray standard = "b7s.conf";
    QTest::newRow("no pointer file") << false << QByteArray() << standard;
    QTest::newRow("empty pointer file") << true << QByteArray() << standard;
    QTest::newRow("line with newline")
        << true << QByteArray("config_file=/etc/dev.conf\n") << QByteArray("/etc/dev.conf");
    QTest::newRow("line without newline")
        << true << QByteArray("config_file=/etc/dev.conf") << standard;
    QTest::newRow("trailing blanks, tab and CR")
        << true << QByteArray("config_file=/etc/dev.conf  \t \r\n") << QByteArray("/etc/dev.conf");
    QTest::newRow("leading blanks kept")
        << true << QByteArray("config_file=  /etc/dev.conf\n") << QByteArray("  /etc/dev.conf");
    QTest::newRow("value after the last equals sign")
        << true << QByteArray("config_file=a=b\n") << QByteArray("b");
    QTest::newRow("blanks around equals sign")
        << true << QByteArray("config_file = /etc/dev.conf\n") << standard;
    QTest::newRow("key case matters")
        << true << QByteArray("Config_File=/etc/dev.conf\n") << standard;
    QTest::newRow("section and empty lines first")
        << true << QByteArray("[main]\n\n\nconfig_file=/etc/dev.conf\n")
        << QByteArray("/etc/dev.conf");
    QTest::newRow("section line holding the key")
        << true << QByteArray("[config_file=/x.conf]\nconfig_file=/y.conf\n")
        << QByteArray("/y.conf");
    QTest::newRow("other keys skipped")
        << true << QByteArray("device=3\nconfig_file=/etc/dev.conf\r\n")
        << QByteArray("/etc/dev.conf");
    QTest::newRow("first match wins")
        << true << QByteArray("config_file=/first.conf\nconfig_file=/second.conf\n")
        << QByteArray("/first.conf");
    QTest::newRow("empty value") << true << QByteArray("config_file=\n") << QByteArray();
    QTest::newRow("value of blanks only")
        << true << QByteArray("config_file= \t\r\n") << QByteArray();
    // With no "=" the key and the value are both the whole line.
    QTest::newRow("key alone") << true << QByteArray("config_file\n") << QByteArray("config_file");
    QTest::newRow("binary garbage") << true << binaryGarbage() + "\nconfig_file=/etc/dev.conf\n"
                                    << QByteArray("/etc/dev.conf");
    QTest::newRow("NUL bytes") << true << bytes("\0config_file=/x.conf\n") << standard;
    const QByteArray longValue(100000, 'v');
    QTest::newRow("very long line") << true << "config_file=/" + longValue + "\n"
                                    << "/" + longValue;
}

void TestConfigLoader::pointerFile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, configFile);

    const QString path = directory.filePath("device_config.ini");
    QFile::remove(path);
    if (exists)
        QVERIFY(writeFile(path, content));

    const QStringList before = deviceConfigFields(deviceConfig);

    StdoutCapture capture;
    viewer->locateConfigFile(path.toStdString());

    QCOMPARE(QByteArray::fromStdString(PDFViewerTestAccess::configFile(*viewer)), configFile);
    QCOMPARE(capture.lines(), QStringList());
    QCOMPARE(deviceConfigFields(deviceConfig), before);
}

void TestConfigLoader::profile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("changes");

    QTest::newRow("missing") << false << QByteArray() << QStringList();
    QTest::newRow("empty") << true << QByteArray() << QStringList();
    QTest::newRow("every key") << true << everyKey << everyKeyApplied;

    // On a CR LF file the carriage return stays in every value: numbers still convert, the
    // text comparison fails.
    QByteArray crlf = everyKey;
    crlf.replace("\n", "\r\n").replace("=FALSE", "=TRUE");
    QTest::newRow("CR LF line ends") << true << crlf << everyKeyApplied;

    const QStringList keyUpArrow{"keyClose=16777235"};
    QTest::newRow("hexadecimal code") << true << QByteArray("KEY_CLOSE=0x01000013\n") << keyUpArrow;
    QTest::newRow("upper-case hex prefix")
        << true << QByteArray("KEY_CLOSE=0X01000013\n") << keyUpArrow;
    QTest::newRow("decimal code") << true << QByteArray("KEY_CLOSE=16777235\n") << keyUpArrow;
    QTest::newRow("octal code") << true << QByteArray("KEY_CLOSE=0100000023\n") << keyUpArrow;
    QTest::newRow("blanks after equals sign")
        << true << QByteArray("KEY_CLOSE= 0x01000013\n") << keyUpArrow;
    QTest::newRow("blanks around equals sign")
        << true << QByteArray("KEY_CLOSE = 0x01000013\n") << QStringList();
    QTest::newRow("key case matters") << true << QByteArray("key_close=5\n") << QStringList();
    QTest::newRow("comment line") << true << QByteArray("#KEY_UP=5\n") << QStringList();
    QTest::newRow("hash inside a value")
        << true << QByteArray("KEY_UP=5 # five\n") << QStringList{"keyUp=5"};
    QTest::newRow("unknown key") << true << QByteArray("KEY_FOO=5\nKEY_UP=6\n")
                                 << QStringList{"keyUp=6"};
    QTest::newRow("section and empty lines")
        << true << QByteArray("[main]\n\n\nKEY_UP=6\n") << QStringList{"keyUp=6"};
    QTest::newRow("key twice") << true << QByteArray("KEY_UP=1\nKEY_UP=2\n")
                               << QStringList{"keyUp=2"};
    QTest::newRow("last line without newline")
        << true << QByteArray("KEY_DOWN=3\nKEY_UP=6") << QStringList{"keyDown=3", "keyUp=6"};

    QTest::newRow("frames on side, later value wins")
        << true << QByteArray("SOFTKEY_FRAMES_ON_SIDE=FALSE\nSOFTKEY_FRAMES_ON_SIDE=TRUE\n")
        << QStringList{"softkeyFramesOnSide=1"};
    QTest::newRow("frames on side lower case")
        << true << QByteArray("SOFTKEY_FRAMES_ON_SIDE=true\n")
        << QStringList{"softkeyFramesOnSide=0"};
    QTest::newRow("frames on side with a blank")
        << true << QByteArray("SOFTKEY_FRAMES_ON_SIDE=TRUE \n")
        << QStringList{"softkeyFramesOnSide=0"};

    QTest::newRow("device zero") << true << QByteArray("DEVICE=0\n") << QStringList{"deviceType=0"};
    QTest::newRow("device octal") << true << QByteArray("DEVICE=010\n")
                                  << QStringList{"deviceType=8"};
    QTest::newRow("device negative")
        << true << QByteArray("DEVICE=-3\n") << QStringList{"deviceType=-3"};

    QTest::newRow("malformed values")
        << true << QByteArray("KEY_UP=abc\nNO_OF_SOFTKEYS_PER_FRAME=\n")
        << QStringList{"keyUp=0", "softkeysPerFrame=0"};
    // Signed fields clamp at their limits; key codes keep the low 32 bits of the unsigned value.
    QTest::newRow("overflowing values")
        << true
        << QByteArray("DEVICE=99999999999999999999\n"
                      "NO_OF_SOFTKEY_FRAMES=-99999999999999999999\n"
                      "NO_OF_SOFTKEYS_PER_FRAME=4294967300\n"
                      "KEY_UP=99999999999999999999\n"
                      "KEY_DOWN=0xFFFFFFFF\n"
                      "KEY_LEFT=-1\n")
        << QStringList{"deviceType=" + QString::number(INT_MAX),
                       "softkeyFrameCount=" + QString::number(INT_MIN),
                       "softkeysPerFrame=" + QString::number(INT_MAX),
                       "keyUp=-1",
                       "keyDown=-1",
                       "keyLeft=-1"};

    // A line is read into 254 characters: one of exactly that length is whole and reading goes
    // on; a longer one is cut there and is the last line read.
    const QByteArray line254 = "DEVICE=" + QByteArray(246, '0') + "7";
    QTest::newRow("254-character line") << true << line254 + "\nKEY_UP=5\n"
                                        << QStringList{"deviceType=7", "keyUp=5"};
    QTest::newRow("255-character line") << true << line254 + "3\nKEY_UP=5\n"
                                        << QStringList{"deviceType=7"};
    QTest::newRow("300-character line") << true << line254 + QByteArray(46, '3') + "\nKEY_UP=5\n"
                                        << QStringList{"deviceType=7"};

    QTest::newRow("NUL ends the line")
        << true << bytes("KEY_UP=5\0KEY_DOWN=6\n\0KEY_LEFT=7\nKEY_RIGHT=8\n")
        << QStringList{"keyUp=5", "keyRight=8"};
    QTest::newRow("binary garbage") << true << binaryGarbage() + "\nKEY_UP=6\n"
                                    << QStringList{"keyUp=6"};
}

void TestConfigLoader::profile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, changes);

    const QString path = directory.filePath("profile.conf");
    QFile::remove(path);
    if (exists)
        QVERIFY(writeFile(path, content));
    const QStringList before = deviceConfigFields(deviceConfig);

    StdoutCapture capture;
    viewer->loadDeviceConfig(path.toStdString());

    QStringList output{"Using config file " + path};
    if (!exists)
        output << "Opening " + path + " FAILED! Using default B7 config!";
    QCOMPARE(capture.lines(), output);
    QCOMPARE(deviceConfigFields(deviceConfig), withChanges(before, changes));
    QCOMPARE(QString::fromStdString(PDFViewerTestAccess::configFile(*viewer)), path);
}

void TestConfigLoader::directoryInPlaceOfFile()
{
    const QString path = directory.filePath("folder");
    QVERIFY(QDir(directory.path()).mkpath("folder"));
    const QStringList before = deviceConfigFields(deviceConfig);

    {
        StdoutCapture capture;
        viewer->locateConfigFile(path.toStdString());
        QCOMPARE(capture.lines(), QStringList());
    }
    QCOMPARE(PDFViewerTestAccess::configFile(*viewer), std::string("b7s.conf"));

    // A directory opens but reads nothing: whether that is reported as a failed open is up to
    // the C++ library; the settings must stay as they were either way.
    StdoutCapture capture;
    viewer->loadDeviceConfig(path.toStdString());
    const QStringList lines = capture.lines();
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), "Using config file " + path);
    QVERIFY(lines.size() == 1 ||
            lines == QStringList(
                         {lines.first(), "Opening " + path + " FAILED! Using default B7 config!"}));
    QCOMPARE(deviceConfigFields(deviceConfig), before);
}

void TestConfigLoader::defaultLocations_data()
{
    QTest::addColumn<bool>("profileExists");
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<QStringList>("changes");

    QTest::newRow("neither file")
        << false
        << QStringList{"Using config file b7s.conf",
                       "Opening b7s.conf FAILED! Using default B7 config!"}
        << QStringList();
    QTest::newRow("profile in the working directory")
        << true << QStringList{"Using config file b7s.conf"} << QStringList{"keyUp=6"};
}

void TestConfigLoader::defaultLocations()
{
    QFETCH(bool, profileExists);
    QFETCH(QStringList, output);
    QFETCH(QStringList, changes);

    if (QFileInfo::exists(pointerFilePath))
        QSKIP("this machine has a device pointer file, which would choose the profile");

    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    if (profileExists)
        QVERIFY(writeFile(workingDirectory.filePath("b7s.conf"), "KEY_UP=6\n"));
    const QStringList before = deviceConfigFields(deviceConfig);

    QVERIFY(QDir::setCurrent(workingDirectory.path()));
    StdoutCapture capture;
    viewer->loadDeviceConfig(std::string());
    QVERIFY(QDir::setCurrent(originalDirectory.path()));

    QCOMPARE(capture.lines(), output);
    QCOMPARE(deviceConfigFields(deviceConfig), withChanges(before, changes));
}

QTEST_MAIN(TestConfigLoader)
#include "tst_configloader.moc"
