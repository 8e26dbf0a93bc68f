#pragma once

#include <QSizeF>
#include <QtGlobal>

// Decides, before Poppler is asked, whether the process can afford to render a page at a
// resolution. Poppler aborts the process when one of its own allocations fails, which no handler
// can catch, so a page that does not fit is not rendered at all and the view shows nothing.
class RenderBudget
{
public:
    // What the process can still get. A negative value means there is no such limit.
    struct Headroom
    {
        qint64 addressSpaceLimit = -1; // soft RLIMIT_AS
        qint64 addressSpaceInUse = 0;  // the process's mapped address space
        qint64 memoryAvailable = -1;   // MemAvailable of the system

        // The smaller of the address space left under the limit and the available memory.
        qint64 bytes() const;
    };

    // The process's headroom now, from getrlimit, /proc/self/statm and /proc/meminfo.
    static Headroom current();

    // Bytes a render of a page of this size (in points) at this resolution needs at its peak.
    static qint64 bytesNeeded(const QSizeF &pointSize, double resolution);

    static bool fits(const QSizeF &pointSize, double resolution, const Headroom &headroom);

    // Peak address space of a render, as a multiple of the bytes of the rendered image, and
    // what a render needs beyond that, measured with bench/measure-render-budget.sh:
    // an A4 page of text needs 1.5 times its image, a page of one large scanned image 2.3 times,
    // a page of three nested transparency groups with soft masks 7.0 times (Splash renders each
    // group and each mask into page-sized bitmaps of their own), and beyond that at most 0.7 MB.
    static constexpr double imageFactor = 7.5;
    static constexpr qint64 workingMargin = 4ll * 1024 * 1024;
};
