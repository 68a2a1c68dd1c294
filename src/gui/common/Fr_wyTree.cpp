// The list frame's construction: its tool bars, tree, tip panel, search bar and status bar,
// the shared commands and menus, and the frame messages.
#include "Fr_wyTree.h"

#include "ColorCodes.h"
#include "common/Texts.h"
#include "pU_Boxes.h"
#include "storage/Statements.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <malloc.h>

namespace {

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
    m_tree->setAccessibleName(m_config.listName);
    m_model->headerTitle = m_config.listName;
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
    // The placeholder goes as soon as the box has the focus: the name stays.
    Edt_Search->setAccessibleName(QStringLiteral("Search"));
    Btn_Search = new QToolButton(ToolBar_Bottom);
    Btn_Search->setObjectName(QStringLiteral("Btn_Search"));
    Btn_Search->setAutoRaise(true);
    Btn_Search->setIconSize(QSize(16, 16));
    Btn_Search->setAccessibleName(QStringLiteral("Search"));
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
    alignStatusText();
    StatusImage->setAccessibleName(QStringLiteral("Status"));
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
    connect(m_tree->rowDelegate(), &ItemDelegate::textEdited, this,
            [this](const QModelIndex &index, const QString &text) {
                ItemNode *node = m_model->nodeFromIndex(index);
                if (node == nullptr)
                    node = FEditNode;
                // A text that could not be stored is not thrown away: once the user has
                // read why, the editor opens again with it, to be stored again or given up
                // with Esc. The editor that failed closes first.
                if (!RunCommand([&] { onTextEdited(index, text); }) && node)
                    QMetaObject::invokeMethod(
                        this,
                        [this, handle = handleOf(node), text] {
                            if (ItemNode *edited = resolve(handle))
                                reopenEditor(edited, text);
                        },
                        Qt::QueuedConnection);
            });
    connect(m_tree->rowDelegate(), &QAbstractItemDelegate::closeEditor, this,
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

TwyTreeFrame::~TwyTreeFrame()
{
    // Rows being read in the background are let go once read.
    if (m_loader)
        m_loader->wait();
}

void TwyTreeFrame::returnFreedMemory()
{
    malloc_trim(0);
}

QAction *TwyTreeFrame::makeAction(const FrameConfig::Command &command)
{
    auto *action = new QAction(command.caption, this);
    action->setObjectName(command.name);
    if (!command.hint.isEmpty())
        action->setToolTip(command.hint);
    if (command.image >= 0)
        action->setIcon(commandImage(command.image));
    // The tree handles the keys; the action only shows and names its key (a widget
    // shortcut of an action that sits in menus and tool bars is never the focused widget's).
    action->setShortcutContext(Qt::WidgetShortcut);
    if (!command.key.isEmpty())
        action->setShortcut(command.key);
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
    m_fileMenu->addActions({common(CommonAction::Options), common(CommonAction::SyncNow)});
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
    if (node == nullptr) {
        QMetaObject::invokeMethod(
            this, [this, message] { RunCommand([&] { handleMessage(message, nullptr); }); },
            Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, message, handle = handleOf(node)] {
            RunCommand([&] { handleMessage(message, resolve(handle)); });
        },
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

NodeHandle TwyTreeFrame::handleOf(const ItemNode *node) const
{
    NodeHandle handle;
    handle.row = QPersistentModelIndex(m_model->indexOf(node));
    handle.key = node->info->key;
    handle.parentKey = node->info->pid;
    return handle;
}

ItemNode *TwyTreeFrame::resolve(const NodeHandle &handle) const
{
    if (handle.row.isValid())
        return m_model->nodeFromIndex(handle.row);
    // A stored row that is not shown at the moment, or that a reload built anew: by its key,
    // under its parent.
    if (handle.key.isEmpty())
        return nullptr;
    ItemNode *parent =
        handle.parentKey == Texts::RootKey ? m_model->root() : topLevelNode(handle.parentKey);
    if (parent == nullptr)
        return nullptr;
    for (const auto &child : parent->children) {
        if (child->info->key == handle.key)
            return child.get();
    }
    return nullptr;
}

void TwyTreeFrame::shutdown()
{
    Timer_HotDelay->stop();
    endEditing(true);
}
