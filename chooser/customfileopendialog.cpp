#include "chooser/customfileopendialog.h"

#include "base/console.h"
#include "base/softkeyframe.h"
#include "base/softkeykeys.h"
#include "base/softkeylook.h"
#include "chooser/customtreeview.h"
#include "config/deviceconfig.h"

#include <QBoxLayout>
#include <QFile>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QPushButton>

#include <cstdint>

namespace {

const char backgroundStyle[] = "QWidget { background-color : rgba(200, 200, 200, 255); }";

// A push button in a dialog clicks itself on Return while it has the focus, which a tap gives it,
// and any push button on Space and Select: an enter key that sends one of them would then repeat
// the tapped softkey instead of opening the selected entry.
QPushButton *makeButton(QWidget *holder, const char *name)
{
    auto *button = new QPushButton(holder);
    button->setObjectName(QString::fromLatin1(name));
    button->setMaximumSize(50, 50);
    button->setAutoDefault(false);
    leaveKeysToWindow(button);
    return button;
}

QPushButton *makeIconButton(QWidget *holder, const char *name, const char *iconFile)
{
    QPushButton *button = makeButton(holder, name);
    QIcon icon;
    icon.addFile(QString::fromLatin1(iconFile), QSize(), QIcon::Normal, QIcon::Off);
    button->setIcon(icon);
    button->setIconSize(QSize(40, 40));
    return button;
}

QPushButton *makeArrowButton(QWidget *holder, const char *name, const QPalette &palette,
                             const QFont &font, const QString &arrow)
{
    QPushButton *button = makeButton(holder, name);
    button->setPalette(palette);
    button->setFont(font);
    button->setText(arrow);
    return button;
}

// A softkey frame's layout, without margins as the main window's frames are, so that both
// windows put their softkeys in the same slots.
template <typename BoxLayout> BoxLayout *makeFrameLayout(QWidget *holder, int spacing)
{
    auto *layout = new BoxLayout(holder);
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

CustomFileOpenDialog::CustomFileOpenDialog(QWidget *parent, std::string *resultPath)
    : QDialog(parent), resultPath(resultPath)
{
}

CustomFileOpenDialog::~CustomFileOpenDialog() = default;

void CustomFileOpenDialog::setupDialog(const std::string &initialPath, QFileSystemModel *model)
{
    this->initialPath = initialPath;
    const int W = width();
    const int H = height();
    const bool onSide = deviceConfig.softkeyFramesOnSide;
    const int softkeys = deviceConfig.softkeysPerFrame;
    // From the configured screen, not the dialog, so both windows space their softkeys alike.
    const int spacing =
        softkeySpacing(onSide ? deviceConfig.windowHeight : deviceConfig.windowWidth, softkeys);

    auto *background = new QWidget(this);
    background->setGeometry(0, 0, W, H);
    background->setStyleSheet(QString::fromLatin1(backgroundStyle));

    leftColumn = new QWidget(this);
    leftColumn->setGeometry(0, 0, 50, H);
    rightColumn = new QWidget(this);
    rightColumn->setGeometry(W - 50, 0, 50, H);
    leftColumnLayout = makeFrameLayout<QVBoxLayout>(leftColumn, spacing);
    rightColumnLayout = makeFrameLayout<QVBoxLayout>(rightColumn, spacing);

    topRow = new QWidget(this);
    topRow->setGeometry(0, 0, W, 50);
    bottomRow = new QWidget(this);
    bottomRow->setGeometry(0, H - 50, W, 50);
    topRowLayout = makeFrameLayout<QHBoxLayout>(topRow, spacing);
    bottomRowLayout = makeFrameLayout<QHBoxLayout>(bottomRow, spacing);

    const QPalette palette = arrowPalette();
    const QFont font = arrowFont();
    QWidget *first = onSide ? leftColumn : topRow;
    QWidget *second = onSide ? rightColumn : bottomRow;
    cancelButton = makeIconButton(first, "cancelButton", "images/cancel.svg");
    leftButton = makeArrowButton(first, "leftButton", palette, font, QStringLiteral("\u21E6"));
    openButton = makeIconButton(second, "openButton", "images/1270668950.svg");
    upButton = makeArrowButton(second, "upButton", palette, font, QStringLiteral("\u21E7"));
    downButton = makeArrowButton(second, "downButton", palette, font, QStringLiteral("\u21E9"));
    rightButton = makeArrowButton(second, "rightButton", palette, font, QStringLiteral("\u21E8"));

    treeView = new CustomTreeView(this);
    fileSystemModel = model;
    treeView->setModel(model);
    treeView->setFocus(Qt::OtherFocusReason);
    treeView->setColumnWidth(0, W / 2);
    treeView->setWordWrap(true);

    const bool twoFrames = deviceConfig.hasTwoSoftkeyFrames();
    if (onSide)
        fillSideFrames(twoFrames, softkeys);
    else
        fillTopAndBottomFrames(twoFrames, softkeys);

    // Only the names matter on a screen this small.
    treeView->hideColumn(1);
    treeView->hideColumn(2);
    treeView->hideColumn(3);
    treeView->collapseAll();
    treeView->expandToDepth(0);
    treeView->setIconSize(QSize(40, 40));
    treeView->show();

    if (!this->initialPath.empty())
        treeView->setCurrentIndex(
            fileSystemModel->index(QFile::decodeName(this->initialPath.c_str()), 0));

    connect(openButton, &QPushButton::clicked, this, &CustomFileOpenDialog::on_openButton_clicked);
    connect(cancelButton, &QPushButton::clicked, this,
            &CustomFileOpenDialog::on_cancelButton_clicked);
    connect(rightButton, &QPushButton::clicked, this,
            &CustomFileOpenDialog::on_rightButton_clicked);
    connect(leftButton, &QPushButton::clicked, this, &CustomFileOpenDialog::on_leftButton_clicked);
    connect(upButton, &QPushButton::clicked, this, &CustomFileOpenDialog::on_upButton_clicked);
    connect(downButton, &QPushButton::clicked, this, &CustomFileOpenDialog::on_downButton_clicked);

    repaint();
}

void CustomFileOpenDialog::fillSideFrames(bool twoFrames, int softkeys)
{
    for (QPushButton *button : {openButton, upButton, downButton, rightButton})
        rightColumnLayout->addWidget(button);
    if (twoFrames) {
        appendPlaceholders(rightColumn, rightColumnLayout, softkeys, 4);
        // The two blanks keep cancel and left level with the main window's close and left.
        leftColumnLayout->addWidget(cancelButton);
        appendPlaceholders(leftColumn, leftColumnLayout, 2);
        leftColumnLayout->addWidget(leftButton);
        appendPlaceholders(leftColumn, leftColumnLayout, softkeys, 4);
    } else {
        rightColumnLayout->addWidget(leftButton);
        rightColumnLayout->addWidget(cancelButton);
        appendPlaceholders(rightColumn, rightColumnLayout, softkeys, 6);
    }
    const int W = width();
    const int H = height();
    treeView->setGeometry(leftColumn->width(), 0, W - 2 * leftColumn->width(), H);
    // Out of sight rather than hidden, just past the dialog's bottom-right corner.
    topRow->move(W, H);
    bottomRow->move(W, H);
}

void CustomFileOpenDialog::fillTopAndBottomFrames(bool twoFrames, int softkeys)
{
    for (QPushButton *button : {rightButton, downButton, upButton, openButton})
        bottomRowLayout->addWidget(button);
    if (twoFrames) {
        appendPlaceholders(bottomRow, bottomRowLayout, softkeys, 4);
        topRowLayout->addWidget(leftButton);
        topRowLayout->addWidget(cancelButton);
        appendPlaceholders(topRow, topRowLayout, softkeys, 2);
    } else {
        bottomRowLayout->addWidget(leftButton);
        bottomRowLayout->addWidget(cancelButton);
        appendPlaceholders(bottomRow, bottomRowLayout, softkeys, 6);
    }
    const int W = width();
    const int H = height();
    treeView->setGeometry(0, topRow->height(), W, H - 2 * topRow->height());
    rightColumn->move(W, H);
    leftColumn->move(W, H);
}

void CustomFileOpenDialog::sendKeyToTree(int key)
{
    // Straight to the tree's own handler: no event filter sees it and it cannot travel back
    // up to this dialog's key handlers.
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), false, 1);
    treeView->keyPressEvent(&event);
}

void CustomFileOpenDialog::on_downButton_clicked()
{
    sendKeyToTree(Qt::Key_Down);
}

void CustomFileOpenDialog::on_upButton_clicked()
{
    sendKeyToTree(Qt::Key_Up);
}

void CustomFileOpenDialog::on_rightButton_clicked()
{
    sendKeyToTree(Qt::Key_Right);
}

void CustomFileOpenDialog::on_leftButton_clicked()
{
    sendKeyToTree(Qt::Key_Left);
}

void CustomFileOpenDialog::on_openButton_clicked()
{
    const QModelIndexList selected = treeView->selectedIndexes();
    if (selected.isEmpty())
        return;
    // The name's bytes as the file system has them (UTF-8 for UTF-8 names), so that one that is
    // not UTF-8 still names the same file.
    const std::string path =
        QFile::encodeName(fileSystemModel->filePath(selected.first())).toStdString();
    consoleLine(path);
    // Any path that holds ".pdf" in lower case is opened, a folder so named too (its load then
    // fails); anything else is entered like a folder. "*.pdf" lists capital extensions as well,
    // but they are not opened.
    if (path.rfind(".pdf") != std::string::npos) {
        if (resultPath)
            *resultPath = path;
        accept();
    } else {
        sendKeyToTree(Qt::Key_Right);
    }
}

void CustomFileOpenDialog::on_cancelButton_clicked()
{
    close();
}

void CustomFileOpenDialog::scrollToPath()
{
    if (initialPath.empty() || !fileSystemModel)
        return;
    treeView->scrollTo(fileSystemModel->index(QFile::decodeName(initialPath.c_str()), 0),
                       QAbstractItemView::PositionAtCenter);
}

void CustomFileOpenDialog::keyPressEvent(QKeyEvent *event)
{
    // Only enter acts on press; the dialog's own Escape and default-button handling is
    // deliberately bypassed so no key leaves the chooser.
    if (event->key() == deviceConfig.keyEnter)
        on_openButton_clicked();
}

void CustomFileOpenDialog::keyReleaseEvent(QKeyEvent *event)
{
    const int key = event->key();
    const DeviceConfig &keys = deviceConfig;
    const bool twoFrames = keys.hasTwoSoftkeyFrames();
    if (key == keys.keyRight)
        on_rightButton_clicked();
    else if (key == keys.keyDown)
        on_downButton_clicked();
    else if (key == keys.keyUp)
        on_upButton_clicked();
    else if (key == keys.keyOpen)
        on_openButton_clicked();
    // A one-frame device has no close key of its own in the chooser: the key two below it
    // (the zoom-out key on the standard device) cancels instead. In 64 bits, so that
    // a key code at the top of int does not overflow.
    else if (int64_t(key) + 2 == keys.keyClose && !twoFrames)
        on_cancelButton_clicked();
    else if (key == keys.keyClose && twoFrames)
        on_cancelButton_clicked();
    else if (key == keys.keyLeft)
        on_leftButton_clicked();
    else if (key == keys.keyEscape)
        on_cancelButton_clicked();
}
