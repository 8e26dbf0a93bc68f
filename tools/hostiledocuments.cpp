#include "hostiledocuments.h"

#include "pdfassembler.h"
#include "testdocuments.h"

#include <QDir>
#include <QFile>
#include <QSizeF>

#include <random>

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Uniform enough for picking positions; std::mt19937's sequence is the same everywhere, which
// the distributions of the standard library do not promise.
quint32 pick(std::mt19937 &random, quint32 bound)
{
    return bound ? random() % bound : 0;
}

QByteArray onePage(const QByteArray &mediaBox, const QByteArray &resources)
{
    return "<< /Type /Page /Parent 2 0 R /MediaBox " + mediaBox + " /Resources " + resources +
           " /Contents 4 0 R >>";
}

// The catalog, the page tree, one page and its content as objects 1 to 4, then the others.
QByteArray onePageDocument(const QByteArray &pageTree, const QByteArray &mediaBox,
                           const QByteArray &resources, const QByteArray &content,
                           const QList<QByteArray> &others = {})
{
    PdfAssembler pdf("1.5");
    pdf.add({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages " + pageTree + " >>",
             onePage(mediaBox, resources), PdfAssembler::stream(content)});
    pdf.add(others);
    return pdf.document();
}

QByteArray pageTreeCycle()
{
    // The root's kids lead through an intermediate node back to the root.
    return onePageDocument("/Kids [3 0 R 5 0 R] /Count 3", "[0 0 595 842]", "<< >>",
                           "0 0 1 rg 10 10 100 100 re f",
                           {"<< /Type /Pages /Parent 2 0 R /Kids [2 0 R 3 0 R] /Count 2 >>"});
}

QByteArray hugePageCount()
{
    return onePageDocument("/Kids [3 0 R] /Count 2147483647", "[0 0 595 842]", "<< >>",
                           "1 0 0 rg 10 10 200 200 re f");
}

// A one-page document whose trailer claims `objects` objects: Poppler makes its cross-reference
// table that large, some 40 bytes an object, before it reads any.
QByteArray claimedObjectCount(int objects)
{
    QByteArray pdf = onePageDocument("/Kids [3 0 R] /Count 1", "[0 0 595 842]", "<< >>",
                                     "0 1 0 rg 10 10 200 200 re f");
    const int count = pdf.lastIndexOf("/Size ") + 6;
    return pdf.replace(count, pdf.indexOf(' ', count) - count, QByteArray::number(objects));
}

// A one-page document that says, in a linearization dictionary of the right length, that it
// has `pages` pages: Poppler sizes its hint tables by that count, a few bytes a page, and fills
// them before it finds that the file holds no hints.
QByteArray linearizedPageCount(int pages)
{
    const QList<QByteArray> bodies = {
        "<< /Type /Catalog /Pages 3 0 R >>", "<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 595 842] /Contents 5 0 R >>",
        PdfAssembler::stream("0 0 0 rg 100 300 400 400 re f")};
    QByteArray out;
    // The dictionary names the file's length, which it is part of: a fixed width settles it.
    for (qint64 length = 0;;) {
        out = "%PDF-1.5\n1 0 obj\n<< /Linearized 1 /L " +
              QByteArray::number(length).rightJustified(10, '0') + " /H [0 0] /O 4 /E 0 /N " +
              QByteArray::number(pages) + " /T 0 >>\nendobj\n";
        QList<qint64> offsets = {9};
        for (int i = 0; i < bodies.size(); ++i) {
            offsets.append(out.size());
            out += QByteArray::number(i + 2) + " 0 obj\n" + bodies.at(i) + "\nendobj\n";
        }
        const qint64 xref = out.size();
        out += "xref\n0 6\n0000000000 65535 f \n";
        for (qint64 offset : offsets)
            out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        out += "trailer\n<< /Size 6 /Root 2 0 R >>\nstartxref\n" + QByteArray::number(xref) +
               "\n%%EOF\n";
        if (out.size() == length)
            return out;
        length = out.size();
    }
}

QByteArray nestedArrays(int depth)
{
    // Deep nesting in the page's resources, parsed once per page fetch, and a thousand levels as
    // an operand in the content stream, parsed on every render.
    const QByteArray nested = QByteArray(depth, '[') + QByteArray(depth, ']');
    const int operandDepth = qMin(depth, 1000);
    const QByteArray content = "0 1 0 rg 10 10 100 100 re f\n" + QByteArray(operandDepth, '[') +
                               QByteArray(operandDepth, ']') + " pop\n";
    return onePageDocument("/Kids [3 0 R] /Count 1", "[0 0 595 842]", "<< /Deep " + nested + " >>",
                           content);
}

QByteArray pageOfPoints(double width, double height)
{
    const QByteArray w = number(qint64(width));
    const QByteArray h = number(qint64(height));
    const QByteArray content = "0.2 0.4 0.8 rg 0 0 " + w + ' ' + h + " re f\n1 1 0 rg " +
                               number(qint64(width / 4)) + ' ' + number(qint64(height / 4)) + ' ' +
                               number(qint64(width / 2)) + ' ' + number(qint64(height / 2)) +
                               " re f\n";
    return onePageDocument("/Kids [3 0 R] /Count 1", "[0 0 " + w + ' ' + h + ']', "<< >>", content);
}

QByteArray unbalancedSaves(int saves)
{
    // Broken generators emit a save for every object and never restore: Poppler keeps every
    // saved graphics state until the page ends, so the render's memory grows with the operators,
    // not with the image.
    QByteArray content;
    content.reserve(saves * 2 + 64);
    for (int i = 0; i < saves; ++i)
        content += "q\n";
    content += "0.8 0.2 0.2 rg 100 100 395 642 re f\n";
    return onePageDocument("/Kids [3 0 R] /Count 1", "[0 0 595 842]", "<< >>", content);
}

QByteArray imageOfPixels(int width, int height, int pageTimes = 1)
{
    // A bilevel scan, one bit a pixel, in bands a hundred rows high and compressed: the file stays
    // small, the decoded image does not. Splash still reads every source pixel for every render.
    const int rowBytes = (width + 7) / 8;
    QByteArray pixels(qsizetype(rowBytes) * height, '\0');
    for (int y = 0; y < height; ++y)
        std::fill_n(pixels.data() + qsizetype(y) * rowBytes, rowBytes,
                    char((y / 100) % 2 ? 0xF0 : 0x3C));
    const QByteArray image = PdfAssembler::stream(PdfAssembler::flate(pixels),
                                                  "/Type /XObject /Subtype /Image /Width " +
                                                      number(width) + " /Height " + number(height) +
                                                      " /ColorSpace /DeviceGray /BitsPerComponent 1"
                                                      " /Filter /FlateDecode");
    // Drawn pageTimes the page's size about its centre: the page shows only the middle.
    const QByteArray placement = number(595 * pageTimes) + " 0 0 " + number(842 * pageTimes) + ' ' +
                                 number(-595 * (pageTimes - 1) / 2) + ' ' +
                                 number(-842 * (pageTimes - 1) / 2) + " cm";
    return onePageDocument("/Kids [3 0 R] /Count 1", "[0 0 595 842]",
                           "<< /XObject << /Im1 5 0 R >> >>", "q " + placement + " /Im1 Do Q\n",
                           {image});
}

QByteArray byteMutated(const QByteArray &source, quint32 seed, int flips)
{
    std::mt19937 random(seed);
    QByteArray out = source;
    for (int i = 0; i < flips && !out.isEmpty(); ++i)
        out[int(pick(random, out.size()))] = char(pick(random, 256));
    return out;
}

QByteArray tokenMutated(const QByteArray &source, quint32 seed, int replacements)
{
    // Values that stress the parser's arithmetic and its object structure.
    static const char *const hostile[] = {
        "-1",    "0",      "2147483647", "-2147483648", "99999999999999999999",
        "1e308", "-0.001", "[",          "]",           "<<",
        ">>",    "R",      "obj",        "endobj",      "stream",
        "null",  "/Pages", "(",
    };
    // Token starts: a character after white space or a delimiter.
    QList<int> starts;
    for (int i = 1; i < source.size(); ++i) {
        const char before = source.at(i - 1);
        const char here = source.at(i);
        if ((before == ' ' || before == '\n' || before == '[' || before == '<') && here != ' ' &&
            here != '\n')
            starts.append(i);
    }
    std::mt19937 random(seed);
    QByteArray out = source;
    for (int n = 0; n < replacements && !starts.isEmpty(); ++n) {
        const int start = starts.at(int(pick(random, starts.size())));
        if (start >= out.size())
            continue;
        int end = start;
        while (end < out.size() && !QByteArray(" \n[]<>/").contains(out.at(end)))
            ++end;
        if (end == start)
            end = start + 1;
        // Even-numbered replacements keep the length, and with it the cross-reference offsets,
        // so the first one reaches Poppler's object parser rather than its reconstruction of the
        // file; the first odd one shifts what follows it, and Poppler must rebuild the table.
        QByteArray token = hostile[pick(random, sizeof hostile / sizeof *hostile)];
        if (n % 2 == 0)
            token = token.leftJustified(end - start, ' ', true);
        out.replace(start, end - start, token);
    }
    return out;
}

QByteArray randomBytes(quint32 seed, int size)
{
    std::mt19937 random(seed);
    QByteArray out(size, '\0');
    for (char &byte : out)
        byte = char(random() & 0xFF);
    return out;
}

} // namespace

QByteArray HostileDocuments::transparencyStack(int layers, bool afterEmptyPage)
{
    const QByteArray box = "[0 0 595 842]";
    QList<QByteArray> objects;
    for (int i = 0; i < layers; ++i) {
        const int layer = 5 + 3 * i; // group form, its soft mask form, the graphics state
        const bool innermost = i == layers - 1;
        const QByteArray fill = number(i + 1) + " " + number(i + 1) + " " + number(595 - 2 * i) +
                                " " + number(842 - 2 * i) + " re f\n";
        QByteArray content = "/GS" + number(i) + " gs 0." + number(2 + i % 7) + " 0.3 0.6 rg\n" +
                             fill + "0.9 0.1 0.1 rg 60 60 400 600 re f\n";
        QByteArray resources =
            "<< /ExtGState << /GS" + number(i) + ' ' + number(layer + 2) + " 0 R >>";
        if (!innermost) {
            content += "/L" + number(i + 1) + " Do\n";
            resources += " /XObject << /L" + number(i + 1) + ' ' + number(layer + 3) + " 0 R >>";
        }
        resources += " >>";
        objects.append(PdfAssembler::stream(
            content, "/Type /XObject /Subtype /Form /BBox " + box +
                         " /Group << /S /Transparency /I true /K false >> /Resources " +
                         resources));
        objects.append(PdfAssembler::stream("0.6 g 0 0 595 842 re f 1 g 150 150 300 500 re f\n",
                                            "/Type /XObject /Subtype /Form /BBox " + box +
                                                " /Group << /S /Transparency /CS /DeviceGray >>"));
        objects.append("<< /Type /ExtGState /ca 0.7 /CA 0.7 /BM /Multiply /SMask << /S "
                       "/Luminosity /G " +
                       number(layer + 1) + " 0 R >> >>");
    }
    QByteArray kids = "/Kids [3 0 R] /Count 1";
    if (afterEmptyPage) {
        kids = "/Kids [" + number(5 + 3 * layers) + " 0 R 3 0 R] /Count 2";
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox " + box + " >>");
    }
    return onePageDocument(kids, box, "<< /XObject << /L0 5 0 R >> >>", "/L0 Do\n", objects);
}

QByteArray HostileDocuments::largeTextBesideMaskedPicture()
{
    const int side = 100;
    QByteArray pixels, alpha;
    for (int i = 0; i < side * side; ++i) {
        pixels += QByteArray(1, char(i % 256)) + char(i / side % 256) + char(128);
        alpha += char(i % side * 255 / side);
    }
    const QByteArray size = "/Width " + number(side) + " /Height " + number(side);
    return onePageDocument(
        "/Kids [3 0 R] /Count 1", "[0 0 595 842]",
        "<< /Font << /F0 5 0 R >> /XObject << /Im0 6 0 R >> >>",
        "BT /F0 500 Tf 10 300 Td (H) Tj ET\nq 400 0 0 400 100 200 cm /Im0 Do Q\n",
        {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
         PdfAssembler::stream(PdfAssembler::flate(pixels),
                              "/Type /XObject /Subtype /Image " + size +
                                  " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter "
                                  "/FlateDecode /SMask 7 0 R"),
         PdfAssembler::stream(PdfAssembler::flate(alpha),
                              "/Type /XObject /Subtype /Image " + size +
                                  " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter "
                                  "/FlateDecode")});
}

QByteArray HostileDocuments::largeEmbeddedFont(int mebibytes, int pages)
{
    const QByteArray program(mebibytes * 1024 * 1024, '\0');
    const QByteArray mediaBox = "[0 0 200 100]";
    const QByteArray resources = "<< /Font << /F0 5 0 R >> >>";
    QList<QByteArray> others = {
        "<< /Type /Font /Subtype /TrueType /BaseFont /Large /FontDescriptor 6 0 R >>",
        "<< /Type /FontDescriptor /FontName /Large /Flags 32 /FontBBox [0 -200 1000 900] "
        "/ItalicAngle 0 /Ascent 900 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 7 0 R >>",
        PdfAssembler::stream(PdfAssembler::flate(program),
                             "/Length1 " + number(program.size()) + " /Filter /FlateDecode")};
    // The other pages, from object 8 on, are the first one again.
    QByteArray kids = "3 0 R";
    for (int page = 1; page < pages; ++page) {
        kids += ' ' + number(7 + page) + " 0 R";
        others.append(onePage(mediaBox, resources));
    }
    return onePageDocument("/Kids [" + kids + "] /Count " + number(pages), mediaBox, resources,
                           "BT /F0 24 Tf 10 40 Td (Font) Tj ET\n", others);
}

QList<HostileDocuments::Entry> HostileDocuments::writeAll(const QString &directory)
{
    const QDir dir(directory);
    QList<Entry> entries;
    bool ok = true;
    auto add = [&](const QString &name, const QByteArray &bytes, Outcome outcome,
                   bool heavy = false) {
        ok = ok && !PdfAssembler::write(dir.filePath(name), bytes).isEmpty();
        entries.append({name, outcome, heavy});
    };

    // Sources for the damaged copies: a ten-page document as QPdfWriter writes it (compressed
    // streams, real fonts) and a hand-written one whose objects are all plain text.
    const QString a4 = TestDocuments::writeA4Document(dir.filePath(".source-a4.pdf"), 10);
    const QString raw = TestDocuments::writeRawPdf(
        dir.filePath(".source-raw.pdf"), {QSizeF(595, 842), QSizeF(842, 595), QSizeF(300, 300)});
    if (a4.isEmpty() || raw.isEmpty())
        return {};
    const QByteArray a4Bytes = readFile(a4);
    const QByteArray rawBytes = readFile(raw);
    QFile::remove(a4);
    QFile::remove(raw);

    for (int percent : {1, 10, 25, 50, 75, 90, 99})
        add(QStringLiteral("truncated-%1.pdf").arg(percent, 2, 10, QLatin1Char('0')),
            a4Bytes.left(a4Bytes.size() * percent / 100), Outcome::Either);
    // Cut inside the trailer, after the last object.
    add(QStringLiteral("truncated-trailer.pdf"), a4Bytes.left(a4Bytes.size() - 12),
        Outcome::Either);

    for (quint32 seed = 1; seed <= 6; ++seed)
        add(QStringLiteral("byte-mutated-%1.pdf").arg(seed),
            byteMutated(seed % 2 ? a4Bytes : rawBytes, seed, 8 * int(seed)), Outcome::Either);
    for (quint32 seed = 1; seed <= 6; ++seed)
        add(QStringLiteral("token-mutated-%1.pdf").arg(seed),
            tokenMutated(seed % 2 ? rawBytes : a4Bytes, seed, 3 * int(seed)), Outcome::Either);

    add(QStringLiteral("random-bytes.pdf"), randomBytes(7, 65536), Outcome::Fails);
    add(QStringLiteral("random-with-header.pdf"), "%PDF-1.7\n" + randomBytes(8, 65536),
        Outcome::Either);
    add(QStringLiteral("empty.pdf"), QByteArray(), Outcome::Fails);

    const QString folder = QStringLiteral("directory.pdf");
    ok = ok && (dir.exists(folder) || dir.mkdir(folder));
    entries.append({folder, Outcome::Fails, false});

    add(QStringLiteral("page-tree-cycle.pdf"), pageTreeCycle(), Outcome::Either);
    add(QStringLiteral("page-count-2147483647.pdf"), hugePageCount(), Outcome::Either);
    add(QStringLiteral("nested-arrays.pdf"), nestedArrays(100000), Outcome::Either);
    // Opened where there is room for its table, refused where there is not.
    add(QStringLiteral("object-count-3000000.pdf"), claimedObjectCount(3000000), Outcome::Either);
    add(QStringLiteral("linearized-page-count.pdf"), linearizedPageCount(20000000), Outcome::Opens);
    add(QStringLiteral("page-14400pt.pdf"), pageOfPoints(14400, 14400), Outcome::Opens, true);
    add(QStringLiteral("image-20000px.pdf"), imageOfPixels(20000, 20000), Outcome::Opens, true);
    add(QStringLiteral("image-beyond-page.pdf"), imageOfPixels(400, 400, 5), Outcome::Opens, true);
    add(QStringLiteral("transparency-stack.pdf"), HostileDocuments::transparencyStack(3),
        Outcome::Opens, true);
    add(QStringLiteral("unbalanced-saves.pdf"), unbalancedSaves(100000), Outcome::Opens, true);

    const QString noPages = TestDocuments::writeRawPdf(dir.filePath("no-pages.pdf"), {});
    ok = ok && !noPages.isEmpty();
    entries.append({QStringLiteral("no-pages.pdf"), Outcome::Opens, false});

    const QString user =
        TestDocuments::writeEncryptedPdf(dir.filePath("user-password.pdf"),
                                         TestDocuments::UserPassword, TestDocuments::OwnerPassword);
    const QString owner = TestDocuments::writeEncryptedPdf(
        dir.filePath("owner-password-only.pdf"), QByteArray(), TestDocuments::OwnerPassword);
    ok = ok && !user.isEmpty() && !owner.isEmpty();
    entries.append({QStringLiteral("user-password.pdf"), Outcome::Fails, false});
    // An empty user password opens the document; the owner password only limits permissions.
    entries.append({QStringLiteral("owner-password-only.pdf"), Outcome::Opens, false});

    return ok ? entries : QList<Entry>();
}
