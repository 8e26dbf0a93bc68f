// The floor of the start-up benchmark: the least a Qt program can do to put a PDF's first page on
// the screen. A bare QWindow with a QBackingStore (no widgets, no style, no icons), the document
// loaded and page 1 rendered with the viewer's Poppler settings (Splash, text antialiasing, the
// viewer's resolution for the window width) before the event loop starts, and the image painted
// at the window's origin on every expose:
//   startup-floor FILE [WIDTH HEIGHT]
// The window is frameless at 0,0, like the viewer's on a device. With PAGE_SCOPE_STARTUP_TRACE
// set it prints the same trace lines as the viewer on standard error, "page painted" after the
// first flush. It runs until it is killed.
#include "base/startuptrace.h"

#include <poppler-qt5.h>

#include <QBackingStore>
#include <QGuiApplication>
#include <QPainter>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

class FloorWindow : public QWindow
{
public:
    explicit FloorWindow(const QImage &page) : m_page(page), m_store(this) {}

protected:
    void exposeEvent(QExposeEvent *) override
    {
        if (!isExposed())
            return;
        const QRect area(QPoint(0, 0), size());
        m_store.resize(size());
        m_store.beginPaint(area);
        {
            QPainter painter(m_store.paintDevice());
            painter.fillRect(area, Qt::lightGray);
            painter.drawImage(QPoint(0, 0), m_page);
        }
        m_store.endPaint();
        m_store.flush(area);
        if (!m_painted) {
            m_painted = true;
            startupTrace("page painted");
        }
    }

    void resizeEvent(QResizeEvent *) override { m_store.resize(size()); }

private:
    QImage m_page;
    QBackingStore m_store;
    bool m_painted = false;
};

} // namespace

int main(int argc, char *argv[])
{
    startupTrace("main");
    QGuiApplication application(argc, argv);
    startupTrace("application created");
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup-floor FILE [WIDTH HEIGHT]\n");
        return 2;
    }
    const int width = argc > 3 ? std::atoi(argv[2]) : 480;
    const int height = argc > 3 ? std::atoi(argv[3]) : 272;

    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(argv[1]));
    if (!document || document->isLocked()) {
        std::fprintf(stderr, "startup-floor: cannot open %s\n", argv[1]);
        return 1;
    }
    document->setRenderBackend(Poppler::Document::SplashBackend);
    document->setRenderHint(Poppler::Document::TextAntialiasing, true);
    std::unique_ptr<Poppler::Page> page(document->page(0));
    if (!page) {
        std::fprintf(stderr, "startup-floor: no first page in %s\n", argv[1]);
        return 1;
    }
    // The viewer's rule for its first render (80 and 100 dpi belong to wider screens than
    // these benchmarks use).
    const double resolution = width < 500 ? 48.0 : width <= 800 ? 80.0 : 100.0;
    const QImage image = page->renderToImage(resolution, resolution);
    startupTrace("document loaded and page rendered");

    FloorWindow window(image);
    window.setSurfaceType(QSurface::RasterSurface);
    window.setFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(0, 0, width, height);
    window.show();
    startupTrace("window shown");
    return application.exec();
}
