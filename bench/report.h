#pragma once

#include "samples.h"
#include <QString>
#include <QVector>

struct BenchCase;

// The ratio to Poppler's cost that every case should stay within (in memory: to base + one image).
constexpr double Tolerance = 1.10;

// What the children measured of one side of a case; -1 where it was not measured.
struct Measured
{
    QVector<double> wallMs, cpuMs;
    qint64 baseKib = -1, peakKib = -1, imageBytes = 0, instructions = -1;
    double boundKib() const { return Tolerance * (baseKib + imageBytes / 1024.0); }
};

struct Result
{
    const BenchCase *benchCase = nullptr;
    Measured viewer, floor;
    QString error;
    Measured &side(const QByteArray &name) { return name == "viewer" ? viewer : floor; }
};

// Milliseconds with three significant digits or more.
inline QString ms(double value)
{
    return QString::number(value, 'f', value < 1 ? 3 : value < 10 ? 2 : value < 100 ? 1 : 0);
}

// The case's result when it ran without error and was timed, else null.
const Result *findResult(const QVector<Result> &results, const QString &id);
// The Markdown tables and the targets, met or not, on standard output.
void writeReport(const QVector<Result> &results, bool instructions);
