#pragma once

#include <QCommandLineParser>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>

// The start of a benchmark that drives the viewer from outside: its own application object on
// the offscreen platform (it draws nothing itself) and its command line, with --viewer, the
// benchmark's own options and --help.
class BenchCommandLine
{
public:
    BenchCommandLine(int &argc, char **argv) : application(offscreen(argc), argv) {}

    // False, with a message on standard error, when an option it cannot run without is missing
    // (--viewer always).
    bool parse(const QList<QCommandLineOption> &options, QStringList required)
    {
        parser.addOption({"viewer", "The viewer binary.", "path"});
        parser.addOptions(options);
        required.prepend("viewer");
        parser.addHelpOption();
        parser.process(application);
        const auto missing = [this](const QString &name) { return !parser.isSet(name); };
        if (std::none_of(required.begin(), required.end(), missing))
            return true;
        QStringList names;
        for (const QString &name : required)
            names << "--" + name;
        const QString last = names.takeLast();
        std::fprintf(stderr, "%s: %s %s needed\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(names.isEmpty() ? last : names.join(", ") + " and " + last),
                     names.isEmpty() ? "is" : "are");
        return false;
    }

    QString value(const QString &name) const { return parser.value(name); }

private:
    // Set before the application object exists, which is when Qt reads it.
    static int &offscreen(int &argc)
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QGuiApplication application;
    QCommandLineParser parser;
};
