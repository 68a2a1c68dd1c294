#include "Fr_wyTasks.h"

#include "storage/BackgroundWrites.h"

#include "Dlg_ColorSet.h"
#include "Dlg_DueSet.h"
#include "Dlg_ReminderSet.h"
#include "Dlg_taskReminder.h"
#include "common/ColorCodes.h"
#include "common/IniFile.h"
#include "storage/PastedItem.h"
#include "common/Texts.h"
#include "common/pU_Boxes.h"
#include "storage/Statements.h"

#include <QAction>
#include <QPointer>
#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QScopeGuard>
#include <QTimer>
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
    c.listName = QStringLiteral("To-Do List");
    c.add = {QStringLiteral("Action_TaskAdd"), QStringLiteral("Add &Task"),
             QStringLiteral("Add Task"), 15, QKeySequence(Qt::Key_Enter)};
    c.addChild = {QStringLiteral("Action_SubTaskAdd"), QStringLiteral("&Add Child Task"),
                  QStringLiteral("Add Child Task"), 3, QKeySequence(Qt::CTRL | Qt::Key_Enter)};
    c.edit = {QStringLiteral("Action_TaskEdit"), QStringLiteral("&Edit"),
              QStringLiteral("Edit Task or Child Task"), 4, QKeySequence(Qt::Key_F2)};
    c.remove = {QStringLiteral("Action_TaskDelete"), QStringLiteral("&Delete"),
                QStringLiteral("Delete Task or Child Task"), 5, QKeySequence(Qt::Key_Delete)};
    c.copy = {QStringLiteral("Action_CopyTask"),
              QStringLiteral("&Copy"),
              {},
              -1,
              QKeySequence(Qt::CTRL | Qt::Key_C)};
    c.paste = {QStringLiteral("Action_PasteTask"),
               QStringLiteral("&Paste"),
               {},
               -1,
               QKeySequence(Qt::CTRL | Qt::Key_V)};
    c.selectAll = {QStringLiteral("Action_SelectAll"),
                   QStringLiteral("&Select All"),
                   {},
                   -1,
                   QKeySequence(Qt::CTRL | Qt::Key_A)};
    c.deselect = {QStringLiteral("Action_Deselect"), QStringLiteral("&Deselect"), {}, -1};
    c.viewList = {QStringLiteral("Action_ViewList"), QStringLiteral("View &List"),
                  QStringLiteral("List View Tasks"), 11};
    c.viewAsc = {QStringLiteral("Action_ViewAsc"), QStringLiteral("Sort Direction"),
                 QStringLiteral("Descending Sort"), 10, FrameConfig::SortDirectionKey};
    c.expandAll = {QStringLiteral("Action_ExpandAll"), QStringLiteral("&Expand All"),
                   QStringLiteral("Expand all"), 13};
    c.collapseAll = {QStringLiteral("Action_CollapseAll"), QStringLiteral("&Collapse All"),
                     QStringLiteral("Collapse all"), 14};
    c.imageOfferAsc = 9;
    c.imageOfferDesc = 10;
    c.imageSearch = 20;
    c.imageClearSearch = 21;
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
    Action_ViewAsc = m_viewAsc;
    Action_ExpandAll = m_expandAll;
    Action_CollapseAll = m_collapseAll;
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
    int range = 0;
    for (QAction *item : {Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete}) {
        item->setCheckable(true);
        rangeGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, range] {
            Comb_ViewRange->setCurrentIndex(range); // applied as a change of the box
        });
        ++range;
    }
    setReportActions(Action_Save, Action_SaveAll, Action_Print, Action_Email);

    Comb_ViewRange = new QComboBox(ToolBar_Bottom);
    Comb_ViewRange->setObjectName(QStringLiteral("Comb_ViewRange"));
    Comb_ViewRange->addItems({QStringLiteral("View All Tasks"), QStringLiteral("View Complete"),
                              QStringLiteral("View Incomplete")});
    Comb_ViewRange->setToolTip(QStringLiteral("View Range"));
    Comb_ViewRange->setEnabled(false);
    static_cast<QHBoxLayout *>(ToolBar_Bottom->layout())->insertWidget(0, Comb_ViewRange);
    connect(Comb_ViewRange, &QComboBox::currentIndexChanged, this,
            [this](int index) { RunCommand([&] { rangeChanged(index); }); });

    connect(m_tree->rowDelegate(), &ItemDelegate::checkToggled, this,
            [this](const QModelIndex &index) {
                if (FEditNode)
                    return;
                if (ItemNode *node = m_model->nodeFromIndex(index))
                    RunCommand([&] { setCompletion(node, !TaskTreeModel::task(node)->checkFlag); });
            });

    // Due dates, reminders and colours.
    connect(Action_TaskDueSet, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_TaskDueSetExecute(); }); });
    connect(Action_TaskReminderSet, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_TaskReminderSetExecute(); }); });
    connect(Action_SetColor, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_SetColorExecute(); }); });
    m_tree->colorForCode = [this](qint32 code) {
        return ColorCodes::toColor(code, m_tree->palette());
    };
    // The alarm scan runs from the end of a reload until the frame ends.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { RunCommand([this] { Timer1Timer(); }); });
    // Tasks that leave the tree leave the scan's index.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_alarms.clear();
        m_alarmNode = nullptr;
    });
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                for (int row = first; row <= last; ++row) {
                    const ItemNode *node = m_model->nodeFromIndex(m_model->index(row, 0, parent));
                    if (node == nullptr)
                        continue;
                    m_alarms.remove(node);
                    if (m_alarmNode == node || (m_alarmNode && m_alarmNode->parent == node))
                        m_alarmNode = nullptr;
                }
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
    m_moveMenuPopup = Menu_Moveto;
    m_moveMenuMain = MainMoveTo;

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

    buildSharedMenus(Action_Export, Action_SaveAll, Action_Print);

    m_viewMenu = makeMenu(QStringLiteral("&View"));
    m_viewMenu->addActions({m_viewList, Action_ViewDate});
    m_viewMenu->addSeparator();
    m_viewMenu->addActions({Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete});
    m_viewMenu->addSeparator();
    m_viewMenu->addActions({Action_ViewAsc, Action_ExpandAll, Action_CollapseAll});

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
}

void TwyTasksFrame::setViewRange(int range)
{
    viewRange = range;
    {
        const QSignalBlocker blocker(Comb_ViewRange);
        Comb_ViewRange->setCurrentIndex(range);
    }
    QAction *items[] = {Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete};
    items[range]->setChecked(true);
}

void TwyTasksFrame::rangeChanged(int range)
{
    if (FLoading || range < 0 || range > 2)
        return;
    setViewRange(range);
    ApplyFilter();
    UpdateActions();
    m_tree->setFocus();
    m_host.ini().writeInteger(QStringLiteral("task"), QStringLiteral("viewRange"), range);
}

bool TwyTasksFrame::hiddenByRange(const ItemNode *node) const
{
    const bool complete = TaskTreeModel::task(node)->checkFlag;
    return (viewRange == 2 && complete) || (viewRange == 1 && !complete);
}

void TwyTasksFrame::afterFilter()
{
    UpdateTrayHint();
}

void TwyTasksFrame::prepareAdd()
{
    // A new task would not show among the complete ones.
    if (viewRange == 1)
        rangeChanged(0);
}

void TwyTasksFrame::reportCount(int count)
{
    m_host.setTaskCount(count);
}

void TwyTasksFrame::afterReload()
{
    UpdateTrayHint();
    // Reminders that came due while the program was not running are raised at the first
    // tick.
    m_alarms.rebuild(*m_model);
    Timer1->start();
}

void TwyTasksFrame::UpdateTrayHint()
{
    // The hint reads the stored tasks: while many rows are being stored in the background,
    // it is read once they are, without holding up the window meanwhile.
    if (BackgroundWrites::pending()) {
        if (!m_trayHintWaiting) {
            m_trayHintWaiting = true;
            BackgroundWrites::whenDone([frame = QPointer<TwyTasksFrame>(this)] {
                if (frame) {
                    frame->m_trayHintWaiting = false;
                    frame->UpdateTrayHint();
                }
            });
        }
        return;
    }
    // The hint lists four tasks and tells whether more follow: five rows are enough.
    m_host.setTrayHint(TrayHintText(taskStatements().incompleteContents(5), m_host.hintSize()));
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
    PastedItem::Insert(taskStatements(), *node->info);
    UpdateTrayHint();
}

QString TwyTasksFrame::statusText(const ItemNode *node) const
{
    return TaskTreeModel::statusText(*TaskTreeModel::task(node));
}

void TwyTasksFrame::setCompletion(ItemNode *node, bool checked)
{
    setCompletion(QList<ItemNode *>{node}, checked);
}

void TwyTasksFrame::setCompletion(const QList<ItemNode *> &nodes, bool checked)
{
    // Stored first, all with one statement: marks that could not be stored are not shown
    // either.
    const TDateTime checkTime = NowDays();
    QStringList keys;
    keys.reserve(nodes.size());
    for (const ItemNode *node : nodes)
        keys.append(TaskTreeModel::task(node)->key.toString());
    taskStatements().updateChecks(keys, checked, checkTime);
    for (ItemNode *node : nodes) {
        TTaskInfo &task = *TaskTreeModel::task(node);
        task.checkFlag = checked;
        task.checkTime = checkTime;
        m_alarms.update(node); // a completed task raises no alarm, an incomplete one again
    }
    // The filter lays out and paints every row again once.
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
    QList<ItemNode *> changing;
    for (ItemNode *node : nodes) {
        if (TaskTreeModel::task(node)->checkFlag != target)
            changing.append(node);
    }
    if (!changing.isEmpty())
        setCompletion(changing, target);
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
    for (QAction *action : {Action_TaskReminderSet, Action_TaskDueSet, Action_SetColor})
        action->setEnabled(false);
    for (QAction *action : {Action_TaskComplete, Action_ViewDate, Menu_ViewAll, Menu_ViewComplete,
                            Menu_ViewIncomplete})
        action->setEnabled(false);
    Comb_ViewRange->setEnabled(false);
    QAction *items[] = {Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete};
    items[qBound(0, Comb_ViewRange->currentIndex(), 2)]->setChecked(true);
}

void TwyTasksFrame::updateOwnActions(bool selection)
{
    for (QAction *action : {Action_ViewDate, Menu_ViewAll, Menu_ViewComplete, Menu_ViewIncomplete})
        action->setEnabled(true);
    Comb_ViewRange->setEnabled(true);
    Action_TaskComplete->setEnabled(selection);
    for (QAction *action : {Action_SetColor, Action_TaskReminderSet, Action_TaskDueSet})
        action->setEnabled(selection);
    const ItemNode *first = selection ? firstSelected() : nullptr;
    Action_TaskComplete->setText(first && TaskTreeModel::task(first)->checkFlag
                                     ? QStringLiteral("Unmark Complete")
                                     : QStringLiteral("Mark Complete"));
}

// ---- due dates, reminders and colours ---------------------------------------------------

TwyTasksFrame::~TwyTasksFrame()
{
    // An alarm window still open goes with the frame; its task keeps the reminder.
    delete m_alarmDlg.data();
}

void TwyTasksFrame::shutdown()
{
    Timer1->stop();
    TwyTreeFrame::shutdown();
}

const TTaskInfo *TwyTasksFrame::dialogTask() const
{
    if (FEditNode)
        return nullptr;
    const ItemNode *first = firstSelected();
    return first ? TaskTreeModel::task(first) : nullptr;
}

void TwyTasksFrame::writeEachSelectedAndDeselect(const std::function<void(ItemNode *)> &write)
{
    // Each task in turn: its row, then the record (a value that could not be stored is not
    // shown either); it leaves the selection.
    for (ItemNode *node : m_tree->selectedNodes()) {
        write(node);
        refreshNode(node);
        m_tree->selectionModel()->select(m_model->indexOf(node), QItemSelectionModel::Deselect |
                                                                     QItemSelectionModel::Rows);
    }
}

void TwyTasksFrame::Action_TaskDueSetExecute()
{
    const TTaskInfo *shown = dialogTask();
    if (shown == nullptr)
        return;
    TDueSetDlg dialog(shown->dueFlag, shown->dueTime, window());
    // Whatever the answer, the focus comes back to the list on the row (also after a
    // question the dialog asked of its own).
    const auto refocus =
        qScopeGuard([this, handle = handleOf(firstSelected())] { returnFocusTo(resolve(handle)); });
    if (dialog.exec() != QDialog::Accepted)
        return;
    writeEachSelectedAndDeselect([&](ItemNode *node) {
        TTaskInfo &task = *TaskTreeModel::task(node);
        taskStatements().updateDue(task.key, dialog.dueFlag(), dialog.dueTime());
        task.dueFlag = dialog.dueFlag();
        task.dueTime = dialog.dueTime();
    });
}

void TwyTasksFrame::Action_TaskReminderSetExecute()
{
    const TTaskInfo *shown = dialogTask();
    if (shown == nullptr)
        return;
    TReminderSetDlg dialog(shown->alarmFlag, shown->alarmTime, window());
    // Whatever the answer, the focus comes back to the list on the row (also after a
    // question the dialog asked of its own).
    const auto refocus =
        qScopeGuard([this, handle = handleOf(firstSelected())] { returnFocusTo(resolve(handle)); });
    if (dialog.exec() != QDialog::Accepted)
        return;
    writeEachSelectedAndDeselect([&](ItemNode *node) {
        TTaskInfo &task = *TaskTreeModel::task(node);
        taskStatements().updateAlarm(task.key, dialog.alarmFlag(), dialog.alarmTime());
        task.alarmFlag = dialog.alarmFlag();
        task.alarmTime = dialog.alarmTime();
        m_alarms.update(node);
    });
}

void TwyTasksFrame::Action_SetColorExecute()
{
    const TTaskInfo *shown = dialogTask();
    if (shown == nullptr)
        return;
    TColorSetDlg dialog(shown->textColor, shown->backgroundColor, window());
    // Whatever the answer, the focus comes back to the list on the row (also after a
    // question the dialog asked of its own).
    const auto refocus =
        qScopeGuard([this, handle = handleOf(firstSelected())] { returnFocusTo(resolve(handle)); });
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The rows are painted once, at the end; the selection stays.
    m_tree->setUpdatesEnabled(false);
    const auto release = qScopeGuard([this] { m_tree->setUpdatesEnabled(true); });
    for (ItemNode *node : m_tree->selectedNodes()) {
        TTaskInfo &task = *TaskTreeModel::task(node);
        taskStatements().updateColors(task.key, dialog.textColor(), dialog.backgroundColor());
        task.textColor = dialog.textColor();
        task.backgroundColor = dialog.backgroundColor();
        refreshNode(node);
    }
}

void TwyTasksFrame::Timer1Timer()
{
    // One alarm window at a time, program-wide: the timer goes on ticking meanwhile.
    if (TtaskReminderDlg::openAlarm() || m_alarms.armedCount() == 0)
        return;
    if (ItemNode *node = m_alarms.dueTask(*m_model, NowDays()))
        raiseAlarm(node);
}

void TwyTasksFrame::raiseAlarm(ItemNode *node)
{
    const TTaskInfo &task = *TaskTreeModel::task(node);
    // A window of its own, so that it shows while the main window is hidden in the tray.
    auto *dialog = new TtaskReminderDlg(task.content, m_host.alarmSound());
    m_alarmDlg = dialog;
    m_alarmNode = node;
    m_alarmKey = task.key;
    connect(dialog, &QDialog::finished, this,
            [this, dialog] { RunCommand([&] { alarmClosed(dialog); }); });
    // Told before the alarm takes the front, while the host still sees what is in front.
    m_host.notifyAlarm(task.content);
    dialog->showAlarm();
}

void TwyTasksFrame::alarmClosed(TtaskReminderDlg *dialog)
{
    const bool armed = !dialog->dismissed();
    const TDateTime time = dialog->snoozeTime();
    dialog->deleteLater();
    m_alarmDlg = nullptr;
    const ItemNode *raised = m_alarmNode;
    const QString key = m_alarmKey;
    m_alarmNode = nullptr;
    m_alarmKey.clear();

    // The task is normally where it was; should it have gone meanwhile, its row is still
    // written, and a task read again from the table is found by its key.
    ItemNode *node = nullptr;
    ItemNode *byKey = nullptr;
    m_model->forEachNode([&](ItemNode *candidate) {
        if (candidate->info->key != key)
            return;
        if (candidate == raised)
            node = candidate;
        else if (byKey == nullptr && !key.isEmpty())
            byKey = candidate;
    });
    if (node == nullptr)
        node = byKey;
    if (node) {
        TTaskInfo &task = *TaskTreeModel::task(node);
        task.alarmFlag = armed;
        task.alarmTime = time;
        m_alarms.update(node);
    }
    if (!key.isEmpty())
        taskStatements().updateAlarm(key, armed, time);
    if (node) {
        refreshNode(node);
        const QList<ItemNode *> selected = m_tree->selectedNodes();
        if (selected.size() == 1 && selected.first() == node)
            reportNode(node);
    }
}
