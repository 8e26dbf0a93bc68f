#pragma once

#include "report.h"

#include <QString>

struct BenchCase;

// The child's side of a case, in a process of its own: mode time (both sides interleaved),
// memory (one side's peak) or instructions (under Callgrind). It reports in tagged lines on
// standard output; returns the exit status.
int runChild(const BenchCase &c, const QString &cache, const QString &mode, const QString &side,
             int runs);

// The parent's side: runs the case's children (timing, then with memory each side's peak, then
// with a valgrind program the instruction counts) and gathers what they report.
Result runCase(const BenchCase &c, const QString &cache, int runs, bool memory,
               const QString &valgrind);
