#pragma once

#include <QByteArray>
#include <QFileSystemModel>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

// The chooser's QFileSystemModel, different in two ways.
// It gives the same item flags with its name filters compiled once. Qt 5.15's model turns each
// wildcard filter into a new regular expression, and compiles it, every time a view asks an
// entry's flags. The chooser's tree asks for every row each time it lays itself out, which it does
// again for each batch of entries that the model's gatherer delivers: a folder of 20,000 files
// took 1.3 to 4.7 s of CPU to list (10.9 s in one run), mostly in the expression compiler.
// It lists a folder only where memory has room for its entries, which it keeps (ListingBudget);
// a folder left unlisted is said once on standard error, and asked again when a view expands it.
// No meta-object of its own, like CustomTreeView: its class name, to any tool that inspects
// objects, stays QFileSystemModel.
class ChooserFileSystemModel : public QFileSystemModel
{
public:
    using QFileSystemModel::QFileSystemModel;

    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    bool passesNameFilters(const QModelIndex &entry) const;

    mutable QStringList compiledFilters;
    mutable QRegularExpression::PatternOptions compiledOptions;
    mutable QVector<QRegularExpression> expressions;
    QSet<QByteArray> foldersLeftUnlisted;
};
