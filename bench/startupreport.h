#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

// What one start of a program measured.
struct RunResult
{
    bool ok = false;
    double firstPageMs = 0;
    double firstFrameMs = -1; // first pixel that is not the empty screen's, where there is one
    double peakMiB = 0;
    std::map<QString, double> phasesMs; // trace lines, relative to the exec
    QString error;
};

// The samples of one program on one platform and document of a page count.
struct Series
{
    std::vector<double> firstPage, firstFrame, peak;
    std::map<QString, std::vector<double>> phases;
};

// Series by platform, page count and program.
class Measurements
{
public:
    Series &of(const QString &platform, int pages, const QString &program)
    {
        return m_series[QString("%1 %2 %3").arg(platform).arg(pages).arg(program)];
    }

    void add(const QString &platform, int pages, const QString &program, const RunResult &result)
    {
        Series &s = of(platform, pages, program);
        s.firstPage.push_back(result.firstPageMs);
        if (result.firstFrameMs >= 0)
            s.firstFrame.push_back(result.firstFrameMs);
        s.peak.push_back(result.peakMiB);
        for (const auto &[phase, ms] : result.phasesMs)
            s.phases[phase].push_back(ms);
    }

private:
    std::map<QString, Series> m_series;
};

// The tables, on standard output: the time to the first page against each floor, the peak
// memory, and each program's trace. The programs are named as in the measurements; the floors'
// names are "floor" and "floor with notice".
void printStartupReport(Measurements &measured, const QStringList &programs,
                        const QStringList &platforms, const std::vector<int> &pageCounts, int runs);
