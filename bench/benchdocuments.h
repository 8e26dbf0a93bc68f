#pragma once

#include <QString>
#include <QStringList>

// The documents the benchmark opens, written once into a cache directory and reused by later
// runs. File names carry a generation number: a change to what is written gets new names, so a
// stale cache is never measured.
namespace BenchDocuments {

// Generated A4 documents of these page counts, all written the same way.
QString a4Name(int pageCount);
// One A0 page (2384 x 3370 points) of vector drawing.
QString a0Name();
// One A4 page of several thousand stroked and filled paths.
QString vectorName();
// One A4 page that is a single 300 dpi colour raster image, as a scanner writes it.
QString scanName();

QStringList allNames();

// Writes every document that is missing from directory (which is created if needed). Needs a
// QGuiApplication, since the A4 documents are painted through QPdfWriter. Returns false, with a
// message on standard error, if a document could not be written.
bool ensure(const QString &directory);

} // namespace BenchDocuments
