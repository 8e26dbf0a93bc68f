#include "chooser/customfileopendialog.h"
#include "chooser/customtreeview.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "modalcloser.h"
#include "paintcounter.h"
#include "pdfviewertestaccess.h"
#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleHints>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <optional>

#include <sched.h>
#include <sys/mount.h>

using Access = PDFViewerTestAccess;

namespace {

// The model lists folders on a thread of its own, and a view moves only through rows it has
// read: loads every folder from the root down to each of `paths`.
bool loadFolders(QFileSystemModel *model, const QStringList &paths)
{
    QSet<QString> waiting;
    for (QDir dir : paths) {
        do
            waiting << dir.absolutePath();
        while (dir.cdUp());
    }
    const QMetaObject::Connection connection =
        QObject::connect(model, &QFileSystemModel::directoryLoaded,
                         [&](const QString &path) { waiting.remove(QDir::cleanPath(path)); });
    for (const QString &folder : QSet<QString>(waiting)) {
        if (model->canFetchMore(model->index(folder)))
            model->fetchMore(model->index(folder));
        else
            waiting.remove(folder);
    }
    const bool done = QTest::qWaitFor([&] { return waiting.isEmpty(); });
    QObject::disconnect(connection);
    QCoreApplication::processEvents(); // the model sorts new rows from a zero timer
    return done;
}

// Runs `read` once while a chooser is shown, when the window system hands out the input read.
class OnChooserShown : public QObject
{
public:
    explicit OnChooserShown(std::function<void()> read) : read(std::move(read))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<CustomFileOpenDialog *>(watched) && read)
            std::exchange(read, nullptr)();
        return false;
    }

private:
    std::function<void()> read;
};

} // namespace

class TestChooser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(directory.enter());
        root = QDir::current().canonicalPath() + "/files";
        for (const char *folder : {"files/docs", "files/empty", "files/folder.pdf/below"})
            QVERIFY(QDir::current().mkpath(folder));
        for (const char *file : {"docs/d.pdf", "folder.pdf/inside.pdf", "a.pdf", "UPPER.PDF"})
            QVERIFY(!TestDocuments::writeRawPdf(path(file), {{595, 842}, {595, 842}}).isEmpty());
        // Named in Latin-1, not UTF-8: the chooser must keep its bytes as they are.
        const QByteArray written = QFile::encodeName(
            TestDocuments::writeRawPdf(path("latin1.pdf"), {{595, 842}, {595, 842}}));
        const QByteArray latin1 = QByteArray(written).replace("latin1.pdf", "r\xe9sum\xe9.pdf");
        QVERIFY(!written.isEmpty() && ::rename(written.constData(), latin1.constData()) == 0);
        StdoutCapture quiet;
        viewer = std::make_unique<PDFViewer>(nullptr, true);
        model = Access::chooserModel(*viewer);
        QVERIFY(loadFolders(model, {path("docs"), path("empty"), path("folder.pdf")}));
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    void keys_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("input"); // "press", "release", "both", or a softkey's name
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, const char *start, int frames, const char *input,
                            int key, const char *outcome) {
            QTest::newRow(name) << QString(start) << frames << QString(input) << key
                                << QString(outcome);
        };
        // A collapsed folder, with neighbours and a parent, that open accepts: outcomes differ.
        const char *folder = "folder.pdf";
        const std::pair<Qt::Key, const char *> released[] = {
            {Qt::Key_F1, "open"},  {Qt::Key_F2, "up"},        {Qt::Key_F3, "down"},
            {Qt::Key_F4, "right"}, {Qt::Key_F5, "left"},      {Qt::Key_F8, "cancel"},
            {Qt::Key_F6, "none"},  {Qt::Key_Escape, "cancel"}};
        for (const auto &[key, outcome] : released)
            row(qPrintable(QKeySequence(key).toString() + " released, two frames"), folder, 2,
                "release", key, outcome);
        row("F3 press does nothing", folder, 2, "press", Qt::Key_F3, "none");
        row("F6 cancels with one frame", folder, 1, "release", Qt::Key_F6, "cancel");
        row("F8 ignored with one frame", folder, 1, "release", Qt::Key_F8, "none");
        row("Return opens on press", folder, 2, "press", Qt::Key_Return, "open");
        row("left softkey", folder, 2, "leftButton", 0, "left");
        row("Return opens on press after a tap on a softkey", folder, 2, "rightButton",
            Qt::Key_Return, "open");
        row("Space as enter opens on press after a tap on a softkey", folder, 2, "rightButton",
            Qt::Key_Space, "open");
        // The tree moves on the press of its own arrow key, the dialog once more on the release.
        row("down key configured as Down", folder, -2, "both", Qt::Key_Down, "down twice");
        // Only a lower-case ".pdf" is opened; open on a folder opens it like the right arrow.
        row("open softkey, capital extension", "UPPER.PDF", 2, "openButton", 0, "none");
        row("open softkey, folder", "docs", 2, "openButton", 0, "right");
        row("open softkey, folder inside one named like a document", "folder.pdf/below", 2,
            "openButton", 0, "open");
        row("open softkey, nothing selected", "", 2, "openButton", 0, "none");
    }

    void keys()
    {
        QFETCH(QString, start);
        QFETCH(int, frames);
        QFETCH(QString, input);
        QFETCH(int, key);
        QFETCH(QString, outcome);

        deviceConfig.softkeyFrameCount = qAbs(frames);
        if (frames < 0)
            deviceConfig.keyDown = Qt::Key_Down;
        // A device whose enter key sends Space, which the tree and push buttons take themselves.
        if (key == Qt::Key_Space)
            deviceConfig.keyEnter = Qt::Key_Space;
        std::string result = "untouched";
        auto dialog = makeDialog(start.isEmpty() ? QString() : path(start), &result);
        dialog->show();
        CustomTreeView *tree = dialog->findChild<CustomTreeView *>();
        const QModelIndex first = tree->currentIndex();
        // Under qemu's user mode the model can drop the test folder's rows and make the start's
        // row anew on its own (see openCommand): with no neighbour above, left looks like up.
        if (qEnvironmentVariableIsSet("QEMU_LD_PREFIX") && first.isValid() &&
            tree->indexAbove(first) == first.parent())
            QSKIP("the emulation dropped the rows beside the start");
        const QModelIndex below = tree->indexBelow(first);
        const bool expanded = tree->isExpanded(first);
        QSignalSpy accepted(dialog.get(), &QDialog::accepted);
        QSignalSpy rejected(dialog.get(), &QDialog::rejected);
        StdoutCapture capture;
        if (input.endsWith("Button")) {
            // A tap, which also gives the softkey the focus; a key given then is pressed there.
            QTest::mouseClick(dialog->findChild<QPushButton *>(input), Qt::LeftButton);
            if (key)
                QTest::sendKeyEvent(QTest::Press, dialog->focusWidget(), Qt::Key(key), QString(),
                                    Qt::NoModifier);
        } else {
            // Sent to the tree, which has the focus; what it leaves goes on to the dialog.
            if (input != "release")
                QTest::sendKeyEvent(QTest::Press, tree, Qt::Key(key), QString(), Qt::NoModifier);
            if (input != "press")
                QTest::sendKeyEvent(QTest::Release, tree, Qt::Key(key), QString(), Qt::NoModifier);
        }

        const QModelIndex now = tree->currentIndex();
        const QString seen = !accepted.isEmpty()                                   ? "open"
                             : !rejected.isEmpty()                                 ? "cancel"
                             : now == first && tree->isExpanded(first) != expanded ? "right"
                             : now == first                                        ? "none"
                             : now == below                                        ? "down"
                             : now == tree->indexBelow(below)                      ? "down twice"
                             : now == tree->indexAbove(first)                      ? "up"
                             : now == first.parent()                               ? "left"
                                                                                   : "elsewhere";
        QCOMPARE(seen, outcome);
        const bool opening =
            input == "openButton" || key == Qt::Key_F1 || key == deviceConfig.keyEnter;
        QCOMPARE(capture.lines(),
                 opening && !start.isEmpty() ? QStringList{path(start)} : QStringList());
        QCOMPARE(QFile::decodeName(result.c_str()), outcome == "open" ? path(start) : "untouched");
    }

    // Touches as the device's touch screen delivers them, through the window system: the second
    // tap, soon after the first, comes as a double-click only.
    void taps()
    {
        auto dialog = makeDialog(path("docs"), nullptr);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        // Again, as the chooser's timer does once shown: before, the tree had not its final size.
        dialog->scrollToPath();
        CustomTreeView *tree = dialog->findChild<CustomTreeView *>();
        const QModelIndex docs = model->index(path("docs"));
        static QTouchDevice *const touchScreen =
            QTest::createTouchDevice(QTouchDevice::TouchScreen);
        const auto tap = [&] {
            // Into view again: the other folders beside this test's come and go and move it.
            tree->scrollTo(docs);
            const QPoint point = tree->visualRect(docs).center();
            QTest::touchEvent(dialog.get(), touchScreen).press(0, point, tree->viewport());
            QTest::touchEvent(dialog.get(), touchScreen).release(0, point, tree->viewport());
        };
        // Apart from any tap before, which would make the first one a double-click as well.
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
        StdoutCapture capture;
        // A tap toggles the folder it lands on, since a device user cannot double-click.
        tap();
        QVERIFY(tree->isExpanded(docs));
        tap();
        QVERIFY(!tree->isExpanded(docs));
        QCOMPARE(tree->selectedIndexes(), QModelIndexList{docs});
        QCOMPARE(capture.lines(), QStringList({"MOUSE PRESS", "MOUSE PRESS"}));
    }

    void openCommand_data()
    {
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<QString>("softkey"); // the one that ends the chooser
        QTest::newRow("cancelled, desktop") << 0 << "cancelButton";
        QTest::newRow("document named in Latin-1 chosen, device") << 1 << "openButton";
    }

    void openCommand()
    {
        QFETCH(int, deviceType);
        QFETCH(QString, softkey);

        deviceConfig.deviceType = deviceType;
        PDFViewer window(nullptr, true);
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *view = window.findChild<PDFWidget *>("pdfWidget");
        // Straight into the view, so the window counts as empty until a choice is accepted.
        QVERIFY(view->loadDocument(path("a.pdf")));
        view->zoomIn();
        view->nextPage();
        view->scrollRight();
        view->scrollDown();
        const auto place = [view] {
            return QVariantList{view->pageIndex, view->xOffset, view->yOffset, view->resolution};
        };
        const QVariantList before = place();
        QFileSystemModel *model = Access::chooserModel(window);
        QVERIFY(loadFolders(model, {root}));
        PaintCounter paints(view);
        const QString chosen = path(QFile::decodeName("r\xe9sum\xe9.pdf"));

        QVariantList seen;
        // A tap on the main window's softkeys beside the chooser is blocked, as by a modal one.
        bool pressedBeside = false, watching = false, started = false;
        std::unique_ptr<ModalCloser> failureBoxes;
        // Read when the view scrolls, not later: rows above the document's come and go with the
        // machine's other folders (other tests' temporary folders beside this one) and move it.
        std::optional<bool> centredByLastScroll;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = window.findChild<CustomFileOpenDialog *>();
            CustomTreeView *tree = dialog ? dialog->findChild<CustomTreeView *>() : nullptr;
            if (tree && !std::exchange(watching, true)) {
                QObject::connect(tree->verticalScrollBar(), &QScrollBar::valueChanged, [&, tree] {
                    const QRect item = tree->visualRect(tree->currentIndex());
                    const int middle = tree->viewport()->rect().center().y();
                    centredByLastScroll = qAbs(item.center().y() - middle) <= item.height();
                });
            }
            // Once exec() has marked it modal, it scrolls to the document after half a second.
            if (!tree || !dialog->isModal() || started)
                return;
            started = true;
            QTest::qWait(600);
            // A mount elsewhere on the machine since the folders were loaded brings a new model.
            auto *shown = static_cast<QFileSystemModel *>(tree->model());
            // From a timer, which a loaded machine, or the sanitizers, may deliver late.
            const bool centredInTime =
                QTest::qWaitFor([&] { return centredByLastScroll.value_or(false); }, 5000);
            auto *zoomIn = window.findChild<QPushButton *>("zommInButton");
            QTest::mousePress(window.windowHandle(), Qt::LeftButton, {},
                              zoomIn->mapTo(&window, zoomIn->rect().center()));
            pressedBeside = zoomIn->isDown();
            // Tab, a key a device may send, keeps the focus, and the keys after it, in the chooser.
            QTest::keyClick(tree, Qt::Key_Tab);
            const bool focusKept = dialog->isAncestorOf(dialog->window()->focusWidget());
            seen = {dialog->isWindow(),
                    dialog->windowTitle(),
                    dialog->size(),
                    tree->selectedIndexes() == QModelIndexList{shown->index(path("a.pdf"))},
                    centredInTime,
                    focusKept};
            paints.count = 0;
            failureBoxes = std::make_unique<ModalCloser>();
            tree->setCurrentIndex(shown->index(chosen));
            dialog->findChild<QPushButton *>(softkey)->click();
            if (dialog->isVisible())
                dialog->reject();
        });
        poll.start(10);
        StdoutCapture capture;
        QTest::keyRelease(&window, Qt::Key_F1);
        QVariantList expected = {
            deviceType == 0, "Open PDF document", window.size(), true, true, true};
        // Under qemu's user mode (tools/cross-emulator sets QEMU_LD_PREFIX) "/" lists the target
        // sysroot, which has no /tmp: the test folder's rows, and the selection, go with it.
        const int compared = qEnvironmentVariableIsSet("QEMU_LD_PREFIX") ? 3 : expected.size();
        QCOMPARE(seen.mid(0, compared), expected.mid(0, compared));
        QVERIFY(!pressedBeside);
        QVERIFY(!window.findChild<CustomFileOpenDialog *>());
        const bool opened = softkey == "openButton";
        // Only a choice puts the notice up, over the finished chooser, until its load is done.
        QCOMPARE(Access::notice(window) != nullptr, opened);
        QVERIFY(!opened || Access::notice(window)->isHidden());
        QCOMPARE(capture.lines(), opened ? QStringList{chosen} : QStringList());
        // A new document starts afresh; a cancelled chooser leaves the page where it was.
        QCOMPARE(view->filePath, opened ? chosen : path("a.pdf"));
        QCOMPARE(Access::documentLoaded(window), opened);
        QCOMPARE(place(), opened ? QVariantList({0, 0, 0, 48.0}) : before);
        QCOMPARE(view->pageNumberLabel->text(), opened ? "1 / 2" : "2 / 2");
        QCOMPARE(paints.count > 0, opened);
    }

    void keysTypedAhead_data()
    {
        QTest::addColumn<int>("pressed"); // 0 for none, before `released`
        QTest::addColumn<int>("released");
        QTest::addColumn<int>("choosersLeft");
        QTest::addColumn<bool>("whileShown"); // read as a chooser window of its own is shown
        QTest::newRow("open") << 0 << int(Qt::Key_F1) << 0 << false;
        QTest::newRow("cancel") << 0 << int(Qt::Key_Escape) << 0 << false;
        // The keys after a choice belong to the main window: the open key opens a new chooser.
        QTest::newRow("enter, then the open key")
            << int(Qt::Key_Return) << int(Qt::Key_F1) << 1 << false;
        // And so does a tap on its open softkey, also when held while the chooser was shown.
        QTest::newRow("enter, then the open softkey, held")
            << int(Qt::Key_Return) << 0 << 1 << true;
    }

    // Keys typed while a slow device builds the chooser reach it in one batch, before it runs:
    // they end it as they would later, and those after its end reach the main window.
    void keysTypedAhead()
    {
        QFETCH(int, pressed);
        QFETCH(int, released);
        QFETCH(int, choosersLeft);
        QFETCH(bool, whileShown);

        int choosers = 0;
        if (whileShown)
            deviceConfig.deviceType = 0;
        PDFViewer window(nullptr, true);
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // As without a window manager, where the viewer's window is never the active one.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        auto *view = window.findChild<PDFWidget *>("pdfWidget");
        const QString document = path("a.pdf");
        window.initWithFile(QFile::encodeName(document).constData());
        view->zoomIn(); // a new load starts at the default resolution again
        QVERIFY(loadFolders(Access::chooserModel(window), {root}));
        auto *openButton = window.findChild<QWidget *>("openButton");
        const auto type = [&] {
            if (pressed)
                QTest::keyPress(window.windowHandle(), Qt::Key(pressed));
            if (released)
                QTest::keyRelease(window.windowHandle(), Qt::Key(released));
            else
                QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                                  openButton->mapTo(&window, openButton->rect().center()));
        };
        // Read in the chooser's first round of events, as from the window system, or at its show.
        std::optional<OnChooserShown> reading;
        if (whileShown)
            reading.emplace(type);
        else
            QMetaObject::invokeMethod(&window, type, Qt::QueuedConnection);
        // A chooser still running waits for a choice that already happened, or was opened again.
        // Only once it runs its own loop: inside its show it has not yet taken the keys it held.
        QTimer closer;
        connect(&closer, &QTimer::timeout, &window, [&] {
            if (QThread::currentThread()->loopLevel() == 0)
                return;
            for (auto *dialog : window.findChildren<CustomFileOpenDialog *>()) {
                if (dialog->isVisible()) {
                    ++choosers;
                    dialog->reject();
                }
            }
        });
        closer.start(500);
        StdoutCapture capture;
        QTest::keyRelease(&window, Qt::Key_F1);

        QCOMPARE(choosers, choosersLeft);
        const bool opened = released == Qt::Key_F1 || pressed == Qt::Key_Return;
        QCOMPARE(capture.lines(), opened ? QStringList{document} : QStringList());
        QCOMPARE(view->resolution, opened ? 48.0 : 58.0);
        QVERIFY(Access::notice(window)->isHidden());
    }

    void inputReadWhileShown_data()
    {
        QTest::addColumn<bool>("touch");
        QTest::addColumn<bool>("before"); // put down on the main window before the open command
        QTest::newRow("double tap") << false << false;
        QTest::newRow("touch lifted once the chooser runs") << true << false;
        QTest::newRow("touch put down before, lifted once the chooser runs") << true << true;
    }

    // Input read while a chooser window of its own is shown goes to it whole: a press left to the
    // scroll bar beneath scrolled on by itself, a chooser softkey pressed stayed down. A finger put
    // down on the main window before the open command releases its press there once lifted.
    void inputReadWhileShown()
    {
        QFETCH(bool, touch);
        QFETCH(bool, before);
        deviceConfig.deviceType = 0;
        PDFViewer window(nullptr, true);
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *view = window.findChild<PDFWidget *>("pdfWidget");
        window.initWithFile(QFile::encodeName(path("a.pdf")).constData());
        // The chooser's down softkey lies where the main window's does.
        auto *under =
            window.findChild<QWidget *>(touch && !before ? "downButton" : "verticalScrollBar");
        const QPoint at = under->mapTo(&window, QPoint(under->width() / 2, under->height() - 4));
        QWindow *handle = window.windowHandle();
        static QTouchDevice *screen = QTest::createTouchDevice();
        if (before)
            QTest::touchEvent(handle, screen).press(0, at, handle);
        // The page too: an arrow that goes on stepping may come back to the same offset on another.
        const QVariantList start{view->pageIndex, view->yOffset};
        OnChooserShown reading([&] {
            if (before)
                return;
            if (touch)
                QTest::touchEvent(handle, screen).press(0, at, handle);
            else
                QTest::mouseDClick(handle, Qt::LeftButton, {}, at);
        });
        bool down = true;
        QVariantList released;
        // Lifted once the chooser runs its own loop: inside its show, where the input above has
        // Qt deliver pending events, the chooser has not yet taken the input it held.
        QTimer lift;
        connect(&lift, &QTimer::timeout, &window, [&] {
            if (QThread::currentThread()->loopLevel() == 0)
                return;
            lift.stop();
            if (touch)
                QTest::touchEvent(handle, screen).release(0, at, handle);
            released = {view->pageIndex, view->yOffset};
            auto *dialog = window.findChild<CustomFileOpenDialog *>();
            down = dialog->findChild<QPushButton *>("downButton")->isDown();
            dialog->reject();
        });
        lift.start(300);
        QTest::keyRelease(&window, Qt::Key_F1);
        QTest::qWait(before ? 600 : 0); // past the arrow's first repeat
        QVERIFY(!down);
        // A finger held on the main window's arrow steps on until it is lifted, however long
        // the chooser took to run; not after.
        QCOMPARE((QVariantList{view->pageIndex, view->yOffset}), released);
        if (!before)
            QCOMPARE(released, start);
    }

    // Keys read with the one that closes a failure box, handed out while it hides, act once it
    // has closed: an open key among them ran the chooser before the box's end was reported.
    void openKeyReadWhileTheBoxHides()
    {
        PDFViewer window(nullptr, true);
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTimer poll;
        connect(&poll, &QTimer::timeout, &window, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            // Once it has hidden, where the framebuffer platforms hand out the input read so far;
            // sent, as QTest's key clicks on a window also run the events they queue.
            connect(box, &QDialog::finished, &window, [hiding = box->windowHandle()] {
                for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                    QKeyEvent key(type, Qt::Key_F1, Qt::NoModifier);
                    QCoreApplication::sendEvent(hiding, &key);
                }
            });
            box->close();
        });
        poll.start(20);
        StdoutCapture capture;
        std::optional<QStringList> linesAtChooser;
        OnChooserShown shown([&] {
            linesAtChooser = capture.lines();
            QMetaObject::invokeMethod(window.findChild<CustomFileOpenDialog *>(), "reject",
                                      Qt::QueuedConnection);
        });
        window.initWithFile(QFile::encodeName(path("missing.pdf")).constData());
        QTRY_VERIFY(linesAtChooser);
        QVERIFY2(linesAtChooser->last().endsWith("Done with message box."),
                 qPrintable(linesAtChooser->join(" | ")));
    }

    // A tap read in one batch with the key that ends a chooser of its own window, handed out
    // while that window hides (as the framebuffer platforms do), is the main window's.
    void tapReadWhileTheChooserHides()
    {
        deviceConfig.deviceType = 0;
        PDFViewer window(nullptr, true);
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.initWithFile(QFile::encodeName(path("a.pdf")).constData());
        auto *view = window.findChild<PDFWidget *>("pdfWidget");
        auto *zoomIn = window.findChild<QPushButton *>("zommInButton");
        OnChooserShown shown([&] {
            auto *dialog = window.findChild<CustomFileOpenDialog *>();
            connect(dialog->windowHandle(), &QWindow::visibleChanged, &window, [&](bool visible) {
                if (!visible)
                    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                                      zoomIn->mapTo(&window, zoomIn->rect().center()));
            });
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        });
        StdoutCapture capture;
        QTest::keyRelease(&window, Qt::Key_F1);
        QCOMPARE(view->resolution, 58.0);
    }

    // The open key typed while the named file waits for its load: the file's failure box comes
    // up over the running chooser, and the keys typed to it close it.
    void failureBoxOverTheChooser()
    {
        PDFViewer window(nullptr, true);
        window.setFileToLoad(QFile::encodeName(path("missing.pdf")).constData());
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QMetaObject::invokeMethod(&window, "loadFile"));
        int boxes = 0, closedByKey = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &window, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++boxes;
                QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
                closedByKey += box->isHidden();
                box->close();
            } else if (auto *dialog = window.findChild<CustomFileOpenDialog *>(); dialog && boxes) {
                dialog->reject();
            }
        });
        poll.start(50);
        StdoutCapture capture;
        QTest::keyRelease(&window, Qt::Key_F1);
        QCOMPARE(boxes, 1);
        QCOMPARE(closedByKey, 1);
    }

    // Keys read for the main window while a chooser window of its own runs, as where no window
    // manager hands the focus to the chooser, are the chooser's.
    void keyToTheMainWindowReachesTheChooser()
    {
        deviceConfig.deviceType = 0;
        PDFViewer window(nullptr, true);
        window.QWidget::show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool cancelled = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &window, [&] {
            auto *dialog = window.findChild<CustomFileOpenDialog *>();
            if (!dialog || QThread::currentThread()->loopLevel() == 0)
                return;
            QTest::keyRelease(window.windowHandle(), Qt::Key_Escape);
            cancelled = dialog->isHidden();
            dialog->reject();
        });
        poll.start(50);
        QTest::keyRelease(&window, Qt::Key_F1);
        QVERIFY(cancelled);
    }

    // Files that the filter does not match are listed disabled, as Qt's own model lists them.
    void entriesEnabledAsQtModelWould()
    {
        const QString mixed = QDir::current().absoluteFilePath("mixed");
        QVERIFY(QDir().mkpath(mixed + "/folder"));
        for (const char *name : {"a.pdf", "B.PDF", "c.Pdf", "d.pdf.txt", "e.txt", "pdf", "f.pdfx",
                                 "r\xe9sum\xe9.pdf", "r\xe9sum\xe9.txt"})
            QVERIFY(QFile(mixed + '/' + QFile::decodeName(name)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(mixed + "/e.txt", mixed + "/link.pdf"));
        QVERIFY(QFile::link(mixed + "/a.pdf", mixed + "/link.txt"));
        QVERIFY(QFile::link(mixed + "/folder", mixed + "/folderlink"));
        QFileSystemModel reference;
        reference.setNameFilters({"*.pdf"});
        reference.setRootPath("/");
        QVERIFY(loadFolders(model, {mixed}) && loadFolders(&reference, {mixed}));

        const QModelIndex folder = model->index(mixed);
        QCOMPARE(model->rowCount(folder), 13);
        int disabled = 0;
        for (int row = 0; row < 13; ++row) {
            for (int column = 0; column < model->columnCount(folder); ++column) {
                const QModelIndex index = model->index(row, column, folder);
                const QModelIndex same = reference.index(model->filePath(index), column);
                QCOMPARE(model->flags(index), reference.flags(same));
                disabled += !(model->flags(index) & Qt::ItemIsEnabled);
            }
        }
        QCOMPARE(disabled, 6 * model->columnCount(folder));
    }

    // A card mounted on a folder that the chooser has listed: mounting changes nothing in the
    // folder beneath, so no watch sees it, and the card's documents must still be listed.
    void mediumMountedOnListedFolder()
    {
        const QByteArray card = QFile::encodeName(QDir::current().absoluteFilePath("card"));
        QVERIFY(QDir().mkpath(card));
        PDFViewer window(nullptr, true);
        QFileSystemModel *model = Access::chooserModel(window);
        QVERIFY(loadFolders(model, {card}));
        QCOMPARE(model->rowCount(model->index(card)), 0);
        // In a mount namespace of this process's own, which nothing else sees.
        if (unshare(CLONE_NEWNS) != 0 || mount("", "/", "", MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("card", card, "tmpfs", 0, nullptr) != 0)
            QSKIP("cannot mount a file system here");
        const auto unmount = qScopeGuard([&] { umount2(card, MNT_DETACH); });
        QVERIFY(!TestDocuments::writeRawPdf(QFile::decodeName(card) + "/on-card.pdf", {{300, 300}})
                     .isEmpty());
        model = Access::chooserModel(window);
        QVERIFY(loadFolders(model, {card}));
        QCOMPARE(model->rowCount(model->index(card)), 1);
    }

private:
    std::unique_ptr<CustomFileOpenDialog> makeDialog(const QString &selected, std::string *result)
    {
        // As the main window builds it, on the default screen.
        auto dialog = std::make_unique<CustomFileOpenDialog>(nullptr, result);
        dialog->setGeometry(0, 0, 480, 272);
        dialog->setupDialog(QFile::encodeName(selected).toStdString(), model);
        dialog->scrollToPath();
        return dialog;
    }

    QString path(const QString &name) const { return root + '/' + name; }

    ProfileFreeDirectory directory;
    QString root;
    std::unique_ptr<PDFViewer> viewer; // owns `model`
    QFileSystemModel *model = nullptr;
};

QTEST_MAIN(TestChooser)
#include "tst_chooser.moc"
