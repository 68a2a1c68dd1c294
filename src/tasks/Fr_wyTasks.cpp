#include "Fr_wyTasks.h"

#include "common/IniFile.h"
#include "common/Texts.h"
#include "common/pU_Boxes.h"
#include "storage/Statements.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>

namespace {

FrameConfig tasksConfig()
{
    FrameConfig c;
    c.section = QStringLiteral("task");
    c.logPrivate = QStringLiteral("privateTasks");
    c.logPublic = QStringLiteral("publicTasks");
    c.treeHint = Texts::TaskTreeHint;
    c.selectPrompt = QStringLiteral("Please select a task!");
    c.deleteOne = QStringLiteral("this task?");
    c.deleteMany = QStringLiteral("these tasks?");
    c.itemsMenu = QStringLiteral("&Tasks");
    c.add = {QStringLiteral("Action_TaskAdd"), QStringLiteral("Add &Task        Enter"),
             QStringLiteral("Add Task"), 15};
    c.addChild = {QStringLiteral("Action_SubTaskAdd"),
                  QStringLiteral("&Add Child Task  Ctrl+Enter"), QStringLiteral("Add Child Task"),
                  3};
    c.edit = {QStringLiteral("Action_TaskEdit"), QStringLiteral("&Edit            F2"),
              QStringLiteral("Edit Task or Child Task"), 4};
    c.remove = {QStringLiteral("Action_TaskDelete"), QStringLiteral("&Delete"),
                QStringLiteral("Delete Task or Child Task"), 5};
    c.copy = {QStringLiteral("Action_CopyTask"), QStringLiteral("&Copy             Ctrl+C"), {}, -1};
    c.paste = {QStringLiteral("Action_PasteTask"), QStringLiteral("&Paste            Ctrl+V"), {},
               -1};
    c.selectAll = {QStringLiteral("Action_SelectAll"), QStringLiteral("&Select All       Ctrl+A"),
                   {}, -1};
    c.deselect = {QStringLiteral("Action_Deselect"), QStringLiteral("&Deselect"), {}, -1};
    c.viewList = {QStringLiteral("Action_ViewList"), QStringLiteral("View &List"),
                  QStringLiteral("List View Tasks"), 11};
    c.tipKindAdd = 1;
    c.tipKindEdit = 2;
    c.tipKindNoResult = 3;
    c.tipImageAdd = 15;
    c.tipImageEdit = 16;
    c.tipImageNoResult = 19;
    c.images = {
        {3, IconId::AddChild},     {4, IconId::Edit},         {5, IconId::Delete},
        {8, IconId::ViewDate},     {9, IconId::SortAsc},      {10, IconId::SortDesc},
        {11, IconId::ViewList},    {13, IconId::ExpandAll},   {14, IconId::CollapseAll},
        {15, IconId::AddItem},     {16, IconId::TipEdit},     {19, IconId::TipInfo},
        {20, IconId::Search},      {21, IconId::ClearSearch}, {22, IconId::Alarm},
        {23, IconId::Overdue},     {24, IconId::Due},
    };
    return c;
}

} // namespace

TwyTasksFrame::TwyTasksFrame(FrameHost &host, QWidget *parent)
    : TwyTreeFrame(host, tasksConfig(), new TaskTreeModel,
                   std::make_unique<TaskStatements>(host.database()), parent)
{
    setObjectName(QStringLiteral("wyTasksFrame"));
    m_tree->setObjectName(QStringLiteral("VtTasks"));
    m_tree->checkBoxes = true;

    Action_TaskComplete = makeAction({QStringLiteral("Action_TaskComplete"),
                                      QStringLiteral("Mark Complete"), {}, -1});
    connect(Action_TaskComplete, &QAction::triggered, this,
            [this] { RunCommand([this] { toggleCompletion(); }); });
    Action_ViewDate = makeAction({QStringLiteral("Action_ViewDate"), QStringLiteral("View &Date"),
                                  QStringLiteral("View Date "), 8});
    Action_ViewDate->setCheckable(true);
    connect(Action_ViewDate, &QAction::triggered, this,
            [this] { RunCommand([this] { toggleDateView(); }); });
    Action_TaskReminderSet = makeAction({QStringLiteral("Action_TaskReminderSet"),
                                         QStringLiteral("&Set Reminder..."), {}, -1});
    Action_TaskDueSet = makeAction({QStringLiteral("Action_TaskDueSet"),
                                    QStringLiteral("Set D&ue Date..."), {}, -1});
    Action_SetColor = makeAction({QStringLiteral("Action_SetColor"),
                                  QStringLiteral("Set C&olor..."), {}, -1});
    Action_ViewAsc = makeAction({QStringLiteral("Action_ViewAsc"), QString(),
                                 QStringLiteral("Descending Sort"), 10});
    Action_ExpandAll = makeAction({QStringLiteral("Action_ExpandAll"), QStringLiteral("&Expand All"),
                                   QStringLiteral("Expand all"), 13});
    Action_CollapseAll = makeAction({QStringLiteral("Action_CollapseAll"),
                                     QStringLiteral("&Collapse All"),
                                     QStringLiteral("Collapse all"), 14});
    Action_Save = makeAction({QStringLiteral("Action_Save"), QStringLiteral("Sa&ve Task..."), {}, -1});
    Action_SaveAll = makeAction({QStringLiteral("Action_SaveAll"), QStringLiteral("&Save All..."), {}, -1});
    Action_Print = makeAction({QStringLiteral("Action_Print"), QStringLiteral("&Print..."), {}, -1});
    Action_Export = makeAction({QStringLiteral("Action_Export"), QStringLiteral("&Export..."), {}, -1});
    Action_Email = makeAction({QStringLiteral("Action_Email"), QStringLiteral("E-mai&l Task..."), {}, -1});
    Menu_ViewAll = makeAction({QStringLiteral("Menu_ViewAll"), QStringLiteral("&All Tasks"), {}, -1});
    Menu_ViewComplete = makeAction({QStringLiteral("Menu_ViewComplete"),
                                    QStringLiteral("&Complete Tasks"), {}, -1});
    Menu_ViewIncomplete = makeAction({QStringLiteral("Menu_ViewIncomplete"),
                                      QStringLiteral("&Incomplete Tasks"), {}, -1});
    auto *rangeGroup = new QActionGroup(this);
    for (QAction *item : {Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete}) {
        item->setCheckable(true);
        rangeGroup->addAction(item);
    }
    // Commands whose work comes later stay visible but disabled.
    m_notYet = {Action_TaskReminderSet, Action_TaskDueSet, Action_SetColor, Action_ViewAsc,
                Action_ExpandAll, Action_CollapseAll, Action_Save, Action_SaveAll, Action_Print,
                Action_Email, Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete};
    setReportActions(Action_Save, Action_SaveAll, Action_Print, Action_Email);
    Action_Export->setEnabled(false);

    Comb_ViewRange = new QComboBox(ToolBar_Bottom);
    Comb_ViewRange->setObjectName(QStringLiteral("Comb_ViewRange"));
    Comb_ViewRange->addItems({QStringLiteral("View All Tasks"), QStringLiteral("View Complete"),
                              QStringLiteral("View Incomplete")});
    Comb_ViewRange->setToolTip(QStringLiteral("View Range"));
    Comb_ViewRange->setEnabled(false);
    static_cast<QHBoxLayout *>(ToolBar_Bottom->layout())->insertWidget(0, Comb_ViewRange);

    connect(m_tree->itemDelegate_(), &ItemDelegate::checkToggled, this,
            [this](const QModelIndex &index) {
                if (FEditNode)
                    return;
                if (ItemNode *node = m_model->nodeFromIndex(index))
                    RunCommand([&] { setCompletion(node, !TaskTreeModel::task(node)->checkFlag); });
            });

    buildMenus();
    UpdateActions();
}

TaskStatements &TwyTasksFrame::taskStatements() const
{
    return static_cast<TaskStatements &>(statements());
}

int TwyTasksFrame::CountTasks()
{
    return m_statements->countRows();
}

void TwyTasksFrame::buildMenus()
{
    // Upper tool bar.
    ToolBar_Top->addAction(m_add);
    ToolBar_Top->addAction(m_addChild);
    ToolBar_Top->addAction(m_edit);
    ToolBar_Top->addAction(m_delete);
    ToolBar_Top->addSeparator();
    ToolBar_Top->addAction(Action_ViewAsc);
    ToolBar_Top->addAction(Action_ExpandAll);
    ToolBar_Top->addAction(Action_CollapseAll);
    ToolBar_Top->addSeparator();
    ToolBar_Top->addAction(m_viewList);
    ToolBar_Top->addAction(Action_ViewDate);
    ToolBar_Top->setToolButtonStyle(Qt::ToolButtonIconOnly);

    Menu_Moveto = makeMenu(QStringLiteral("&Move To"));
    Menu_Moveto->setObjectName(QStringLiteral("Menu_Moveto"));
    MainMoveTo = makeMenu(QStringLiteral("&Move to"));
    MainMoveTo->setObjectName(QStringLiteral("MainMoveTo"));
    MainMoveTo->menuAction()->setToolTip(QStringLiteral("Move tasks to other group"));
    Menu_Moveto->setEnabled(false);
    MainMoveTo->setEnabled(false);

    PopupMenu_Item = makeMenu(QString());
    PopupMenu_Item->setObjectName(QStringLiteral("PopupMenu_Task"));
    PopupMenu_Item->addActions({m_add, m_addChild});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({Action_Email, Action_Save});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({m_edit, m_delete});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({m_copy, m_paste});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addAction(Action_TaskComplete);
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addActions({Action_TaskDueSet, Action_TaskReminderSet, Action_SetColor});
    PopupMenu_Item->addSeparator();
    PopupMenu_Item->addMenu(Menu_Moveto);

    PopupMenu_Null = makeMenu(QString());
    PopupMenu_Null->setObjectName(QStringLiteral("PopupMenu_Null"));
    PopupMenu_Null->addActions({m_add, m_addChild});
    PopupMenu_Null->addSeparator();
    PopupMenu_Null->addAction(m_paste);

    m_fileMenu = makeMenu(QStringLiteral("&File"));
    m_fileMenu->addAction(m_host.commonAction(CommonAction::Options));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_host.commonAction(CommonAction::DbBackup));
    m_fileMenu->addAction(m_host.commonAction(CommonAction::DbRestore));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(Action_Export);
    m_fileMenu->addAction(m_host.commonAction(CommonAction::Import));
    m_fileMenu->addSeparator();
    m_fileMenu->addActions({Action_SaveAll, Action_Print});
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_host.commonAction(CommonAction::StayOnTop));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_host.commonAction(CommonAction::Close));

    m_editMenu = makeMenu(QStringLiteral("&Edit"));
    m_editMenu->addActions({m_copy, m_paste});
    m_editMenu->addSeparator();
    m_editMenu->addActions({m_selectAll, m_deselect});

    m_viewMenu = makeMenu(QStringLiteral("&View"));
    m_viewMenu->addActions({m_viewList, Action_ViewDate});
    m_viewMenu->addSeparator();
    m_viewMenu->addActions({Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete});
    m_viewMenu->addSeparator();
    m_viewMenu->addActions({Action_ExpandAll, Action_CollapseAll});

    m_itemsMenu = makeMenu(QStringLiteral("&Tasks"));
    m_itemsMenu->addActions({m_add, m_addChild});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addActions({Action_Email, Action_Save});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addActions({m_edit, m_delete});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addAction(Action_TaskComplete);
    m_itemsMenu->addSeparator();
    m_itemsMenu->addActions({Action_TaskDueSet, Action_TaskReminderSet, Action_SetColor});
    m_itemsMenu->addSeparator();
    m_itemsMenu->addMenu(MainMoveTo);

    m_helpMenu = makeMenu(QStringLiteral("&Help"));
    m_helpMenu->addAction(m_host.commonAction(CommonAction::HelpContents));
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_host.commonAction(CommonAction::Contact));
    m_helpMenu->addAction(m_host.commonAction(CommonAction::Suggestion));
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_host.commonAction(CommonAction::Website));
    m_helpMenu->addAction(m_host.commonAction(CommonAction::Update));
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_host.commonAction(CommonAction::About));

    MainMenu1 = {m_fileMenu, m_editMenu, m_viewMenu, m_itemsMenu, m_helpMenu};
}

void TwyTasksFrame::readViewSettings()
{
    const IniFile &ini = m_host.ini();
    const bool date = ini.readBool(QStringLiteral("task"), QStringLiteral("viewDateEn"), false);
    Action_ViewDate->setChecked(date);
    m_model->view.date = date;
    int range = ini.readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), 0);
    if (range < 0 || range > 2)
        range = 0;
    setViewRange(range);
    TwyTreeFrame::readViewSettings();
    // The sort button offers the other direction.
    Action_ViewAsc->setIcon(image(FAscending ? 10 : 9));
    Action_ViewAsc->setToolTip(FAscending ? QStringLiteral("Descending Sort")
                                          : QStringLiteral("Ascending Sort"));
}

void TwyTasksFrame::setViewRange(int range)
{
    viewRange = range;
    Comb_ViewRange->setCurrentIndex(range);
    QAction *items[] = {Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete};
    items[range]->setChecked(true);
}

void TwyTasksFrame::prepareAdd()
{
    // A new task would not show among the complete ones.
    if (viewRange == 1) {
        setViewRange(0);
        m_host.ini().writeInteger(QStringLiteral("task"), QStringLiteral("viewRange"), 0);
        ApplyFilter();
    }
}

void TwyTasksFrame::reportCount(int count)
{
    m_host.setTaskCount(count);
}

void TwyTasksFrame::afterReload()
{
    UpdateTrayHint();
}

void TwyTasksFrame::UpdateTrayHint()
{
    m_host.setTrayHint(TrayHintText(taskStatements().incompleteContents(), m_host.hintSize()));
}

std::unique_ptr<ItemInfo> TwyTasksFrame::newRecord() const
{
    return std::make_unique<TTaskInfo>();
}

void TwyTasksFrame::insertNewItem(ItemNode *node)
{
    TTaskInfo &task = *TaskTreeModel::task(node);
    task.checkFlag = task.alarmFlag = task.dueFlag = false;
    task.textColor = task.backgroundColor = 0;
    taskStatements().insertNew(task);
    UpdateTrayHint();
}

void TwyTasksFrame::insertPastedItem(ItemNode *node)
{
    taskStatements().insertPasted(*TaskTreeModel::task(node));
}

void TwyTasksFrame::pasteText(const QString &text)
{
    TwyTreeFrame::pasteText(text);
    UpdateTrayHint();
}

QString TwyTasksFrame::statusText(const ItemNode *node) const
{
    return TaskTreeModel::statusText(*TaskTreeModel::task(node));
}

void TwyTasksFrame::setCompletion(ItemNode *node, bool checked)
{
    TTaskInfo &task = *TaskTreeModel::task(node);
    task.checkFlag = checked;
    task.checkTime = NowDays();
    taskStatements().updateCheck(task.key, task.checkFlag, task.checkTime);
    m_model->nodeChanged(node);
    ApplyFilter();
    UpdateActions();
    UpdateTrayHint();
}

void TwyTasksFrame::toggleCompletion()
{
    if (FEditNode)
        return;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty())
        return;
    const bool target = !TaskTreeModel::task(nodes.first())->checkFlag;
    for (ItemNode *node : nodes) {
        if (TaskTreeModel::task(node)->checkFlag != target)
            setCompletion(node, target);
    }
    UpdateActions();
}

void TwyTasksFrame::toggleDateView()
{
    if (FLoading)
        return;
    m_model->view.date = Action_ViewDate->isChecked();
    m_host.ini().writeBool(QStringLiteral("task"), QStringLiteral("viewDateEn"), m_model->view.date);
    m_tree->relayoutRows();
}

void TwyTasksFrame::disableOwnActions()
{
    for (QAction *action : {Action_TaskComplete, Action_ViewDate})
        action->setEnabled(false);
    Comb_ViewRange->setEnabled(false);
    Menu_Moveto->clear();
    MainMoveTo->clear();
    Menu_Moveto->setEnabled(false);
    MainMoveTo->setEnabled(false);
}

void TwyTasksFrame::updateOwnActions(bool selection)
{
    Action_ViewDate->setEnabled(true);
    Action_TaskComplete->setEnabled(selection);
    const QList<ItemNode *> nodes = selection ? m_tree->selectedNodes() : QList<ItemNode *>();
    Action_TaskComplete->setText(!nodes.isEmpty() && TaskTreeModel::task(nodes.first())->checkFlag
                                     ? QStringLiteral("Unmark Complete")
                                     : QStringLiteral("Mark Complete"));
}
