#include "mainwindow/pdfviewer.h"

#include "ui_pdfviewer.h"

#include "base/filenames.h"
#include "base/softkeykeys.h"
#include "base/softkeylook.h"
#include "base/startuptrace.h"
#include "chooser/chooserfilesystemmodel.h"
#include "config/deviceconfig.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

bool PDFViewer::firstShowPending = true;

PDFViewer::PDFViewer(QWidget *parent, bool openButtonEnabled)
    : QMainWindow(parent), ui(new Ui_PDFViewer), openButtonEnabled(openButtonEnabled)
{
    startupTrace("window base constructed");
    // Before the model lists a folder or a path is converted: names that are not UTF-8 must
    // survive the trip through a QString.
    keepFileNamesIntact();
    // Before any widget exists: everything below reads the final device settings.
    loadDeviceConfig(std::string());
    startupTrace("device configuration read");

    if (deviceConfig.deviceType != 0)
        setWindowFlags(Qt::FramelessWindowHint);

    ui->setupUi(this);
    // The arrows' look is the file chooser's too, so it is set here rather than in the form.
    for (QPushButton *arrow : {ui->upButton, ui->downButton, ui->rightButton, ui->leftButton}) {
        arrow->setPalette(arrowPalette());
        arrow->setFont(arrowFont());
    }
    for (QPushButton *softkey : findChildren<QPushButton *>())
        leaveKeysToWindow(softkey);
    // A scroll bar's own menu (scroll here, top, bottom...) would come up on the bar that every
    // scroll command leaves the focus on, whenever the menu key is pressed on X: that key, given
    // a command, then opened the menu, which took its release.
    ui->verticalScrollBar->setContextMenuPolicy(Qt::NoContextMenu);
    ui->horizontalScrollBar->setContextMenuPolicy(Qt::NoContextMenu);
    ui->pdfWidget->setGeometry(56, 2, 367, 264);
    ui->horizontalScrollBar->hide();
    ui->verticalScrollBar->hide();
    ui->pdfWidget->horizontalScrollBar = ui->horizontalScrollBar;
    ui->pdfWidget->verticalScrollBar = ui->verticalScrollBar;
    startupTrace("widget tree built");

    layoutSoftkeys();
    startupTrace("softkeys laid out");

    takeKeysOfHiddenWindows();

    // Queued, so the file is opened only once the event loop runs and can draw the window.
    connect(this, &PDFViewer::firstShowCalled, this, &PDFViewer::loadFile, Qt::QueuedConnection);
}

PDFViewer::~PDFViewer()
{
    delete loadingLabel;
    delete ui;
    delete fileSystemModel;
}

void PDFViewer::show()
{
    QWidget::show();
    if (firstShowPending) {
        firstShowPending = false;
        emit firstShowCalled();
    }
}

// A card or stick mounted on a folder that the model has listed would stay unseen: mounting
// changes nothing in the folder beneath, which is what the model watches, and the model never
// lists a folder twice. So a model made under other mounts is made anew.
void PDFViewer::renewChooserModelIfMountsChanged()
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    const QByteArray mounts = table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
    if (fileSystemModel && mounts == mountTable)
        return;
    delete fileSystemModel;
    mountTable = mounts;
    fileSystemModel = new ChooserFileSystemModel;
    fileSystemModel->setNameFilters(QStringList{QStringLiteral("*.pdf")});
    fileSystemModel->setRootPath(QStringLiteral("/"));
}

// Run once the opening flow is done (after the first page, or at the first show when no file is
// named), not by the constructor: from its construction on the model runs a gatherer thread, and
// its name filters and root path set it listing the root folder and looking up the style's file
// icons (icon theme, image plugins), which on a single core would compete with the first render.
// Without the open command the chooser never opens, and the model would only take the device's
// memory for nothing.
void PDFViewer::prepareChooser()
{
    // Never in place of one: a chooser opened while the first load waited may be running on it.
    if (openButtonEnabled && !fileSystemModel)
        renewChooserModelIfMountsChanged();
}

void PDFViewer::setFileToLoad(const char *path)
{
    fileToLoad = QFile::decodeName(path);
}

void PDFViewer::on_closeButton_clicked()
{
    QCoreApplication::quit();
}
