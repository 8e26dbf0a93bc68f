// Measures what one page render costs the process, straight through Poppler the way the viewer
// renders (Splash, text antialiasing, Rotate0), without the viewer's budget:
//   render-peak FILE DPI [PAGE] [BAND_ROWS]
// renders the page whole, or with BAND_ROWS in bands of that many rows into one image as the
// viewer does when memory is short. Prints the budget's plan, the rendered size, the image
// bytes, the time, and the address space and resident memory before the render and at their
// peaks. Run once per measurement: the peak of a process never goes down.
// bench/measure-render-budget.sh runs it over the heavy pages, at several resolutions and under
// several address-space caps.
#include "base/procstatus.h"
#include "pageview/pagerenderer.h"
#include "pageview/renderbudget.h"
#include "pageview/rendersettings.h"

#include <poppler-qt5.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <limits>
#include <memory>

namespace {

const char *modeName(RenderBudget::Plan::Mode mode)
{
    switch (mode) {
    case RenderBudget::Plan::Whole:
        return "whole";
    case RenderBudget::Plan::Bands:
        return "bands";
    case RenderBudget::Plan::Blank:
        break;
    }
    return "blank";
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: render-peak FILE DPI [PAGE] [BAND_ROWS]\n");
        return 2;
    }
    const double dpi = std::atof(argv[2]);
    const int pageIndex = argc > 3 ? std::atoi(argv[3]) : 0;
    const int bandRows = argc > 4 ? std::atoi(argv[4]) : 0;

    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(argv[1]));
    if (!document || document->isLocked()) {
        std::fprintf(stderr, "render-peak: cannot open %s\n", argv[1]);
        return 1;
    }
    useViewerRenderSettings(*document);
    std::unique_ptr<Poppler::Page> page(document->page(pageIndex));
    if (!page) {
        std::fprintf(stderr, "render-peak: no page %d\n", pageIndex);
        return 1;
    }

    const long long vmBefore = statusKib("VmSize");
    const long long rssBefore = statusKib("VmRSS");
    // What the viewer would decide here; the render below happens regardless. Printed first, as
    // the render may take the process down.
    const MemoryHeadroom headroom = MemoryHeadroom::current();
    RenderBudget::Plan plan = RenderBudget::plan(page->pageSizeF(), dpi, headroom);
    std::printf("plan=%s plan_rows=%d ", modeName(plan.mode), plan.bandRows);
    std::fflush(stdout);

    // No budget and no watch: the render as asked.
    plan.imageSize = RenderBudget::imageSize(page->pageSizeF(), dpi);
    plan.mode = bandRows > 0 ? RenderBudget::Plan::Bands : RenderBudget::Plan::Whole;
    plan.bandRows = bandRows;
    MemoryHeadroom unlimited;
    unlimited.memoryAvailable = std::numeric_limits<qint64>::max();
    QElapsedTimer clock;
    clock.start();
    const QImage image = PageRenderer::render(*page, dpi, plan, unlimited);
    const qint64 elapsed = clock.elapsed();
    std::printf("pixels=%dx%d image_kb=%lld ms=%lld vm_before_kb=%lld vm_peak_kb=%lld "
                "rss_before_kb=%lld rss_peak_kb=%lld\n",
                image.width(), image.height(), static_cast<long long>(image.sizeInBytes() / 1024),
                static_cast<long long>(elapsed), vmBefore, statusKib("VmPeak"), rssBefore,
                statusKib("VmHWM"));
    return image.isNull() ? 3 : 0;
}
