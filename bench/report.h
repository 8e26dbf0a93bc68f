#pragma once

#include <QString>
#include <QVector>

class QTextStream;
struct BenchCase;

// The ratio to Poppler's cost that every case should stay within, in time, in instructions and,
// over the process before the case plus one page image, in peak memory.
constexpr double Tolerance = 1.10;

struct Series
{
    QVector<double> wallMs;
    QVector<double> cpuMs;
};

struct Memory
{
    qint64 baseKib = -1;
    qint64 peakKib = -1;
    qint64 imageBytes = 0;

    // The memory bound: the process before the case, one page image, and a tenth of both on top.
    double boundKib() const { return Tolerance * (baseKib + imageBytes / 1024.0); }
};

// What the children measured for one case.
struct Result
{
    const BenchCase *benchCase = nullptr;
    Series viewer;
    Series floor;
    Memory viewerMemory;
    Memory floorMemory;
    qint64 viewerInstructions = -1;
    qint64 floorInstructions = -1;
    QString error;
};

double median(QVector<double> values);
double maximum(const QVector<double> &values);
// Milliseconds with three significant digits or more.
QString ms(double value);
// The case's result when it ran without error and was timed, else null.
const Result *findResult(const QVector<Result> &results, const QString &id);

// The Markdown tables and the targets, met or not.
void writeReport(QTextStream &out, const QVector<Result> &results, bool instructions);
