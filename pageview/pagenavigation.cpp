#include "pageview/pdfwidget.h"

#include "base/transientlabelstyle.h"

#include <QLabel>
#include <QScrollBar>
#include <QTimer>

void PDFWidget::changePage()
{
    loadPage();
    renderPage();
    showPageNumber();
}

void PDFWidget::scrollDown()
{
    if (!image)
        return;
    yOffset += step();
    if (double(height() + yOffset) > imageHeight + resolution) {
        if (pageIndex < pageCount() - 1) {
            yOffset = 0;
            ++pageIndex;
            changePage();
        } else {
            yOffset -= step();
        }
        if (verticalScrollBar)
            verticalScrollBar->setValue(pageIndex);
    }
}

void PDFWidget::scrollUp()
{
    if (!image)
        return;
    const int y = yOffset - step();
    if (y < -resolution) {
        yOffset = 0;
        if (pageIndex != 0) {
            // Taken from the page being left: the previous page opens at its bottom when both
            // pages have the same height.
            --pageIndex;
            yOffset = imageHeight - height();
            changePage();
        }
        if (verticalScrollBar)
            verticalScrollBar->setValue(pageIndex);
    } else {
        yOffset = y;
    }
}

void PDFWidget::nextPage()
{
    if (!hasDocument())
        return;
    ++pageIndex;
    if (pageIndex > pageCount() - 1)
        pageIndex = pageCount() - 1;
    yOffset = 0;
    changePage();
}

// Unlike nextPage, this and gotoPage have no guard for a missing document: loadPage reports it
// on standard output.
void PDFWidget::previousPage()
{
    --pageIndex;
    if (pageIndex < 0)
        pageIndex = 0;
    yOffset = 0;
    changePage();
}

void PDFWidget::gotoPage(int index)
{
    pageIndex = index;
    yOffset = 0;
    changePage();
}

void PDFWidget::showPageNumber()
{
    if (!hasDocument())
        return;
    if (!pageNumberLabel) {
        pageNumberLabel = new QLabel(this);
        pageNumberLabel->setStyleSheet(QString::fromLatin1(transientLabelStyle));
    }
    const int count = pageCount();
    const qint64 travel = count > 0 ? qint64(pageIndex) * (height() - 38) / count : 0;
    pageNumberLabel->setGeometry(width() - 75, scrollBarExtent + int(travel), 70, 25);
    pageNumberLabel->setText(QString::number(pageIndex + 1) + QStringLiteral(" / ") +
                             QString::number(count));
    pageNumberLabel->setAlignment(Qt::AlignCenter);
    pageNumberLabel->show();

    if (!pageNumberTimer) {
        pageNumberTimer = new QTimer(this);
        pageNumberTimer->setSingleShot(true);
        connect(pageNumberTimer, &QTimer::timeout, this, &PDFWidget::hidePageNumberWidget);
    }
    pageNumberTimer->start(1000);
}

void PDFWidget::hidePageNumberWidget()
{
    if (pageNumberLabel)
        pageNumberLabel->hide();
}
