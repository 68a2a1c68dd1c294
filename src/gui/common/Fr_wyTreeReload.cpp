// The list frames' loading: rebuilding the tree from the database, the expanded state of
// the top-level items (stored per row) with Expand All and Collapse All, and activation.
#include "Fr_wyTree.h"

#include "common/IniFile.h"
#include "pU_Boxes.h"
#include "common/EngineError.h"
#include "storage/Statements.h"

#include "storage/BackgroundWrites.h"
#include "storage/Database.h"

#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
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
    quint64 serial = 0;   // the reload it belongs to
    quint64 revision = 0; // the tree's revision when it began
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
        if (!node->info->key.isEmpty())
            node->info->expandFlag = false;
        node->expanded = false;
    }
}
