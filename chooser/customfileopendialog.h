#pragma once

#include <QDialog>
#include <QPointer>

#include <string>

class CustomTreeView;
class QFileSystemModel;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

// The modal file chooser, laid out for the device's softkey frames like the main window. Its
// arrow softkeys and keys move through the tree by handing arrow keys to the tree itself.
class CustomFileOpenDialog : public QDialog
{
    Q_OBJECT

public:
    CustomFileOpenDialog(QWidget *parent, std::string *resultPath);
    ~CustomFileOpenDialog() override;

    void setupDialog(const std::string &initialPath, QFileSystemModel *model);

public slots:
    void on_downButton_clicked();
    void on_upButton_clicked();
    void on_rightButton_clicked();
    void on_leftButton_clicked();
    void on_openButton_clicked();
    void on_cancelButton_clicked();
    void scrollToPath();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void sendKeyToTree(int key);
    void fillSideFrames(bool twoFrames, int softkeys);
    void fillTopAndBottomFrames(bool twoFrames, int softkeys);

    friend class CustomFileOpenDialogTestAccess;

    CustomTreeView *treeView = nullptr;
    // The window makes a new model when the mounts change, which a second chooser opened by keys
    // typed behind this one's choice may do while this one still waits to be destroyed.
    QPointer<QFileSystemModel> fileSystemModel;
    QWidget *leftColumn = nullptr;
    QWidget *rightColumn = nullptr;
    QVBoxLayout *leftColumnLayout = nullptr;
    QVBoxLayout *rightColumnLayout = nullptr;
    QWidget *topRow = nullptr;
    QWidget *bottomRow = nullptr;
    QHBoxLayout *topRowLayout = nullptr;
    QHBoxLayout *bottomRowLayout = nullptr;
    QPushButton *openButton = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;
    QPushButton *rightButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QPushButton *leftButton = nullptr;
    std::string *resultPath;
    std::string initialPath;
};
