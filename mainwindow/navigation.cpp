#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include <QAbstractSlider>

// Every command repaints synchronously, so the page is on screen before the next key event is
// looked at, and sends the keyboard focus to the bar of the direction just used.

void PDFViewer::on_zommInButton_clicked()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->zoomIn();
    ui->pdfWidget->repaint();
}

void PDFViewer::on_zoomOutButton_clicked()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->zoomOut();
    ui->pdfWidget->repaint();
}

void PDFViewer::on_leftButton_clicked()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->scrollLeft();
    ui->pdfWidget->repaint();
    ui->horizontalScrollBar->setFocus(Qt::OtherFocusReason);
}

void PDFViewer::on_rightButton_clicked()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->scrollRight();
    ui->pdfWidget->repaint();
    ui->horizontalScrollBar->setFocus(Qt::OtherFocusReason);
}

void PDFViewer::on_upButton_clicked()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->scrollUp();
    ui->pdfWidget->repaint();
    ui->verticalScrollBar->setFocus(Qt::OtherFocusReason);
}

void PDFViewer::on_downButton_clicked()
{
    if (!documentLoaded)
        return;
    ui->pdfWidget->scrollDown();
    ui->pdfWidget->repaint();
    ui->verticalScrollBar->setFocus(Qt::OtherFocusReason);
}

void PDFViewer::on_verticalScrollBar_actionTriggered(int action)
{
    if (!documentLoaded)
        return;
    // The bar stands for the whole document: its arrows scroll within the page (and across its
    // edge), a click in the trough turns exactly one page. Dragging waits for the release.
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        ui->pdfWidget->scrollDown();
        ui->pdfWidget->repaint();
        break;
    case QAbstractSlider::SliderSingleStepSub:
        ui->pdfWidget->scrollUp();
        ui->pdfWidget->repaint();
        break;
    case QAbstractSlider::SliderPageStepAdd:
        ui->pdfWidget->nextPage();
        ui->pdfWidget->repaint();
        break;
    case QAbstractSlider::SliderPageStepSub:
        ui->pdfWidget->previousPage();
        ui->pdfWidget->repaint();
        break;
    default:
        break;
    }
    ui->verticalScrollBar->setFocus(Qt::OtherFocusReason);
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
