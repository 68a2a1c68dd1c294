#include "TreePrinter.h"

#include "ItemTreeView.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QResizeEvent>
#include <QStyleOptionViewItem>

#include <cmath>
#include <memory>

namespace {

// One shown row: its cell in content coordinates (right of the indentation) and the place of
// its expand mark.
struct PrintRow
{
    QPersistentModelIndex index;
    QRect cell;
    QRect branch;
    QStyle::State branchState;
    int top() const { return cell.top(); }
    int bottom() const { return cell.top() + cell.height(); }
};

// A second view on the same model, never shown, laid out like the one on screen: same
// width, font, switches and expanded rows, without selection, focus or pointer.
std::unique_ptr<ItemTreeView> makePrintView(const ItemTreeView &view, const FrameBitmaps &bitmaps)
{
    auto print = std::make_unique<ItemTreeView>(view.itemModel(), bitmaps, nullptr);
    print->checkBoxes = view.checkBoxes;
    print->imageForIndex = view.imageForIndex;
    print->colorForCode = view.colorForCode;
    print->setFont(view.font());
    print->setIndentation(view.indentation());
    print->setRootIsDecorated(view.rootIsDecorated());
    print->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    print->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = view.palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Window, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
        palette.setColor(group, QPalette::WindowText, Qt::black);
    }
    print->setPalette(palette);
    const ItemTreeModel *model = view.itemModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (view.isExpanded(index))
            print->expand(index);
    }
    return print;
}

// Gives a hidden view its size at once, as showing it would.
void resizeHidden(ItemTreeView &view, const QSize &size)
{
    const QSize old = view.size();
    view.resize(size);
    QResizeEvent event(size, old);
    QCoreApplication::sendEvent(&view, &event);
}

QList<PrintRow> shownRows(const ItemTreeView &view)
{
    QList<PrintRow> rows;
    const QAbstractItemModel *model = view.model();
    for (QModelIndex index = model->index(0, 0); index.isValid(); index = view.indexBelow(index)) {
        PrintRow row;
        row.index = index;
        // Every row's real place, out of sight or not (the view itself skips those).
        row.cell = view.QTreeView::visualRect(index);
        row.branch = QRect(row.cell.left() - view.indentation(), row.cell.top(), view.indentation(),
                           row.cell.height());
        row.branchState = QStyle::State_Item;
        if (model->hasChildren(index))
            row.branchState |= QStyle::State_Children;
        if (view.isExpanded(index))
            row.branchState |= QStyle::State_Open;
        if (index.siblingAtRow(index.row() + 1).isValid())
            row.branchState |= QStyle::State_Sibling;
        rows.append(row);
    }
    return rows;
}

// Vertical bands of at most the given height, ending between rows where a row fits.
QList<std::pair<int, int>> bands(const QList<PrintRow> &rows, int total, double pageHeight)
{
    QList<std::pair<int, int>> result;
    const int limitHeight = qMax(1, int(std::floor(pageHeight)));
    int top = 0;
    while (top < total) {
        const int limit = top + limitHeight;
        int end = top;
        for (const PrintRow &row : rows) {
            if (row.bottom() <= top)
                continue;
            if (row.bottom() > limit)
                break;
            end = row.bottom();
        }
        if (end <= top)
            end = qMin(limit, total); // a row taller than a page is cut
        result.append({top, end});
        top = end;
    }
    return result;
}

void paintRows(QPainter &painter, ItemTreeView &view, const QList<PrintRow> &rows,
               const QRect &source)
{
    painter.fillRect(source, Qt::white);
    QStyle *style = view.style();
    for (const PrintRow &row : rows) {
        if (row.bottom() <= source.top() || row.top() >= source.bottom() + 1)
            continue;
        if (row.branchState & QStyle::State_Children) {
            QStyleOption branch;
            branch.initFrom(&view);
            branch.rect = row.branch;
            branch.state = QStyle::State_Enabled | row.branchState;
            style->drawPrimitive(QStyle::PE_IndicatorBranch, &branch, &painter, &view);
        }
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.state = QStyle::State_Enabled | QStyle::State_Active;
        option.rect = row.cell;
        option.index = row.index;
        option.font = view.font();
        option.features = QStyleOptionViewItem::WrapText | QStyleOptionViewItem::HasDisplay;
        option.widget = &view;
        view.rowDelegate()->paint(&painter, option, row.index);
    }
}

} // namespace

int TreePrinter::Print(const ItemTreeView &view, const FrameBitmaps &bitmaps,
                       QPagedPaintDevice &device)
{
    std::unique_ptr<ItemTreeView> print = makePrintView(view, bitmaps);
    const int width = qMax(1, view.viewport()->width());
    resizeHidden(*print, QSize(width, qMax(1, view.viewport()->height())));
    const QList<PrintRow> rows = shownRows(*print);
    const int total = rows.isEmpty() ? 0 : rows.last().bottom();

    const QFont font = view.font();
    const double screenHeight = QFontMetricsF(font, &view).height();
    const double printerHeight = QFontMetricsF(font, &device).height();
    double scale = screenHeight > 0 && printerHeight > 0 ? printerHeight / screenHeight : 0;
    if (scale <= 0)
        scale = double(device.logicalDpiY()) / qMax(1, view.logicalDpiY());
    const double tileWidth = device.width() / scale;
    const double tileHeight = device.height() / scale;

    // The rows are laid out; from here on the view only paints. Its font is resolved on the
    // printer, under the scale, so it must come out at the size it has on screen.
    QFont printFont = font;
    if (font.pointSizeF() > 0)
        printFont.setPointSizeF(font.pointSizeF() * view.logicalDpiY() / device.logicalDpiY());
    print->setFont(printFont);

    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    const int columns = qMax(1, int(std::ceil(width / tileWidth - 1e-9)));
    int pages = 0;
    for (const auto &[top, bottom] : bands(rows, total, tileHeight)) {
        for (int column = 0; column < columns; ++column) {
            if (pages > 0)
                device.newPage();
            ++pages;
            const int left = int(std::floor(column * tileWidth));
            const int right = qMin(width, int(std::floor((column + 1) * tileWidth)));
            const QRect source(left, top, qMax(1, right - left), bottom - top);
            painter.save();
            painter.scale(scale, scale);
            painter.translate(-source.left(), -source.top());
            painter.setClipRect(source);
            paintRows(painter, *print, rows, source);
            painter.restore();
        }
    }
    if (pages == 0)
        pages = 1; // an empty tree prints one blank page
    painter.end();
    return pages;
}
