#include "chooserfilesystemmodel.h"

#include "base/console.h"
#include "chooser/listingbudget.h"
#include "pageview/memoryheadroom.h"

#include <algorithm>

Qt::ItemFlags ChooserFileSystemModel::flags(const QModelIndex &index) const
{
    // Only a read-only model whose filters disable entries, the chooser's, is answered here.
    if (!index.isValid() || !isReadOnly() || !nameFilterDisables())
        return QFileSystemModel::flags(index);
    const Qt::ItemFlags flags = QAbstractItemModel::flags(index);
    if (!passesNameFilters(index.sibling(index.row(), 0)))
        return flags & ~Qt::ItemIsEnabled;
    return flags | Qt::ItemIsDragEnabled;
}

// isDir() and fileName() read what the model already holds of the entry: no file is read here.
bool ChooserFileSystemModel::passesNameFilters(const QModelIndex &entry) const
{
    const QStringList filters = nameFilters();
    if (filters.isEmpty() || ((filter() & QDir::AllDirs) && isDir(entry)))
        return true;
    const auto options = filter() & QDir::CaseSensitive ? QRegularExpression::NoPatternOption
                                                        : QRegularExpression::CaseInsensitiveOption;
    if (filters != compiledFilters || options != compiledOptions) {
        expressions.clear();
        for (const QString &filter : filters)
            expressions << QRegularExpression(
                QRegularExpression::wildcardToRegularExpression(filter), options);
        compiledFilters = filters;
        compiledOptions = options;
    }
    return std::any_of(
        expressions.begin(), expressions.end(),
        [name = fileName(entry)](const QRegularExpression &e) { return e.match(name).hasMatch(); });
}

void ChooserFileSystemModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent)) {
        const QByteArray folder = QFile::encodeName(filePath(parent));
        const QString refusal = ListingBudget::refusal(folder, MemoryHeadroom::current());
        if (!refusal.isEmpty()) {
            if (!foldersLeftUnlisted.contains(folder))
                errorLine("page-scope: folder " + folder.toStdString() +
                          " not listed for memory: " + refusal.toStdString());
            foldersLeftUnlisted.insert(folder);
            return;
        }
    }
    QFileSystemModel::fetchMore(parent);
}
