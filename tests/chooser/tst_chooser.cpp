#include "chooser/customfileopendialog.h"
#include "chooser/customtreeview.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/pdfwidget.h"

#include "modalcloser.h"
#include "paintcounter.h"
#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QBoxLayout>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

class CustomFileOpenDialogTestAccess
{
public:
    static CustomTreeView *tree(CustomFileOpenDialog &dialog) { return dialog.treeView; }
    static QList<QWidget *> holders(CustomFileOpenDialog &d)
    {
        return {d.leftColumn, d.rightColumn, d.topRow, d.bottomRow};
    }
};

class PDFViewerTestAccess
{
public:
    static QFileSystemModel *model(PDFViewer &viewer) { return viewer.fileSystemModel; }
    static bool documentLoaded(PDFViewer &viewer) { return viewer.documentLoaded; }
    static QLabel *notice(PDFViewer &viewer) { return viewer.loadingLabel; }
};

using Dialog = CustomFileOpenDialogTestAccess;
using Viewer = PDFViewerTestAccess;

namespace {

// A frame's widgets in order: names without "Button", "-" for a placeholder.
QString frameContents(QWidget *holder)
{
    QStringList names;
    for (int i = 0; i < holder->layout()->count(); ++i) {
        QWidget *widget = holder->layout()->itemAt(i)->widget();
        const QString name = widget->objectName().remove("Button");
        names << (name.isEmpty() ? "-" : name) + (widget->parentWidget() == holder ? "" : "?");
    }
    return names.join(' ');
}

// The model lists folders on a thread of its own, and a view moves only through rows the model
// has read: lists every folder from the root down to each of `paths` and waits for them.
bool loadFolders(QFileSystemModel *model, const QStringList &paths)
{
    QStringList folders, loaded;
    for (const QString &path : paths) {
        QDir dir(path);
        do {
            if (!folders.contains(dir.absolutePath()))
                folders << dir.absolutePath();
        } while (dir.cdUp());
    }
    const QMetaObject::Connection connection =
        QObject::connect(model, &QFileSystemModel::directoryLoaded,
                         [&](const QString &path) { loaded << QDir::cleanPath(path); });
    for (const QString &folder : folders) {
        if (model->canFetchMore(model->index(folder)))
            model->fetchMore(model->index(folder));
        else
            loaded << folder;
    }
    const bool done = QTest::qWaitFor([&] {
        return std::all_of(folders.begin(), folders.end(),
                           [&](const QString &folder) { return loaded.contains(folder); });
    });
    QObject::disconnect(connection);
    QCoreApplication::processEvents(); // the model sorts new rows from a zero timer
    return done;
}

} // namespace

class TestChooser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { deviceConfig = DeviceConfig::defaults(); }
    void frames_data();
    void frames();
    void open_data();
    void open();
    void keys_data();
    void keys();
    void taps();
    void openCommand_data();
    void openCommand();
    void openKeyNeedsOption();

private:
    std::unique_ptr<CustomFileOpenDialog> makeDialog(const QString &selected, std::string *result)
    {
        // As the main window builds it, on the default screen.
        auto dialog = std::make_unique<CustomFileOpenDialog>(nullptr, result);
        dialog->setGeometry(0, 0, 480, 272);
        dialog->setupDialog(selected.toStdString(), model);
        dialog->scrollToPath();
        return dialog;
    }
    QString path(const QString &name) const { return name == "/" ? name : root + '/' + name; }

    ProfileFreeDirectory directory;
    QString root;
    std::unique_ptr<PDFViewer> viewer;
    QFileSystemModel *model = nullptr;
};

void TestChooser::initTestCase()
{
    if (ProfileFreeDirectory::machineHasPointerFile())
        QSKIP("this machine has a device pointer file, which would override the settings");
    QVERIFY(directory.enter());
    root = QDir::current().canonicalPath() + "/files";
    for (const char *folder : {"files/docs", "files/empty", "files/folder.pdf"})
        QVERIFY(QDir::current().mkpath(folder));
    for (const char *file : {"docs/d.pdf", "folder.pdf/inside.pdf", "a.pdf", "UPPER.PDF"})
        QVERIFY(!TestDocuments::writeRawPdf(path(file), {{595, 842}}).isEmpty());
    // A name that only survives the trip through the chooser if it stays UTF-8 all the way.
    QVERIFY(!TestDocuments::writeA4Document(path("zweite Übersicht.pdf"), 2).isEmpty());
    StdoutCapture quiet;
    viewer = std::make_unique<PDFViewer>(nullptr, true);
    model = Viewer::model(*viewer);
    QVERIFY(loadFolders(model, {path("docs"), path("empty"), path("folder.pdf")}));
}

void TestChooser::frames_data()
{
    QTest::addColumn<bool>("onSide");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("softkeys");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QString>("first"); // the left column or the top row
    QTest::addColumn<QString>("second");

    const QString column = "open up down right", row = "right down up open";
    QTest::newRow("side, two frames of 4") << true << 2 << 4 << 24 << "cancel - - left" << column;
    QTest::newRow("side, one frame of 6") << true << 1 << 6 << -5 << "" << column + " left cancel";
    QTest::newRow("top and bottom, two frames of 4")
        << false << 2 << 4 << 93 << "left cancel - -" << row;
    QTest::newRow("top and bottom, one frame of 6")
        << false << 0 << 6 << 36 << "" << row + " left cancel";
    QTest::newRow("side, two frames of 6")
        << true << 2 << 6 << -5 << "cancel - - left - -" << column + " - -";
}

void TestChooser::frames()
{
    QFETCH(bool, onSide);
    QFETCH(int, frames);
    QFETCH(int, softkeys);
    QFETCH(int, spacing);
    QFETCH(QString, first);
    QFETCH(QString, second);

    deviceConfig.softkeyFramesOnSide = onSide;
    deviceConfig.softkeyFrameCount = frames;
    deviceConfig.softkeysPerFrame = softkeys;
    auto dialog = makeDialog(QString(), nullptr);
    const QList<QWidget *> holders = Dialog::holders(*dialog); // left, right, top, bottom
    QWidget *firstHolder = holders[onSide ? 0 : 2], *secondHolder = holders[onSide ? 1 : 3];
    QCOMPARE(frameContents(firstHolder), first);
    QCOMPARE(frameContents(secondHolder), second);
    QWidget reference;
    QVBoxLayout spacingAsSet(&reference); // Qt reports a negative spacing as the style's
    spacingAsSet.setSpacing(spacing);
    QCOMPARE(firstHolder->layout()->spacing(), spacingAsSet.spacing());

    QCOMPARE(firstHolder->geometry(), onSide ? QRect(0, 0, 50, 272) : QRect(0, 0, 480, 50));
    QCOMPARE(secondHolder->geometry(), onSide ? QRect(430, 0, 50, 272) : QRect(0, 222, 480, 50));
    QCOMPARE(Dialog::tree(*dialog)->geometry(),
             onSide ? QRect(50, 0, 380, 272) : QRect(0, 50, 480, 172));
    // The other pair is moved out of sight, just past the bottom-right corner.
    for (QWidget *other : {holders[onSide ? 2 : 0], holders[onSide ? 3 : 1]})
        QCOMPARE(other->pos(), QPoint(480, 272));
}

void TestChooser::open_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("document") << "a.pdf"
                              << "accepted";
    QTest::newRow("folder named like a document") << "folder.pdf"
                                                  << "accepted";
    QTest::newRow("capital extension") << "UPPER.PDF"
                                       << "stays";
    QTest::newRow("folder") << "docs"
                            << "expands";
    QTest::newRow("root") << "/"
                          << "expands";
    QTest::newRow("nothing selected") << ""
                                      << "stays";
}

void TestChooser::open()
{
    QFETCH(QString, entry);
    QFETCH(QString, outcome);

    std::string result = "untouched";
    auto dialog = makeDialog(entry.isEmpty() ? QString() : path(entry), &result);
    CustomTreeView *tree = Dialog::tree(*dialog);
    dialog->show();
    const QModelIndex start = tree->currentIndex();
    const bool wasExpanded = tree->isExpanded(start);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    StdoutCapture capture;
    dialog->findChild<QPushButton *>("openButton")->click();

    QCOMPARE(capture.lines(), entry.isEmpty() ? QStringList() : QStringList{path(entry)});
    QCOMPARE(accepted.count(), outcome == "accepted" ? 1 : 0);
    QCOMPARE(QString::fromStdString(result), outcome == "accepted" ? path(entry) : "untouched");
    // Open on a folder is the right arrow: it opens the folder, or enters one already open.
    if (outcome == "expands")
        QVERIFY(wasExpanded ? tree->currentIndex().parent() == start : tree->isExpanded(start));
    else if (outcome == "stays")
        QCOMPARE(tree->currentIndex(), start);
}

void TestChooser::keys_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("input"); // "press", "release", "both", or a softkey's name
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char *name, int frames, const char *input, int key,
                        const char *outcome) {
        QTest::newRow(name) << frames << QString(input) << key << QString(outcome);
    };
    row("F1 opens", 2, "release", Qt::Key_F1, "open");
    row("F2 up", 2, "release", Qt::Key_F2, "up");
    row("F3 down", 2, "release", Qt::Key_F3, "down");
    row("F3 press does nothing", 2, "press", Qt::Key_F3, "none");
    row("F4 right", 2, "release", Qt::Key_F4, "right");
    row("F5 left", 2, "release", Qt::Key_F5, "left");
    row("F8 cancels with two frames", 2, "release", Qt::Key_F8, "cancel");
    row("F6 ignored with two frames", 2, "release", Qt::Key_F6, "none");
    row("F6 cancels with one frame", 1, "release", Qt::Key_F6, "cancel");
    row("F8 ignored with one frame", 1, "release", Qt::Key_F8, "none");
    row("Escape cancels", 2, "release", Qt::Key_Escape, "cancel");
    row("Return opens on press", 2, "press", Qt::Key_Return, "open");
    row("down softkey", 2, "downButton", 0, "down");
    row("left softkey", 2, "leftButton", 0, "left");
    // The tree moves on the press of its own arrow key, the dialog once more on the release.
    row("down key configured as Down", -2, "both", Qt::Key_Down, "down twice");
}

void TestChooser::keys()
{
    QFETCH(int, frames);
    QFETCH(QString, input);
    QFETCH(int, key);
    QFETCH(QString, outcome);

    deviceConfig.softkeyFrameCount = qAbs(frames);
    if (frames < 0)
        deviceConfig.keyDown = Qt::Key_Down;
    // A collapsed folder with neighbours and a parent, named so that open accepts it: every
    // outcome leaves a different trace.
    auto dialog = makeDialog(path("folder.pdf"), nullptr);
    dialog->show();
    CustomTreeView *tree = Dialog::tree(*dialog);
    const QModelIndex start = tree->currentIndex();
    const QModelIndex below = tree->indexBelow(start);
    QCOMPARE(start, model->index(path("folder.pdf")));
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    StdoutCapture capture;
    if (input.endsWith("Button")) {
        dialog->findChild<QPushButton *>(input)->click();
    } else {
        // Sent to the tree, which has the focus; what it leaves goes on to the dialog.
        if (input != "release")
            QTest::sendKeyEvent(QTest::Press, tree, Qt::Key(key), QString(), Qt::NoModifier);
        if (input != "press")
            QTest::sendKeyEvent(QTest::Release, tree, Qt::Key(key), QString(), Qt::NoModifier);
    }

    const QModelIndex now = tree->currentIndex();
    const QString seen = !accepted.isEmpty()                       ? "open"
                         : !rejected.isEmpty()                     ? "cancel"
                         : now == start && tree->isExpanded(start) ? "right"
                         : now == start                            ? "none"
                         : now == below                            ? "down"
                         : now == tree->indexBelow(below)          ? "down twice"
                         : now == tree->indexAbove(start)          ? "up"
                         : now == start.parent()                   ? "left"
                                                                   : "elsewhere";
    QCOMPARE(seen, outcome);
    QCOMPARE(capture.lines(), outcome == "open" ? QStringList{path("folder.pdf")} : QStringList());
}

void TestChooser::taps()
{
    auto dialog = makeDialog(path("docs"), nullptr);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    CustomTreeView *tree = Dialog::tree(*dialog);
    const QModelIndex docs = model->index(path("docs"));
    StdoutCapture capture;
    // A tap toggles the folder it lands on, since a device user cannot double-click.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(docs).center());
    QVERIFY(tree->isExpanded(docs));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(docs).center());
    QVERIFY(!tree->isExpanded(docs));
    QCOMPARE(tree->selectedIndexes(), QModelIndexList{docs});
    QCOMPARE(capture.lines(), QStringList({"MOUSE PRESS", "MOUSE PRESS"}));
}

void TestChooser::openCommand_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<QString>("how"); // the key or softkey that ends the chooser
    QTest::newRow("cancel softkey, device") << 1 << "cancelButton";
    QTest::newRow("escape key, desktop") << 0 << "Escape";
    QTest::newRow("document chosen, device") << 1 << "openButton";
}

void TestChooser::openCommand()
{
    QFETCH(int, deviceType);
    QFETCH(QString, how);

    deviceConfig.deviceType = deviceType;
    PDFViewer window(nullptr, true);
    window.QWidget::show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *view = window.findChild<PDFWidget *>("pdfWidget");
    window.initWithFile(QFile::encodeName(path("a.pdf")).constData());
    view->zoomIn();
    QVERIFY(loadFolders(Viewer::model(window), {root}));
    PaintCounter paints(view);
    const QString chosen = path("zweite Übersicht.pdf");

    // Seen in the chooser: a window of its own, title, size, selection, centred.
    QVariantList seen;
    bool started = false;
    std::unique_ptr<ModalCloser> failureBoxes;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = window.findChild<CustomFileOpenDialog *>();
        // exec() marks it modal; then give it the half second before it scrolls to the document.
        if (!dialog || !dialog->isModal() || started)
            return;
        started = true;
        QTest::qWait(600);
        CustomTreeView *tree = Dialog::tree(*dialog);
        const QRect item = tree->visualRect(tree->currentIndex());
        seen = {dialog->isWindow(), dialog->windowTitle(), dialog->size(),
                tree->selectedIndexes() ==
                    QModelIndexList{Viewer::model(window)->index(path("a.pdf"))},
                qAbs(item.center().y() - tree->viewport()->rect().center().y()) <= item.height()};
        paints.count = 0;
        failureBoxes = std::make_unique<ModalCloser>();
        tree->setCurrentIndex(Viewer::model(window)->index(chosen));
        if (how.endsWith("Button"))
            dialog->findChild<QPushButton *>(how)->click();
        else
            QTest::keyRelease(tree, how == "F8" ? Qt::Key_F8 : Qt::Key_Escape);
        if (dialog->isVisible())
            dialog->reject();
    });
    poll.start(10);
    StdoutCapture capture;
    // The open key, as the device delivers it.
    QTest::keyRelease(&window, Qt::Key_F1);
    QVERIFY(started);
    QCOMPARE(seen, QVariantList({deviceType == 0, "Open PDF document", window.size(), true, true}));
    QCOMPARE(failureBoxes->closed(), 0);
    QVERIFY(!window.findChild<CustomFileOpenDialog *>());
    QVERIFY(Viewer::notice(window) == nullptr || Viewer::notice(window)->isHidden());
    if (how == "openButton") {
        QCOMPARE(capture.lines(), QStringList{chosen});
        QCOMPARE(view->filePath, chosen);
        QCOMPARE(view->resolution, 48.0);
        QVERIFY(paints.count > 0);
    } else {
        QCOMPARE(capture.lines(), QStringList());
        QCOMPARE(view->filePath, path("a.pdf"));
        QCOMPARE(view->resolution, 58.0);
        QCOMPARE(paints.count, 0);
    }
}

void TestChooser::openKeyNeedsOption()
{
    PDFViewer window(nullptr, false);
    bool opened = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *dialog = window.findChild<CustomFileOpenDialog *>()) {
            opened = true;
            dialog->reject();
        }
    });
    closer.start(10);
    StdoutCapture capture;
    QTest::keyRelease(&window, Qt::Key_F1);
    QTest::qWait(50);
    QVERIFY(!opened);
    QCOMPARE(capture.lines(), QStringList());
}

QTEST_MAIN(TestChooser)
#include "tst_chooser.moc"
