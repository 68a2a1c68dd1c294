#include "Fr_wyMemos.h"

#include "memos/MemoTreeModel.h"
#include "storage/PastedItem.h"
#include "common/Texts.h"
#include "storage/Statements.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>

namespace {

FrameConfig memosConfig()
{
    FrameConfig c;
    c.section = QStringLiteral("memo");
    c.logPrivate = QStringLiteral("privateMemos");
    c.logPublic = QStringLiteral("publicMemos");
    c.treeHint = Texts::MemoTreeHint;
    c.selectPrompt = QStringLiteral("Please select a memo!");
    c.reportList = Reports::ListKind::Memos;
    c.deleteOne = QStringLiteral("this memo?");
    c.deleteMany = QStringLiteral("these memos?");
    c.itemsMenu = QStringLiteral("&Memos");
    c.listName = QStringLiteral("Memos");
    c.add = {QStringLiteral("Action_MemoAdd"), QStringLiteral("&Add Memo"),
             QStringLiteral("Add Memo"), 13, QKeySequence(Qt::Key_Enter)};
    c.addChild = {QStringLiteral("Action_MemoAddChild"), QStringLiteral("Add &Child Memo"),
                  QStringLiteral("Add Child Memo"), 2, QKeySequence(Qt::CTRL | Qt::Key_Enter)};
    c.edit = {QStringLiteral("Action_MemoEdit"), QStringLiteral("&Edit"),
              QStringLiteral("Edit Memo or Child Memo"), 3, QKeySequence(Qt::Key_F2)};
    c.remove = {QStringLiteral("Action_MemoDelete"), QStringLiteral("&Delete"),
                QStringLiteral("Delete Memo or Child Memo"), 4, QKeySequence(Qt::Key_Delete)};
    c.copy = {QStringLiteral("Action_CopyMemo"),
              QStringLiteral("&Copy"),
              {},
              -1,
              QKeySequence(Qt::CTRL | Qt::Key_C)};
    c.paste = {QStringLiteral("Action_PasteMemo"),
               QStringLiteral("&Paste"),
               {},
               -1,
               QKeySequence(Qt::CTRL | Qt::Key_V)};
    c.selectAll = {QStringLiteral("Action_SelectAll"),
                   QStringLiteral("Select &All"),
                   {},
                   -1,
                   QKeySequence(Qt::CTRL | Qt::Key_A)};
    c.deselect = {QStringLiteral("Action_Deselect"), QStringLiteral("&Deselect"), {}, -1};
    c.viewList = {QStringLiteral("Action_ViewList"), QStringLiteral("View &List"),
                  QStringLiteral("List view memos"), 10};
    c.viewAsc = {QStringLiteral("Action_ViewAsc"), QStringLiteral("Sort Direction"),
                 QStringLiteral("Descending Sort"), 8, FrameConfig::SortDirectionKey};
    c.expandAll = {QStringLiteral("Action_ExpandAll"), QStringLiteral("&Expand All"),
                   QStringLiteral("Expand all"), 11};
    c.collapseAll = {QStringLiteral("Action_CollapseAll"), QStringLiteral("&Collapse All"),
                     QStringLiteral("Collapse all"), 12};
    c.imageOfferAsc = 7;
    c.imageOfferDesc = 8;
    c.imageSearch = 18;
    c.imageClearSearch = 19;
    c.tipKindEdit = 1;
    c.tipKindAdd = 2;
    c.tipKindNoResult = 3;
    c.tipImageEdit = 14;
    c.tipImageAdd = 13;
    c.tipImageNoResult = 17;
    c.images = {
        {0, IconId::MemoTop},    {2, IconId::AddChild},     {3, IconId::Edit},
        {4, IconId::Delete},     {7, IconId::SortAsc},      {8, IconId::SortDesc},
        {10, IconId::ViewList},  {11, IconId::ExpandAll},   {12, IconId::CollapseAll},
        {13, IconId::AddItem},   {14, IconId::TipEdit},     {15, IconId::Save},
        {16, IconId::Print},     {17, IconId::TipInfo},     {18, IconId::Search},
        {19, IconId::ClearSearch}, {21, IconId::MemoChild},
    };
    return c;
}

} // namespace

TwyMemosFrame::TwyMemosFrame(FrameHost &host, QWidget *parent)
    : TwyTreeFrame(host, memosConfig(), new MemoTreeModel,
                   std::make_unique<MemoStatements>(host.database()), parent)
{
    setObjectName(QStringLiteral("wyMemosFrame"));
    m_tree->setObjectName(QStringLiteral("VtMemos"));
    buildMenus();
    UpdateActions();
}

void TwyMemosFrame::buildMenus()
{
    QAction *viewAsc = m_viewAsc;
    QAction *expandAll = m_expandAll;
    QAction *collapseAll = m_collapseAll;
    auto *save = makeAction({QStringLiteral("Action_Save"), QStringLiteral("Sa&ve Memo..."), {}, -1});
    auto *saveAll = makeAction({QStringLiteral("Action_SaveAll"), QStringLiteral("&Save All..."), {}, 15});
    auto *print = makeAction({QStringLiteral("Action_Print"), QStringLiteral("&Print..."), {}, 16});
    auto *exportItems = makeAction({QStringLiteral("Action_Export"), QStringLiteral("&Export..."), {}, -1});
    auto *email = makeAction({QStringLiteral("Action_Email"), QStringLiteral("E-mai&l Memo..."), {}, -1});
    setReportActions(save, saveAll, print, email);

    ToolBar_Top->addActions({m_add, m_addChild, m_edit, m_delete});
    ToolBar_Top->addSeparator();
    ToolBar_Top->addActions({viewAsc, expandAll, collapseAll});
    ToolBar_Top->addSeparator();
    ToolBar_Top->addAction(m_viewList);

    auto *menuMoveto = makeMenu(QStringLiteral("&Move to"));
    menuMoveto->setObjectName(QStringLiteral("Menu_Moveto"));
    menuMoveto->setEnabled(false);
    auto *mainMoveto = makeMenu(QStringLiteral("&Move to"));
    mainMoveto->setObjectName(QStringLiteral("MainMoveto"));
    mainMoveto->setEnabled(false);
    m_moveMenuPopup = menuMoveto;
    m_moveMenuMain = mainMoveto;

    PopupMenu_Item = makeMenu(QString());
    PopupMenu_Item->setObjectName(QStringLiteral("PopupMenu_Memo"));
    PopupMenu_Item->addActions({m_add, m_addChild});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({email, save});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({m_edit, m_delete});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({m_copy, m_paste});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addMenu(menuMoveto);

    buildSharedMenus(exportItems, saveAll, print);

    m_viewMenu = makeMenu(QStringLiteral("&View"));
    m_viewMenu->addAction(m_viewList);
    m_viewMenu->addSeparator();
    m_viewMenu->addActions({m_viewAsc, expandAll, collapseAll});

    m_itemsMenu = makeMenu(QStringLiteral("&Memos"));
    m_itemsMenu->addActions({m_add, m_addChild});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addActions({email, save});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addActions({m_edit, m_delete});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addMenu(mainMoveto);

    MainMenu1 = {m_fileMenu, m_editMenu, m_viewMenu, m_itemsMenu, m_helpMenu};
}

void TwyMemosFrame::reportCount(int count)
{
    m_host.setMemoCount(count);
}

std::unique_ptr<ItemInfo> TwyMemosFrame::newRecord() const
{
    return std::make_unique<TMemoInfo>();
}

void TwyMemosFrame::insertNewItem(ItemNode *node)
{
    TMemoInfo &memo = *MemoTreeModel::memo(node);
    memo.assignTime = memo.createTime; // a memo added in the tree is assigned when made
    static_cast<MemoStatements &>(statements()).insert(memo);
}

void TwyMemosFrame::insertPastedItem(ItemNode *node)
{
    PastedItem::Insert(statements(), *node->info); // pasted text is not assigned
}

QString TwyMemosFrame::statusText(const ItemNode *node) const
{
    return FormatDateTime(node->info->createTime) + QStringLiteral(" created");
}
