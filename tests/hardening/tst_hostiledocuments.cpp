#include "hostiledocuments.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <poppler-qt5.h>

#include <QAbstractSlider>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Every hostile input through the viewer in this process (where the sanitizers see our code at
// work around Poppler): opened the way the command line opens it, every page, zoom to 300 dpi
// and back, scrolling, and then another, good document opened in the same window.
class TestHostileDocuments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void generatorIsDeterministic();
    void generatedStructures();
    void viewerSurvives_data();
    void viewerSurvives();

private:
    QTemporaryDir dir;
    QList<HostileDocuments::Entry> entries;
    QString good;
};

void TestHostileDocuments::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    entries = HostileDocuments::writeAll(dir.path());
    QVERIFY(!entries.isEmpty());
    good =
        TestDocuments::writeRawPdf(dir.filePath("good.pdf"), {QSizeF(594, 840), QSizeF(594, 840)});
    QVERIFY(!good.isEmpty());
}

void TestHostileDocuments::generatorIsDeterministic()
{
    const QByteArray source = TestDocuments::rc4("seed", QByteArray(4096, 'x'));
    QCOMPARE(HostileDocuments::byteMutated(source, 3, 40),
             HostileDocuments::byteMutated(source, 3, 40));
    QVERIFY(HostileDocuments::byteMutated(source, 3, 40) !=
            HostileDocuments::byteMutated(source, 4, 40));
    QCOMPARE(HostileDocuments::randomBytes(9, 1000), HostileDocuments::randomBytes(9, 1000));
    QCOMPARE(HostileDocuments::randomBytes(9, 1000).size(), 1000);

    const QByteArray pdf = HostileDocuments::pageOfPoints(595, 842);
    const QByteArray mutated = HostileDocuments::tokenMutated(pdf, 5, 6);
    QCOMPARE(HostileDocuments::tokenMutated(pdf, 5, 6), mutated);
    QVERIFY(mutated != pdf);
    // Flipping eight bytes changes at most eight bytes.
    const QByteArray flipped = HostileDocuments::byteMutated(pdf, 1, 8);
    QCOMPARE(flipped.size(), pdf.size());
    int differences = 0;
    for (int i = 0; i < pdf.size(); ++i)
        differences += pdf.at(i) != flipped.at(i);
    QVERIFY(differences >= 1 && differences <= 8);
}

void TestHostileDocuments::generatedStructures()
{
    // The special files must be what their names say, or the tests below prove nothing.
    auto open = [&](const QString &name) {
        return std::unique_ptr<Poppler::Document>(Poppler::Document::load(dir.filePath(name)));
    };
    auto huge = open("page-14400pt.pdf");
    QVERIFY(huge && huge->numPages() == 1);
    QCOMPARE(std::unique_ptr<Poppler::Page>(huge->page(0))->pageSizeF(), QSizeF(14400, 14400));

    auto noPages = open("no-pages.pdf");
    QVERIFY(noPages && noPages->numPages() == 0);

    auto user = open("user-password.pdf");
    QVERIFY(user && user->isLocked());
    auto owner = open("owner-password-only.pdf");
    QVERIFY(owner && !owner->isLocked());

    QVERIFY(!open("empty.pdf"));
    QVERIFY(!open("random-bytes.pdf"));
    QVERIFY(QFileInfo(dir.filePath("directory.pdf")).isDir());

    // The image is stored at full size: 20000 x 20000 grey pixels.
    QFile image(dir.filePath("image-20000px.pdf"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray bytes = image.readAll();
    QVERIFY(bytes.contains("/Width 20000 /Height 20000"));
    QVERIFY(bytes.size() < 4 * 1024 * 1024);

    QVERIFY(HostileDocuments::nestedArrays(50).contains(QByteArray(50, '[') + QByteArray(50, ']')));
    const QByteArray count = HostileDocuments::hugePageCount();
    QVERIFY(count.contains("/Count 2147483647"));
}

void TestHostileDocuments::viewerSurvives_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < entries.size(); ++i)
        QTest::newRow(qPrintable(entries.at(i).name)) << i;
}

void TestHostileDocuments::viewerSurvives()
{
    QFETCH(int, index);
    const HostileDocuments::Entry entry = entries.at(index);
    const QString path = dir.filePath(entry.name);

    PDFViewer viewer(nullptr, true);
    viewer.show();
    PDFWidget *view = viewer.findChild<PDFWidget *>(QStringLiteral("pdfWidget"));
    QVERIFY(view);

    QStringList boxTexts;
    ModalCloser closer([&](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            boxTexts.append(box->text());
    });
    QStringList lines;
    {
        StdoutCapture capture;
        viewer.initWithFile(QFile::encodeName(path).constData());
        lines = capture.lines();
    }

    const bool failed = !boxTexts.isEmpty();
    if (failed) {
        QVERIFY2(entry.outcome != HostileDocuments::Outcome::Opens, "the document did not open");
        QCOMPARE(boxTexts, QStringList{QStringLiteral("Loading document ") + path +
                                       QStringLiteral(" failed!")});
        QVERIFY(!lines.isEmpty() && lines.first().startsWith(QStringLiteral("Document is ")));
        QVERIFY(view->filePath.isEmpty());
    } else {
        QVERIFY2(entry.outcome != HostileDocuments::Outcome::Fails,
                 "the document opened, but must not");
        QCOMPARE(view->filePath, path);
    }

    // Every page (up to forty), forwards by the trough of the vertical bar, then zoom and scroll.
    const int pages =
        view->document && !view->document->isLocked() ? view->document->numPages() : 0;
    for (int i = 0; i < qMin(pages, 40); ++i)
        QVERIFY(QMetaObject::invokeMethod(&viewer, "on_verticalScrollBar_actionTriggered",
                                          Q_ARG(int, QAbstractSlider::SliderPageStepAdd)));
    for (const char *slot : {"on_downButton_clicked", "on_downButton_clicked",
                             "on_rightButton_clicked", "on_upButton_clicked"})
        QVERIFY(QMetaObject::invokeMethod(&viewer, slot));
    // Zoom in to 300 dpi and out to 10 dpi, as many steps as that takes from 48 dpi. After a
    // failed load the window has no document and the steps change nothing. The heavy pages take
    // Poppler seconds a step; they go three steps each way here and the whole way in
    // tst_hostile_binary.
    const int zoomIn = entry.heavy ? 3 : 26;
    const int zoomOut = entry.heavy ? 3 : 29;
    for (int i = 0; i < zoomIn; ++i) {
        QVERIFY(QMetaObject::invokeMethod(&viewer, "on_zommInButton_clicked"));
        // Whatever the page, an image exists once a page has been rendered, and a null one
        // has no height.
        if (view->image && view->image->isNull())
            QCOMPARE(view->imageHeight, 0);
    }
    QCOMPARE(view->resolution, failed ? 48.0 : qMin(300.0, 48.0 + 10 * zoomIn));
    QVERIFY(QMetaObject::invokeMethod(&viewer, "on_rightButton_clicked"));
    for (int i = 0; i < zoomOut; ++i)
        QVERIFY(QMetaObject::invokeMethod(&viewer, "on_zoomOutButton_clicked"));
    QCOMPARE(view->resolution, failed ? 48.0 : entry.heavy ? 48.0 : 10.0);
    QVERIFY(QMetaObject::invokeMethod(&viewer, "on_leftButton_clicked"));
    QCOMPARE(closer.closed(), failed ? 1 : 0);

    // Another open in the same window, as the open command does once the chooser has a path.
    QVERIFY(view->loadDocument(good));
    view->repaint();
    QCOMPARE(view->filePath, good);
    QCOMPARE(view->resolution, 48.0);
    QCOMPARE(view->pageIndex, 0);
    QVERIFY(view->image && !view->image->isNull());
    QCOMPARE(view->image->size(), QSize(396, 560));
    QCOMPARE(closer.closed(), failed ? 1 : 0);
}

QTEST_MAIN(TestHostileDocuments)
#include "tst_hostiledocuments.moc"
