#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "stdoutcapture.h"
#include "testdocuments.h"
#include "viewpixels.h"

#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

class PDFViewerTestAccess
{
public:
    static QLabel *notice(PDFViewer &viewer) { return viewer.loadingLabel; }
    static bool &documentLoaded(PDFViewer &viewer) { return viewer.documentLoaded; }
};

namespace {

using Access = PDFViewerTestAccess;

PDFWidget *pageView(PDFViewer &viewer)
{
    return viewer.findChild<PDFWidget *>(QStringLiteral("pdfWidget"));
}

QScrollBar *verticalBar(PDFViewer &viewer)
{
    return viewer.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
}

void open(PDFViewer &viewer, const QString &path)
{
    viewer.initWithFile(path.toLocal8Bit().constData());
}

// What a failure box showed while it was open.
struct BoxSeen
{
    QString text;
    QWidget *parent = nullptr;
    bool noticeVisible = false;
    QStringList lines;
};

} // namespace

class TestOpeningFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        tenA4 = TestDocuments::writeA4Document(dir.filePath(QStringLiteral("ten.pdf")), 10);
        landscape =
            TestDocuments::writeRawPdf(dir.filePath(QStringLiteral("landscape.pdf")),
                                       {QSizeF(843, 594), QSizeF(843, 594), QSizeF(843, 594)});
        notPdf = TestDocuments::writeNotPdf(dir.filePath(QStringLiteral("text.pdf")));
        locked = TestDocuments::writeEncryptedPdf(dir.filePath(QStringLiteral("locked.pdf")),
                                                  TestDocuments::UserPassword,
                                                  TestDocuments::OwnerPassword);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder with blanks")));
        unusualPath = TestDocuments::writeRawPdf(
            dir.filePath(QStringLiteral("folder with blanks/Übersicht señal 文書 1.pdf")),
            {QSizeF(300, 300)});
        QVERIFY(!tenA4.isEmpty() && !landscape.isEmpty() && !notPdf.isEmpty() &&
                !locked.isEmpty() && !unusualPath.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    void missingFile()
    {
        PDFViewer viewer(nullptr, true);
        const QString path = dir.filePath(QStringLiteral("no such file.pdf"));
        viewer.setFileToLoad(path.toUtf8().constData());
        QLabel *notice = nullptr;
        StdoutCapture out;
        BoxSeen seen;
        ModalCloser closer([&](QWidget *box) {
            seen = {qobject_cast<QMessageBox *>(box)->text(), box->parentWidget(),
                    notice && notice->isVisibleTo(&viewer), out.lines()};
        });

        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        notice = Access::notice(viewer);
        QVERIFY(notice && notice->isVisibleTo(&viewer));
        QCOMPARE(notice->geometry(), QRect(120, 100, 240, 50));
        QCOMPARE(notice->text(), QStringLiteral("Loading PDF. Please wait..."));
        QTRY_COMPARE(closer.closed(), 1);

        const QString where =
            QStringLiteral("PDFViewer::initWithFile(") + path + QStringLiteral("): ");
        const QString before = where + QStringLiteral("File not found. Opening message box.");
        QVERIFY(!seen.noticeVisible);
        QCOMPARE(seen.lines, QStringList{before});
        QCOMPARE(seen.text,
                 QStringLiteral("Loading document '") + path + QStringLiteral("' failed!"));
        QCOMPARE(seen.parent, &viewer);
        QCOMPARE(out.lines(),
                 QStringList(
                     {before, where + QStringLiteral("File not found. Done with message box.")}));
        QVERIFY(!Access::documentLoaded(viewer));
    }

    void unopenableFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("line");
        QTest::newRow("not a PDF") << notPdf << QStringLiteral("^Document is 0$");
        // The locked document was read; its (non-null) pointer tells the two failures apart.
        QTest::newRow("locked") << locked << QStringLiteral("^Document is 0x[0-9a-f]+$");
    }

    void unopenableFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, line);
        PDFViewer viewer(nullptr, true);
        StdoutCapture out;
        BoxSeen seen;
        ModalCloser closer([&](QWidget *box) {
            QLabel *notice = Access::notice(viewer);
            seen = {qobject_cast<QMessageBox *>(box)->text(), box->parentWidget(),
                    notice && notice->isVisibleTo(&viewer), out.lines()};
        });
        open(viewer, path);
        QCOMPARE(closer.closed(), 1);
        QVERIFY(seen.noticeVisible);
        QCOMPARE(seen.text,
                 QStringLiteral("Loading document ") + path + QStringLiteral(" failed!"));
        QVERIFY(!seen.parent);
        QCOMPARE(seen.lines.size(), 1);
        QVERIFY2(QRegularExpression(line).match(seen.lines.first()).hasMatch(),
                 qPrintable(seen.lines.first()));
        QCOMPARE(out.lines(), seen.lines);
        QVERIFY(Access::notice(viewer)->isHidden());
        QVERIFY(!Access::documentLoaded(viewer));
        QVERIFY(pageView(viewer)->filePath.isEmpty());
    }

    void failedLoadAfterSuccess()
    {
        PDFViewer viewer(nullptr, true);
        PDFWidget *view = pageView(viewer);
        open(viewer, tenA4);
        QVERIFY(Access::documentLoaded(viewer));
        QCOMPARE(view->filePath, tenA4);
        QVERIFY(!isUniform(grabbedPixels(view)));
        QLabel *overlay = view->pageNumberLabel;
        const QString overlayText = overlay->text();

        QImage duringBox;
        ModalCloser closer([&](QWidget *) { duringBox = grabbedPixels(view); });
        open(viewer, notPdf);
        QCOMPARE(closer.closed(), 1);
        QVERIFY(isUniform(duringBox));
        QVERIFY(isUniform(grabbedPixels(view)));
        QVERIFY(view->filePath.isEmpty());
        QVERIFY(!view->image);
        QCOMPARE(view->pageNumberLabel, overlay);
        QCOMPARE(overlay->text(), overlayText);
        QVERIFY(Access::documentLoaded(viewer));
    }

    void secondDocumentStartsAfresh()
    {
        PDFViewer viewer(nullptr, true);
        PDFWidget *view = pageView(viewer);
        open(viewer, tenA4);
        for (int i = 0; i < 3; ++i)
            view->zoomIn();
        view->gotoPage(4);
        view->scrollRight();
        view->scrollDown();

        open(viewer, landscape);
        QCOMPARE(view->filePath, landscape);
        QCOMPARE(view->resolution, 48.0);
        QCOMPARE(view->pageIndex, 0);
        QCOMPARE(QPoint(view->xOffset, view->yOffset), QPoint(0, 0));
        QCOMPARE(view->image->width(), 562);
        QCOMPARE(verticalBar(viewer)->maximum(), 2);
        QCOMPARE(verticalBar(viewer)->value(), 0);
        QCOMPARE(view->pageNumberLabel->text(), QStringLiteral("1 / 3"));
    }

    void emptyFileToLoadDoesNothing()
    {
        PDFViewer viewer(nullptr, true);
        viewer.setFileToLoad("");
        StdoutCapture out;
        ModalCloser closer;
        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        QTest::qWait(100);
        QVERIFY(!Access::notice(viewer));
        QVERIFY(out.lines().isEmpty());
        QCOMPARE(closer.closed(), 0);
        QVERIFY(!Access::documentLoaded(viewer));
    }

    void pathWithBlanksAndNonAscii()
    {
        PDFViewer viewer(nullptr, true);
        viewer.setFileToLoad(unusualPath.toUtf8().constData());
        StdoutCapture out;
        ModalCloser closer;
        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        QTRY_VERIFY(Access::documentLoaded(viewer) || closer.closed() > 0);
        QVERIFY2(closer.closed() == 0, qPrintable(out.lines().join(QLatin1Char('\n'))));
        QCOMPARE(pageView(viewer)->filePath, unusualPath);
        QVERIFY(pageView(viewer)->image);
        QVERIFY(Access::notice(viewer)->isHidden());
    }

    void badInputKeepsViewerWorking_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"missing", "not a PDF", "empty file", "first 100 bytes",
                                 "first half", "locked", "no pages"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void badInputKeepsViewerWorking()
    {
        QFETCH(QString, name);
        const QString path = dir.filePath(QStringLiteral("bad ") + name + QStringLiteral(".pdf"));
        if (name == QLatin1String("not a PDF"))
            TestDocuments::writeNotPdf(path);
        else if (name == QLatin1String("empty file"))
            TestDocuments::writeTruncatedCopyOfSize(tenA4, path, 0);
        else if (name == QLatin1String("first 100 bytes"))
            TestDocuments::writeTruncatedCopyOfSize(tenA4, path, 100);
        else if (name == QLatin1String("first half"))
            TestDocuments::writeTruncatedCopy(tenA4, path, 0.5);
        else if (name == QLatin1String("locked"))
            TestDocuments::writeEncryptedPdf(path, TestDocuments::UserPassword, QByteArray());
        else if (name == QLatin1String("no pages"))
            TestDocuments::writeRawPdf(path, {});

        PDFViewer viewer(nullptr, true);
        static_cast<QWidget &>(viewer).show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        PDFWidget *view = pageView(viewer);
        StdoutCapture out;
        ModalCloser closer;

        open(viewer, path);
        // Poppler may rebuild a document cut in half; none of the others has a page to show.
        if (name != QLatin1String("first half"))
            QVERIFY(!view->image);
        // As after a file accepted in the chooser: the commands then reach the page view.
        Access::documentLoaded(viewer) = true;
        for (const char *slot :
             {"on_downButton_clicked", "on_upButton_clicked", "on_rightButton_clicked",
              "on_leftButton_clicked", "on_zommInButton_clicked", "on_zoomOutButton_clicked",
              "on_verticalScrollBar_sliderReleased", "on_horizontalScrollBar_sliderReleased"})
            QVERIFY(QMetaObject::invokeMethod(&viewer, slot));
        for (int action = 1; action <= 4; ++action) {
            QVERIFY(QMetaObject::invokeMethod(&viewer, "on_verticalScrollBar_actionTriggered",
                                              Q_ARG(int, action)));
            QVERIFY(QMetaObject::invokeMethod(&viewer, "on_horizontalScrollBar_actionTriggered",
                                              Q_ARG(int, action)));
        }
        QTest::qWait(50);

        open(viewer, tenA4);
        QCOMPARE(view->filePath, tenA4);
        QCOMPARE(view->pageIndex, 0);
        QVERIFY(view->image && !view->image->isNull());
        QVERIFY(QMetaObject::invokeMethod(&viewer, "on_verticalScrollBar_actionTriggered",
                                          Q_ARG(int, QAbstractSlider::SliderPageStepAdd)));
        QCOMPARE(view->pageIndex, 1);
        QVERIFY(!isUniform(grabbedPixels(view)));
    }

private:
    QTemporaryDir dir;
    QString tenA4;
    QString landscape;
    QString notPdf;
    QString locked;
    QString unusualPath;
};

QTEST_MAIN(TestOpeningFlow)
#include "tst_openingflow.moc"
