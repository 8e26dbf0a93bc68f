#include "chooser/customfileopendialog.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "pdfassembler.h"
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
        return {viewer.findChildren<QObject *>().size(), QApplication::allWidgets().size(),
                QApplication::topLevelWidgets().size(), allocatedBytes()};
    }

    static qint64 allocatedBytes()
    {
        malloc_trim(0);
        // Unlike the resident size, this moves only with memory that is still allocated.
        return __sanitizer_get_current_allocated_bytes
                   ? qint64(__sanitizer_get_current_allocated_bytes())
                   : qint64(mallinfo2().uordblks + mallinfo2().hblkhd);
    }

    // One page of text in fonts that the document names with a style and does not embed, as
    // office programs write them.
    static QString writeStyledFontsDocument(const QString &path)
    {
        const QList<QByteArray> names = {"Arial,Bold",       "Arial,Italic",
                                         "Arial,BoldItalic", "TimesNewRoman,Bold",
                                         "CourierNew,Bold",  "Verdana,Bold"};
        QByteArray fonts, text;
        for (int i = 0; i < names.size(); ++i) {
            fonts += " /F" + QByteArray::number(i) + ' ' + QByteArray::number(5 + i) + " 0 R";
            text += "BT /F" + QByteArray::number(i) + " 24 Tf 40 " +
                    QByteArray::number(780 - 40 * i) + " Td (Page of text) Tj ET\n";
        }
        PdfAssembler pdf;
        pdf.add({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font <<" +
                     fonts + " >> >> /Contents 4 0 R >>",
                 PdfAssembler::stream(text)});
        for (const QByteArray &name : names)
            pdf.add("<< /Type /Font /Subtype /TrueType /BaseFont /" + name +
                    " /Encoding /WinAnsiEncoding >>");
        return PdfAssembler::write(path, pdf.document());
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

    // A document left open for weeks: its renders must not cost more memory with their number.
    void rendersOfOneDocumentDoNotGrow()
    {
        const QTemporaryDir scratch;
        const QString path =
            writeStyledFontsDocument(scratch.filePath(QStringLiteral("fonts.pdf")));
        QVERIFY(!path.isEmpty());
        PDFWidget view;
        view.resize(352, 251);
        QVERIFY(view.loadDocument(path));
        // Zoom steps, each a render, then a pause of the user's.
        auto renders = [&view](int count) {
            for (int i = 0; i < count; ++i)
                i % 2 ? view.zoomOut() : view.zoomIn();
            QTest::qWait(1500);
        };
        // Two to fill the caches that any render fills; then as many as the view takes to read
        // the document anew, which the slow lookups make take long under the sanitizers.
        renders(2);
        const qint64 shortSession = allocatedBytes();
        renders(200);
        const qint64 growth = allocatedBytes() - shortSession;
        // Poppler kept some 370 bytes for each font at every render, 440 KB here.
        QVERIFY2(growth < 128 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(growth)));
    }
};

QTEST_MAIN(TestLongSession)
#include "tst_longsession.moc"
