#include "report.h"

#include "benchcases.h"

#include <QTextStream>

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

void writeReport(const QVector<Result> &results, bool instructions)
{
    QTextStream out(stdout);
    const QString none = QStringLiteral("—");
    const auto ratio = [&none](double a, double b) {
        return b > 0 ? QString::number(a / b, 'f', 3) : none;
    };
    const auto mib = [](double kib) { return QString::number(kib / 1024.0, 'f', 1); };
    const auto verdict = [](bool met) { return met ? " Met.\n" : " Not met.\n"; };
    const auto row = [&out](const QStringList &cells) {
        out << "| " << cells.join(" | ") << " |\n";
    };
    // A table's introduction, header and alignment rule.
    const auto table = [&](const char *intro, const QStringList &header, const char *rule) {
        out << intro << "\n\n";
        row(header);
        out << rule << '\n';
    };

    table("Times in milliseconds over repeated runs, viewer and Poppler interleaved in one "
          "process. Ratio = viewer / Poppler (wall-clock medians, wall-clock minimums, and "
          "process CPU-time medians).",
          {"Case", "Runs", "Viewer median", "min", "max", "Poppler median", "min", "max",
           "Ratio median", "Ratio min", "Ratio CPU"},
          "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|");
    int compared = 0, within = 0;
    const Result *worst = nullptr;
    const auto quotient = [](const Result &r) {
        return median(r.viewer.wallMs) / median(r.floor.wallMs);
    };
    for (const Result &r : results) {
        const QVector<double> &v = r.viewer.wallMs, &f = r.floor.wallMs;
        const QStringList cells = {r.benchCase->title, QString::number(v.size()), ms(median(v)),
                                   ms(minimum(v)), ms(maximum(v))};
        if (!r.error.isEmpty()) {
            out << "| " << r.benchCase->title << " | failed: " << r.error
                << " | | | | | | | | | |\n";
        } else if (f.isEmpty()) {
            row(cells + QVector<QString>(6, none).toList());
        } else {
            row(cells + QStringList{ms(median(f)), ms(minimum(f)), ms(maximum(f)),
                                    ratio(median(v), median(f)), ratio(minimum(v), minimum(f)),
                                    ratio(median(r.viewer.cpuMs), median(r.floor.cpuMs))});
            ++compared;
            within += quotient(r) <= Tolerance;
            worst = !worst || quotient(r) > quotient(*worst) ? &r : worst;
        }
    }

    int measured = 0, bounded = 0, floorBounded = 0;
    for (const Result &r : results) {
        const Measured &v = r.viewer, &f = r.floor;
        if (v.peakKib < 0)
            continue;
        if (measured++ == 0)
            table("\nPeak resident memory (VmHWM) in MiB, each side in a process of its own. "
                  "Base = resident memory of that process with its window shown, before the "
                  "case; image = the page image the case ends with (its largest); bound = 1.10 "
                  "x (base + image).",
                  {"Case", "Base", "Image", "Bound", "Viewer peak", "Poppler peak",
                   "Viewer - Poppler", "Viewer within bound"},
                  "|---|---:|---:|---:|---:|---:|---:|---|");
        bounded += v.peakKib <= v.boundKib();
        floorBounded += f.peakKib >= 0 && f.peakKib <= f.boundKib();
        const double more = double(v.peakKib - v.baseKib) - (f.peakKib - f.baseKib);
        row({r.benchCase->title, mib(v.baseKib), mib(v.imageBytes / 1024.0), mib(v.boundKib()),
             mib(v.peakKib), f.peakKib >= 0 ? mib(f.peakKib) : none,
             f.peakKib >= 0 ? mib(more) : none, v.peakKib <= v.boundKib() ? "yes" : "no"});
    }

    int counted = 0, below = 0;
    if (instructions)
        table("\nInstructions (Callgrind, one run of each side after one warm-up run).",
              {"Case", "Viewer", "Poppler", "Ratio"}, "|---|---:|---:|---:|");
    for (const Result &r : results) {
        const qint64 v = r.viewer.instructions, f = r.floor.instructions;
        if (!instructions || v < 0)
            continue;
        counted += f > 0;
        below += f > 0 && double(v) / f <= Tolerance;
        row({r.benchCase->title, QString::number(v), f > 0 ? QString::number(f) : none,
             ratio(v, f)});
    }

    out << "\nTargets:\n\n";
    if (worst)
        out << "- Ratio to Poppler at most 1.10 (wall-clock medians): " << within << " of "
            << compared << " cases; the highest is "
            << ratio(median(worst->viewer.wallMs), median(worst->floor.wallMs)) << " ("
            << worst->benchCase->id << ")." << verdict(within == compared);
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
