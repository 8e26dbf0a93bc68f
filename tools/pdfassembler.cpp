#include "pdfassembler.h"

#include <QSaveFile>

int PdfAssembler::add(const QByteArray &body)
{
    bodies.append(body);
    return int(bodies.size());
}

void PdfAssembler::add(const QList<QByteArray> &more)
{
    bodies.append(more);
}

QByteArray PdfAssembler::document(const QByteArray &extraTrailer) const
{
    // The comment line with high-bit bytes marks the file as binary for transfer tools.
    QByteArray out = "%PDF-" + version + "\n%\xE2\xE3\xCF\xD3\n";
    QList<qint64> offsets;
    for (int i = 0; i < bodies.size(); ++i) {
        offsets.append(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + bodies.at(i) + "\nendobj\n";
    }
    const qint64 xrefOffset = out.size();
    const QByteArray size = QByteArray::number(bodies.size() + 1);
    // Every entry is exactly 20 bytes, the end of line included.
    out += "xref\n0 " + size + "\n0000000000 65535 f \n";
    for (qint64 offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + size + " /Root 1 0 R" + extraTrailer + " >>\nstartxref\n" +
           QByteArray::number(xrefOffset) + "\n%%EOF\n";
    return out;
}

QByteArray PdfAssembler::stream(const QByteArray &data, const QByteArray &dictionaryEntries)
{
    const QByteArray entries = dictionaryEntries.isEmpty() ? "" : dictionaryEntries + ' ';
    return "<< " + entries + "/Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

QByteArray PdfAssembler::flate(const QByteArray &data)
{
    // qCompress puts the length in four bytes in front of the zlib stream.
    return qCompress(data, 9).mid(4);
}

QString PdfAssembler::write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    return written ? path : QString();
}
