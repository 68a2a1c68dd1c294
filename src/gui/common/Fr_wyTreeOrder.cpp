// The order the list frames show their rows in: list view, sorting and its direction, and
// moving items by the Move-to menus and by dragging.
#include "Fr_wyTree.h"

#include "common/IniFile.h"
#include "common/Texts.h"
#include "MoveChooser.h"
#include "pU_Boxes.h"
#include "storage/Statements.h"

#include <QAction>
#include <QMenu>

void TwyTreeFrame::toggleListView()
{
    if (FLoading)
        return;
    m_model->view.list = m_viewList->isChecked();
    m_host.ini().writeBool(m_config.section, QStringLiteral("viewListEn"), m_model->view.list);
    m_tree->relayoutRows();
}

void TwyTreeFrame::showSortDirection()
{
    // The button offers the other direction.
    m_viewAsc->setIcon(commandImage(FAscending ? m_imageOfferDesc : m_imageOfferAsc));
    m_viewAsc->setToolTip(FAscending ? QStringLiteral("Descending Sort")
                                     : QStringLiteral("Ascending Sort"));
}

void TwyTreeFrame::sortTree()
{
    endEditing(true);
    // Each activation sorts: a tree that has not changed since stays as it is.
    if (m_model->sortAll(FAscending))
        m_model->refreshShown();
}

void TwyTreeFrame::toggleSortDirection()
{
    FAscending = !FAscending;
    showSortDirection();
    sortTree();
    m_host.ini().writeBool(m_config.section, QStringLiteral("viewAscEn"), FAscending);
}

namespace {
// A Move-to menu lists its targets itself up to this many; a longer list shows the first ones
// and a chooser with all of them, which scrolls and is narrowed by typing.
constexpr size_t kMoveMenuMost = 30;
constexpr size_t kMoveMenuFirst = 25;
} // namespace

std::vector<ItemNode *> TwyTreeFrame::moveTargets(size_t most) const
{
    std::vector<ItemNode *> targets;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty())
        return targets;
    const ItemNode *first = nodes.first();
    for (const auto &top : m_model->root()->children) {
        ItemNode *target = top.get();
        if (target == first || target == first->parent)
            continue;
        if (targets.size() == most)
            break;
        targets.push_back(target);
    }
    return targets;
}

void TwyTreeFrame::fillMoveMenus()
{
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    // The menu that opens, or both.
    QMenu *opening = qobject_cast<QMenu *>(sender());
    for (QMenu *menu : {m_moveMenuPopup, m_moveMenuMain}) {
        if (menu == nullptr || (opening && menu != opening))
            continue;
        menu->clear();
        if (nodes.isEmpty() || FEditNode) {
            menu->setEnabled(false);
            continue;
        }
        const ItemNode *first = nodes.first();
        if (first->level() == 1) {
            QAction *root = menu->addAction(QStringLiteral("Root"));
            connect(root, &QAction::triggered, this,
                    [this] { RunCommand([this] { moveSelectedTo(nullptr, true); }); });
            menu->addSeparator();
        }
        // One more than a menu lists tells whether the chooser is needed.
        std::vector<ItemNode *> targets = moveTargets(kMoveMenuMost + 1);
        const bool chooser = targets.size() > kMoveMenuMost;
        if (chooser)
            targets.resize(kMoveMenuFirst);
        for (ItemNode *target : targets) {
            QAction *item = menu->addAction(FlattenLines(target->info->content));
            connect(item, &QAction::triggered, this,
                    [this, target] { RunCommand([&] { moveSelectedTo(target, true); }); });
        }
        if (chooser) {
            menu->addSeparator();
            QAction *more = menu->addAction(QStringLiteral("&More..."));
            more->setObjectName(QStringLiteral("Action_MoveToMore"));
            connect(more, &QAction::triggered, this,
                    [this] { RunCommand([this] { chooseMoveTarget(); }); });
        }
        menu->setEnabled(!menu->isEmpty());
    }
}

void TwyTreeFrame::chooseMoveTarget()
{
    if (FEditNode)
        return;
    ItemNode *target = nullptr;
    {
        MoveChooser chooser(moveTargets(size_t(-1)), window());
        // Rows that go while it is open (a sync's changes) end the choice.
        const auto gone = [&chooser] { chooser.reject(); };
        connect(m_model, &QAbstractItemModel::modelAboutToBeReset, &chooser, gone);
        connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, &chooser, gone);
        if (chooser.exec() == QDialog::Accepted)
            target = chooser.chosen();
    }
    // The chooser's list of every target is let go.
    returnFreedMemory();
    if (target && !m_tree->selectedNodes().isEmpty())
        moveSelectedTo(target, true);
}

void TwyTreeFrame::moveSelectedTo(ItemNode *target, bool asFirst)
{
    if (FEditNode)
        return;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty())
        return;
    ItemNode *newParent = target ? target : m_model->root();
    const QString newPid = target ? target->info->key.toString() : Texts::RootKey;
    // Each moved row with its family: children of a top-level item moving under another item
    // keep two levels, they follow it as children of the same target. Moved as the first
    // children, each row goes before the ones moved ahead of it; moved to the end, after them.
    std::vector<std::vector<ItemNode *>> families;
    families.reserve(size_t(nodes.size()));
    bool targetSelected = false;
    for (ItemNode *node : nodes) {
        if (node == target) {
            targetSelected = true;
            continue; // the target itself stays where it is
        }
        std::vector<ItemNode *> family{node};
        if (target && node->level() == 0) {
            for (const auto &child : node->children)
                family.push_back(child.get());
        }
        families.push_back(std::move(family));
    }
    if (asFirst)
        std::reverse(families.begin(), families.end());
    std::vector<ItemNode *> block;
    QStringList keys;
    for (const auto &family : families) {
        for (ItemNode *member : family) {
            block.push_back(member);
            if (!member->info->key.isEmpty())
                keys.append(member->info->key.toString());
        }
    }
    // Stored first, with one statement: a move that could not be stored is not shown.
    m_statements->updateParents(keys, newPid);
    for (const auto &family : families) {
        for (ItemNode *member : family) {
            member->info->pid = newPid;
            if (member != family.front()) {
                member->info->expandFlag = false;
                member->expanded = false;
            }
        }
    }
    m_model->moveNodes(block, newParent, asFirst ? 0 : int(newParent->children.size()));
    m_model->refreshShown();
    // The moved rows leave the selection; the target stays selected when it was.
    if (targetSelected && m_model->indexOf(target).isValid()) {
        m_tree->selectionModel()->select(m_model->indexOf(target),
                                         QItemSelectionModel::ClearAndSelect |
                                             QItemSelectionModel::Rows);
    } else {
        m_tree->selectionModel()->clearSelection();
    }
    if (target) {
        target->expanded = true;
        const QModelIndex index = m_model->indexOf(target);
        if (index.isValid())
            m_tree->expand(index);
    }
    applyExpandedState();
    UpdateActions();
}

void TwyTreeFrame::onDrop(ItemNode *target)
{
    RunCommand([&] { moveSelectedTo(target, false); });
    // Rows moved under a pointer that has not moved: the highlight goes to the row now
    // under it at once, not at the next mouse move.
    m_tree->followPointer();
}
