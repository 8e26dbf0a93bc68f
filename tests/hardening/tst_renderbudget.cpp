#include "base/procstatus.h"
#include "hostiledocuments.h"
#include "openpage.h"
#include "pageview/memorycgroup.h"
#include "pageview/pagerenderer.h"
#include "pageview/refusedallocations.h"
#include "pageview/renderbudget.h"
#include "pageviewframe.h"
#include "pdfassembler.h"
#include "sanitizerruntime.h"
#include "testdocuments.h"

#include <poppler-qt5.h>

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <limits>

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 unlimited = std::numeric_limits<qint64>::max();
using Plan = RenderBudget::Plan;
const QSizeF a4(595, 842);
// A4 at 300 dpi is 2479 x 3508 pixels, a 33 MiB image; a band row of it needs 7.5 image rows.
constexpr qint64 a4At300 = 2479 * 3508 * 4;
constexpr qint64 a4At300BandRow = 2479 * 4 * 75 / 10;
const char *const noCapHere =
    "no address-space cap here: the sanitizers reserve terabytes of it, or the call is ignored";

bool showsNothing(const PageViewFrame &frame)
{
    return frame.view->image->isNull() && frame.view->imageHeight == 0 &&
           frame.horizontal->isHidden() && frame.vertical->isHidden();
}

// Caps this process's address space while it lives; not under the sanitizers, whose reservations
// no cap leaves room for, nor where qemu's user mode ignores the call (the limit would bind the
// emulator) or rlim_t cannot hold the cap.
struct AddressSpaceCap
{
    explicit AddressSpaceCap(qint64 bytes)
    {
        if (underSanitizers() || getrlimit(RLIMIT_AS, &saved) != 0 ||
            quint64(bytes) >= quint64(RLIM_INFINITY))
            return;
        struct rlimit limit = {rlim_t(bytes), saved.rlim_max};
        capped = setrlimit(RLIMIT_AS, &limit) == 0 && getrlimit(RLIMIT_AS, &limit) == 0 &&
                 limit.rlim_cur == rlim_t(bytes);
    }
    ~AddressSpaceCap()
    {
        if (capped)
            setrlimit(RLIMIT_AS, &saved);
    }
    struct rlimit saved;
    bool capped = false;
};

// The cap `room` above what this process maps once the heap that earlier renders freed, which
// would count as room, is handed back.
qint64 capAbove(qint64 room)
{
    PageRenderer::releaseFreedHeap();
    return MemoryHeadroom::current().addressSpaceInUse + room;
}

qint64 imageBytes(const QSize &size)
{
    return qint64(size.width()) * size.height() * 4;
}

MemoryHeadroom headroomOf(qint64 bytes)
{
    MemoryHeadroom headroom;
    headroom.memoryAvailable = bytes;
    return headroom;
}

// Pixels of `banded` that differ from `whole` where `whole` is flat (its 3 x 3 neighbourhood all
// one colour), where a misplaced or missing band shows; Splash may move an edge a row per band.
int differencesOffEdges(const QImage &whole, const QImage &banded, int *differences)
{
    *differences = 0;
    int offEdges = 0;
    for (int y = 0; y < whole.height(); ++y) {
        for (int x = 0; x < whole.width(); ++x) {
            const QRgb pixel = whole.pixel(x, y);
            if (banded.pixel(x, y) == pixel)
                continue;
            ++*differences;
            bool flat = true;
            for (int dy = qMax(0, y - 1); dy <= qMin(whole.height() - 1, y + 1); ++dy)
                for (int dx = qMax(0, x - 1); dx <= qMin(whole.width() - 1, x + 1); ++dx)
                    flat = flat && whole.pixel(dx, dy) == pixel;
            offEdges += flat ? 1 : 0;
        }
    }
    return offEdges;
}

// An A4 page of one picture, with a black box drawn over it.
QString writePicturePage(const QString &path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);
    QImage picture(300, 424, QImage::Format_RGB32);
    picture.fill(qRgb(0, 128, 128));
    QPainter painter(&writer);
    painter.drawImage(QRect(0, 0, 595, 842), picture);
    painter.fillRect(QRect(100, 100, 200, 100), Qt::black);
    return path;
}

// The document with `count` objects more that nothing uses, added as an update of the file.
QByteArray withUnusedObjects(QByteArray pdf, int count)
{
    const int size = QRegularExpression("/Size (\\d+)").match(pdf).captured(1).toInt();
    const QByteArray previous = pdf.mid(pdf.lastIndexOf("startxref") + 10).split('\n').first();
    QList<qint64> offsets;
    for (int i = 0; i < count; ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(size + i) + " 0 obj\n[0 0 1 1]\nendobj\n";
    }
    const qint64 xref = pdf.size();
    pdf += "xref\n" + QByteArray::number(size) + ' ' + QByteArray::number(count) + '\n';
    for (const qint64 offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    return pdf + "trailer\n<< /Size " + QByteArray::number(size + count) + " /Root 1 0 R /Prev " +
           previous + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
}

// Two A4 pages of one black box, whose drawing `padding` follows.
QByteArray twoBoxPages(const QByteArray &padding = {})
{
    PdfAssembler pdf;
    pdf.add(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"});
    for (int page = 0; page < 2; ++page)
        pdf.add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 5 0 R >>");
    pdf.add(PdfAssembler::stream("0 0 0 rg 100 300 400 400 re f" + padding));
    return pdf.document();
}

const QPoint inBox(133, 228); // (200, 500) pt at 48 dpi

bool boxOrBlank(const PageViewFrame &frame)
{
    return frame.view->image->isNull() || frame.view->image->pixel(inBox) == qRgb(0, 0, 0);
}

// Renders the view's page again under the cap `room` above what is in use; false where no cap
// can be set.
bool renderCapped(PageViewFrame &frame, qint64 room)
{
    const AddressSpaceCap cap(capAbove(room));
    if (cap.capped)
        frame.view->renderPage();
    return cap.capped;
}

// A one-page A4 document of a progressive JPEG of side x side pixels drawn an inch wide near the
// top: libjpeg buffers a progressive picture whole, whatever the size it is drawn at.
QByteArray progressivePicturePage(int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    QImageWriter writer(&jpeg, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(picture))
        return {};
    const QByteArray size =
        "/Width " + QByteArray::number(side) + " /Height " + QByteArray::number(side);
    PdfAssembler pdf("1.5");
    pdf.add({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << "
             "/Im0 5 0 R >> >> /Contents 4 0 R >>",
             PdfAssembler::stream("q 72 0 0 72 20 740 cm /Im0 Do Q"),
             PdfAssembler::stream(jpeg.data(), "/Type /XObject /Subtype /Image " + size +
                                                   " /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                                                   "/Filter /DCTDecode")});
    return pdf.document();
}

// A hierarchy of cgroup files: paths relative to the root of the tree, and their contents.
using Files = QList<QPair<QString, QByteArray>>;

} // namespace

class TestRenderBudget : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(!TestDocuments::writeStandardSet(dir.path()).isEmpty());
        QVERIFY(!HostileDocuments::writeAll(dir.path()).isEmpty());
    }

    // First, on a heap no render has used: the cap binds Splash's copy of the picture only if
    // it is mapped anew, not placed in heap pages that an earlier render freed.
    void pictureWithoutRoomIsLeftOutNotThePage()
    {
        const OpenPage pdf = openPage(writePicturePage(dir.filePath("picture.pdf")));
        QVERIFY(pdf.page);
        const QSize size = RenderBudget::imageSize(pdf.page->pageSizeF(), 300.0);
        QImage image;
        int refusals = 0;
        {
            // Room for the 300 dpi image and bands beside it, not for the copy as well.
            const AddressSpaceCap cap(MemoryHeadroom::current().addressSpaceInUse +
                                      imageBytes(size) * 13 / 10 + RenderBudget::reserve +
                                      RenderBudget::workingMargin);
            if (!cap.capped)
                QSKIP(noCapHere);
            const Plan plan =
                RenderBudget::plan(pdf.page->pageSizeF(), 300.0, MemoryHeadroom::current());
            QCOMPARE(int(plan.mode), int(Plan::Bands));
            const RefusedAllocations refused;
            image = PageRenderer::render(*pdf.page, 300.0);
            refusals = refused.count();
        }
        QCOMPARE(image.size(), size);
        QVERIFY(refusals > 0);
        // The box is drawn; the picture is left out of every band, the first one too.
        const double scale = 300.0 / 72.0;
        QCOMPARE(image.pixel(int(200 * scale), int(150 * scale)), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(int(50 * scale), int(20 * scale)), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(int(500 * scale), int(800 * scale)), qRgb(255, 255, 255));
    }

    // Ten nested groups with soft masks cost 18 times the image, and Poppler does not survive
    // the failed allocation of a group's bitmap: measured on a small render first, the page is
    // banded by its own factor, also at a small screen's first zoom, an image under a mebibyte.
    void deepNestingIsMeasuredBeforeItIsRendered_data()
    {
        QTest::addColumn<double>("dpi");
        // The small one first: a large render leaves freed heap behind, which counts as room.
        QTest::newRow("48 dpi") << 48.0;
        QTest::newRow("150 dpi") << 150.0;
    }

    void deepNestingIsMeasuredBeforeItIsRendered()
    {
        const OpenPage pdf = openPage(PdfAssembler::write(dir.filePath("ten-levels.pdf"),
                                                          HostileDocuments::transparencyStack(10)));
        QVERIFY(pdf.page);
        QFETCH(double, dpi);
        const QSize size = RenderBudget::imageSize(pdf.page->pageSizeF(), dpi);
        RenderBudget::PageCost cost = RenderBudget::PageCost::unmeasured();
        QImage image;
        {
            const AddressSpaceCap cap(capAbove(imageBytes(size) * 10 + RenderBudget::reserve +
                                               RenderBudget::workingMargin));
            if (!cap.capped)
                QSKIP(noCapHere);
            const Plan plan =
                RenderBudget::plan(pdf.page->pageSizeF(), dpi, MemoryHeadroom::current());
            QCOMPARE(int(plan.mode), int(Plan::Whole));
            const qint64 room = MemoryHeadroom::current().bytes() - RenderBudget::reserve -
                                RenderBudget::workingMargin;
            if (room >= RenderBudget::guardFactor * imageBytes(size))
                QSKIP("heap that renders before freed is room enough for this page here");
            image = PageRenderer::render(*pdf.page, dpi, &cost);
            // Again, as at the next zoom step: planned by the factor the trial measured.
            image = PageRenderer::render(*pdf.page, dpi, &cost);
        }
        QVERIFY2(cost.factor > 15.0, qPrintable(QString::number(cost.factor)));
        QCOMPARE(image.size(), size);
        // The innermost group's grey is there, blended through all ten.
        QVERIFY(image.pixel(size.width() / 2, size.height() / 2) != qRgb(255, 255, 255));
    }

    // The decoder's buffer is the same for the trial as for the render: counted as a multiple of
    // the trial's small image, it would band the page thinly and decode it again for every band.
    void pictureDecodedWholeIsNotCountedPerPixel()
    {
        const QByteArray bytes = progressivePicturePage(4000);
        QVERIFY(!bytes.isEmpty());
        const QString path = PdfAssembler::write(dir.filePath("progressive.pdf"), bytes);
        const OpenPage pdf = openPage(path);
        QVERIFY(pdf.page);
        const double dpi = 150.0;
        const QSize size = RenderBudget::imageSize(a4, dpi);
        RenderBudget::PageCost cost = RenderBudget::PageCost::unmeasured();
        QImage image;
        Plan plan;
        {
            const AddressSpaceCap cap(capAbove(150 * MiB));
            if (!cap.capped)
                QSKIP(noCapHere);
            if (RenderBudget::trialResolution(a4, dpi, MemoryHeadroom::current()) <= 0.0)
                QSKIP("heap that renders before freed is room enough for this page here");
            image = PageRenderer::render(*pdf.page, dpi, &cost);
            plan = RenderBudget::plan(a4, dpi, MemoryHeadroom::current(), cost);
        }
        QCOMPARE(int(plan.mode), int(Plan::Whole));
        // Zoomed in, where only bands fit, every band decodes the picture again: few bands, even
        // where a hundred rows and the copy of a page-sized picture would fit.
        const qint64 whole = RenderBudget::plan(a4, 300.0, headroomOf(unlimited), cost).bytesNeeded;
        const Plan zoomed =
            RenderBudget::plan(a4, 300.0,
                               headroomOf(whole - qint64(a4At300 * 7.5) + qint64(a4At300 * 2.3) +
                                          100 * a4At300BandRow + RenderBudget::reserve),
                               cost);
        QCOMPARE(int(zoomed.mode), int(Plan::Bands));
        QVERIFY2(zoomed.bandRows >= (zoomed.imageSize.height() + 7) / 8,
                 qPrintable(QString::number(zoomed.bandRows)));
        QCOMPARE(image.size(), size);
        // The picture's black corner is there, the page beside it white.
        const QRgb corner = image.pixel(int(20 * dpi / 72) + 4, int(30 * dpi / 72) + 4);
        QVERIFY2(qRed(corner) < 32 && qGreen(corner) < 32 && qBlue(corner) < 32,
                 qPrintable(QString::number(corner, 16)));
        QCOMPARE(image.pixel(int(2 * dpi), int(2 * dpi)), qRgb(255, 255, 255));
    }

    // Splash reserves a glyph cache for a letter 500 pt high that takes address space but no
    // memory, and does not survive the refusal of the soft-masked picture's mask that may follow.
    // Caps a mebibyte apart find every limit that lets the cache in and keeps the mask out.
    void largeTextBesideMaskedPictureSurvivesEveryCap()
    {
        const OpenPage pdf = openPage(PdfAssembler::write(
            dir.filePath("headline.pdf"), HostileDocuments::largeTextBesideMaskedPicture()));
        QVERIFY(pdf.page);
        const double dpi = 150.0;
        const QSize size = RenderBudget::imageSize(pdf.page->pageSizeF(), dpi);
        RenderBudget::PageCost cost;
        for (qint64 room = 8 * imageBytes(size); room <= 13 * imageBytes(size); room += MiB) {
            cost = RenderBudget::PageCost::unmeasured();
            QImage image;
            {
                const AddressSpaceCap cap(capAbove(room));
                if (!cap.capped)
                    QSKIP(noCapHere);
                image = PageRenderer::render(*pdf.page, dpi, &cost);
            }
            QVERIFY2(cost.reserved > 5.0, qPrintable(QString::number(cost.reserved)));
            QVERIFY(image.isNull() || image.size() == size);
        }
        // In a cgroup, where the address space is no limit, the untouched cache is no growth.
        const MemoryHeadroom room = headroomOf(8 * imageBytes(size) + 12 * MiB);
        const Plan plan = RenderBudget::plan(pdf.page->pageSizeF(), dpi, room, cost);
        QVERIFY(!PageRenderer::render(*pdf.page, dpi, plan, room).isNull());
    }

    // Poppler reads a font program whole at every render, with allocations that throw when
    // refused, and is built without exceptions: the throw leaks what its frames hold, the font
    // read so far among it. Read again at each zoom step, for the next page, which mostly shares
    // its fonts, or when the document was opened again, it left less room each time: the viewer
    // was killed in a memory cgroup.
    void fontRefusedOnceIsNotReadAgain()
    {
        const QString path = PdfAssembler::write(dir.filePath("large-font-pages.pdf"),
                                                 HostileDocuments::largeEmbeddedFont(100, 2));
        QVERIFY(!path.isEmpty());
        PageViewFrame frame;
        frame.window.show();
        qint64 heapGrowth = 0;
        {
            const AddressSpaceCap cap(capAbove(80 * MiB));
            if (!cap.capped)
                QSKIP(noCapHere);
            QVERIFY(frame.open(path));
            QVERIFY(showsNothing(frame));
            const qint64 heap = MemoryHeadroom::heapInUse();
            frame.view->zoomIn();
            QVERIFY(frame.view->image->isNull());
            frame.view->nextPage();
            QCOMPARE(frame.view->pageIndex, 1);
            QVERIFY(frame.open(path));
            heapGrowth = MemoryHeadroom::heapInUse() - heap;
        }
        QVERIFY(frame.view->image->isNull());
        QVERIFY2(heapGrowth < 4 * MiB, qPrintable(QString::number(double(heapGrowth) / MiB)));
    }

    // The page view's record of a refusal bounds the render that follows a trial as well.
    void trialKeepsTheRefusalRecord()
    {
        const OpenPage pdf = openPage(dir.filePath("ten-pages.pdf"));
        QVERIFY(pdf.page);
        RenderBudget::PageCost cost = RenderBudget::PageCost::unmeasured();
        cost.refusedWithin = MiB;
        {
            // Short of 24 times the 300 dpi image: the page is tried first.
            const AddressSpaceCap cap(capAbove(120 * MiB));
            if (!cap.capped)
                QSKIP(noCapHere);
            PageRenderer::render(*pdf.page, 300.0, &cost);
        }
        QVERIFY(cost.isMeasured());
        QCOMPARE(cost.refusedWithin, MiB);
        // Text leaves less than the trial's image in use at the end: it reserves nothing.
        QVERIFY2(cost.reserved < 1.0, qPrintable(QString::number(cost.reserved)));
    }

    // Without the kernel's high-water mark a trial measures nothing, so it must not cost a pass
    // over the page. Poppler reports the page's unknown operator once a pass.
    void noTrialWithoutTheResidentPeak()
    {
        // Read-only in a mount namespace of our own, as on a kernel without the mark's reset.
        const char *const clearRefs = "/proc/self/clear_refs";
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(clearRefs, clearRefs, nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, clearRefs, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            QSKIP("no mount namespace of this process's own here");
        const OpenPage pdf = openPage(TestDocuments::writeRawPdf(
            dir.filePath("unknown-operator.pdf"), {QSizeF(595, 842)}, "0 0 1 rg zork\n"));
        QVERIFY(pdf.page);
        const double dpi = 150.0;
        const QSize size = RenderBudget::imageSize(pdf.page->pageSizeF(), dpi);
        int passes = 0;
        Poppler::setDebugErrorFunction(
            [](const QString &message, const QVariant &closure) {
                if (message.contains("zork"))
                    ++*reinterpret_cast<int *>(closure.value<quintptr>());
            },
            QVariant::fromValue(reinterpret_cast<quintptr>(&passes)));
        RenderBudget::PageCost cost = RenderBudget::PageCost::unmeasured();
        {
            const AddressSpaceCap cap(capAbove(imageBytes(size) * 10 + RenderBudget::reserve +
                                               RenderBudget::workingMargin));
            if (cap.capped)
                PageRenderer::render(*pdf.page, dpi, &cost);
        }
        Poppler::setDebugErrorFunction(nullptr, QVariant()); // Poppler's own again
        umount2(clearRefs, 0);
        if (!cost.isMeasured())
            QSKIP(noCapHere);
        QCOMPARE(passes, 1);
    }

    // Poppler renders through a copy of the document's cross-reference table, some 20 MiB for
    // 300,000 objects whatever the page. Under caps with room for the page but not the copy, it
    // drew the page without its content, or got the copy, was then refused a font, and aborted.
    void largeTableIsCountedInEveryRender()
    {
        PageViewFrame frame;
        QVERIFY(frame.open(PdfAssembler::write(dir.filePath("objects.pdf"),
                                               withUnusedObjects(twoBoxPages(), 300000))));
        QCOMPARE(frame.view->image->pixel(inBox), qRgb(0, 0, 0));
        for (qint64 room = 12 * MiB; room <= 40 * MiB; room += 2 * MiB) {
            if (!renderCapped(frame, room))
                QSKIP(noCapHere);
            QVERIFY2(boxOrBlank(frame), qPrintable(QString("%1 MiB").arg(room / MiB)));
        }
    }

    // A file rewritten under the viewer: Poppler rebuilds the table at the next page fetched and
    // copies the rebuilt one at every render. A million entries grown after the open went
    // uncounted: refused the copy, Poppler drew the page without its content.
    void tableRebuiltAfterTheOpenIsCounted()
    {
        const QString path =
            PdfAssembler::write(dir.filePath("rewritten.pdf"), twoBoxPages(QByteArray(200, ' ')));
        PageViewFrame frame;
        QVERIFY(frame.open(path));
        // In place, as cp writes, and shorter: Poppler reads no further than the file's length at
        // the open.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.write("%PDF-1.4\n1000000 0 obj\n[0 0 1 1]\nendobj\n" + twoBoxPages()) > 0);
        file.close();
        frame.view->nextPage();
        QCOMPARE(frame.view->image->pixel(inBox), qRgb(0, 0, 0));
        if (!renderCapped(frame, 24 * MiB))
            QSKIP(noCapHere);
        QVERIFY2(boxOrBlank(frame), "drawn without its content");
    }

    // The trial's own copy of the table is no cost of the page: a page of ten nested groups
    // that costs 16 times its image at 26 dpi must not be measured at the factor, and rendered
    // whole, for a table that took more of the heap than a copy takes of the memory; nor may the
    // table's heap count as address space the page reserves.
    void pageOfLargeDocumentIsMeasuredWithoutTheTable()
    {
        const QString path =
            PdfAssembler::write(dir.filePath("ten-levels-300000-objects.pdf"),
                                withUnusedObjects(HostileDocuments::transparencyStack(10), 300000));
        PageViewFrame frame;
        QVERIFY(frame.open(path));
        const QString log = dir.filePath("trial.log");
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        const int logged = open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(saved >= 0 && logged >= 0 && dup2(logged, STDERR_FILENO) >= 0);
        PageRenderer::releaseFreedHeap();
        bool capped = false;
        {
            // The table's 20 MiB and room for a trial, short of 24 times the page's image; the
            // heap that earlier renders freed counts as room.
            const MemoryHeadroom now = MemoryHeadroom::current();
            const AddressSpaceCap cap(now.addressSpaceInUse + 44 * MiB - now.reusableHeap);
            capped = cap.capped;
            if (capped)
                frame.view->renderPage();
        }
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(logged);
        if (!capped)
            QSKIP(noCapHere);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(file.readAll());
        const QRegularExpressionMatch factor =
            QRegularExpression("costs ([0-9.]+) times its image").match(lines);
        QVERIFY2(factor.hasMatch() && factor.captured(1).toDouble() > 12.0, qPrintable(lines));
        QVERIFY2(!lines.contains("reserves"), qPrintable(lines));
    }

    // libjpeg buffers a progressive picture whole and gives it up without a word where it cannot:
    // the page is drawn without it, and only the count of refusals can say so.
    void pictureItsDecoderCannotHoldIsCountedAsRefused()
    {
        if (!RefusedAllocations::areCounted())
            QSKIP("refused allocations are not counted in this build");
        const OpenPage pdf = openPage(
            PdfAssembler::write(dir.filePath("decoder.pdf"), progressivePicturePage(4000)));
        QVERIFY(pdf.page);
        const double dpi = 48.0;
        QImage image;
        int refusals = 0;
        {
            // Room for the page, not for the decoder's 96 MB of coefficients.
            const AddressSpaceCap cap(capAbove(48 * MiB));
            if (!cap.capped)
                QSKIP(noCapHere);
            const RefusedAllocations refused;
            image = PageRenderer::render(*pdf.page, dpi);
            refusals = refused.count();
        }
        QCOMPARE(image.size(), RenderBudget::imageSize(pdf.page->pageSizeF(), dpi));
        // The picture's dark corner is left out.
        const QRgb corner = image.pixel(int(20 * dpi / 72) + 4, int(30 * dpi / 72) + 4);
        QVERIFY2(qRed(corner) > 224, qPrintable(QString::number(corner, 16)));
        QVERIFY(refusals > 0);
    }

    // Each page is planned by its own cost: ten nested groups after an empty page, planned by the
    // empty page's factor, were drawn without their groups, or ended the process.
    void eachPageIsPlannedByItsOwnCost()
    {
        const QString path = PdfAssembler::write(dir.filePath("empty-then-ten-levels.pdf"),
                                                 HostileDocuments::transparencyStack(10, true));
        PageViewFrame frame;
        QVERIFY(frame.open(path));
        frame.view->resolution = 150.0;
        {
            const AddressSpaceCap cap(capAbove(imageBytes(RenderBudget::imageSize(a4, 150.0)) * 8 +
                                               RenderBudget::reserve +
                                               RenderBudget::workingMargin));
            if (!cap.capped)
                QSKIP(noCapHere);
            frame.view->renderPage(); // the empty page, tried first
            frame.view->nextPage();
        }
        const QImage whole = openPage(path, 1).page->renderToImage(150.0, 150.0);
        int differences = 0;
        QCOMPARE(differencesOffEdges(whole, *frame.view->image, &differences), 0);
    }

    void planFollowsHeadroom_data()
    {
        QTest::addColumn<QSizeF>("points");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<qint64>("headroom");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("bandRows");
        const qint64 sixteenRows = 16 * a4At300BandRow;
        const auto row = [](const char *name, const QSizeF &points, double dpi, qint64 headroom,
                            Plan::Mode mode, int bandRows = 0) {
            QTest::newRow(name) << points << dpi << headroom << int(mode) << bandRows;
        };
        // Splash's scaled copy of a page-sized picture is planned for where there is room.
        row("image, scaled picture and 16 rows: bands of 16", a4, 300.0,
            qint64(a4At300 * 2.3) + sixteenRows + 12 * MiB + 1, Plan::Bands, 16);
        row("image and 16 rows, no room for a scaled picture: bands of 16", a4, 300.0,
            a4At300 + sixteenRows + 12 * MiB + 1, Plan::Bands, 16);
        row("image, not 16 rows: blank", a4, 300.0, a4At300 + 12 * MiB, Plan::Blank);
        row("48 dpi in little room: whole", a4, 48.0, 20 * MiB, Plan::Whole);
        row("beyond one image: blank", QSizeF(1e7, 1e7), 48.0, unlimited, Plan::Blank);
        row("wider than a row of an image: blank", QSizeF(100663296, 1), 48.0, unlimited,
            Plan::Blank);
        row("not a number", QSizeF(std::nan(""), 842), 300.0, 64 * MiB, Plan::Whole);
    }

    void planFollowsHeadroom()
    {
        QFETCH(QSizeF, points);
        QFETCH(double, dpi);
        QFETCH(qint64, headroom);
        QFETCH(int, mode);
        QFETCH(int, bandRows);
        const Plan plan = RenderBudget::plan(points, dpi, headroomOf(headroom));
        QCOMPARE(int(plan.mode), mode);
        if (mode == Plan::Bands)
            QCOMPARE(plan.bandRows, bandRows);
    }

    // A fixed cost, such as a picture decoded whole, comes again with every band: the bands get
    // what is left beside it, or the render outgrows the room.
    void bandsLeaveRoomForTheFixedCost()
    {
        RenderBudget::PageCost cost;
        cost.fixed = 100 * MiB;
        const qint64 room = a4At300 + cost.fixed + 500 * a4At300BandRow;
        const Plan plan = RenderBudget::plan(a4, 300.0, headroomOf(room + 12 * MiB), cost);
        QCOMPARE(int(plan.mode), int(Plan::Bands));
        QVERIFY2(a4At300 + cost.fixed + plan.bandRows * a4At300BandRow <= room,
                 qPrintable(QString::number(plan.bandRows)));
    }

    // Bands leave room for Splash's copy of a page-sized picture only where the trial saw one:
    // with that room, a page of paths at 300 dpi in a 96 MiB cgroup went in bands of 33 rows,
    // 106 passes over the page, and a zoom step took four times as long.
    void bandsLeaveRoomForAPictureOnlyWhereTheTrialSawOne_data()
    {
        QTest::addColumn<double>("measured"); // the trial's peak, in trial images
        QTest::addColumn<bool>("roomForPicture");
        QTest::newRow("text or paths") << 0.9 << false;
        QTest::newRow("scanned page") << 2.1 << true;
    }

    void bandsLeaveRoomForAPictureOnlyWhereTheTrialSawOne()
    {
        QFETCH(double, measured);
        QFETCH(bool, roomForPicture);
        // Small enough that the trial's peak stays below a band of 16 rows.
        const QSize trial = RenderBudget::imageSize(a4, 30.0);
        const RenderBudget::PageCost cost =
            RenderBudget::costFromTrial(qint64(measured * imageBytes(trial)), 0, trial);
        // Room for the image, a scaled picture and 16 rows beside the margins.
        const qint64 room = qint64(a4At300 * 2.3) + 16 * a4At300BandRow + 12 * MiB + 1;
        const Plan plan = RenderBudget::plan(a4, 300.0, headroomOf(room), cost);
        QCOMPARE(int(plan.mode), int(Plan::Bands));
        QCOMPARE(plan.bandRows == 16, roomForPicture);
    }

    // A trial's factor measures the page at its own image, but a fixed cost, such as a large font
    // Splash reads whole at every render and band, does not shrink with the band. Planned by the
    // factor alone, an A4 page of a 20 MB font was banded ever thinner at each zoom step: in an
    // 80 MiB cgroup the steps took up to 49 s, and the viewer was killed at 248 dpi.
    void noRenderPlannedBelowWhatTheTrialTook_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<qint64>("headroom");
        for (const double dpi : {20.0, 72.0, 150.0, 300.0})
            for (const qint64 headroom : {40 * MiB, 60 * MiB, 100 * MiB, 200 * MiB})
                QTest::addRow("%g dpi in %lld MiB", dpi, headroom / MiB) << dpi << headroom;
    }

    void noRenderPlannedBelowWhatTheTrialTook()
    {
        QFETCH(double, dpi);
        QFETCH(qint64, headroom);
        // 40 MiB at the peak of a trial at 30 dpi, an image of 340 KiB.
        const QSize trial = RenderBudget::imageSize(a4, 30.0);
        const RenderBudget::PageCost cost = RenderBudget::costFromTrial(40 * MiB, 0, trial);
        const Plan plan = RenderBudget::plan(a4, dpi, headroomOf(headroom), cost);
        const double rowBytes = plan.imageSize.width() * 4.0 * cost.factor;
        if (plan.mode == Plan::Whole)
            QVERIFY(plan.bytesNeeded >= 40 * MiB);
        // A band of fewer rows than that is the whole page, taken as a whole render.
        if (plan.mode == Plan::Bands)
            QVERIFY2(plan.bandRows * rowBytes >= 40 * MiB ||
                         (plan.bandRows == plan.imageSize.height() && plan.bytesNeeded >= 40 * MiB),
                     qPrintable(QString::number(plan.bandRows)));
    }

    // A trial costs another pass over the page: none where any page fits, none too small to
    // measure, and otherwise about a mebibyte of image.
    void trialOnlyWhereMemoryIsShort_data()
    {
        QTest::addColumn<qint64>("headroom");
        QTest::addColumn<double>("trialBytes"); // 0 for no trial
        const qint64 margins = 12 * MiB;
        QTest::newRow("guard factor fits") << qint64(a4At300 * 24.0) + margins << 0.0;
        QTest::newRow("short") << qint64(a4At300 * 8.0) + margins << 1.0 * MiB;
        QTest::newRow("too short to measure") << 4 * MiB + margins << 0.0;
    }

    void trialOnlyWhereMemoryIsShort()
    {
        QFETCH(qint64, headroom);
        QFETCH(double, trialBytes);
        const double trial = RenderBudget::trialResolution(a4, 300.0, headroomOf(headroom));
        const QSize size = RenderBudget::imageSize(a4, trial);
        const double bytes = trial > 0.0 ? 4.0 * size.width() * size.height() : 0.0;
        QVERIFY2(qAbs(bytes - trialBytes) <= trialBytes * 0.01, qPrintable(QString::number(bytes)));
    }

    void bandsMatchWholeRender_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("bandRows");
        // Text and drawing, and the groups and masks that Splash renders per band; odd band
        // heights, so that no band boundary lines up with anything on the page.
        QTest::newRow("A4 text, 300 dpi, 21 rows, the last band one row")
            << "ten-pages.pdf" << 300.0 << 21;
        QTest::newRow("transparency, 100 dpi, 61 rows") << "transparency-stack.pdf" << 100.0 << 61;
        QTest::newRow("A4 text, 300 dpi, 877 rows, the last at the foot")
            << "ten-pages.pdf" << 300.0 << 877;
    }

    void bandsMatchWholeRender()
    {
        QFETCH(QString, file);
        QFETCH(double, dpi);
        QFETCH(int, bandRows);
        const OpenPage pdf = openPage(dir.filePath(file));
        QVERIFY(pdf.page);
        Plan plan;
        plan.imageSize = RenderBudget::imageSize(pdf.page->pageSizeF(), dpi);
        plan.mode = Plan::Whole;
        const QImage whole = PageRenderer::render(*pdf.page, dpi, plan, headroomOf(unlimited));
        plan.mode = Plan::Bands;
        plan.bandRows = bandRows;
        const QImage banded = PageRenderer::render(*pdf.page, dpi, plan, headroomOf(unlimited));

        QVERIFY(!whole.isNull());
        QCOMPARE(plan.imageSize, whole.size());
        QCOMPARE(banded.size(), whole.size());
        QCOMPARE(banded.format(), whole.format());
        int differences = 0;
        QCOMPARE(differencesOffEdges(whole, banded, &differences), 0);
        // An edge a row apart across the whole page is the most seen.
        QVERIFY2(differences <= whole.width() * 2, qPrintable(QString::number(differences)));
    }

    // A hundred thousand saves without a restore take Poppler about 540 MB on a page whose image
    // is under 1 MB: no estimate from the image sees that coming, the watch must.
    void runawayRenderIsStopped()
    {
        const OpenPage runaway = openPage(dir.filePath("unbalanced-saves.pdf"));
        const OpenPage other = openPage(dir.filePath("ten-pages.pdf"));
        QVERIFY(runaway.page && other.page);
        const MemoryHeadroom headroom = headroomOf(96 * MiB);
        const Plan plan = RenderBudget::plan(runaway.page->pageSizeF(), 48.0, headroom);
        QCOMPARE(int(plan.mode), int(Plan::Whole));

        // Resets the resident peak, so that this render's own can be read.
        std::ofstream("/proc/self/clear_refs") << "5";
        const auto residentPeak = [] { return statusKib("VmHWM") * 1024; };
        const qint64 before = residentPeak(), residentBeforeKib = statusKib("VmRSS");
        struct rlimit limitBefore, limitAfter;
        QCOMPARE(getrlimit(RLIMIT_AS, &limitBefore), 0);
        QVERIFY(PageRenderer::render(*runaway.page, 48.0, plan, headroom).isNull());
        const qint64 peakGrowth = residentPeak() - before;
        QVERIFY2(peakGrowth < 96 * MiB, qPrintable(QString::number(peakGrowth)));
        QCOMPARE(getrlimit(RLIMIT_AS, &limitAfter), 0);
        QCOMPARE(quint64(limitAfter.rlim_cur), quint64(limitBefore.rlim_cur));
        // Handed back at once: a device short of memory may not live to see an idle moment.
        const qint64 heldKib = statusKib("VmRSS") - residentBeforeKib;
        QVERIFY2(underSanitizers() || heldKib < 8 * 1024, qPrintable(QString::number(heldKib)));

        // The heap stays mapped, held by what lies above its free chunks: under a cap the next
        // page must still render from them.
        const AddressSpaceCap cap(MemoryHeadroom::current().addressSpaceInUse + 160 * MiB);
        if (!cap.capped)
            QSKIP(noCapHere);
        QVERIFY(PageRenderer::render(*runaway.page, 48.0).isNull());
        QVERIFY(!PageRenderer::render(*other.page, 100.0).isNull());
        // Nor may a runaway page use them up: the heap would grow each time by what Poppler
        // allocates between two looks of the watch, until the reserve was gone.
        const qint64 inUse = MemoryHeadroom::current().addressSpaceInUse;
        for (int i = 0; i < 5; ++i) {
            QVERIFY(PageRenderer::render(*runaway.page, 48.0).isNull());
            QVERIFY(!PageRenderer::render(*other.page, 100.0).isNull());
        }
        const qint64 grown = MemoryHeadroom::current().addressSpaceInUse - inUse;
        QVERIFY2(grown < RenderBudget::reserve / 2, qPrintable(QString::number(grown)));
    }

    void cgroupRoomIsTheTightestOnThePath_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<qint64>("room");
        const QString v1 = "sys/fs/cgroup/memory", v2 = "sys/fs/cgroup";
        // The file cache that counts is the binding level's: inactive, and active but unmapped.
        QTest::newRow("v1, parent binds")
            << Files{{"proc/cgroup", "4:memory:/box/viewer\n0::/\n"},
                     {"proc/mountinfo",
                      "30 22 0:27 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
                      "34 30 0:31 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"
                      "38 30 0:35 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n"},
                     {v1 + "/memory.limit_in_bytes", "9223372036854771712\n"},
                     {v1 + "/box/memory.limit_in_bytes", "134217728\n"},
                     {v1 + "/box/memory.usage_in_bytes", "100000000\n"},
                     {v1 + "/box/memory.stat",
                      "cache 0\ninactive_file 7\ntotal_inactive_file 1000000\n"
                      "total_active_file 5000000\ntotal_mapped_file 3000000\n"},
                     {v1 + "/box/viewer/memory.limit_in_bytes", "268435456\n"},
                     {v1 + "/box/viewer/memory.usage_in_bytes", "99000000\n"}}
            << qint64(134217728 - 100000000 + 1000000 + 2000000);
        // In a container the mount's root is the group's path; memory.high binds like a limit.
        QTest::newRow("v2 in a container, memory.high binds")
            << Files{{"proc/cgroup", "0::/system.slice/viewer.service\n"},
                     {"proc/mountinfo",
                      "29 1 0:26 /system.slice /sys/fs/cgroup rw - cgroup2 cgroup2 "
                      "rw,nsdelegate\n"},
                     {v2 + "/memory.max", "167772160\n"},
                     {v2 + "/memory.current", "67772160\n"},
                     {v2 + "/memory.stat", "inactive_file 1000000\n"},
                     {v2 + "/viewer.service/memory.max", "max\n"},
                     {v2 + "/viewer.service/memory.high", "134217728\n"},
                     {v2 + "/viewer.service/memory.current", "99000000\n"},
                     {v2 + "/viewer.service/memory.stat",
                      "anon 1\ninactive_file 4096\nactive_file 8192\nfile_mapped 16384\n"}}
            << qint64(134217728 - 99000000 + 4096);
    }

    void cgroupRoomIsTheTightestOnThePath()
    {
        QFETCH(Files, files);
        QFETCH(qint64, room);
        QTemporaryDir root;
        for (const auto &file : files) {
            QFile out(root.filePath(file.first));
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(out).path()));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.second) == file.second.size());
        }
        QCOMPARE(MemoryCgroup::find(root.filePath("proc"), root.path()).room(), room);
    }

    // The address space in use is not checked here: a misread one fails the tests that cap.
    void headroomReadsThisProcess()
    {
        const MemoryHeadroom headroom = MemoryHeadroom::current();
        QVERIFY(headroom.memoryAvailable > 0);
        // However much memory is free, a 32-bit process cannot map 4 GiB (here 4.5 GB needed).
        if (sizeof(void *) < 8) {
            QVERIFY2(headroom.bytes() < 4096 * MiB, qPrintable(QString::number(headroom.bytes())));
            QVERIFY(RenderBudget::plan(QSizeF(18371, 18371), 48.0, headroom).mode != Plan::Whole);
        }
        // Above 4 GiB in 64 bits, so that the conversion is seen to keep them; within 32 bits.
        const qint64 cap = sizeof(void *) > 4 ? 64 * 1024 * MiB : 2 * 1024 * MiB;
        const AddressSpaceCap capped(cap);
        if (!capped.capped)
            QSKIP(noCapHere);
        // Where the system commits no more than it has, what is left to commit bounds it too.
        std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
        int mode = 0;
        if (overcommit >> mode && mode == 2)
            QVERIFY(MemoryHeadroom::current().addressSpaceLimit <= cap);
        else
            QCOMPARE(MemoryHeadroom::current().addressSpaceLimit, cap);
    }

    // Renders in a row reuse the heap that Poppler freed; an idle viewer gives it back.
    void freedHeapGoesBackWhenIdle()
    {
        if (underSanitizers())
            QSKIP("the sanitizers' allocator holds freed memory back");
        PageViewFrame frame;
        QVERIFY(frame.open(dir.filePath("ten-pages.pdf")));
        const qint64 before = statusKib("VmRSS");
        for (const double resolution : {100.0, 200.0, 300.0, 48.0}) {
            frame.view->resolution = resolution;
            frame.view->renderPage();
        }
        // Held at first: 8.7 MiB on a fresh heap, 43 MiB after the tests above.
        QVERIFY(statusKib("VmRSS") > before + 6 * 1024);
        QTRY_VERIFY_WITH_TIMEOUT(statusKib("VmRSS") < before + 2 * 1024, 3000);
    }
};

QTEST_MAIN(TestRenderBudget)
#include "tst_renderbudget.moc"
