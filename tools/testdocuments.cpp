#include "testdocuments.h"

#include "pdfassembler.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <array>

namespace {

// RC4 as the PDF standard security handler uses it.
QByteArray rc4(const QByteArray &key, const QByteArray &data)
{
    if (key.isEmpty())
        return data;
    std::array<unsigned char, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key.at(i % key.size()))) & 0xFF;
        std::swap(s[i], s[j]);
    }
    QByteArray out(data.size(), '\0');
    for (int n = 0, i = 0, j = 0; n < data.size(); ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] =
            static_cast<char>(static_cast<unsigned char>(data.at(n)) ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return out;
}

// The first fraction (0..1) of the bytes of source, written to dest.
QString writeTruncatedCopy(const QString &source, const QString &dest, double fraction)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = in.readAll();
    return PdfAssembler::write(dest, bytes.left(int(bytes.size() * qBound(0.0, fraction, 1.0))));
}

// Ten significant digits never switch to an exponent for the sizes used here, which PDF lacks.
QByteArray pdfNumber(double value)
{
    return QByteArray::number(value, 'g', 10);
}

QByteArray pdfHexString(const QByteArray &bytes)
{
    return '<' + bytes.toHex().toUpper() + '>';
}

QByteArray defaultPageContent(const QSizeF &size, int pageNumber)
{
    const double w = size.width();
    const double h = size.height();
    QByteArray c;
    // A blue block in the upper half, so that even a small render has many coloured pixels.
    c += "0.2 0.4 0.8 rg\n" + pdfNumber(w * 0.1) + ' ' + pdfNumber(h * 0.55) + ' ' +
         pdfNumber(w * 0.8) + ' ' + pdfNumber(h * 0.35) + " re f\n";
    // A thick black diagonal across the whole page.
    c += "0 0 0 RG " + pdfNumber(std::max(2.0, w / 100.0)) + " w\n" + pdfNumber(w * 0.05) + ' ' +
         pdfNumber(h * 0.05) + " m " + pdfNumber(w * 0.95) + ' ' + pdfNumber(h * 0.95) + " l S\n";
    // One red square per page number along the bottom edge tells the pages apart.
    const double square = std::min(w, h) / 25.0;
    c += "0.8 0.1 0.1 rg\n";
    for (int i = 0; i < pageNumber; ++i)
        c += pdfNumber(w * 0.1 + i * square * 1.5) + ' ' + pdfNumber(h * 0.1) + ' ' +
             pdfNumber(square) + ' ' + pdfNumber(square) + " re\n";
    c += "f\n";
    return c;
}

// Catalog, page tree, then a page object and its content stream for every page.
QList<QByteArray> pageTreeObjects(const QList<QSizeF> &sizes, const QList<QByteArray> &contents)
{
    QList<QByteArray> bodies;
    bodies.append("<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int i = 0; i < sizes.size(); ++i)
        kids += (i ? " " : "") + QByteArray::number(3 + 2 * i) + " 0 R";
    bodies.append("<< /Type /Pages /Kids [" + kids + "] /Count " +
                  QByteArray::number(sizes.size()) + " >>");
    for (int i = 0; i < sizes.size(); ++i) {
        const QSizeF &size = sizes.at(i);
        bodies.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + pdfNumber(size.width()) +
                      ' ' + pdfNumber(size.height()) + "] /Resources << >> /Contents " +
                      QByteArray::number(4 + 2 * i) + " 0 R >>");
        bodies.append(PdfAssembler::stream(contents.at(i)));
    }
    return bodies;
}

// The 32-byte string that pads passwords in the standard security handler.
QByteArray padPassword(const QByteArray &password)
{
    static const QByteArray padding =
        QByteArray::fromHex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
    return (password.left(32) + padding).left(32);
}

QByteArray md5(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

void paintA4Page(QPainter &painter, const QRectF &page, int number, int count)
{
    painter.fillRect(page, Qt::white);
    painter.setPen(QPen(Qt::black, 6));
    painter.drawRect(page.adjusted(20, 20, -20, -20));

    QFont heading(QStringLiteral("DejaVu Sans"));
    heading.setPixelSize(28);
    heading.setBold(true);
    painter.setFont(heading);
    painter.drawText(QRectF(40, 40, page.width() - 80, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Test page %1 of %2").arg(number).arg(count));

    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(260);
    big.setBold(true);
    painter.setFont(big);
    painter.drawText(QRectF(40, 200, page.width() - 80, 320), Qt::AlignCenter,
                     QString::number(number));

    // Ruled lines like lines of text, and a black band that walks down the page with the number.
    painter.setPen(QPen(Qt::darkGray, 3));
    for (double y = 560; y < page.height() - 60; y += 24)
        painter.drawLine(QPointF(60, y), QPointF(page.width() - 60, y));
    const double bandY = 100 + (number - 1) % 8 * 12;
    painter.fillRect(QRectF(40, bandY, page.width() - 80, 10), Qt::black);
}

} // namespace

QString TestDocuments::writeA4Document(const QString &path, int pageCount)
{
    if (pageCount < 1)
        return QString();
    {
        QPdfWriter writer(path);
        writer.setCreator(QStringLiteral("page-scope test support"));
        writer.setResolution(72); // one device unit per point
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter;
        if (!painter.begin(&writer))
            return QString();
        const QRectF page(QPointF(0, 0), writer.pageLayout().fullRectPoints().size());
        for (int i = 1; i <= pageCount; ++i) {
            if (i > 1)
                writer.newPage();
            paintA4Page(painter, page, i, pageCount);
        }
        if (!painter.end())
            return QString();
    }
    return QFile::exists(path) ? path : QString();
}

QString TestDocuments::writeRawPdf(const QString &path, const QList<QSizeF> &pageSizesInPoints,
                                   const QByteArray &pageContent)
{
    QList<QByteArray> contents;
    for (int i = 0; i < pageSizesInPoints.size(); ++i)
        contents.append(pageContent.isEmpty() ? defaultPageContent(pageSizesInPoints.at(i), i + 1)
                                              : pageContent);
    PdfAssembler pdf;
    pdf.add(pageTreeObjects(pageSizesInPoints, contents));
    return PdfAssembler::write(path, pdf.document());
}

QString TestDocuments::writeEncryptedPdf(const QString &path, const QByteArray &userPassword,
                                         const QByteArray &ownerPassword)
{
    // Revision 2 of the standard security handler (40-bit RC4): the simplest one that every
    // reader still has to accept. All permissions granted; the two low bits must be zero.
    const quint32 permissions = 0xFFFFFFFC;
    // A fixed identifier keeps the output reproducible for a given pair of passwords.
    const QByteArray id =
        md5("page-scope encrypted test document " + userPassword + '/' + ownerPassword);
    const QByteArray ownerKey =
        md5(padPassword(ownerPassword.isEmpty() ? userPassword : ownerPassword)).left(5);
    const QByteArray o = rc4(ownerKey, padPassword(userPassword));
    QByteArray keyInput = padPassword(userPassword) + o;
    for (int shift = 0; shift < 32; shift += 8)
        keyInput += static_cast<char>((permissions >> shift) & 0xFF);
    const QByteArray key = md5(keyInput + id).left(5);
    const QByteArray u = rc4(key, padPassword(QByteArray()));

    const QSizeF a4(595, 842);
    // Object 4, the content stream of the only page, is the one encrypted object.
    const QByteArray objectKey = md5(key + QByteArray::fromHex("0400000000")).left(10);
    const QByteArray content = rc4(objectKey, defaultPageContent(a4, 1));
    PdfAssembler pdf;
    pdf.add(pageTreeObjects({a4}, {content}));
    const int encrypt =
        pdf.add("<< /Filter /Standard /V 1 /R 2 /O " + pdfHexString(o) + " /U " + pdfHexString(u) +
                " /P " + QByteArray::number(qint32(permissions)) + " >>");
    const QByteArray trailer = " /Encrypt " + QByteArray::number(encrypt) + " 0 R /ID [" +
                               pdfHexString(id) + ' ' + pdfHexString(id) + ']';
    return PdfAssembler::write(path, pdf.document(trailer));
}

QString TestDocuments::writeNotPdf(const QString &path)
{
    return PdfAssembler::write(path, "This is a plain text file, not a PDF document.\n"
                                     "A viewer that opens it must report that loading failed.\n");
}

QStringList TestDocuments::writeStandardSet(const QString &directory)
{
    const QDir dir(directory);
    const QStringList names = {
        "ten-pages.pdf",     "one-page.pdf",      "landscape.pdf",
        "mixed-heights.pdf", "user-password.pdf", "owner-password.pdf",
        "not-a-pdf.pdf",     "truncated.pdf",     "with blanks \u00FCn\u00EFc\u00F8d\u00E9.pdf",
        "no-pages.pdf"};
    auto at = [&](int i) { return dir.filePath(names.at(i)); };

    const QString tenPages = writeA4Document(at(0), 10);
    const QStringList written = {
        tenPages,
        writeRawPdf(at(1), {QSizeF(595, 842)}),
        // Twice as wide as A4 portrait: 793 pixels at 48 dpi, wider than any view.
        writeRawPdf(at(2), {QSizeF(1190, 842)}),
        writeRawPdf(at(3),
                    {QSizeF(595, 842), QSizeF(595, 421), QSizeF(595, 1684), QSizeF(595, 300)}),
        writeEncryptedPdf(at(4), UserPassword, OwnerPassword),
        writeEncryptedPdf(at(5), QByteArray(), OwnerPassword),
        writeNotPdf(at(6)),
        tenPages.isEmpty() ? QString() : writeTruncatedCopy(tenPages, at(7), 0.5),
        writeA4Document(at(8), 3),
        writeRawPdf(at(9), {}),
    };
    for (const QString &path : written)
        if (path.isEmpty())
            return QStringList();
    return written;
}
