#include "pageview/pdfwidget.h"

#include "base/console.h"
#include "base/failurebox.h"
#include "base/filenames.h"
#include "base/processfootprint.h"
#include "config/deviceconfig.h"
#include "pageview/addressspaceceiling.h"
#include "pageview/opentrial.h"
#include "pageview/pagerenderer.h"
#include "pageview/popplermessages.h"
#include "pageview/rendersettings.h"

#include <poppler-qt5.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <sstream>

namespace {

// Each render adds some 370 bytes, and a step to every later lookup, for each such font a page
// uses; reading the document anew once in this many renders keeps that small.
constexpr int rendersPerOpen = 200;

// Files whose fonts Poppler was refused memory for, kept past their close.
constexpr int remembersRefusedFiles = 8;

// One line on standard error for a file the page view leaves unread, with the trial's reason.
void reportUnread(const QString &path, const char *what, const QString &refusal)
{
    errorLine("page-scope: " + QFile::encodeName(path).toStdString() + what +
              refusal.toStdString());
}

// malloc's bytes in use and the resident size now, to measure what Poppler adds from here.
RenderBudget::DocumentCost heapAndResident()
{
    return {MemoryHeadroom::heapInUse(), ProcessFootprint::now().resident};
}

// What Poppler added since `start`. The resident growth also counts pages of the program's code
// used for the first time; no more than the heap's growth is the table's.
RenderBudget::DocumentCost growthSince(const RenderBudget::DocumentCost &start)
{
    const qint64 heap = qMax<qint64>(0, MemoryHeadroom::heapInUse() - start.heap);
    return {heap, qBound<qint64>(0, ProcessFootprint::now().resident - start.resident, heap)};
}

// Poppler's open of the file, and what it added to malloc's bytes in use and to the resident
// memory: mostly the cross-reference table, which every render copies.
Poppler::Document *loadMeasured(const QString &path, RenderBudget::DocumentCost *cost)
{
    const RenderBudget::DocumentCost before = heapAndResident();
    Poppler::Document *document = Poppler::Document::load(path, QByteArray(), QByteArray());
    *cost = growthSince(before);
    return document;
}

} // namespace

PDFWidget::PDFWidget(QWidget *parent)
    : QWidget(parent), resolution(defaultResolution(deviceConfig.windowWidth)),
      idleTimer(new QTimer(this))
{
    idleTimer->setSingleShot(true);
    idleTimer->setInterval(1000);
    connect(idleTimer, &QTimer::timeout, this, &PDFWidget::whenIdle);
    limitPopplerMessages();
}

PDFWidget::~PDFWidget()
{
    delete document;
    delete page;
    delete pageNumberLabel;
    delete pageNumberTimer;
    delete image;
}

bool PDFWidget::loadDocument(const QString &path)
{
    closeDocument();
    filePath = path;
    // Poppler would wait for ever on a named pipe that nothing writes to, or on a terminal. Only
    // a file can be a document; anything else fails as a file that is no PDF does.
    if (QFileInfo(filePath).isFile()) {
        openedFile = FileIdentity::of(filePath);
        const QString refusal = OpenTrial::refusal(filePath, MemoryHeadroom::current());
        if (refusal.isEmpty())
            document = loadMeasured(filePath, &documentCost);
        else
            reportUnread(filePath, " not opened ", refusal);
    }

    if (document && !document->isLocked()) {
        for (const auto &refusal : qAsConst(closedFontRefusals))
            if (refusal.first == openedFile)
                fontRefusedWithin = refusal.second;
        prepareDocument();
        if (verticalScrollBar)
            verticalScrollBar->setRange(0, document->numPages() - 1);
        fetchPage();
        renderPage();
        showPageNumber();
        return true;
    }

    // A locked document stays in `document` until the next load, so that the pointer printed
    // here tells a tester that the file was read and only the password was missing.
    std::ostringstream line;
    line << "Document is " << static_cast<const void *>(document);
    consoleLine(line.str());

    showFailureBox(QStringLiteral("Loading document ") +
                   displayedFileName(QFile::encodeName(filePath)) + QStringLiteral(" failed!"));

    filePath.clear();
    return false;
}

void PDFWidget::prepareDocument()
{
    document->setXRefReconstructedCallback([this] { rebuildStart = heapAndResident(); });
    useViewerRenderSettings(*document);
}

void PDFWidget::fetchPage()
{
    // A linearized file's first page is found through its hint tables, which Poppler sizes by the
    // page count the file claims and makes with a check: under a ceiling at the room there is it
    // does without them, where a memory cgroup's limit would end the process. Only there: refused
    // anything else, Poppler ends the process itself.
    std::optional<AddressSpaceCeiling> ceiling;
    if (document->isLinearized() && pageIndex == 0)
        ceiling.emplace(ProcessFootprint::now().mapped, MemoryHeadroom::current().mappable());
    loadPage();
}

void PDFWidget::reopenIfDue()
{
    // Not once the user acts again: a render since has started the idle timer anew.
    if (rendersSinceOpen < rendersPerOpen || idleTimer->isActive() || !hasDocument())
        return;
    rendersSinceOpen = 0;
    // Only the file that was read: another one under the name is for the user to open.
    if (FileIdentity::of(filePath) != openedFile)
        return;
    delete page;
    page = nullptr;
    delete document;
    document = Poppler::Document::load(filePath, QByteArray(), QByteArray());
    if (document && document->isLocked()) {
        delete document;
        document = nullptr;
    }
    // Failed only where the file changed in between, which the old document would have read too,
    // or memory ran short: the image stays, and page changes say that there is no document.
    if (!document)
        return;
    prepareDocument();
    fetchPage();
    PageRenderer::releaseFreedHeap();
}

void PDFWidget::whenIdle()
{
    PageRenderer::releaseFreedHeap();
    if (rendersSinceOpen < rendersPerOpen)
        return;
    // After the page number has gone, so that the read never holds up its hiding.
    const bool numberShown = pageNumberTimer && pageNumberTimer->isActive();
    QTimer::singleShot(numberShown ? pageNumberTimer->remainingTime() + 1 : 0, this,
                       &PDFWidget::reopenIfDue);
}

void PDFWidget::closeDocument()
{
    delete document;
    document = nullptr;
    delete page;
    page = nullptr;
    delete image;
    image = nullptr;
    pageCosts.clear();
    if (fontRefusedWithin > 0 && openedFile.isValid()) {
        closedFontRefusals.erase(
            std::remove_if(closedFontRefusals.begin(), closedFontRefusals.end(),
                           [&](const auto &refusal) { return refusal.first == openedFile; }),
            closedFontRefusals.end());
        closedFontRefusals.append({openedFile, fontRefusedWithin});
        if (closedFontRefusals.size() > remembersRefusedFiles)
            closedFontRefusals.removeFirst();
    }
    fontRefusedWithin = 0;
    documentCost = {};
    rebuildStart.reset();
    rendersSinceOpen = 0;
    openedFile = triedFile = FileIdentity();
    triedFileFits = true;
    pageIndex = 0;
    xOffset = 0;
    yOffset = 0;
    resolution = defaultResolution(deviceConfig.windowWidth);
}

void PDFWidget::loadPage()
{
    // A locked document has no page tree to ask, so it counts as no document here.
    if (!hasDocument()) {
        consoleLine("Error! document zero!");
        return;
    }
    delete page;
    page = changedFileFits() ? document->page(pageIndex) : nullptr;
    countRebuiltTable();
    if (!page)
        consoleLine("Error: Page is 0");
}

void PDFWidget::countRebuiltTable()
{
    if (!rebuildStart)
        return;
    const RenderBudget::DocumentCost rebuilt = growthSince(*rebuildStart);
    documentCost.heap = qMax(documentCost.heap, rebuilt.heap);
    documentCost.resident = qMax(documentCost.resident, rebuilt.resident);
    rebuildStart.reset();
}

bool PDFWidget::changedFileFits()
{
    // Another file under the name, or none, leaves Poppler's own as it was.
    const FileIdentity now = FileIdentity::of(filePath);
    if (!now.isSameFile(openedFile) || now == openedFile)
        return true;
    if (now != triedFile) {
        triedFile = now;
        const QString refusal = OpenTrial::refusal(filePath, MemoryHeadroom::current());
        triedFileFits = refusal.isEmpty();
        if (!triedFileFits)
            reportUnread(filePath, " changed, not read again ", refusal);
    }
    return triedFileFits;
}

bool PDFWidget::hasDocument() const
{
    return document && !document->isLocked();
}

int PDFWidget::pageCount() const
{
    return hasDocument() ? document->numPages() : 0;
}
