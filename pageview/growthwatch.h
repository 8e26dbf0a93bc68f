#pragma once

#include "base/processfootprint.h"
#include "pageview/memoryheadroom.h"

#include <QImage>
#include <QVariant>

namespace Poppler {
class Page;
} // namespace Poppler

// Stops Poppler once the process has grown by more than it may since the render began: in
// mapped bytes beyond what new mappings may take, or in resident bytes beyond all it may take,
// the freed heap included, each less the reserve. Freed heap that was handed back and that
// Poppler takes again shows as resident growth only; were that unbounded, a page that takes all
// there is would use up the freed heap, grow the heap a little past it before the next look, and
// leave that growth held by what it allocated last, render after render, until the reserve was
// gone.
class GrowthWatch
{
public:
    // `untouched`: address space the render may reserve without touching it (its plan's).
    // `sampleHeap`: whether to read malloc's bytes in use, which walks every free chunk of the
    // heap (milliseconds on a fragmented one), so only a trial does.
    GrowthWatch(const MemoryHeadroom &headroom, qint64 untouched, bool sampleHeap);
    GrowthWatch(const GrowthWatch &) = delete;
    GrowthWatch &operator=(const GrowthWatch &) = delete;

    bool exceeded() const { return tripped; }
    qint64 mappedAtStart() const { return start.mapped; }
    qint64 allowedMappedGrowth() const { return allowedMapped; }
    // How much more of malloc's memory was in use at the end of the page's content than at the
    // start; 0 where malloc cannot tell or the heap is not sampled.
    qint64 heapGrowth() const { return heapAtEnd - heapAtStart; }

    // The whole page, or with a band's rows the part of the page from row top; a null image once
    // the watch has stopped Poppler.
    QImage render(const Poppler::Page &page, double resolution, int top = -1, int rows = -1,
                  int width = -1);

private:
    static bool shouldAbort(const QVariant &closure);
    static bool atEndOfContent(const QVariant &closure);

    const ProcessFootprint start;
    const bool sampleHeap;
    const qint64 heapAtStart;
    qint64 heapAtEnd;
    const qint64 allowedMapped;
    const qint64 allowedResident;
    int calls = 0;
    bool tripped = false;
};
