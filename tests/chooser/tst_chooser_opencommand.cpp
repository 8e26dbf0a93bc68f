#include "chooser/customfileopendialog.h"
#include "chooser/customtreeview.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "modalcloser.h"
#include "modelloading.h"
#include "paintcounter.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <poppler-qt5.h>

#include <functional>
#include <memory>

class CustomFileOpenDialogTestAccess
{
public:
    static CustomTreeView *tree(CustomFileOpenDialog &dialog) { return dialog.treeView; }
};

class PDFViewerTestAccess
{
public:
    static QFileSystemModel *model(PDFViewer &viewer) { return viewer.fileSystemModel; }
    static bool documentLoaded(PDFViewer &viewer) { return viewer.documentLoaded; }
    static QLabel *loadingLabel(PDFViewer &viewer) { return viewer.loadingLabel; }
    static void openCommand(PDFViewer &viewer)
    {
        QVERIFY(QMetaObject::invokeMethod(&viewer, "on_openButton_clicked"));
    }
};

using Viewer = PDFViewerTestAccess;

namespace {

bool noticeVisible(PDFViewer &viewer)
{
    QLabel *notice = Viewer::loadingLabel(viewer);
    return notice && notice->isVisible();
}

void click(CustomFileOpenDialog &dialog, const char *button)
{
    dialog.findChild<QPushButton *>(button)->click();
}

// Runs `command`, which opens the chooser modally. Once the chooser runs its own event loop and
// `delayMs` have passed, `drive` gets it. A chooser that is still open afterwards, or after ten
// seconds, is rejected, so that a failed check cannot leave the test waiting forever. Returns
// whether a chooser was driven.
bool driveChooser(PDFViewer &viewer, int delayMs,
                  const std::function<void(CustomFileOpenDialog &)> &drive,
                  const std::function<void()> &command)
{
    bool driven = false;
    QElapsedTimer sinceStart;
    QElapsedTimer sinceModal;
    sinceStart.start();
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = viewer.findChild<CustomFileOpenDialog *>();
        if (!dialog || !dialog->isVisible())
            return;
        if (sinceStart.elapsed() > 10000) {
            dialog->reject();
            return;
        }
        // exec() marks the dialog modal; before that chooseFile is still setting it up.
        if (!dialog->isModal())
            return;
        if (!sinceModal.isValid())
            sinceModal.start();
        if (sinceModal.elapsed() < delayMs)
            return;
        poll.stop();
        driven = true;
        drive(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    poll.start();
    command();
    return driven;
}

} // namespace

class OpenCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void chooserWindow_data();
    void chooserWindow();
    void chooseFileResult_data();
    void chooseFileResult();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void acceptReplacesDocument();
    void acceptedFolderFailsToLoad();
    void currentDocumentPreselectedAndScrolledTo();
    void withoutOpenOptionNothingOpens();

private:
    std::unique_ptr<PDFViewer> makeViewer(bool openButtonEnabled, bool withDocument);
    void openCommand(PDFViewer &viewer, const std::function<void(CustomFileOpenDialog &)> &drive,
                     int delayMs = 0)
    {
        QVERIFY(driveChooser(viewer, delayMs, drive, [&] { Viewer::openCommand(viewer); }));
    }

    QTemporaryDir directory;
    QString root;
    QString first;
    QString second;
    QString bundle;
};

void OpenCommandTest::initTestCase()
{
    QVERIFY(directory.isValid());
    root = QFileInfo(directory.path()).canonicalFilePath();
    first = TestDocuments::writeA4Document(root + "/first.pdf", 3);
    // A name that only survives the trip through the chooser if it stays UTF-8 all the way.
    second = TestDocuments::writeA4Document(root + QString::fromUtf8("/zweite Übersicht.pdf"), 2);
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    bundle = root + "/bundle.pdf";
    QVERIFY(QDir(root).mkdir("bundle.pdf"));
    // Rows below the current document, so that the chooser can centre it.
    for (int i = 1; i <= 8; ++i)
        QVERIFY(!TestDocuments::writeNotPdf(root + QString("/zz-%1.pdf").arg(i)).isEmpty());
}

void OpenCommandTest::init()
{
    deviceConfig = DeviceConfig::defaults();
}

std::unique_ptr<PDFViewer> OpenCommandTest::makeViewer(bool openButtonEnabled, bool withDocument)
{
    const DeviceConfig chosen = deviceConfig;
    auto viewer = std::make_unique<PDFViewer>(nullptr, openButtonEnabled);
    // Whatever profile the working directory holds, the chooser reads the settings of the test.
    deviceConfig = chosen;
    viewer->show();
    if (!QTest::qWaitForWindowExposed(viewer.get()))
        return nullptr;
    if (withDocument) {
        viewer->initWithFile(QFile::encodeName(first).constData());
        if (!Viewer::documentLoaded(*viewer))
            return nullptr;
    }
    return viewer;
}

void OpenCommandTest::chooserWindow_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<bool>("framed");

    QTest::newRow("desktop") << 0 << true;
    QTest::newRow("standard device") << 1 << false;
    QTest::newRow("other device") << 7 << false;
}

void OpenCommandTest::chooserWindow()
{
    QFETCH(int, deviceType);
    QFETCH(bool, framed);

    deviceConfig.deviceType = deviceType;
    auto viewer = makeViewer(true, false);
    QVERIFY(viewer);
    QFileSystemModel *model = Viewer::model(*viewer);

    openCommand(*viewer, [&](CustomFileOpenDialog &dialog) {
        QCOMPARE(dialog.windowTitle(), QString("Open PDF document"));
        QCOMPARE(dialog.isWindow(), framed);
        if (framed) {
            QCOMPARE(dialog.windowType(), Qt::Dialog);
            QVERIFY(!dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
            QCOMPARE(dialog.size(), viewer->size());
        } else {
            QCOMPARE(dialog.windowFlags(), Qt::WindowFlags(Qt::FramelessWindowHint));
            QCOMPARE(dialog.geometry(), viewer->rect());
        }
        // Every chooser shows the window's own model, which keeps what it has read.
        CustomTreeView *tree = CustomFileOpenDialogTestAccess::tree(dialog);
        QCOMPARE(tree->model(), model);
        QCOMPARE(model->nameFilters(), QStringList{"*.pdf"});
        QVERIFY(model->nameFilterDisables());
        QVERIFY(tree->selectedIndexes().isEmpty());
        click(dialog, "cancelButton");
    });
    QVERIFY(!viewer->findChild<CustomFileOpenDialog *>());
}

void OpenCommandTest::chooseFileResult_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("cancelled") << false;
    QTest::newRow("accepted") << true;
}

void OpenCommandTest::chooseFileResult()
{
    QFETCH(bool, accept);

    auto viewer = makeViewer(true, false);
    QVERIFY(viewer);
    QFileSystemModel *model = Viewer::model(*viewer);
    QString chosen = "not returned";
    StdoutCapture capture;
    QVERIFY(driveChooser(
        *viewer, 0,
        [&](CustomFileOpenDialog &dialog) {
            if (!accept) {
                click(dialog, "cancelButton");
                return;
            }
            CustomFileOpenDialogTestAccess::tree(dialog)->setCurrentIndex(model->index(second));
            click(dialog, "openButton");
        },
        [&] { chosen = viewer->chooseFile(); }));

    if (accept) {
        QCOMPARE(chosen, second);
        QCOMPARE(capture.lines(), QStringList{second});
        // Marked as loaded and the notice up before the caller has loaded anything.
        QVERIFY(Viewer::documentLoaded(*viewer));
        QVERIFY(noticeVisible(*viewer));
        QVERIFY(viewer->findChild<PDFWidget *>("pdfWidget")->filePath.isEmpty());
    } else {
        QCOMPARE(chosen, QString(""));
        QCOMPARE(capture.lines(), QStringList());
        QVERIFY(!Viewer::documentLoaded(*viewer));
        QVERIFY(!noticeVisible(*viewer));
    }
}

void OpenCommandTest::cancelChangesNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("cancel softkey") << 0;
    QTest::newRow("close key") << int(Qt::Key_F8);
    QTest::newRow("escape key") << int(Qt::Key_Escape);
}

void OpenCommandTest::cancelChangesNothing()
{
    QFETCH(int, key);

    auto viewer = makeViewer(true, true);
    QVERIFY(viewer);
    auto *view = viewer->findChild<PDFWidget *>("pdfWidget");
    view->zoomIn();
    view->gotoPage(1);
    const Poppler::Document *document = view->document;
    const QImage image = *view->image;
    const double resolution = view->resolution;
    PaintCounter paints(view);

    StdoutCapture capture;
    openCommand(*viewer, [&](CustomFileOpenDialog &dialog) {
        // From here on any paint of the page view comes from the command itself.
        paints.count = 0;
        if (key == 0) {
            click(dialog, "cancelButton");
            return;
        }
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(CustomFileOpenDialogTestAccess::tree(dialog), &release);
        QVERIFY(!dialog.isVisible());
    });
    const int paintsDuringCommand = paints.count;
    view->removeEventFilter(&paints);

    QCOMPARE(paintsDuringCommand, 0);
    QCOMPARE(view->document, document);
    QCOMPARE(view->filePath, first);
    QCOMPARE(view->pageIndex, 1);
    QCOMPARE(view->resolution, resolution);
    QCOMPARE(*view->image, image);
    QVERIFY(Viewer::documentLoaded(*viewer));
    QVERIFY(!noticeVisible(*viewer));
    QCOMPARE(capture.lines(), QStringList());
}

void OpenCommandTest::acceptReplacesDocument()
{
    auto viewer = makeViewer(true, true);
    QVERIFY(viewer);
    QFileSystemModel *model = Viewer::model(*viewer);
    auto *view = viewer->findChild<PDFWidget *>("pdfWidget");
    view->zoomIn();
    view->gotoPage(2);
    view->scrollRight();
    QVERIFY(view->resolution != PDFWidget::defaultResolution(480));

    std::unique_ptr<ModalCloser> closer;
    StdoutCapture capture;
    openCommand(*viewer, [&](CustomFileOpenDialog &dialog) {
        CustomFileOpenDialogTestAccess::tree(dialog)->setCurrentIndex(model->index(second));
        // A failed load would otherwise wait for its message box to be closed.
        closer = std::make_unique<ModalCloser>();
        click(dialog, "openButton");
    });

    QVERIFY(closer);
    QCOMPARE(closer->closed(), 0);
    QCOMPARE(capture.lines().value(0), second);
    QCOMPARE(view->filePath, second);
    QVERIFY(view->document);
    QCOMPARE(view->document->numPages(), 2);
    QCOMPARE(view->pageIndex, 0);
    QCOMPARE(view->resolution, PDFWidget::defaultResolution(480));
    QCOMPARE(view->xOffset, 0);
    QCOMPARE(view->yOffset, 0);
    QVERIFY(view->image && !view->image->isNull());
    QVERIFY(Viewer::documentLoaded(*viewer));
    QVERIFY(!noticeVisible(*viewer));
    QVERIFY(!viewer->findChild<CustomFileOpenDialog *>());
}

void OpenCommandTest::acceptedFolderFailsToLoad()
{
    auto viewer = makeViewer(true, true);
    QVERIFY(viewer);
    QFileSystemModel *model = Viewer::model(*viewer);
    std::unique_ptr<ModalCloser> closer;
    QString reported;

    StdoutCapture capture;
    openCommand(*viewer, [&](CustomFileOpenDialog &dialog) {
        CustomFileOpenDialogTestAccess::tree(dialog)->setCurrentIndex(model->index(bundle));
        // The failure box comes up once the chooser has gone.
        closer = std::make_unique<ModalCloser>([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                reported = box->text();
        });
        click(dialog, "openButton");
    });

    QVERIFY(closer);
    QCOMPARE(closer->closed(), 1);
    QCOMPARE(reported, "Loading document " + bundle + " failed!");
    QCOMPARE(capture.lines().value(0), bundle);
    // Set by the chooser before the load was tried, and kept.
    QVERIFY(Viewer::documentLoaded(*viewer));
    QVERIFY(!noticeVisible(*viewer));
}

void OpenCommandTest::currentDocumentPreselectedAndScrolledTo()
{
    auto viewer = makeViewer(true, true);
    QVERIFY(viewer);
    QFileSystemModel *model = Viewer::model(*viewer);
    // As after earlier open commands: the model already knows the folders on the way.
    QVERIFY(loadDirectories(model, pathAndAncestors(root)));

    openCommand(
        *viewer,
        [&](CustomFileOpenDialog &dialog) {
            CustomTreeView *tree = CustomFileOpenDialogTestAccess::tree(dialog);
            const QModelIndex current = model->index(first);
            QCOMPARE(tree->currentIndex(), current);
            QCOMPARE(tree->selectedIndexes(), QModelIndexList{current});
            const QRect item = tree->visualRect(current);
            const QRect viewport = tree->viewport()->rect();
            const QString where = QString("item at y %1, height %2, viewport height %3")
                                      .arg(item.y())
                                      .arg(item.height())
                                      .arg(viewport.height());
            QVERIFY2(viewport.contains(item), qPrintable(where));
            QVERIFY2(qAbs(item.center().y() - viewport.center().y()) <= item.height(),
                     qPrintable(where));
            click(dialog, "cancelButton");
        },
        600);
}

void OpenCommandTest::withoutOpenOptionNothingOpens()
{
    auto viewer = makeViewer(false, true);
    QVERIFY(viewer);
    StdoutCapture capture;
    const bool driven = driveChooser(
        *viewer, 0, [](CustomFileOpenDialog &) {}, [&] { Viewer::openCommand(*viewer); });
    QVERIFY(!driven);
    QVERIFY(!viewer->findChild<CustomFileOpenDialog *>());
    QCOMPARE(viewer->findChild<PDFWidget *>("pdfWidget")->filePath, first);
    QCOMPARE(capture.lines(), QStringList());
}

QTEST_MAIN(OpenCommandTest)
#include "tst_chooser_opencommand.moc"
