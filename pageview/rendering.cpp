#include "pageview/pdfwidget.h"

#include "pageview/pagerenderer.h"

#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

namespace {

void setBarVisible(QScrollBar *bar, bool visible)
{
    if (bar)
        bar->setVisible(visible);
}

} // namespace

int PDFWidget::maximumOffset() const
{
    return image->width() - width();
}

int PDFWidget::columns() const
{
    // A window configured narrower than its softkeys leaves a page view of width 0.
    return width() > 0 ? image->width() / width() : 0;
}

void PDFWidget::renderPage()
{
    if (!page)
        return;

    // The old image goes first, so that at most one page image is ever held.
    delete image;
    image = nullptr;
    image = new QImage(renderWithinBudget());
    imageHeight = image->height();
    ++rendersSinceOpen;
    idleTimer->start();
    fitViewToImage();
}

QImage PDFWidget::renderWithinBudget()
{
    // A page that cannot fit in memory is not shown, as for any page Poppler cannot render.
    RenderBudget::PageCost cost = pageCosts.value(pageIndex, RenderBudget::PageCost::unmeasured());
    // The pages mostly share their fonts, and each refusal leaves what Poppler held behind.
    cost.refusedWithin = fontRefusedWithin;
    const QImage rendered = PageRenderer::render(*page, resolution, &cost, documentCost);
    fontRefusedWithin = qMax(fontRefusedWithin, cost.refusedWithin);
    if (cost.isMeasured())
        pageCosts.insert(pageIndex, cost);
    return rendered;
}

void PDFWidget::fitViewToImage()
{
    if (qint64(pageCount()) * imageHeight > height()) {
        if (verticalScrollBar) {
            verticalScrollBar->setSliderPosition(pageIndex);
            verticalScrollBar->show();
        }
        setGeometry(viewX, viewY, viewWidth, height());
    } else {
        setBarVisible(verticalScrollBar, false);
        setGeometry(viewX, viewY, viewWidth + scrollBarExtent, height());
    }

    if (image->width() > width()) {
        const double units = double(image->width() - width()) / resolution + 0.5;
        const int maximum = units < 1.0 ? 1 : int(units);
        if (horizontalScrollBar) {
            horizontalScrollBar->setRange(0, maximum);
            horizontalScrollBar->show();
        }
        setGeometry(viewX, viewY, width(), viewHeight);
    } else {
        setBarVisible(horizontalScrollBar, false);
        setGeometry(viewX, viewY, width(), viewHeight + scrollBarExtent);
    }
}

void PDFWidget::paintEvent(QPaintEvent *)
{
    // Also reached from the nested loop of a failure message box, while filePath still names
    // the file that did not open and there is no image.
    if (filePath.isEmpty() || !image || image->isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPointF(-xOffset, -yOffset), *image);
}

void PDFWidget::zoomIn()
{
    resolution += 10.0;
    if (resolution > 300.0)
        resolution = 300.0;
    renderPage();
}

void PDFWidget::zoomOut()
{
    resolution = resolution - 10.0 > 10.0 ? resolution - 10.0 : 10.0;
    if (image) {
        // Clamped against the previous, larger image on purpose: the view keeps its place
        // until the user scrolls back.
        if (xOffset > maximumOffset())
            xOffset = maximumOffset();
        if (image->width() <= width())
            xOffset = 0;
    }
    renderPage();
}

void PDFWidget::scrollRight()
{
    if (!image)
        return;
    xOffset += step();
    if (xOffset > maximumOffset())
        xOffset = maximumOffset();
    if (xOffset < 0)
        xOffset = 0;
    const double position = xOffset / (columns() + resolution) + 0.5;
    const int sliderPosition = (xOffset > 0 && position < 1.0) ? 1 : int(position);
    if (horizontalScrollBar)
        horizontalScrollBar->setSliderPosition(sliderPosition);
}

void PDFWidget::scrollLeft()
{
    if (!image)
        return;
    xOffset -= step();
    if (xOffset < 0)
        xOffset = 0;
    const int sliderPosition = int(xOffset / (columns() + resolution) + 0.5);
    if (horizontalScrollBar)
        horizontalScrollBar->setSliderPosition(sliderPosition);
}

void PDFWidget::setHorizontalPosition(int position)
{
    if (!image)
        return;
    // Clamped while still a double, so that no slider position can overflow the offset.
    const double offset = (columns() + resolution) * position;
    if (offset < 0)
        xOffset = 0;
    else if (offset > maximumOffset())
        xOffset = qMax(0, maximumOffset());
    else
        xOffset = int(offset);
}
