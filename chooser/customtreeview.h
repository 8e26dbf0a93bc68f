#pragma once

#include <QTreeView>

// The chooser's file tree. A tap opens or closes the selected row, since a device user cannot
// double-click: the row tapped, or, where the tap selects nothing (empty space, a disabled file),
// the one selected before. The key handling stays QTreeView's so softkeys and keys move alike.
class CustomTreeView : public QTreeView
{
public:
    explicit CustomTreeView(QWidget *parent);
    ~CustomTreeView() override;

    // QTreeView's own, made public: the chooser hands its synthesised arrow keys straight to the
    // tree and reads the selection when a file is opened.
    void keyPressEvent(QKeyEvent *event) override;
    QModelIndexList selectedIndexes() const override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // A second tap soon after the first, or queued behind it while the viewer was busy, comes as
    // a double-click only, without a press; it is a tap like any other.
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
