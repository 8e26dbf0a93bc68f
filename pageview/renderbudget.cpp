#include "pageview/renderbudget.h"

#include <cmath>
#include <limits>

namespace {

// Saturates instead of overflowing: hostile page sizes reach any magnitude.
qint64 saturated(double bytes)
{
    return bytes < double(MemoryHeadroom::unlimited) ? qint64(bytes) : MemoryHeadroom::unlimited;
}

// One side in pixels, computed as Poppler computes it (the scale first, then rounded), so that
// the bands of a page add up to exactly the image a whole render would give.
double pixels(double points, double resolution)
{
    const double side = std::floor((resolution / 72.0) * qMax(0.0, points) + 0.5);
    return std::isnan(side) ? 1.0 : qMax(1.0, side);
}

// The bytes of Poppler's image of the page, as computed above, without QImage's bounds.
double imageBytes(const QSizeF &pointSize, double resolution)
{
    return pixels(pointSize.width(), resolution) * pixels(pointSize.height(), resolution) * 4.0;
}

double imageBytes(const QSize &image)
{
    return double(image.width()) * image.height() * 4.0;
}

} // namespace

QSize RenderBudget::imageSize(const QSizeF &pointSize, double resolution)
{
    const double width = pixels(pointSize.width(), resolution);
    const double height = pixels(pointSize.height(), resolution);
    // QImage holds at most 2 GiB, and counts a row's bits, 32 a pixel, in an int.
    constexpr double intMax = double(std::numeric_limits<int>::max());
    if (width * height * 4.0 >= intMax || width * 32.0 > intMax)
        return QSize();
    return QSize(int(width), int(height));
}

double RenderBudget::trialResolution(const QSizeF &pointSize, double resolution,
                                     const MemoryHeadroom &headroom)
{
    const double bytes = imageBytes(pointSize, resolution);
    const double usable =
        double(qMax<qint64>(0, headroom.bytes() - reserve - workingMargin - headroom.perRender));
    if (usable >= guardFactor * bytes)
        return 0.0;
    // A quarter of the pixels at most, or the least trial where that is more: an image under a
    // mebibyte, as at a small screen's first zoom, nests no cheaper, so it is tried with more of
    // its pixels rather than not at all. Never more than guardFactor times itself fits in.
    const double least = double(leastTrialBytes) / bytes;
    const double most = qMax(0.25, least);
    const double share =
        qMin(qMin(most, double(trialBytes) / bytes), usable / (guardFactor * bytes));
    const double trial = resolution * std::sqrt(share);
    // Before rounding: the least trial, rounded to pixels, may fall a row short of itself.
    return share >= least ? trial : 0.0;
}

RenderBudget::PageCost RenderBudget::costFromTrial(qint64 residentGrowth, qint64 heapGrowth,
                                                   const QSize &trialImage)
{
    PageCost cost;
    const double bytes = imageBytes(trialImage);
    if (bytes <= 0.0)
        return cost;
    // A tenth more: the kernel counts a thread's resident pages in batches of up to 256 KiB.
    const double measured = 1.1 * double(residentGrowth) / bytes;
    cost.factor = qMax(imageFactor, measured);
    cost.scaledImage = measured >= scaledImageMeasured;
    // What is still in use at the end beyond the page's image is mostly the glyph caches; on a
    // page of ordinary text it is under two thirds of a trial's image.
    cost.reserved = qMax(0.0, 1.1 * double(heapGrowth) / bytes - 1.0);
    cost.leastBytes = qint64(1.1 * double(residentGrowth));
    return cost;
}

RenderBudget::PageCost RenderBudget::withFixedPart(const PageCost &cost, const QSize &trialImage,
                                                   qint64 smallerGrowth, const QSize &smallerImage,
                                                   qint64 residentGrowth)
{
    const double bytes = imageBytes(trialImage);
    const double smallerBytes = imageBytes(smallerImage);
    if (smallerBytes <= 0.0 || smallerBytes >= bytes)
        return cost;
    // A tenth more, as for the factor.
    const double slope = 1.1 * double(residentGrowth - smallerGrowth) / (bytes - smallerBytes);
    // Mostly proportional, as nested groups are: the factor stays, with its margin.
    if (slope >= cost.factor / 2.0)
        return cost;
    PageCost split = cost;
    split.factor = qMax(imageFactor, slope);
    split.fixed = qMax<qint64>(0, saturated((cost.factor - split.factor) * bytes));
    split.leastBytes = 0; // the fixed part and the factor hold it now
    return split;
}

RenderBudget::Plan RenderBudget::plan(const QSizeF &pointSize, double resolution,
                                      const MemoryHeadroom &headroom, const PageCost &cost)
{
    Plan plan;
    plan.imageSize = imageSize(pointSize, resolution);
    const double pageImageBytes = imageBytes(pointSize, resolution);
    const double factor = cost.factor;
    plan.bytesReserved = saturated(pageImageBytes * cost.reserved);
    // The reserved bytes take no memory, but address space under a limit.
    const qint64 usable = qMax<qint64>(
        0, qMin(headroom.bytes(), headroom.addressSpace() - plan.bytesReserved) - reserve);
    plan.bytesNeeded =
        saturated(qMax(pageImageBytes * factor, double(cost.leastBytes)) + double(cost.fixed) +
                  double(workingMargin) + double(headroom.perRender));
    if (plan.imageSize.isEmpty())
        return plan;
    if (headroom.bytes() <= cost.refusedWithin) {
        plan.bytesNeeded = qMax(plan.bytesNeeded, cost.refusedWithin);
        return plan;
    }
    if (plan.bytesNeeded <= usable) {
        plan.mode = Plan::Whole;
        return plan;
    }

    // Bands: the page image, Splash's scaled copy of a page-sized picture where the page may
    // draw one and there is room for it, and one band's working set, as tall as what is left
    // allows. Without room for the copy Splash refuses it and leaves the picture out, which
    // still shows the rest of the page.
    const double rowBytes = double(plan.imageSize.width()) * 4.0 * factor;
    const int leastRows = qMin(minimumBandRows, plan.imageSize.height());
    // A band takes what the trial took at the least, however few its rows.
    const auto bandBytes = [&](double rows) {
        return qMax(rowBytes * rows, double(cost.leastBytes));
    };
    // Every band reads a font or decodes a picture of the fixed part again, and a render in
    // dozens of thin bands took over 30 s: a page with one goes in few bands or not at all.
    const int least =
        cost.fixed > 0
            ? qMax(leastRows, (plan.imageSize.height() + fixedCostBands - 1) / fixedCostBands)
            : leastRows;
    for (const double copy : {cost.scaledImage ? scaledImageFactor : 0.0, 0.0}) {
        const double fixedBytes = pageImageBytes * (1.0 + copy) + double(workingMargin) +
                                  double(headroom.perRender) + double(cost.fixed);
        plan.bytesNeeded = saturated(fixedBytes + bandBytes(least));
        const double rows = std::floor((double(usable) - fixedBytes) / rowBytes);
        if (rows >= least && plan.bytesNeeded <= usable) {
            plan.mode = Plan::Bands;
            plan.bandRows = int(qMin(rows, double(plan.imageSize.height())));
            plan.bytesNeeded = saturated(fixedBytes + bandBytes(plan.bandRows));
            return plan;
        }
    }
    return plan;
}
