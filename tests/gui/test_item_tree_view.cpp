// The shared tree view on a long list: moving far, selecting a long run of rows and
// repainting a row out of sight measure the rows shown, not every row in between.
#include "common/ItemTreeView.h"

#include <QApplication>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QTest>

namespace {

// Counts how often a row's text is asked for: the view asks for it when it measures a row's
// height and when it paints the row.
class CountingModel : public ItemTreeModel
{
public:
    mutable int textsAsked = 0;

protected:
    QString decoratedText(const ItemNode *node) const override
    {
        ++textsAsked;
        return ItemTreeModel::decoratedText(node);
    }
};

constexpr int kRows = 5000;

// One top-level row per item, each text long enough to wrap in a narrow view.
void fill(ItemTreeModel &model)
{
    ItemForest forest;
    for (int i = 0; i < kRows; ++i) {
        auto info = std::make_unique<ItemInfo>();
        info->key = QString::number(i);
        info->content = QStringLiteral("Row %1 with a text long enough to wrap in a narrow "
                                       "view, so that rows differ in height")
                            .arg(i);
        forest.push_back(std::make_unique<ItemNode>(std::move(info)));
    }
    model.resetForest(std::move(forest));
}

// Shows the view at a size where the texts wrap.
bool show(ItemTreeView &view)
{
    view.resize(300, 400);
    view.show();
    return QTest::qWaitForWindowExposed(&view);
}

} // namespace

class TestItemTreeView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void farMovesMeasureOnlyRowsInSight_data();
    void farMovesMeasureOnlyRowsInSight();
    void pointerFarDownMeasuresOnlyRowsInSight_data();
    void pointerFarDownMeasuresOnlyRowsInSight();
    void dragSelectionKeepsPressedRowWhileScrolling();
    void rowsWrapAnewWhenTheScrollBarComesOrGoes_data();
    void rowsWrapAnewWhenTheScrollBarComesOrGoes();
    void hintOnlyBelowTheRows();
};

void TestItemTreeView::farMovesMeasureOnlyRowsInSight_data()
{
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::newRow("to the end and back") << QList<QKeyCombination>{
        Qt::ControlModifier | Qt::Key_End, Qt::ControlModifier | Qt::Key_Home};
    QTest::newRow("pages down and back up") << QList<QKeyCombination>{
        QKeyCombination(Qt::Key_PageDown), QKeyCombination(Qt::Key_PageDown),
        QKeyCombination(Qt::Key_PageUp)};
    QTest::newRow("every row selected from the first to the last")
        << QList<QKeyCombination>{Qt::ShiftModifier | Qt::ControlModifier | Qt::Key_End};
    QTest::newRow("at the end, the first row repainted")
        << QList<QKeyCombination>{Qt::ControlModifier | Qt::Key_End, QKeyCombination()};
}

void TestItemTreeView::farMovesMeasureOnlyRowsInSight()
{
    QFETCH(QList<QKeyCombination>, keys);
    CountingModel model;
    fill(model);
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    QVERIFY(show(view));
    view.setCurrentIndex(model.index(0, 0));
    QCoreApplication::processEvents();

    model.textsAsked = 0;
    for (const QKeyCombination key : keys) {
        if (key == QKeyCombination()) {
            // A change of a row far above the ones shown.
            model.nodeChanged(model.root()->shownChildren().front());
        } else {
            QTest::keyClick(&view, key.key(), key.keyboardModifiers());
        }
        QCoreApplication::processEvents();
    }
    // A few screens of rows at most, whatever the length of the list.
    QVERIFY2(model.textsAsked < kRows / 10, qPrintable(QString::number(model.textsAsked)));
}

void TestItemTreeView::pointerFarDownMeasuresOnlyRowsInSight_data()
{
    QTest::addColumn<bool>("click");
    QTest::newRow("a click on a row") << true;
    QTest::newRow("the pointer moved over a row") << false;
}

// At the end of the list, with every row's height forgotten (as after a filter, a resize or
// a view switch), the pointer on a row measures the rows shown only.
void TestItemTreeView::pointerFarDownMeasuresOnlyRowsInSight()
{
    QFETCH(bool, click);
    CountingModel model;
    fill(model);
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    QVERIFY(show(view));
    view.setCurrentIndex(model.index(0, 0));
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QCoreApplication::processEvents();
    view.relayoutRows();
    QCoreApplication::processEvents();

    model.textsAsked = 0;
    const QPoint at(view.viewport()->width() / 2, 30);
    const QModelIndex under = view.indexAt(at);
    QVERIFY(under.row() > kRows - 20);
    if (click)
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    else
        QTest::mouseMove(view.viewport(), at);
    QCoreApplication::processEvents();
    QVERIFY2(model.textsAsked < kRows / 10, qPrintable(QString::number(model.textsAsked)));
    if (click) {
        QCOMPARE(view.currentIndex(), under);
        QCOMPARE(view.selectionModel()->selectedRows(), QModelIndexList{under});
    } else {
        QCOMPARE(view.hotNode(), model.nodeFromIndex(under));
    }
}

// Selecting by dragging over rows while they scroll: the selection still runs from the row
// pressed on to the row under the pointer.
void TestItemTreeView::dragSelectionKeepsPressedRowWhileScrolling()
{
    ItemTreeModel model;
    fill(model);
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.setDragEnabled(false);
    QVERIFY(show(view));
    view.verticalScrollBar()->setValue(kRows / 2);
    QCoreApplication::processEvents();

    const int x = view.viewport()->width() / 2;
    const QModelIndex pressed = view.indexAt(QPoint(x, 5));
    QCOMPARE(pressed.row(), kRows / 2);
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    // The rows move down by three while the button is held.
    view.verticalScrollBar()->setValue(kRows / 2 - 3);
    QCoreApplication::processEvents();
    const QRect pressedNow = view.visualRect(pressed);
    QVERIFY(pressedNow.top() > 5);
    const QPoint to(x, pressedNow.bottom() + 40);
    const QModelIndex last = view.indexAt(to);
    QVERIFY(last.row() > pressed.row());
    QTest::mouseMove(view.viewport(), to);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, to);
    QCoreApplication::processEvents();

    QModelIndexList rows = view.selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows.size(), last.row() - pressed.row() + 1);
    QCOMPARE(rows.first(), pressed);
    QCOMPARE(rows.last(), last);
}

// The tree's hint ("Double click to add ...") shows over the space below the rows only.
void TestItemTreeView::hintOnlyBelowTheRows()
{
    ItemTreeModel model;
    ItemForest forest;
    for (int i = 0; i < 3; ++i) {
        auto info = std::make_unique<ItemInfo>();
        info->key = QString::number(i);
        info->content = QStringLiteral("Row %1").arg(i);
        forest.push_back(std::make_unique<ItemNode>(std::move(info)));
    }
    model.resetForest(std::move(forest));
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.setToolTip(QStringLiteral("Double click to add"));
    QVERIFY(show(view));
    auto helpAt = [&](const QPoint &at) {
        QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &help);
    };
    const QPoint below(view.viewport()->width() / 2, view.viewport()->height() - 5);
    QVERIFY(!view.indexAt(below).isValid());
    helpAt(below);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("Double click to add"));
    const QPoint onRow = view.visualRect(model.index(1, 0)).center();
    helpAt(onRow);
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TestItemTreeView)
void TestItemTreeView::rowsWrapAnewWhenTheScrollBarComesOrGoes_data()
{
    QTest::addColumn<bool>("comes");
    QTest::newRow("the scroll bar comes: the row takes two lines") << true;
    QTest::newRow("the scroll bar goes: the row takes one line") << false;
}

// The window only changes its height, but the vertical scroll bar that comes or goes with it
// narrows or widens the rows: a text that just fitted one line wraps, or the other way round.
void TestItemTreeView::rowsWrapAnewWhenTheScrollBarComesOrGoes()
{
    QFETCH(bool, comes);
    ItemTreeModel model;
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.resize(300, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto setTexts = [&](const QString &first) {
        ItemForest forest;
        for (int i = 0; i < 4; ++i) {
            auto info = std::make_unique<ItemInfo>();
            info->key = QString::number(i);
            info->content = i == 0 ? first : QStringLiteral("Row %1").arg(i);
            forest.push_back(std::make_unique<ItemNode>(std::move(info)));
        }
        model.resetForest(std::move(forest));
        QCoreApplication::processEvents();
    };
    auto firstHeight = [&] { return view.visualRect(model.index(0, 0)).height(); };
    // The longest text of narrow words that still fits one line without a scroll bar.
    setTexts(QStringLiteral("i"));
    const int oneLine = firstHeight();
    QString text = QStringLiteral("i");
    for (;;) {
        setTexts(text + QStringLiteral(" i"));
        if (firstHeight() > oneLine)
            break;
        text += QStringLiteral(" i");
    }
    setTexts(text);
    QVERIFY(!view.verticalScrollBar()->isVisible());
    QCOMPARE(firstHeight(), oneLine);

    // A height of two rows: the four rows no longer fit.
    const QSize small(300, 2 * oneLine);
    if (comes) {
        view.resize(small);
    } else {
        // Laid out first with the scroll bar, then the window grows tall again.
        view.resize(small);
        QCoreApplication::processEvents();
        view.relayoutRows();
        QCoreApplication::processEvents();
        QVERIFY(view.verticalScrollBar()->isVisible());
        QVERIFY(firstHeight() > oneLine);
        view.resize(300, 400);
    }
    QTRY_COMPARE(view.verticalScrollBar()->isVisible(), comes);
    QCoreApplication::processEvents();
    if (comes)
        QVERIFY2(firstHeight() > oneLine, qPrintable(QString::number(firstHeight())));
    else
        QCOMPARE(firstHeight(), oneLine);
}

#include "test_item_tree_view.moc"
