// The list frames' loading: rebuilding the tree from the database, the expanded state of
// the top-level items (stored per row) with Expand All and Collapse All, and activation.
#include "Fr_wyTree.h"

#include "common/EngineError.h"
#include "common/IniFile.h"
#include "common/Texts.h"
#include "pU_Boxes.h"
#include "storage/Statements.h"

#include "storage/BackgroundWrites.h"
#include "storage/Database.h"

#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QThread>
#include <QUrl>

#include <optional>

void TwyTreeFrame::readViewSettings()
{
    const bool list = m_host.ini().readBool(m_config.section, QStringLiteral("viewListEn"), false);
    m_viewList->setChecked(list);
    m_model->view.list = list;
    FAscending = m_host.ini().readBool(m_config.section, QStringLiteral("viewAscEn"), true);
    showSortDirection();
}

void TwyTreeFrame::reloadItems()
{
    beginReload();
    // The rows are counted as they are read: every row, orphans and a third level too.
    LoadStats stats;
    ItemForest forest = m_statements->loadForest(&stats);
    finishReload(std::move(forest), stats);
}

void TwyTreeFrame::beginReload()
{
    ++m_reloadSerial;
    // What the user is typing is stored before the tree goes.
    endEditing(true);
    FLoading = true;
    FFocusDone = false;
    FEditNode = nullptr;
    FHotNode = nullptr;
    m_model->view.edit = nullptr;
    m_model->view.hot = nullptr;
    m_model->clear();
    m_reportedNode = nullptr;
    FTipKind = 0;
    currentTip = Tip::None;

    readViewSettings();
}

void TwyTreeFrame::finishReload(ItemForest forest, const LoadStats &stats, bool sorted)
{
    const int count = stats.rows;
    reportCount(count);
    // A settings file that cannot be written is reported, but the list still loads.
    RunCommand([&] {
        const IniFile &ini = m_host.ini();
        ini.writeInteger(QStringLiteral("log"), m_config.logPrivate, count);
        ini.writeInteger(QStringLiteral("log"), m_config.logPublic, 0);
    });
    FLoading = false;

    if (sorted)
        m_model->resetSortedForest(std::move(forest), FAscending);
    else
        m_model->resetForest(std::move(forest));

    // Search mode ends first, so that the one filter of the new tree runs without a search
    // (a search from before the reload neither hides rows nor opens parents of the new one).
    {
        const QSignalBlocker blocker(Edt_Search);
        Edt_Search->clear();
    }
    FSearchText.clear();
    FSearching = false;
    leaveSearch();
    ApplyFilter();
    UpdateActions();

    afterReload();

    m_tree->setToolTip(m_config.treeHint);
    showNextStatusTip();
    Q_EMIT reloaded();
}

struct TwyTreeFrame::BackgroundLoad
{
    ItemForest forest;
    LoadStats stats;
    QString error;
    quint64 serial = 0;    // the reload it belongs to
    quint64 revision = 0;  // the tree's revision when it began
    bool ascending = true; // the order the rows were sorted in
};

void TwyTreeFrame::reloadInBackground()
{
    if (m_loader) {
        m_loadAgain = true; // the rows are read again once this reading is done
        return;
    }
    beginReload();
    FLoading = false; // the settings are read; the tree is empty until the rows come
    QString path = m_host.database().databaseName();
    if (path.startsWith(QLatin1String("file:")))
        path = QUrl(path.section(QLatin1Char('?'), 0, 0)).toLocalFile();
    auto load = std::make_shared<BackgroundLoad>();
    load->serial = m_reloadSerial;
    load->revision = m_model->revision();
    load->ascending = FAscending;
    // The list's statements for the reading thread, made there on its own connection.
    std::shared_ptr<const ItemStatements> statements(m_statements->onConnection(QSqlDatabase()));
    m_loader.reset(QThread::create([path, load, statements, ascending = FAscending] {
        // Writes queued before are read back.
        BackgroundWrites::waitForAll();
        const QString name = QStringLiteral("tasklume-load-%1").arg(quintptr(load.get()));
        try {
            {
                std::unique_ptr<ItemStatements> reader =
                    statements->onConnection(Database::openExisting(path, name));
                load->forest = reader->loadForest(&load->stats);
            }
            // Sorted here as the list shows them, so that showing them sorts nothing.
            ItemTreeModel::sortForest(load->forest, ascending);
            Database::close(name);
        } catch (const std::exception &error) {
            load->forest.clear();
            load->error = QString::fromUtf8(error.what());
            Database::close(name);
        }
    }));
    connect(m_loader.get(), &QThread::finished, this, [this, load] {
        m_loader->wait();
        m_loader.reset();
        m_loadedWaiting = load;
        RunCommand([this] { takeLoadedRows(); });
    });
    m_loader->start(QThread::LowPriority);
}

void TwyTreeFrame::takeLoadedRows()
{
    if (!m_loadedWaiting)
        return;
    // An edit in progress keeps its tree: the rows are taken when it has ended.
    if (FEditNode)
        return;
    std::shared_ptr<BackgroundLoad> load = std::move(m_loadedWaiting);
    if (load->serial != m_reloadSerial)
        return; // the tree was reloaded meanwhile: those rows are newer
    if (std::exchange(m_loadAgain, false) || load->revision != m_model->revision()) {
        // Items were stored meanwhile (added, pasted): they are read with the rest.
        reloadInBackground();
        return;
    }
    if (!load->error.isEmpty()) {
        // Read here instead, where a failure is reported as at any reload.
        reloadItems();
        return;
    }
    const bool sorted = load->ascending == FAscending;
    finishReload(std::move(load->forest), load->stats, sorted);
    if (!sorted) // the direction changed meanwhile
        sortTree();
}

bool TwyTreeFrame::isLoadingInBackground() const
{
    return m_loader != nullptr || m_loadedWaiting != nullptr;
}

void TwyTreeFrame::reloadKeepingPlace()
{
    endEditing(true);
    const ItemNode *current = m_model->nodeFromIndex(m_tree->currentIndex());
    const std::optional<NodeHandle> place =
        current ? std::optional<NodeHandle>(handleOf(current)) : std::nullopt;
    const bool searching = FSearching;
    const QString searchText = Edt_Search->text();
    const int scroll = m_tree->verticalScrollBar()->value();

    reloadItems();
    sortTree(); // new rows take their places in the order shown

    if (searching) {
        enterSearch();
        Edt_Search->setText(searchText);
    }
    if (place) {
        if (ItemNode *node = resolve(*place)) {
            const QModelIndex index = m_model->indexOf(node);
            if (index.isValid())
                m_tree->selectionModel()->setCurrentIndex(
                    index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
    }
    m_tree->verticalScrollBar()->setValue(scroll);
}

bool TwyTreeFrame::applyChangedRows(const QStringList &keys)
{
    // Many changes, an edit, or rows not read yet: the whole tree is read anew instead.
    constexpr qsizetype kRowByRowMost = 2000;
    if (keys.size() > kRowByRowMost || FEditNode || isLoadingInBackground())
        return false;
    if (keys.isEmpty())
        return true;
    std::vector<std::unique_ptr<ItemInfo>> rows = m_statements->loadByKeys(keys);
    // The changed keys and the parents the rows read name: only those nodes are looked for,
    // in one pass that compares each node's key of 16 bytes.
    QSet<RowKey> changed;
    for (const QString &key : keys)
        changed.insert(RowKey(key));
    QSet<RowKey> wanted = changed;
    for (const auto &info : rows)
        wanted.insert(info->pid);
    QHash<RowKey, ItemNode *> nodes; // the nodes of the changed keys
    QHash<RowKey, ItemNode *> tops;  // the top-level nodes among those wanted
    for (const auto &top : m_model->root()->children) {
        if (wanted.contains(top->info->key)) {
            tops.insert(top->info->key, top.get());
            if (changed.contains(top->info->key))
                nodes.insert(top->info->key, top.get());
        }
        for (const auto &child : top->children) {
            if (changed.contains(child->info->key))
                nodes.insert(child->info->key, child.get());
        }
    }
    // Top-level rows first, so that a new child finds its new parent.
    std::stable_partition(rows.begin(), rows.end(), [](const std::unique_ptr<ItemInfo> &info) {
        return info->pid == Texts::RootKey;
    });
    QSet<RowKey> present;
    for (const auto &info : rows) {
        present.insert(info->key);
        const bool topLevel = info->pid == Texts::RootKey;
        ItemNode *node = nodes.value(info->key);
        ItemNode *parent = topLevel ? m_model->root() : tops.value(info->pid);
        // A row whose parent is not shown, or a row with children that became a child:
        // only a whole reading puts those where they belong.
        if (parent == nullptr || (node && !topLevel && !node->children.empty()) ||
            (parent != m_model->root() && parent->parent != m_model->root()))
            return false;
    }
    const bool wasSorted = m_model->isSorted(FAscending);
    const int scroll = m_tree->verticalScrollBar()->value();
    // Rows deleted here by the sync (their children go with them).
    std::vector<ItemNode *> gone;
    for (auto it = nodes.cbegin(); it != nodes.cend(); ++it) {
        if (!present.contains(it.key()))
            gone.push_back(it.value());
    }
    if (!gone.empty()) {
        // Children that stay (moved up by the sync) leave a parent that goes first.
        for (ItemNode *node : gone) {
            std::vector<ItemNode *> staying;
            for (const auto &child : node->children) {
                if (present.contains(child->info->key))
                    staying.push_back(child.get());
            }
            for (ItemNode *child : staying)
                m_model->moveNode(child, m_model->root(), int(m_model->root()->children.size()));
        }
        for (ItemNode *node : gone) {
            if (node == FHotNode || (FHotNode && FHotNode->parent == node)) {
                FHotNode = nullptr;
                m_model->view.hot = nullptr;
            }
            tops.remove(node->info->key);
        }
        m_model->removeNodes(gone);
    }
    std::vector<ItemNode *> placed;
    for (auto &info : rows) {
        const bool topLevel = info->pid == Texts::RootKey;
        ItemNode *parent = topLevel ? m_model->root() : tops.value(info->pid);
        ItemNode *node = nodes.value(info->key);
        if (node) {
            // The record changes in place; the node keeps its row, selection and open state.
            if (topLevel)
                node->expanded = info->expandFlag;
            else
                info->expandFlag = node->info->expandFlag;
            node->info = std::move(info);
            if (node->parent != parent)
                m_model->moveNode(node, parent, int(parent->children.size()));
        } else {
            const bool expanded = topLevel && info->expandFlag;
            node =
                m_model->appendNode(parent == m_model->root() ? nullptr : parent, std::move(info));
            node->expanded = expanded;
            if (topLevel)
                tops.insert(node->info->key, node);
        }
        placed.push_back(node);
    }
    m_model->textChanged();
    // Each changed row goes where the sort puts it among its siblings (after its equals, as
    // a stable sort of a new row would); the rest keep their places.
    if (wasSorted) {
        for (ItemNode *node : placed) {
            ItemNode *parent = node->parent;
            auto &siblings = parent->children;
            const int from = node->position();
            std::unique_ptr<ItemNode> owned = std::move(siblings[size_t(from)]);
            siblings.erase(siblings.begin() + from);
            const auto at = std::upper_bound(
                siblings.begin(), siblings.end(), node,
                [this](const ItemNode *value, const std::unique_ptr<ItemNode> &other) {
                    const int order =
                        ItemTreeModel::compareTexts(value->info->content, other->info->content);
                    return FAscending ? order < 0 : order > 0;
                });
            const int to = int(at - siblings.begin());
            siblings.insert(siblings.begin() + from, std::move(owned));
            m_model->moveNode(node, parent, to);
        }
    }
    // Shown rows, the search and the view range as before.
    if ((FSearching && !FSearchText.isEmpty()) || filtersByRange())
        ApplyFilter();
    else
        m_model->refreshShown();
    if (wasSorted)
        m_model->markSorted(FAscending);
    for (ItemNode *node : placed) {
        refreshNode(node);
        if (node->level() == 0 && !node->shownChildren().empty()) {
            const QModelIndex index = m_model->indexOf(node);
            if (index.isValid() && node->expanded != m_tree->isExpanded(index)) {
                const QScopedValueRollback<bool> many(m_expandingMany, true);
                node->expanded ? m_tree->expand(index) : m_tree->collapse(index);
            }
        }
    }
    m_tree->verticalScrollBar()->setValue(scroll);
    reportCount(m_model->nodeCount());
    afterReload();
    UpdateActions();
    return true;
}

void TwyTreeFrame::applyExpandedState()
{
    // Expanding here writes nothing: the records already hold the state.
    for (ItemNode *top : m_model->root()->shownChildren()) {
        if (top->expanded && !top->shownChildren().empty())
            m_tree->expand(m_model->indexOf(top));
    }
}

void TwyTreeFrame::onExpandedChanged(const QModelIndex &index, bool expanded)
{
    ItemNode *node = m_model->nodeFromIndex(index);
    if (node == nullptr || node->level() != 0)
        return;
    // An item without children has nothing to show: it is never expanded, so nothing is
    // stored for it, whoever asks (Expand All, a drag crossing it).
    if (expanded && node->children.empty())
        return;
    node->expanded = expanded;
    if (node->info->expandFlag == expanded || node->info->key.isEmpty())
        return;
    if (m_expandFlagsTogether) {
        node->info->expandFlag = expanded; // the caller writes every row at once
        return;
    }
    if (m_openedTogether) {
        m_openedTogether->push_back(node); // the caller writes them at once
        return;
    }
    RunCommand([&] {
        m_statements->updateExpand(node->info->key, expanded);
        node->info->expandFlag = expanded;
    });
    if (!m_expandingMany)
        UpdateActions();
}

void TwyTreeFrame::writeTogether(const std::function<void()> &writes)
{
    QSqlDatabase db = m_host.database();
    const bool own = db.transaction();
    try {
        writes();
        if (own && !db.commit())
            throw TasklumeError(EngineErrorText(db.driver(), db.lastError()));
    } catch (...) {
        if (own)
            db.rollback();
        throw;
    }
}

void TwyTreeFrame::activate()
{
    m_host.installMenus(MainMenu1);
    sortTree();
    if (!FFocusDone) {
        m_tree->setFocus();
        FFocusDone = true;
    }
}

void TwyTreeFrame::expandAll()
{
    setAllExpanded(true);
}

void TwyTreeFrame::collapseAll()
{
    setAllExpanded(false);
    returnFreedMemory();
}

void TwyTreeFrame::setAllExpanded(bool expanded)
{
    // The rows are laid out once afterwards. Every top-level row is written with one
    // statement, stored in the background: on a long list that writes thousands of pages,
    // and the window answers meanwhile. Whatever uses the database next waits for it.
    m_tree->deferLayout();
    const QScopedValueRollback<bool> many(m_expandingMany, true);
    {
        const QScopedValueRollback<bool> together(m_expandFlagsTogether, true);
        if (expanded)
            expandEvery();
        else
            collapseEvery();
    }
    m_statements->updateExpandTopLevelInBackground(expanded);
    UpdateActions();
}

void TwyTreeFrame::expandEvery()
{
    for (const auto &top : m_model->root()->children) {
        ItemNode *node = top.get();
        if (node->children.empty())
            continue; // nothing to expand
        const QModelIndex index = m_model->indexOf(node);
        // Only rows with children shown open in the view; the others, hidden ones too,
        // show their children opened when they have some.
        if (index.isValid() && !node->shownChildren().empty())
            m_tree->expand(index);
        else if (!node->info->key.isEmpty())
            node->info->expandFlag = true;
        node->expanded = true;
    }
}

void TwyTreeFrame::collapseEvery()
{
    // Only top-level rows have children, so the view closes all of them at once rather
    // than row by row.
    m_tree->collapseAll();
    for (const auto &top : m_model->root()->children) {
        ItemNode *node = top.get();
        if (node->children.empty())
            continue; // nothing to collapse, nothing stored
        if (!node->info->key.isEmpty())
            node->info->expandFlag = false;
        node->expanded = false;
    }
}
