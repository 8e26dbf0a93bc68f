#pragma once

#include "modalcloser.h"
#include "pageview/pdfwidget.h"

#include <QScrollBar>
#include <QWidget>

// A page view between two scroll bars in a window of the device's size, as the main window holds
// it without its softkeys: the view, 352 x 251 at (56, 2), places its 15-pixel bars itself.
class PageViewFrame
{
public:
    QWidget window;
    QScrollBar *horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar *vertical = new QScrollBar(Qt::Vertical, &window);
    PDFWidget *view = new PDFWidget(&window);

    PageViewFrame()
    {
        window.resize(480, 272);
        view->horizontalScrollBar = horizontal;
        view->verticalScrollBar = vertical;
        view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);
    }

    // A failed load would wait for its message box; it is closed, and counts as a failure.
    bool open(const QString &path)
    {
        ModalCloser closer;
        return view->loadDocument(path) && closer.closed() == 0;
    }
};
