#pragma once

#include <QtGlobal>

// How far the process's resident memory has risen at its peak since construction, from the
// kernel's high-water mark, which construction resets (/proc/self/clear_refs). The peak of work
// that allocates and frees between two looks, as Poppler does inside one operator, shows only
// there. Pages that malloc keeps resident after a free are taken again without showing, so trim
// the heap first.
class ResidentPeak
{
public:
    ResidentPeak();

    // Whether the mark was reset, so that growth() can tell anything.
    bool isValid() const { return startKib >= 0; }
    // In bytes; -1 where the mark could not be reset or read.
    qint64 growth() const;

private:
    qint64 startKib = -1;
};
