#pragma once

#include "pageview/fileidentity.h"
#include "pageview/renderbudget.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <QVector>
#include <QWidget>

#include <optional>

class QImage;
class QLabel;
class QScrollBar;
class QTimer;

namespace Poppler {
class Document;
class Page;
} // namespace Poppler

// The page view: owns the open document, the current page and that page rendered whole at the
// zoom resolution, and paints the part of the image at the scroll offsets. One page image at a
// time; of the other pages nothing is kept but what a render of each was measured to cost.
class PDFWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PDFWidget(QWidget *parent = nullptr);
    ~PDFWidget() override;

    bool loadDocument(const QString &path);
    void closeDocument();
    void loadPage();

    void renderPage();
    void zoomIn();
    void zoomOut();
    void scrollRight();
    void scrollLeft();
    void setHorizontalPosition(int position);

    void scrollDown();
    void scrollUp();
    void nextPage();
    void previousPage();
    void gotoPage(int index);
    void showPageNumber();

public slots:
    void hidePageNumberWidget();

protected:
    void paintEvent(QPaintEvent *event) override;

public:
    QString filePath;
    QImage *image = nullptr;
    QScrollBar *horizontalScrollBar = nullptr;
    QScrollBar *verticalScrollBar = nullptr;
    QLabel *pageNumberLabel = nullptr;
    QTimer *pageNumberTimer = nullptr;
    Poppler::Document *document = nullptr;
    Poppler::Page *page = nullptr;
    double resolution;
    int xOffset = 0;
    int yOffset = 0;
    int imageHeight = 0;
    int pageIndex = 0;
    int viewHeight = 251;
    int viewWidth = 352;
    int viewX = 56;
    int viewY = 2;
    int scrollBarExtent = 15;

private:
    // Restarted by every render, so that it fires once the user pauses (whenIdle): renders in a
    // row reuse the heap the last one freed, an idle viewer holds no more than it shows, and a
    // document due to be read anew is read while nothing waits for it.
    QTimer *idleTimer;
    // Each page's cost, for the pages measured (PageRenderer).
    QHash<int, RenderBudget::PageCost> pageCosts;
    // The most headroom in which Poppler was refused memory for a page of the document in a way
    // that leaks (RenderBudget::PageCost::refusedWithin); no page is rendered in no more.
    qint64 fontRefusedWithin = 0;
    // The same for the files closed since, so that opening one again leaks nothing more; the
    // latest few.
    QVector<QPair<FileIdentity, qint64>> closedFontRefusals;
    // What opening the document took, or rebuilding its table since where that took more
    // (countRebuiltTable): mostly the cross-reference table, which Poppler copies for every
    // render (MemoryHeadroom::perRender).
    RenderBudget::DocumentCost documentCost;
    // Where Poppler began to rebuild the table (malloc's bytes in use and the resident size, the
    // old table freed), when the document's objects are no longer where it says, as in a file
    // rewritten under the viewer.
    std::optional<RenderBudget::DocumentCost> rebuildStart;

    // Renders of the open document since Poppler read it (reopenIfDue).
    int rendersSinceOpen = 0;
    // The file the document was read from, as it was then.
    FileIdentity openedFile;
    // The last change to that file that was tried (changedFileFits), and whether it fitted.
    FileIdentity triedFile;
    bool triedFileFits = true;

    // Every render looks the document's fonts that it does not embed up again, and Poppler keeps
    // each lookup of a name with a style ("Arial,Bold") as a new entry in a list that every later
    // lookup searches: an open document's renders grew slower and larger without end. Poppler drops
    // the list when its last document closes, so the document is read anew now and then.
    void reopenIfDue();
    // The render settings, and the note of a rebuilt table (rebuildStart).
    void prepareDocument();
    void fetchPage();
    // The page at the resolution within the memory there is, keeping what the render learnt of
    // its cost.
    QImage renderWithinBudget();
    // Shows the scroll bars that the new image needs, and sizes the view around them.
    void fitViewToImage();
    void whenIdle();
    int step() const { return static_cast<int>(resolution); }
    int maximumOffset() const;
    int columns() const;
    // A locked document is kept only to be released later; it has no pages to show.
    bool hasDocument() const;
    int pageCount() const;
    void changePage();
    // Every render copies the rebuilt table, which can be far larger than the one opened.
    void countRebuiltTable();
    // Whether Poppler may fetch a page from the file. Rewritten in place, the file has its table
    // rebuilt at the next page, as large as the rewrite says: where memory is short, each change
    // is first tried as an open (OpenTrial), and a change that does not fit leaves pages unfetched.
    bool changedFileFits();
};
