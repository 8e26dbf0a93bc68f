#include "app/commandline.h"
#include "config/deviceconfig.h"

#include "stdoutcapture.h"

#include <QtTest>

namespace {

QString evaluating(char option, const QString &value)
{
    return QStringLiteral("page-scope evaluating arg '%1' with value '%2'.")
        .arg(QString(QLatin1Char(option)), value);
}

QString incomplete(int code)
{
    return QStringLiteral("page-scope INCOMPLETE arg '%1' found - ignored").arg(code);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parses_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QStringList>("output");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("file"); // "-" when no file was given
        QTest::addColumn<bool>("openButton");

        const QRect standard(0, 0, 480, 272);
        const QString requirePath = "page-scope arg '-f' or '--file' require path and filename.";

        // In getopt_long's spellings: short apart or attached, long with a blank or "=",
        // abbreviated.
        QTest::newRow("all six") << QByteArrayList{"-x",  "10",        "--y_position=20", "--width",
                                                   "800", "--hei=600", "-f/media/a.pdf",  "-o"}
                                 << QStringList{"Arguments: 9",
                                                evaluating('x', "10"),
                                                evaluating('y', "20"),
                                                evaluating('w', "800"),
                                                evaluating('h', "600"),
                                                evaluating('f', "/media/a.pdf"),
                                                evaluating('o', "NONE")}
                                 << QRect(10, 20, 800, 600) << "/media/a.pdf" << true;
        QTest::newRow("file without path still counts as given")
            << QByteArrayList{"-f"}
            << QStringList{"Arguments: 2", evaluating('?', "NONE"), requirePath} << standard << ""
            << false;
        // The value of the option before must not be reported for the missing one; a lone -h is
        // no help option.
        QTest::newRow("missing values and unknown options")
            << QByteArrayList{"-x", "10", "-z", "--bogus", "--open_button=1", "-y", "-h", "-h"}
            << QStringList{"Arguments: 9",          evaluating('x', "10"),
                           evaluating('?', "NONE"), incomplete('z'),
                           evaluating('?', "NONE"), incomplete(0),
                           evaluating('?', "NONE"), incomplete('o'),
                           evaluating('y', "-h"),   evaluating('?', "NONE"),
                           incomplete('h')}
            << QRect(10, 0, 480, 272) << "-" << false;
        QTest::newRow("later values win, loose words ignored")
            << QByteArrayList{"a.pdf", "-f", "b.pdf", "-w", "100", "-f", "c.pdf", "--width=200"}
            << QStringList{"Arguments: 9", evaluating('f', "b.pdf"), evaluating('w', "100"),
                           evaluating('f', "c.pdf"), evaluating('w', "200")}
            << QRect(0, 0, 200, 272) << "c.pdf" << false;
        // As strtol reads them, saturated at the largest widget size rather than wrapped into a
        // nonsense geometry.
        const QByteArray nines(40, '9');
        QTest::newRow("numbers") << QByteArrayList{"-w", nines,   "-x", "-" + nines,
                                                   "-h", " 42px", "-y", "abc"}
                                 << QStringList{"Arguments: 9", evaluating('w', nines),
                                                evaluating('x', "-" + nines),
                                                evaluating('h', " 42px"), evaluating('y', "abc")}
                                 << QRect(-16777215, 0, 16777215, 42) << "-" << false;
    }

    void parses()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QStringList, output);
        QFETCH(QRect, geometry);
        QFETCH(QString, file);
        QFETCH(bool, openButton);

        deviceConfig = DeviceConfig::defaults();
        // The profile owns every other field; the command line must leave them alone.
        deviceConfig.keyUp = 1;
        QByteArrayList storage = QByteArrayList{"page-scope"} + arguments;
        std::vector<char *> argv;
        for (QByteArray &argument : storage)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        StdoutCapture capture;
        const CommandLineChoices choices = parseCommandLine(int(storage.size()), argv.data());

        QCOMPARE(capture.lines(), output);
        QCOMPARE(QRect(deviceConfig.windowX, deviceConfig.windowY, deviceConfig.windowWidth,
                       deviceConfig.windowHeight),
                 geometry);
        QCOMPARE(choices.fileGiven ? QString::fromStdString(choices.fileName) : "-", file);
        QCOMPARE(choices.openButtonEnabled, openButton);
        QCOMPARE(deviceConfig.keyUp, 1);
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
