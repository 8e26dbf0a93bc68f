// Measures what one page render costs the process, the way the viewer renders (Splash, text
// antialiasing, whole page, Rotate0), straight through Poppler without the viewer's budget:
//   render-peak FILE DPI [PAGE]
// Prints the budget's verdict, the rendered size, the image bytes, and the address space before
// the render and at its peak. Run once per measurement: the peak of a process never goes down.
// bench/measure-render-budget.sh runs it over the heavy pages, at several resolutions
// and under several address-space caps.
#include "pageview/renderbudget.h"

#include <poppler-qt5.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

// A field of /proc/self/status in kB, or -1.
long long statusKilobytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ':';
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stoll(line.substr(prefix.size()));
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: render-peak FILE DPI [PAGE]\n");
        return 2;
    }
    const double dpi = std::atof(argv[2]);
    const int pageIndex = argc > 3 ? std::atoi(argv[3]) : 0;

    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(argv[1]));
    if (!document || document->isLocked()) {
        std::fprintf(stderr, "render-peak: cannot open %s\n", argv[1]);
        return 1;
    }
    document->setRenderBackend(Poppler::Document::SplashBackend);
    document->setRenderHint(Poppler::Document::TextAntialiasing, true);
    std::unique_ptr<Poppler::Page> page(document->page(pageIndex));
    if (!page) {
        std::fprintf(stderr, "render-peak: no page %d\n", pageIndex);
        return 1;
    }

    const long long vmBefore = statusKilobytes("VmSize");
    // What the viewer would decide here; the render below happens regardless. Printed first, as
    // the render may take the process down.
    const QSizeF points = page->pageSizeF();
    std::printf("fits=%s ",
                RenderBudget::fits(points, dpi, RenderBudget::current()) ? "yes" : "no");
    std::fflush(stdout);
    const QImage image = page->renderToImage(dpi, dpi, -1, -1, -1, -1, Poppler::Page::Rotate0);
    std::printf("pixels=%dx%d image_kb=%lld vm_before_kb=%lld vm_peak_kb=%lld\n", image.width(),
                image.height(), static_cast<long long>(image.sizeInBytes() / 1024), vmBefore,
                statusKilobytes("VmPeak"));
    return image.isNull() ? 3 : 0;
}
