#pragma once

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

// The command line of a benchmark that drives the viewer from outside: --viewer, its own options
// and --help, and those it cannot run without (--viewer always). False, with a message on
// standard error, when one of those is missing.
inline bool parseBenchOptions(QCommandLineParser &parser, const QList<QCommandLineOption> &options,
                              QStringList required)
{
    parser.addOption({"viewer", "The viewer binary.", "path"});
    parser.addOptions(options);
    required.prepend("viewer");
    parser.addHelpOption();
    parser.process(*QCoreApplication::instance());
    const auto missing = [&parser](const QString &name) { return !parser.isSet(name); };
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
