#include "chooser/customfileopendialog.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "testdocuments.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QPixmapCache>
#include <QTemporaryDir>
#include <QtTest>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define PAGE_SCOPE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGE_SCOPE_ASAN 1
#endif
#endif
#ifdef PAGE_SCOPE_ASAN
// From the sanitizer runtime; GCC does not install the header that declares it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes the process has allocated and not freed. Unlike the resident size this does not keep
// memory that was freed but not given back to the system, so it moves only with real growth.
qint64 allocatedBytes()
{
#ifdef PAGE_SCOPE_ASAN
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    return qint64(mallinfo2().uordblks + mallinfo2().hblkhd);
#endif
}

void settle()
{
    // Deferred deletes and the overlay's one-second timer belong to the session, too.
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // Every chooser loads its two SVG icons afresh, and Qt caches their renderings under keys of
    // their own until its pixmap cache reaches its limit (10 MB): growth, but bounded, and Qt's.
    QPixmapCache::clear();
    malloc_trim(0);
}

bool invoke(QObject *object, const char *slot)
{
    return QMetaObject::invokeMethod(object, slot, Qt::DirectConnection);
}

struct Counts
{
    int windowObjects;
    int applicationWidgets;
    int topLevelWidgets;
};

Counts count(const PDFViewer &viewer)
{
    return {int(viewer.findChildren<QObject *>().size()), int(QApplication::allWidgets().size()),
            int(QApplication::topLevelWidgets().size())};
}

} // namespace

class TestLongSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sessionDoesNotGrowWithItsLength();

private:
    // One unit of the session: an open, 100 page changes, 50 zoom steps, 20 loads that alternate
    // between a good and a bad file, and 10 chooser opens that are cancelled.
    void runSession(PDFViewer &viewer, int units);

    QTemporaryDir dir;
    QString document;
    QString otherDocument;
    QString badDocument;
};

void TestLongSession::initTestCase()
{
    QVERIFY(dir.isValid());
    // No stray device profile from the source tree, whose icons are linked in; the defaults apply.
    QVERIFY(QFile::link(QDir::current().absoluteFilePath(QStringLiteral("images")),
                        dir.filePath(QStringLiteral("images"))));
    QVERIFY(QDir::setCurrent(dir.path()));
    document = TestDocuments::writeA4Document(dir.filePath("session.pdf"), 10);
    otherDocument =
        TestDocuments::writeRawPdf(dir.filePath("other.pdf"), {QSizeF(594, 840), QSizeF(840, 594)});
    badDocument = TestDocuments::writeNotPdf(dir.filePath("bad.pdf"));
    QVERIFY(!document.isEmpty() && !otherDocument.isEmpty() && !badDocument.isEmpty());
}

void TestLongSession::runSession(PDFViewer &viewer, int units)
{
    PDFWidget *view = viewer.findChild<PDFWidget *>(QStringLiteral("pdfWidget"));
    QVERIFY(view);
    ModalCloser closer;
    int expectedBoxes = 0;
    // The chooser is a frameless child of the window on this device, not a window of its own,
    // so it is found in the window and cancelled with its own softkey, once it runs modally
    // (the open command shows it once before its modal loop starts).
    int cancelled = 0;
    QTimer chooserCloser;
    connect(&chooserCloser, &QTimer::timeout, [&] {
        auto *chooser = viewer.findChild<CustomFileOpenDialog *>();
        if (chooser && chooser->isVisible() && chooser->testAttribute(Qt::WA_ShowModal)) {
            ++cancelled;
            chooser->on_cancelButton_clicked();
        }
    });
    chooserCloser.start(20);
    int expectedChoosers = 0;
    for (int unit = 0; unit < units; ++unit) {
        viewer.initWithFile(QFile::encodeName(document).constData());
        QCOMPARE(view->filePath, document);

        for (int i = 0; i < 100; ++i) {
            // Forwards through the document and back, as the vertical bar's trough does.
            const int action = (i / 9) % 2 == 0 ? QAbstractSlider::SliderPageStepAdd
                                                : QAbstractSlider::SliderPageStepSub;
            QVERIFY(QMetaObject::invokeMethod(&viewer, "on_verticalScrollBar_actionTriggered",
                                              Qt::DirectConnection, Q_ARG(int, action)));
        }
        QVERIFY(view->image && !view->image->isNull());

        for (int i = 0; i < 50; ++i)
            QVERIFY(
                invoke(&viewer, i < 25 ? "on_zommInButton_clicked" : "on_zoomOutButton_clicked"));
        QCOMPARE(view->resolution, 48.0);

        for (int i = 0; i < 20; ++i) {
            const bool good = i % 2 == 0;
            viewer.initWithFile(QFile::encodeName(good ? otherDocument : badDocument).constData());
            if (!good)
                ++expectedBoxes;
            QCOMPARE(view->filePath, good ? otherDocument : QString());
            // Scrolling is also what a user does between loads; it must do nothing on an empty
            // view.
            QVERIFY(invoke(&viewer, "on_downButton_clicked"));
            QVERIFY(invoke(&viewer, "on_rightButton_clicked"));
        }

        for (int i = 0; i < 10; ++i) {
            QVERIFY(invoke(&viewer, "on_openButton_clicked"));
            ++expectedChoosers;
        }
        QCOMPARE(closer.closed(), expectedBoxes);
        QCOMPARE(cancelled, expectedChoosers);
    }
}

void TestLongSession::sessionDoesNotGrowWithItsLength()
{
    PDFViewer viewer(nullptr, true);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));

    // The first unit fills the caches that live as long as the process: fonts, the icon cache,
    // Poppler's global parameters and the chooser's file-system model.
    runSession(viewer, 1);
    if (QTest::currentTestFailed())
        return;
    settle();
    const Counts shortCounts = count(viewer);
    const qint64 shortBytes = allocatedBytes();

    runSession(viewer, 4);
    if (QTest::currentTestFailed())
        return;
    settle();
    const Counts longCounts = count(viewer);
    const qint64 longBytes = allocatedBytes();

    // Objects and widgets: every box, chooser, page, image and label of the longer session is
    // gone again, or reused.
    QCOMPARE(longCounts.windowObjects, shortCounts.windowObjects);
    QCOMPARE(longCounts.applicationWidgets, shortCounts.applicationWidgets);
    QCOMPARE(longCounts.topLevelWidgets, shortCounts.topLevelWidgets);

    // Bytes still allocated: four more units ran 400 page changes, 200 zoom steps, 80 loads and
    // 40 chooser opens. A page image kept per page change would add 350 MB, a failure box kept
    // per load some hundreds of kilobytes, a chooser kept per open megabytes. Qt itself keeps a
    // few kilobytes per chooser (measured: 120 to 150 KB over the 40), hence the tolerance.
    // Blocks that are lost rather than kept are LeakSanitizer's part, in the sanitizer build.
    const qint64 growth = longBytes - shortBytes;
    qInfo("allocated after 1 unit: %lld bytes, after 4 more units: %lld bytes (growth %lld)",
          shortBytes, longBytes, growth);
    QVERIFY2(growth < 256 * 1024,
             qPrintable(QStringLiteral("allocations grew by %1 bytes").arg(growth)));

    QVERIFY(invoke(&viewer, "on_closeButton_clicked"));
}

QTEST_MAIN(TestLongSession)
#include "tst_longsession.moc"
