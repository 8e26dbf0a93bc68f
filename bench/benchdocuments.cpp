#include "benchdocuments.h"

#include "pdfassembler.h"
#include "testdocuments.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>

namespace {

// Bumped whenever a generator below writes something different.
constexpr int Generation = 1;

QString versioned(const QString &stem)
{
    return stem + QStringLiteral("-g%1.pdf").arg(Generation);
}

// A small linear congruential generator: the same documents on every machine.
class Numbers
{
public:
    explicit Numbers(quint32 seed) : state(seed) {}
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1 << 24);
    }
    double in(double low, double high) { return low + (high - low) * next(); }

private:
    quint32 state;
};

QByteArray number(double value)
{
    return QByteArray::number(value, 'f', 2);
}

QByteArray vectorContent()
{
    const double w = 595, h = 842;
    Numbers n(20240601);
    QByteArray c;
    // Thin curves of every colour, the bulk of the page.
    for (int i = 0; i < 4000; ++i) {
        c += number(n.next()) + ' ' + number(n.next()) + ' ' + number(n.next()) + " RG " +
             number(n.in(0.2, 2.5)) + " w ";
        double x = n.in(0, w), y = n.in(0, h);
        c += number(x) + ' ' + number(y) + " m";
        for (int k = 0; k < 3; ++k) {
            for (int p = 0; p < 3; ++p) {
                x = qBound(0.0, x + n.in(-40, 40), w);
                y = qBound(0.0, y + n.in(-40, 40), h);
                c += ' ' + number(x) + ' ' + number(y);
            }
            c += " c";
        }
        c += " S\n";
    }
    // Filled polygons with even-odd fills, which Splash rasterises differently from strokes.
    for (int i = 0; i < 1500; ++i) {
        c += number(n.next()) + ' ' + number(n.next()) + ' ' + number(n.next()) + " rg ";
        const double cx = n.in(0, w), cy = n.in(0, h);
        c += number(cx + n.in(-30, 30)) + ' ' + number(cy + n.in(-30, 30)) + " m";
        for (int k = 0; k < 5; ++k)
            c += ' ' + number(cx + n.in(-30, 30)) + ' ' + number(cy + n.in(-30, 30)) + " l";
        c += " h f*\n";
    }
    return c;
}

QByteArray a0Content()
{
    const double w = 2384, h = 3370;
    QByteArray c;
    // A drawing sheet: a 10 mm grid, a heavy frame, a title block and a few shapes.
    c += "0.75 0.75 0.85 RG 0.5 w\n";
    const double mm10 = 72.0 / 25.4 * 10;
    for (double x = mm10; x < w; x += mm10)
        c += number(x) + " 0 m " + number(x) + ' ' + number(h) + " l\n";
    for (double y = mm10; y < h; y += mm10)
        c += "0 " + number(y) + " m " + number(w) + ' ' + number(y) + " l\n";
    c += "S\n0 0 0 RG 6 w 40 40 " + number(w - 80) + ' ' + number(h - 80) + " re S\n";
    c += "2 w " + number(w - 800) + " 40 760 240 re S\n";
    c += "0.2 0.4 0.8 rg 300 1800 1400 900 re f\n";
    c += "0.8 0.1 0.1 RG 4 w 200 200 m " + number(w - 200) + ' ' + number(h - 200) + " l S\n";
    // Circles from four Bezier quarters each.
    Numbers n(7);
    for (int i = 0; i < 200; ++i) {
        const double cx = n.in(100, w - 100), cy = n.in(100, h - 100), r = n.in(10, 90);
        const double k = 0.5523 * r;
        c += "0 0 0 RG 1.5 w " + number(cx + r) + ' ' + number(cy) + " m " + number(cx + r) + ' ' +
             number(cy + k) + ' ' + number(cx + k) + ' ' + number(cy + r) + ' ' + number(cx) + ' ' +
             number(cy + r) + " c " + number(cx - k) + ' ' + number(cy + r) + ' ' + number(cx - r) +
             ' ' + number(cy + k) + ' ' + number(cx - r) + ' ' + number(cy) + " c " +
             number(cx - r) + ' ' + number(cy - k) + ' ' + number(cx - k) + ' ' + number(cy - r) +
             ' ' + number(cx) + ' ' + number(cy - r) + " c " + number(cx + k) + ' ' +
             number(cy - r) + ' ' + number(cx + r) + ' ' + number(cy - k) + ' ' + number(cx + r) +
             ' ' + number(cy) + " c S\n";
    }
    return c;
}

// A page as a scanner delivers it: off-white paper with sensor noise, and lines of text.
QImage scannedPage()
{
    QImage image(2480, 3508, QImage::Format_RGB32);
    image.fill(QColor(246, 243, 236));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(42);
        painter.setFont(font);
        painter.setPen(QColor(30, 30, 40));
        for (int line = 0; line < 70; ++line)
            painter.drawText(230, 320 + line * 44,
                             QStringLiteral("Line %1 of the scanned page: the quick brown fox "
                                            "jumps over the lazy dog.")
                                 .arg(line + 1));
        painter.fillRect(230, 120, 1200, 90, QColor(180, 40, 40));
    }
    Numbers n(99);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int d = int(n.in(-8, 8));
            const QRgb p = row[x];
            row[x] = qRgb(qBound(0, qRed(p) + d, 255), qBound(0, qGreen(p) + d, 255),
                          qBound(0, qBlue(p) + d, 255));
        }
    }
    return image;
}

// The image as an XObject dictionary and its stream data: JPEG like a real scan, or raw RGB
// through Flate where Qt has no JPEG writer.
QByteArray imageObject(const QImage &image)
{
    QByteArray data;
    QByteArray filter = "/DCTDecode";
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(85);
    if (!writer.write(image)) {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        QByteArray raw;
        for (int y = 0; y < rgb.height(); ++y)
            raw.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
        data = PdfAssembler::flate(raw);
        filter = "/FlateDecode";
    }
    return PdfAssembler::stream(
        data, "/Type /XObject /Subtype /Image /Width " + QByteArray::number(image.width()) +
                  " /Height " + QByteArray::number(image.height()) +
                  " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter " + filter);
}

QString writeScan(const QString &path)
{
    const QByteArray content = "q 595 0 0 842 0 0 cm /Im0 Do Q\n";
    PdfAssembler pdf;
    pdf.add({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << /Im0 5 0 "
        "R >> >> /Contents 4 0 R >>",
        PdfAssembler::stream(content),
        imageObject(scannedPage()),
    });
    return PdfAssembler::write(path, pdf.document());
}

// QPdfWriter writes in place: go through a temporary name so that an interrupted run leaves no
// half document under the real name.
QString writeA4(const QString &path, int pageCount)
{
    const QString partial = path + QStringLiteral(".part");
    if (TestDocuments::writeA4Document(partial, pageCount).isEmpty())
        return QString();
    QFile::remove(path);
    return QFile::rename(partial, path) ? path : QString();
}

QString writeDocument(const QString &directory, const QString &name)
{
    const QString path = QDir(directory).filePath(name);
    for (int count : {1, 10, 1000, 10000})
        if (name == BenchDocuments::a4Name(count))
            return writeA4(path, count);
    if (name == BenchDocuments::a0Name())
        return TestDocuments::writeRawPdf(path, {QSizeF(2384, 3370)}, a0Content());
    if (name == BenchDocuments::vectorName())
        return TestDocuments::writeRawPdf(path, {QSizeF(595, 842)}, vectorContent());
    if (name == BenchDocuments::scanName())
        return writeScan(path);
    return QString();
}

} // namespace

QString BenchDocuments::a4Name(int pageCount)
{
    return versioned(QStringLiteral("a4-%1-pages").arg(pageCount));
}

QString BenchDocuments::a0Name()
{
    return versioned(QStringLiteral("a0-drawing"));
}

QString BenchDocuments::vectorName()
{
    return versioned(QStringLiteral("a4-vector-paths"));
}

QString BenchDocuments::scanName()
{
    return versioned(QStringLiteral("a4-scan"));
}

QStringList BenchDocuments::allNames()
{
    return {a4Name(1), a4Name(10), a4Name(1000), a4Name(10000), a0Name(), vectorName(), scanName()};
}

bool BenchDocuments::ensure(const QString &directory)
{
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(directory));
        return false;
    }
    for (const QString &name : allNames()) {
        if (QFile::exists(QDir(directory).filePath(name)))
            continue;
        std::fprintf(stderr, "writing %s ... ", qPrintable(name));
        std::fflush(stderr);
        QElapsedTimer timer;
        timer.start();
        if (writeDocument(directory, name).isEmpty()) {
            std::fprintf(stderr, "failed\n");
            return false;
        }
        std::fprintf(stderr, "%.1f s\n", timer.elapsed() / 1000.0);
    }
    return true;
}
