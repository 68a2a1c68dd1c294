// The list frames' editing commands: add, add child, in-place edit, delete, copy, paste,
// select all and deselect, and which commands are enabled.
#include "Fr_wyTree.h"

#include "storage/PastedItem.h"
#include "common/Texts.h"
#include "pU_Boxes.h"
#include "common/EngineError.h"
#include "storage/Statements.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QSqlQuery>
#include <QTextCursor>

void TwyTreeFrame::setEditNode(ItemNode *node)
{
    FEditNode = node;
    m_model->view.edit = node;
    if (node)
        refreshNode(node); // measured again for editing
    UpdateActions();
}

void TwyTreeFrame::addItem()
{
    if (FEditNode)
        return;
    prepareAdd();
    auto info = newRecord();
    info->pid = Texts::RootKey;
    ItemNode *node = m_model->appendNode(nullptr, std::move(info));
    setEditNode(node);
    postMessage(WM_FRAME_EDIT);
    UpdateActions();
}

void TwyTreeFrame::addChildItem()
{
    if (FEditNode)
        return;
    prepareAdd();
    ItemNode *parent = firstSelected();
    if (parent && parent->level() == 1)
        parent = parent->parent;
    if (parent == nullptr && !m_model->root()->children.empty())
        parent = m_model->root()->children.back().get();
    if (parent == nullptr) {
        TipBox(m_config.selectPrompt);
        return;
    }
    auto info = newRecord();
    info->pid = parent->info->key;
    ItemNode *node = m_model->appendNode(parent, std::move(info));
    setEditNode(node);
    postMessage(WM_FRAME_EDIT);
    UpdateActions();
}

void TwyTreeFrame::editItem()
{
    if (FEditNode)
        return;
    ItemNode *node = firstSelected();
    if (node == nullptr)
        return;
    setEditNode(node);
    postMessage(WM_FRAME_EDIT);
    UpdateActions();
}

void TwyTreeFrame::openPendingEditor()
{
    ShowTip(Tip::FinishEdit);
    if (FEditNode == nullptr) {
        // No editor comes: the keys typed for it go where they would have gone.
        std::vector<std::unique_ptr<QKeyEvent>> keys;
        keys.swap(m_keysForEditor);
        for (auto &key : keys)
            QCoreApplication::sendEvent(m_tree, key.get());
        return;
    }
    ItemNode *node = FEditNode;
    // A hidden node is shown for editing; a collapsed parent opens.
    if (node->shownRow() < 0 || (node->parent->level() == 0 && node->parent->shownRow() < 0)) {
        node->hidden = false;
        if (node->parent->level() == 0)
            node->parent->hidden = false;
        m_model->refreshShown();
        applyExpandedState();
    }
    if (node->level() == 1)
        m_tree->expand(m_model->indexOf(node->parent));
    const QModelIndex index = m_model->indexOf(node);
    // The edited row becomes the focused one; the selection stays as it is (a held Ctrl
    // from Ctrl+Enter must not toggle it).
    m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_tree->scrollTo(index);
    m_tree->edit(index);
    passKeysToEditor();
}

void TwyTreeFrame::endEditing(bool store)
{
    if (QWidget *editor = m_tree->openEditor())
        m_tree->rowDelegate()->finishEditing(editor, store);
}

void TwyTreeFrame::onTextEdited(const QModelIndex &index, const QString &text)
{
    ItemNode *node = m_model->nodeFromIndex(index);
    if (node == nullptr)
        node = FEditNode;
    if (node == nullptr)
        return;
    ItemInfo &info = *node->info;
    const bool isNew = info.key.isEmpty();
    const QString storedKey = info.key;
    const QString storedContent = info.content;
    const TDateTime storedEditTime = info.editTime;
    const TDateTime storedCreateTime = info.createTime;
    info.content = ItemTreeModel::storedText(text);
    m_model->textChanged();
    info.editTime = NowDays();
    try {
        if (isNew) {
            info.createTime = info.editTime;
            insertNewItem(node);
        } else {
            m_statements->updateContent(info.key, info.content, info.editTime);
            // The row may have gone while the user typed (a sync took it away): the text
            // is not lost, it is stored as a new item in its place.
            QSqlQuery &row = m_statements->selectByKey(info.key);
            const bool gone = !row.next();
            row.finish();
            if (gone) {
                info.key.clear();
                info.createTime = info.editTime;
                insertNewItem(node);
            }
        }
    } catch (...) {
        // Nothing was stored. A new item stays unstored with the typed text; a stored one
        // keeps its stored text.
        if (isNew) {
            info.key.clear();
        } else {
            info.key = storedKey;
            info.content = storedContent;
            info.editTime = storedEditTime;
            info.createTime = storedCreateTime;
        }
        throw;
    }
    // The filter runs once the editor has gone.
    m_filterAfterEdit = true;
}

void TwyTreeFrame::reopenEditor(ItemNode *node, const QString &text)
{
    if (FEditNode)
        return;
    setEditNode(node);
    openPendingEditor();
    if (auto *editor = qobject_cast<InPlaceEditor *>(m_tree->openEditor())) {
        editor->setPlainText(text);
        editor->moveCursor(QTextCursor::End);
        editor->document()->setModified(true);
    }
    UpdateActions();
}

void TwyTreeFrame::onEditorClosed(QWidget *, QAbstractItemDelegate::EndEditHint hint)
{
    ItemNode *node = FEditNode;
    FEditNode = nullptr;
    m_model->view.edit = nullptr;
    const bool cancelled = hint == QAbstractItemDelegate::RevertModelCache;
    if (node) {
        if (!node->info->key.isEmpty() || (!cancelled && !node->info->content.isEmpty())) {
            refreshNode(node);
            if (!cancelled) {
                const QModelIndex index = m_model->indexOf(node);
                m_tree->selectionModel()->clearSelection();
                m_tree->selectionModel()->select(index, QItemSelectionModel::Select |
                                                            QItemSelectionModel::Rows);
                m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            }
            ShowTip(Tip::None);
        } else {
            postMessage(WM_FRAME_DROP_NODE, node);
        }
    }
    if (m_filterAfterEdit) {
        m_filterAfterEdit = false;
        ApplyFilter();
    }
    UpdateActions();
    m_tree->setFocus();
    // Rows read in the background waited for the edit to end.
    if (isLoadingInBackground())
        QMetaObject::invokeMethod(
            this, [this] { RunCommand([this] { takeLoadedRows(); }); }, Qt::QueuedConnection);
}

void TwyTreeFrame::dropNode(ItemNode *node)
{
    // Only a node that is still in the tree (the message found it) and was never stored goes.
    if (node && node->info->key.isEmpty() && node != FEditNode)
        m_model->removeNode(node);
    ShowTip(Tip::None);
}

void TwyTreeFrame::deleteItems()
{
    if (FEditNode)
        return;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty())
        return;
    if (!AskBox(QStringLiteral("Are you sure you want to delete ") +
                (nodes.size() == 1 ? m_config.deleteOne : m_config.deleteMany)))
        return;
    // Every record goes with one statement, or none does; then the rows go together.
    QStringList keys;
    keys.reserve(nodes.size());
    for (const ItemNode *node : nodes) {
        if (!node->info->key.isEmpty())
            keys.append(node->info->key.toString());
    }
    m_statements->deleteItems(keys);
    for (ItemNode *node : nodes) {
        if (node == FHotNode || (FHotNode && FHotNode->parent == node)) {
            FHotNode = nullptr;
            m_model->view.hot = nullptr;
        }
    }
    m_model->removeNodes(std::vector<ItemNode *>(nodes.begin(), nodes.end()));
    ApplyFilter();
    returnFreedMemory();
    UpdateActions();
}

void TwyTreeFrame::copyItems()
{
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty())
        return;
    QStringList texts;
    for (const ItemNode *node : nodes)
        texts.append(node->info->content);
    QApplication::clipboard()->setText(texts.join(QLatin1Char('\r')));
}

void TwyTreeFrame::pasteItem()
{
    pasteText(QApplication::clipboard()->text());
}

void TwyTreeFrame::pasteText(const QString &text)
{
    // What the user was typing is stored before the pasted item comes.
    endEditing(true);
    storePastedText(text, Texts::RootKey);
}

ItemNode *TwyTreeFrame::storePastedText(const QString &text, const QString &parentKey)
{
    ItemNode *parent = nullptr;
    if (parentKey != Texts::RootKey) {
        parent = topLevelNode(parentKey);
        if (parent == nullptr)
            throw TasklumeError(PastedItem::NoParentMessage(m_config.reportList, parentKey));
    }
    auto info = newRecord();
    PastedItem::Fill(*info, text, parentKey);
    ItemNode *node = m_model->appendNode(parent, std::move(info));
    try {
        insertPastedItem(node);
    } catch (...) {
        m_model->removeNode(node);
        throw;
    }
    refreshNode(node);
    // A parent stored as expanded shows its children, the first one too.
    if (parent && parent->expanded)
        m_tree->expand(m_model->indexOf(parent));
    UpdateActions();
    return node;
}

ItemNode *TwyTreeFrame::topLevelNode(const QString &key) const
{
    for (const auto &top : m_model->root()->children) {
        if (top->info->key == key && !key.isEmpty())
            return top.get();
    }
    return nullptr;
}

void TwyTreeFrame::selectAllItems()
{
    m_tree->setFocus();
    // The current row's siblings (the first selected row's without one), as one range.
    m_tree->selectAll();
}

void TwyTreeFrame::deselectItems()
{
    m_tree->selectionModel()->clearSelection();
}

void TwyTreeFrame::UpdateActions()
{
    const QList<QAction *> shared{m_add,      m_addChild,  m_edit,     m_delete,
                                  m_copy,     m_paste,     m_selectAll, m_deselect,
                                  m_viewList, m_viewAsc,   m_expandAll, m_collapseAll};
    for (QAction *action : shared)
        action->setEnabled(false);
    for (QAction *action : std::as_const(m_notYet))
        action->setEnabled(false);
    updateReportActions();
    disableOwnActions();
    // The Move-to menus list every other top-level item: they are filled when they open,
    // not at each change of the selection.
    for (QMenu *menu : {m_moveMenuPopup, m_moveMenuMain}) {
        if (menu) {
            connect(menu, &QMenu::aboutToShow, this, &TwyTreeFrame::fillMoveMenus,
                    Qt::UniqueConnection);
            menu->clear();
            menu->setEnabled(false);
        }
    }
    if (FEditNode)
        return;
    for (QAction *action : {m_add, m_addChild, m_copy, m_paste, m_selectAll, m_deselect,
                            m_viewList, m_viewAsc, m_expandAll, m_collapseAll})
        action->setEnabled(true);
    const bool selection = m_tree->selectionModel()->hasSelection();
    m_edit->setEnabled(selection);
    m_delete->setEnabled(selection);
    if (selection) {
        // A child can always go to the top level; a top-level item to any other one.
        const ItemNode *first = firstSelected();
        const bool targets = first && (first->level() == 1 || m_model->root()->children.size() > 1);
        for (QMenu *menu : {m_moveMenuPopup, m_moveMenuMain}) {
            if (menu)
                menu->setEnabled(targets);
        }
    }
    updateOwnActions(selection);
}
