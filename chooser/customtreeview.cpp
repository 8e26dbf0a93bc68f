#include "chooser/customtreeview.h"

#include "base/console.h"

CustomTreeView::CustomTreeView(QWidget *parent) : QTreeView(parent) {}

CustomTreeView::~CustomTreeView() = default;

void CustomTreeView::mousePressEvent(QMouseEvent *event)
{
    consoleLine("MOUSE PRESS");
    QTreeView::mousePressEvent(event);
    const QModelIndexList selected = selectedIndexes();
    if (!selected.isEmpty()) {
        const QModelIndex &index = selected.first();
        setExpanded(index, !isExpanded(index));
    }
}

// QWidget's own handling, which QTreeView replaces with its double-click expansion.
void CustomTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void CustomTreeView::keyPressEvent(QKeyEvent *event)
{
    QTreeView::keyPressEvent(event);
}

QModelIndexList CustomTreeView::selectedIndexes() const
{
    return QTreeView::selectedIndexes();
}
