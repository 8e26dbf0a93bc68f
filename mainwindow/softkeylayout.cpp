#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include "base/softkeyframe.h"
#include "config/deviceconfig.h"

void PDFViewer::layoutSoftkeys()
{
    if (!openButtonEnabled) {
        // Blank and inert, but it keeps its slot so the other softkeys stay above their keys.
        ui->openButton->setIcon(QIcon());
        ui->openButton->setEnabled(false);
        ui->openButton->setFlat(true);
    }

    const bool twoFrames = deviceConfig.hasTwoSoftkeyFrames();
    if (deviceConfig.softkeyFramesOnSide)
        layoutSideFrames(twoFrames, deviceConfig.softkeysPerFrame);
    else
        layoutTopAndBottomFrames(twoFrames, deviceConfig.softkeysPerFrame);
}

void PDFViewer::layoutSideFrames(bool twoFrames, int softkeys)
{
    const int W = deviceConfig.windowWidth;
    const int H = deviceConfig.windowHeight;
    // Measured from the window as built rather than assumed: the widths from the form, the page
    // view's x from the constructor's placement of it.
    const int rightWidth = ui->verticalLayoutWidget->width();
    const int leftWidth = ui->verticalLayoutWidget_2->width();
    const int barWidth = ui->verticalScrollBar->width();
    const int barHeight = ui->horizontalScrollBar->height();
    const int pageX = ui->pdfWidget->x();

    move(deviceConfig.windowX, deviceConfig.windowY);
    resize(W, H);
    ui->centralWidget->resize(W, H);

    PDFWidget *view = ui->pdfWidget;
    view->viewHeight = H - barHeight;
    view->viewY = 0;
    if (twoFrames) {
        view->viewWidth = W - 2 * pageX - barWidth;
        view->viewX = rightWidth;
    } else {
        view->viewWidth = W - pageX - barWidth;
        view->viewX = 0;
    }
    view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);

    ui->verticalLayoutWidget->setGeometry(width() - rightWidth, 0, rightWidth, H);
    ui->verticalLayoutWidget_2->setGeometry(0, 0, leftWidth, H);
    ui->verticalScrollBar->setGeometry(ui->verticalLayoutWidget->x() - barWidth, 0, barWidth, H);
    if (twoFrames)
        ui->horizontalScrollBar->setGeometry(leftWidth, H - barHeight,
                                             W - 2 * rightWidth - barWidth, barHeight);
    else
        ui->horizontalScrollBar->setGeometry(0, H - barHeight, W - rightWidth - barWidth,
                                             barHeight);

    if (twoFrames) {
        appendPlaceholders(ui->verticalLayoutWidget, ui->verticalLayout, softkeys, 4);
        appendPlaceholders(ui->verticalLayoutWidget_2, ui->verticalLayout_2, softkeys, 4);
    } else {
        for (QPushButton *button :
             {ui->leftButton, ui->zoomOutButton, ui->zommInButton, ui->closeButton}) {
            ui->verticalLayout_2->removeWidget(button);
            ui->verticalLayout->addWidget(button);
        }
        appendPlaceholders(ui->verticalLayoutWidget, ui->verticalLayout, softkeys, 8);
    }

    const int spacing = softkeySpacing(H, softkeys);
    ui->verticalLayout->setSpacing(spacing);
    ui->verticalLayout_2->setSpacing(spacing);

    ui->horizontalLayoutWidget->hide();
    ui->horizontalLayoutWidget_2->hide();
}

void PDFViewer::layoutTopAndBottomFrames(bool twoFrames, int softkeys)
{
    const int W = deviceConfig.windowWidth;
    const int H = deviceConfig.windowHeight;
    const int bottomHeight = ui->horizontalLayoutWidget->height();
    const int topHeight = ui->horizontalLayoutWidget_2->height();
    const int barWidth = ui->verticalScrollBar->width();
    const int barHeight = ui->horizontalScrollBar->height();

    // The form's columns from the bottom up, the order their softkeys take in a row.
    const auto rightColumn = {ui->rightButton, ui->downButton, ui->upButton, ui->openButton};
    const auto leftColumn = {ui->leftButton, ui->zoomOutButton, ui->zommInButton, ui->closeButton};
    for (QPushButton *button : leftColumn)
        ui->verticalLayout_2->removeWidget(button);
    for (QPushButton *button : rightColumn)
        ui->verticalLayout->removeWidget(button);

    if (twoFrames) {
        for (QPushButton *button : rightColumn)
            ui->bottomFrame->addWidget(button);
        for (QPushButton *button : leftColumn)
            ui->topFrame->addWidget(button);
        appendPlaceholders(ui->horizontalLayoutWidget_2, ui->topFrame, softkeys, 4);
        appendPlaceholders(ui->horizontalLayoutWidget, ui->bottomFrame, softkeys, 4);
    } else {
        for (QPushButton *button :
             {ui->openButton, ui->closeButton, ui->zoomOutButton, ui->zommInButton, ui->upButton,
              ui->downButton, ui->leftButton, ui->rightButton})
            ui->bottomFrame->addWidget(button);
        appendPlaceholders(ui->horizontalLayoutWidget, ui->bottomFrame, softkeys, 8);
    }

    // The frames span the whole width, so the window keeps its place: only its size follows
    // the device.
    resize(W, H);
    ui->centralWidget->setGeometry(0, 0, W, H);

    PDFWidget *view = ui->pdfWidget;
    view->viewWidth = W - barWidth;
    view->viewX = 0;
    if (twoFrames) {
        view->viewHeight = H - 2 * bottomHeight - barHeight;
        view->viewY = bottomHeight;
    } else {
        view->viewHeight = H - bottomHeight - barHeight;
        view->viewY = 0;
    }
    view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);

    ui->horizontalLayoutWidget->setGeometry(0, H - bottomHeight, W, bottomHeight);
    ui->horizontalLayoutWidget_2->setGeometry(0, 0, W, topHeight);
    ui->verticalScrollBar->setGeometry(W - barWidth, bottomHeight, barWidth,
                                       H - bottomHeight - topHeight - barHeight);
    ui->horizontalScrollBar->setGeometry(0, H - bottomHeight - barHeight, W, barHeight);

    const int spacing = softkeySpacing(W, softkeys);
    ui->bottomFrame->setSpacing(spacing);
    ui->topFrame->setSpacing(spacing);

    ui->verticalLayoutWidget->hide();
    ui->verticalLayoutWidget_2->hide();
}
