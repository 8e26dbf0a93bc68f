#pragma once

#include "pageview/renderbudget.h"

#include <QImage>

namespace Poppler {
class Page;
} // namespace Poppler

// Renders a page at a resolution within the memory the process can still get (RenderBudget):
// whole when that fits, otherwise in horizontal bands copied into the one page image, otherwise
// not at all. While Poppler works, a watch stops it when the process grows into the reserve,
// which the budget cannot foresee for pages whose cost lies in their operators rather than in
// their image. Where memory is short of what any page might need, a page whose cost is not known
// yet is first rendered small, to measure it. A page left blank, rendered in bands or drawn
// without what Poppler had no memory for is reported on standard error, and so is a trial that
// measured more than the budget's factor plans for.
class PageRenderer
{
public:
    // The page's image, or a null image when it could not be rendered. `pageCost`, where given,
    // holds the page's cost once a trial has measured it, unmeasured until then; a trial sets it.
    // Its refusedWithin bounds the render, and a render refused an allocation that throws sets
    // it. `document`: what the page's document took to open, or to rebuild its table since,
    // which every render takes about again (MemoryHeadroom::perRender).
    static QImage render(const Poppler::Page &page, double resolution,
                         RenderBudget::PageCost *pageCost = nullptr,
                         const RenderBudget::DocumentCost &document = {});
    // The same with a plan made elsewhere, for measuring and testing one mode against another.
    // `thrown`, where given, tells whether Poppler was refused an allocation that throws.
    static QImage render(const Poppler::Page &page, double resolution,
                         const RenderBudget::Plan &plan, const MemoryHeadroom &headroom,
                         bool *thrown = nullptr);

    // Hands the pages that Poppler freed back to the system; true when there were any. Renders
    // keep them for the next one, which would otherwise fault every page of its working set in
    // anew: zoom steps from 48 to 300 dpi took twice Poppler's own time that way.
    static bool releaseFreedHeap();
};
