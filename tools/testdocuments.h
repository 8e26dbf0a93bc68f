#pragma once

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Writes the PDF files (and non-PDF files) that the tests open. Every writer returns the path it
// wrote, or an empty string when the file could not be written, so a test can QVERIFY the result.
// writeA4Document and writeStandardSet paint with QPdfWriter and need a QGuiApplication.
class TestDocuments
{
public:
    // Passwords of the encrypted files in the standard set.
    static constexpr const char *UserPassword = "page-scope-user";
    static constexpr const char *OwnerPassword = "page-scope-owner";

    // A4 portrait pages painted through QPdfWriter, each with a large page number and a band whose
    // position depends on the page, so that renders of different pages differ. pageCount >= 1.
    static QString writeA4Document(const QString &path, int pageCount);

    // A hand-written PDF with one page per entry and exactly these MediaBox sizes (in points).
    // Each page gets pageContent as its content stream; when that is empty, a default stream draws
    // a filled rectangle, a diagonal line and one small square per page number.
    // An empty list gives a document whose page tree has no pages.
    static QString writeRawPdf(const QString &path, const QList<QSizeF> &pageSizesInPoints,
                               const QByteArray &pageContent = QByteArray());

    // A one-page A4 document protected by the standard security handler (RC4). With an empty
    // user password it opens without a password; the owner password only restricts permissions. An
    // empty owner password means the user password serves as both.
    static QString writeEncryptedPdf(const QString &path, const QByteArray &userPassword,
                                     const QByteArray &ownerPassword);

    // A plain text file; the name may end in .pdf but the content is no PDF.
    static QString writeNotPdf(const QString &path);

    // The standard set (ten-pages, one-page, landscape, mixed-heights, user-password,
    // owner-password, not-a-pdf, truncated, a name with blanks and accents, no-pages) written into
    // directory, which must exist. Returns the paths, or an empty list if any file failed.
    static QStringList writeStandardSet(const QString &directory);
};
