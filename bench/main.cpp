// page-scope-bench: the viewer's page view against Poppler's own cost, side by side.
//
// The parent writes the documents once into a cache directory, then runs every case in fresh
// child processes of itself (bench/runner.h): one that times both sides interleaved, and one per
// side that only measures the peak resident memory, so that neither side's memory is counted for
// the other. With --instructions a further child per case runs under Callgrind and counts
// instructions, which the load of a shared machine does not disturb. The tables and the targets
// (bench/report.h) go to standard output.

#include "benchcases.h"
#include "benchdocuments.h"
#include "report.h"
#include "runner.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    // Off-screen unless told otherwise: the benchmark needs no display and must not draw on one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times the page view against Poppler's own load, page and render calls, and measures "
        "the peak resident memory of each. Prints Markdown tables on standard output."));
    parser.addHelpOption();
    parser.addOptions({
        {"cache",
         "Directory of the generated documents (default: bench-documents beside the "
         "program).",
         "dir"},
        {"cases", "Comma-separated case ids (default: all).", "ids"},
        {"runs", "Samples per side for every case (default: each case's own count).", "n"},
        {"no-memory", "Skip the peak memory processes."},
        {"instructions", "Also count instructions under Callgrind (slow)."},
        {"valgrind", "The valgrind program to use.", "path", "valgrind"},
        {"list", "List the cases and exit."},
        {"documents-only", "Write the documents and exit."},
        // Used by the parent to start its children.
        {"child", "Internal.", "id"},
        {"mode", "Internal.", "mode", "time"},
        {"side", "Internal.", "side", "both"},
    });
    parser.process(app);

    const QVector<BenchCase> all = benchCases();
    const auto find = [&all](const QString &id) {
        const auto c = std::find_if(all.begin(), all.end(), [&id](auto &c) { return c.id == id; });
        return c == all.end() ? nullptr : &*c;
    };
    const QString cache = parser.isSet("cache") ? parser.value("cache")
                                                : QDir(QCoreApplication::applicationDirPath())
                                                      .filePath(QStringLiteral("bench-documents"));
    const int runs = parser.value("runs").toInt();

    if (parser.isSet("child")) {
        const BenchCase *c = find(parser.value("child"));
        if (!c) {
            std::printf("@bench error unknown case %s\n", qPrintable(parser.value("child")));
            return 1;
        }
        return runChild(*c, cache, parser.value("mode"), parser.value("side"),
                        runs > 0 ? runs : c->runs);
    }
    if (parser.isSet("list")) {
        for (const BenchCase &c : all)
            std::printf("%-16s %s\n", qPrintable(c.id), qPrintable(c.title));
        return 0;
    }
    if (!BenchDocuments::ensure(cache))
        return 1;
    if (parser.isSet("documents-only"))
        return 0;

    QVector<const BenchCase *> chosen;
    for (const BenchCase &c : all)
        chosen.append(&c);
    if (parser.isSet("cases")) {
        chosen.clear();
        for (const QString &id : parser.value("cases").split(QLatin1Char(','))) {
            if (!find(id.trimmed())) {
                std::fprintf(stderr, "unknown case %s (see --list)\n", qPrintable(id));
                return 2;
            }
            chosen.append(find(id.trimmed()));
        }
    }
    QVector<Result> results;
    bool failed = false;
    for (const BenchCase *c : chosen) {
        results.append(
            runCase(*c, cache, runs > 0 ? runs : c->runs, !parser.isSet("no-memory"),
                    parser.isSet("instructions") ? parser.value("valgrind") : QString()));
        failed = failed || !results.last().error.isEmpty();
    }
    QTextStream out(stdout);
    writeReport(out, results, parser.isSet("instructions"));
    return failed ? 1 : 0;
}
