#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <string>

class QFileSystemModel;
class QKeyEvent;
class PDFWidget;
class QLabel;
class QScrollBar;
class Ui_PDFViewer;

// The main window: the page view framed by the device's softkeys and two scroll bars. Its
// softkeys, scroll bars and the device's hardware keys all run the same slots.
class PDFViewer : public QMainWindow
{
    Q_OBJECT

public:
    PDFViewer(QWidget *parent, bool openButtonEnabled);
    ~PDFViewer() override;

    // Hides QWidget::show() so that the first show in the process starts the opening of the
    // file named on the command line.
    void show();
    void setFileToLoad(const char *path);

    void loadDeviceConfig(const std::string &profilePath);
    void initWithFile(const char *path);

signals:
    void firstShowCalled();

private slots:
    void on_horizontalScrollBar_sliderReleased();
    void on_horizontalScrollBar_actionTriggered(int action);
    void on_verticalScrollBar_sliderReleased();
    void on_verticalScrollBar_actionTriggered(int action);
    void on_closeButton_clicked();
    void on_downButton_clicked();
    void on_upButton_clicked();
    void on_rightButton_clicked();
    void on_leftButton_clicked();
    void on_zoomOutButton_clicked();
    void on_zommInButton_clicked();
    void on_openButton_clicked();
    void loadFile();
    void doLoadFile();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void locateConfigFile(const std::string &pointerPath);
    void showLoadingNotice();
    void hideLoadingNotice();
    QString chooseFile();
    void layoutSoftkeys();
    void layoutSideFrames(bool twoFrames, int softkeys);
    void layoutTopAndBottomFrames(bool twoFrames, int softkeys);
    void printUnmappedKeyReport(const QKeyEvent *event);
    void takeKeysOfHiddenWindows();
    void renewChooserModelIfMountsChanged();
    void prepareChooser();
    // The guard, synchronous repaint and focus move shared by the softkey and scroll-bar commands;
    // a null operation only moves the focus.
    void runPageCommand(void (PDFWidget::*operation)(), QScrollBar *focusBar);

    // The tests read the notice, documentLoaded and the chooser's model through it.
    friend class PDFViewerTestAccess;

    Ui_PDFViewer *ui;
    QString fileToLoad;
    QLabel *loadingLabel = nullptr;
    bool documentLoaded = false;
    QFileSystemModel *fileSystemModel = nullptr;
    // The mounts under which the model began to read.
    QByteArray mountTable;
    bool openButtonEnabled;
    std::string configFile = "b7s.conf";
    // Tries of the first load to find its window on the screen, 10 ms apart.
    int exposureWaits = 0;
    static constexpr int maxExposureWaits = 100;

    static bool firstShowPending;
};
