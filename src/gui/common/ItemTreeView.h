// The tree control both lists use: a QTreeView over an ItemTreeModel with multi-line rows
// of per-row height, check boxes and images aligned to the top of the row, the highlighted
// row under the pointer, sibling-only selection and a multi-line in-place editor.
#pragma once

#include "common/ItemTree.h"
#include "FrameHost.h"
#include "InPlaceEditor.h"
#include "ItemDelegate.h"

#include <QTreeView>

#include <functional>

class ItemTreeView : public QTreeView
{
    Q_OBJECT
public:
    ItemTreeView(ItemTreeModel *model, const FrameBitmaps &bitmaps, QWidget *parent);

    using QTreeView::edit;
    ItemTreeModel *itemModel() const { return m_model; }
    ItemDelegate *rowDelegate() const { return m_delegate; }
    // The row under the pointer, or none.
    ItemNode *hotNode() const { return m_hotNode; }
    // Whether rows carry check boxes.
    bool checkBoxes = false;
    // The image of a row by the list's image index.
    std::function<QIcon(int)> imageForIndex;
    // Maps a stored colour code to a colour of the current palette.
    std::function<QColor(qint32)> colorForCode;
    // The editor that is open, if any.
    QWidget *openEditor() const;
    // Recomputes every row's height (after a view switch or a resize).
    void relayoutRows();
    // Lays the rows out once when the events are next handled: rows opened or closed until
    // then only note it, instead of moving every row below them each time.
    void deferLayout() { scheduleDelayedItemsLayout(); }
    // Where the selected rows go when dropped at pos: the top-level node under it (a child
    // stands for its parent), or none for the top level. False when no drop is allowed
    // there (over the first selected row).
    bool dropTargetAt(const QPoint &pos, ItemNode **target) const;
    // Selected nodes in tree order, read from the selection's ranges (a long run of rows is
    // one range, not a row each).
    QList<ItemNode *> selectedNodes() const;
    // The first selected node in tree order, or none; without listing the others.
    ItemNode *firstSelectedNode() const;
    // The one selected node when exactly one row is selected, else none.
    ItemNode *singleSelectedNode() const;
    // Every shown row among the current row's siblings (the top level when there is no
    // current row), as one range.
    void selectAll() override;
    // Makes the row under the pointer the hot row (none when the pointer is elsewhere), as
    // after a drag, when rows moved under a pointer that has not moved.
    void followPointer();
    // The expand button of a row, beside its first line of text (top of the row).
    QRect expandButtonRect(const QModelIndex &index) const;
    // Colours of the tree lines and of the horizontal grid line under each row.
    QColor treeLineColor() const;
    QColor gridLineColor() const;
    // A row out of sight has no rectangle to repaint: it is not found by adding up the
    // heights of every row between it and the ones shown (which would measure each of them).
    // The edited row keeps its place wherever it is.
    QRect visualRect(const QModelIndex &index) const override;
    // The view's own offset is the height of every row above the ones shown, which measures
    // each of them. Only its change between a press and the moves that follow is used (to
    // keep the pressed point on its row while the rows scroll), so it counts from the row at
    // the top when the pointer was last pressed or moved without a button: only the rows
    // scrolled since then are measured.
    int verticalOffset() const override;

Q_SIGNALS:
    void hotNodeChanged(ItemNode *oldNode, ItemNode *newNode);
    void emptySpaceDoubleClicked();
    void editRequested(const QModelIndex &index);
    void keyCommand(QKeyEvent *event, bool *handled);
    // The selected rows were dropped: on target (a top-level node) or, with none, on the
    // top level.
    void dropRequested(ItemNode *target);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect,
                      const QModelIndex &index) const override;
    // Ranges made by Shift with the keys or a click run from the anchor to the current row
    // by row, wherever the anchor is, and hold only the current row's siblings.
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;

private:
    void setHotNode(ItemNode *node);
    // Whether the row lies among the rows shown now; false for rows under a closed parent.
    bool rowInSight(const QModelIndex &index) const;
    ItemTreeModel *m_model;
    ItemDelegate *m_delegate;
    ItemNode *m_hotNode = nullptr;
    bool m_fixingSelection = false;
    // The scroll value the vertical offset counts from.
    int m_offsetFrom = 0;
    // The shown rows out of sight whose rectangle was last asked for during the input event
    // being handled (an invalid index for a row not shown at all), the latest last: the
    // anchor of a Shift range is asked for just before the range is made.
    mutable QModelIndex m_unseenAsked[2];
    void forgetUnseenAsked();
};
