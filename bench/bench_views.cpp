// The to-do list's views at scale: one filtering for a character typed into the search box,
// and one full sort, on a frame holding 10,000 or 100,000 tasks, including the tree view's
// layout and a repaint of what it shows.
#include "DataSet.h"
#include "common/AppPaths.h"
#include "storage/Database.h"
#include "support/FakeFrameHost.h"
#include "tasks/Fr_wyTasks.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>

namespace {

struct Fixture;
std::map<int, std::unique_ptr<Fixture>> fixtures;

struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<FakeFrameHost> host;
    std::unique_ptr<QWidget> window;
    TwyTasksFrame *frame = nullptr;
};

Fixture &fixture(int items)
{
    auto found = fixtures.find(items);
    if (found != fixtures.end())
        return *found->second;
    // One list at a time: the frames share the program's one connection.
    fixtures.clear();
    auto fresh = std::make_unique<Fixture>();
    Fixture &f = *fresh;
    fixtures.emplace(items, std::move(fresh));
    AppPaths::setFolder(f.dir.path());
    {
        QSqlDatabase db = Database::open(QDir(f.dir.path()).filePath(QStringLiteral("wyData.wyb")),
                                         QStringLiteral("seed"));
        DataSet::generate(db, DataSet::Options{items, 0, 7, 30});
    }
    Database::close(QStringLiteral("seed"));
    f.host = std::make_unique<FakeFrameHost>();
    f.window = std::make_unique<QWidget>();
    f.window->resize(600, 800);
    f.frame = new TwyTasksFrame(*f.host, f.window.get());
    f.frame->resize(600, 800);
    f.window->show();
    f.frame->postMessage(WM_FRAME_RELOAD);
    f.frame->postMessage(WM_FRAME_ACTIVATE);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return f;
}

// Filtering as the search box does it, then the view lays out and paints what shows.
void BM_SearchTypedCharacter(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    f.frame->enterSearch();
    const QString texts[] = {QStringLiteral("Bo"), QStringLiteral("B")};
    int i = 0;
    for (auto _ : state) {
        f.frame->searchTextChanged(texts[i++ % 2]);
        f.frame->tree()->doItemsLayout();
        f.frame->tree()->viewport()->repaint();
    }
    f.frame->Btn_SearchClick();
}

// The first character of a search: the copy of the texts that searching keeps is made
// again (as after any edit), then the tree is filtered, laid out and painted.
void BM_SearchFirstCharacter(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    f.frame->enterSearch();
    for (auto _ : state) {
        f.frame->model()->textChanged();
        f.frame->searchTextChanged(QStringLiteral("B"));
        f.frame->tree()->doItemsLayout();
        f.frame->tree()->viewport()->repaint();
        state.PauseTiming();
        f.frame->searchTextChanged(QString());
        f.frame->tree()->doItemsLayout();
        state.ResumeTiming();
    }
    f.frame->Btn_SearchClick();
}

void BM_SortOnly(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    for (auto _ : state) {
        f.frame->FAscending = !f.frame->FAscending;
        f.frame->sortTree();
    }
}

void BM_SortAll(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    for (auto _ : state) {
        f.frame->FAscending = !f.frame->FAscending;
        f.frame->sortTree();
        f.frame->tree()->doItemsLayout();
        f.frame->tree()->viewport()->repaint();
    }
}

// One page down through the whole list, each step painted: rows are measured as they come
// into view.
void BM_ScrollPage(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    QScrollBar *bar = f.frame->tree()->verticalScrollBar();
    f.frame->tree()->doItemsLayout();
    for (auto _ : state) {
        int next = bar->value() + bar->pageStep();
        if (next > bar->maximum())
            next = 0;
        bar->setValue(next);
        f.frame->tree()->viewport()->repaint();
    }
}

// The pointer moving from row to row: the hot row changes and both rows are painted.
void BM_HoverRow(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    QWidget *viewport = f.frame->tree()->viewport();
    f.frame->tree()->doItemsLayout();
    int y = 5;
    for (auto _ : state) {
        y = y > 400 ? 5 : y + 20;
        const QPointF at(100, y);
        QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        viewport->repaint();
    }
}

// The window made wider and narrower: the rows wrap anew, laid out and painted.
void BM_Resize(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        f.window->resize(wide ? 760 : 600, 800);
        f.frame->resize(wide ? 760 : 600, 800);
        QCoreApplication::processEvents();
        f.frame->tree()->doItemsLayout();
        f.frame->tree()->viewport()->repaint();
    }
}

} // namespace

BENCHMARK(BM_ScrollPage)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HoverRow)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchTypedCharacter)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchFirstCharacter)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortOnly)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortAll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixtures.clear(); // before the application goes
    return 0;
}
