#include "Fm_Main.h"

#include "SingleInstance.h"
#include "common/AppPaths.h"
#include "common/Texts.h"
#include "common/pU_Boxes.h"
#include "interchange/Dm_Io.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "tasks/Fr_wyTasks.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

TmainFm::TmainFm(InstanceServer *instance, QWidget *parent)
    : QMainWindow(parent), FMutex(instance), m_ini(AppPaths::file(Texts::IniFileName))
{
    setObjectName(QStringLiteral("mainFm"));
    setWindowTitle(Texts::InitialCaption);
    resize(455, 503);

    // 1. The single-instance claim is held from here until Exit.
    if (FMutex)
        FMutex->listen();
    FFirstShow = true;
    FExiting = false;
    // 2. The five background bitmaps.
    loadBitmaps();
    // 3. Paths.
    FAlarmSound = AppPaths::file(Texts::AlarmSoundFile);
    FIniPath = m_ini.path();
    // 4. Shell settings.
    FHintSize = m_ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20);
    FAddOpenEn = m_ini.readBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false);
    // 5. The database connection.
    m_db = Database::open(AppPaths::file(Texts::DatabaseFileName));
    // 6. Start-up options.
    FRunMinimized =
        m_ini.readBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), false);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    TabSheet_task = new QWidget;
    TabSheet_task->setObjectName(QStringLiteral("TabSheet_task"));
    TabSheet_task->setLayout(new QVBoxLayout);
    TabSheet_task->layout()->setContentsMargins(0, 0, 0, 0);
    TabSheet_memo = new QWidget;
    TabSheet_memo->setObjectName(QStringLiteral("TabSheet_memo"));
    TabSheet_memo->setLayout(new QVBoxLayout);
    TabSheet_memo->layout()->setContentsMargins(0, 0, 0, 0);
    PageControl1->addTab(TabSheet_task, Texts::TabTasks);
    PageControl1->addTab(TabSheet_memo, Texts::TabMemos);
    setCentralWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TmainFm::PageControl1Change);

    const QIcon appIcon(AppPaths::file(Texts::AppIconFile));
    setWindowIcon(appIcon);
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

    buildTray();

    if (FMutex) {
        connect(FMutex, &InstanceServer::activationRequested, this,
                &TmainFm::activateForSecondStart);
        FMutex->setRequestHandler(
            [this](const QByteArray &request) { return answerRequest(request); });
    }
}

QByteArray TmainFm::answerRequest(const QByteArray &request) const
{
    // "rows tasks" or "rows memos": the shown rows of a list, one a line, as
    // level, flags (E expanded, C complete) and the text on one line, tab-separated.
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

TmainFm::~TmainFm()
{
    delete FMemosFrame;
    delete FTasksFrame;
    FMemosFrame = nullptr;
    FTasksFrame = nullptr;
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
        const QString path = AppPaths::file(Texts::ImagesDir + *entry.file);
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull())
            failures.append(QStringLiteral("Cannot load the image \"%1\": %2")
                                .arg(path, reader.errorString()));
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
    QAction *open = PopupMenu_Tray->addAction(Texts::TrayOpen);
    connect(open, &QAction::triggered, this, &TmainFm::Restore);
    PopupMenu_Tray->addSeparator();
    PopupMenu_Tray->addAction(Texts::ActionAddTask)->setEnabled(false);
    PopupMenu_Tray->addAction(Texts::ActionPasteTask)->setEnabled(false);
    PopupMenu_Tray->addSeparator();
    PopupMenu_Tray->addAction(Texts::ActionAddMemo)->setEnabled(false);
    PopupMenu_Tray->addAction(Texts::ActionPasteMemo)->setEnabled(false);
    PopupMenu_Tray->addSeparator();
    Action_Exit = PopupMenu_Tray->addAction(Texts::ActionExit);
    Action_Exit->setObjectName(QStringLiteral("Action_Exit"));
    connect(Action_Exit, &QAction::triggered, this, &TmainFm::Action_ExitExecute);

    WyTrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
    WyTrayIcon1->setContextMenu(PopupMenu_Tray);
    WyTrayIcon1->setToolTip(Texts::AppTitle);
    connect(WyTrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger ||
                    reason == QSystemTrayIcon::DoubleClick)
                    Restore();
            });
    if (trayAvailable())
        WyTrayIcon1->show();
}

bool TmainFm::trayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TmainFm::setTrayHint(const QString &hint)
{
    if (WyTrayIcon1)
        WyTrayIcon1->setToolTip(hint.left(127));
}

QAction *TmainFm::commonAction(CommonAction id) const
{
    if (QAction *action = m_commonActions.value(id))
        return action;
    static const QHash<CommonAction, QString> captions{
        {CommonAction::Options, QStringLiteral("&Options...")},
        {CommonAction::DbBackup, Texts::ActionDbBackup},
        {CommonAction::DbRestore, Texts::ActionDbRestore},
        {CommonAction::Import, Texts::ActionImport},
        {CommonAction::StayOnTop, QStringLiteral("S&tay on top")},
        {CommonAction::Close, QStringLiteral("&Close            Ctrl+F12")},
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
    if (FFirstShow)
        RunCommand([this] { firstShow(); });
}

void TmainFm::firstShow()
{
    FTasksFrame = new TwyTasksFrame(*this, TabSheet_task);
    TabSheet_task->layout()->addWidget(FTasksFrame);
    FTasksFrame->postMessage(WM_FRAME_RELOAD);
    FMemosFrame = new TwyMemosFrame(*this, TabSheet_memo);
    TabSheet_memo->layout()->addWidget(FMemosFrame);
    FMemosFrame->postMessage(WM_FRAME_RELOAD);
    FTasksFrame->postMessage(WM_FRAME_ACTIVATE);
    ApplyStartupOptions();
    FFirstShow = false;
}

void TmainFm::ApplyStartupOptions()
{
    setWindowTitle(Texts::AppTitle);
    if (TwyTreeFrame *frame = activeFrame())
        frame->postMessage(WM_FRAME_ACTIVATE);
}

void TmainFm::PageControl1Change(int)
{
    if (TwyTreeFrame *frame = activeFrame())
        frame->postMessage(WM_FRAME_ACTIVATE);
}

void TmainFm::activateForSecondStart()
{
    if (!isVisible())
        return; // hidden in the tray: nothing becomes visible
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TmainFm::Restore()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TmainFm::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // With a tray the window only hides there; without one it ends like an ordinary
    // window would, so that the program is never left running out of reach.
    event->ignore();
    if (trayAvailable())
        hide();
    else
        Action_ExitExecute();
}

void TmainFm::Action_ExitExecute()
{
    if (FExiting)
        return;
    FExiting = true;
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
    if (FMutex)
        FMutex->release();
    if (WyTrayIcon1)
        WyTrayIcon1->hide();
    m_closing = true;
    close();
    QApplication::quit();
}
