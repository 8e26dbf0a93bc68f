#pragma once

#include <cstdio>

// Counts the allocations Poppler could not make while an instance lives. Poppler makes its large
// bitmaps (a scaled image, a mask) with a check, and when one fails it leaves out what the bitmap
// was for and says so only by writing "Out of memory" to standard error. So while an instance
// lives, standard error is a stream that forwards every byte at once and counts that line. It
// takes glibc, whose stderr may be reassigned; elsewhere nothing is counted.
class RefusedAllocations
{
public:
    RefusedAllocations();
    ~RefusedAllocations();
    RefusedAllocations(const RefusedAllocations &) = delete;
    RefusedAllocations &operator=(const RefusedAllocations &) = delete;

    int count() const;

private:
    FILE *previous = nullptr;
    int countAtStart = 0;
};
