#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"

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

// Every field as "name=value", so that a failure names the field that differs.
QStringList fields(const DeviceConfig &c)
{
#define FIELD(name) QStringLiteral(#name "=%1").arg(qint64(c.name))
    return {FIELD(keyHome),          FIELD(keyEscape),
            FIELD(keyEnter),         FIELD(keyClose),
            FIELD(keyZoomIn),        FIELD(keyZoomOut),
            FIELD(keyLeft),          FIELD(keyRight),
            FIELD(keyDown),          FIELD(keyUp),
            FIELD(keyOpen),          FIELD(softkeyFrameCount),
            FIELD(deviceType),       FIELD(softkeyFramesOnSide),
            FIELD(softkeysPerFrame), FIELD(windowX),
            FIELD(windowY),          FIELD(windowWidth),
            FIELD(windowHeight)};
#undef FIELD
}

// The fields after a load: those named in changes take their new value, the rest keep theirs.
QStringList withChanges(QStringList before, const QStringList &changes)
{
    for (const QString &change : changes)
        for (QString &field : before)
            if (field.section('=', 0, 0) == change.section('=', 0, 0))
                field = change;
    return before;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

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
    void defaultLocations();

private:
    QTemporaryDir directory;
    std::unique_ptr<PDFViewer> viewer;
};

void TestConfigLoader::initTestCase()
{
    QVERIFY(directory.isValid());
    StdoutCapture quiet;
    viewer = std::make_unique<PDFViewer>(nullptr, false);
}

void TestConfigLoader::init()
{
    deviceConfig = DeviceConfig::defaults();
    // Geometry belongs to the command line; no profile may touch it.
    deviceConfig.windowX = 7;
    deviceConfig.windowWidth = 333;
    PDFViewerTestAccess::configFile(*viewer) = "b7s.conf";
}

void TestConfigLoader::pointerFile_data()
{
    QTest::addColumn<QByteArray>("content"); // "missing" writes no file
    QTest::addColumn<QByteArray>("configFile");

    const QByteArray standard = "b7s.conf";
    QTest::newRow("missing") << QByteArray("missing") << standard;
    QTest::newRow("last line without newline")
        << QByteArray("config_file=/etc/dev.conf") << standard;
    // Leading blanks stay, trailing ones go; the value starts after the last equals sign.
    QTest::newRow("value") << QByteArray("config_file=a=  /etc/dev.conf \t\r\n")
                           << QByteArray("  /etc/dev.conf");
    QTest::newRow("section, empty and other lines first, first match wins")
        << QByteArray("[main]\n\ndevice=3\nconfig_file=/first\nconfig_file=/second\n")
        << QByteArray("/first");
}

void TestConfigLoader::pointerFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, configFile);

    const QString path = directory.filePath("device_config.ini");
    QFile::remove(path);
    if (content != "missing")
        QVERIFY(writeFile(path, content));
    const QStringList before = fields(deviceConfig);

    StdoutCapture capture;
    viewer->locateConfigFile(path.toStdString());

    QCOMPARE(QByteArray::fromStdString(PDFViewerTestAccess::configFile(*viewer)), configFile);
    QCOMPARE(capture.lines(), QStringList());
    QCOMPARE(fields(deviceConfig), before);
}

void TestConfigLoader::profile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("changes");

    const QByteArray everyKey =
        "DEVICE=5\nNO_OF_SOFTKEYS_PER_FRAME=6\nSOFTKEY_FRAMES_ON_SIDE=FALSE\n"
        "NO_OF_SOFTKEY_FRAMES=1\nKEY_OPEN=101\nKEY_ENTER=102\nKEY_UP=103\nKEY_DOWN=104\n"
        "KEY_LEFT=105\nKEY_RIGHT=106\nKEY_ZOOM_IN=107\nKEY_ZOOM_OUT=108\nKEY_ESCAPE=109\n"
        "KEY_CLOSE=110\nKEY_HOME=111\n";
    const QStringList everyKeyApplied{
        "deviceType=5",        "softkeysPerFrame=6", "softkeyFramesOnSide=0",
        "softkeyFrameCount=1", "keyOpen=101",        "keyEnter=102",
        "keyUp=103",           "keyDown=104",        "keyLeft=105",
        "keyRight=106",        "keyZoomIn=107",      "keyZoomOut=108",
        "keyEscape=109",       "keyClose=110",       "keyHome=111"};

    QTest::newRow("every key") << everyKey << everyKeyApplied;
    // CR LF line ends: the carriage return stays in every value, so the numbers still convert
    // and the text comparison fails.
    QByteArray crlf = QByteArray(everyKey).replace("\n", "\r\n").replace("=FALSE", "=TRUE");
    QTest::newRow("CR LF") << crlf << everyKeyApplied;
    // strtol and strtoul with base 0; codes are kept bit for bit, other values saturate.
    QTest::newRow("numbers") << QByteArray(
                                    "KEY_OPEN=0x01000013\nKEY_UP=0xFFFFFFFF\nKEY_DOWN=0100000023\n"
                                    "DEVICE=99999999999999999999\nNO_OF_SOFTKEY_FRAMES=010\n"
                                    "NO_OF_SOFTKEYS_PER_FRAME=abc\n")
                             << QStringList{
                                    "keyOpen=16777235",    "keyUp=-1",
                                    "keyDown=16777235",    "deviceType=" + QString::number(INT_MAX),
                                    "softkeyFrameCount=8", "softkeysPerFrame=0"};
    QTest::newRow("blanks, comments, hash in a value, lower-case true")
        << QByteArray("KEY_UP = 5\n#KEY_UP=5\nKEY_DOWN=6 # six\nSOFTKEY_FRAMES_ON_SIDE=true\n")
        << QStringList{"keyDown=6", "softkeyFramesOnSide=0"};
    QTest::newRow("later value wins, last line without newline")
        << QByteArray("KEY_UP=1\nKEY_UP=2\nKEY_FOO=3\nKEY_DOWN=4")
        << QStringList{"keyUp=2", "keyDown=4"};
    // A line of 254 characters is whole; a longer one is cut there and ends the reading.
    const QByteArray line254 = "DEVICE=" + QByteArray(246, '0') + "7";
    QTest::newRow("254 characters") << line254 + "\nKEY_UP=5\n"
                                    << QStringList{"deviceType=7", "keyUp=5"};
    QTest::newRow("300 characters") << line254 + QByteArray(46, '3') + "\nKEY_UP=5\n"
                                    << QStringList{"deviceType=7"};
}

void TestConfigLoader::profile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, changes);

    const QString path = directory.filePath("profile.conf");
    QVERIFY(writeFile(path, content));
    const QStringList before = fields(deviceConfig);

    StdoutCapture capture;
    viewer->loadDeviceConfig(path.toStdString());

    QCOMPARE(capture.lines(), QStringList{"Using config file " + path});
    QCOMPARE(fields(deviceConfig), withChanges(before, changes));
}

void TestConfigLoader::defaultLocations()
{
    if (QFileInfo::exists("/data/device_config.ini"))
        QSKIP("this machine has a device pointer file, which would choose the profile");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(directory.path()));
    QFile::remove("b7s.conf");
    StdoutCapture capture;
    viewer->loadDeviceConfig(std::string());
    QVERIFY(writeFile("b7s.conf", "KEY_UP=6\n"));
    viewer->loadDeviceConfig(std::string());
    QVERIFY(QDir::setCurrent(previous));

    QCOMPARE(capture.lines(), QStringList({"Using config file b7s.conf",
                                           "Opening b7s.conf FAILED! Using default B7 config!",
                                           "Using config file b7s.conf"}));
    QCOMPARE(deviceConfig.keyUp, 6);
}

QTEST_MAIN(TestConfigLoader)
#include "tst_configloader.moc"
