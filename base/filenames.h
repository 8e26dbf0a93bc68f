#pragma once

class QByteArray;
class QString;

// Qt 5 decodes file names with the locale's codec, which is UTF-8 also in the C locale, and maps
// every byte that is not UTF-8 to U+FFFD: a name written by another system (Latin-1 from an old
// Windows machine, a vfat stick mounted with another iocharset) cannot be encoded back, so the
// file system model leaves it out and a path holding it names no file. This makes the locale's
// codec keep each such byte as a character of its own and write it back unchanged; UTF-8 converts
// as before. With a locale of another encoding, whose codec keeps every name anyway, it does
// nothing. Once per process, before any file name is converted; later calls do nothing.
void keepFileNamesIntact();

// A file name's bytes as a message box shows them: as UTF-8, so that a byte that is not UTF-8
// shows as U+FFFD, which fonts draw, not as the private-use character the codec above keeps it
// in, which they draw as an empty box.
QString displayedFileName(const QByteArray &name);
