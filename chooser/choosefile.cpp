#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include "chooser/customfileopendialog.h"
#include "config/deviceconfig.h"

#include <QCoreApplication>
#include <QPixmapCache>
#include <QTimer>

namespace {

// Every chooser draws its arrows with a palette of its own and renders its icons anew, so Qt
// caches their pixmaps under new keys each time, some 50 KB an open. The default cache of 10 MB
// would keep that much of them after a few hundred opens; this holds what both windows show.
constexpr int pixmapCacheKb = 1024;

} // namespace

QString PDFViewer::chooseFile()
{
    QPixmapCache::setCacheLimit(pixmapCacheKb);
    startReadingFileSystem();
    std::string result;
    CustomFileOpenDialog dialog(this, &result);
    dialog.setWindowTitle(QStringLiteral("Open PDF document"));
    const std::string currentPath = ui->pdfWidget->filePath.toUtf8().toStdString();
    // Without a window type the dialog becomes a frameless child laid over the main window.
    if (deviceConfig.deviceType != 0)
        dialog.setWindowFlags(Qt::FramelessWindowHint);
    dialog.setGeometry(0, 0, width(), height());
    // Hiding the finished chooser moves the keyboard focus on only in the active window. Under a
    // window system without a window manager the viewer's window never is, and keys queued behind
    // a choice would go to the finished chooser's tree: move the focus on as Qt does otherwise.
    connect(&dialog, &QDialog::finished, this, [this, &dialog] {
        if (dialog.isAncestorOf(focusWidget()))
            focusNextPrevChild(true);
    });
    dialog.setupDialog(currentPath, fileSystemModel);

    dialog.show();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // The model reads folders in the background; by then it knows the current document's row.
    QTimer::singleShot(500, &dialog, SLOT(scrollToPath()));

    // Keys pressed while the chooser was being built arrive in those events and may already
    // have chosen or cancelled; exec would show the finished dialog again and wait for ever.
    const int accepted = dialog.isVisible() ? dialog.exec() : dialog.result();
    if (accepted == 0)
        return QString("");

    showLoadingNotice();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    documentLoaded = true;
    return QString::fromUtf8(result.c_str());
}
