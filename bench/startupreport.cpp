#include "startupreport.h"

#include "samples.h"

#include <cmath>
#include <cstdio>

namespace {

// NaN stands for what was not measured: a program without one good run is not 0 ms fast.
double medianOf(const std::vector<double> &values)
{
    return values.empty() ? std::nan("") : median(values);
}

double minimumOf(const std::vector<double> &values)
{
    return values.empty() ? std::nan("") : minimum(values);
}

QString number(double value, int decimals)
{
    return std::isnan(value) ? QStringLiteral("—") : QString::number(value, 'f', decimals);
}

QString milliseconds(double value)
{
    return number(value, value < 10 ? 1 : 0);
}

// A row per platform and page count: the floor's and the viewer's times and the ratios, and with
// firstFrames the time each program first changed the screen.
void printTimeTable(Measurements &measured, const QStringList &platforms,
                    const std::vector<int> &pageCounts, const QString &floorName, bool firstFrames)
{
    QString floorTitle = floorName;
    floorTitle[0] = floorTitle[0].toUpper();
    std::printf("| Platform | Pages | %s median | min | Viewer median | min | Ratio median | "
                "Ratio min |%s\n",
                qPrintable(floorTitle),
                firstFrames ? " Floor first frame | Viewer first frame |" : "");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|%s\n", firstFrames ? "---:|---:|" : "");
    const auto firstFrame = [](const Series &series) {
        return milliseconds(medianOf(series.firstFrame));
    };
    for (const QString &platform : platforms)
        for (int pages : pageCounts) {
            const Series &floor = measured.of(platform, pages, floorName);
            const Series &viewer = measured.of(platform, pages, "viewer");
            const double floorMedian = medianOf(floor.firstPage),
                         floorMinimum = minimumOf(floor.firstPage),
                         viewerMedian = medianOf(viewer.firstPage),
                         viewerMinimum = minimumOf(viewer.firstPage);
            QString row = QStringList{platform,
                                      QString::number(pages),
                                      milliseconds(floorMedian),
                                      milliseconds(floorMinimum),
                                      milliseconds(viewerMedian),
                                      milliseconds(viewerMinimum),
                                      number(viewerMedian / floorMedian, 3),
                                      number(viewerMinimum / floorMinimum, 3)}
                              .join(" | ")
                              .prepend("| ")
                              .append(" |");
            if (firstFrames)
                row += QString(" %1 | %2 |").arg(firstFrame(floor), firstFrame(viewer));
            std::printf("%s\n", qPrintable(row));
        }
}

void printTimes(Measurements &measured, const QStringList &platforms,
                const std::vector<int> &pageCounts, int runs)
{
    std::printf("Exec to first page on the screen, in milliseconds (%d runs of each program, "
                "alternating). Ratio = viewer / floor.\n\n",
                runs);
    printTimeTable(measured, platforms, pageCounts, "floor", true);
    std::printf("\nThe same runs against the floor with the opening flow's work (--notice). "
                "Ratio = viewer / floor with notice.\n\n");
    printTimeTable(measured, platforms, pageCounts, "floor with notice", false);
}

void printMemory(Measurements &measured, const QStringList &platforms,
                 const std::vector<int> &pageCounts)
{
    std::printf("\nPeak resident memory (VmHWM) in MiB, medians.\n\n");
    std::printf("| Platform | Pages | Floor | Floor with notice | Viewer | Viewer - floor | "
                "Viewer - floor with notice |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    for (const QString &platform : platforms)
        for (int pages : pageCounts) {
            const auto peak = [&](const char *program) {
                return medianOf(measured.of(platform, pages, program).peak);
            };
            const double viewer = peak("viewer");
            std::printf("| %s | %d | %s | %s | %s | %s | %s |\n", qPrintable(platform), pages,
                        qPrintable(number(peak("floor"), 1)),
                        qPrintable(number(peak("floor with notice"), 1)),
                        qPrintable(number(viewer, 1)),
                        qPrintable(number(viewer - peak("floor"), 1)),
                        qPrintable(number(viewer - peak("floor with notice"), 1)));
        }
}

// A table per program of its trace's phases, in one order for all programs: the viewer's, with
// the render where the plain floor does it, before its window is shown (the viewer renders after
// its notice timer). A phase that no run of the program printed has no row.
void printTraces(Measurements &measured, const QStringList &programs, const QStringList &platforms,
                 const std::vector<int> &pageCounts)
{
    const char *order[] = {"main",
                           "application created",
                           "automation hook done",
                           "command line parsed",
                           "window base constructed",
                           "device configuration read",
                           "widget tree built",
                           "softkeys laid out",
                           "window constructed",
                           "document loaded and page rendered",
                           "window shown",
                           "loading notice shown",
                           "notice timer fired",
                           "page painted"};
    for (const QString &program : programs) {
        std::printf("\nThe %s's trace (PAGE_SCOPE_STARTUP_TRACE), milliseconds after the exec, "
                    "medians.\n\n| Phase |",
                    qPrintable(program));
        for (const QString &platform : platforms)
            for (int pages : pageCounts)
                std::printf(" %s, %d |", qPrintable(platform), pages);
        std::printf("\n|---|");
        for (size_t i = 0; i < size_t(platforms.size()) * pageCounts.size(); ++i)
            std::printf("---:|");
        std::printf("\n");
        for (const char *phase : order) {
            QString row = QString("| %1 |").arg(phase);
            bool seen = false;
            for (const QString &platform : platforms)
                for (int pages : pageCounts) {
                    const auto &phases = measured.of(platform, pages, program).phases;
                    const auto found = phases.find(phase);
                    seen = seen || found != phases.end();
                    row += QString(" %1 |").arg(
                        milliseconds(found == phases.end() ? std::nan("") : median(found->second)));
                }
            if (seen)
                std::printf("%s\n", qPrintable(row));
        }
    }
}

} // namespace

void printStartupReport(Measurements &measured, const QStringList &programs,
                        const QStringList &platforms, const std::vector<int> &pageCounts, int runs)
{
    printTimes(measured, platforms, pageCounts, runs);
    printMemory(measured, platforms, pageCounts);
    printTraces(measured, programs, platforms, pageCounts);
}
