#include "startupreport.h"

#include "samples.h"

#include <cstdio>

namespace {

QString number(double value)
{
    if (value < 0)
        return QStringLiteral("—");
    return QString::number(value, 'f', value < 10 ? 1 : 0);
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
        return number(series.firstFrame.empty() ? -1 : median(series.firstFrame));
    };
    for (const QString &platform : platforms)
        for (int pages : pageCounts) {
            const Series &floor = measured.of(platform, pages, floorName);
            const Series &viewer = measured.of(platform, pages, "viewer");
            QString row = QString("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |")
                              .arg(platform)
                              .arg(pages)
                              .arg(number(median(floor.firstPage)))
                              .arg(number(minimum(floor.firstPage)))
                              .arg(number(median(viewer.firstPage)))
                              .arg(number(minimum(viewer.firstPage)))
                              .arg(median(viewer.firstPage) / median(floor.firstPage), 0, 'f', 3)
                              .arg(minimum(viewer.firstPage) / minimum(floor.firstPage), 0, 'f', 3);
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
                return median(measured.of(platform, pages, program).peak);
            };
            const double viewer = peak("viewer");
            std::printf("| %s | %d | %.1f | %.1f | %.1f | %.1f | %.1f |\n", qPrintable(platform),
                        pages, peak("floor"), peak("floor with notice"), viewer,
                        viewer - peak("floor"), viewer - peak("floor with notice"));
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
                        number(found == phases.end() ? -1 : median(found->second)));
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
