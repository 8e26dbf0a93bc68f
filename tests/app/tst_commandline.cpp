#include "app/commandline.h"
#include "config/deviceconfig.h"

#include "deviceconfigfields.h"
#include "stdoutcapture.h"

#include <QtTest>

namespace {

QString evaluating(char option, const QString &value)
{
    return QStringLiteral("page-scope evaluating arg '%1' with value '%2'.")
        .arg(QLatin1Char(option))
        .arg(value);
}

QString incomplete(int code)
{
    return QStringLiteral("page-scope INCOMPLETE arg '%1' found - ignored").arg(code);
}

const QString requirePath =
    QStringLiteral("page-scope arg '-f' or '--file' require path and filename.");

constexpr int widgetSizeLimit = 16777215;

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init() { deviceConfig = DeviceConfig::defaults(); }
    void parses_data();
    void parses();
    void touchesNothingButGeometry();
};

void TestCommandLine::parses_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QByteArray>("fileName");
    QTest::addColumn<bool>("fileGiven");
    QTest::addColumn<bool>("openButton");

    const QRect standard(0, 0, 480, 272);
    const QByteArray none;

    QTest::newRow("no arguments") << QByteArrayList{} << QStringList{"Arguments: 1"} << standard
                                  << none << false << false;

    QTest::newRow("all six options")
        << QByteArrayList{"-x", "10",  "-y", "20",           "-w", "800",
                          "-h", "600", "-f", "/media/a.pdf", "-o"}
        << QStringList{"Arguments: 12",        evaluating('x', "10"),
                       evaluating('y', "20"),  evaluating('w', "800"),
                       evaluating('h', "600"), evaluating('f', "/media/a.pdf"),
                       evaluating('o', "NONE")}
        << QRect(10, 20, 800, 600) << QByteArray("/media/a.pdf") << true << true;

    const QByteArrayList widthSpellings[] = {
        {"--width=800"}, {"--width", "800"}, {"--wid=800"}, {"-w800"}, {"-w", "800"}};
    for (const QByteArrayList &spelling : widthSpellings) {
        QTest::addRow("width as %s", spelling.join(' ').constData())
            << spelling
            << QStringList{QStringLiteral("Arguments: %1").arg(spelling.size() + 1),
                           evaluating('w', "800")}
            << QRect(0, 0, 800, 272) << none << false << false;
    }

    QTest::newRow("long names for the rest")
        << QByteArrayList{"--x_position=3", "--y_position", "4",
                          "--height=5",     "--file=b.pdf", "--open_button"}
        << QStringList{"Arguments: 7",       evaluating('x', "3"),     evaluating('y', "4"),
                       evaluating('h', "5"), evaluating('f', "b.pdf"), evaluating('o', "NONE")}
        << QRect(3, 4, 480, 5) << QByteArray("b.pdf") << true << true;

    QTest::newRow("grouped short options")
        << QByteArrayList{"-ow300"}
        << QStringList{"Arguments: 2", evaluating('o', "NONE"), evaluating('w', "300")}
        << QRect(0, 0, 300, 272) << none << false << true;

    // strtol: no digits give 0, conversion stops at the first non-digit, blanks are skipped.
    QTest::newRow("width abc") << QByteArrayList{"-w", "abc"}
                               << QStringList{"Arguments: 3", evaluating('w', "abc")}
                               << QRect(0, 0, 0, 272) << none << false << false;
    QTest::newRow("height with unit and blanks")
        << QByteArrayList{"-h", " 42px"} << QStringList{"Arguments: 3", evaluating('h', " 42px")}
        << QRect(0, 0, 480, 42) << none << false << false;
    QTest::newRow("negative x") << QByteArrayList{"-x", "-5"}
                                << QStringList{"Arguments: 3", evaluating('x', "-5")}
                                << QRect(-5, 0, 480, 272) << none << false << false;
    QTest::newRow("empty width") << QByteArrayList{"-w", ""}
                                 << QStringList{"Arguments: 3", evaluating('w', "")}
                                 << QRect(0, 0, 0, 272) << none << false << false;

    QTest::newRow("file missing its path")
        << QByteArrayList{"-f"} << QStringList{"Arguments: 2", evaluating('?', "NONE"), requirePath}
        << standard << none << true << false;
    QTest::newRow("long file missing its path keeps the earlier one")
        << QByteArrayList{"-f", "a.pdf", "--file"}
        << QStringList{"Arguments: 4", evaluating('f', "a.pdf"), evaluating('?', "NONE"),
                       requirePath}
        << standard << QByteArray("a.pdf") << true << false;
    QTest::newRow("empty file name")
        << QByteArrayList{"-f", ""} << QStringList{"Arguments: 3", evaluating('f', "")} << standard
        << none << true << false;

    QTest::newRow("x missing its value")
        << QByteArrayList{"-x"}
        << QStringList{"Arguments: 2", evaluating('?', "NONE"), incomplete('x')} << standard << none
        << false << false;
    QTest::newRow("h missing its value is no help")
        << QByteArrayList{"-h"}
        << QStringList{"Arguments: 2", evaluating('?', "NONE"), incomplete(104)} << standard << none
        << false << false;
    QTest::newRow("long width missing its value")
        << QByteArrayList{"--width"}
        << QStringList{"Arguments: 2", evaluating('?', "NONE"), incomplete('w')} << standard << none
        << false << false;
    // The value of the option before must not be reported for the unknown one.
    QTest::newRow("unknown short option after a value")
        << QByteArrayList{"-x", "10", "-z"}
        << QStringList{"Arguments: 4", evaluating('x', "10"), evaluating('?', "NONE"),
                       incomplete(122)}
        << QRect(10, 0, 480, 272) << none << false << false;
    QTest::newRow("unknown long option")
        << QByteArrayList{"--bogus"}
        << QStringList{"Arguments: 2", evaluating('?', "NONE"), incomplete(0)} << standard << none
        << false << false;
    QTest::newRow("value given to open_button")
        << QByteArrayList{"--open_button=x"}
        << QStringList{"Arguments: 2", evaluating('?', "NONE"), incomplete('o')} << standard << none
        << false << false;

    QTest::newRow("repeated file and width")
        << QByteArrayList{"-f", "a.pdf", "-w", "100", "-f", "b.pdf", "--width=200"}
        << QStringList{"Arguments: 8", evaluating('f', "a.pdf"), evaluating('w', "100"),
                       evaluating('f', "b.pdf"), evaluating('w', "200")}
        << QRect(0, 0, 200, 272) << QByteArray("b.pdf") << true << false;
    QTest::newRow("non-option arguments ignored")
        << QByteArrayList{"a.pdf", "", "-w", "300", "b.pdf"}
        << QStringList{"Arguments: 6", evaluating('w', "300")} << QRect(0, 0, 300, 272) << none
        << false << false;

    const QByteArray longPath = "/media/" + QByteArray(5000, 'p') + ".pdf";
    QTest::newRow("path of thousands of characters")
        << QByteArrayList{"-f", longPath}
        << QStringList{"Arguments: 3", evaluating('f', QString::fromLatin1(longPath))} << standard
        << longPath << true << false;
    const QByteArray foreign = "/media/\xff\xfe-\xc3(.pdf";
    QTest::newRow("non-UTF-8 path")
        << QByteArrayList{"-f", foreign}
        << QStringList{"Arguments: 3", evaluating('f', QString::fromUtf8(foreign))} << standard
        << foreign << true << false;

    // Geometry saturates at the largest widget size instead of wrapping around.
    const QByteArray manyNines(5000, '9');
    QTest::newRow("overflowing numbers")
        << QByteArrayList{"-w", manyNines,    "-x", "-" + manyNines,
                          "-h", "2147483648", "-y", "16777216"}
        << QStringList{"Arguments: 9", evaluating('w', QString::fromLatin1(manyNines)),
                       evaluating('x', QString::fromLatin1("-" + manyNines)),
                       evaluating('h', "2147483648"), evaluating('y', "16777216")}
        << QRect(-widgetSizeLimit, widgetSizeLimit, widgetSizeLimit, widgetSizeLimit) << none
        << false << false;
    QTest::newRow("largest size itself")
        << QByteArrayList{"-w", "16777215", "-h", "-16777215"}
        << QStringList{"Arguments: 5", evaluating('w', "16777215"), evaluating('h', "-16777215")}
        << QRect(0, 0, widgetSizeLimit, -widgetSizeLimit) << none << false << false;
}

void TestCommandLine::parses()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QStringList, output);
    QFETCH(QRect, geometry);
    QFETCH(QByteArray, fileName);
    QFETCH(bool, fileGiven);
    QFETCH(bool, openButton);

    // getopt permutes argv and keeps pointers into it, so the strings live in one list here.
    QByteArrayList storage{"page-scope"};
    storage += arguments;
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    CommandLineChoices choices;
    StdoutCapture capture;
    choices = parseCommandLine(int(storage.size()), argv.data());

    QCOMPARE(capture.lines(), output);
    QCOMPARE(QRect(deviceConfig.windowX, deviceConfig.windowY, deviceConfig.windowWidth,
                   deviceConfig.windowHeight),
             geometry);
    QCOMPARE(QByteArray::fromStdString(choices.fileName), fileName);
    QCOMPARE(choices.fileGiven, fileGiven);
    QCOMPARE(choices.openButtonEnabled, openButton);
}

void TestCommandLine::touchesNothingButGeometry()
{
    // The profile owns every other field; a command line must not reset or overwrite them.
    deviceConfig.keyUp = 1;
    deviceConfig.deviceType = 0;
    deviceConfig.softkeysPerFrame = 6;
    QByteArrayList storage{"page-scope", "-x", "1", "-y", "2", "-w", "3", "-h", "4", "-o"};
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    StdoutCapture capture;
    parseCommandLine(int(storage.size()), argv.data());

    DeviceConfig expected = DeviceConfig::defaults();
    expected.keyUp = 1;
    expected.deviceType = 0;
    expected.softkeysPerFrame = 6;
    expected.windowX = 1;
    expected.windowY = 2;
    expected.windowWidth = 3;
    expected.windowHeight = 4;
    QCOMPARE(deviceConfigFields(deviceConfig), deviceConfigFields(expected));
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
