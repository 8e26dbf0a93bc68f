#include "testdocuments.h"
#include "viewpixels.h"

#include <poppler-qt5.h>

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The other tests take these files as given: a generator that writes a document Poppler reads
// differently would make them pass or fail for the wrong reason.
class TestTestDocuments : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    std::unique_ptr<Poppler::Document> load(const QString &name, const QByteArray &owner = {},
                                            const QByteArray &user = {})
    {
        return std::unique_ptr<Poppler::Document>(
            Poppler::Document::load(dir.filePath(name), owner, user));
    }

    // Page heights in points, "locked", or "fails" when Poppler cannot read the file at all.
    QString describe(Poppler::Document *document)
    {
        if (!document)
            return QStringLiteral("fails");
        if (document->isLocked())
            return QStringLiteral("locked");
        QStringList pages;
        for (int i = 0; i < document->numPages(); ++i) {
            std::unique_ptr<Poppler::Page> page(document->page(i));
            // Every page has marks on it; a blank render means its content did not decode.
            const bool blank = isUniform(page->renderToImage(24, 24));
            pages << QStringLiteral("%1x%2%3")
                         .arg(qRound(page->pageSizeF().width()))
                         .arg(qRound(page->pageSizeF().height()))
                         .arg(blank ? " blank" : "");
        }
        return pages.join(QLatin1Char(' '));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QCOMPARE(TestDocuments::writeStandardSet(dir.path()).size(), 10);
    }

    void standardSet_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("content");
        const QString a4 = QStringLiteral("595x842");
        QTest::newRow("ten pages") << "ten-pages.pdf" << (a4 + ' ').repeated(10).trimmed();
        QTest::newRow("one page") << "one-page.pdf" << a4;
        QTest::newRow("landscape") << "landscape.pdf"
                                   << "1190x842";
        QTest::newRow("mixed heights") << "mixed-heights.pdf"
                                       << "595x842 595x421 595x1684 595x300";
        QTest::newRow("user password") << "user-password.pdf"
                                       << "locked";
        QTest::newRow("owner password") << "owner-password.pdf" << a4;
        QTest::newRow("not a PDF") << "not-a-pdf.pdf"
                                   << "fails";
        QTest::newRow("truncated") << "truncated.pdf"
                                   << "fails";
        QTest::newRow("unusual name")
            << QStringLiteral("with blanks \u00FCn\u00EFc\u00F8d\u00E9.pdf")
            << (a4 + ' ').repeated(3).trimmed();
        QTest::newRow("no pages") << "no-pages.pdf" << QString();
    }

    void standardSet()
    {
        QFETCH(QString, name);
        QFETCH(QString, content);
        QCOMPARE(describe(load(name).get()), content);
    }

    void passwordsUnlock()
    {
        const QString a4 = QStringLiteral("595x842");
        QCOMPARE(describe(load("user-password.pdf", {}, "wrong").get()), QStringLiteral("locked"));
        QCOMPARE(describe(load("user-password.pdf", {}, TestDocuments::UserPassword).get()), a4);
        QCOMPARE(describe(load("user-password.pdf", TestDocuments::OwnerPassword).get()), a4);
    }
};

QTEST_MAIN(TestTestDocuments)
#include "tst_testdocuments.moc"
