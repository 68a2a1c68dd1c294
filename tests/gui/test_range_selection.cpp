// Range selection in the lists' tree view against a stock QTreeView over the same model:
// the same key and mouse sequences, with the anchor of a range in sight, above the rows
// shown or below them, must give the same selection, current row and scroll position.
//
// One rule of the lists differs from a stock tree view: only siblings are selected
// together. A range between rows of different parents holds, in the lists, the rows of the
// range that share the current row's parent; a stock view holds every row in between. So
// the stock view's selection is compared after leaving out the rows whose parent is not the
// current row's. The tables never Ctrl+click rows of two parents into one selection: there
// the lists drop the rows of the other parent at once, and the stock view keeps them for
// later ranges to build on.
//
// Qt's tree view (6.4) places a row above the ones shown by the height of its neighbour
// below; with rows of different heights up there, a stock range from such an anchor starts
// a row off. Cases with the anchor above the rows shown (other than the first row) therefore
// run on rows of one height.
#include "common/ItemTreeView.h"

#include <QApplication>
#include <QKeySequence>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QWheelEvent>

namespace {

// The stock view's rows as high as the lists' view makes them, so that both scroll alike.
class TwinHeights : public QStyledItemDelegate
{
public:
    TwinHeights(const ItemTreeView *twin, QObject *parent)
        : QStyledItemDelegate(parent), m_twin(twin)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return m_twin->rowDelegate()->sizeHint(option, index);
    }

private:
    const ItemTreeView *m_twin;
};

std::unique_ptr<ItemNode> makeNode(const QString &text)
{
    auto info = std::make_unique<ItemInfo>();
    info->key = text;
    info->content = text;
    return std::make_unique<ItemNode>(std::move(info));
}

// 20 top-level rows; "tall" makes every fifth one two lines high, "nested" gives row 02
// twelve children and row 10 three.
void fill(ItemTreeModel &model, const QString &shape)
{
    const bool nested = shape == QLatin1String("nested");
    const bool tall = shape == QLatin1String("tall");
    ItemForest forest;
    for (int top = 0; top < 20; ++top) {
        QString text = QStringLiteral("Row %1").arg(top, 2, 10, QLatin1Char('0'));
        if (tall && top % 5 == 4)
            text += QStringLiteral("\r\nwith a second line");
        auto node = makeNode(text);
        const int children = !nested ? 0 : top == 2 ? 12 : top == 10 ? 3 : 0;
        for (int child = 0; child < children; ++child) {
            auto kid = makeNode(QStringLiteral("%1.%2").arg(text).arg(child));
            kid->parent = node.get();
            node->children.push_back(std::move(kid));
        }
        forest.push_back(std::move(node));
    }
    model.resetForest(std::move(forest));
}

// "7" is top-level row 7, "2.5" the sixth child of row 2.
QModelIndex rowAt(const QAbstractItemModel &model, const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('.'));
    QModelIndex index = model.index(parts[0].toInt(), 0);
    if (parts.size() == 2)
        index = model.index(parts[1].toInt(), 0, index);
    return index;
}

QString pathOf(const QModelIndex &index)
{
    if (!index.isValid())
        return QStringLiteral("none");
    if (index.parent().isValid())
        return QStringLiteral("%1.%2").arg(index.parent().row()).arg(index.row());
    return QString::number(index.row());
}

// The selected rows as paths in view order; with onlyUnder set, only the rows under that
// parent.
QStringList selectedPaths(const QTreeView &view, const QModelIndex *onlyUnder = nullptr)
{
    QModelIndexList rows = view.selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) {
        auto key = [](const QModelIndex &i) {
            return i.parent().isValid() ? std::pair(i.parent().row(), i.row())
                                        : std::pair(i.row(), -1);
        };
        return key(a) < key(b);
    });
    QStringList paths;
    for (const QModelIndex &row : rows) {
        if (onlyUnder == nullptr || row.parent() == *onlyUnder)
            paths.append(pathOf(row));
    }
    return paths;
}

void setUp(QTreeView &view)
{
    view.setHeaderHidden(true);
    view.setFrameShape(QFrame::NoFrame);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setUniformRowHeights(false);
    view.setWordWrap(true);
    view.setAllColumnsShowFocus(true);
    view.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view.setDragDropMode(QAbstractItemView::InternalMove);
    view.setAnimated(false);
    view.setAutoExpandDelay(-1);
    view.resize(320, 9 * 24);
}

// Runs one step on a view. False when a row to be clicked is not in sight.
bool runStep(QTreeView &view, const QString &step)
{
    const QString verb = step.section(QLatin1Char(' '), 0, 0);
    const QString arg = step.section(QLatin1Char(' '), 1);
    QAbstractItemModel &model = *view.model();
    if (verb.endsWith(QLatin1String("click"))) {
        Qt::KeyboardModifiers mods;
        if (verb.contains(QLatin1String("shift")))
            mods |= Qt::ShiftModifier;
        if (verb.contains(QLatin1String("ctrl")))
            mods |= Qt::ControlModifier;
        const QRect rect = view.visualRect(rowAt(model, arg));
        const QPoint at(view.viewport()->width() / 2, rect.center().y());
        if (!rect.isValid() || !view.viewport()->rect().contains(at))
            return false;
        QTest::mouseClick(view.viewport(), Qt::LeftButton, mods, at);
    } else if (verb == QLatin1String("key")) {
        // "Shift+Down*15" presses Shift+Down fifteen times.
        const int times = arg.contains(QLatin1Char('*')) ? arg.section(QLatin1Char('*'), 1).toInt() : 1;
        const QKeyCombination key = QKeySequence::fromString(arg.section(QLatin1Char('*'), 0, 0))[0];
        for (int i = 0; i < times; ++i)
            QTest::keyClick(&view, key.key(), key.keyboardModifiers());
    } else if (verb == QLatin1String("wheel")) {
        // Notches down (positive) or up.
        const QPoint at(view.viewport()->width() / 2, view.viewport()->height() / 2);
        QWheelEvent wheel(at, view.viewport()->mapToGlobal(at), QPoint(),
                          QPoint(0, -120 * arg.toInt()), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
    } else if (verb == QLatin1String("bar")) {
        QScrollBar *bar = view.verticalScrollBar();
        if (arg == QLatin1String("max"))
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
        else if (arg == QLatin1String("min"))
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
        else
            bar->setValue(arg.toInt());
    } else if (verb == QLatin1String("expandAll")) {
        view.expandAll();
    } else if (verb == QLatin1String("collapseAll")) {
        view.collapseAll();
    } else if (verb == QLatin1String("expand")) {
        view.expand(rowAt(model, arg));
    } else if (verb == QLatin1String("collapse")) {
        view.collapse(rowAt(model, arg));
    } else {
        qFatal("unknown step %s", qPrintable(step));
    }
    QCoreApplication::processEvents();
    return true;
}

QStringList steps(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *step : list)
        result.append(QString::fromLatin1(step));
    return result;
}

} // namespace

class TestRangeSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameAsStockTreeView_data();
    void sameAsStockTreeView();
    void rangesAreOneRunOfSiblings();
};

void TestRangeSelection::sameAsStockTreeView_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QStringList>("steps");
    // 20 rows, about 9 in sight.
    QTest::newRow("first row, Shift+End") << QStringLiteral("tall") << steps({"click 0", "key Shift+End"});
    QTest::newRow("first row, Shift+Down fifteen times")
        << QStringLiteral("tall") << steps({"click 0", "key Shift+Down*15"});
    QTest::newRow("anchor above: scroll bar to the bottom, Shift+click")
        << QStringLiteral("tall") << steps({"click 0", "bar max", "shift-click 18"});
    QTest::newRow("anchor below: End, scroll bar to the top, Shift+click")
        << QStringLiteral("tall") << steps({"key End", "bar min", "shift-click 2"});
    QTest::newRow("anchor below: Shift+Home, Shift+PgUp")
        << QStringLiteral("tall") << steps({"key End", "key Shift+PgUp", "key Shift+PgUp", "key Shift+Home"});
    QTest::newRow("Shift+PgDown twice, then back up")
        << QStringLiteral("tall")
        << steps({"click 1", "key Shift+PgDown", "key Shift+PgDown", "key Shift+PgUp",
                       "key Shift+Up*3"});
    QTest::newRow("scrolled by keys, then Shift+click in sight")
        << QStringLiteral("tall") << steps({"click 1", "key Shift+PgDown*3", "shift-click 14"});
    QTest::newRow("scrolled by the wheel, then Shift+click and Shift+Down")
        << QStringLiteral("flat") << steps({"click 2", "wheel 3", "shift-click 12", "key Shift+Down*2"});
    QTest::newRow("anchor below, wheel up, Shift+click")
        << QStringLiteral("tall") << steps({"click 0", "key End", "wheel -4", "shift-click 6"});
    QTest::newRow("a range shrinks and turns round the anchor")
        << QStringLiteral("tall")
        << steps({"click 5", "key Shift+Down*5", "shift-click 7", "bar min", "shift-click 1",
                       "key Shift+Down"});
    QTest::newRow("Ctrl+click sets the anchor out of sight")
        << QStringLiteral("tall")
        << steps({"click 1", "ctrl-click 4", "bar max", "shift-click 17", "ctrl-click 19",
                       "key Shift+Up*2"});
    QTest::newRow("Ctrl+Shift+click adds a range to one")
        << QStringLiteral("tall")
        << steps({"click 0", "shift-click 3", "bar 8", "ctrl-click 10",
                       "ctrl+shift-click 13"});
    QTest::newRow("Ctrl+Up moves the anchor with the current row")
        << QStringLiteral("tall") << steps({"click 7", "key Ctrl+Down*6", "key Ctrl+Up*9", "key Shift+End"});
    QTest::newRow("Ctrl+Space toggles, Shift+End from there")
        << QStringLiteral("tall") << steps({"click 3", "key Ctrl+Down*2", "key Ctrl+Space", "key Shift+End"});
    // Row 02 has twelve children, row 10 three.
    QTest::newRow("expanded rows between anchor and end")
        << QStringLiteral("nested") << steps({"expandAll", "click 0", "key Shift+End"});
    QTest::newRow("expanded rows, anchor above, scroll bar")
        << QStringLiteral("nested") << steps({"expandAll", "click 1", "bar max", "shift-click 19"});
    QTest::newRow("collapsed after a range, then extended")
        << QStringLiteral("nested")
        << steps({"expandAll", "click 0", "key Shift+Down*5", "collapseAll",
                       "key Shift+End", "shift-click 14"});
    QTest::newRow("expanded after the anchor went out of sight")
        << QStringLiteral("nested") << steps({"click 0", "key Shift+End", "expandAll", "key Shift+Home"});
    QTest::newRow("within one parent's children, anchor above")
        << QStringLiteral("nested") << steps({"expand 2", "click 2.0", "bar 12", "shift-click 2.11"});
    QTest::newRow("within one parent's children, Shift+Down")
        << QStringLiteral("nested") << steps({"expand 2", "click 2.1", "key Shift+Down*10", "key Shift+Up*4"});
    QTest::newRow("within one parent's children, anchor below")
        << QStringLiteral("nested") << steps({"expand 2", "bar 10", "click 2.11", "bar 0", "shift-click 2.2"});
    QTest::newRow("from a child to a top-level row out of sight")
        << QStringLiteral("nested") << steps({"expandAll", "click 2.3", "key Shift+End", "key Shift+PgUp"});
    QTest::newRow("anchor under a parent collapsed meanwhile")
        << QStringLiteral("nested") << steps({"expand 2", "click 2.4", "collapse 2", "bar 8", "shift-click 12"});
}

void TestRangeSelection::sameAsStockTreeView()
{
    QFETCH(QString, shape);
    QFETCH(QStringList, steps);
    ItemTreeModel model;
    fill(model, shape);
    const FrameBitmaps bitmaps;
    ItemTreeView ours(&model, bitmaps, nullptr);
    QTreeView stock;
    stock.setModel(&model);
    stock.setItemDelegate(new TwinHeights(&ours, &stock));
    setUp(ours);
    setUp(stock);
    ours.show();
    stock.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ours));
    QVERIFY(QTest::qWaitForWindowExposed(&stock));
    QCOMPARE(ours.viewport()->size(), stock.viewport()->size());
    // The first row is the current one, as when a list has been loaded.
    for (QTreeView *view : {static_cast<QTreeView *>(&ours), &stock})
        view->selectionModel()->setCurrentIndex(model.index(0, 0), QItemSelectionModel::NoUpdate);

    for (int i = 0; i < steps.size(); ++i) {
        const QString where = QStringLiteral("after step %1 (%2)").arg(i + 1).arg(steps[i]);
        QVERIFY2(runStep(stock, steps[i]), qPrintable(where + QStringLiteral(": not in sight")));
        QVERIFY2(runStep(ours, steps[i]), qPrintable(where + QStringLiteral(": not in sight")));
        QCOMPARE(pathOf(ours.currentIndex()), pathOf(stock.currentIndex()));
        const QModelIndex parent = stock.currentIndex().parent();
        const QStringList expected = selectedPaths(stock, &parent);
        const QStringList got = selectedPaths(ours);
        QVERIFY2(got == expected, qPrintable(where + QStringLiteral(": selected ") +
                                             got.join(QLatin1Char(',')) +
                                             QStringLiteral(", stock view ") +
                                             expected.join(QLatin1Char(','))));
        QVERIFY2(ours.verticalScrollBar()->value() == stock.verticalScrollBar()->value(),
                 qPrintable(where + QStringLiteral(": scrolled to %1, stock view %2")
                                        .arg(ours.verticalScrollBar()->value())
                                        .arg(stock.verticalScrollBar()->value())));
    }
}

// However long, a range made by Shift is one run of rows, and reading it lists each
// selected node once, in tree order.
void TestRangeSelection::rangesAreOneRunOfSiblings()
{
    ItemTreeModel model;
    fill(model, QStringLiteral("nested"));
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    setUp(view);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(runStep(view, QStringLiteral("expandAll")));
    QVERIFY(runStep(view, QStringLiteral("click 1")));
    QVERIFY(runStep(view, QStringLiteral("key Shift+End")));
    QCOMPARE(view.selectionModel()->selection().size(), 1);
    const QList<ItemNode *> nodes = view.selectedNodes();
    QCOMPARE(nodes.size(), 19);
    for (int i = 0; i < nodes.size(); ++i)
        QCOMPARE(nodes[i], model.root()->shownChildren()[size_t(i + 1)]);
    QCOMPARE(view.firstSelectedNode(), nodes.first());
    QCOMPARE(view.singleSelectedNode(), nullptr);
    QVERIFY(runStep(view, QStringLiteral("key Ctrl+A")));
    QCOMPARE(view.selectionModel()->selection().size(), 1);
    QCOMPARE(view.selectedNodes().size(), 20);
    QVERIFY(runStep(view, QStringLiteral("click 18")));
    QCOMPARE(view.singleSelectedNode(), model.root()->shownChildren()[18]);
}

QTEST_MAIN(TestRangeSelection)
#include "test_range_selection.moc"
