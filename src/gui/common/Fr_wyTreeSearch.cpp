// The list frames' filter and search box: which rows show, search mode, the search button.
#include "Fr_wyTree.h"

#include "pU_Boxes.h"
#include "storage/Statements.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QToolButton>

void TwyTreeFrame::ApplyFilter()
{
    FHotNode = nullptr;
    m_model->view.hot = nullptr;
    const bool searching = FSearching && !FSearchText.isEmpty();
    const bool byRange = filtersByRange();
    // The texts are searched in one block; the records are read only for the range.
    const std::vector<char> matches =
        searching ? m_model->textMatches(FSearchText) : std::vector<char>();
    size_t next = 0;
    auto hides = [&](const ItemNode *node) {
        const bool unmatched = searching && !matches[next++];
        return unmatched || (byRange && hiddenByRange(node));
    };
    bool anyShown = false;
    QList<ItemNode *> expandForSearch;
    for (const auto &top : m_model->root()->children) {
        ItemNode *parent = top.get();
        parent->hidden = hides(parent);
        bool childShown = false;
        for (const auto &child : parent->children) {
            child->hidden = hides(child.get());
            childShown = childShown || !child->hidden;
        }
        if (childShown) {
            parent->hidden = false; // shown for the sake of its children
            if (searching && !parent->expanded)
                expandForSearch.append(parent);
        }
        anyShown = anyShown || !parent->hidden;
    }
    m_model->refreshShown();
    // A matching child comes into view: its parent opens, and that is stored. Many parents
    // may open at once: their rows are written with one statement, in the background (the
    // first character of a search opens thousands on a long list).
    if (!expandForSearch.isEmpty()) {
        const QScopedValueRollback<bool> many(m_expandingMany, true);
        std::vector<ItemNode *> opened;
        {
            const QScopedValueRollback<std::vector<ItemNode *> *> together(m_openedTogether,
                                                                           &opened);
            for (ItemNode *parent : std::as_const(expandForSearch))
                m_tree->expand(m_model->indexOf(parent));
        }
        if (!opened.empty()) {
            RunCommand([&] {
                QStringList keys;
                keys.reserve(qsizetype(opened.size()));
                for (const ItemNode *node : opened)
                    keys.append(node->info->key);
                m_statements->updateExpandKeysInBackground(keys, true);
                for (ItemNode *node : opened)
                    node->info->expandFlag = true;
            });
        }
    }
    applyExpandedState();
    if (FSearching)
        ShowTip(anyShown ? Tip::None : Tip::NoResult);
    else
        ShowTip(Tip::None);
    afterFilter();
    // Rows the filter hid leave the selection without a change notification: the commands
    // and the status bar follow what is selected now.
    const ItemNode *selected = m_tree->singleSelectedNode();
    if (selected != m_reportedNode)
        onSelectionChanged();
}

void TwyTreeFrame::enterSearch()
{
    if (FSearching)
        return;
    Edt_Search->clear();
    FSearching = true;
    // Typing follows: the copy of the texts a search reads is made now, not at the first
    // character.
    m_model->textMatches(QString());
    Btn_Search->setIcon(commandImage(m_config.imageClearSearch));
    Btn_Search->setToolTip(QStringLiteral("Clear search"));
    Btn_Search->setAccessibleName(QStringLiteral("Clear search"));
}

void TwyTreeFrame::searchTextChanged(const QString &text)
{
    FSearchText = text.trimmed();
    ApplyFilter();
}

void TwyTreeFrame::leaveSearch()
{
    if (!Edt_Search->text().trimmed().isEmpty())
        return; // a search stays in force after the focus has gone
    FSearching = false;
    m_model->releaseTextCopy();
    returnFreedMemory();
    Btn_Search->setIcon(commandImage(m_config.imageSearch));
    Btn_Search->setToolTip(QString());
    Btn_Search->setAccessibleName(QStringLiteral("Search"));
    if (!Edt_Search->text().isEmpty()) {
        const QSignalBlocker blocker(Edt_Search);
        Edt_Search->clear();
    }
}

void TwyTreeFrame::Btn_SearchClick()
{
    if (!FSearching) {
        Edt_Search->setFocus();
        return;
    }
    {
        const QSignalBlocker blocker(Edt_Search);
        Edt_Search->clear();
    }
    FSearchText.clear();
    leaveSearch();
    ApplyFilter();
    m_tree->setFocus();
}

void TwyTreeFrame::focusSearch()
{
    if (FEditNode || !isVisible())
        return;
    Edt_Search->setFocus(Qt::ShortcutFocusReason);
    Edt_Search->selectAll();
}

void TwyTreeFrame::returnFocusTo(ItemNode *node)
{
    QWidget *shell = window();
    if (shell->isVisible() && !shell->isMinimized()) {
        shell->raise();
        shell->activateWindow();
    }
    const QModelIndex index = node ? m_model->indexOf(node) : QModelIndex();
    if (index.isValid())
        m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_tree->setFocus(Qt::OtherFocusReason);
}

bool TwyTreeFrame::eventFilter(QObject *object, QEvent *event)
{
    if (object == Edt_Search) {
        if (event->type() == QEvent::FocusIn)
            enterSearch();
        else if (event->type() == QEvent::FocusOut)
            leaveSearch();
        else if (event->type() == QEvent::KeyPress &&
                 static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            RunCommand([this] { Btn_SearchClick(); });
            return true;
        }
    }
    return QWidget::eventFilter(object, event);
}
