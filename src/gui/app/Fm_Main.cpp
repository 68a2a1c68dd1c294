#include "Fm_Main.h"

#include "app/CommonOptions.h"
#include "app/SingleInstance.h"
#include "common/AppPaths.h"
#include "common/IconArt.h"
#include "common/ItemTreeView.h"
#include "common/pU_Boxes.h"
#include "common/Texts.h"
#include "components/AppIcon.h"
#include "components/HelpTopics.h"
#include "components/WyFormState.h"
#include "components/wyHHComp.h"
#include "components/WyTray.h"
#include "components/WyVersionInfo.h"
#include "Dm_Common.h"
#include "interchange/Dm_Io.h"
#include "memos/Fr_wyMemos.h"
#include "storage/BackgroundWrites.h"
#include "storage/Database.h"
#include "storage/PastedItem.h"
#include "SyncController.h"
#include "SyncNotices.h"
#include "tasks/Fr_wyTasks.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <chrono>

namespace {
// The balloon shown when the window goes to the tray, at most once an hour.
const QString kBalloonText = QStringLiteral("Click here to open!");
constexpr int kBalloonSeconds = 10;
constexpr int kBalloonPauseMs = 3600000;
// How many passes of the event loop Exit waits for open dialogs to finish.
constexpr int kExitDeferrals = 100;
// The longest the memo list waits for the window's first picture at start.
constexpr int kMemoLoadLatestMs = 1000;
// How often the reload after a sync looks again whether the lists are free for it.
constexpr int kSyncReloadRetryMs = 250;
// The widest the sync's state asks to be in a status bar, in pixels.
constexpr int kSyncStateWidth = 280;

// The sync's state in a status bar. However long the line (a server's refusal names the
// request), it never widens the window: it takes the room there is and shows its start, the
// tool tip all of it.
class SyncStateLabel : public QLabel
{
public:
    explicit SyncStateLabel(QWidget *parent) : QLabel(parent) {}
    void setState(const QString &text)
    {
        m_state = text;
        setToolTip(text);
        // Drawn by hand: assistive tools read the state as the label's name.
        setAccessibleName(text);
        setVisible(!text.isEmpty());
        updateGeometry();
        update();
    }
    QSize sizeHint() const override
    {
        return {std::min(fontMetrics().horizontalAdvance(m_state), kSyncStateWidth) + 4,
                fontMetrics().height()};
    }
    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(m_state, Qt::ElideRight, width()));
    }

private:
    QString m_state;
};
} // namespace

TmainFm::TmainFm(InstanceServer *instance, RunLock *runLock, QWidget *parent)
    : QMainWindow(parent), FMutex(instance), m_runLock(runLock),
      m_ini(AppPaths::file(Texts::IniFileName))
{
    setObjectName(QStringLiteral("mainFm"));
    setWindowTitle(Texts::InitialCaption);
    resize(455, 503);

    // 1. The single-instance claim is held from here until Exit.
    if (!m_runLock) {
        m_runLock = &m_ownRunLock;
        if (FMutex)
            FMutex->listen();
        m_runLock->acquireExclusive(
            AppPaths::file(Texts::RunLockFileName),
            {QCoreApplication::applicationPid(), FMutex ? FMutex->fullServerName() : QString()});
    }
    FFirstShow = true;
    FExiting = false;
    // 2. The five background bitmaps.
    loadBitmaps();
    // 3. Paths.
    FAlarmSound = AppPaths::resource(Texts::AlarmSoundFile);
    FIniPath = m_ini.path();
    // 4. Shell settings.
    FHintSize = m_ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20);
    FAddOpenEn = m_ini.readBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false);
    // 5. The database connection.
    m_db = Database::open(AppPaths::file(Texts::DatabaseFileName));
    // A write stored in the background that fails is told as any other.
    BackgroundWrites::setFailureHandler(&ReportError);
    // 6. Start-up options.
    TcommonDm::LoadStartupOptions(*this);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    PageControl1->setAccessibleName(QStringLiteral("Lists"));
    TabSheet_task = new QWidget;
    TabSheet_task->setObjectName(QStringLiteral("TabSheet_task"));
    TabSheet_task->setLayout(new QVBoxLayout);
    TabSheet_task->layout()->setContentsMargins(0, 0, 0, 0);
    TabSheet_memo = new QWidget;
    TabSheet_memo->setObjectName(QStringLiteral("TabSheet_memo"));
    TabSheet_memo->setLayout(new QVBoxLayout);
    TabSheet_memo->layout()->setContentsMargins(0, 0, 0, 0);
    // The tabs carry 22 by 22 images: a check list and a note pad.
    PageControl1->setIconSize(QSize(22, 22));
    PageControl1->addTab(TabSheet_task, IconArt::icon(IconId::TabTasks), Texts::TabTasks);
    PageControl1->addTab(TabSheet_memo, IconArt::icon(IconId::TabMemos), Texts::TabMemos);
    setCentralWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TmainFm::PageControl1Change);

    setWindowIcon(AppIcon());

    // 7. The help viewer gets the help file, the window state the settings file.
    WYHHComp1 = new TWYHHComp(this);
    WYHHComp1->setObjectName(QStringLiteral("WYHHComp1"));
    WYHHComp1->setHelpFile(AppPaths::resource(Texts::HelpFile));
    WYHHComp1->Loaded();
    TWYHHComp::setHelpContext(this, HelpContext::MainWindow);
    TWYHHComp::setHelpContext(TabSheet_task, HelpContext::Tasks);
    TWYHHComp::setHelpContext(TabSheet_memo, HelpContext::Memos);
    WyFormState1 = new TWyFormState(this);
    WyFormState1->setObjectName(QStringLiteral("WyFormState1"));
    WyFormState1->setSection(QStringLiteral("form"));
    WyFormState1->setIniPath(FIniPath);
    WyFormState1->HookForm();
    WyVersionInfo1 = new TWyVersionInfo(this);
    WyVersionInfo1->setObjectName(QStringLiteral("WyVersionInfo1"));

    Timer_balloon = new QTimer(this);
    Timer_balloon->setObjectName(QStringLiteral("Timer_balloon"));
    Timer_balloon->setInterval(kBalloonPauseMs);
    connect(Timer_balloon, &QTimer::timeout, this, &TmainFm::Timer_balloonTimer);

    // The interchange module (backup, restore, import) and its three commands; a restore or
    // an import that completed reloads the to-do list and then the memo list.
    auto *IoDm = new TIoDm(m_db, this, this);
    const IoActions ioActions = CreateIoActions(*IoDm, this, [this] {
        if (FTasksFrame)
            FTasksFrame->postMessage(WM_FRAME_RELOAD);
        if (FMemosFrame)
            FMemosFrame->postMessage(WM_FRAME_RELOAD);
    });
    setCommonAction(CommonAction::DbBackup, ioActions.Action_DbBackup);
    setCommonAction(CommonAction::DbRestore, ioActions.Action_DbRestore);
    setCommonAction(CommonAction::Import, ioActions.Action_Import);
    // The common commands; the tray's "&Open Ploxen Tasklume" is one of them.
    m_commonDm = new TcommonDm(*this);
    buildSync();

    buildTray();

    // The end of the desktop session: saved like Exit does, and ended like it when the
    // application is told to quit.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { saveSession(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TmainFm::Action_ExitExecute);

    if (FMutex) {
        connect(FMutex, &InstanceServer::activationRequested, this,
                &TmainFm::activateForSecondStart);
        FMutex->setRequestHandler(
            [this](const QByteArray &request) { return answerRequest(request); });
    }
}

QByteArray TmainFm::answerRequest(const QByteArray &request)
{
    if (request.startsWith("add "))
        return answerAddRequest(request);
    // "rows tasks" or "rows memos": the shown rows of a list, one a line, as
    // level, flags (E expanded, C complete) and the text on one line, tab-separated.
    // "shown tasks" or "shown memos": the number of shown top-level rows, cheap to ask.
    if (request == "shown tasks" || request == "shown memos") {
        const TwyTreeFrame *shown = request == "shown tasks" ? static_cast<TwyTreeFrame *>(FTasksFrame)
                                                            : FMemosFrame;
        return QByteArray::number(shown ? shown->model()->rowCount() : 0) + '\n';
    }
    // "painted tasks": when the to-do list was first painted, in microseconds of the
    // system's monotonic clock (the same in every process), -1 before.
    if (request == "painted tasks")
        return QByteArray::number(m_firstPaintMicroseconds) + '\n';
    // "editing tasks" or "editing memos": the text in the list's open in-place editor, on
    // one line; an empty line when none is open.
    if (request == "editing tasks" || request == "editing memos") {
        const TwyTreeFrame *editing =
            request == "editing tasks" ? static_cast<TwyTreeFrame *>(FTasksFrame) : FMemosFrame;
        const auto *editor =
            editing ? qobject_cast<const QPlainTextEdit *>(editing->tree()->openEditor()) : nullptr;
        return (editor ? FlattenLines(editor->toPlainText()).toUtf8() : QByteArray()) + '\n';
    }
    const TwyTreeFrame *frame = nullptr;
    if (request == "rows tasks")
        frame = FTasksFrame;
    else if (request == "rows memos")
        frame = FMemosFrame;
    if (frame == nullptr)
        return QByteArrayLiteral("error\n");
    QByteArray reply;
    const QTreeView *tree = frame->tree();
    frame->model()->forEachNode([&](ItemNode *node) {
        const QModelIndex index = frame->model()->indexOf(node);
        if (!index.isValid() || (node->level() == 1 && !tree->isExpanded(index.parent())))
            return;
        QByteArray flags;
        if (tree->isExpanded(index))
            flags += 'E';
        if (index.data(Qt::CheckStateRole).toInt() == Qt::Checked)
            flags += 'C';
        reply += QByteArray::number(node->level()) + '\t' + flags + '\t' +
                 FlattenLines(index.data(Qt::DisplayRole).toString()).toUtf8() + '\n';
    });
    return reply;
}

QByteArray TmainFm::answerAddRequest(const QByteArray &request)
{
    // "add task|memo <parent key or root> <text> [<deadline>]", key and text in Base64, from
    // the command-line companion: the text is stored as pasting it does and shown at once,
    // without disturbing an edit in progress. The reply is "ok" and the new key, or "error"
    // and why, on one line. The deadline (milliseconds of the system's monotonic clock) is
    // when the companion stops waiting and tells that the item was not added: a request
    // taken later (the program was stopped or busy) is dropped.
    const QList<QByteArray> parts = request.split(' ');
    const bool tasks = parts.value(1) == "task";
    if (parts.size() < 3 || parts.size() > 5 || (!tasks && parts.value(1) != "memo"))
        return QByteArrayLiteral("error The request is not understood.\n");
    if (parts.size() == 5) {
        bool valid = false;
        const qint64 deadline = parts.at(4).toLongLong(&valid);
        const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        if (!valid)
            return QByteArrayLiteral("error The request is not understood.\n");
        if (now > deadline)
            return QByteArrayLiteral("error The request came after its time; nothing was added.\n");
    }
    const QString parentKey = QString::fromUtf8(QByteArray::fromBase64(parts.at(2)));
    const QString text = QString::fromUtf8(QByteArray::fromBase64(parts.value(3)));
    TwyTreeFrame *frame = tasks ? static_cast<TwyTreeFrame *>(FTasksFrame) : FMemosFrame;
    try {
        QString key;
        if (frame) {
            key = frame->storePastedText(text, parentKey)->info->key;
        } else {
            // The lists are made at the window's first showing and load from the database.
            key = PastedItem::Store(m_db, tasks ? Reports::ListKind::Tasks : Reports::ListKind::Memos,
                                    text, parentKey);
        }
        return "ok " + key.toUtf8() + '\n';
    } catch (const std::exception &error) {
        const auto *own = dynamic_cast<const TasklumeError *>(&error);
        return "error " +
               FlattenLines(own ? own->text() : QString::fromLocal8Bit(error.what())).toUtf8() +
               '\n';
    }
}

TmainFm::~TmainFm()
{
    delete FMemosFrame;
    delete FTasksFrame;
    FMemosFrame = nullptr;
    FTasksFrame = nullptr;
    // The interchange commands hold the connection too; they go before it closes.
    qDeleteAll(findChildren<TIoDm *>(Qt::FindDirectChildrenOnly));
    m_db = QSqlDatabase();
    Database::close();
}

void TmainFm::loadBitmaps()
{
    struct Entry
    {
        const QString *file;
        QPixmap *target;
    };
    const Entry entries[] = {
        {&Texts::ToolbarBackgroundFile, &m_bitmaps.toolbarBackground},
        {&Texts::SearchbarBackgroundFile, &m_bitmaps.searchbarBackground},
        {&Texts::GroupBackgroundFile, &m_bitmaps.groupBackground},
        {&Texts::ItemBackground0File, &m_bitmaps.itemBackground0},
        {&Texts::ItemBackground1File, &m_bitmaps.itemBackground1},
    };
    QStringList failures;
    for (const Entry &entry : entries) {
        const QString path = AppPaths::resource(Texts::ImagesDir + *entry.file);
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull())
            failures.append(
                QStringLiteral("Cannot load the image \"%1\": %2").arg(path, reader.errorString()));
        else
            *entry.target = QPixmap::fromImage(image);
    }
    // The program goes on without the missing pictures; the user is told once.
    if (!failures.isEmpty())
        ReportError(failures.join(QLatin1Char('\n')));
}

void TmainFm::buildTray()
{
    PopupMenu_Tray = new QMenu(this);
    PopupMenu_Tray->setObjectName(QStringLiteral("PopupMenu_Tray"));
    PopupMenu_Tray->addAction(m_commonDm->Action_UiOpen);
    PopupMenu_Tray->addSeparator();
    Action_AddTask = PopupMenu_Tray->addAction(Texts::ActionAddTask);
    Action_AddTask->setObjectName(QStringLiteral("Action_AddTask"));
    connect(Action_AddTask, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_AddTaskExecute(); }); });
    Action_PasteTask = PopupMenu_Tray->addAction(Texts::ActionPasteTask);
    Action_PasteTask->setObjectName(QStringLiteral("Action_PasteTask"));
    // The clipboard becomes a task without opening the window.
    connect(Action_PasteTask, &QAction::triggered, this, [this] {
        RunCommand([this] {
            if (FTasksFrame)
                FTasksFrame->pasteItem();
        });
    });
    PopupMenu_Tray->addSeparator();
    Action_AddMemo = PopupMenu_Tray->addAction(Texts::ActionAddMemo);
    Action_AddMemo->setObjectName(QStringLiteral("Action_AddMemo"));
    connect(Action_AddMemo, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_AddMemoExecute(); }); });
    Action_PasteMemo = PopupMenu_Tray->addAction(Texts::ActionPasteMemo);
    Action_PasteMemo->setObjectName(QStringLiteral("Action_PasteMemo"));
    connect(Action_PasteMemo, &QAction::triggered, this, [this] {
        RunCommand([this] {
            if (FMemosFrame)
                FMemosFrame->pasteItem();
        });
    });
    PopupMenu_Tray->addSeparator();
    Action_Exit = PopupMenu_Tray->addAction(Texts::ActionExit);
    Action_Exit->setObjectName(QStringLiteral("Action_Exit"));
    connect(Action_Exit, &QAction::triggered, this, &TmainFm::Action_ExitExecute);

    // The tray icon: minimise and close hide the window there; a left click opens it.
    WyTrayIcon1 = new TWyTrayIcon(this);
    WyTrayIcon1->setObjectName(QStringLiteral("WyTrayIcon1"));
    // One colour, the desktop's text colour, as panels show their icons.
    WyTrayIcon1->setImages({TrayIcon(TrayInk())});
    WyTrayIcon1->setThemeIconName(TrayIconName());
    FollowPalette(WyTrayIcon1);
    WyTrayIcon1->setMinimizeToTray(true);
    WyTrayIcon1->setPopupMenu(PopupMenu_Tray);
    WyTrayIcon1->setHint(Texts::AppTitle);
    connect(WyTrayIcon1, &TWyCustomTrayIcon::OnClick, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers) { WyTrayIcon1Click(button); });
    WyTrayIcon1->Loaded();
}

void TmainFm::buildSync()
{
    m_sync = new SyncController(m_ini, AppPaths::file(Texts::DatabaseFileName), this);
    Action_SyncNow = new QAction(QStringLiteral("S&ync Now"), this);
    Action_SyncNow->setObjectName(QStringLiteral("Action_SyncNow"));
    Action_SyncNow->setStatusTip(QStringLiteral("Sync the lists with the server now"));
    Action_SyncNow->setShortcut(Qt::Key_F5);
    Action_SyncNow->setShortcutContext(Qt::WindowShortcut);
    addAction(Action_SyncNow);
    connect(Action_SyncNow, &QAction::triggered, this,
            [this] { RunCommand([this] { m_sync->syncNow(true); }); });
    setCommonAction(CommonAction::SyncNow, Action_SyncNow);

    // Ctrl+F: the search box of the list shown, wherever the focus is in the window.
    Action_Find = new QAction(QStringLiteral("&Find"), this);
    Action_Find->setObjectName(QStringLiteral("Action_Find"));
    Action_Find->setShortcut(QKeySequence::Find);
    Action_Find->setShortcutContext(Qt::WindowShortcut);
    addAction(Action_Find);
    connect(Action_Find, &QAction::triggered, this, [this] {
        if (TwyTreeFrame *frame = activeFrame())
            frame->focusSearch();
    });
    connect(m_sync, &SyncController::stateChanged, this, &TmainFm::showSyncState);
    connect(m_sync, &SyncController::listsChanged, this, &TmainFm::reloadAfterSync);
    m_syncNotices = new SyncNotices(this);
    connect(m_sync, &SyncController::finished, this, [this](const SyncOutcome &outcome) {
        m_syncNotices->runEnded(outcome, m_sync->lastRunByUser(), isVisible() && !isMinimized());
    });
}

void TmainFm::showSyncState(const QString &text)
{
    // One run at a time: the command waits for the running one.
    Action_SyncNow->setEnabled(!m_sync->isRunning());
    for (const QPointer<QLabel> &label : std::as_const(m_syncLabels)) {
        if (!label)
            continue;
        static_cast<SyncStateLabel *>(label.data())->setState(text);
    }
}

void TmainFm::reloadAfterSync(bool tasks, bool memos)
{
    // The rows the run changed are shown row by row; a run that changed many, or one whose
    // changes are not known by key, reads the list anew.
    const SyncOutcome &outcome = m_sync->lastOutcome();
    if (tasks)
        m_syncChangedTasks += outcome.tasks.changedHere;
    if (memos)
        m_syncChangedMemos += outcome.memos.changedHere;
    m_syncReloadTasks = m_syncReloadTasks || tasks;
    m_syncReloadMemos = m_syncReloadMemos || memos;
    if (FExiting || !FTasksFrame || !FMemosFrame) {
        // Lists made later load from the database anyway.
        m_syncReloadTasks = m_syncReloadMemos = false;
        m_syncChangedTasks.clear();
        m_syncChangedMemos.clear();
        return;
    }
    // Never under a running command (a dialog's event loop) and never under the user's
    // typing: the reload waits until both lists are free, and then keeps their places.
    const bool busy = QThread::currentThread()->loopLevel() > 1 ||
                      QApplication::activeModalWidget() || FTasksFrame->isEditing() ||
                      FMemosFrame->isEditing();
    if (busy) {
        if (!m_syncReloadWaiting) {
            m_syncReloadWaiting = true;
            QTimer::singleShot(kSyncReloadRetryMs, this, [this] {
                m_syncReloadWaiting = false;
                reloadAfterSync(false, false);
            });
        }
        return;
    }
    const auto show = [](TwyTreeFrame *frame, const QStringList &keys) {
        if (!frame->applyChangedRows(keys))
            frame->reloadKeepingPlace();
    };
    if (std::exchange(m_syncReloadTasks, false)) {
        const QStringList keys = std::exchange(m_syncChangedTasks, {});
        RunCommand([&] { show(FTasksFrame, keys); });
    }
    if (std::exchange(m_syncReloadMemos, false)) {
        const QStringList keys = std::exchange(m_syncChangedMemos, {});
        RunCommand([&] { show(FMemosFrame, keys); });
    }
}

void TmainFm::syncSettingsChanged()
{
    m_sync->applySettings();
}

void TmainFm::WyTrayIcon1Click(Qt::MouseButton button)
{
    if (button == Qt::LeftButton)
        Restore();
}

void TmainFm::setTrayHint(const QString &hint)
{
    // The tray shows at most the first 127 characters.
    if (WyTrayIcon1)
        WyTrayIcon1->setHint(hint);
}

void TmainFm::notifyAlarm(const QString &text)
{
    // The alarm window comes up above the others by itself; while this window is hidden in
    // the tray or another program is in front, the tray's message announces it as well.
    if (isVisible() && !isMinimized() && QApplication::activeWindow() != nullptr)
        return;
    if (WyTrayIcon1)
        WyTrayIcon1->ShowBalloonHint(QStringLiteral("Task Reminder"), FlattenLines(text), 30,
                                     TWyCustomTrayIcon::NIIF_INFO);
}

QAction *TmainFm::commonAction(CommonAction id) const
{
    if (QAction *action = m_commonActions.value(id))
        return action;
    static const QHash<CommonAction, QString> captions{
        {CommonAction::Options, QStringLiteral("&Options...")},
        {CommonAction::SyncNow, QStringLiteral("S&ync Now")},
        {CommonAction::DbBackup, Texts::ActionDbBackup},
        {CommonAction::DbRestore, Texts::ActionDbRestore},
        {CommonAction::Import, Texts::ActionImport},
        {CommonAction::StayOnTop, QStringLiteral("S&tay on top")},
        {CommonAction::Close, QStringLiteral("&Close")},
        {CommonAction::HelpContents, QStringLiteral("&Contents")},
        {CommonAction::Contact, QStringLiteral("C&ontact Technical Support")},
        {CommonAction::Suggestion, QStringLiteral("&Make a Suggestion")},
        {CommonAction::Website, QStringLiteral("&Visit Ploxen Website")},
        {CommonAction::Update, QStringLiteral("Check for &Update")},
        {CommonAction::About, QStringLiteral("&About")},
    };
    auto *self = const_cast<TmainFm *>(this);
    auto *placeholder = new QAction(captions.value(id), self);
    placeholder->setEnabled(false);
    if (id == CommonAction::StayOnTop)
        placeholder->setCheckable(true);
    self->m_commonActions.insert(id, placeholder);
    return placeholder;
}

void TmainFm::setCommonAction(CommonAction id, QAction *action)
{
    QAction *old = m_commonActions.value(id);
    m_commonActions.insert(id, action);
    if (old && old != action) {
        // Menus built before show the new action in the old one's place.
        const auto widgets = old->associatedObjects();
        for (QObject *object : widgets) {
            if (auto *menu = qobject_cast<QMenu *>(object)) {
                menu->insertAction(old, action);
                menu->removeAction(old);
            }
        }
        if (old->parent() == this)
            old->deleteLater();
    }
}

void TmainFm::installMenus(const QList<QMenu *> &menus)
{
    QMenuBar *bar = menuBar();
    bar->clear();
    for (QMenu *menu : menus)
        bar->addMenu(menu);
}

TwyTreeFrame *TmainFm::activeFrame() const
{
    if (PageControl1->currentWidget() == TabSheet_task)
        return FTasksFrame;
    return FMemosFrame;
}

void TmainFm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // A window un-minimised by the window manager is no new show.
    if (event->spontaneous() || m_restyling)
        return;
    if (FFirstShow)
        RunCommand([this] { firstShow(); });
    else
        RunCommand([this] { FormShow(); });
}

void TmainFm::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    if (event->spontaneous() || m_restyling)
        return;
    RunCommand([this] { FormHide(); });
}

void TmainFm::FormShow()
{
    // With "Add new item while open" every opening of the window starts a new item; the
    // window coming back by itself when the tray goes away is no opening.
    if (FAddOpenEn && !m_addingFromTray && !WyTrayIcon1->returningWithoutTray()) {
        if (TwyTreeFrame *frame = activeFrame())
            frame->postMessage(WM_FRAME_ADD);
    }
}

void TmainFm::FormHide()
{
    if (FExiting)
        return;
    WyFormState1->SaveState();
    if (!Timer_balloon->isActive()) {
        WyTrayIcon1->ShowBalloonHint(Texts::AppTitle, kBalloonText, kBalloonSeconds,
                                     TWyCustomTrayIcon::NIIF_INFO);
        Timer_balloon->start();
    }
}

void TmainFm::Timer_balloonTimer()
{
    // The hour of silence is over: the next hide shows the balloon again.
    Timer_balloon->stop();
}

void TmainFm::firstShow()
{
    FTasksFrame = new TwyTasksFrame(*this, TabSheet_task);
    TabSheet_task->layout()->addWidget(FTasksFrame);
    FMemosFrame = new TwyMemosFrame(*this, TabSheet_memo);
    TabSheet_memo->layout()->addWidget(FMemosFrame);
    for (TwyTreeFrame *frame :
         {static_cast<TwyTreeFrame *>(FTasksFrame), static_cast<TwyTreeFrame *>(FMemosFrame)}) {
        auto *label = new SyncStateLabel(frame->statusBar());
        label->setObjectName(QStringLiteral("SyncState"));
        frame->statusBar()->addPermanentWidget(label);
        m_syncLabels.append(label);
    }
    showSyncState(m_sync->stateText());
    // The window is put on the screen only after this: the to-do list is loaded and sorted
    // now, so that the first picture of the window already shows it (never an empty list
    // that fills a moment later). The memo list, on the tab behind, follows that picture.
    FTasksFrame->sendMessage(WM_FRAME_RELOAD);
    m_commonDm->ApplyStartupOptions();
    FFirstShow = false;
    loadMemosAfterFirstPaint();
}

void TmainFm::loadMemosAfterFirstPaint()
{
    m_memosWaiting = true;
    if (!isVisible()) {
        loadWaitingMemos();
        return;
    }
    FTasksFrame->tree()->viewport()->installEventFilter(this);
    // A window the window system never lets paint does not keep the memos back.
    QTimer::singleShot(kMemoLoadLatestMs, this, [this] { loadWaitingMemos(); });
}

void TmainFm::loadWaitingMemos()
{
    if (!m_memosWaiting || m_memosLoading || !FMemosFrame)
        return;
    m_memosLoading = true;
    // The rows are read on a thread of their own: the window answers keys meanwhile.
    connect(
        FMemosFrame, &TwyTreeFrame::reloaded, this,
        [this] {
            m_memosWaiting = false;
            // The update prompt's web address counts the memos: it follows their loading.
            if (m_updatePromptWaiting) {
                m_updatePromptWaiting = false;
                QMetaObject::invokeMethod(this, &TmainFm::WMShowUpdate, Qt::QueuedConnection);
            }
        },
        Qt::SingleShotConnection);
    RunCommand([this] { FMemosFrame->reloadInBackground(); });
}

bool TmainFm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && FTasksFrame && watched == FTasksFrame->tree()->viewport()) {
        watched->removeEventFilter(this);
        m_firstPaintMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count();
        // Posted: the picture being painted reaches the screen first.
        loadWaitingMemos();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TmainFm::WMShowUpdate()
{
    if (m_memosWaiting) {
        m_updatePromptWaiting = true;
        return;
    }
    RunCommand([this] { m_commonDm->showUpdatePrompt(); });
}

ShellOptions TmainFm::shellOptions() const
{
    return {FVisitWebEn, FLastWebVisit, FRunMinimized, FAddOpenEn};
}

void TmainFm::setShellOptions(const ShellOptions &options)
{
    FVisitWebEn = options.visitWebEn;
    FLastWebVisit = options.lastWebVisit;
    FRunMinimized = options.runMinimized;
    FAddOpenEn = options.addOpenEn;
}

void TmainFm::activateList()
{
    if (TwyTreeFrame *frame = activeFrame())
        frame->sendMessage(WM_FRAME_ACTIVATE);
}

void TmainFm::postUpdatePrompt()
{
    QMetaObject::invokeMethod(this, &TmainFm::WMShowUpdate, Qt::QueuedConnection);
}

QString TmainFm::MakeWebUrl(const QString &address) const
{
    const int days = CommonOptions::WholeDaysBetween(FLastWebVisit, NowDays());
    return CommonOptions::MakeWebUrl(address, days, FTaskCount, FMemoCount);
}

void TmainFm::PageControl1Change(int)
{
    if (TwyTreeFrame *frame = activeFrame())
        frame->postMessage(WM_FRAME_ACTIVATE);
}

void TmainFm::activateForSecondStart()
{
    if (!isVisible()) {
        // Hidden behind the tray icon: nothing becomes visible. With no icon to open it
        // from, the second start is the way back.
        if (!WyTrayIcon1->isAdded())
            Restore();
        return;
    }
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TmainFm::Restore()
{
    WyTrayIcon1->Restore();
}

void TmainFm::Minimize()
{
    WyTrayIcon1->Minimize();
}

void TmainFm::Action_AddTaskExecute()
{
    addFromTray(TabSheet_task, FTasksFrame);
}

void TmainFm::Action_AddMemoExecute()
{
    addFromTray(TabSheet_memo, FMemosFrame);
}

void TmainFm::addFromTray(QWidget *tab, TwyTreeFrame *frame)
{
    // The command starts its item itself, so opening the window does not start another.
    m_addingFromTray = true;
    Restore();
    m_addingFromTray = false;
    {
        const QSignalBlocker blocker(PageControl1);
        PageControl1->setCurrentWidget(tab);
    }
    if (frame) {
        frame->postMessage(WM_FRAME_ACTIVATE);
        frame->postMessage(WM_FRAME_ADD);
    }
}

void TmainFm::reloadLists()
{
    if (FTasksFrame)
        FTasksFrame->postMessage(WM_FRAME_RELOAD);
    if (FMemosFrame)
        FMemosFrame->postMessage(WM_FRAME_RELOAD);
}

void TmainFm::setStayOnTop(bool on)
{
    WyFormState1->SaveState();
    const bool visible = isVisible();
    m_restyling = true;
    // Changing the flags re-creates the window, which hides it.
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible)
        show();
    m_restyling = false;
    WyFormState1->RestoreState();
}

void TmainFm::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // The tray icon has turned closing into hiding when there is a tray to hide in; a
    // close that gets here ends the program like an ordinary window would, so that it is
    // never left running out of reach.
    event->ignore();
    Action_ExitExecute();
}

void TmainFm::endFromOutside()
{
    // A signal or the session's end: the same as Exit, which waits for open dialogs.
    Action_ExitExecute();
}

void TmainFm::saveSession()
{
    if (FExiting)
        return;
    if (FMemosFrame)
        FMemosFrame->endEditing(true);
    if (FTasksFrame)
        FTasksFrame->endEditing(true);
    WyFormState1->SaveState();
}

void TmainFm::Action_ExitExecute()
{
    if (FExiting)
        return;
    // Chosen from the tray while a dialog of the program runs its own event loop (inside a
    // command of a list, say): the dialogs are cancelled and the program ends once their
    // commands have returned, so that nothing is torn down under a running command.
    const bool dialogRunning =
        QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget();
    if (dialogRunning && m_exitDeferrals < kExitDeferrals) {
        ++m_exitDeferrals;
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            if (!window->isVisible() || !window->isModal())
                continue;
            if (auto *dialog = qobject_cast<QDialog *>(window))
                dialog->reject();
            else
                window->close();
        }
        QTimer::singleShot(0, this, &TmainFm::Action_ExitExecute);
        return;
    }
    FExiting = true;
    WyFormState1->SaveState();
    // The memo list goes first, then the to-do list; each stores an edit still open.
    if (FMemosFrame) {
        FMemosFrame->shutdown();
        delete FMemosFrame;
        FMemosFrame = nullptr;
    }
    if (FTasksFrame) {
        FTasksFrame->shutdown();
        delete FTasksFrame;
        FTasksFrame = nullptr;
    }
    m_syncLabels.clear();
    // A sync still running is given a while to end, out of the user's sight; the folder
    // stays claimed meanwhile.
    if (m_sync->isRunning())
        hide();
    m_sync->shutdown(m_exitSyncWaitMs);
    if (FMutex)
        FMutex->release();
    m_runLock->release();
    WyTrayIcon1->RemoveFromTray();
    WYHHComp1->closeAll();
    m_closing = true;
    close();
    QApplication::quit();
}
