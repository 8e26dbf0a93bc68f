#include "pageview/growthwatch.h"

#include "pageview/renderbudget.h"

#include <poppler-qt5.h>

namespace {

void noPartialImage(const QImage &, const QVariant &) {}

} // namespace

GrowthWatch::GrowthWatch(const MemoryHeadroom &headroom, qint64 untouched, bool sampleHeap)
    : start(ProcessFootprint::now()), sampleHeap(sampleHeap),
      heapAtStart(sampleHeap ? MemoryHeadroom::heapInUse() : 0), heapAtEnd(heapAtStart),
      allowedMapped(qMax<qint64>(0, headroom.mappable(untouched) - RenderBudget::reserve)),
      allowedResident(qMax<qint64>(0, headroom.bytes() - RenderBudget::reserve))
{
}

QImage GrowthWatch::render(const Poppler::Page &page, double resolution, int top, int rows,
                           int width)
{
    QImage image = page.renderToImage(
        resolution, resolution, top < 0 ? -1 : 0, top, width, rows, Poppler::Page::Rotate0,
        sampleHeap ? &noPartialImage : nullptr, sampleHeap ? &GrowthWatch::atEndOfContent : nullptr,
        &GrowthWatch::shouldAbort, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
    return tripped ? QImage() : image;
}

bool GrowthWatch::shouldAbort(const QVariant &closure)
{
    auto *watch = reinterpret_cast<GrowthWatch *>(closure.value<quintptr>());
    // Poppler asks every ten operators; a look at /proc every few hundred keeps the cost out of
    // the render's time while a page's operators can add little in between.
    if (++watch->calls % 32 != 0)
        return watch->tripped;
    const ProcessFootprint now = ProcessFootprint::now();
    watch->tripped = watch->tripped || now.mapped - watch->start.mapped > watch->allowedMapped ||
                     now.resident - watch->start.resident > watch->allowedResident;
    return watch->tripped;
}

// Poppler asks whether to show a partial image at the end of the page's content, while the fonts
// still hold their caches; none is ever wanted.
bool GrowthWatch::atEndOfContent(const QVariant &closure)
{
    auto *watch = reinterpret_cast<GrowthWatch *>(closure.value<quintptr>());
    watch->heapAtEnd = qMax(watch->heapAtEnd, MemoryHeadroom::heapInUse());
    return false;
}
