#include "cachedfilterfilesystemmodel.h"

#include <algorithm>

Qt::ItemFlags CachedFilterFileSystemModel::flags(const QModelIndex &index) const
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
bool CachedFilterFileSystemModel::passesNameFilters(const QModelIndex &entry) const
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
