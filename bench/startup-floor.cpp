// The floor of the start-up benchmark: the least a Qt program can do to put a PDF's first page on
// the screen. A bare QWindow with a QBackingStore (no widgets, no style, no icons), the document
// loaded and page 1 rendered with the viewer's Poppler settings (Splash, text antialiasing, the
// viewer's resolution for the window width) before the event loop starts, and the image painted
// at the window's origin on every expose:
//   startup-floor [--notice] FILE [WIDTH HEIGHT]
// With --notice it does the work the viewer's opening flow asks for before its first page: the
// window shown first with the loading notice drawn as text, and the load 10 ms later from the
// event loop. The window is frameless at 0,0, like the viewer's on a device. With
// PAGE_SCOPE_STARTUP_TRACE set it prints the same trace lines as the viewer on standard error,
// "page painted" after the first flush of the page. It runs until it is killed.
#include "app/sessionbus.h"
#include "base/startuptrace.h"
#include "pageview/rendersettings.h"

#include <poppler-qt5.h>

#include <QBackingStore>
#include <QGuiApplication>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

class FloorWindow : public QWindow
{
public:
    explicit FloorWindow(const QImage &page) : m_page(page), m_store(this) {}

    // At once, as the viewer repaints its page view once the page is rendered.
    void showPage(const QImage &page)
    {
        m_page = page;
        if (isExposed())
            paint();
    }

protected:
    void exposeEvent(QExposeEvent *) override
    {
        if (isExposed())
            paint();
    }

    void resizeEvent(QResizeEvent *) override { m_store.resize(size()); }

private:
    // The page, or until there is one the loading notice with the viewer's geometry and colours.
    void paint()
    {
        const QRect area(QPoint(0, 0), size());
        m_store.resize(size());
        m_store.beginPaint(area);
        {
            QPainter painter(m_store.paintDevice());
            painter.fillRect(area, Qt::lightGray);
            if (m_page.isNull()) {
                const QRect notice(width() / 4, 100, width() / 2, 50);
                painter.fillRect(notice, QColor(200, 200, 200, 200));
                painter.drawText(notice, Qt::AlignCenter, "Loading PDF. Please wait...");
            } else {
                painter.drawImage(QPoint(0, 0), m_page);
            }
        }
        m_store.endPaint();
        m_store.flush(area);
        if (!m_painted && !m_page.isNull()) {
            m_painted = true;
            startupTrace("page painted");
        }
    }

    QImage m_page;
    QBackingStore m_store;
    bool m_painted = false;
};

// The document, its first page and that page rendered as the viewer renders its first page,
// all kept open as the viewer keeps them.
struct FirstPage
{
    std::unique_ptr<Poppler::Document> document;
    std::unique_ptr<Poppler::Page> page;
    QImage image;

    // False, with a message on standard error, when the file cannot give a first page.
    bool load(const char *path, int width)
    {
        document.reset(Poppler::Document::load(path));
        if (document && !document->isLocked())
            page.reset(document->page(0));
        if (!page) {
            std::fprintf(stderr, "startup-floor: no first page in %s\n", path);
            return false;
        }
        useViewerRenderSettings(*document);
        const double resolution = defaultResolution(width);
        image = page->renderToImage(resolution, resolution);
        startupTrace("document loaded and page rendered");
        return true;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    startupTrace("main");
    keepSessionBusFromAutolaunching();
    QGuiApplication application(argc, argv);
    startupTrace("application created");
    const bool notice = argc > 1 && qstrcmp(argv[1], "--notice") == 0;
    char **arguments = argv + (notice ? 1 : 0);
    const int count = argc - (notice ? 1 : 0);
    if (count < 2) {
        std::fprintf(stderr, "usage: startup-floor [--notice] FILE [WIDTH HEIGHT]\n");
        return 2;
    }
    const char *path = arguments[1];
    const int width = count > 3 ? std::atoi(arguments[2]) : 480;
    const int height = count > 3 ? std::atoi(arguments[3]) : 272;

    FirstPage first;
    if (!notice && !first.load(path, width))
        return 1;
    FloorWindow window(first.image);
    window.setSurfaceType(QSurface::RasterSurface);
    window.setFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(0, 0, width, height);
    window.show();
    startupTrace("window shown");
    if (notice)
        QTimer::singleShot(10, [&] {
            startupTrace("notice timer fired");
            if (first.load(path, width))
                window.showPage(first.image);
            else
                QCoreApplication::exit(1);
        });
    return application.exec();
}
