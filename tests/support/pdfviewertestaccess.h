#pragma once

#include "mainwindow/pdfviewer.h"

#include <QFileSystemModel>
#include <QLabel>

// The window's private parts that tests read; the window names this class its friend.
class PDFViewerTestAccess
{
public:
    static QLabel *notice(PDFViewer &viewer) { return viewer.loadingLabel; }
    static bool documentLoaded(PDFViewer &viewer) { return viewer.documentLoaded; }
    // Null until the window needs it.
    static QFileSystemModel *model(PDFViewer &viewer) { return viewer.fileSystemModel; }
    // As the chooser finds it when it opens.
    static QFileSystemModel *chooserModel(PDFViewer &viewer)
    {
        viewer.renewChooserModelIfMountsChanged();
        return viewer.fileSystemModel;
    }
};
