// The shared tree view on a long list: moving far, selecting a long run of rows and
// repainting a row out of sight measure the rows shown, not every row in between.
#include "common/ItemTreeView.h"

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

} // namespace

class TestItemTreeView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void farMovesMeasureOnlyRowsInSight_data();
    void farMovesMeasureOnlyRowsInSight();
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
    const FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.resize(300, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
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

QTEST_MAIN(TestItemTreeView)
#include "test_item_tree_view.moc"
