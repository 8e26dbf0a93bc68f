#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Lays out a PDF file by hand: numbered objects in the order they are added (the first is the
// catalog), a cross-reference table with the exact byte offset of each, and the trailer. The
// generated documents need control over every byte, which no PDF library gives.
class PdfAssembler
{
public:
    explicit PdfAssembler(const QByteArray &version = "1.4") : version(version) {}

    // Adds an object's body, without its "n 0 obj" frame, and returns the object's number.
    int add(const QByteArray &body);
    void add(const QList<QByteArray> &bodies);

    // The whole file; extraTrailer is appended to the trailer dictionary (" /Encrypt 5 0 R").
    QByteArray document(const QByteArray &extraTrailer = QByteArray()) const;

    // A stream object whose dictionary holds these entries and its /Length.
    static QByteArray stream(const QByteArray &data, const QByteArray &dictionaryEntries = {});
    // zlib data as /FlateDecode expects it.
    static QByteArray flate(const QByteArray &data);

    // Writes the bytes to path, never half: returns path, or an empty string on failure.
    static QString write(const QString &path, const QByteArray &bytes);

private:
    QByteArray version;
    QList<QByteArray> bodies;
};
