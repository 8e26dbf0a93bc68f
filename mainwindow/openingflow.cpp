#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include "base/console.h"
#include "base/failurebox.h"
#include "base/filenames.h"
#include "base/startuptrace.h"
#include "base/transientlabelstyle.h"

#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QWindow>

#include <sys/stat.h>

#include <string>

void PDFViewer::showLoadingNotice()
{
    if (loadingLabel) {
        loadingLabel->show();
        return;
    }
    loadingLabel = new QLabel(this);
    const int W = width();
    loadingLabel->setGeometry(W / 4, 100, W / 2, 50);
    loadingLabel->setText(QStringLiteral("Loading PDF. Please wait..."));
    loadingLabel->setAlignment(Qt::AlignCenter);
    loadingLabel->setStyleSheet(QString::fromLatin1(transientLabelStyle));
    loadingLabel->show();
}

void PDFViewer::hideLoadingNotice()
{
    if (loadingLabel)
        loadingLabel->hide();
}

void PDFViewer::loadFile()
{
    if (!fileToLoad.isEmpty()) {
        showLoadingNotice();
        startupTrace("loading notice shown");
        // Loading blocks the GUI thread: give the event loop a moment to draw the window and
        // the notice first.
        QTimer::singleShot(10, this, &PDFViewer::doLoadFile);
    } else {
        prepareChooser();
    }
}

void PDFViewer::doLoadFile()
{
    // On a slow core the 10 ms can be over before the window system has shown the window, and the
    // load would keep the screen blank, without the notice, to its end. It waits for the window a
    // second at most: one that a window manager keeps off the screen must still get its document.
    const QWindow *window = windowHandle();
    if (isVisible() && window && !window->isExposed() && exposureWaits < maxExposureWaits) {
        ++exposureWaits;
        QTimer::singleShot(10, this, &PDFViewer::doLoadFile);
        return;
    }
    startupTrace("notice timer fired");
    const QByteArray path = QFile::encodeName(fileToLoad);
    initWithFile(path.constData());
    prepareChooser();
}

void PDFViewer::initWithFile(const char *path)
{
    struct stat status;
    if (stat(path, &status) != 0) {
        hideLoadingNotice();
        const std::string where = std::string("PDFViewer::initWithFile(") + path + "): ";
        consoleLine(where + "File not found. Opening message box.");
        showFailureBox(QStringLiteral("Loading document '") + displayedFileName(path) +
                           QStringLiteral("' failed!"),
                       this);
        consoleLine(where + "File not found. Done with message box.");
        return;
    }

    const QString document = QFile::decodeName(path);
    if (document.isEmpty())
        return;
    showLoadingNotice();
    if (ui->pdfWidget->loadDocument(document)) {
        startupTrace("document loaded and page rendered");
        ui->pdfWidget->repaint();
        startupTrace("page painted");
        documentLoaded = true;
    }
    hideLoadingNotice();
}

void PDFViewer::on_openButton_clicked()
{
    if (!openButtonEnabled)
        return;
    const QString path = chooseFile();
    if (path.isEmpty())
        return;
    ui->pdfWidget->loadDocument(path);
    hideLoadingNotice();
    ui->pdfWidget->repaint();
}
