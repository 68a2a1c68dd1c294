// Range selections on a to-do list of 100,000 tasks (80,000 top-level rows, a child under
// every fourth), made with real keys, clicks and the scroll bar, checked by what Delete or
// Mark Complete then stores: exactly the rows of the range, whatever was in sight.
#include "DialogDriver.h"
#include "common/Texts.h"
#include "storage/BackgroundWrites.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <numeric>
#include <set>

using namespace TestSupport;

namespace {

constexpr int kTop = 80000;

QString topKey(int i)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(i, 8, 10, QLatin1Char('0'));
}

} // namespace

class TestLargeSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void rangesReachTheFile();

private:
    bool runStep(const QString &step);
    int count(const QString &where);

    QTemporaryDir m_seedDir;
    QString m_seed;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
};

void TestLargeSelection::initTestCase()
{
    // The database once; each case starts from a copy of it.
    ProgramFolder folder;
    {
        FakeFrameHost host;
        QSqlDatabase db = host.database();
        QVERIFY(db.transaction());
        execSql(db, QStringLiteral(
                        "with recursive n(i) as (select 0 union all select i + 1 from n where "
                        "i < %1) insert into tasks (tid, pid, content) select "
                        "printf('{%08d-0000-4000-8000-000000000000}', i), 'root', "
                        "printf('Task %06d', i) from n")
                        .arg(kTop - 1));
        execSql(db, QStringLiteral(
                        "with recursive n(i) as (select 0 union all select i + 4 from n where "
                        "i < %1) insert into tasks (tid, pid, content) select "
                        "printf('{%08d-0000-4000-8000-000000000001}', i), "
                        "printf('{%08d-0000-4000-8000-000000000000}', i), "
                        "printf('Task %06d, its step', i) from n")
                        .arg(kTop - 4));
        QVERIFY(db.commit());
        QCOMPARE(queryValue(db, QStringLiteral("select count(*) from tasks")).toInt(), 100000);
    }
    m_seed = m_seedDir.filePath(QStringLiteral("seed.wyb"));
    QVERIFY(QFile::copy(folder.file(Texts::DatabaseFileName), m_seed));
}

void TestLargeSelection::init()
{
    // One list for all steps: loading 100,000 tasks is the costly part.
    m_folder = std::make_unique<ProgramFolder>();
    QVERIFY(QFile::copy(m_seed, m_folder->file(Texts::DatabaseFileName)));
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
    m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_COMPARE_WITH_TIMEOUT(m_frame->model()->rowCount(), kTop, 60000);
    m_frame->tree()->setFocus();
    QCoreApplication::processEvents();
}

void TestLargeSelection::cleanup()
{
    BackgroundWrites::waitForAll();
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

int TestLargeSelection::count(const QString &where)
{
    return queryValue(m_host->database(), QStringLiteral("select count(*) from tasks where ") + where)
        .toInt();
}

// "click 7" clicks top-level row 7 (it must be in sight), "key Shift+End" presses keys
// ("*3" three times), "bar max", "bar min" and "bar 40000" set the scroll bar, "delete"
// presses Delete and answers OK, "complete" runs Mark Complete.
bool TestLargeSelection::runStep(const QString &step)
{
    ItemTreeView *tree = m_frame->tree();
    const QString verb = step.section(QLatin1Char(' '), 0, 0);
    const QString arg = step.section(QLatin1Char(' '), 1);
    if (verb.endsWith(QLatin1String("click"))) {
        const QRect rect = tree->visualRect(m_frame->model()->index(arg.toInt(), 0));
        const QPoint at(tree->viewport()->width() / 2, rect.center().y());
        if (!rect.isValid() || !tree->viewport()->rect().contains(at))
            return false;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton,
                          verb.startsWith(QLatin1String("shift")) ? Qt::ShiftModifier
                                                                  : Qt::NoModifier,
                          at);
    } else if (verb == QLatin1String("key")) {
        const int times =
            arg.contains(QLatin1Char('*')) ? arg.section(QLatin1Char('*'), 1).toInt() : 1;
        const QKeyCombination key =
            QKeySequence::fromString(arg.section(QLatin1Char('*'), 0, 0))[0];
        for (int i = 0; i < times; ++i)
            QTest::keyClick(tree, key.key(), key.keyboardModifiers());
    } else if (verb == QLatin1String("bar")) {
        QScrollBar *bar = tree->verticalScrollBar();
        if (arg == QLatin1String("max"))
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
        else if (arg == QLatin1String("min"))
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
        else
            bar->setValue(arg.toInt());
    } else if (verb == QLatin1String("delete")) {
        BoxAnswer ok(QMessageBox::Ok);
        QTest::keyClick(tree, Qt::Key_Delete);
        if (ok.runs() != 1)
            return false;
    } else if (verb == QLatin1String("complete")) {
        m_frame->action(QStringLiteral("Action_TaskComplete"))->trigger();
    } else {
        return false;
    }
    QCoreApplication::processEvents();
    return true;
}

// One list, loaded once, goes through the steps in turn; the test keeps which rows should be
// left and marked, and compares the file with it after each command.
void TestLargeSelection::rangesReachTheFile()
{
    // Each: the steps ("N-2" is the second row from the end), the first and last row of
    // the range in the rows shown before the command.
    struct Case
    {
        const char *steps;
        int first;
        int last; // from the end when negative: -1 the last row
    };
    const Case cases[] = {
        {"bar 40000; click 40002; bar min; shift-click 1; complete", 1, 40002},
        {"click 0; key Shift+Down*15; delete", 0, 15},
        {"click 0; bar max; shift-click N-2; complete", 0, -2},
        {"key End; bar min; shift-click 2; delete", 2, -1},
        {"click 1; key Ctrl+A; delete", 0, -1},
    };
    std::vector<int> shown(kTop); // original numbers of the rows shown, in order
    std::iota(shown.begin(), shown.end(), 0);
    std::set<int> marked;
    for (const Case &c : cases) {
        const QString steps = QString::fromLatin1(c.steps);
        const int rows = int(shown.size());
        const int first = c.first;
        const int last = c.last < 0 ? rows + c.last : c.last;
        const std::vector<int> before = shown;
        bool deleted = false;
        for (QString step : steps.split(QStringLiteral("; "))) {
            step.replace(QStringLiteral("N-2"), QString::number(rows - 2));
            QVERIFY2(runStep(step), qPrintable(steps + QStringLiteral(": ") + step));
            deleted = step == QLatin1String("delete");
        }
        BackgroundWrites::waitForAll();
        if (deleted) {
            shown.erase(shown.begin() + first, shown.begin() + last + 1);
        } else {
            // Mark Complete gives every row the opposite of the first row's mark.
            const bool mark = !marked.count(shown[size_t(first)]);
            for (int row = first; row <= last; ++row) {
                if (mark)
                    marked.insert(shown[size_t(row)]);
                else
                    marked.erase(shown[size_t(row)]);
            }
        }
        for (auto it = marked.begin(); it != marked.end();)
            it = std::binary_search(shown.begin(), shown.end(), *it) ? std::next(it)
                                                                      : marked.erase(it);
        const QString where = QString::fromLatin1(c.steps);
        const int children = int(std::count_if(shown.begin(), shown.end(),
                                               [](int n) { return n % 4 == 0; }));
        QVERIFY2(count(QStringLiteral("pid='root'")) == int(shown.size()), qPrintable(where));
        QVERIFY2(count(QStringLiteral("1")) == int(shown.size()) + children, qPrintable(where));
        QVERIFY2(m_frame->model()->rowCount() == int(shown.size()), qPrintable(where));
        QVERIFY2(count(QStringLiteral("checkFlag=1")) == int(marked.size()), qPrintable(where));
        QVERIFY2(count(QStringLiteral("checkFlag=1 and pid<>'root'")) == 0, qPrintable(where));
        // The rows at both ends of the range and just outside it, by their keys.
        for (const int row : {first - 1, first, last, last + 1}) {
            if (row < 0 || row >= rows)
                continue;
            const int n = before[size_t(row)];
            const bool gone = deleted && row >= first && row <= last;
            const QString key = QStringLiteral("tid='%1'").arg(topKey(n));
            QVERIFY2(count(key) == (gone ? 0 : 1), qPrintable(where + QStringLiteral(": ") + key));
            if (!gone)
                QVERIFY2(count(key + QStringLiteral(" and checkFlag=1")) == int(marked.count(n)),
                         qPrintable(where + QStringLiteral(": ") + key));
        }
        for (const int n : shown) {
            if (n % 10007 != 0)
                continue;
            const QString key = QStringLiteral("tid='%1'").arg(topKey(n));
            QVERIFY2(count(key + (marked.count(n) ? QStringLiteral(" and checkFlag=1")
                                                   : QStringLiteral(" and checkFlag=0"))) == 1,
                     qPrintable(where + QStringLiteral(": ") + key));
        }
    }
}

QTEST_MAIN(TestLargeSelection)
#include "test_large_selection.moc"
