// The shared tree view in both layout directions, against a stock QTreeView: a row's check
// box, image and text stand in the order a stock view puts them, the expand box of a parent
// is painted in the row's own branch column beside its cell, and a click there opens the
// row, as in a stock view.
#include "common/ItemTreeView.h"

#include <QImage>
#include <QStandardItemModel>
#include <QStyle>
#include <QTest>

namespace {

std::unique_ptr<ItemNode> node(const QString &key, const QString &text)
{
    auto info = std::make_unique<ItemInfo>();
    info->key = key;
    info->content = text;
    return std::make_unique<ItemNode>(std::move(info));
}

// A parent (closed) with a child, and a row without children below it.
void fill(ItemTreeModel &model)
{
    ItemForest forest;
    auto parent = node(QStringLiteral("1"), QStringLiteral("Parent row"));
    parent->children.push_back(node(QStringLiteral("2"), QStringLiteral("Child row")));
    forest.push_back(std::move(parent));
    forest.push_back(node(QStringLiteral("3"), QStringLiteral("Plain row")));
    model.resetForest(std::move(forest));
}

QIcon squareIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

} // namespace

class TestTreeMirrored : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void partsStandInTheOrderOfAStockView_data();
    void partsStandInTheOrderOfAStockView();
    void expandBoxIsPaintedAndOpensTheRow_data();
    void expandBoxIsPaintedAndOpensTheRow();
    void editorCoversTheTextSide_data();
    void editorCoversTheTextSide();
};

void TestTreeMirrored::partsStandInTheOrderOfAStockView_data()
{
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::newRow("left to right") << Qt::LeftToRight;
    QTest::newRow("right to left") << Qt::RightToLeft;
}

void TestTreeMirrored::partsStandInTheOrderOfAStockView()
{
    QFETCH(Qt::LayoutDirection, direction);
    ItemTreeModel model;
    fill(model);
    FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.setLayoutDirection(direction);
    view.checkBoxes = true;
    view.imageForIndex = [](int) { return squareIcon(); };
    const QRect cell(30, 0, 300, 40);
    const ItemDelegate::Layout ours = view.rowDelegate()->layout(cell);

    // The stock view's item with a check box, a picture and a text in the same cell.
    QStandardItemModel stockModel;
    auto *item = new QStandardItem(squareIcon(), QStringLiteral("Parent row"));
    item->setCheckable(true);
    stockModel.appendRow(item);
    QTreeView stock;
    stock.setModel(&stockModel);
    stock.setLayoutDirection(direction);
    QStyleOptionViewItem option;
    option.initFrom(&stock);
    option.direction = direction;
    option.rect = cell;
    option.features = QStyleOptionViewItem::HasCheckIndicator |
                      QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
    option.decorationSize = QSize(16, 16);
    option.text = item->text();
    option.icon = item->icon();
    QStyle *style = stock.style();
    const QRect check =
        style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &stock);
    const QRect image = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, &stock);
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, &stock);

    // Reading order: the leading part first, from the left or from the right.
    auto before = [direction](const QRect &a, const QRect &b) {
        return direction == Qt::LeftToRight ? a.center().x() < b.center().x()
                                            : a.center().x() > b.center().x();
    };
    QVERIFY(before(check, image) && before(image, text)); // the stock view's order
    QVERIFY2(before(ours.check, ours.image), "check box and image out of the stock order");
    QVERIFY2(before(ours.image, ours.text), "image and text out of the stock order");
    // The check box starts the row at the cell's leading edge, as the stock one does.
    auto leadingGap = [&](const QRect &r) {
        return direction == Qt::LeftToRight ? r.left() - cell.left() : cell.right() - r.right();
    };
    QVERIFY2(
        leadingGap(ours.check) <= leadingGap(check) + ItemDelegate::Margin,
        qPrintable(
            QStringLiteral("check box %1 px from the leading edge").arg(leadingGap(ours.check))));
    // Every part stays inside the cell.
    for (const QRect &part : {ours.check, ours.image, ours.text})
        QVERIFY(cell.contains(part));
}

void TestTreeMirrored::expandBoxIsPaintedAndOpensTheRow_data()
{
    partsStandInTheOrderOfAStockView_data();
}

void TestTreeMirrored::expandBoxIsPaintedAndOpensTheRow()
{
    QFETCH(Qt::LayoutDirection, direction);
    ItemTreeModel model;
    fill(model);
    FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.setLayoutDirection(direction);
    view.checkBoxes = true;
    view.resize(300, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QModelIndex parent = model.index(0, 0);
    QVERIFY(model.hasChildren(parent));
    QVERIFY(!view.isExpanded(parent));
    // The stock view's branch column of the row: beside the cell, on the side the layout
    // starts from.
    const QRect cell = view.visualRect(parent);
    const int indent = view.indentation();
    const QRect column = direction == Qt::LeftToRight
                             ? QRect(cell.left() - indent, cell.top(), indent, cell.height())
                             : QRect(cell.right() + 1, cell.top(), indent, cell.height());
    const QRect button = view.expandButtonRect(parent);
    QVERIFY2(column.contains(button), qPrintable(QStringLiteral("box at %1..%2, column at %3..%4")
                                                     .arg(button.left())
                                                     .arg(button.right())
                                                     .arg(column.left())
                                                     .arg(column.right())));
    QVERIFY(view.viewport()->rect().contains(button));

    // The box is painted: a frame in the tree lines' colour around the base colour, with a
    // plus in the text colour (the row's highlight may tint all of them alike).
    const QImage picture = view.viewport()->grab().toImage();
    const qreal ratio = picture.devicePixelRatio();
    auto grey = [&](int x, int y) { return qGray(picture.pixel(int(x * ratio), int(y * ratio))); };
    const QPoint centre = button.center();
    const int inside = grey(button.left() + 2, button.top() + 2);
    for (const QPoint &frame :
         {button.topLeft(), button.bottomRight(), QPoint(button.left(), centre.y())}) {
        QVERIFY2(grey(frame.x(), frame.y()) < inside - 40,
                 qPrintable(QStringLiteral("no frame at %1,%2").arg(frame.x()).arg(frame.y())));
    }
    QVERIFY2(grey(centre.x(), centre.y() - 2) < grey(button.left(), button.top()),
             "no plus sign in the box");
    QVERIFY2(grey(centre.x() - 2, centre.y()) < grey(button.left(), button.top()),
             "no plus sign in the box");

    // A click on the box opens the row, as on a stock view's expand sign.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTRY_VERIFY(view.isExpanded(parent));
}

void TestTreeMirrored::editorCoversTheTextSide_data()
{
    partsStandInTheOrderOfAStockView_data();
}

void TestTreeMirrored::editorCoversTheTextSide()
{
    QFETCH(Qt::LayoutDirection, direction);
    ItemTreeModel model;
    fill(model);
    FrameBitmaps bitmaps;
    ItemTreeView view(&model, bitmaps, nullptr);
    view.setLayoutDirection(direction);
    view.checkBoxes = true;
    ItemDelegate *delegate = view.rowDelegate();
    QStyleOptionViewItem option;
    option.rect = QRect(30, 10, 300, 40);
    const QModelIndex index = model.index(1, 0);
    std::unique_ptr<QWidget> editor(delegate->createEditor(view.viewport(), option, index));
    delegate->updateEditorGeometry(editor.get(), option, index);
    const ItemDelegate::Layout parts = delegate->layout(option.rect);
    // The editor takes the text's side of the row and leaves the check box free.
    QVERIFY(!editor->geometry().intersects(parts.check));
    QVERIFY(editor->geometry().contains(parts.text));
    QCOMPARE(editor->geometry().top(), option.rect.top());
    // Assistive tools name what is typed there.
    QVERIFY(!editor->accessibleName().isEmpty());
}

QTEST_MAIN(TestTreeMirrored)
#include "test_tree_mirrored.moc"
