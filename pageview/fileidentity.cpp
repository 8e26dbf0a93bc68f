#include "pageview/fileidentity.h"

#include <QFile>

#include <sys/stat.h>

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
    struct stat status;
    if (stat(QFile::encodeName(path).constData(), &status) != 0)
        return identity;
    identity.valid = true;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    identity.size = status.st_size;
    identity.modifiedSeconds = status.st_mtim.tv_sec;
    identity.modifiedNanoseconds = status.st_mtim.tv_nsec;
    return identity;
}

bool FileIdentity::isSameFile(const FileIdentity &other) const
{
    return valid && other.valid && device == other.device && inode == other.inode;
}

bool FileIdentity::operator==(const FileIdentity &other) const
{
    return isSameFile(other) && size == other.size && modifiedSeconds == other.modifiedSeconds &&
           modifiedNanoseconds == other.modifiedNanoseconds;
}
