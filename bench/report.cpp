#include "report.h"

#include "benchcases.h"

#include <QTextStream>

#include <algorithm>

namespace {

const QString None = QStringLiteral("—");

double minimum(const QVector<double> &v)
{
    return v.isEmpty() ? 0 : *std::min_element(v.begin(), v.end());
}

QString mib(double kib)
{
    return QString::number(kib / 1024.0, 'f', 1);
}

QString ratio(double a, double b)
{
    return b > 0 ? QString::number(a / b, 'f', 3) : None;
}

QString row(const QStringList &cells)
{
    return QStringLiteral("| ") + cells.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
}

QStringList spread(const Series &s)
{
    return {ms(median(s.wallMs)), ms(minimum(s.wallMs)), ms(maximum(s.wallMs))};
}

const char *verdict(bool met)
{
    return met ? "Met." : "Not met.";
}

} // namespace

double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const int n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double maximum(const QVector<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

QString ms(double value)
{
    return QString::number(value, 'f', value < 1 ? 3 : value < 10 ? 2 : value < 100 ? 1 : 0);
}

const Result *findResult(const QVector<Result> &results, const QString &id)
{
    for (const Result &r : results)
        if (r.benchCase->id == id && r.error.isEmpty() && !r.viewer.wallMs.isEmpty())
            return &r;
    return nullptr;
}

void writeReport(QTextStream &out, const QVector<Result> &results, bool instructions)
{
    out << "Times in milliseconds over repeated runs, viewer and Poppler interleaved in one "
           "process. Ratio = viewer / Poppler (wall-clock medians, wall-clock minimums, and "
           "process CPU-time medians).\n\n"
        << row({"Case", "Runs", "Viewer median", "min", "max", "Poppler median", "min", "max",
                "Ratio median", "Ratio min", "Ratio CPU"})
        << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Result &r : results) {
        if (!r.error.isEmpty()) {
            out << "| " << r.benchCase->title << " | failed: " << r.error
                << " | | | | | | | | | |\n";
            continue;
        }
        QStringList cells =
            QStringList{r.benchCase->title, QString::number(r.viewer.wallMs.size())} +
            spread(r.viewer);
        if (r.floor.wallMs.isEmpty())
            cells += QVector<QString>(6, None).toList();
        else
            cells += spread(r.floor) +
                     QStringList{ratio(median(r.viewer.wallMs), median(r.floor.wallMs)),
                                 ratio(minimum(r.viewer.wallMs), minimum(r.floor.wallMs)),
                                 ratio(median(r.viewer.cpuMs), median(r.floor.cpuMs))};
        out << row(cells);
    }

    int measured = 0, bounded = 0, floorBounded = 0;
    for (const Result &r : results) {
        const Memory &v = r.viewerMemory, &f = r.floorMemory;
        if (v.peakKib < 0)
            continue;
        if (measured++ == 0)
            out << "\nPeak resident memory (VmHWM) in MiB, each side in a process of its own. "
                   "Base = resident memory of that process with its window shown, before the "
                   "case; image = the page image the case ends with (its largest); bound = 1.10 "
                   "x (base + image).\n\n"
                << row({"Case", "Base", "Image", "Bound", "Viewer peak", "Poppler peak",
                        "Viewer - Poppler", "Viewer within bound"})
                << "|---|---:|---:|---:|---:|---:|---:|---|\n";
        bounded += v.peakKib <= v.boundKib();
        floorBounded += f.peakKib >= 0 && f.peakKib <= f.boundKib();
        const bool floor = f.peakKib >= 0;
        out << row({r.benchCase->title, mib(v.baseKib), mib(v.imageBytes / 1024.0),
                    mib(v.boundKib()), mib(v.peakKib), floor ? mib(f.peakKib) : None,
                    floor ? mib(double(v.peakKib - v.baseKib) - (f.peakKib - f.baseKib)) : None,
                    v.peakKib <= v.boundKib() ? "yes" : "no"});
    }

    int counted = 0, below = 0;
    if (instructions) {
        out << "\nInstructions (Callgrind, one run of each side after one warm-up run).\n\n"
            << "| Case | Viewer | Poppler | Ratio |\n|---|---:|---:|---:|\n";
        for (const Result &r : results) {
            if (r.viewerInstructions < 0)
                continue;
            const bool floor = r.floorInstructions > 0;
            counted += floor;
            below += floor && double(r.viewerInstructions) / r.floorInstructions <= Tolerance;
            out << row({r.benchCase->title, QString::number(r.viewerInstructions),
                        floor ? QString::number(r.floorInstructions) : None,
                        ratio(r.viewerInstructions, r.floorInstructions)});
        }
    }

    out << "\nTargets:\n\n";
    int within = 0, compared = 0;
    const Result *worst = nullptr;
    for (const Result &r : results) {
        if (!r.error.isEmpty() || r.floor.wallMs.isEmpty())
            continue;
        const auto q = [](const Result &r) {
            return median(r.viewer.wallMs) / median(r.floor.wallMs);
        };
        ++compared;
        within += q(r) <= Tolerance;
        if (!worst || q(r) > q(*worst))
            worst = &r;
    }
    if (worst)
        out << "- Ratio to Poppler at most 1.10 (wall-clock medians): " << within << " of "
            << compared << " cases; the highest is "
            << ratio(median(worst->viewer.wallMs), median(worst->floor.wallMs)) << " ("
            << worst->benchCase->id << "). " << verdict(within == compared) << '\n';
    if (instructions)
        out << "- Ratio to Poppler at most 1.10 (instructions): " << below << " of " << counted
            << " cases. " << verdict(counted && below == counted) << '\n';
    for (const Result &r : results) {
        if (!r.benchCase->target)
            continue;
        bool met = false;
        const QString line = r.benchCase->target(results, met);
        if (!line.isEmpty())
            out << "- " << line << ' ' << verdict(met) << '\n';
    }
    if (measured)
        out << "- Peak resident memory at most 1.10 x (base + one page image): viewer within it in "
            << bounded << " of " << measured << " cases (Poppler alone: " << floorBounded << "). "
            << verdict(bounded == measured) << '\n';
}
