#pragma once

#include "config/pointerfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <string>

// A working directory with the source tree's icons, where the viewer looks for its profile and
// pointer file and finds neither, so that a window built there keeps the test's deviceConfig.
class ProfileFreeDirectory
{
public:
    ProfileFreeDirectory() : previous(QDir::currentPath()), previousPointer(pointerFilePath()) {}
    ~ProfileFreeDirectory()
    {
        QDir::setCurrent(previous);
        setPointerFilePath(previousPointer);
    }

    bool enter()
    {
        const QString icons = QFileInfo(QStringLiteral("images")).absoluteFilePath();
        if (!directory.isValid() || !QFileInfo(icons).isDir() ||
            !QFile::link(icons, directory.filePath(QStringLiteral("images"))) ||
            !QDir::setCurrent(directory.path()))
            return false;
        setPointerFilePath(filePath(QStringLiteral("device_config.ini")).toStdString());
        return true;
    }

    QString filePath(const QString &name) const { return directory.filePath(name); }

private:
    QTemporaryDir directory;
    QString previous;
    std::string previousPointer;
};
