#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include "chooser/customfileopendialog.h"
#include "config/deviceconfig.h"

#include <QCoreApplication>
#include <QTimer>

QString PDFViewer::chooseFile()
{
    startReadingFileSystem();
    std::string result;
    CustomFileOpenDialog dialog(this, &result);
    dialog.setWindowTitle(QStringLiteral("Open PDF document"));
    const std::string currentPath = ui->pdfWidget->filePath.toUtf8().toStdString();
    // Without a window type the dialog becomes a frameless child laid over the main window.
    if (deviceConfig.deviceType != 0)
        dialog.setWindowFlags(Qt::FramelessWindowHint);
    dialog.setGeometry(0, 0, width(), height());
    dialog.setupDialog(currentPath, fileSystemModel);

    dialog.show();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // The model reads folders in the background; by then it knows the current document's row.
    QTimer::singleShot(500, &dialog, SLOT(scrollToPath()));

    if (dialog.exec() == 0)
        return QString("");

    showLoadingNotice();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    documentLoaded = true;
    return QString::fromUtf8(result.c_str());
}
