#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "pageview/renderbudget.h"
#include "testdocuments.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 unlimited = std::numeric_limits<qint64>::max();

struct Frame
{
    QWidget window;
    QScrollBar *horizontal = new QScrollBar(Qt::Horizontal, &window);
    QScrollBar *vertical = new QScrollBar(Qt::Vertical, &window);
    PDFWidget *view = new PDFWidget(&window);

    explicit Frame(const QString &path)
    {
        window.resize(480, 272);
        view->horizontalScrollBar = horizontal;
        view->verticalScrollBar = vertical;
        view->setGeometry(view->viewX, view->viewY, view->viewWidth, view->viewHeight);
        window.show();
        ModalCloser closer;
        view->loadDocument(path);
    }

    bool showsNothing() const
    {
        return view->image->isNull() && view->imageHeight == 0 && horizontal->isHidden() &&
               vertical->isHidden();
    }
};

// Caps this process's address space at `bytes`, keeping the old limit in `saved`. False where
// the cap does not take effect: qemu's user-mode emulation accepts the call and ignores it, as
// the limit would bind the emulator's own memory.
bool capAddressSpace(rlim_t bytes, struct rlimit *saved)
{
    if (getrlimit(RLIMIT_AS, saved) != 0)
        return false;
    struct rlimit capped = *saved;
    capped.rlim_cur = bytes;
    struct rlimit now;
    if (setrlimit(RLIMIT_AS, &capped) == 0 && getrlimit(RLIMIT_AS, &now) == 0 &&
        now.rlim_cur == bytes)
        return true;
    setrlimit(RLIMIT_AS, saved);
    return false;
}

const char *const noCapHere = "this process cannot cap its own address space here";

} // namespace

class TestRenderBudget : public QObject
{
    Q_OBJECT

private slots:
    void estimateCoversTheMeasuredPeak_data();
    void estimateCoversTheMeasuredPeak();
    void headroomReadsThisProcess();
    void pageBeyondMemoryIsNotRendered();
    void cappedProcessRefusesAndRecovers();
};

void TestRenderBudget::estimateCoversTheMeasuredPeak_data()
{
    // Poppler's image in pixels (the page rounded up); -1 for sizes no render could survive.
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<qint64>("pixels");
    QTest::newRow("A4 at 48 dpi") << QSizeF(595, 842) << 48.0 << qint64(397 * 562);
    QTest::newRow("A4 at 300 dpi") << QSizeF(595, 842) << 300.0 << qint64(2480 * 3509);
    QTest::newRow("14400 pt at 10 dpi") << QSizeF(14400, 14400) << 10.0 << qint64(2000 * 2000);
    QTest::newRow("empty") << QSizeF(0, 0) << 48.0 << qint64(0);
    QTest::newRow("negative") << QSizeF(-595, -842) << 300.0 << qint64(0);
    QTest::newRow("not a number") << QSizeF(std::nan(""), 842) << 300.0 << qint64(0);
    QTest::newRow("1e300 pt") << QSizeF(1e300, 1e300) << 300.0 << qint64(-1);
    QTest::newRow("infinite") << QSizeF(qInf(), 842) << 300.0 << qint64(-1);
    QTest::newRow("2^31 pt") << QSizeF(2147483648.0, 2147483648.0) << 300.0 << qint64(-1);
}

void TestRenderBudget::estimateCoversTheMeasuredPeak()
{
    QFETCH(QSizeF, points);
    QFETCH(double, dpi);
    QFETCH(qint64, pixels);
    const qint64 needed = RenderBudget::bytesNeeded(points, dpi);
    RenderBudget::Headroom roomy;
    roomy.memoryAvailable = unlimited - 1;
    if (pixels < 0) {
        // Saturated rather than overflowed: fits nowhere.
        QCOMPARE(needed, unlimited);
        QVERIFY(!RenderBudget::fits(points, dpi, roomy));
        return;
    }
    // At least the measured peak (image factor and margin), and not so much more that ordinary
    // pages are refused.
    const double peak =
        double(pixels) * 4 * RenderBudget::imageFactor + RenderBudget::workingMargin;
    QVERIFY2(needed >= peak && needed < peak * 1.01 + 64 * 1024,
             qPrintable(QStringLiteral("%1 for a peak of %2").arg(needed).arg(peak)));
    QVERIFY(RenderBudget::fits(points, dpi, roomy));
}

void TestRenderBudget::headroomReadsThisProcess()
{
    const RenderBudget::Headroom before = RenderBudget::current();
    QVERIFY(before.memoryAvailable > 0);
    // Half a gigabyte of address space shows, although none of it is resident yet.
    QByteArray reserved;
    reserved.reserve(512 * MiB);
    const qint64 grown = RenderBudget::current().addressSpaceInUse - before.addressSpaceInUse;
    QVERIFY2(grown >= 512 * MiB && grown < 528 * MiB, qPrintable(QString::number(grown)));

    struct rlimit saved;
    if (!capAddressSpace(rlim_t(64) * 1024 * MiB, &saved))
        QSKIP(noCapHere);
    QCOMPARE(RenderBudget::current().addressSpaceLimit, 64 * 1024 * MiB);
    QCOMPARE(setrlimit(RLIMIT_AS, &saved), 0);
}

void TestRenderBudget::pageBeyondMemoryIsNotRendered()
{
    // Ten million points square is over a hundred terabytes at 48 dpi.
    QTemporaryDir dir;
    Frame frame(
        TestDocuments::writeRawPdf(dir.filePath("vast.pdf"), {QSizeF(1e7, 1e7), QSizeF(594, 840)}));
    QVERIFY(frame.showsNothing());
    frame.view->nextPage();
    QCOMPARE(frame.view->image->size(), QSize(396, 560));
    frame.view->previousPage();
    QVERIFY(frame.showsNothing());
}

void TestRenderBudget::cappedProcessRefusesAndRecovers()
{
    if (RenderBudget::current().addressSpaceInUse > 1024 * 1024 * MiB)
        QSKIP("the sanitizers reserve terabytes of address space; no cap can be set under them");
    QTemporaryDir dir;
    Frame frame(TestDocuments::writeRawPdf(dir.filePath("a4.pdf"), {QSizeF(595, 842)}));
    QVERIFY(!frame.view->image->isNull());

    // Room for an A4 page at 60 dpi but not at 300 dpi, where Poppler alone would abort.
    struct rlimit saved;
    if (!capAddressSpace(rlim_t(RenderBudget::current().addressSpaceInUse +
                                RenderBudget::bytesNeeded(QSizeF(595, 842), 60.0)),
                         &saved))
        QSKIP(noCapHere);
    frame.view->resolution = 290.0;
    frame.view->zoomIn();
    const bool refused = frame.showsNothing();
    while (frame.view->resolution > 48.0)
        frame.view->zoomOut();
    const bool recovered = !frame.view->image->isNull();
    QCOMPARE(setrlimit(RLIMIT_AS, &saved), 0);
    QVERIFY(refused);
    QVERIFY(recovered);
}

QTEST_MAIN(TestRenderBudget)
#include "tst_renderbudget.moc"
