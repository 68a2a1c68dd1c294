// The program as a user drives it: the real main window, shown on the offscreen platform, on
// generated data with as many tasks as memos, and real key and mouse events sent to the
// shown tree, search box, tool buttons, tabs and menus. Each figure runs from sending the
// input until the event loop is idle again (queued work done, the window painted).
//
// One size per process, so that the memory figures belong to that size alone:
//   bench_interactive --items=100000 [benchmark options]
// Without --items the program runs itself for 10,000 and then 100,000 items per list.
//
// Counters of the last benchmark (BM_Session_Memory): resident memory once the lists were
// filled, and after the whole session of actions above; and what of it the heap holds in live
// allocations at both moments (heap_start_MiB, heap_end_MiB).
#include "app/Fm_Main.h"
#include "app/TasklumeApplication.h"
#include "common/AppPaths.h"
#include "common/Texts.h"
#include "DataSet.h"
#include "memos/Fr_wyMemos.h"
#include "ResidentMemory.h"
#include "storage/BackgroundWrites.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "tasks/Fr_wyTasks.h"
#include "tasks/TaskTreeModel.h"
#include "tasks/TaskInfo.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSqlQuery>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

// Until nothing is left to do: posted events (queued commands, layouts, paints) and
// deferred deletions, several rounds since each may post more.
void idle()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

struct Session
{
    QTemporaryDir dir;
    std::unique_ptr<TmainFm> window;
    TwyTasksFrame *tasks = nullptr;
    TwyMemosFrame *memos = nullptr;
    qint64 startKiB = 0;
    qint64 startHeapKiB = 0;
};

int g_items = 10000;
std::unique_ptr<Session> g_session;
// Set when an action did not do what it was timed for: the run then ends with status 1.
bool g_failed = false;

// Checks an action's effect; a missing one fails the benchmark and the whole run.
bool expect(benchmark::State &state, bool happened, const char *what)
{
    if (happened)
        return true;
    if (!g_failed)
        std::fprintf(stderr, "did not happen: %s\n", what);
    g_failed = true;
    state.SkipWithError(what);
    return false;
}

// Rows of the list stored in the database.
int storedRows(TwyTreeFrame *frame)
{
    return frame->statements().countRows();
}

Session &session()
{
    if (g_session)
        return *g_session;
    g_session = std::make_unique<Session>();
    Session &s = *g_session;
    AppPaths::setFolder(s.dir.path());
    // The program's background pictures, as beside the installed program.
    const QDir images(QStringLiteral(TASKLUME_BENCH_PROGRAM_DIR "/Images"));
    QDir(s.dir.path()).mkpath(QStringLiteral("Images"));
    for (const QString &name : images.entryList(QDir::Files))
        QFile::copy(images.filePath(name),
                    QDir(s.dir.path()).filePath(QStringLiteral("Images/") + name));
    {
        QSqlDatabase db = Database::open(QDir(s.dir.path()).filePath(Texts::DatabaseFileName),
                                         QStringLiteral("seed"));
        DataSet::generate(db, DataSet::Options{g_items, g_items, 7, 30});
    }
    Database::close(QStringLiteral("seed"));
    s.window = std::make_unique<TmainFm>(nullptr);
    s.window->resize(600, 800);
    s.window->show();
    idle();
    s.tasks = s.window->findChild<TwyTasksFrame *>();
    s.memos = s.window->findChild<TwyMemosFrame *>();
    while (s.tasks->model()->rowCount() == 0 || s.memos->model()->rowCount() == 0)
        idle();
    if (!QTest::qWaitForWindowExposed(s.window.get()))
        std::fprintf(stderr, "the window was not exposed\n");
    idle();
    s.startKiB = BenchMemory::residentKiB();
    s.startHeapKiB = BenchMemory::heapInUseKiB();
    return s;
}

// Answers the "are you sure" boxes of a command with OK.
struct BoxAnswerer
{
    QTimer timer;
    BoxAnswerer()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                QAbstractButton *ok = box->button(QMessageBox::Ok);
                if (ok == nullptr)
                    ok = box->button(QMessageBox::Yes);
                if (ok)
                    QTest::mouseClick(ok, Qt::LeftButton);
            }
        });
        timer.start();
    }
};

TwyTreeFrame *frameOf(bool tasks)
{
    Session &s = session();
    return tasks ? static_cast<TwyTreeFrame *>(s.tasks) : s.memos;
}

// Shows the list's tab by clicking it, and gives its tree the focus.
TwyTreeFrame *showList(bool tasks)
{
    Session &s = session();
    auto *tabs = s.window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    const int index = tasks ? 0 : 1;
    if (tabs->currentIndex() != index) {
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                          tabs->tabBar()->tabRect(index).center());
        idle();
    }
    TwyTreeFrame *frame = frameOf(tasks);
    if (!frame->tree()->hasFocus()) {
        frame->tree()->setFocus();
        idle();
    }
    return frame;
}

QWidget *toolButton(TwyTreeFrame *frame, const QString &action)
{
    for (QToolBar *bar : frame->findChildren<QToolBar *>()) {
        if (QWidget *button = bar->widgetForAction(frame->action(action)))
            return button;
    }
    return nullptr;
}

// The middle of the row at the given height of the tree's visible area.
QPoint rowPoint(TwyTreeFrame *frame, int y)
{
    return QPoint(frame->tree()->viewport()->width() / 2, y);
}

void click(TwyTreeFrame *frame, int y, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(frame->tree()->viewport(), Qt::LeftButton, modifiers, rowPoint(frame, y));
}

void key(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(widget, key, modifiers);
}

void selectFirstRow(TwyTreeFrame *frame)
{
    key(frame->tree(), Qt::Key_Home, Qt::ControlModifier);
    idle();
    click(frame, 5);
    idle();
}

// A key pressed on the tree, again and again: each press timed until the loop is idle.
// `reset` runs untimed when `atEnd` says the key has nothing left to do.
void repeatKey(benchmark::State &state, bool tasks, Qt::Key pressed, Qt::Key back,
               Qt::KeyboardModifiers modifiers = {})
{
    TwyTreeFrame *frame = showList(tasks);
    QTreeView *tree = frame->tree();
    if (!tree->currentIndex().isValid())
        selectFirstRow(frame);
    for (auto _ : state) {
        const QModelIndex before = tree->currentIndex();
        key(tree, pressed, modifiers);
        idle();
        if (tree->currentIndex() == before) {
            state.PauseTiming();
            key(tree, back, modifiers);
            idle();
            state.ResumeTiming();
        }
    }
}

// ---- navigation ------------------------------------------------------------------------------

void pageDown(benchmark::State &state, bool tasks)
{
    repeatKey(state, tasks, Qt::Key_PageDown, Qt::Key_Home, Qt::ControlModifier);
}

void pageUp(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    key(frame->tree(), Qt::Key_End, Qt::ControlModifier);
    idle();
    repeatKey(state, tasks, Qt::Key_PageUp, Qt::Key_End, Qt::ControlModifier);
}

void arrowDown(benchmark::State &state, bool tasks)
{
    repeatKey(state, tasks, Qt::Key_Down, Qt::Key_Home);
}

void arrowUp(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    key(frame->tree(), Qt::Key_End);
    idle();
    repeatKey(state, tasks, Qt::Key_Up, Qt::Key_End);
}

// Ctrl+End and Ctrl+Home in turn.
void homeEnd(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    bool end = true;
    for (auto _ : state) {
        key(frame->tree(), end ? Qt::Key_End : Qt::Key_Home, Qt::ControlModifier);
        idle();
        end = !end;
    }
}

// The first click on a row after the list was loaded (reloaded untimed each time).
void firstClick(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    int y = 30;
    for (auto _ : state) {
        state.PauseTiming();
        frame->postMessage(WM_FRAME_RELOAD);
        idle();
        frame->tree()->setFocus();
        idle();
        state.ResumeTiming();
        click(frame, y);
        idle();
        const QModelIndex hit = frame->tree()->indexAt(rowPoint(frame, y));
        if (!expect(state, hit.isValid() && frame->tree()->selectionModel()->isSelected(hit),
                    "the clicked row is selected"))
            return;
        y = y == 30 ? 90 : 30;
    }
}

// Clicks on rows further on, with the list in use.
void clickRow(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    int y = 10;
    for (auto _ : state) {
        click(frame, y);
        idle();
        const QModelIndex hit = frame->tree()->indexAt(rowPoint(frame, y));
        if (!expect(state, hit.isValid() && frame->tree()->currentIndex() == hit,
                    "the clicked row is the current one"))
            return;
        y = y > 400 ? 10 : y + 37;
    }
}

// ---- search
// --------------------------------------------------------------------------------------

QLineEdit *searchBox(TwyTreeFrame *frame)
{
    return frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
}

void clearSearchUntimed(TwyTreeFrame *frame)
{
    QLineEdit *box = searchBox(frame);
    if (!box->text().isEmpty()) {
        box->setFocus();
        key(box, Qt::Key_Escape);
        idle();
    }
    frame->tree()->setFocus();
    idle();
}

// A click into the search box, which readies the search.
void searchBoxClick(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QLineEdit *box = searchBox(frame);
    for (auto _ : state) {
        state.PauseTiming();
        clearSearchUntimed(frame);
        state.ResumeTiming();
        QTest::mouseClick(box, Qt::LeftButton);
        idle();
    }
    clearSearchUntimed(frame);
}

// The first character typed into the search box (after a click into it).
void searchFirstCharacter(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QLineEdit *box = searchBox(frame);
    for (auto _ : state) {
        state.PauseTiming();
        clearSearchUntimed(frame);
        QTest::mouseClick(box, Qt::LeftButton);
        idle();
        const int before = frame->model()->rowCount();
        state.ResumeTiming();
        QTest::keyClicks(box, QStringLiteral("a"));
        idle();
        if (!expect(state,
                    frame->FSearchText == QLatin1String("a") &&
                        frame->model()->rowCount() <= before,
                    "the first character filters the list"))
            return;
    }
    clearSearchUntimed(frame);
}

// The first character typed into the search box right after the list was loaded (the
// program's start): the texts are copied and the rows the search opens stored then.
void searchFirstAfterStart(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QLineEdit *box = searchBox(frame);
    for (auto _ : state) {
        state.PauseTiming();
        clearSearchUntimed(frame);
        frame->postMessage(WM_FRAME_RELOAD);
        frame->postMessage(WM_FRAME_ACTIVATE);
        idle();
        BackgroundWrites::waitForAll();
        state.ResumeTiming();
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClicks(box, QStringLiteral("e"));
        idle();
        if (!expect(state,
                    frame->FSearchText == QLatin1String("e") && frame->model()->rowCount() > 0,
                    "the first character after the start filters the list"))
            return;
    }
    clearSearchUntimed(frame);
}

// Each further character of "and the" typed, and each taken back with Backspace.
void searchNextCharacter(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QLineEdit *box = searchBox(frame);
    const QString word = QStringLiteral("and the");
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, word.left(1));
    idle();
    int typed = 1;
    bool forward = true;
    for (auto _ : state) {
        if (forward)
            QTest::keyClicks(box, word.mid(typed++, 1));
        else
            key(box, Qt::Key_Backspace), --typed;
        idle();
        if (typed == word.size())
            forward = false;
        else if (typed == 1)
            forward = true;
    }
    clearSearchUntimed(frame);
}

// Leaving a search: Esc in the search box clears it and shows every row again, then a
// click on a row.
void leaveSearch(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QLineEdit *box = searchBox(frame);
    for (auto _ : state) {
        state.PauseTiming();
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClicks(box, QStringLiteral("an"));
        idle();
        state.ResumeTiming();
        key(box, Qt::Key_Escape);
        idle();
        click(frame, 50);
        idle();
        if (!expect(state, box->text().isEmpty() && !frame->FSearching, "Esc leaves the search"))
            return;
    }
}

// The search button clears the search.
void clearSearchButton(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QLineEdit *box = searchBox(frame);
    auto *button = frame->findChild<QToolButton *>(QStringLiteral("Btn_Search"));
    for (auto _ : state) {
        state.PauseTiming();
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClicks(box, QStringLiteral("an"));
        idle();
        state.ResumeTiming();
        QTest::mouseClick(button, Qt::LeftButton);
        idle();
    }
}

// ---- tool buttons, tabs, window -------------------------------------------------------------

void clickToolButton(benchmark::State &state, bool tasks, const QString &action)
{
    TwyTreeFrame *frame = showList(tasks);
    QWidget *button = toolButton(frame, action);
    if (button == nullptr) {
        state.SkipWithError("no such tool button");
        return;
    }
    for (auto _ : state) {
        QTest::mouseClick(button, Qt::LeftButton);
        idle();
    }
}

// One tool button timed, the other one untimed before it each time.
// Clicks a tool button after another, untimed. A command that leaves a write in the
// background gets it stored before the next click, as between two clicks of a user;
// stored_ms is the time from the click until that write is in the file.
void clickAfter(benchmark::State &state, bool tasks, const QString &untimed, const QString &timed)
{
    TwyTreeFrame *frame = showList(tasks);
    QWidget *before = toolButton(frame, untimed);
    QWidget *button = toolButton(frame, timed);
    double storedMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTest::mouseClick(before, Qt::LeftButton);
        idle();
        BackgroundWrites::waitForAll();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(button, Qt::LeftButton);
        idle();
        state.PauseTiming();
        BackgroundWrites::waitForAll();
        storedMs += clock.nsecsElapsed() / 1e6;
        state.ResumeTiming();
        // The first top-level row with shown children is open or closed as asked.
        const bool open = timed == QLatin1String("Action_ExpandAll");
        bool checked = false;
        for (int row = 0; row < frame->model()->rowCount() && !checked; ++row) {
            const QModelIndex index = frame->model()->index(row, 0);
            if (frame->model()->rowCount(index) > 0) {
                checked = true;
                if (!expect(state, frame->tree()->isExpanded(index) == open,
                            "the rows are opened or closed"))
                    return;
            }
        }
    }
    state.counters["stored_ms"] = benchmark::Counter(storedMs / double(state.iterations()));
}

void expandAll(benchmark::State &state, bool tasks)
{
    clickAfter(state, tasks, QStringLiteral("Action_CollapseAll"),
               QStringLiteral("Action_ExpandAll"));
}

void collapseAll(benchmark::State &state, bool tasks)
{
    clickAfter(state, tasks, QStringLiteral("Action_ExpandAll"),
               QStringLiteral("Action_CollapseAll"));
}

void sort(benchmark::State &state, bool tasks)
{
    clickToolButton(state, tasks, QStringLiteral("Action_ViewAsc"));
    TwyTreeFrame *frame = frameOf(tasks);
    expect(state, frame->model()->isSorted(frame->FAscending), "the list is sorted");
}

void switchTabs(benchmark::State &state, bool)
{
    Session &s = session();
    auto *tabs = s.window->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    for (auto _ : state) {
        const int next = 1 - tabs->currentIndex();
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                          tabs->tabBar()->tabRect(next).center());
        idle();
    }
    showList(true);
}

// The window made wider and narrower: the rows wrap anew.
void resize(benchmark::State &state, bool tasks)
{
    showList(tasks);
    Session &s = session();
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        s.window->resize(wide ? 760 : 600, 800);
        idle();
    }
    s.window->resize(600, 800);
    idle();
}

// ---- editing -------------------------------------------------------------------------------

// A key on the tree opens the editor; a typed word and Ctrl+Enter store the text.
void openTypeAndStore(benchmark::State &state, bool tasks, Qt::Key opening, const QString &word)
{
    TwyTreeFrame *frame = showList(tasks);
    selectFirstRow(frame);
    for (auto _ : state) {
        key(frame->tree(), opening);
        idle();
        QWidget *editor = frame->tree()->openEditor();
        if (editor == nullptr) {
            state.SkipWithError("the editor did not open");
            return;
        }
        QTest::keyClicks(editor, word);
        if (!expect(state,
                    qobject_cast<QPlainTextEdit *>(editor) &&
                        static_cast<QPlainTextEdit *>(editor)->toPlainText() == word,
                    "the editor holds the typed text"))
            return;
        key(editor, Qt::Key_Return, Qt::ControlModifier);
        idle();
        state.PauseTiming();
        const ItemNode *edited = frame->model()->nodeFromIndex(frame->tree()->currentIndex());
        QSqlQuery &stored =
            frame->statements().selectByKey(edited ? edited->info->key.toString() : QString());
        const bool ok = stored.next() && stored.value(QStringLiteral("content")).toString() == word;
        stored.finish();
        state.ResumeTiming();
        if (!expect(state, ok, "the typed text is stored"))
            return;
    }
}

// Enter adds an item.
void addItem(benchmark::State &state, bool tasks)
{
    openTypeAndStore(state, tasks, Qt::Key_Return, QStringLiteral("New"));
}

// F2 edits the selected row.
void editItem(benchmark::State &state, bool tasks)
{
    openTypeAndStore(state, tasks, Qt::Key_F2, QStringLiteral("Edited"));
}

// Delete on the selected row, answered with OK.
void deleteItem(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    BoxAnswerer answer;
    for (auto _ : state) {
        state.PauseTiming();
        selectFirstRow(frame);
        const int before = storedRows(frame);
        state.ResumeTiming();
        key(frame->tree(), Qt::Key_Delete);
        idle();
        state.PauseTiming();
        const bool gone = storedRows(frame) < before;
        state.ResumeTiming();
        if (!expect(state, gone, "the row is deleted"))
            return;
    }
}

// Space on the selected task marks it complete, and again not.
void completeItem(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    selectFirstRow(frame);
    for (auto _ : state) {
        const ItemNode *node = frame->model()->nodeFromIndex(frame->tree()->currentIndex());
        const bool before = node && static_cast<const TTaskInfo *>(node->info.get())->checkFlag;
        key(frame->tree(), Qt::Key_Space);
        idle();
        if (!expect(state,
                    node && static_cast<const TTaskInfo *>(node->info.get())->checkFlag != before,
                    "the task's completion changes"))
            return;
    }
}

// Selects the first `count` top-level rows: a click on the first, Shift+click on the last.
void selectTopRows(TwyTreeFrame *frame, int count)
{
    clearSearchUntimed(frame);
    QTreeView *tree = frame->tree();
    QWidget *collapse = toolButton(frame, QStringLiteral("Action_CollapseAll"));
    QTest::mouseClick(collapse, Qt::LeftButton);
    idle();
    selectFirstRow(frame);
    const QModelIndex last = frame->model()->index(qMin(count, frame->model()->rowCount()) - 1, 0);
    tree->scrollTo(last, QAbstractItemView::PositionAtBottom);
    idle();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      tree->visualRect(last).center());
    idle();
}

// 10,000 selected items deleted with one Delete.
void deleteMany(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    BoxAnswerer answer;
    for (auto _ : state) {
        state.PauseTiming();
        selectTopRows(frame, 10000);
        const int selected = int(frame->tree()->selectedNodes().size());
        const int before = storedRows(frame);
        state.ResumeTiming();
        key(frame->tree(), Qt::Key_Delete);
        idle();
        state.PauseTiming();
        const int after = storedRows(frame);
        state.ResumeTiming();
        state.counters["selected"] = selected;
        if (!expect(state, selected > 0 && after <= before - selected,
                    "the selected rows are deleted"))
            return;
    }
}

// 10,000 selected tasks marked complete with the row menu's "Mark Complete".
void completeMany(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    QTreeView *tree = frame->tree();
    for (auto _ : state) {
        state.PauseTiming();
        selectTopRows(frame, 10000);
        const QPoint at = tree->visualRect(tree->currentIndex()).center();
        QTest::mousePress(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at,
                                    tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &menuEvent);
        QTest::mouseRelease(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
        idle();
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QAction *complete = frame->action(QStringLiteral("Action_TaskComplete"));
        if (menu == nullptr || complete == nullptr) {
            state.SkipWithError("the row menu did not open");
            return;
        }
        const QPoint item = menu->actionGeometry(complete).center();
        const QList<ItemNode *> selected = frame->tree()->selectedNodes();
        state.ResumeTiming();
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, item);
        idle();
        state.counters["selected"] = double(selected.size());
        const bool flag = !selected.isEmpty() &&
                          static_cast<const TTaskInfo *>(selected.first()->info.get())->checkFlag;
        bool all = !selected.isEmpty();
        for (const ItemNode *node : selected)
            all = all && static_cast<const TTaskInfo *>(node->info.get())->checkFlag == flag;
        if (!expect(state, all, "every selected task has the same completion"))
            return;
    }
}

// The row menu's Move-to submenu opened over the first row: its entries are made and shown.
void openMoveTo(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    clearSearchUntimed(frame);
    selectFirstRow(frame);
    auto *menu = frame->findChild<QMenu *>(QStringLiteral("Menu_Moveto"));
    if (!expect(state, menu && menu->isEnabled(), "the Move-to menu is enabled"))
        return;
    for (auto _ : state) {
        menu->popup(frame->tree()->mapToGlobal(QPoint(20, 20)));
        idle();
        const QList<QAction *> entries = menu->actions();
        const int top = frame->model()->root()->children.size() > 0
                            ? int(frame->model()->root()->children.size())
                            : 0;
        // Every other top-level item is in the menu, or the chooser of all of them.
        const bool complete = !entries.isEmpty() &&
                              (entries.size() == top - 1 ||
                               entries.last()->objectName() == QLatin1String("Action_MoveToMore"));
        state.counters["entries"] = double(entries.size());
        menu->hide();
        idle();
        if (!expect(state, complete, "the Move-to menu offers every target"))
            return;
    }
}

// Enter, a word and Ctrl+Enter typed at once, queued behind a reload of the list (as keys
// typed during the start wait behind the loading): the word is stored whole.
void typeDuringLoad(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    clearSearchUntimed(frame);
    selectFirstRow(frame);
    QTreeView *tree = frame->tree();
    int round = 0;
    for (auto _ : state) {
        const QString word = QStringLiteral("zz typed %1").arg(++round);
        frame->postMessage(WM_FRAME_RELOAD);
        QCoreApplication::postEvent(tree, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, {}));
        for (const QChar c : word)
            QCoreApplication::postEvent(
                tree, new QKeyEvent(QEvent::KeyPress, c.toUpper().unicode(), {}, QString(c)));
        QCoreApplication::postEvent(
            tree, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::ControlModifier));
        idle();
        for (int rounds = 0;
             rounds < 1000 && (frame->isEditing() || frame->isLoadingInBackground()); ++rounds)
            idle();
        state.PauseTiming();
        QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
        query.prepare(QStringLiteral("select count(*) from ") + frame->statements().table() +
                      QStringLiteral(" where content=?"));
        query.addBindValue(word);
        const bool stored = query.exec() && query.next() && query.value(0).toInt() == 1;
        state.ResumeTiming();
        if (!expect(state, stored, "every typed character is stored"))
            return;
    }
}

// A sync's changes shown: three rows changed behind the list's back (one text, one new, one
// deleted), then shown row by row with the selection of two rows kept.
void syncChanges(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    clearSearchUntimed(frame);
    QTreeView *tree = frame->tree();
    QSqlDatabase db = QSqlDatabase::database(Database::ConnectionName);
    const QString table = frame->statements().table();
    const QString keyColumn = frame->statements().keyColumn();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        // Two rows selected, the second current.
        QItemSelection selection;
        const QModelIndex first = frame->model()->index(2, 0);
        const QModelIndex second = frame->model()->index(5, 0);
        selection.select(first, first);
        selection.select(second, second);
        tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
        tree->selectionModel()->setCurrentIndex(second, QItemSelectionModel::NoUpdate);
        const ItemNode *keptA = frame->model()->nodeFromIndex(first);
        const ItemNode *keptB = frame->model()->nodeFromIndex(second);
        const ItemNode *changed = frame->model()->nodeFromIndex(frame->model()->index(9, 0));
        const ItemNode *deleted = frame->model()->nodeFromIndex(frame->model()->index(12, 0));
        const QString changedKey = changed->info->key.toString();
        const QString deletedKey = deleted->info->key.toString();
        const QString newKey =
            QStringLiteral("{00000000-0000-0000-0000-%1}").arg(round, 12, 10, QLatin1Char('0'));
        const QString newText = QStringLiteral("Synced here %1").arg(round);
        QSqlQuery query(db);
        query.exec(QStringLiteral("update %1 set content='Synced text %2' where %3='%4'")
                       .arg(table)
                       .arg(round)
                       .arg(keyColumn, changedKey));
        query.exec(QStringLiteral("insert into %1 (%2, pid, content, expandFlag) values ('%3', "
                                  "'root', '%4', 0)")
                       .arg(table, keyColumn, newKey, newText));
        query.exec(
            QStringLiteral("delete from %1 where %2='%3'").arg(table, keyColumn, deletedKey));
        const int shownBefore = frame->model()->rowCount();
        state.ResumeTiming();
        const bool rowByRow = frame->applyChangedRows({changedKey, newKey, deletedKey});
        idle();
        state.PauseTiming();
        const QList<ItemNode *> selected = frame->tree()->selectedNodes();
        const bool ok = rowByRow && frame->model()->rowCount() == shownBefore &&
                        selected.size() == 2 && selected.contains(const_cast<ItemNode *>(keptA)) &&
                        selected.contains(const_cast<ItemNode *>(keptB)) &&
                        frame->model()->nodeFromIndex(tree->currentIndex()) == keptB;
        state.ResumeTiming();
        if (!expect(state, ok, "the sync's rows are shown and the selection stays"))
            return;
    }
}

// ---- commands on every row ------------------------------------------------------------------
// Each checks what it did, in the tree and in the database file, and fails the run when it
// did not happen. Writes of many rows go to the background writer: the time is until the
// window answers again, `stored_ms` until the rows are in the file.

// Rows of the list's table that meet a condition, read over a connection of its own.
int storedCount(bool tasks, const QString &where)
{
    const QString name = QStringLiteral("bench-check");
    if (!QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QDir(session().dir.path()).filePath(Texts::DatabaseFileName));
        db.open();
    }
    QSqlQuery query(QSqlDatabase::database(name));
    query.exec(QStringLiteral("select count(*) from ") +
               (tasks ? QStringLiteral("tasks") : QStringLiteral("memos")) +
               QStringLiteral(" where ") + where);
    return query.next() ? query.value(0).toInt() : -1;
}

int topRows(TwyTreeFrame *frame)
{
    return int(frame->model()->root()->shownChildren().size());
}

// Every top-level row shown (no search, rows closed), the first one clicked.
void onTopLevel(TwyTreeFrame *frame)
{
    clearSearchUntimed(frame);
    QTest::mouseClick(toolButton(frame, QStringLiteral("Action_CollapseAll")), Qt::LeftButton);
    idle();
    selectFirstRow(frame);
}

bool allTopRowsSelected(TwyTreeFrame *frame)
{
    const QList<ItemNode *> nodes = frame->tree()->selectedNodes();
    const auto &shown = frame->model()->root()->shownChildren();
    return !shown.empty() && nodes.size() == qsizetype(shown.size()) &&
           nodes.first() == shown.front() && nodes.last() == shown.back();
}

// Ctrl+A with the first row current: every top-level row selected.
void selectAllRows(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        state.ResumeTiming();
        key(frame->tree(), Qt::Key_A, Qt::ControlModifier);
        idle();
        if (!allTopRowsSelected(frame))
            return state.SkipWithError("Ctrl+A did not select every row");
    }
    state.counters["rows"] = topRows(frame);
}

// "Deselect" of the Edit menu with every row selected.
void deselectAllRows(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        key(frame->tree(), Qt::Key_A, Qt::ControlModifier);
        idle();
        state.ResumeTiming();
        frame->action(QStringLiteral("Action_Deselect"))->trigger();
        idle();
        if (frame->tree()->selectionModel()->hasSelection())
            return state.SkipWithError("Deselect left rows selected");
    }
}

// Shift+End from the first row: every top-level row selected.
void shiftEndFromFirst(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        state.ResumeTiming();
        key(frame->tree(), Qt::Key_End, Qt::ShiftModifier);
        idle();
        if (!allTopRowsSelected(frame))
            return state.SkipWithError("Shift+End did not select from the first row to the last");
    }
}

// Ctrl+C with every row selected: the texts of all of them on the clipboard.
void copyAllRows(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        key(frame->tree(), Qt::Key_A, Qt::ControlModifier);
        idle();
        QApplication::clipboard()->clear();
        state.ResumeTiming();
        key(frame->tree(), Qt::Key_C, Qt::ControlModifier);
        idle();
        state.PauseTiming();
        const auto &shown = frame->model()->root()->shownChildren();
        qsizetype expected = qsizetype(shown.size()) - 1;
        for (const ItemNode *node : shown)
            expected += node->info->content.size();
        const QString text = QApplication::clipboard()->text();
        state.ResumeTiming();
        if (text.size() != expected || !text.startsWith(shown.front()->info->content))
            return state.SkipWithError("the clipboard does not hold every selected text");
    }
}

// "Mark Complete" of the row menu with every top-level task selected (and unmarked again in
// the next iteration): exactly the selected rows change in the file.
void completeAllRows(benchmark::State &state, bool)
{
    TwyTreeFrame *frame = showList(true);
    QTreeView *tree = frame->tree();
    QElapsedTimer clock;
    double storedMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        key(tree, Qt::Key_A, Qt::ControlModifier);
        idle();
        const bool target =
            !TaskTreeModel::task(frame->model()->root()->shownChildren().front())->checkFlag;
        const int childrenDone = storedCount(true, QStringLiteral("pid<>'root' and checkFlag=1"));
        const QPoint at = tree->visualRect(tree->currentIndex()).center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &menuEvent);
        idle();
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QAction *complete = frame->action(QStringLiteral("Action_TaskComplete"));
        if (menu == nullptr || complete == nullptr)
            return state.SkipWithError("the row menu did not open");
        const QPoint item = menu->actionGeometry(complete).center();
        state.ResumeTiming();
        clock.start();
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, item);
        idle();
        state.PauseTiming();
        BackgroundWrites::waitForAll();
        storedMs += double(clock.elapsed());
        const int top = topRows(frame);
        const bool stored =
            storedCount(true, QStringLiteral("pid='root' and checkFlag=%1").arg(target ? 1 : 0)) == top &&
            storedCount(true, QStringLiteral("pid<>'root' and checkFlag=1")) == childrenDone;
        state.ResumeTiming();
        if (!stored)
            return state.SkipWithError("the stored marks are not those of the selected rows");
    }
    state.counters["stored_ms"] = storedMs / double(state.iterations());
}

// Every top-level row moved under the last one (the command of "Move To" and of a drop), and
// in the next iteration every row under it back to the top level.
void moveAllRows(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    bool down = true;
    QElapsedTimer clock;
    double storedMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        ItemNode *target = frame->model()->root()->shownChildren().back();
        const QString targetKey = target->info->key.toString();
        if (!down) {
            frame->tree()->expand(frame->model()->indexOf(target));
            idle();
            frame->tree()->setCurrentIndex(frame->model()->indexOf(target->shownChildren().front()));
            idle();
        }
        key(frame->tree(), Qt::Key_A, Qt::ControlModifier);
        idle();
        const int selected = int(frame->tree()->selectedNodes().size());
        state.ResumeTiming();
        clock.start();
        frame->moveSelectedTo(down ? target : nullptr, true);
        idle();
        state.PauseTiming();
        BackgroundWrites::waitForAll();
        storedMs += double(clock.elapsed());
        const int under = storedCount(tasks, QStringLiteral("pid='%1'").arg(targetKey));
        const bool stored = down ? storedCount(tasks, QStringLiteral("pid='root'")) == 1 &&
                                       under >= selected - 1
                                 : under == 0;
        state.ResumeTiming();
        if (!stored)
            return state.SkipWithError("the stored parents are not those of the moved rows");
        down = !down;
    }
    state.counters["stored_ms"] = storedMs / double(state.iterations());
}

// Ctrl+A and Delete, answered with OK: every row goes, in the tree and in the file.
void deleteAllRows(benchmark::State &state, bool tasks)
{
    TwyTreeFrame *frame = showList(tasks);
    BoxAnswerer answer;
    QElapsedTimer clock;
    double storedMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        onTopLevel(frame);
        key(frame->tree(), Qt::Key_A, Qt::ControlModifier);
        idle();
        state.counters["rows"] = topRows(frame);
        state.ResumeTiming();
        clock.start();
        key(frame->tree(), Qt::Key_Delete);
        idle();
        state.PauseTiming();
        BackgroundWrites::waitForAll();
        storedMs += double(clock.elapsed());
        const bool gone =
            frame->model()->rowCount() == 0 && storedCount(tasks, QStringLiteral("1")) == 0;
        state.ResumeTiming();
        if (!gone)
            return state.SkipWithError("Delete left rows");
    }
    state.counters["stored_ms"] = storedMs / double(state.iterations());
}

// ---- registration ----------------------------------------------------------------------------

using Action = void (*)(benchmark::State &, bool);

void add(const char *name, Action action, int iterations, bool both = true)
{
    for (bool tasks : {true, false}) {
        if (!tasks && !both)
            continue;
        const std::string full = std::string("BM_") + (tasks ? "Tasks_" : "Memos_") + name + "/" +
                                 std::to_string(g_items);
        benchmark::RegisterBenchmark(
            full.c_str(), [action, tasks](benchmark::State &state) { action(state, tasks); })
            ->Iterations(iterations)
            ->MeasureProcessCPUTime() // the program's threads, the background writes too
            ->Unit(benchmark::kMillisecond);
    }
}

void sessionMemory(benchmark::State &state)
{
    Session &s = session();
    for (auto _ : state)
        idle();
    const qint64 now = BenchMemory::residentKiB();
    state.counters["rss_start_MiB"] = double(s.startKiB) / 1024.0;
    state.counters["rss_end_MiB"] = double(now) / 1024.0;
    state.counters["rss_growth"] = s.startKiB > 0 ? double(now) / double(s.startKiB) : 0.0;
    state.counters["heap_start_MiB"] = double(s.startHeapKiB) / 1024.0;
    state.counters["heap_end_MiB"] = double(BenchMemory::heapInUseKiB()) / 1024.0;
}

void registerAll()
{
    add("PageDown", pageDown, 20);
    add("PageUp", pageUp, 20);
    add("ArrowDown", arrowDown, 20);
    add("ArrowUp", arrowUp, 20);
    add("CtrlHomeEnd", homeEnd, 10);
    add("FirstClick", firstClick, 3);
    add("ClickRow", clickRow, 20);
    add("SearchBoxClick", searchBoxClick, 5);
    add("SearchFirstCharacter", searchFirstCharacter, 5);
    add("SearchNextCharacter", searchNextCharacter, 12);
    add("SearchLeaveEscAndClick", leaveSearch, 5);
    add("SearchClearButton", clearSearchButton, 5);
    add("ExpandAll", expandAll, 3);
    add("CollapseAll", collapseAll, 3);
    add("Sort", sort, 4);
    add("SwitchTab", switchTabs, 10, false);
    add("Resize", resize, 6);
    add("AddItem", addItem, 5);
    add("EditItem", editItem, 5);
    add("DeleteItem", deleteItem, 5);
    add("CompleteItem", completeItem, 10, false);
    add("SelectAllRows", selectAllRows, 3);
    add("DeselectAllRows", deselectAllRows, 3);
    add("ShiftEndFromFirstRow", shiftEndFromFirst, 3);
    add("CopyAllRows", copyAllRows, 3);
    add("CompleteAllRows", completeAllRows, 2, false);
    add("Complete10000", completeMany, 1, false);
    add("Delete10000", deleteMany, 1);
    add("MoveAllRows", moveAllRows, 2);
    add("DeleteAllRows", deleteAllRows, 1);
    add("OpenMoveTo", openMoveTo, 5, false);
    add("SearchFirstCharacterAfterStart", searchFirstAfterStart, 3);
    add("TypeDuringLoad", typeDuringLoad, 3);
    add("SyncChanges", syncChanges, 5);
    benchmark::RegisterBenchmark("BM_Session_Memory", sessionMemory)->Iterations(1);
}

} // namespace

int main(int argc, char **argv)
{
    // One size per process; without one, run this program for each size in turn.
    int items = 0;
    QStringList forwarded;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(QLatin1String("--items=")))
            items = arg.mid(8).toInt();
        else
            forwarded.append(arg);
    }
    if (items <= 0) {
        for (int size : {10000, 100000}) {
            QStringList args = forwarded;
            args.prepend(QStringLiteral("--items=%1").arg(size));
            const int code = QProcess::execute(QString::fromLocal8Bit(argv[0]), args);
            if (code != 0)
                return code;
        }
        return 0;
    }
    g_items = items;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TasklumeApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_session && g_session->window) {
        for (TwyTreeFrame *frame : {frameOf(true), frameOf(false)})
            frame->shutdown();
    }
    g_session.reset(); // before the application goes
    return g_failed ? 1 : 0;
}
