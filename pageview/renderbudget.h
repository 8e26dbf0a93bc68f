#pragma once

#include "pageview/memoryheadroom.h"

#include <QSize>
#include <QSizeF>
#include <QtGlobal>

// Decides, before Poppler is asked, how a page can be rendered at a resolution within the memory
// the process can still get: whole, in horizontal bands into one page image, or not at all.
// Poppler aborts the process when one of its own allocations fails, and inside a memory cgroup
// the kernel kills it instead, so nothing may be started that could go beyond that.
class RenderBudget
{
public:
    // What opening a document added, or a rebuild of its cross-reference table since where that
    // added more: malloc's bytes in use, the table as allocated, to the next power of two of its
    // entries, and the resident bytes, which hold only the entries the table uses. A render's
    // copy of the table takes as much again of each.
    struct DocumentCost
    {
        qint64 heap = 0;
        qint64 resident = 0;
    };

    struct Plan
    {
        enum Mode { Whole, Bands, Blank };
        Mode mode = Blank;
        QSize imageSize; // Poppler's image of the page; empty when no image can be held
        int bandRows = 0;
        qint64 bytesNeeded = 0;   // at the peak, for the chosen mode (for Blank, the least need)
        qint64 bytesReserved = 0; // address space reserved untouched, by every band anew
    };

    // What rendering a page costs: as multiples of its image, memory at the render's peak
    // (`factor`) and address space that the render reserves without touching it (`reserved`);
    // the rest in bytes. Splash gives every font size a glyph cache of eight times a glyph's box
    // in pixels, allocated at once, so a letter 500 pt high reserves nine times a 150 dpi page's
    // image; under an address-space limit, or the ceiling the renderer sets, that room is gone
    // for what follows, and Poppler does not survive every allocation refused there. Each band
    // renders at the page's scale and reserves it again.
    struct PageCost
    {
        double factor = imageFactor;
        double reserved = 0.0;
        // The headroom in which Poppler was refused an allocation that throws, such as the
        // buffer it reads a font program into: Poppler is built without exceptions, so the
        // throw leaks what its frames held, and the page is not rendered again in no more room.
        qint64 refusedWithin = 0;
        // Bytes the page takes at any resolution: a JPEG 2000 or progressive JPEG picture is
        // decoded whole, at its own size, however small it is drawn, and Splash reads a font
        // program whole at every render and every band.
        qint64 fixed = 0;
        // Where no second trial told the fixed part apart: what the trial took at its peak,
        // which the factor bounds only for renders of at least its image.
        qint64 leastBytes = 0;
        // Whether bands leave room for Splash's scaled copy of a page-sized picture: not for a
        // page whose trial showed none.
        bool scaledImage = true;

        // A page that no trial has measured yet: no factor, no reservation, nothing fixed.
        static PageCost unmeasured()
        {
            PageCost cost;
            cost.factor = 0.0;
            cost.reserved = 0.0;
            cost.refusedWithin = 0;
            cost.fixed = 0;
            cost.leastBytes = 0;
            cost.scaledImage = true;
            return cost;
        }
        bool isMeasured() const { return factor > 0.0; }
    };

    // Whole when the conservative estimate of a whole render fits; otherwise bands as tall as
    // fit beside the page image; otherwise Blank, for a page whose image and a band of the least
    // height do not fit, whose image could not be held in one image, or in no more headroom than
    // cost.refusedWithin. The reserve is always left over. `cost` is the page's own where a trial
    // has measured it.
    static Plan plan(const QSizeF &pointSize, double resolution, const MemoryHeadroom &headroom,
                     const PageCost &cost);
    static Plan plan(const QSizeF &pointSize, double resolution, const MemoryHeadroom &headroom)
    {
        return plan(pointSize, resolution, headroom, PageCost());
    }

    // The resolution at which to try a page first, to learn its own factor, or 0 where that is
    // not needed: where even guardFactor times its image fits, or where no trial large enough to
    // measure would.
    static double trialResolution(const QSizeF &pointSize, double resolution,
                                  const MemoryHeadroom &headroom);
    // A page's cost from a trial of an image of trialImage, which grew the resident memory by
    // residentGrowth at its peak and left heapGrowth more of malloc's bytes in use at the end of
    // the page's content, where the fonts still hold their caches; the factor never below
    // imageFactor.
    static PageCost costFromTrial(qint64 residentGrowth, qint64 heapGrowth,
                                  const QSize &trialImage);
    // The same cost, with what a second trial of a smaller image, which grew the resident memory
    // by smallerGrowth, shows not to grow with the image taken as fixed: the estimate at the
    // first trial stays what it measured, and beyond it grows only as the two trials differ. A
    // page whose cost grows in proportion to its image keeps its factor.
    static PageCost withFixedPart(const PageCost &cost, const QSize &trialImage,
                                  qint64 smallerGrowth, const QSize &smallerImage,
                                  qint64 residentGrowth);

    // The image Poppler renders a page of this size to, exactly as Poppler rounds it; an empty
    // size when it could not be held in one image.
    static QSize imageSize(const QSizeF &pointSize, double resolution);

    // Peak of a whole render, as a multiple of the image's bytes, measured with
    // bench/measure-render-budget.sh: an A4 page of text needs 1.5 times its image, a page of one
    // large scanned image 2.3 times, a page of three nested transparency groups with soft masks
    // 7.0 times (Splash renders each group and mask into bitmaps of the rendered area), and
    // beyond that at most 0.7 MB. A band's working set follows the same factor on the band.
    static constexpr double imageFactor = 7.5;
    // Nested groups cost more with every level, 1.5 times the image each, and Poppler asks its
    // abort callback too seldom for the watch to stop a descent through them. So a page whose
    // factor is not known yet is tried first at a low resolution unless this many times its
    // image fits (thirteen levels), and its render is planned with what the trial measured. A
    // trial costs about another pass over the page's operators and pictures, once per page.
    static constexpr double guardFactor = 24.0;
    // A trial renders about a mebibyte of image where there is room for that: a ten-level page
    // measured 17.4 times its image at that size, 17.5 at 100 dpi. A trial below a quarter of it
    // measures little but Poppler's fixed costs and is not made.
    static constexpr qint64 trialBytes = 1024 * 1024;
    static constexpr qint64 leastTrialBytes = trialBytes / 4;
    static constexpr qint64 workingMargin = 4ll * 1024 * 1024;
    // Splash scales an image to its size on the page before clipping it to the band, so a band
    // of a scanned page needs the page-sized scaled image too (1.05 times the page image,
    // measured). Bands leave room for it where they can, and go without where they cannot.
    static constexpr double scaledImageFactor = 1.3;
    // A trial that took less than this many times its image drew no page-sized picture: A4
    // pages of text or of 20,000 paths measured 0.8 to 0.9, the sample guide 1.2, a scanned
    // page 2.0 to 2.1. Room for a copy that such a page never makes thinned the bands of a page
    // of paths at 300 dpi in a 96 MiB cgroup to 33 rows, a pass over the page for each.
    static constexpr double scaledImageMeasured = 1.6;
    // Left over by every render for what follows it: the repaint, the geometry changes and a
    // message box took at most 6 MB of resident memory and 3.2 MB of address space, measured on
    // the xcb and offscreen platforms.
    static constexpr qint64 reserve = 8ll * 1024 * 1024;
    // Bands are never lower than this, but for a page that is lower itself.
    static constexpr int minimumBandRows = 16;
    // The most bands of a page with a fixed cost: every band pays it again (1.5 s for a JPEG
    // 2000 picture of 6000 x 6000 pixels, 0.5 s for a page of 100 embedded fonts).
    static constexpr int fixedCostBands = 8;
};
