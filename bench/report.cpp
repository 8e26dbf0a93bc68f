#include "report.h"

#include "benchcases.h"

#include <QTextStream>

const Result *findResult(const QVector<Result> &results, const QString &id)
{
    for (const Result &r : results)
        if (r.benchCase->id == id && r.error.isEmpty() && !r.viewer.wallMs.isEmpty())
            return &r;
    return nullptr;
}

void writeReport(const QVector<Result> &results, bool instructions)
{
    QTextStream out(stdout);
    const QString dash = QStringLiteral("—");
    const auto ratio = [&](double a, double b) {
        return b > 0 ? QString::number(a / b, 'f', 3) : dash;
    };
    const auto mib = [](double kib) { return QString::number(kib / 1024.0, 'f', 1); };
    const auto row = [](const QStringList &cells) { return "| " + cells.join(" | ") + " |\n"; };
    const auto verdict = [](bool met) { return met ? " Met.\n" : " Not met.\n"; };
    // The tables' rows in one pass, with what the targets count.
    QString times, memory, counts;
    int timed = 0, within = 0, measured = 0, bounded = 0, floorBounded = 0, counted = 0, below = 0;
    std::pair<double, const Result *> worst{0, nullptr}; // the highest ratio of medians
    for (const Result &r : results) {
        const Measured &v = r.viewer, &f = r.floor;
        if (v.peakKib >= 0) {
            ++measured;
            bounded += v.peakKib <= v.boundKib();
            floorBounded += f.peakKib >= 0 && f.peakKib <= f.boundKib();
            const double more = double(v.peakKib - v.baseKib) - (f.peakKib - f.baseKib);
            memory +=
                row({r.benchCase->title, mib(v.baseKib), mib(v.imageBytes / 1024.0),
                     mib(v.boundKib()), mib(v.peakKib), f.peakKib < 0 ? dash : mib(f.peakKib),
                     f.peakKib < 0 ? dash : mib(more), v.peakKib <= v.boundKib() ? "yes" : "no"});
        }
        if (instructions && v.instructions >= 0) {
            counted += f.instructions > 0;
            below += f.instructions > 0 && double(v.instructions) / f.instructions <= Tolerance;
            counts += row({r.benchCase->title, QString::number(v.instructions),
                           f.instructions > 0 ? QString::number(f.instructions) : dash,
                           ratio(v.instructions, f.instructions)});
        }
        const QVector<double> &vt = v.wallMs, &ft = f.wallMs;
        const auto poppler = [&](const QString &cell) { return ft.isEmpty() ? dash : cell; };
        if (!r.error.isEmpty())
            times += row({r.benchCase->title, "failed: " + r.error + QString(" |").repeated(9)});
        else
            times += row({r.benchCase->title, QString::number(vt.size()), ms(median(vt)),
                          ms(minimum(vt)), ms(maximum(vt)), poppler(ms(median(ft))),
                          poppler(ms(minimum(ft))), poppler(ms(maximum(ft))),
                          ratio(median(vt), median(ft)), ratio(minimum(vt), minimum(ft)),
                          poppler(ratio(median(v.cpuMs), median(f.cpuMs)))});
        if (!r.error.isEmpty() || ft.isEmpty())
            continue;
        const double quotient = median(vt) / median(ft);
        ++timed;
        within += quotient <= Tolerance;
        worst = !worst.second || quotient > worst.first ? std::make_pair(quotient, &r) : worst;
    }
    out << "Times in milliseconds over repeated runs, viewer and Poppler interleaved in one "
           "process. Ratio = viewer / Poppler (wall-clock medians, wall-clock minimums, and "
           "process CPU-time medians).\n\n| Case | Runs | Viewer median | min | max | Poppler "
           "median | min | max | Ratio median | Ratio min | Ratio CPU |\n"
           "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
        << times;
    if (measured)
        out << "\nPeak resident memory (VmHWM) in MiB, each side in a process of its own. Base = "
               "resident memory of that process with its window shown, before the case; image = "
               "the page image the case ends with (its largest); bound = 1.10 x (base + image).\n\n"
               "| Case | Base | Image | Bound | Viewer peak | Poppler peak | Viewer - Poppler | "
               "Viewer within bound |\n|---|---:|---:|---:|---:|---:|---:|---|\n"
            << memory;
    if (instructions)
        out << "\nInstructions (Callgrind, one run of each side after one warm-up run).\n\n"
               "| Case | Viewer | Poppler | Ratio |\n|---|---:|---:|---:|\n"
            << counts;
    out << "\nTargets:\n\n";
    if (const Result *r = worst.second)
        out << "- Ratio to Poppler at most 1.10 (wall-clock medians): " << within << " of " << timed
            << " cases; the highest is " << ratio(median(r->viewer.wallMs), median(r->floor.wallMs))
            << " (" << r->benchCase->id << ")." << verdict(within == timed);
    if (instructions)
        out << "- Ratio to Poppler at most 1.10 (instructions): " << below << " of " << counted
            << " cases." << verdict(counted && below == counted);
    for (const Result &r : results) {
        bool met = false;
        const QString line = r.benchCase->target ? r.benchCase->target(results, met) : "";
        if (!line.isEmpty())
            out << "- " << line << verdict(met);
    }
    if (measured)
        out << "- Peak resident memory at most 1.10 x (base + one page image): viewer within it in "
            << bounded << " of " << measured << " cases (Poppler alone: " << floorBounded << ")."
            << verdict(bounded == measured);
}
