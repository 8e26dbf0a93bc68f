#include "pageview/pagerenderer.h"

#include "base/residentpeak.h"
#include "pageview/addressspaceceiling.h"
#include "pageview/growthwatch.h"
#include "pageview/refusedallocations.h"
#include "pageview/renderbudget.h"

#include <poppler-qt5.h>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr double mebibyte = 1024.0 * 1024.0;

void report(const Poppler::Page &page, double resolution, const QString &what,
            const MemoryHeadroom &headroom)
{
    std::fprintf(stderr, "page-scope: page %d at %g dpi %s (headroom %.1f MiB)\n", page.index() + 1,
                 resolution, qPrintable(what), double(headroom.bytes()) / mebibyte);
    std::fflush(stderr);
}

// Null when a band fails; outOfMemory tells whether for want of memory or for the document.
QImage renderInBands(const Poppler::Page &page, double resolution, const RenderBudget::Plan &plan,
                     GrowthWatch &watch, bool *outOfMemory)
{
    const QSize size = plan.imageSize;
    // The page image is held from the start, so that every band has the same room: a band with
    // more of it could hold a scaled picture that the others leave out.
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        *outOfMemory = true;
        return QImage();
    }
    for (int top = 0; top < size.height(); top += plan.bandRows) {
        const int rows = qMin(plan.bandRows, size.height() - top);
        const QImage band = watch.render(page, resolution, top, rows, size.width());
        if (band.isNull() || band.width() != size.width() || band.height() != rows)
            return QImage();
        // The page image takes the format Poppler gives its bands, as a whole render would.
        if (top == 0)
            image.reinterpretAsFormat(band.format());
        if (band.format() != image.format())
            return QImage();
        const size_t rowBytes = size_t(qMin(band.bytesPerLine(), image.bytesPerLine()));
        for (int row = 0; row < rows; ++row)
            std::memcpy(image.scanLine(top + row), band.constScanLine(row), rowBytes);
    }
    return image;
}

struct Outcome
{
    QImage image;
    bool outOfMemory = false;
    bool exceeded = false; // stopped by the watch
    bool thrown = false;   // refused an allocation that throws, leaking what Poppler held
    int refusals = 0;      // allocations Poppler was refused and did without
    qint64 heapGrowth = 0; // malloc's bytes in use at the end of the content, over the start
};

Outcome renderWatched(const Poppler::Page &page, double resolution, const RenderBudget::Plan &plan,
                      const MemoryHeadroom &headroom, bool isTrial = false)
{
    GrowthWatch watch(headroom, plan.bytesReserved, isTrial);
    Outcome outcome;
    const RefusedAllocations refused;
    // Allocations outside Poppler's own allocator can still throw.
    try {
        // Splash scales an image to its whole size on the page before clipping it: one drawn far
        // beyond its page takes many times the page's image in one allocation, between two of
        // the watch's looks, and under the ceiling Splash leaves it out. Half the reserve above
        // the watch's bound, so that growth operator by operator still stops at the watch before
        // one of Poppler's unchecked allocations, which abort, meets it.
        const AddressSpaceCeiling ceiling(watch.mappedAtStart(),
                                          watch.allowedMappedGrowth() + RenderBudget::reserve / 2);
        outcome.image = plan.mode == RenderBudget::Plan::Whole
                            ? watch.render(page, resolution)
                            : renderInBands(page, resolution, plan, watch, &outcome.outOfMemory);
    } catch (const std::bad_alloc &) {
        outcome.image = QImage();
        outcome.outOfMemory = true;
        outcome.thrown = true;
    }
    outcome.refusals = refused.count();
    // No image after Poppler was refused memory: the page is blank for want of it.
    outcome.outOfMemory = outcome.outOfMemory || (outcome.image.isNull() && outcome.refusals > 0);
    outcome.exceeded = watch.exceeded();
    outcome.heapGrowth = watch.heapGrowth();
    // A render stopped for memory leaves the most behind, and the least room for what follows.
    if (outcome.outOfMemory || outcome.exceeded)
        PageRenderer::releaseFreedHeap();
    return outcome;
}

MemoryHeadroom currentHeadroom(const RenderBudget::DocumentCost &document)
{
    MemoryHeadroom headroom = MemoryHeadroom::current();
    headroom.perRender = document.heap;
    return headroom;
}

// The page's cost, measured on a whole render at the trial resolution; unmeasured where the
// kernel's high-water mark cannot be read.
RenderBudget::PageCost measuredCost(const Poppler::Page &page, double trialResolution,
                                    const RenderBudget::DocumentCost &document)
{
    // Freed pages that malloc keeps resident would be taken again without showing in the peak.
    PageRenderer::releaseFreedHeap();
    RenderBudget::Plan whole;
    whole.mode = RenderBudget::Plan::Whole;
    whole.imageSize = RenderBudget::imageSize(page.pageSizeF(), trialResolution);
    const ResidentPeak peak;
    // Without the kernel's mark the trial would cost a pass and tell nothing.
    if (!peak.isValid())
        return RenderBudget::PageCost::unmeasured();
    const MemoryHeadroom headroom = currentHeadroom(document);
    const Outcome trial = renderWatched(page, trialResolution, whole, headroom, true);
    const qint64 growth = peak.growth();
    if (growth < 0)
        return RenderBudget::PageCost::unmeasured();
    // The trial's copy of the document's table is no cost of the page's image.
    RenderBudget::PageCost cost = RenderBudget::costFromTrial(
        growth - document.resident, trial.heapGrowth - document.heap, whole.imageSize);
    // Stopped, the trial tells only that the page costs more than it was given room for.
    if (trial.outOfMemory || trial.exceeded) {
        cost.factor = qMax(cost.factor, RenderBudget::guardFactor);
        cost.scaledImage = true;
        if (trial.thrown)
            cost.refusedWithin = headroom.bytes();
        return cost;
    }
    // Nested groups measure up to about 21 times their image; a picture decoded whole, which
    // costs as much at any resolution, many times more at a trial's size. A quarter of the pixels
    // again tells the two apart.
    if (cost.factor <= RenderBudget::guardFactor)
        return cost;
    PageRenderer::releaseFreedHeap();
    RenderBudget::Plan smaller = whole;
    smaller.imageSize = RenderBudget::imageSize(page.pageSizeF(), trialResolution / 2.0);
    const ResidentPeak smallerPeak;
    const Outcome second =
        renderWatched(page, trialResolution / 2.0, smaller, currentHeadroom(document), true);
    const qint64 smallerGrowth = smallerPeak.growth();
    if (second.outOfMemory || second.exceeded || smallerGrowth < 0)
        return cost;
    return RenderBudget::withFixedPart(cost, whole.imageSize, smallerGrowth - document.resident,
                                       smaller.imageSize, growth - document.resident);
}

// Said only of a page that costs more than the default factor plans for, that has a fixed cost,
// or that reserves room: ordinary text leaves up to two thirds of a trial's image in use; more is
// caches.
void reportMeasuredCost(const Poppler::Page &page, double resolution,
                        const RenderBudget::PageCost &cost, double trialResolution,
                        const MemoryHeadroom &headroom)
{
    const bool reserves = cost.reserved >= 1.0;
    if (cost.factor <= RenderBudget::imageFactor && !reserves && cost.fixed == 0)
        return;
    QString what = QString::asprintf("costs %.1f times its image", cost.factor);
    if (cost.fixed > 0)
        what += QString::asprintf(" and %.1f MiB at any resolution", double(cost.fixed) / mebibyte);
    if (reserves)
        what += QString::asprintf(" and reserves %.1f times it", cost.reserved);
    what += QString::asprintf(", measured at %.1f dpi", trialResolution);
    report(page, resolution, what, headroom);
}

} // namespace

QImage PageRenderer::render(const Poppler::Page &page, double resolution,
                            RenderBudget::PageCost *pageCost,
                            const RenderBudget::DocumentCost &document)
{
    const QSizeF size = page.pageSizeF();
    MemoryHeadroom headroom = currentHeadroom(document);
    RenderBudget::PageCost cost =
        pageCost && pageCost->isMeasured() ? *pageCost : RenderBudget::PageCost();
    if (pageCost)
        cost.refusedWithin = pageCost->refusedWithin;
    RenderBudget::Plan plan = RenderBudget::plan(size, resolution, headroom, cost);
    if (pageCost && !pageCost->isMeasured() && plan.mode != RenderBudget::Plan::Blank) {
        const double trial = RenderBudget::trialResolution(size, resolution, headroom);
        if (trial > 0.0) {
            const RenderBudget::PageCost measured = measuredCost(page, trial, document);
            // Where nothing could be measured, the page is not tried again. An earlier refusal
            // still bounds the render that follows the trial.
            cost = measured.isMeasured() ? measured : RenderBudget::PageCost();
            cost.refusedWithin = qMax(cost.refusedWithin, pageCost->refusedWithin);
            *pageCost = cost;
            headroom = currentHeadroom(document);
            plan = RenderBudget::plan(size, resolution, headroom, cost);
            reportMeasuredCost(page, resolution, cost, trial, headroom);
        }
    }
    // Pages that Poppler freed and malloc still holds count against the cgroup and the system,
    // and the watch sees them taken again only once they have been handed back. A plan short of
    // a whole render, or one that counts on the freed heap for address space, has them back
    // first.
    const bool onFreedHeap = plan.bytesNeeded > headroom.mappable() - RenderBudget::reserve;
    if ((plan.mode != RenderBudget::Plan::Whole || onFreedHeap) && releaseFreedHeap()) {
        headroom = currentHeadroom(document);
        plan = RenderBudget::plan(size, resolution, headroom, cost);
    }
    bool thrown = false;
    const QImage image = render(page, resolution, plan, headroom, &thrown);
    if (thrown && pageCost)
        pageCost->refusedWithin = headroom.bytes();
    return image;
}

bool PageRenderer::releaseFreedHeap()
{
    return malloc_trim(0) == 1;
}

QImage PageRenderer::render(const Poppler::Page &page, double resolution,
                            const RenderBudget::Plan &plan, const MemoryHeadroom &headroom,
                            bool *thrown)
{
    if (plan.mode == RenderBudget::Plan::Blank) {
        QString what = QStringLiteral("left blank: its image would be larger than an image can be");
        if (!plan.imageSize.isEmpty()) {
            // With the reserve every render leaves, or a need below the headroom would read as
            // one that fits.
            what = QString::asprintf("left blank for memory: needs %.1f MiB",
                                     double(plan.bytesNeeded + RenderBudget::reserve) / mebibyte);
            if (plan.bytesReserved > 0)
                what += QString::asprintf(" and reserves %.1f MiB more",
                                          double(plan.bytesReserved) / mebibyte);
        }
        report(page, resolution, what, headroom);
        return QImage();
    }

    const Outcome outcome = renderWatched(page, resolution, plan, headroom);
    if (thrown)
        *thrown = outcome.thrown;
    if (outcome.outOfMemory) {
        report(page, resolution, "left blank for memory: an allocation failed", headroom);
    } else if (outcome.exceeded) {
        report(page, resolution, "left blank for memory: the render outgrew its headroom",
               headroom);
    } else if (!outcome.image.isNull() &&
               (plan.mode == RenderBudget::Plan::Bands || outcome.refusals > 0)) {
        // A page that Poppler drew only in part is still shown: its text and drawing are there,
        // and a page left blank for a picture it could not hold would hide them too.
        QString what = plan.mode == RenderBudget::Plan::Bands
                           ? QStringLiteral("rendered in bands of %1 rows").arg(plan.bandRows)
                           : QStringLiteral("rendered");
        if (outcome.refusals > 0)
            what += QStringLiteral(", without the parts Poppler had no memory for");
        report(page, resolution, what, headroom);
    }
    return outcome.image;
}
