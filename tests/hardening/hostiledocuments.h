#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Bad inputs for the viewer, made with fixed seeds so that every run sees the same bytes.
class HostileDocuments
{
public:
    // What the viewer must do with a file: show it, report the failure, or either of the two
    // (damaged files that Poppler may or may not repair).
    enum class Outcome { Opens, Fails, Either };

    struct Entry
    {
        QString name;
        Outcome outcome;
        // Pages whose rendering needs a lot of memory; the memory-limit measurements use them.
        bool heavy = false;
    };

    // Writes every hostile input into directory (which must exist) and returns them in a fixed
    // order, or an empty list if anything could not be written.
    static QList<Entry> writeAll(const QString &directory);

    // The pieces, public for the tests of the generator itself.
    static QByteArray assemble(const QList<QByteArray> &objects,
                               const QByteArray &trailerExtra = {});
    static QByteArray pageTreeCycle();
    static QByteArray hugePageCount();
    static QByteArray nestedArrays(int depth);
    static QByteArray pageOfPoints(double width, double height);
    static QByteArray imageOfPixels(int width, int height);
    static QByteArray transparencyStack(int layers);
    static QByteArray byteMutated(const QByteArray &source, quint32 seed, int flips);
    static QByteArray tokenMutated(const QByteArray &source, quint32 seed, int replacements);
    static QByteArray randomBytes(quint32 seed, int size);
};
