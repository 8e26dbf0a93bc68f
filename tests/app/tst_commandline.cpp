#include "app/commandline.h"
#include "config/deviceconfig.h"

#include "stdoutcapture.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

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

        QTest::newRow("file without path still counts as given")
            << QByteArrayList{"-f"}
            << QStringList{"Arguments: 2", evaluating('?', "NONE"),
                           "page-scope arg '-f' or '--file' require path and filename."}
            << QRect(0, 0, 480, 272) << "" << false;
        // The value of the option before must not be reported for the missing one; a lone -h is
        // no help option. A letter's code is its byte's, also where char is signed.
        QTest::newRow("missing values and unknown options")
            << QByteArrayList{"-x", "10", "-z", "-\xe9", "--bogus", "--open_button=1",
                              "-y", "-h", "-h"}
            << QStringList{"Arguments: 10",         evaluating('x', "10"),
                           evaluating('?', "NONE"), incomplete('z'),
                           evaluating('?', "NONE"), incomplete(0xe9),
                           evaluating('?', "NONE"), incomplete(0),
                           evaluating('?', "NONE"), incomplete('o'),
                           evaluating('y', "-h"),   evaluating('?', "NONE"),
                           incomplete('h')}
            << QRect(10, 0, 480, 272) << "-" << false;
        // Short apart or attached, long with a blank or "=", abbreviated.
        QTest::newRow("every spelling, later values win, loose words ignored")
            << QByteArrayList{"a.pdf",   "-f",      "b.pdf", "-w",        "100", "--y_position=20",
                              "-fc.pdf", "--width", "200",   "--hei=600", "-o"}
            << QStringList{"Arguments: 12",        evaluating('f', "b.pdf"), evaluating('w', "100"),
                           evaluating('y', "20"),  evaluating('f', "c.pdf"), evaluating('w', "200"),
                           evaluating('h', "600"), evaluating('o', "NONE")}
            << QRect(0, 20, 200, 600) << "c.pdf" << true;
        // A line break in a name must not end the line that reports it.
        QTest::newRow("file name with a line break")
            << QByteArrayList{"-f", "a\nb.pdf"}
            << QStringList{"Arguments: 3", evaluating('f', "a\\nb.pdf")} << QRect(0, 0, 480, 272)
            << "a\nb.pdf" << false;
        // As strtol reads them, saturated at the largest widget size rather than wrapped.
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
    }

    // A log on a full disk loses only what is written meanwhile.
    void writesAgainAfterFullDisk()
    {
        char name[] = "page-scope";
        char *argv[] = {name, nullptr};
        QTemporaryFile log;
        const int saved = dup(STDOUT_FILENO), full = open("/dev/full", O_WRONLY);
        QVERIFY(log.open() && saved >= 0 && full >= 0);
        dup2(full, STDOUT_FILENO);
        parseCommandLine(1, argv);
        dup2(log.handle(), STDOUT_FILENO);
        parseCommandLine(1, argv);
        dup2(saved, STDOUT_FILENO);
        close(full);
        close(saved);
        QFile written(log.fileName());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("Arguments: 1\n"));
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
