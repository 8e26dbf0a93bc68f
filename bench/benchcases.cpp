#include "benchcases.h"
#include "report.h"

#include "benchdocuments.h"

#include "base/transientlabelstyle.h"
#include "config/deviceconfig.h"
#include "pageview/pdfwidget.h"
#include "pageview/rendersettings.h"

#include <poppler-qt5.h>

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QWidget>

namespace {

constexpr double HighResolution = 300.0;

double openingResolution()
{
    return defaultResolution(deviceConfig.windowWidth);
}

// The resolutions the zoom-in command walks through from a resolution to the top.
QVector<double> zoomSteps(double from)
{
    QVector<double> steps;
    for (double r = from; r < HighResolution;) {
        r = qMin(r + 10.0, HighResolution);
        steps.append(r);
    }
    return steps;
}

// A document the viewer can open without its failure box, which would wait for a user.
bool opens(const QString &path, QString *error)
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(path));
    if (document && !document->isLocked() && document->numPages() > 0)
        return true;
    *error = QStringLiteral("cannot open ") + path;
    return false;
}

// After each command the main window repaints the page view at once, and the event loop then
// handles what the command left queued (scroll bar and overlay updates): all of it is the
// viewer's cost.
void settle(PDFWidget *view)
{
    view->repaint();
    QCoreApplication::processEvents();
}

class ViewerSide : public Side
{
public:
    ViewerSide(Stage &stage, const QString &path) : view(stage.view), path(path) {}
    bool setUp() override
    {
        if (!opens(path, &error))
            return false;
        return view->loadDocument(path);
    }
    qint64 imageBytes() const override { return view->image ? view->image->sizeInBytes() : 0; }

protected:
    PDFWidget *view;
    QString path;
};

class ViewerOpen : public ViewerSide
{
public:
    using ViewerSide::ViewerSide;
    bool setUp() override { return opens(path, &error); }
    void run() override
    {
        view->loadDocument(path);
        settle(view);
    }
    // Poppler keeps its global state only while a document is open, and both sides must open
    // from the same state: none of either side's documents stays open between runs.
    void finish() override
    {
        view->closeDocument();
        settle(view);
    }
};

// A document open and its first page shown at a given resolution, with the page number gone:
// the state in which a user turns pages or scrolls.
class ViewerAtResolution : public ViewerSide
{
public:
    ViewerAtResolution(Stage &stage, const QString &path, double resolution)
        : ViewerSide(stage, path), resolution(resolution)
    {
    }
    bool setUp() override
    {
        if (!ViewerSide::setUp())
            return false;
        view->resolution = resolution;
        view->renderPage();
        view->hidePageNumberWidget();
        settle(view);
        return true;
    }

private:
    double resolution;
};

class ViewerPageChange : public ViewerAtResolution
{
public:
    using ViewerAtResolution::ViewerAtResolution;
    void prepare() override
    {
        if (view->pageIndex + 1 >= view->document->numPages())
            view->gotoPage(0);
        settle(view);
    }
    void run() override
    {
        view->nextPage();
        settle(view);
    }
};

class ViewerZoom : public ViewerSide
{
public:
    ViewerZoom(Stage &stage, const QString &path, double from) : ViewerSide(stage, path), from(from)
    {
    }
    void prepare() override
    {
        // From the opening resolution the page is shown there first, as after opening; from
        // another, only the resolution is set, and the first step renders the page at the next.
        view->resolution = from;
        if (from == openingResolution())
            view->renderPage();
        settle(view);
    }
    void run() override
    {
        while (view->resolution < HighResolution) {
            view->zoomIn();
            settle(view);
        }
    }

private:
    double from;
};

class ViewerScroll : public ViewerAtResolution
{
public:
    using ViewerAtResolution::ViewerAtResolution;
    void prepare() override
    {
        // Back to the top before the step that would turn the page: every step stays within it.
        const int step = int(view->resolution);
        if (view->height() + view->yOffset + step > view->imageHeight + view->resolution)
            view->yOffset = 0;
        settle(view);
    }
    void run() override
    {
        view->scrollDown();
        settle(view);
    }
    bool check() override
    {
        if (view->pageIndex == 0)
            return true;
        error = QStringLiteral("a scroll step turned the page");
        return false;
    }
};

// Poppler alone: the calls the viewer makes and nothing else, the previous image dropped before
// the next render as the viewer does.
class FloorSide : public Side
{
public:
    explicit FloorSide(const QString &path) : path(path) {}
    ~FloorSide() override { close(); }
    qint64 imageBytes() const override { return image.sizeInBytes(); }

protected:
    bool load()
    {
        document = Poppler::Document::load(path, QByteArray(), QByteArray());
        if (!document)
            return false;
        useViewerRenderSettings(*document);
        return true;
    }
    void fetch(int index)
    {
        delete page;
        page = document->page(index);
    }
    void render(double resolution)
    {
        image = QImage();
        image = page->renderToImage(resolution, resolution, -1, -1, -1, -1, Poppler::Page::Rotate0);
    }
    void close()
    {
        delete page;
        page = nullptr;
        delete document;
        document = nullptr;
        image = QImage();
    }
    bool open(double resolution)
    {
        if (!opens(path, &error) || !load())
            return false;
        fetch(0);
        render(resolution);
        return true;
    }

    QString path;
    Poppler::Document *document = nullptr;
    Poppler::Page *page = nullptr;
    QImage image;
};

class FloorOpen : public FloorSide
{
public:
    using FloorSide::FloorSide;
    bool setUp() override { return opens(path, &error); }
    void run() override
    {
        load();
        fetch(0);
        render(openingResolution());
        QCoreApplication::processEvents();
    }
    void finish() override { close(); }
};

class FloorPageChange : public FloorSide
{
public:
    FloorPageChange(const QString &path, double resolution)
        : FloorSide(path), resolution(resolution)
    {
    }
    bool setUp() override { return open(resolution); }
    void prepare() override
    {
        if (index + 1 >= document->numPages()) {
            index = 0;
            fetch(index);
            render(resolution);
        }
        QCoreApplication::processEvents();
    }
    void run() override
    {
        fetch(++index);
        render(resolution);
        QCoreApplication::processEvents();
    }

private:
    double resolution;
    int index = 0;
};

// The state a scroll step starts from: the page rendered at the resolution. The step itself asks
// nothing of Poppler.
class FloorRendered : public FloorSide
{
public:
    FloorRendered(const QString &path, double resolution) : FloorSide(path), resolution(resolution)
    {
    }
    bool setUp() override { return open(resolution); }
    void run() override { QCoreApplication::processEvents(); }

private:
    double resolution;
};

class FloorZoom : public FloorSide
{
public:
    FloorZoom(const QString &path, double from) : FloorSide(path), from(from) {}
    bool setUp() override { return open(openingResolution()); }
    void prepare() override
    {
        if (from == openingResolution())
            render(from);
        QCoreApplication::processEvents();
    }
    void run() override
    {
        for (double r : zoomSteps(from)) {
            render(r);
            QCoreApplication::processEvents();
        }
    }

private:
    double from;
};

// A case's factory of one side: that type, made with the case's document and these arguments.
template <typename ViewerType, typename... Arguments> auto viewerSide(Arguments... arguments)
{
    return [=](Stage &stage, const QString &path) -> std::unique_ptr<Side> {
        return std::make_unique<ViewerType>(stage, path, arguments...);
    };
}

template <typename FloorType, typename... Arguments> auto floorSide(Arguments... arguments)
{
    return [=](const QString &path) -> std::unique_ptr<Side> {
        return std::make_unique<FloorType>(path, arguments...);
    };
}

} // namespace

Stage::Stage()
{
    // About the default device: softkey columns left and right, the page area between them, the
    // vertical bar at its right and the horizontal bar below it.
    window = new QWidget;
    window->resize(480, 272);
    view = new PDFWidget(window);
    view->setObjectName(QStringLiteral("pdfWidget"));
    view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);
    auto *verticalBar = new QScrollBar(Qt::Vertical, window);
    verticalBar->setGeometry(409, 0, 15, 272);
    auto *horizontalBar = new QScrollBar(Qt::Horizontal, window);
    horizontalBar->setGeometry(56, 257, 353, 15);
    verticalBar->hide();
    horizontalBar->hide();
    view->verticalScrollBar = verticalBar;
    view->horizontalScrollBar = horizontalBar;
    // Stands for the window's own text (softkeys, the loading notice), which has brought up the
    // font and style sheet machinery before any document is opened.
    notice = new QLabel(QStringLiteral("Loading PDF. Please wait..."), window);
    notice->setStyleSheet(QString::fromLatin1(transientLabelStyle));
    notice->setAlignment(Qt::AlignCenter);
    notice->setGeometry(140, 120, 200, 30);
}

Stage::~Stage()
{
    delete window;
}

void Stage::show()
{
    window->show();
    QCoreApplication::processEvents();
    window->repaint();
    // Every glyph the page-number overlay can show is then rendered and cached, as in a viewer
    // that has been in use for a while: a case measures the steady state, not first sightings.
    notice->setText(QStringLiteral("0123456789 /"));
    window->repaint();
    notice->hide();
    QCoreApplication::processEvents();
}

QVector<BenchCase> benchCases()
{
    using namespace BenchDocuments;
    const auto openViewer = viewerSide<ViewerOpen>();
    const auto openFloor = floorSide<FloorOpen>();
    const double first = openingResolution();
    const double last = HighResolution - 10.0;

    return {
        {"open-1", "Open A4, 1 page (load to first image, 48 dpi)", a4Name(1), 101, openViewer,
         openFloor},
        {"open-10", "Open A4, 10 pages", a4Name(10), 101, openViewer, openFloor},
        {"open-1000", "Open A4, 1,000 pages", a4Name(1000), 51, openViewer, openFloor},
        {"open-10000", "Open A4, 10,000 pages", a4Name(10000), 31, openViewer, openFloor, true,
         [](const QVector<Result> &results, bool &met) {
             const Result *one = findResult(results, QStringLiteral("open-1"));
             const Result *many = findResult(results, QStringLiteral("open-10000"));
             if (!one || !many)
                 return QString();
             const double poppler = median(many->floor.wallMs) - median(one->floor.wallMs);
             const double limit = 1.2 * (median(one->viewer.wallMs) + poppler);
             const double m = median(many->viewer.wallMs);
             met = m <= limit;
             return QStringLiteral("Opening 10,000 pages within 1.2 x (opening 1 page + Poppler's "
                                   "difference): %1 ms against 1.2 x (%2 + %3) = %4 ms.")
                 .arg(ms(m), ms(median(one->viewer.wallMs)), ms(poppler), ms(limit));
         }},
        {"page-48", "Page change at 48 dpi", a4Name(10), 101, viewerSide<ViewerPageChange>(first),
         floorSide<FloorPageChange>(first)},
        {"page-300", "Page change at 300 dpi", a4Name(10), 15,
         viewerSide<ViewerPageChange>(HighResolution), floorSide<FloorPageChange>(HighResolution)},
        {"zoom-48-300", "Zoom steps 48 to 300 dpi (26 renders)", a4Name(10), 7,
         viewerSide<ViewerZoom>(first), floorSide<FloorZoom>(first)},
        {"scroll-48", "Scroll step within the page at 48 dpi", a4Name(10), 301,
         viewerSide<ViewerScroll>(first), floorSide<FloorRendered>(first), false},
        {"scroll-300", "Scroll step within the page at 300 dpi", a4Name(10), 301,
         viewerSide<ViewerScroll>(HighResolution), floorSide<FloorRendered>(HighResolution), false,
         [](const QVector<Result> &results, bool &met) {
             const Result *r = findResult(results, QStringLiteral("scroll-300"));
             if (!r)
                 return QString();
             met = median(r->viewer.wallMs) < 5;
             return QStringLiteral("Scroll step within a page at 300 dpi under 5 ms: median %1 ms, "
                                   "max %2 ms.")
                 .arg(ms(median(r->viewer.wallMs)), ms(maximum(r->viewer.wallMs)));
         }},
        {"open-a0", "Open A0 page (48 dpi)", a0Name(), 15, openViewer, openFloor},
        {"open-vector", "Open page of 5,500 vector paths (48 dpi)", vectorName(), 15, openViewer,
         openFloor},
        {"zoom-vector-300", "Vector page, zoom step 290 to 300 dpi", vectorName(), 7,
         viewerSide<ViewerZoom>(last), floorSide<FloorZoom>(last)},
        {"open-scan", "Open scanned-image page (48 dpi)", scanName(), 15, openViewer, openFloor},
        {"zoom-scan-300", "Scanned page, zoom step 290 to 300 dpi", scanName(), 7,
         viewerSide<ViewerZoom>(last), floorSide<FloorZoom>(last)},
    };
}
