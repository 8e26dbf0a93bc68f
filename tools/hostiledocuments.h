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
        // Pages that take a lot of memory and seconds to render.
        bool heavy = false;
    };

    // An A4 page of `layers` nested transparency groups, each with a soft mask and a blend mode:
    // Splash renders every group into a page-sized bitmap of its own, so the page costs more
    // memory with every level than any other kind of page of its size. After an empty page, where
    // asked for.
    static QByteArray transparencyStack(int layers, bool afterEmptyPage = false);

    // An A4 page of one letter 500 pt high in a font the document does not embed, beside a
    // picture with a soft mask: Splash reserves a glyph cache of many times the page's image for
    // the letter, and does not survive a refused allocation of the picture's mask.
    static QByteArray largeTextBesideMaskedPicture();

    // Small pages of text in a TrueType font whose embedded program is `mebibytes` long when
    // decoded (zeros, a few kilobytes in the file): Poppler reads a font program whole into
    // memory at every render, before it parses it, whatever the page's size.
    static QByteArray largeEmbeddedFont(int mebibytes, int pages = 1);

    // Writes every hostile input into directory (which must exist) and returns them in a fixed
    // order, or an empty list if anything could not be written.
    static QList<Entry> writeAll(const QString &directory);
};
