#include "ItemTreeView.h"

#include <QAccessible>
#include <QCursor>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

ItemTreeView::ItemTreeView(ItemTreeModel *model, const FrameBitmaps &bitmaps, QWidget *parent)
    : QTreeView(parent), m_model(model)
{
    setModel(model);
    m_delegate = new ItemDelegate(this, bitmaps);
    setItemDelegate(m_delegate);
    setHeaderHidden(true);
    header()->setStretchLastSection(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(false);
    setWordWrap(true);
    setMouseTracking(true);
    setAllColumnsShowFocus(true);
    // Per-item scrolling measures only the rows it shows, not every row of a long list.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
    setAnimated(false);
    setAutoExpandDelay(-1);
    viewport()->setAttribute(Qt::WA_Hover);

    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_hotNode = nullptr; });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                // A hot row that goes away is no longer under the pointer.
                for (int row = first; row <= last && m_hotNode; ++row) {
                    const QModelIndex index = m_model->index(row, 0, parent);
                    ItemNode *node = m_model->nodeFromIndex(index);
                    if (node == m_hotNode || (m_hotNode && m_hotNode->parent == node))
                        m_hotNode = nullptr;
                }
            });
}

QWidget *ItemTreeView::openEditor() const
{
    if (state() != QAbstractItemView::EditingState)
        return nullptr;
    const ItemNode *edit = m_model->view.edit;
    return edit ? indexWidget(m_model->indexOf(edit)) : nullptr;
}

void ItemTreeView::relayoutRows()
{
    scheduleDelayedItemsLayout();
    viewport()->update();
}

namespace {
// Tree order of nodes: a top-level node, then its children.
bool treeOrderLess(const ItemNode *a, const ItemNode *b)
{
    if (a->parent != b->parent) {
        const ItemNode *ta = a->level() == 0 ? a : a->parent;
        const ItemNode *tb = b->level() == 0 ? b : b->parent;
        if (ta != tb)
            return ta->position() < tb->position();
        return a->level() < b->level();
    }
    return a->position() < b->position();
}
} // namespace

QList<ItemNode *> ItemTreeView::selectedNodes() const
{
    // Read from the ranges: the selection model's own list of rows checks each row against
    // every range, and copies the range list for each of them.
    const QItemSelection selection = selectionModel()->selection();
    QList<ItemNode *> nodes;
    qsizetype count = 0;
    for (const QItemSelectionRange &range : selection)
        count += range.height();
    nodes.reserve(count);
    bool ordered = true;
    for (const QItemSelectionRange &range : selection) {
        const ItemNode *parent = range.parent().isValid() ? m_model->nodeFromIndex(range.parent())
                                                          : m_model->root();
        if (parent == nullptr)
            continue;
        const std::vector<ItemNode *> &shown = parent->shownChildren();
        const int last = qMin(range.bottom(), int(shown.size()) - 1);
        for (int row = qMax(0, range.top()); row <= last; ++row) {
            ItemNode *node = shown[size_t(row)];
            if (ordered && !nodes.isEmpty() && !treeOrderLess(nodes.last(), node))
                ordered = false;
            nodes.append(node);
        }
    }
    // Tree order, each node once (ranges may come in any order and overlap).
    if (!ordered) {
        std::sort(nodes.begin(), nodes.end(), treeOrderLess);
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    }
    return nodes;
}

ItemNode *ItemTreeView::firstSelectedNode() const
{
    ItemNode *first = nullptr;
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        const ItemNode *parent = range.parent().isValid() ? m_model->nodeFromIndex(range.parent())
                                                          : m_model->root();
        if (parent == nullptr || range.top() < 0 ||
            range.top() >= int(parent->shownChildren().size()))
            continue;
        ItemNode *node = parent->shownChildren()[size_t(range.top())];
        if (first == nullptr || treeOrderLess(node, first))
            first = node;
    }
    return first;
}

ItemNode *ItemTreeView::singleSelectedNode() const
{
    const QItemSelection selection = selectionModel()->selection();
    if (selection.size() != 1 || selection.first().height() != 1)
        return nullptr;
    return firstSelectedNode();
}

void ItemTreeView::selectAll()
{
    if (!selectionModel())
        return;
    QModelIndex parent;
    if (currentIndex().isValid()) {
        parent = currentIndex().parent();
    } else if (const ItemNode *first = firstSelectedNode()) {
        parent = m_model->indexOf(first->parent);
    }
    const int rows = m_model->rowCount(parent);
    if (rows == 0)
        return;
    const QItemSelection all(m_model->index(0, 0, parent), m_model->index(rows - 1, 0, parent));
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ItemTreeView::followPointer()
{
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    if (!viewport()->rect().contains(pos) || !isVisible()) {
        setHotNode(nullptr);
        return;
    }
    setHotNode(m_model->nodeFromIndex(indexAt(QPoint(viewport()->width() / 2, pos.y()))));
}

namespace {
// A row's place in the order the view shows rows in: its top-level row, then its own row
// below it (a top-level row itself comes first).
std::pair<int, int> viewOrder(const QModelIndex &index)
{
    const QModelIndex parent = index.parent();
    return parent.isValid() ? std::pair(parent.row(), index.row()) : std::pair(index.row(), -1);
}
} // namespace

bool ItemTreeView::rowInSight(const QModelIndex &index) const
{
    if (!index.isValid())
        return false;
    const QModelIndex parent = index.parent();
    if (parent.isValid() && !isExpanded(parent))
        return false;
    // The first and the last row shown: found from the top of the view down, so only the
    // rows shown are measured.
    const int x = viewport()->width() / 2;
    const QModelIndex first = indexAt(QPoint(x, 0));
    if (!first.isValid())
        return false;
    QModelIndex last = indexAt(QPoint(x, viewport()->height() - 1));
    const auto at = viewOrder(index);
    if (at < viewOrder(first))
        return false;
    return !last.isValid() || at <= viewOrder(last);
}

QRect ItemTreeView::visualRect(const QModelIndex &index) const
{
    if (index.isValid() &&
        (m_model->nodeFromIndex(index) == m_model->view.edit || rowInSight(index)))
        return QTreeView::visualRect(index);
    // No rectangle: noted, so that a range from here is made by row (see setSelection).
    const QModelIndex parent = index.parent();
    const bool shown = index.isValid() && (!parent.isValid() || isExpanded(parent));
    m_unseenAsked[0] = m_unseenAsked[1];
    m_unseenAsked[1] = shown ? index : QModelIndex();
    return {};
}

void ItemTreeView::forgetUnseenAsked()
{
    m_unseenAsked[0] = m_unseenAsked[1] = QModelIndex();
}

void ItemTreeView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel() || rect.isNull())
        return;
    if (!(command & QItemSelectionModel::Current)) {
        // A click or a move without Shift: the one row at a place in sight.
        QTreeView::setSelection(rect, command);
        return;
    }
    executeDelayedItemsLayout();
    // The item view makes a range from the centre of the anchor's rectangle to the centre
    // of the new current row (keys) or the pointer (clicks, dragging). A row out of sight
    // has no rectangle here: its centre is that of an empty rectangle, and the anchor is the
    // row asked for last (the new current row is asked for beside it when both are out of
    // sight). A row not shown at all counts from the top row shown, as in any tree view.
    const QPoint none = QRect().center();
    const int x = viewport()->width() / 2;
    QModelIndex from;
    if (rect.topLeft() == none) {
        from = m_unseenAsked[1];
        if (rect.bottomRight() == none && from == currentIndex())
            from = m_unseenAsked[0].isValid() ? m_unseenAsked[0] : from;
    }
    if (!from.isValid())
        from = indexAt(QPoint(x, rect.top()));
    QModelIndex to;
    if (rect.bottomRight() == none)
        to = currentIndex();
    if (!to.isValid())
        to = indexAt(QPoint(x, rect.bottom()));
    if (!from.isValid() || !to.isValid()) {
        QTreeView::setSelection(rect, command);
        return;
    }
    from = from.siblingAtColumn(0);
    to = to.siblingAtColumn(0);
    // Only the siblings of the row the range goes to: between the two rows in view order
    // they are one run of rows.
    auto lo = viewOrder(from), hi = viewOrder(to);
    if (hi < lo)
        std::swap(lo, hi);
    const QModelIndex parent = to.parent();
    int first = 0;
    int last = 0;
    if (!parent.isValid()) {
        first = lo.second < 0 ? lo.first : lo.first + 1;
        last = hi.first;
    } else {
        const int top = parent.row();
        first = lo.first < top || lo.second < 0 ? 0 : lo.second;
        last = hi.first > top ? m_model->rowCount(parent) - 1 : hi.second;
    }
    if (first > last)
        return;
    const QItemSelection range(m_model->index(first, 0, parent), m_model->index(last, 0, parent));
    selectionModel()->select(range, command);
}

QRegion ItemTreeView::visualRegionForSelection(const QItemSelection &selection) const
{
    // The parts of the rows shown that the selection covers, checked against each range by
    // row numbers: a large selection is not walked row by row.
    QRegion region;
    if (selection.isEmpty())
        return region;
    const int x = viewport()->width() / 2;
    for (QModelIndex row = indexAt(QPoint(x, 0)); row.isValid(); row = indexBelow(row)) {
        const QRect rect = QTreeView::visualRect(row);
        if (rect.top() >= viewport()->height())
            break;
        const QModelIndex parent = row.parent();
        for (const QItemSelectionRange &range : selection) {
            if (range.parent() == parent && range.top() <= row.row() &&
                row.row() <= range.bottom()) {
                region += QRect(0, rect.top(), viewport()->width(), rect.height());
                break;
            }
        }
    }
    return region;
}

void ItemTreeView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (QAccessible::isActive()) {
        // The tree's own way tells assistive tools of the new row too.
        QTreeView::currentChanged(current, previous);
        return;
    }
    // As the tree view does it, with whole rows repainted through the rectangles above.
    QAbstractItemView::currentChanged(current, previous);
    for (const QModelIndex &index : {previous, current}) {
        const QRect rect = visualRect(index);
        if (rect.isValid())
            viewport()->update(QRect(0, rect.top(), viewport()->width(), rect.height()));
    }
}

void ItemTreeView::setHotNode(ItemNode *node)
{
    if (node == m_hotNode)
        return;
    ItemNode *old = m_hotNode;
    m_hotNode = node;
    for (ItemNode *changed : {old, node}) {
        const QModelIndex index = m_model->indexOf(changed);
        if (index.isValid())
            viewport()->update(visualRect(index).adjusted(-indentation() * 2, 0, 0, 0)
                                   .united(QRect(0, visualRect(index).top(), viewport()->width(),
                                                 visualRect(index).height())));
    }
    Q_EMIT hotNodeChanged(old, node);
}

int ItemTreeView::verticalOffset() const
{
    const int value = verticalScrollBar()->value();
    if (value == m_offsetFrom)
        return 0;
    // The heights of the rows between the two scroll values, walked from the top row shown.
    const int rows = qAbs(value - m_offsetFrom);
    QModelIndex row = indexAt(QPoint(viewport()->width() / 2, 0));
    int offset = 0;
    if (value > m_offsetFrom) {
        // Rows scrolled out above the top.
        for (int i = 0; i < rows && row.isValid(); ++i) {
            row = indexAbove(row);
            offset += rowHeight(row);
        }
        return offset;
    }
    for (int i = 0; i < rows && row.isValid(); ++i) {
        offset += rowHeight(row);
        row = indexBelow(row);
    }
    return -offset;
}

void ItemTreeView::mousePressEvent(QMouseEvent *event)
{
    forgetUnseenAsked();
    m_offsetFrom = verticalScrollBar()->value();
    QTreeView::mousePressEvent(event);
}

void ItemTreeView::mouseMoveEvent(QMouseEvent *event)
{
    forgetUnseenAsked();
    if (event->buttons() == Qt::NoButton)
        m_offsetFrom = verticalScrollBar()->value();
    QTreeView::mouseMoveEvent(event);
    // The whole row counts, not only the text.
    const QModelIndex index = indexAt(QPoint(viewport()->width() / 2, event->position().toPoint().y()));
    setHotNode(m_model->nodeFromIndex(index));
}

void ItemTreeView::leaveEvent(QEvent *event)
{
    QTreeView::leaveEvent(event);
    setHotNode(nullptr);
}

void ItemTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!indexAt(event->position().toPoint()).isValid()) {
        Q_EMIT emptySpaceDoubleClicked();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void ItemTreeView::keyPressEvent(QKeyEvent *event)
{
    bool handled = false;
    Q_EMIT keyCommand(event, &handled);
    if (handled)
        return;
    forgetUnseenAsked();
    QTreeView::keyPressEvent(event);
}

bool ItemTreeView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        // The tree's hint belongs to the space below the rows; over a row there is none.
        const auto *help = static_cast<QHelpEvent *>(event);
        if (indexAt(help->pos()).isValid() || toolTip().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), toolTip(), viewport());
        return true;
    }
    if (event->type() == QEvent::Resize) {
        // Wrapped rows change height with the width, whatever changed it: the window, or
        // the vertical scroll bar coming or going. The edited row changes with the height.
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->size().width() != resize->oldSize().width() || m_model->view.edit)
            relayoutRows();
    }
    return QTreeView::viewportEvent(event);
}

bool ItemTreeView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (trigger == QAbstractItemView::EditKeyPressed) {
        // Every edit goes the list's own way, which opens the editor itself.
        Q_EMIT editRequested(index);
        return true;
    }
    return QTreeView::edit(index, trigger, event);
}

void ItemTreeView::selectionChanged(const QItemSelection &selected,
                                    const QItemSelection &deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    if (m_fixingSelection)
        return;
    // Only siblings are selected together: keep the ones sharing the current row's parent.
    // Ranges, not rows: a run of any length is one range.
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty())
        return;
    const QModelIndex anchorParent =
        currentIndex().isValid() ? currentIndex().parent() : selection.first().parent();
    QItemSelection strays;
    for (const QItemSelectionRange &range : selection) {
        if (range.parent() != anchorParent)
            strays.append(range);
    }
    if (strays.isEmpty())
        return;
    m_fixingSelection = true;
    selectionModel()->select(strays, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    m_fixingSelection = false;
}

// ---- drag and drop inside the tree ------------------------------------------------------

void ItemTreeView::startDrag(Qt::DropActions)
{
    if (selectedNodes().isEmpty())
        return;
    auto *drag = new QDrag(this);
    auto *mime = new QMimeData;
    mime->setData(ItemTreeModel::DragMimeType, QByteArray());
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    // No mouse move comes before the pointer moves again: the row under it is hot now.
    followPointer();
}

void ItemTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->source() != this) {
        event->ignore();
        return;
    }
    QTreeView::dragEnterEvent(event);
    event->acceptProposedAction();
}

void ItemTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    QTreeView::dragMoveEvent(event); // drop mark and scrolling at the edges
    if (event->source() != this) {
        event->ignore();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    ItemNode *node = m_model->nodeFromIndex(index);
    ItemNode *target = nullptr;
    if (!dropTargetAt(event->position().toPoint(), &target)) {
        event->ignore(); // never over the first dragged row
        return;
    }
    // The highlight follows the pointer while dragging too.
    setHotNode(m_model->nodeFromIndex(
        indexAt(QPoint(viewport()->width() / 2, event->position().toPoint().y()))));
    // A top-level row with children under the pointer opens at once.
    if (node && node->level() == 0 && !node->children.empty() && !isExpanded(index))
        expand(index);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

bool ItemTreeView::dropTargetAt(const QPoint &pos, ItemNode **target) const
{
    ItemNode *node = m_model->nodeFromIndex(indexAt(pos));
    const QList<ItemNode *> dragged = selectedNodes();
    if (node && !dragged.isEmpty() && node == dragged.first())
        return false;
    if (node && node->level() == 1)
        node = node->parent; // a child stands for its parent
    *target = node;
    return true;
}

void ItemTreeView::dropEvent(QDropEvent *event)
{
    ItemNode *node = nullptr;
    if (event->source() != this || !dropTargetAt(event->position().toPoint(), &node)) {
        event->ignore();
        return;
    }
    // The rows move here; the view must not remove them again.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    Q_EMIT dropRequested(node);
}

// ---- tree lines and grid lines ----------------------------------------------------------

QColor ItemTreeView::treeLineColor() const
{
    return palette().color(QPalette::Dark);
}

QColor ItemTreeView::gridLineColor() const
{
    return palette().color(QPalette::Midlight);
}

QRect ItemTreeView::expandButtonRect(const QModelIndex &index) const
{
    const QRect row = visualRect(index);
    if (!row.isValid())
        return {};
    // In the row's own column of the branch area, beside its cell (left of it, right of it
    // in a right-to-left layout), centred on the first line of text, which starts
    // ItemDelegate::Margin below the row's top.
    const int indent = indentation();
    const int x = isRightToLeft() ? row.right() + 1 + (indent - 1 - indent / 2)
                                  : row.left() - indent + indent / 2;
    const int y = row.top() + ItemDelegate::Margin + fontMetrics().height() / 2;
    return QRect(x - 4, y - 4, 9, 9);
}

void ItemTreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const
{
    QTreeView::drawRow(painter, option, index);
    // A horizontal grid line under each row, over the whole width.
    painter->save();
    painter->setPen(gridLineColor());
    const int y = option.rect.bottom();
    painter->drawLine(0, y, viewport()->width(), y);
    painter->restore();
}

void ItemTreeView::drawBranches(QPainter *painter, const QRect &rect,
                                const QModelIndex &index) const
{
    // Solid tree lines, lines at the root included, and the expand button aligned to the top
    // of the row. Only the row's own ancestors are looked at: nothing walks other rows.
    // The lines are laid out left to right and drawn mirrored in a right-to-left layout,
    // where the branch area lies right of the cell.
    painter->save();
    const int indent = indentation();
    const bool reverse = isRightToLeft();
    auto at = [&](int x) { return reverse ? rect.left() + rect.right() - x : x; };
    auto line = [&](int x1, int y1, int x2, int y2) { painter->drawLine(at(x1), y1, at(x2), y2); };
    const QRect button = expandButtonRect(index);
    const int midY = button.center().y();
    const int own = rect.right() + 1 - indent; // the row's own column, counted left to right
    painter->setPen(treeLineColor());
    auto hasNextSibling = [this](const QModelIndex &of) {
        return of.row() + 1 < m_model->rowCount(of.parent());
    };
    // Lines through the row for every ancestor that has siblings below it.
    int column = own - indent;
    for (QModelIndex up = index.parent(); up.isValid() && column >= rect.left() - indent;
         up = up.parent(), column -= indent) {
        if (hasNextSibling(up)) {
            const int x = column + indent / 2;
            line(x, rect.top(), x, rect.bottom());
        }
    }
    // The row's own line: down from the row above (not for the very first row), across to
    // the text, and on down when a sibling follows.
    const int x = own + indent / 2;
    const bool first = !index.parent().isValid() && index.row() == 0;
    line(x, first ? midY : rect.top(), x, hasNextSibling(index) ? rect.bottom() : midY);
    line(x, midY, own + indent - 1, midY);
    if (m_model->hasChildren(index)) {
        const int cx = button.center().x();
        painter->fillRect(button, palette().color(QPalette::Base));
        painter->drawRect(button.adjusted(0, 0, -1, -1));
        painter->setPen(palette().color(QPalette::Text));
        painter->drawLine(cx - 2, midY, cx + 2, midY);
        if (!isExpanded(index))
            painter->drawLine(cx, midY - 2, cx, midY + 2);
    }
    painter->restore();
}
