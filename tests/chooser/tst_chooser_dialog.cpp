#include "chooser/customfileopendialog.h"
#include "chooser/customtreeview.h"
#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"

#include "modelloading.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class CustomFileOpenDialogTestAccess
{
public:
    static CustomTreeView *tree(CustomFileOpenDialog &dialog) { return dialog.treeView; }
    static QWidget *leftColumn(CustomFileOpenDialog &dialog) { return dialog.leftColumn; }
    static QWidget *rightColumn(CustomFileOpenDialog &dialog) { return dialog.rightColumn; }
    static QWidget *topRow(CustomFileOpenDialog &dialog) { return dialog.topRow; }
    static QWidget *bottomRow(CustomFileOpenDialog &dialog) { return dialog.bottomRow; }
};

class PDFViewerTestAccess
{
public:
    static QFileSystemModel *model(PDFViewer &viewer) { return viewer.fileSystemModel; }
};

using Access = CustomFileOpenDialogTestAccess;

namespace {

// What a frame's layout holds, in order: object names, "-" for a placeholder, and a mark when
// the widget is not a child of the frame it is laid out in.
QStringList frameContents(QWidget *holder)
{
    QStringList names;
    QLayout *layout = holder->layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        QWidget *widget = layout->itemAt(i)->widget();
        QString name = widget && !widget->objectName().isEmpty() ? widget->objectName() : "-";
        if (!widget || widget->parentWidget() != holder)
            name += " (not a child)";
        names << name;
    }
    return names;
}

// Delivered like a real key: to the tree, which has the focus, and on to its parents from there.
void deliverKey(QWidget *target, QEvent::Type type, int key,
                Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false)
{
    const QString text = key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde
                             ? QString(QChar(key)).toLower()
                             : QString();
    QKeyEvent event(type, key, modifiers, text, autoRepeat);
    QApplication::sendEvent(target, &event);
}

class KeyEventCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
            ++count;
        return false;
    }
};

} // namespace

class ChooserDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void frames_data();
    void frames();
    void treeViewSettings();
    void arrowSoftkeysMoveLikeTheTreeKeys();
    void open_data();
    void open();
    void keyDispatch_data();
    void keyDispatch();
    void keysNeverReachTheMainWindow();
    void taps();

private:
    std::unique_ptr<CustomFileOpenDialog> makeDialog(const QString &initialPath,
                                                     std::string *result = nullptr,
                                                     QWidget *parent = nullptr);
    QString path(const QString &relative) const
    {
        return relative == "/" ? relative : root + '/' + relative;
    }
    QModelIndex index(const QString &relative) const { return model->index(path(relative)); }

    QTemporaryDir directory;
    QString root;
    std::unique_ptr<PDFViewer> viewer;
    QFileSystemModel *model = nullptr;
};

void ChooserDialogTest::initTestCase()
{
    QVERIFY(directory.isValid());
    root = QFileInfo(directory.path()).canonicalFilePath();
    QDir dir(root);
    for (const char *folder : {"docs", "empty", "folder.pdf"})
        QVERIFY(dir.mkdir(folder));
    const QList<QSizeF> a4{QSizeF(595, 842)};
    for (const char *file : {"docs/d.pdf", "folder.pdf/inside.pdf", "a.pdf", "b.pdf", "UPPER.PDF"})
        QVERIFY(!TestDocuments::writeRawPdf(path(file), a4).isEmpty());
    QVERIFY(!TestDocuments::writeNotPdf(path("notes.txt")).isEmpty());

    deviceConfig = DeviceConfig::defaults();
    viewer = std::make_unique<PDFViewer>(nullptr, true);
    model = PDFViewerTestAccess::model(*viewer);
    QVERIFY(loadDirectories(model, pathAndAncestors(root) + QStringList{path("docs"), path("empty"),
                                                                        path("folder.pdf")}));
    QTRY_COMPARE(model->rowCount(model->index(root)), 7);
}

void ChooserDialogTest::init()
{
    deviceConfig = DeviceConfig::defaults();
}

void ChooserDialogTest::cleanupTestCase()
{
    viewer.reset();
}

std::unique_ptr<CustomFileOpenDialog>
ChooserDialogTest::makeDialog(const QString &initialPath, std::string *result, QWidget *parent)
{
    // As the main window builds it, on the default screen size.
    auto dialog = std::make_unique<CustomFileOpenDialog>(parent, result);
    if (parent)
        dialog->setWindowFlags(Qt::FramelessWindowHint);
    dialog->setGeometry(0, 0, 480, 272);
    dialog->setupDialog(initialPath.toUtf8().toStdString(), model);
    return dialog;
}

void ChooserDialogTest::frames_data()
{
    QTest::addColumn<bool>("onSide");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("softkeys");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");

    const QSize standard(480, 272);
    const QStringList sideColumn{"openButton", "upButton", "downButton", "rightButton"};
    const QStringList bottomRow{"rightButton", "downButton", "upButton", "openButton"};
    const QStringList leftColumn{"cancelButton", "-", "-", "leftButton"};
    const QStringList leftThenCancel{"leftButton", "cancelButton"};

    QTest::newRow("side, two frames, 4 keys")
        << true << 2 << 4 << standard << 24 << leftColumn << sideColumn;
    QTest::newRow("side, one frame, 6 keys")
        << true << 1 << 6 << standard << -5 << QStringList() << sideColumn + leftThenCancel;
    QTest::newRow("top and bottom, two frames, 4 keys")
        << false << 2 << 4 << standard << 93 << leftThenCancel + QStringList{"-", "-"} << bottomRow;
    QTest::newRow("top and bottom, one frame, 6 keys")
        << false << 1 << 6 << standard << 36 << QStringList() << bottomRow + leftThenCancel;
    QTest::newRow("side, one frame, 4 keys")
        << true << 1 << 4 << standard << 24 << QStringList() << sideColumn + leftThenCancel;
    QTest::newRow("top and bottom, two frames, 2 keys")
        << false << 2 << 2 << standard << 380 << leftThenCancel << bottomRow;
    QTest::newRow("side, two frames, 6 keys")
        << true << 2 << 6 << standard << -5 << leftColumn + QStringList{"-", "-"}
        << sideColumn + QStringList{"-", "-"};
    QTest::newRow("top and bottom, one frame, 8 keys")
        << false << 1 << 8 << standard << 11 << QStringList()
        << bottomRow + leftThenCancel + QStringList{"-", "-"};
    QTest::newRow("one key per frame")
        << true << 2 << 1 << standard << 0 << leftColumn << sideColumn;
    QTest::newRow("spacing from the profile's screen, not the dialog")
        << true << 2 << 4 << QSize(480, 400) << 66 << leftColumn << sideColumn;
    QTest::newRow("zero frames count as one")
        << true << 0 << 6 << standard << -5 << QStringList() << sideColumn + leftThenCancel;
}

void ChooserDialogTest::frames()
{
    QFETCH(bool, onSide);
    QFETCH(int, frames);
    QFETCH(int, softkeys);
    QFETCH(QSize, screen);
    QFETCH(int, spacing);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);

    deviceConfig.softkeyFramesOnSide = onSide;
    deviceConfig.softkeyFrameCount = frames;
    deviceConfig.softkeysPerFrame = softkeys;
    deviceConfig.windowWidth = screen.width();
    deviceConfig.windowHeight = screen.height();
    auto dialog = makeDialog(QString());

    QWidget *left = Access::leftColumn(*dialog);
    QWidget *right = Access::rightColumn(*dialog);
    QWidget *top = Access::topRow(*dialog);
    QWidget *bottom = Access::bottomRow(*dialog);
    QCOMPARE(frameContents(onSide ? left : top), first);
    QCOMPARE(frameContents(onSide ? right : bottom), second);
    // The holders of the other orientation hold nothing.
    QCOMPARE(frameContents(onSide ? top : left), QStringList());
    QCOMPARE(frameContents(onSide ? bottom : right), QStringList());
    // A layout keeps a negative spacing as "the style's default", so compare with one given the
    // same value.
    QWidget reference;
    QVBoxLayout referenceLayout(&reference);
    referenceLayout.setSpacing(spacing);
    for (QWidget *holder : {left, right, top, bottom})
        QCOMPARE(holder->layout()->spacing(), referenceLayout.spacing());

    const QPoint outside(480, 272);
    if (onSide) {
        QCOMPARE(left->geometry(), QRect(0, 0, 50, 272));
        QCOMPARE(right->geometry(), QRect(430, 0, 50, 272));
        QCOMPARE(top->pos(), outside);
        QCOMPARE(bottom->pos(), outside);
        QCOMPARE(Access::tree(*dialog)->geometry(), QRect(50, 0, 380, 272));
    } else {
        QCOMPARE(top->geometry(), QRect(0, 0, 480, 50));
        QCOMPARE(bottom->geometry(), QRect(0, 222, 480, 50));
        QCOMPARE(left->pos(), outside);
        QCOMPARE(right->pos(), outside);
        QCOMPARE(Access::tree(*dialog)->geometry(), QRect(0, 50, 480, 172));
    }
    // Moved out of sight, not hidden.
    for (QWidget *holder : {left, right, top, bottom})
        QVERIFY(!holder->isHidden());
}

void ChooserDialogTest::treeViewSettings()
{
    auto dialog = makeDialog(QString());
    CustomTreeView *tree = Access::tree(*dialog);
    QCOMPARE(tree->model(), model);
    QVERIFY(!tree->isColumnHidden(0));
    for (int column : {1, 2, 3})
        QVERIFY2(tree->isColumnHidden(column), qPrintable(QString::number(column)));
    // The only visible column stretches over the view; without the stretch it has its own width.
    tree->header()->setStretchLastSection(false);
    QCOMPARE(tree->columnWidth(0), 240);
    QVERIFY(tree->wordWrap());
    QCOMPARE(tree->iconSize(), QSize(40, 40));
    QCOMPARE(dialog->focusWidget(), tree);
    QVERIFY(tree->isExpanded(model->index("/")));
    QVERIFY(!tree->isExpanded(model->index(QFileInfo(root).path())));
    QVERIFY(!tree->currentIndex().isValid());
    QVERIFY(tree->selectedIndexes().isEmpty());

    auto preselected = makeDialog(path("b.pdf"));
    tree = Access::tree(*preselected);
    QCOMPARE(tree->currentIndex(), index("b.pdf"));
    QCOMPARE(tree->selectedIndexes(), QModelIndexList{index("b.pdf")});
}

void ChooserDialogTest::arrowSoftkeysMoveLikeTheTreeKeys()
{
    // One chooser moved by its softkeys, a twin by real arrow keys on its tree.
    auto softkeys = makeDialog(path("docs"));
    auto keys = makeDialog(path("docs"));
    softkeys->scrollToPath();
    keys->scrollToPath();
    CustomTreeView *moved = Access::tree(*softkeys);
    CustomTreeView *twin = Access::tree(*keys);

    const QList<QPair<QString, int>> steps{
        {"rightButton", Qt::Key_Right}, {"rightButton", Qt::Key_Right},
        {"leftButton", Qt::Key_Left},   {"leftButton", Qt::Key_Left},
        {"downButton", Qt::Key_Down},   {"downButton", Qt::Key_Down},
        {"rightButton", Qt::Key_Right}, {"downButton", Qt::Key_Down},
        {"downButton", Qt::Key_Down},   {"downButton", Qt::Key_Down},
        {"downButton", Qt::Key_Down},   {"upButton", Qt::Key_Up},
        {"leftButton", Qt::Key_Left},   {"upButton", Qt::Key_Up},
        {"leftButton", Qt::Key_Left},   {"leftButton", Qt::Key_Left},
    };
    QSet<QString> visited;
    for (int i = 0; i < steps.size(); ++i) {
        softkeys->findChild<QPushButton *>(steps[i].first)->click();
        deliverKey(twin, QEvent::KeyPress, steps[i].second);
        const QModelIndex current = moved->currentIndex();
        const QString where = QString("step %1 (%2): %3 against %4")
                                  .arg(i)
                                  .arg(steps[i].first, model->filePath(current),
                                       model->filePath(twin->currentIndex()));
        QVERIFY2(current == twin->currentIndex(), qPrintable(where));
        QVERIFY2(moved->selectedIndexes() == twin->selectedIndexes(), qPrintable(where));
        QVERIFY2(moved->isExpanded(current) == twin->isExpanded(current), qPrintable(where));
        visited.insert(model->filePath(current));
    }
    // Guards against two trees that agree because neither moved.
    QVERIFY2(visited.size() >= 8, qPrintable(QStringList(visited.values()).join(", ")));
    QVERIFY(visited.contains(path("docs/d.pdf")));
    QVERIFY(visited.contains(path("folder.pdf/inside.pdf")));
}

void ChooserDialogTest::open_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("after");

    QTest::newRow("document") << "a.pdf" << true << "";
    QTest::newRow("folder named like a document") << "folder.pdf" << true << "";
    QTest::newRow("capital extension stays open") << "UPPER.PDF" << false << "stays";
    QTest::newRow("folder opens") << "docs" << false << "expands";
    QTest::newRow("empty folder") << "empty" << false << "stays";
    QTest::newRow("root is entered") << "/" << false << "enters";
    QTest::newRow("nothing selected") << "" << false << "stays";
}

void ChooserDialogTest::open()
{
    QFETCH(QString, entry);
    QFETCH(bool, accepted);
    QFETCH(QString, after);

    std::string result = "untouched";
    auto dialog = makeDialog(entry.isEmpty() ? QString() : path(entry), &result);
    CustomTreeView *tree = Access::tree(*dialog);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->setResult(-1);
    // Shown without a preselection, the view makes its first row current but selects nothing.
    const QModelIndex start = tree->currentIndex();
    QCOMPARE(tree->selectedIndexes().isEmpty(), entry.isEmpty());

    QStringList printed;
    {
        StdoutCapture capture;
        dialog->on_openButton_clicked();
        printed = capture.lines();
    }

    QCOMPARE(printed, entry.isEmpty() ? QStringList() : QStringList{path(entry)});
    if (accepted) {
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(!dialog->isVisible());
        QCOMPARE(QString::fromStdString(result), path(entry));
        return;
    }
    QCOMPARE(dialog->result(), -1);
    QVERIFY(dialog->isVisible());
    QCOMPARE(result, std::string("untouched"));
    if (after == "stays") {
        QCOMPARE(tree->currentIndex(), start);
    } else if (after == "expands") {
        QCOMPARE(tree->currentIndex(), start);
        QVERIFY(tree->isExpanded(start));
    } else {
        QCOMPARE(tree->currentIndex().parent(), start);
    }
}

void ChooserDialogTest::keyDispatch_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<QString>("outcome");

    auto row = [](const char *name, const char *profile, int frames, const char *action, int key,
                  const char *outcome, int modifiers = Qt::NoModifier, bool autoRepeat = false) {
        QTest::newRow(name) << QString(profile) << frames << QString(action) << key << modifiers
                            << autoRepeat << QString(outcome);
    };
    row("F1 opens", "default", 2, "release", Qt::Key_F1, "open");
    row("F2 up", "default", 2, "release", Qt::Key_F2, "up");
    row("F3 down", "default", 2, "release", Qt::Key_F3, "down");
    row("F4 right", "default", 2, "release", Qt::Key_F4, "right");
    row("F5 left", "default", 2, "release", Qt::Key_F5, "left");
    row("F6 ignored with two frames", "default", 2, "release", Qt::Key_F6, "none");
    row("F8 cancels with two frames", "default", 2, "release", Qt::Key_F8, "cancel");
    row("Escape cancels", "default", 2, "release", Qt::Key_Escape, "cancel");
    row("Escape press does nothing", "default", 2, "press", Qt::Key_Escape, "none");
    row("Return opens on press", "default", 2, "press", Qt::Key_Return, "open");
    row("Return release ignored", "default", 2, "release", Qt::Key_Return, "none");
    row("F3 press ignored", "default", 2, "press", Qt::Key_F3, "none");
    row("modifiers and repeat ignored", "default", 2, "release", Qt::Key_F3, "down",
        Qt::ShiftModifier | Qt::ControlModifier, true);
    row("arrow keys are the tree's own", "default", 2, "click", Qt::Key_Down, "down");
    row("F6 cancels with one frame", "default", 1, "release", Qt::Key_F6, "cancel");
    row("F8 ignored with one frame", "default", 1, "release", Qt::Key_F8, "none");

    row("remapped open", "remapped", 2, "release", Qt::Key_O, "open");
    row("remapped right", "remapped", 2, "release", Qt::Key_R, "right");
    row("remapped escape", "remapped", 2, "release", Qt::Key_Q, "cancel");
    row("remapped close", "remapped", 2, "release", Qt::Key_C, "cancel");
    row("remapped enter", "remapped", 2, "press", Qt::Key_F10, "open");
    row("Return no longer enter", "remapped", 2, "press", Qt::Key_Return, "none");
    row("old open code ignored", "remapped", 2, "release", Qt::Key_F1, "none");
    row("two below close, one frame", "remapped", 1, "release", Qt::Key_A, "cancel");
    row("remapped close, one frame", "remapped", 1, "release", Qt::Key_C, "none");
    row("down on the arrow key moves twice", "remapped", 2, "click", Qt::Key_Down, "down twice");
    row("first match wins", "clash", 2, "release", Qt::Key_F1, "right");
}

void ChooserDialogTest::keyDispatch()
{
    QFETCH(QString, profile);
    QFETCH(int, frames);
    QFETCH(QString, action);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, autoRepeat);
    QFETCH(QString, outcome);

    deviceConfig.softkeyFrameCount = frames;
    if (profile == "remapped") {
        deviceConfig.keyOpen = Qt::Key_O;
        deviceConfig.keyEnter = Qt::Key_F10;
        deviceConfig.keyUp = Qt::Key_U;
        deviceConfig.keyDown = Qt::Key_Down;
        deviceConfig.keyLeft = Qt::Key_L;
        deviceConfig.keyRight = Qt::Key_R;
        deviceConfig.keyClose = Qt::Key_C;
        deviceConfig.keyEscape = Qt::Key_Q;
    } else if (profile == "clash") {
        deviceConfig.keyRight = deviceConfig.keyOpen;
    }

    // A collapsed folder with neighbours on both sides and a parent, whose name makes open
    // accept it: every outcome leaves a different trace.
    std::string result;
    auto dialog = makeDialog(path("folder.pdf"), &result);
    dialog->scrollToPath();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    CustomTreeView *tree = Access::tree(*dialog);
    const QModelIndex start = tree->currentIndex();
    const QModelIndex above = tree->indexAbove(start);
    const QModelIndex below = tree->indexBelow(start);
    const QModelIndex twoBelow = tree->indexBelow(below);
    QCOMPARE(start, index("folder.pdf"));
    QVERIFY(!tree->isExpanded(start));
    for (const QModelIndex &neighbour : {above, below, twoBelow})
        QVERIFY(neighbour.isValid() && (neighbour.flags() & Qt::ItemIsEnabled));

    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    QStringList printed;
    {
        StdoutCapture capture;
        const auto mods = Qt::KeyboardModifiers(modifiers);
        if (action != "release")
            deliverKey(tree, QEvent::KeyPress, key, mods, autoRepeat);
        if (action != "press")
            deliverKey(tree, QEvent::KeyRelease, key, mods, autoRepeat);
        printed = capture.lines();
    }

    const QModelIndex current = tree->currentIndex();
    QString seen = "moved elsewhere";
    if (!accepted.isEmpty())
        seen = "open";
    else if (!rejected.isEmpty())
        seen = "cancel";
    else if (current == start)
        seen = tree->isExpanded(start) ? "right" : "none";
    else if (current == below)
        seen = "down";
    else if (current == twoBelow)
        seen = "down twice";
    else if (current == above)
        seen = "up";
    else if (current == start.parent())
        seen = "left";
    QCOMPARE(seen, outcome);
    QCOMPARE(accepted.count() + rejected.count(), outcome == "open" || outcome == "cancel" ? 1 : 0);
    QCOMPARE(printed, outcome == "open" ? QStringList{path("folder.pdf")} : QStringList());
}

void ChooserDialogTest::keysNeverReachTheMainWindow()
{
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    // A frameless chooser is a child of the main window, so an ignored key would travel on to
    // the window and its report of unknown keys.
    std::string result;
    auto dialog = makeDialog(path("folder.pdf"), &result, viewer.get());
    dialog->show();
    CustomTreeView *tree = Access::tree(*dialog);
    KeyEventCounter keysAtWindow;
    viewer->installEventFilter(&keysAtWindow);

    StdoutCapture capture;
    const QList<int> keys{Qt::Key_F2,   Qt::Key_F3,  Qt::Key_F4,   Qt::Key_F5,  Qt::Key_F6,
                          Qt::Key_F7,   Qt::Key_F9,  Qt::Key_F10,  Qt::Key_F12, Qt::Key_Home,
                          Qt::Key_A,    Qt::Key_Z,   Qt::Key_Down, Qt::Key_Up,  Qt::Key_Menu,
                          Qt::Key_Back, Qt::Key_Left};
    for (int key : keys) {
        deliverKey(tree, QEvent::KeyPress, key);
        deliverKey(tree, QEvent::KeyRelease, key);
    }
    // Neither of these may end the chooser here.
    deliverKey(tree, QEvent::KeyPress, Qt::Key_Escape);
    deliverKey(tree, QEvent::KeyRelease, Qt::Key_Return);
    QCOMPARE(keysAtWindow.count, 0);
    QCOMPARE(capture.lines(), QStringList());
    QVERIFY(dialog->isVisible());

    // The same watch does see a key that the window itself receives.
    deliverKey(viewer.get(), QEvent::KeyRelease, Qt::Key_F9);
    viewer->removeEventFilter(&keysAtWindow);
    QCOMPARE(keysAtWindow.count, 1);
    QVERIFY(capture.lines().value(0).startsWith("UNKNOWN KEY CODE RECEIVED"));
}

void ChooserDialogTest::taps()
{
    std::string result;
    auto dialog = makeDialog(path("docs"), &result);
    dialog->scrollToPath();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    CustomTreeView *tree = Access::tree(*dialog);
    auto tap = [tree](const QPoint &point) {
        StdoutCapture capture;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, point);
        return capture.lines();
    };
    const QStringList pressed{"MOUSE PRESS"};
    const QModelIndex docs = index("docs");
    QVERIFY(!tree->isExpanded(docs));

    QCOMPARE(tap(tree->visualRect(docs).center()), pressed);
    QVERIFY(tree->isExpanded(docs));
    QCOMPARE(tap(tree->visualRect(docs).center()), pressed);
    QVERIFY(!tree->isExpanded(docs));
    QCOMPARE(tree->currentIndex(), docs);

    // A document is only selected; opening takes the open key.
    tree->scrollTo(index("a.pdf"));
    QCOMPARE(tap(tree->visualRect(index("a.pdf")).center()), pressed);
    QCOMPARE(tree->selectedIndexes(), QModelIndexList{index("a.pdf")});
    QVERIFY(dialog->isVisible());
    QVERIFY(result.empty());

    tree->collapse(model->index("/"));
    const QPoint blank(tree->viewport()->width() / 2, tree->viewport()->height() - 5);
    QVERIFY(!tree->indexAt(blank).isValid());
    QCOMPARE(tap(blank), pressed);
}

QTEST_MAIN(ChooserDialogTest)
#include "tst_chooser_dialog.moc"
