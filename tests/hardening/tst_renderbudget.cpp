#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "pageview/renderbudget.h"
#include "testdocuments.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define PAGE_SCOPE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGE_SCOPE_ASAN 1
#endif
#endif

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 unlimited = std::numeric_limits<qint64>::max();

qint64 imageBytes(double widthPoints, double heightPoints, double dpi)
{
    const qint64 width = qint64(std::ceil(widthPoints * dpi / 72.0)) + 1;
    const qint64 height = qint64(std::ceil(heightPoints * dpi / 72.0)) + 1;
    return width * height * 4;
}

long long statusKilobytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ':';
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stoll(line.substr(prefix.size()));
    return -1;
}

// Lowers the soft address-space limit for the lifetime of the object.
class AddressSpaceCap
{
public:
    explicit AddressSpaceCap(qint64 bytes)
    {
        getrlimit(RLIMIT_AS, &saved);
        struct rlimit capped = saved;
        capped.rlim_cur = rlim_t(bytes);
        applied = setrlimit(RLIMIT_AS, &capped) == 0;
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved); }
    bool ok() const { return applied; }

private:
    struct rlimit saved;
    bool applied = false;
};

struct Frame
{
    QWidget window;
    QScrollBar *horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar *vertical = new QScrollBar(Qt::Vertical, &window);
    PDFWidget *view = new PDFWidget(&window);

    Frame()
    {
        window.resize(480, 272);
        view->horizontalScrollBar = horizontal;
        view->verticalScrollBar = vertical;
        view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);
        window.show();
    }
};

} // namespace

class TestRenderBudget : public QObject
{
    Q_OBJECT

private slots:
    void bytesNeededScalesWithTheImage_data();
    void bytesNeededScalesWithTheImage();
    void hostilePageSizesSaturate_data();
    void hostilePageSizesSaturate();
    void headroomTakesTheSmallerLimit_data();
    void headroomTakesTheSmallerLimit();
    void currentHeadroomMatchesTheProcess();
    void pageThatDoesNotFitTakesTheNullImagePath();
    void cappedProcessSkipsPopplerAndRecovers();
};

void TestRenderBudget::bytesNeededScalesWithTheImage_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("dpi");
    QTest::newRow("A4 at 48 dpi") << 595.0 << 842.0 << 48.0;
    QTest::newRow("A4 at 300 dpi") << 595.0 << 842.0 << 300.0;
    QTest::newRow("fractional points") << 595.3 << 841.9 << 58.0;
    QTest::newRow("14400 pt at 10 dpi") << 14400.0 << 14400.0 << 10.0;
    QTest::newRow("empty page") << 0.0 << 0.0 << 48.0;
}

void TestRenderBudget::bytesNeededScalesWithTheImage()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, dpi);
    const qint64 needed = RenderBudget::bytesNeeded(QSizeF(width, height), dpi);
    const qint64 expected =
        qint64(double(imageBytes(width, height, dpi)) * RenderBudget::imageFactor) +
        RenderBudget::workingMargin;
    QCOMPARE(needed, expected);
    // Never less than the image Poppler hands back plus its working buffers.
    QVERIFY(needed >= imageBytes(width, height, dpi) + RenderBudget::workingMargin);
    QVERIFY(RenderBudget::bytesNeeded(QSizeF(width, height), dpi + 10) > needed ||
            (width == 0 && height == 0));
}

void TestRenderBudget::hostilePageSizesSaturate_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<bool>("saturated");
    QTest::newRow("1e300 points") << 1e300 << 1e300 << true;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 842.0 << true;
    QTest::newRow("negative") << -595.0 << -842.0 << false;
    QTest::newRow("not a number") << std::nan("") << 842.0 << false;
    QTest::newRow("2^31 points") << 2147483648.0 << 2147483648.0 << true;
}

void TestRenderBudget::hostilePageSizesSaturate()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(bool, saturated);
    const qint64 needed = RenderBudget::bytesNeeded(QSizeF(width, height), 300.0);
    if (saturated) {
        QCOMPARE(needed, unlimited);
        // Even without any limit a saturated estimate fits nowhere but in an infinite budget.
        RenderBudget::Headroom roomy;
        roomy.memoryAvailable = unlimited - 1;
        QVERIFY(!RenderBudget::fits(QSizeF(width, height), 300.0, roomy));
    } else {
        // Degenerate sizes count as empty pages: only the margin and a pixel or so.
        QVERIFY(needed > 0);
        QVERIFY(needed < RenderBudget::workingMargin + 1 * MiB);
    }
}

void TestRenderBudget::headroomTakesTheSmallerLimit_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<qint64>("inUse");
    QTest::addColumn<qint64>("available");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("no limits known") << qint64(-1) << 100 * MiB << qint64(-1) << unlimited;
    QTest::newRow("only memory") << qint64(-1) << 100 * MiB << 500 * MiB << 500 * MiB;
    QTest::newRow("address space tighter") << 384 * MiB << 300 * MiB << 500 * MiB << 84 * MiB;
    QTest::newRow("memory tighter") << 4096 * MiB << 300 * MiB << 200 * MiB << 200 * MiB;
    QTest::newRow("already over the limit") << 384 * MiB << 400 * MiB << 500 * MiB << qint64(0);
}

void TestRenderBudget::headroomTakesTheSmallerLimit()
{
    QFETCH(qint64, limit);
    QFETCH(qint64, inUse);
    QFETCH(qint64, available);
    QFETCH(qint64, expected);
    RenderBudget::Headroom headroom;
    headroom.addressSpaceLimit = limit;
    headroom.addressSpaceInUse = inUse;
    headroom.memoryAvailable = available;
    QCOMPARE(headroom.bytes(), expected);

    // An A4 page at the default resolution needs a little over the margin: it fits exactly when
    // the headroom covers the estimate.
    const QSizeF a4(595, 842);
    QCOMPARE(RenderBudget::fits(a4, 48.0, headroom),
             RenderBudget::bytesNeeded(a4, 48.0) <= expected);
}

void TestRenderBudget::currentHeadroomMatchesTheProcess()
{
    const RenderBudget::Headroom headroom = RenderBudget::current();
    const qint64 vmSize = statusKilobytes("VmSize") * 1024;
    QVERIFY(vmSize > 0);
    // Both are read moments apart; the test's own allocations in between are small.
    QVERIFY2(
        qAbs(headroom.addressSpaceInUse - vmSize) < 16 * MiB,
        qPrintable(
            QStringLiteral("statm %1, status %2").arg(headroom.addressSpaceInUse).arg(vmSize)));
    QVERIFY(headroom.memoryAvailable > 0);

    struct rlimit limit;
    QCOMPARE(getrlimit(RLIMIT_AS, &limit), 0);
    if (limit.rlim_cur == RLIM_INFINITY)
        QCOMPARE(headroom.addressSpaceLimit, qint64(-1));
    else
        QCOMPARE(headroom.addressSpaceLimit, qint64(limit.rlim_cur));
}

void TestRenderBudget::pageThatDoesNotFitTakesTheNullImagePath()
{
    // Far beyond any machine: ten million points square is over a hundred terabytes at 48 dpi.
    QTemporaryDir dir;
    const QString path =
        TestDocuments::writeRawPdf(dir.filePath("vast.pdf"), {QSizeF(1e7, 1e7), QSizeF(594, 840)});
    QVERIFY(!path.isEmpty());
    Frame frame;
    {
        ModalCloser closer;
        QVERIFY(frame.view->loadDocument(path));
        QCOMPARE(closer.closed(), 0);
    }
    PDFWidget *view = frame.view;
    QVERIFY(view->image);
    QVERIFY(view->image->isNull());
    QCOMPARE(view->imageHeight, 0);
    QVERIFY(frame.vertical->isHidden());
    QVERIFY(frame.horizontal->isHidden());
    QCOMPARE(view->size(), QSize(view->viewWidth + view->scrollBarExtent,
                                 view->viewHeight + view->scrollBarExtent));

    // The viewer goes on: the next page is ordinary and is shown.
    view->nextPage();
    QVERIFY(!view->image->isNull());
    QCOMPARE(view->imageHeight, 560); // 840 points at 48 dpi
    view->previousPage();
    QVERIFY(view->image->isNull());
}

void TestRenderBudget::cappedProcessSkipsPopplerAndRecovers()
{
#ifdef PAGE_SCOPE_ASAN
    QSKIP("AddressSanitizer reserves terabytes of address space; no cap can be set under it");
#else
    QTemporaryDir dir;
    const QString path = TestDocuments::writeRawPdf(dir.filePath("a4.pdf"), {QSizeF(595, 842)});
    QVERIFY(!path.isEmpty());
    Frame frame;
    PDFWidget *view = frame.view;
    {
        ModalCloser closer;
        QVERIFY(view->loadDocument(path));
    }
    QVERIFY(!view->image->isNull());

    // Leave room for an A4 page at 48 dpi but not at 300 dpi (35 MB of image alone).
    const qint64 inUse = RenderBudget::current().addressSpaceInUse;
    const qint64 room = RenderBudget::bytesNeeded(QSizeF(595, 842), 60.0);
    {
        AddressSpaceCap cap(inUse + room);
        QVERIFY(cap.ok());
        QVERIFY(!RenderBudget::fits(QSizeF(595, 842), 300.0, RenderBudget::current()));
        view->resolution = 290.0;
        view->zoomIn();
        QCOMPARE(view->resolution, 300.0);
        QVERIFY(view->image->isNull());
        QCOMPARE(view->imageHeight, 0);
        QVERIFY(frame.horizontal->isHidden());
        QVERIFY(frame.vertical->isHidden());

        // Zooming back out to where the page fits renders it again, still under the cap.
        while (view->resolution > 48.0)
            view->zoomOut();
        QVERIFY(!view->image->isNull());
    }
    view->zoomIn();
    QVERIFY(!view->image->isNull());
#endif
}

QTEST_MAIN(TestRenderBudget)
#include "tst_renderbudget.moc"
