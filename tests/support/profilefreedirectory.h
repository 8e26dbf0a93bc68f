#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

// A working directory without a device profile, so that a window built there keeps the settings
// a test has put into deviceConfig, but with the source tree's icons, which the window loads by
// relative path.
class ProfileFreeDirectory
{
public:
    ProfileFreeDirectory() : previous(QDir::currentPath()) {}
    ~ProfileFreeDirectory() { QDir::setCurrent(previous); }

    bool enter()
    {
        const QString icons = QFileInfo(QStringLiteral("images")).absoluteFilePath();
        return directory.isValid() && QFileInfo(icons).isDir() &&
               QFile::link(icons, directory.filePath(QStringLiteral("images"))) &&
               QDir::setCurrent(directory.path());
    }

    QString filePath(const QString &name) const { return directory.filePath(name); }

    // A pointer file on the machine would choose a profile of its own.
    static bool machineHasPointerFile()
    {
        return QFileInfo::exists(QStringLiteral("/data/device_config.ini"));
    }

private:
    QTemporaryDir directory;
    QString previous;
};
