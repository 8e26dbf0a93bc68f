#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include <QAbstractSlider>

// Every command repaints synchronously, so the page is on screen before the next key event is
// looked at. The arrows send the keyboard focus to the bar of the direction just used.
void PDFViewer::runPageCommand(void (PDFWidget::*operation)(), QScrollBar *focusBar)
{
    if (!documentLoaded)
        return;
    if (operation) {
        (ui->pdfWidget->*operation)();
        ui->pdfWidget->repaint();
    }
    if (focusBar)
        focusBar->setFocus(Qt::OtherFocusReason);
}

void PDFViewer::on_zommInButton_clicked()
{
    runPageCommand(&PDFWidget::zoomIn, nullptr);
}

void PDFViewer::on_zoomOutButton_clicked()
{
    runPageCommand(&PDFWidget::zoomOut, nullptr);
}

void PDFViewer::on_leftButton_clicked()
{
    runPageCommand(&PDFWidget::scrollLeft, ui->horizontalScrollBar);
}

void PDFViewer::on_rightButton_clicked()
{
    runPageCommand(&PDFWidget::scrollRight, ui->horizontalScrollBar);
}

void PDFViewer::on_upButton_clicked()
{
    runPageCommand(&PDFWidget::scrollUp, ui->verticalScrollBar);
}

void PDFViewer::on_downButton_clicked()
{
    runPageCommand(&PDFWidget::scrollDown, ui->verticalScrollBar);
}

void PDFViewer::on_verticalScrollBar_actionTriggered(int action)
{
    // The bar stands for the whole document: its arrows scroll within the page (and across its
    // edge), a click in the trough turns exactly one page. Dragging waits for the release.
    void (PDFWidget::*operation)() = nullptr;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        operation = &PDFWidget::scrollDown;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        operation = &PDFWidget::scrollUp;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        operation = &PDFWidget::nextPage;
        break;
    case QAbstractSlider::SliderPageStepSub:
        operation = &PDFWidget::previousPage;
        break;
    default:
        break;
    }
    runPageCommand(operation, ui->verticalScrollBar);
}

void PDFViewer::on_verticalScrollBar_sliderReleased()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->gotoPage(ui->verticalScrollBar->value());
    ui->pdfWidget->repaint();
}

void PDFViewer::on_horizontalScrollBar_actionTriggered(int action)
{
    if (!documentLoaded)
        return;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        ui->pdfWidget->scrollRight();
        ui->pdfWidget->repaint();
        break;
    case QAbstractSlider::SliderSingleStepSub:
        ui->pdfWidget->scrollLeft();
        ui->pdfWidget->repaint();
        break;
    case QAbstractSlider::SliderPageStepAdd:
    case QAbstractSlider::SliderPageStepSub:
        // actionTriggered comes before the bar copies its slider position into its value, so
        // only the position already holds the new place.
        ui->pdfWidget->setHorizontalPosition(ui->horizontalScrollBar->sliderPosition());
        ui->pdfWidget->repaint();
        break;
    default:
        break;
    }
    ui->horizontalScrollBar->setFocus(Qt::OtherFocusReason);
}

void PDFViewer::on_horizontalScrollBar_sliderReleased()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->setHorizontalPosition(ui->horizontalScrollBar->value());
    ui->pdfWidget->repaint();
}
