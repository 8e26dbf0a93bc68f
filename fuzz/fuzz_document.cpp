// The document path: the input bytes as a PDF file through the page view, as the viewer uses
// it: open, every page rendered at a low resolution, painted, scrolled, zoomed in and out, and
// closed. Poppler itself is not instrumented; the finds are in our code around it, or inputs
// on which Poppler takes the whole process down.
#include "fuzzsupport.h"
#include "pageviewframe.h"

#include <poppler-qt5.h>

#include <QImage>
#include <QTimer>

#include <cstdint>
#include <memory>

namespace {

PageViewFrame *frame = nullptr;
std::string documentPath;

constexpr int maximumPages = 16;
// The first render happens at the default 48 dpi. Pages whose image alone would exceed this are
// skipped: rendering them is legitimate for the viewer, but the fuzzer counts an allocation of
// more than its memory limit as a find.
constexpr double maximumImageBytes = 256.0 * 1024 * 1024;

bool worthOpening(const uint8_t *data, size_t size)
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::loadFromData(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size))));
    // A file that does not open would show the modal failure box; that path has nothing to
    // fuzz beyond Poppler's load, which this call has just run.
    if (!document || document->isLocked())
        return false;
    const int pages = qMin(document->numPages(), maximumPages);
    for (int i = 0; i < pages; ++i) {
        std::unique_ptr<Poppler::Page> page(document->page(i));
        if (!page)
            continue;
        const QSizeF size = page->pageSizeF();
        if (!(size.width() * size.height() * (48.0 / 72) * (48.0 / 72) * 4 < maximumImageBytes))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::silenceStandardOutput();
    fuzzsupport::startApplication();
    frame = new PageViewFrame;
    documentPath = fuzzsupport::inputFile("document.pdf");
    // Should a load fail after all, its message box is closed at once instead of waiting.
    auto *closer = new QTimer(frame->view);
    QObject::connect(closer, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer->start(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1 << 20) || !worthOpening(data, size))
        return 0;
    fuzzsupport::writeInput(documentPath, data, size);

    PDFWidget *view = frame->view;
    if (!view->loadDocument(QString::fromStdString(documentPath)))
        return 0;
    QImage canvas(view->size(), QImage::Format_ARGB32_Premultiplied);

    view->resolution = 10.0;
    const int pages = qMin(view->document->numPages(), maximumPages);
    for (int i = 0; i < pages; ++i) {
        view->gotoPage(i);
        view->render(&canvas);
    }
    view->gotoPage(0);
    for (int i = 0; i < 3; ++i) {
        view->scrollDown();
        view->scrollRight();
    }
    view->zoomIn();
    view->zoomIn();
    view->render(&canvas);
    view->scrollLeft();
    view->scrollUp();
    view->scrollUp();
    view->setHorizontalPosition(1);
    view->zoomOut();
    view->render(&canvas);
    view->hidePageNumberWidget();
    view->closeDocument();
    return 0;
}
