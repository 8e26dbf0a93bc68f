#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QSet>
#include <QStringList>
#include <QTest>

// QFileSystemModel lists folders on a thread of its own, and a view only moves through rows the
// model has already read. Lists each folder of `paths` and waits until the model reports it.
inline bool loadDirectories(QFileSystemModel *model, const QStringList &paths)
{
    QSet<QString> loaded;
    const QMetaObject::Connection connection =
        QObject::connect(model, &QFileSystemModel::directoryLoaded,
                         [&loaded](const QString &path) { loaded.insert(QDir::cleanPath(path)); });
    for (const QString &path : paths) {
        const QModelIndex index = model->index(path);
        if (!index.isValid())
            return false;
        if (model->canFetchMore(index))
            model->fetchMore(index);
        else
            loaded.insert(QDir::cleanPath(path));
    }
    const bool done = QTest::qWaitFor(
        [&] {
            for (const QString &path : paths) {
                if (!loaded.contains(QDir::cleanPath(path)))
                    return false;
            }
            return true;
        },
        10000);
    QObject::disconnect(connection);
    // The model sorts newly read rows from a zero timer.
    QCoreApplication::processEvents();
    return done;
}

// The folders from below the root down to `path` itself, outermost first.
inline QStringList pathAndAncestors(const QString &path)
{
    QStringList folders;
    for (QDir dir(path); !dir.isRoot(); dir.cdUp())
        folders.prepend(dir.absolutePath());
    return folders;
}
