#include "Fr_wyTree.h"

#include "IniFile.h"
#include "Texts.h"
#include "pU_Boxes.h"
#include "storage/Statements.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

TwyTreeFrame::TwyTreeFrame(FrameHost &host, FrameConfig config, ItemTreeModel *model,
                           std::unique_ptr<ItemStatements> statements, QWidget *parent)
    : QWidget(parent), m_host(host), m_config(std::move(config)), m_model(model),
      m_statements(std::move(statements))
{
    m_model->setParent(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar_Top = new QToolBar(this);
    ToolBar_Top->setObjectName(QStringLiteral("ToolBar_Top"));
    ToolBar_Top->setIconSize(QSize(22, 22));
    layout->addWidget(ToolBar_Top);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("tree"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setWordWrap(true);
    m_tree->setUniformRowHeights(false);
    m_tree->setToolTip(m_config.treeHint);
    layout->addWidget(m_tree, 1);

    Panel_tip = new QWidget(this);
    Panel_tip->setObjectName(QStringLiteral("Panel_tip"));
    auto *tipLayout = new QHBoxLayout(Panel_tip);
    label_tip = new QLabel(Panel_tip);
    label_tip->setWordWrap(true);
    tipLayout->addWidget(label_tip);
    Panel_tip->hide();
    layout->addWidget(Panel_tip);

    ToolBar_Bottom = new QToolBar(this);
    ToolBar_Bottom->setObjectName(QStringLiteral("ToolBar_Bottom"));
    ToolBar_Bottom->setIconSize(QSize(16, 16));
    Edt_Search = new QLineEdit(ToolBar_Bottom);
    Edt_Search->setObjectName(QStringLiteral("Edt_Search"));
    Edt_Search->setPlaceholderText(QStringLiteral("  Search..."));
    ToolBar_Bottom->addWidget(Edt_Search);
    layout->addWidget(ToolBar_Bottom);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setSizeGripEnabled(false);
    m_statusText = new QLabel(m_statusBar);
    m_statusBar->addWidget(m_statusText, 1);
    layout->addWidget(m_statusBar);

    connect(m_tree, &QTreeView::expanded, this,
            [this](const QModelIndex &index) { onExpandedChanged(index, true); });
    connect(m_tree, &QTreeView::collapsed, this,
            [this](const QModelIndex &index) { onExpandedChanged(index, false); });
}

TwyTreeFrame::~TwyTreeFrame() = default;

void TwyTreeFrame::postMessage(FrameMessage message, ItemNode *node)
{
    QMetaObject::invokeMethod(
        this,
        [this, message, node] {
            RunCommand([&] { handleMessage(message, node); });
        },
        Qt::QueuedConnection);
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
        editPendingNode();
        break;
    case WM_FRAME_DROP_NODE:
        dropNode(node);
        break;
    }
}

void TwyTreeFrame::shutdown() {}

void TwyTreeFrame::readViewSettings()
{
    viewList = m_host.ini().readBool(m_config.section, QStringLiteral("viewListEn"), false);
    FAscending = m_host.ini().readBool(m_config.section, QStringLiteral("viewAscEn"), true);
}

void TwyTreeFrame::reloadItems()
{
    FLoading = true;
    FFocusDone = false;
    FEditNode = nullptr;
    FHotNode = nullptr;
    m_model->clear();
    FTipKind = 0;

    readViewSettings();

    const int count = m_statements->countRows();
    reportCount(count);
    // A settings file that cannot be written is reported, but the list still loads.
    RunCommand([&] {
        const IniFile &ini = m_host.ini();
        ini.writeInteger(QStringLiteral("log"), m_config.logPrivate, count);
        ini.writeInteger(QStringLiteral("log"), m_config.logPublic, 0);
    });
    FLoading = false;

    m_model->resetForest(m_statements->loadForest());
    applyExpandedState();

    ApplyFilter();
    UpdateActions();

    FSearching = false;
    FSearchText.clear();
    Edt_Search->clear();

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
    node->expanded = expanded;
    if (node->info->expandFlag == expanded || node->info->key.isEmpty())
        return;
    RunCommand([&] {
        m_statements->updateExpand(node->info->key, expanded);
        node->info->expandFlag = expanded;
    });
}

void TwyTreeFrame::activate()
{
    m_host.installMenus(MainMenu1);
    if (!FFocusDone) {
        m_tree->setFocus();
        FFocusDone = true;
    }
}

void TwyTreeFrame::dropNode(ItemNode *node)
{
    m_model->removeNode(node);
    ShowTip(0);
}

void TwyTreeFrame::ShowTip(int kind)
{
    if (kind == 0 && m_model->root()->shownChildren().empty())
        kind = 1;
    FTipKind = kind;
    Panel_tip->setVisible(kind != 0);
}

void TwyTreeFrame::showNextStatusTip()
{
    m_statusText->setText(Texts::StatusTips[NextRandom(6)]);
}
