#pragma once

#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class PDFWidget;
struct Result;
class QLabel;
class QWidget;

// What the viewer's page view sits in: a window of the device's 480 x 272 pixels with the page
// view at its construction geometry and the two scroll bars beside it, a few pixels from where
// the default device's laid-out main window has them.
class Stage
{
public:
    Stage();
    ~Stage();

    // Shows the window and lets the platform expose it.
    void show();

    QWidget *window = nullptr;
    QLabel *notice = nullptr;
    PDFWidget *view = nullptr;
};

// One side of a case: the viewer doing a user action, or Poppler doing only the work that action
// cannot avoid. Only run() is timed.
class Side
{
public:
    virtual ~Side() = default;
    // False, with error set, when the case cannot run (for example a document that no longer
    // opens: the viewer would then block in its failure message box).
    virtual bool setUp() { return true; }
    virtual void prepare() {}
    virtual void run() = 0;
    // Not timed either: undoes what must not outlive the run.
    virtual void finish() {}
    // Bytes of the page image held right after run(), before finish().
    virtual qint64 imageBytes() const = 0;
    // False, with error set, when a run did something other than the case means to measure.
    virtual bool check() { return true; }

    QString error;
};

struct BenchCase
{
    QString id;
    QString title;
    QString document; // a name from BenchDocuments
    int runs;         // samples per side by default
    std::function<std::unique_ptr<Side>(Stage &stage, const QString &path)> viewer;
    std::function<std::unique_ptr<Side>(const QString &path)> floor;
    // False where Poppler has nothing to do in the timed step (a scroll step within the page is
    // only a repaint): its side then serves only as the memory floor of the same state.
    bool timedFloor = true;
    // A target of this case beyond the ratio and memory bounds that hold for every case: the
    // report's line for it, with met set, or nothing when the results it needs are missing.
    std::function<QString(const QVector<Result> &results, bool &met)> target = {};
};

QVector<BenchCase> benchCases();
