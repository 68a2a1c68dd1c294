#include "Fr_wyTree.h"

#include "ColorCodes.h"
#include "common/IniFile.h"
#include "interchange/Dm_Io.h"
#include "storage/PastedItem.h"
#include "pU_Boxes.h"
#include "common/EngineError.h"
#include "storage/Statements.h"
#include "common/Texts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <malloc.h>

namespace {

// Hands the memory that a large release left free back to the system: the allocator keeps
// it otherwise, and a long session would hold the peak of every search and of every
// opening of all rows.
void returnFreedMemory()
{
    malloc_trim(0);
}

// A tool bar with a background picture stretched over it.
class BitmapToolBar : public QToolBar
{
public:
    BitmapToolBar(const QPixmap &background, QWidget *parent)
        : QToolBar(parent), m_background(background)
    {
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (ColorCodes::suitsPalette(m_background, palette())) {
            QPainter painter(this);
            painter.drawPixmap(rect(), m_background);
            return;
        }
        QToolBar::paintEvent(event);
    }

private:
    const QPixmap &m_background;
};

class BitmapBar : public QWidget
{
public:
    BitmapBar(const QPixmap &background, QWidget *parent)
        : QWidget(parent), m_background(background)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (ColorCodes::suitsPalette(m_background, palette()))
            painter.drawPixmap(rect(), m_background);
        else
            painter.fillRect(rect(), palette().color(QPalette::Window));
    }

private:
    const QPixmap &m_background;
};

class ClickLabel : public QLabel
{
public:
    using QLabel::QLabel;
    std::function<void()> clicked;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && clicked)
            clicked();
    }
};

const QString kTipAdd = QStringLiteral("Click here to Add a new Item.");
const QString kTipEdit = QStringLiteral("Click here to finish Edit. Press Esc cancel.");
const QString kTipNoResult = QStringLiteral("Search no result");

} // namespace

TwyTreeFrame::TwyTreeFrame(FrameHost &host, FrameConfig config, ItemTreeModel *model,
                           std::unique_ptr<ItemStatements> statements, QWidget *parent)
    : QWidget(parent), m_host(host), m_config(std::move(config)), m_model(model),
      m_statements(std::move(statements))
{
    m_model->setParent(this);
    QFont frameFont = font();
    setFont(frameFont);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar_Top = new BitmapToolBar(m_host.bitmaps().toolbarBackground, this);
    ToolBar_Top->setObjectName(QStringLiteral("ToolBar_Top"));
    ToolBar_Top->setIconSize(QSize(22, 22));
    ToolBar_Top->setMovable(false);
    layout->addWidget(ToolBar_Top);

    m_tree = new ItemTreeView(m_model, m_host.bitmaps(), this);
    m_tree->imageForIndex = [this](int index) { return image(index); };
    m_tree->setToolTip(m_config.treeHint);
    layout->addWidget(m_tree, 1);

    Panel_tip = new QFrame(this);
    Panel_tip->setObjectName(QStringLiteral("Panel_tip"));
    static_cast<QFrame *>(Panel_tip)->setFrameShape(QFrame::Panel);
    static_cast<QFrame *>(Panel_tip)->setFrameShadow(QFrame::Sunken);
    Panel_tip->setAutoFillBackground(true);
    QPalette tipPalette = Panel_tip->palette();
    tipPalette.setColor(QPalette::Window, QColor(255, 255, 225));
    Panel_tip->setPalette(tipPalette);
    Image_Tip = new QLabel(Panel_tip);
    Image_Tip->setGeometry(4, 4, 16, 16);
    auto *tipLabel = new ClickLabel(Panel_tip);
    label_tip = tipLabel;
    label_tip->setObjectName(QStringLiteral("label_tip"));
    label_tip->setWordWrap(true);
    label_tip->setCursor(Qt::PointingHandCursor);
    QFont tipFont = label_tip->font();
    tipFont.setUnderline(true);
    label_tip->setFont(tipFont);
    QPalette labelPalette = label_tip->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label_tip->setPalette(labelPalette);
    label_tip->move(24, 4);
    tipLabel->clicked = [this] { RunCommand([this] { tipClicked(); }); };
    Panel_tip->hide();
    layout->addWidget(Panel_tip);

    ToolBar_Bottom = new BitmapBar(m_host.bitmaps().searchbarBackground, this);
    ToolBar_Bottom->setObjectName(QStringLiteral("ToolBar_Bottom"));
    auto *bottom = new QHBoxLayout(ToolBar_Bottom);
    bottom->setContentsMargins(4, 4, 4, 4);
    bottom->setSpacing(10);
    Edt_Search = new QLineEdit(ToolBar_Bottom);
    Edt_Search->setObjectName(QStringLiteral("Edt_Search"));
    Edt_Search->setToolTip(QStringLiteral("Input search string"));
    Edt_Search->setPlaceholderText(QStringLiteral("  Search..."));
    Btn_Search = new QToolButton(ToolBar_Bottom);
    Btn_Search->setObjectName(QStringLiteral("Btn_Search"));
    Btn_Search->setAutoRaise(true);
    Btn_Search->setIconSize(QSize(16, 16));
    bottom->addWidget(Edt_Search, 1);
    bottom->addWidget(Btn_Search);
    layout->addWidget(ToolBar_Bottom);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("WyStatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    // Each panel's border lies 2 pixels outside its control and 1 above and below it: the
    // last panel keeps room on the right and every panel at the bottom, so that each border
    // is drawn whole.
    m_statusBar->setContentsMargins(0, 0, 3, 1);
    StatusImage = new QLabel(m_statusBar);
    StatusImage->setObjectName(QStringLiteral("StatusImage"));
    StatusImage->setFixedSize(21, 16);
    StatusImage->setAlignment(Qt::AlignCenter);
    StatusImage->setPixmap(IconArt::icon(IconId::StatusBulb).pixmap(QSize(16, 16), devicePixelRatioF()));
    m_statusText = new QLabel(m_statusBar);
    m_statusText->setObjectName(QStringLiteral("StatusText"));
    m_statusBar->addWidget(StatusImage);
    m_statusBar->addWidget(m_statusText, 1);
    layout->addWidget(m_statusBar);

    Timer_HotDelay = new QTimer(this);
    Timer_HotDelay->setInterval(300);
    Timer_HotDelay->setSingleShot(false);
    connect(Timer_HotDelay, &QTimer::timeout, this, &TwyTreeFrame::onHotDelay);

    // The shared commands.
    m_add = makeAction(m_config.add);
    connect(m_add, &QAction::triggered, this, [this] { RunCommand([this] { addItem(); }); });
    m_addChild = makeAction(m_config.addChild);
    connect(m_addChild, &QAction::triggered, this, [this] { RunCommand([this] { addChildItem(); }); });
    m_edit = makeAction(m_config.edit);
    connect(m_edit, &QAction::triggered, this, [this] { RunCommand([this] { editItem(); }); });
    m_delete = makeAction(m_config.remove);
    connect(m_delete, &QAction::triggered, this, [this] { RunCommand([this] { deleteItems(); }); });
    m_copy = makeAction(m_config.copy);
    connect(m_copy, &QAction::triggered, this, [this] { RunCommand([this] { copyItems(); }); });
    m_paste = makeAction(m_config.paste);
    connect(m_paste, &QAction::triggered, this, [this] { RunCommand([this] { pasteItem(); }); });
    m_selectAll = makeAction(m_config.selectAll);
    connect(m_selectAll, &QAction::triggered, this, [this] { selectAllItems(); });
    m_deselect = makeAction(m_config.deselect);
    connect(m_deselect, &QAction::triggered, this, [this] { deselectItems(); });
    m_viewList = makeAction(m_config.viewList);
    m_viewList->setCheckable(true);
    connect(m_viewList, &QAction::triggered, this, [this] { RunCommand([this] { toggleListView(); }); });

    connect(m_tree, &QTreeView::expanded, this,
            [this](const QModelIndex &index) { onExpandedChanged(index, true); });
    connect(m_tree, &QTreeView::collapsed, this,
            [this](const QModelIndex &index) { onExpandedChanged(index, false); });
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TwyTreeFrame::onSelectionChanged);
    connect(m_tree->itemDelegate_(), &ItemDelegate::textEdited, this,
            [this](const QModelIndex &index, const QString &text) {
                ItemNode *node = m_model->nodeFromIndex(index);
                if (node == nullptr)
                    node = FEditNode;
                // A text that could not be stored is not thrown away: once the user has
                // read why, the editor opens again with it, to be stored again or given up
                // with Esc. The editor that failed closes first.
                if (!RunCommand([&] { onTextEdited(index, text); }) && node)
                    QMetaObject::invokeMethod(
                        this, [this, node, text] { reopenEditor(node, text); },
                        Qt::QueuedConnection);
            });
    connect(m_tree->itemDelegate_(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *editor, QAbstractItemDelegate::EndEditHint hint) {
                RunCommand([&] { onEditorClosed(editor, hint); });
            });
    connect(m_tree, &ItemTreeView::keyCommand, this, &TwyTreeFrame::onKey);
    connect(m_tree, &ItemTreeView::editRequested, this, [this](const QModelIndex &index) {
        // The tree's own edit requests (F2) take the same two steps as the command.
        if (FEditNode)
            return;
        if (ItemNode *node = m_model->nodeFromIndex(index)) {
            setEditNode(node);
            postMessage(WM_FRAME_EDIT);
        }
    });
    connect(m_tree, &ItemTreeView::emptySpaceDoubleClicked, this, [this] {
        if (!FEditNode)
            postMessage(WM_FRAME_ADD);
    });
    connect(m_tree, &ItemTreeView::hotNodeChanged, this, &TwyTreeFrame::onHotNodeChanged);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &TwyTreeFrame::onContextMenu);
    connect(m_tree, &ItemTreeView::dropRequested, this, &TwyTreeFrame::onDrop);

    Edt_Search->installEventFilter(this);
    connect(Edt_Search, &QLineEdit::textChanged, this,
            [this](const QString &text) { RunCommand([&] { searchTextChanged(text); }); });
    connect(Btn_Search, &QToolButton::clicked, this,
            [this] { RunCommand([this] { Btn_SearchClick(); }); });
    Btn_Search->setIcon(commandImage(m_config.imageSearch));

    m_viewAsc = makeAction(m_config.viewAsc);
    connect(m_viewAsc, &QAction::triggered, this,
            [this] { RunCommand([this] { toggleSortDirection(); }); });
    m_expandAll = makeAction(m_config.expandAll);
    connect(m_expandAll, &QAction::triggered, this, [this] { RunCommand([this] { expandAll(); }); });
    m_collapseAll = makeAction(m_config.collapseAll);
    connect(m_collapseAll, &QAction::triggered, this,
            [this] { RunCommand([this] { collapseAll(); }); });
    m_imageOfferAsc = m_config.imageOfferAsc;
    m_imageOfferDesc = m_config.imageOfferDesc;
}

TwyTreeFrame::~TwyTreeFrame() = default;

QAction *TwyTreeFrame::makeAction(const FrameConfig::Command &command)
{
    auto *action = new QAction(command.caption, this);
    action->setObjectName(command.name);
    if (!command.hint.isEmpty())
        action->setToolTip(command.hint);
    if (command.image >= 0)
        action->setIcon(commandImage(command.image));
    // Key names in captions are text: the tree handles the keys.
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

void TwyTreeFrame::buildSharedMenus(QAction *exportItems, QAction *saveAll, QAction *print)
{
    PopupMenu_Null = makeMenu(QString());
    PopupMenu_Null->setObjectName(QStringLiteral("PopupMenu_Null"));
    PopupMenu_Null->addActions({m_add, m_addChild});
    PopupMenu_Null->addSeparator();
    PopupMenu_Null->addAction(m_paste);

    auto common = [this](CommonAction id) { return m_host.commonAction(id); };
    m_fileMenu = makeMenu(QStringLiteral("&File"));
    m_fileMenu->addAction(common(CommonAction::Options));
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({common(CommonAction::DbBackup), common(CommonAction::DbRestore)});
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({exportItems, common(CommonAction::Import)});
    exportItems->setEnabled(true); // never disabled
    connect(exportItems, &QAction::triggered, this,
            [this] { RunCommand([this] { exportSelected(); }); });
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({saveAll, print});
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(common(CommonAction::StayOnTop));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(common(CommonAction::Close));

    m_editMenu = makeMenu(QStringLiteral("&Edit"));
    m_editMenu->addActions({m_copy, m_paste});
    m_editMenu->addSeparator();
    m_editMenu->addActions({m_selectAll, m_deselect});

    m_helpMenu = makeMenu(QStringLiteral("&Help"));
    m_helpMenu->addAction(common(CommonAction::HelpContents));
    m_helpMenu->addSeparator();
    m_helpMenu->addActions({common(CommonAction::Contact), common(CommonAction::Suggestion)});
    m_helpMenu->addSeparator();
    m_helpMenu->addActions({common(CommonAction::Website), common(CommonAction::Update)});
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(common(CommonAction::About));
}

void TwyTreeFrame::exportSelected()
{
    if (FEditNode)
        return;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty()) {
        WarningBox(m_config.selectPrompt);
        return;
    }
    QString fileName;
    if (runExportDialog) {
        fileName = runExportDialog();
    } else {
        QFileDialog dialog(window());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Ploxen Database,  (*.wyx)"));
        dialog.setDefaultSuffix(QStringLiteral("wyx"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            fileName = dialog.selectedFiles().first();
    }
    if (fileName.isEmpty())
        return;
    if (m_config.reportList == Reports::ListKind::Tasks)
        WriteTasksFile(fileName, nodes);
    else
        WriteMemosFile(fileName, nodes);
}

QMenu *TwyTreeFrame::makeMenu(const QString &title)
{
    auto *menu = new QMenu(title, this);
    menu->setSeparatorsCollapsible(false);
    return menu;
}

QAction *TwyTreeFrame::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

QIcon TwyTreeFrame::image(int index) const
{
    const auto it = m_config.images.constFind(index);
    if (it == m_config.images.cend())
        return {};
    return IconArt::icon(*it);
}

QIcon TwyTreeFrame::commandImage(int index) const
{
    const auto it = m_config.images.constFind(index);
    if (it == m_config.images.cend())
        return {};
    return IconArt::commandIcon(*it);
}

void TwyTreeFrame::postMessage(FrameMessage message, ItemNode *node)
{
    QMetaObject::invokeMethod(
        this, [this, message, node] { RunCommand([&] { handleMessage(message, node); }); },
        Qt::QueuedConnection);
}

void TwyTreeFrame::sendMessage(FrameMessage message, ItemNode *node)
{
    RunCommand([&] { handleMessage(message, node); });
}

void TwyTreeFrame::handleMessage(FrameMessage message, ItemNode *node)
{
    switch (message) {
    case WM_FRAME_RELOAD:
        reloadItems();
        break;
    case WM_FRAME_ACTIVATE:
        activate();
        break;
    case WM_FRAME_ADD:
        addItem();
        break;
    case WM_FRAME_EDIT:
        openPendingEditor();
        break;
    case WM_FRAME_DROP_NODE:
        dropNode(node);
        break;
    }
}

void TwyTreeFrame::shutdown()
{
    Timer_HotDelay->stop();
    endEditing(true);
}

// ---- reload -----------------------------------------------------------------------------

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

    // The rows are counted as they are read: every row, orphans and a third level too.
    LoadStats stats;
    ItemForest forest = m_statements->loadForest(&stats);
    const int count = stats.rows;
    reportCount(count);
    // A settings file that cannot be written is reported, but the list still loads.
    RunCommand([&] {
        const IniFile &ini = m_host.ini();
        ini.writeInteger(QStringLiteral("log"), m_config.logPrivate, count);
        ini.writeInteger(QStringLiteral("log"), m_config.logPublic, 0);
    });
    FLoading = false;

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

// ---- display ----------------------------------------------------------------------------

void TwyTreeFrame::ShowTip(Tip tip)
{
    if (tip == Tip::None && m_model->root()->shownChildren().empty())
        tip = Tip::AddItem;
    currentTip = tip;
    switch (tip) {
    case Tip::None:
        FTipKind = 0;
        break;
    case Tip::AddItem:
        FTipKind = m_config.tipKindAdd;
        break;
    case Tip::FinishEdit:
        FTipKind = m_config.tipKindEdit;
        break;
    case Tip::NoResult:
        FTipKind = m_config.tipKindNoResult;
        break;
    }
    if (tip == Tip::None) {
        Panel_tip->hide();
        label_tip->clear();
        return;
    }
    const int imageIndex = tip == Tip::AddItem      ? m_config.tipImageAdd
                           : tip == Tip::FinishEdit ? m_config.tipImageEdit
                                                    : m_config.tipImageNoResult;
    Image_Tip->setPixmap(image(imageIndex).pixmap(QSize(16, 16), devicePixelRatioF()));
    layoutTip();
    Panel_tip->show();
}

void TwyTreeFrame::layoutTip()
{
    const QString text = currentTip == Tip::AddItem      ? kTipAdd
                         : currentTip == Tip::FinishEdit ? kTipEdit
                                                         : kTipNoResult;
    const int width = qMax(40, this->width() - label_tip->x() - 4);
    label_tip->setText(text);
    label_tip->setFixedWidth(width);
    // Measured with the font itself: a label on a tab not shown yet measures its text
    // as if it had no width to speak of.
    const QMargins margins = label_tip->contentsMargins();
    const int extra = 2 * label_tip->margin();
    const int textWidth = qMax(1, width - margins.left() - margins.right() - extra);
    const QRect bounds = QFontMetrics(label_tip->font())
                             .boundingRect(QRect(0, 0, textWidth, 100000),
                                           int(label_tip->alignment()) | Qt::TextWordWrap, text);
    const int height = bounds.height() + margins.top() + margins.bottom() + extra;
    label_tip->setFixedHeight(height);
    Panel_tip->setFixedHeight(height + 8);
}

void TwyTreeFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The tip wraps again at the new width, also while its tab is not the one shown.
    if (!Panel_tip->isHidden())
        layoutTip();
}

void TwyTreeFrame::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!Panel_tip->isHidden())
        layoutTip();
}

void TwyTreeFrame::tipClicked()
{
    switch (currentTip) {
    case Tip::AddItem:
        addItem();
        break;
    case Tip::FinishEdit:
        endEditing(true);
        break;
    case Tip::NoResult:
        Btn_SearchClick();
        break;
    case Tip::None:
        break;
    }
}

void TwyTreeFrame::showNextStatusTip()
{
    StatusImage->show();
    m_statusText->setText(Texts::StatusTips[NextRandom(6)]);
}

void TwyTreeFrame::reportNode(const ItemNode *node)
{
    m_reportedNode = node;
    if (node == nullptr) {
        showNextStatusTip();
        return;
    }
    StatusImage->hide();
    m_statusText->setText(statusText(node));
}

void TwyTreeFrame::onSelectionChanged()
{
    UpdateActions();
    const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
    reportNode(rows.size() == 1 ? m_model->nodeFromIndex(rows.first()) : nullptr);
}

void TwyTreeFrame::onHotNodeChanged(ItemNode *, ItemNode *newNode)
{
    if (!m_model->view.list)
        return;
    Timer_HotDelay->stop();
    if (newNode)
        Timer_HotDelay->start();
}

void TwyTreeFrame::onHotDelay()
{
    Timer_HotDelay->stop();
    ItemNode *hot = m_tree->hotNode();
    if (hot == nullptr || hot == FHotNode)
        return;
    ItemNode *old = FHotNode;
    FHotNode = hot;
    m_model->view.hot = hot;
    m_model->nodeChanged(hot);
    if (old)
        m_model->nodeChanged(old);
}

void TwyTreeFrame::refreshNode(ItemNode *node)
{
    m_model->nodeChanged(node);
}

ItemNode *TwyTreeFrame::firstSelected() const
{
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    return nodes.isEmpty() ? nullptr : nodes.first();
}

// ---- commands ---------------------------------------------------------------------------

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
    if (FEditNode == nullptr)
        return;
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
}

void TwyTreeFrame::endEditing(bool store)
{
    if (QWidget *editor = m_tree->openEditor())
        m_tree->itemDelegate_()->finishEditing(editor, store);
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
    const QString storedContent = info.content;
    const TDateTime storedEditTime = info.editTime;
    info.content = ItemTreeModel::storedText(text);
    m_model->textChanged();
    info.editTime = NowDays();
    try {
        if (isNew) {
            info.createTime = info.editTime;
            insertNewItem(node);
        } else {
            m_statements->updateContent(info.key, info.content, info.editTime);
        }
    } catch (...) {
        // Nothing was stored. A new item stays unstored with the typed text; a stored one
        // keeps its stored text.
        if (isNew) {
            info.key.clear();
        } else {
            info.content = storedContent;
            info.editTime = storedEditTime;
        }
        throw;
    }
    // The filter runs once the editor has gone.
    m_filterAfterEdit = true;
}

void TwyTreeFrame::reopenEditor(ItemNode *node, const QString &text)
{
    bool present = false;
    m_model->forEachNode([&](ItemNode *candidate) { present = present || candidate == node; });
    if (!present || FEditNode)
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
}

void TwyTreeFrame::dropNode(ItemNode *node)
{
    // Only a node that is still in the tree and was never stored goes.
    bool present = false;
    m_model->forEachNode([&](ItemNode *candidate) { present = present || candidate == node; });
    if (present && node->info->key.isEmpty() && node != FEditNode)
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
    // Every record goes in one transaction, or none does; then the rows go together.
    writeTogether([&] {
        for (ItemNode *node : nodes) {
            if (!node->info->key.isEmpty())
                m_statements->deleteItem(node->info->key);
        }
    });
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
    const ItemNode *anchor = m_model->nodeFromIndex(m_tree->currentIndex());
    if (anchor == nullptr)
        anchor = firstSelected();
    const ItemNode *parent = anchor ? anchor->parent : m_model->root();
    QItemSelection selection;
    for (ItemNode *node : parent->shownChildren()) {
        const QModelIndex index = m_model->indexOf(node);
        selection.select(index, index);
    }
    m_tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
}

void TwyTreeFrame::deselectItems()
{
    m_tree->selectionModel()->clearSelection();
}

void TwyTreeFrame::toggleListView()
{
    if (FLoading)
        return;
    m_model->view.list = m_viewList->isChecked();
    m_host.ini().writeBool(m_config.section, QStringLiteral("viewListEn"), m_model->view.list);
    m_tree->relayoutRows();
}

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
    // may open at once: their rows are written with one statement.
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
                m_statements->updateExpandKeys(keys, true);
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
    const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
    const ItemNode *selected = rows.size() == 1 ? m_model->nodeFromIndex(rows.first()) : nullptr;
    if (selected != m_reportedNode)
        onSelectionChanged();
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

// ---- keys and pointer -------------------------------------------------------------------

void TwyTreeFrame::onKey(QKeyEvent *event, bool *handled)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    *handled = true;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !ctrl)
        RunCommand([this] { addItem(); });
    else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && ctrl)
        RunCommand([this] { addChildItem(); });
    else if (key == Qt::Key_Delete)
        RunCommand([this] { deleteItems(); });
    else if (ctrl && key == Qt::Key_C)
        RunCommand([this] { copyItems(); });
    else if (ctrl && key == Qt::Key_V)
        RunCommand([this] { pasteItem(); });
    else if (ctrl && key == Qt::Key_A)
        selectAllItems();
    else if (ctrl && key == Qt::Key_F12)
        m_host.commonAction(CommonAction::Close)->trigger();
    else
        *handled = handleOwnKey(event);
}

void TwyTreeFrame::onContextMenu(const QPoint &pos)
{
    FMouseX = pos.x();
    FMouseY = pos.y();
    const QModelIndex index = m_tree->indexAt(pos);
    if (index.isValid() && !m_tree->selectionModel()->isRowSelected(index.row(), index.parent())) {
        m_tree->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    QMenu *menu = index.isValid() ? PopupMenu_Item : PopupMenu_Null;
    if (menu)
        menu->popup(m_tree->viewport()->mapToGlobal(pos));
}

// ---- views, sorting, search and moving --------------------------------------------------

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
        for (const auto &top : m_model->root()->children) {
            ItemNode *target = top.get();
            if (target == first || target == first->parent)
                continue;
            QAction *item = menu->addAction(FlattenLines(target->info->content));
            connect(item, &QAction::triggered, this,
                    [this, target] { RunCommand([&] { moveSelectedTo(target, true); }); });
        }
        menu->setEnabled(!menu->isEmpty());
    }
}

void TwyTreeFrame::moveSelectedTo(ItemNode *target, bool asFirst)
{
    if (FEditNode)
        return;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty())
        return;
    ItemNode *root = m_model->root();
    ItemNode *newParent = target ? target : root;
    const QString newPid = target ? target->info->key.toString() : Texts::RootKey;
    QList<ItemNode *> moved;
    auto write = [&](ItemNode *node) {
        m_statements->updateParent(node->info->key, newPid);
        node->info->pid = newPid;
    };
    for (ItemNode *node : nodes) {
        if (node == target)
            continue; // the target itself stays where it is
        // Children of a top-level item moving under another item keep two levels: they
        // follow it as children of the same target.
        QList<ItemNode *> family{node};
        if (target && node->level() == 0) {
            for (const auto &child : node->children)
                family.append(child.get());
        }
        int index = asFirst ? 0 : int(newParent->children.size());
        for (ItemNode *member : std::as_const(family)) {
            m_model->moveNode(member, newParent, index++);
            write(member);
            if (member != node) {
                member->info->expandFlag = false;
                member->expanded = false;
            }
        }
        moved.append(node);
    }
    m_model->refreshShown();
    for (ItemNode *node : std::as_const(moved)) {
        const QModelIndex index = m_model->indexOf(node);
        if (index.isValid())
            m_tree->selectionModel()->select(index, QItemSelectionModel::Deselect |
                                                        QItemSelectionModel::Rows);
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
