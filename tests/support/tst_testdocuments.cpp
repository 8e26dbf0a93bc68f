#include "testdocuments.h"

#include <poppler-qt5.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using DocumentPtr = std::unique_ptr<Poppler::Document>;

DocumentPtr load(const QString &path, const QByteArray &owner = QByteArray(),
                 const QByteArray &user = QByteArray())
{
    return DocumentPtr(Poppler::Document::load(path, owner, user));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QImage renderPage(Poppler::Document *document, int index, double dpi = 24)
{
    std::unique_ptr<Poppler::Page> page(document->page(index));
    if (!page)
        return QImage();
    return page->renderToImage(dpi, dpi);
}

int nonWhitePixels(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            if (rgb.pixel(x, y) != qRgb(255, 255, 255))
                ++count;
    return count;
}

// Checks the cross-reference table by hand: Poppler silently rebuilds a broken one, so loading
// alone would not notice wrong offsets.
void verifyCrossReference(const QByteArray &pdf, int expectedObjects)
{
    const int startxref = pdf.lastIndexOf("startxref\n");
    QVERIFY(startxref > 0);
    bool ok = false;
    const qint64 xrefOffset =
        pdf.mid(startxref + 10, pdf.indexOf('\n', startxref + 10) - startxref - 10).toLongLong(&ok);
    QVERIFY(ok);
    QVERIFY(pdf.mid(xrefOffset)
                .startsWith("xref\n0 " + QByteArray::number(expectedObjects + 1) + "\n"));
    const int entries = pdf.indexOf('\n', xrefOffset + 5) + 1;
    QCOMPARE(pdf.mid(entries, 20), QByteArray("0000000000 65535 f \n"));
    for (int n = 1; n <= expectedObjects; ++n) {
        const QByteArray entry = pdf.mid(entries + 20 * n, 20);
        QVERIFY2(entry.endsWith(" 00000 n \n"), entry.constData());
        const qint64 offset = entry.left(10).toLongLong(&ok);
        QVERIFY(ok);
        QVERIFY2(pdf.mid(offset).startsWith(QByteArray::number(n) + " 0 obj\n"),
                 qPrintable(QStringLiteral("object %1 not at %2").arg(n).arg(offset)));
    }
    QCOMPARE(pdf.mid(entries + 20 * (expectedObjects + 1), 7), QByteArray("trailer"));
}

} // namespace

class TestTestDocuments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void rc4MatchesPublishedVectors_data();
    void rc4MatchesPublishedVectors();

    void a4DocumentHasA4PagesThatDiffer();
    void a4DocumentRejectsZeroPages();
    void rawPdfHasExactPageSizes_data();
    void rawPdfHasExactPageSizes();
    void rawPdfUsesGivenContent();
    void userPasswordLocksDocument();
    void truncatedCopyIsPrefix();
    void standardSetLoadsAsDescribed();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void TestTestDocuments::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestTestDocuments::rc4MatchesPublishedVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherHex");
    QTest::newRow("Key") << QByteArray("Key") << QByteArray("Plaintext")
                         << QByteArray("bbf316e8d940af0ad3");
    QTest::newRow("Wiki") << QByteArray("Wiki") << QByteArray("pedia") << QByteArray("1021bf0420");
    QTest::newRow("Secret") << QByteArray("Secret") << QByteArray("Attack at dawn")
                            << QByteArray("45a01f645fc35b383552544b9bf5");
}

void TestTestDocuments::rc4MatchesPublishedVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherHex);
    QCOMPARE(TestDocuments::rc4(key, plain).toHex(), cipherHex);
    QCOMPARE(TestDocuments::rc4(key, TestDocuments::rc4(key, plain)), plain);
}

void TestTestDocuments::a4DocumentHasA4PagesThatDiffer()
{
    const QString file = TestDocuments::writeA4Document(path("a4.pdf"), 4);
    QCOMPARE(file, path("a4.pdf"));
    DocumentPtr document = load(file);
    QVERIFY(document);
    QVERIFY(!document->isLocked());
    QCOMPARE(document->numPages(), 4);
    QImage previous;
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<Poppler::Page> page(document->page(i));
        QVERIFY(page);
        // A4 is 595.3 x 841.9 points; writers round it to whole points.
        QVERIFY2(qAbs(page->pageSizeF().width() - 595.3) < 1.0,
                 qPrintable(QString::number(page->pageSizeF().width())));
        QVERIFY2(qAbs(page->pageSizeF().height() - 841.9) < 1.0,
                 qPrintable(QString::number(page->pageSizeF().height())));
        const QImage image = page->renderToImage(24, 24);
        QVERIFY(!image.isNull());
        QVERIFY(nonWhitePixels(image) > image.width() * image.height() / 50);
        if (!previous.isNull())
            QVERIFY(image != previous);
        previous = image;
    }
}

void TestTestDocuments::a4DocumentRejectsZeroPages()
{
    QVERIFY(TestDocuments::writeA4Document(path("zero.pdf"), 0).isEmpty());
    QVERIFY(!QFile::exists(path("zero.pdf")));
}

void TestTestDocuments::rawPdfHasExactPageSizes_data()
{
    QTest::addColumn<QList<QSizeF>>("sizes");
    QTest::newRow("no pages") << QList<QSizeF>{};
    QTest::newRow("mixed sizes") << QList<QSizeF>{QSizeF(595, 842), QSizeF(842, 595),
                                                  QSizeF(100, 100)};
    QTest::newRow("fractional") << QList<QSizeF>{QSizeF(300.5, 400.25), QSizeF(72, 72)};
}

void TestTestDocuments::rawPdfHasExactPageSizes()
{
    QFETCH(QList<QSizeF>, sizes);
    const QString file = TestDocuments::writeRawPdf(
        path(QStringLiteral("raw-%1.pdf").arg(QTest::currentDataTag())), sizes);
    QVERIFY(!file.isEmpty());
    // Catalog, page tree, and a page and a content stream per page.
    verifyCrossReference(readAll(file), 2 + 2 * sizes.size());
    DocumentPtr document = load(file);
    QVERIFY(document);
    QVERIFY(!document->isLocked());
    QCOMPARE(document->numPages(), sizes.size());
    QImage previous;
    for (int i = 0; i < sizes.size(); ++i) {
        std::unique_ptr<Poppler::Page> page(document->page(i));
        QVERIFY(page);
        QCOMPARE(page->pageSizeF(), sizes.at(i));
        const QImage image = page->renderToImage(24, 24);
        QVERIFY(nonWhitePixels(image) > image.width() * image.height() / 20);
        if (!previous.isNull() && previous.size() == image.size())
            QVERIFY(image != previous);
        previous = image;
    }
}

void TestTestDocuments::rawPdfUsesGivenContent()
{
    // A black square in the lower left corner only.
    const QString file = TestDocuments::writeRawPdf(path("content.pdf"), {QSizeF(200, 200)},
                                                    "0 0 0 rg 0 0 50 50 re f\n");
    QVERIFY(!file.isEmpty());
    DocumentPtr document = load(file);
    QVERIFY(document);
    const QImage image = renderPage(document.get(), 0, 72).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(200, 200));
    QCOMPARE(image.pixel(10, 190), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(100, 100), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(10, 10), qRgb(255, 255, 255));
    QCOMPARE(nonWhitePixels(image), 50 * 50);
}

void TestTestDocuments::userPasswordLocksDocument()
{
    const QString file =
        TestDocuments::writeEncryptedPdf(path("user.pdf"), "secret-user", "secret-owner");
    QVERIFY(!file.isEmpty());
    verifyCrossReference(readAll(file), 5);

    DocumentPtr locked = load(file);
    QVERIFY(locked);
    QVERIFY(locked->isLocked());

    DocumentPtr wrong = load(file, QByteArray(), "wrong");
    QVERIFY(wrong);
    QVERIFY(wrong->isLocked());

    // The right passwords open it and the decrypted page draws, which only works when the file
    // key and the per-object keys are derived correctly.
    DocumentPtr byUser = load(file, QByteArray(), "secret-user");
    QVERIFY(byUser);
    QVERIFY(!byUser->isLocked());
    QCOMPARE(byUser->numPages(), 1);
    QVERIFY(nonWhitePixels(renderPage(byUser.get(), 0)) > 1000);

    DocumentPtr byOwner = load(file, "secret-owner", QByteArray());
    QVERIFY(byOwner);
    QVERIFY(!byOwner->isLocked());
    QVERIFY(nonWhitePixels(renderPage(byOwner.get(), 0)) > 1000);
}

void TestTestDocuments::truncatedCopyIsPrefix()
{
    const QString source = TestDocuments::writeA4Document(path("source.pdf"), 2);
    QVERIFY(!source.isEmpty());
    const QByteArray whole = readAll(source);

    const QString bytes = TestDocuments::writeTruncatedCopyOfSize(source, path("100.pdf"), 100);
    QCOMPARE(readAll(bytes), whole.left(100));

    const QString longer =
        TestDocuments::writeTruncatedCopyOfSize(source, path("all.pdf"), whole.size() + 10);
    QCOMPARE(readAll(longer), whole);

    QVERIFY(TestDocuments::writeTruncatedCopy(path("missing.pdf"), path("x.pdf"), 0.5).isEmpty());
}

void TestTestDocuments::standardSetLoadsAsDescribed()
{
    const QString setDir = path("set");
    QVERIFY(QDir().mkpath(setDir));
    const QStringList files = TestDocuments::writeStandardSet(setDir);
    const QStringList names = TestDocuments::standardSetNames();
    QCOMPARE(files.size(), 10);
    QCOMPARE(names.size(), 10);
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(files.at(i), QDir(setDir).filePath(names.at(i)));
        QVERIFY2(QFile::exists(files.at(i)), qPrintable(files.at(i)));
    }
    QCOMPARE(QDir(setDir).entryList(QDir::Files).size(), 10);

    auto pageCount = [&](const QString &name) {
        DocumentPtr document = load(QDir(setDir).filePath(name));
        return document && !document->isLocked() ? document->numPages() : -1;
    };
    QCOMPARE(pageCount("ten-pages.pdf"), 10);
    QCOMPARE(pageCount("one-page.pdf"), 1);
    QCOMPARE(pageCount("landscape.pdf"), 1);
    QCOMPARE(pageCount("mixed-heights.pdf"), 4);
    QCOMPARE(pageCount("owner-password.pdf"), 1);
    QVERIFY(load(QDir(setDir).filePath("owner-password.pdf"))->isEncrypted());
    QCOMPARE(pageCount(QStringLiteral("with blanks \u00FCn\u00EFc\u00F8d\u00E9.pdf")), 3);
    QCOMPARE(pageCount("no-pages.pdf"), 0);

    DocumentPtr landscape = load(QDir(setDir).filePath("landscape.pdf"));
    std::unique_ptr<Poppler::Page> wide(landscape->page(0));
    QCOMPARE(wide->pageSizeF(), QSizeF(1190, 842));
    // At the viewer's default 48 dpi the page is wider than the 480 pixel screen.
    QVERIFY(wide->renderToImage(48, 48).width() > 480);

    DocumentPtr mixed = load(QDir(setDir).filePath("mixed-heights.pdf"));
    QList<qreal> heights;
    for (int i = 0; i < mixed->numPages(); ++i)
        heights.append(std::unique_ptr<Poppler::Page>(mixed->page(i))->pageSizeF().height());
    QCOMPARE(heights, (QList<qreal>{842, 421, 1684, 300}));

    DocumentPtr user = load(QDir(setDir).filePath("user-password.pdf"));
    QVERIFY(user);
    QVERIFY(user->isLocked());
    DocumentPtr unlocked =
        load(QDir(setDir).filePath("user-password.pdf"), QByteArray(), TestDocuments::UserPassword);
    QVERIFY(!unlocked->isLocked());
    DocumentPtr asOwner = load(QDir(setDir).filePath("user-password.pdf"),
                               TestDocuments::OwnerPassword, QByteArray());
    QVERIFY(!asOwner->isLocked());

    QVERIFY(!load(QDir(setDir).filePath("not-a-pdf.pdf")));

    // Cut in half, the file loses its cross-reference table and trailer, which Poppler cannot
    // rebuild: the viewer sees a file that does not open.
    const QByteArray ten = readAll(QDir(setDir).filePath("ten-pages.pdf"));
    QCOMPARE(readAll(QDir(setDir).filePath("truncated.pdf")), ten.left(ten.size() / 2));
    QVERIFY(!load(QDir(setDir).filePath("truncated.pdf")));
}

QTEST_MAIN(TestTestDocuments)
#include "tst_testdocuments.moc"
