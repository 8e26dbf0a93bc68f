#pragma once

#include <QString>
#include <QtGlobal>

// A file as it is at one moment: which file a name leads to, and a mark of its content.
class FileIdentity
{
public:
    // Invalid where the name leads to no file that can be looked at.
    static FileIdentity of(const QString &path);

    bool isValid() const { return valid; }
    // The same file, whatever its content now.
    bool isSameFile(const FileIdentity &other) const;
    // The same file, and its content not written since.
    bool operator==(const FileIdentity &other) const;
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }

private:
    bool valid = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
};
