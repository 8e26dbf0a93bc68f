#include "chooser/customfileopendialog.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "profilefreedirectory.h"
#include "sanitizerruntime.h"
#include "testdocuments.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QtTest>

#include <malloc.h>

// A long session leaves no more objects, widgets or allocated memory behind than a short one.
class TestLongSession : public QObject
{
    Q_OBJECT

    ProfileFreeDirectory dir;
    QString good, other, bad;

    // Each unit: an open, 100 page changes, 50 zoom steps, 20 loads alternating between a good
    // and a bad file, and 10 chooser opens that are cancelled.
    void runSession(PDFViewer &viewer, int units)
    {
        PDFWidget *view = viewer.findChild<PDFWidget *>(QStringLiteral("pdfWidget"));
        ModalCloser closer;
        int cancelled = 0;
        // The chooser is a child of the window; it is cancelled once its modal loop runs.
        QTimer chooserCloser;
        connect(&chooserCloser, &QTimer::timeout, [&] {
            auto *chooser = viewer.findChild<CustomFileOpenDialog *>();
            if (chooser && chooser->isVisible() && chooser->testAttribute(Qt::WA_ShowModal)) {
                ++cancelled;
                chooser->on_cancelButton_clicked();
            }
        });
        chooserCloser.start(20);
        auto invoke = [&](const char *slot) {
            return QMetaObject::invokeMethod(&viewer, slot, Qt::DirectConnection);
        };
        for (int unit = 0; unit < units; ++unit) {
            viewer.initWithFile(QFile::encodeName(good).constData());
            QCOMPARE(view->filePath, good);
            for (int i = 0; i < 100; ++i) {
                const int action = (i / 9) % 2 == 0 ? QAbstractSlider::SliderPageStepAdd
                                                    : QAbstractSlider::SliderPageStepSub;
                QVERIFY(QMetaObject::invokeMethod(&viewer, "on_verticalScrollBar_actionTriggered",
                                                  Qt::DirectConnection, Q_ARG(int, action)));
            }
            for (int i = 0; i < 50; ++i)
                QVERIFY(invoke(i < 25 ? "on_zommInButton_clicked" : "on_zoomOutButton_clicked"));
            QCOMPARE(view->resolution, 48.0);
            for (int i = 0; i < 20; ++i) {
                viewer.initWithFile(QFile::encodeName(i % 2 ? bad : other).constData());
                QCOMPARE(view->filePath, i % 2 ? QString() : other);
                QVERIFY(invoke("on_downButton_clicked") && invoke("on_rightButton_clicked"));
            }
            for (int i = 0; i < 10; ++i)
                QVERIFY(invoke("on_openButton_clicked"));
        }
        // One box for each bad load, and every chooser cancelled.
        QCOMPARE(closer.closed(), units * 10);
        QCOMPARE(cancelled, units * 10);
    }

    // Objects in the window, widgets, top-level widgets and bytes allocated, once deferred
    // deletes and the overlay's timer have run.
    static QVector<qint64> footprint(const PDFViewer &viewer)
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        malloc_trim(0);
        // Unlike the resident size, this moves only with memory that is still allocated.
        const qint64 bytes = __sanitizer_get_current_allocated_bytes
                                 ? qint64(__sanitizer_get_current_allocated_bytes())
                                 : qint64(mallinfo2().uordblks + mallinfo2().hblkhd);
        return {viewer.findChildren<QObject *>().size(), QApplication::allWidgets().size(),
                QApplication::topLevelWidgets().size(), bytes};
    }

private slots:
    void sessionDoesNotGrowWithItsLength()
    {
        QVERIFY(dir.enter());
        good = TestDocuments::writeA4Document(dir.filePath("session.pdf"), 10);
        other = TestDocuments::writeRawPdf(dir.filePath("other.pdf"), {{594, 840}, {840, 594}});
        bad = TestDocuments::writeNotPdf(dir.filePath("bad.pdf"));
        QVERIFY(!good.isEmpty() && !other.isEmpty() && !bad.isEmpty());
        PDFViewer viewer(nullptr, true);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));

        // The first units fill the caches that live as long as the process: fonts, icons,
        // Poppler's globals, the chooser's file-system model and Qt's pixmap cache.
        runSession(viewer, 3);
        QVERIFY(!QTest::currentTestFailed());
        const QVector<qint64> shortSession = footprint(viewer);
        runSession(viewer, 4);
        QVERIFY(!QTest::currentTestFailed());
        const QVector<qint64> longSession = footprint(viewer);
        QCOMPARE(longSession.mid(0, 3), shortSession.mid(0, 3));

        // A page image kept per page change would add 350 MB, a failure box per load hundreds of
        // KB, a chooser per open MBs; Qt keeps a few KB per chooser (120 to 150 KB over the 40).
        const qint64 growth = longSession.last() - shortSession.last();
        QVERIFY2(growth < 256 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(growth)));
    }
};

QTEST_MAIN(TestLongSession)
#include "tst_longsession.moc"
