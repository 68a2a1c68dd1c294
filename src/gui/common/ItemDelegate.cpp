#include "ItemDelegate.h"

#include "ColorCodes.h"
#include "ItemTreeView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>

namespace {
constexpr int kImageSize = 16;

int checkSize(const QWidget *widget)
{
    return widget->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
}
} // namespace

ItemDelegate::ItemDelegate(ItemTreeView *view, const FrameBitmaps &bitmaps)
    : QStyledItemDelegate(view), m_view(view), m_bitmaps(bitmaps)
{}

ItemDelegate::Layout ItemDelegate::layout(const QRect &cell) const
{
    Layout parts;
    int x = cell.left() + Margin;
    if (m_view->checkBoxes) {
        const int size = checkSize(m_view);
        parts.check = QRect(x, cell.top() + Margin, size, size);
        x += size + Margin;
    }
    if (m_view->imageForIndex) {
        parts.image = QRect(x, cell.top() + Margin, kImageSize, kImageSize);
        x += kImageSize + Margin;
    }
    parts.text = QRect(x, cell.top() + Margin, qMax(1, cell.right() - x - Margin),
                       qMax(1, cell.height() - 2 * Margin));
    if (m_view->isRightToLeft()) {
        // Right to left the row reads from the right: check box, image, then the text, as a
        // stock tree view lays its items out.
        parts.check = QStyle::visualRect(Qt::RightToLeft, cell, parts.check);
        parts.image = QStyle::visualRect(Qt::RightToLeft, cell, parts.image);
        parts.text = QStyle::visualRect(Qt::RightToLeft, cell, parts.text);
    }
    return parts;
}

int ItemDelegate::textWidth(const QModelIndex &index) const
{
    const ItemNode *node = m_view->itemModel()->nodeFromIndex(index);
    const int level = node ? node->level() : 0;
    const int cellWidth = m_view->viewport()->width() - m_view->indentation() * (level + 1);
    return layout(QRect(0, 0, cellWidth, 100)).text.width();
}

QSize ItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const ItemTreeModel *model = m_view->itemModel();
    const ItemNode *node = model->nodeFromIndex(index);
    if (node == nullptr)
        return {};
    const QFontMetrics fm(m_view->font());
    const int width = qMax(20, textWidth(index));
    auto measure = [&](const QString &text) {
        return fm.boundingRect(QRect(0, 0, width, 1000000), Qt::TextWordWrap, text).height();
    };
    const int line = measure(QStringLiteral("l"));
    int h;
    if (model->view.list && node != model->view.hot && node != model->view.edit)
        h = measure(QStringLiteral("1")) + 4;
    else
        h = measure(model->nodeText(node)) + 4;
    if (node == model->view.edit) {
        h = qMax(h, 4 * line + 4);
        h = qMin(h, m_view->viewport()->height() - line);
        h = qMax(h, line + 4);
    } else {
        h = qMax(h, line + 4);
    }
    // Check box and image never overflow the row.
    const int minimum = qMax(m_view->checkBoxes ? checkSize(m_view) : 0, kImageSize) + 2 * Margin;
    return QSize(width, qMax(h, minimum));
}

void ItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    const ItemTreeModel *model = m_view->itemModel();
    ItemNode *node = model->nodeFromIndex(index);
    if (node == nullptr)
        return;
    const QRect cell = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool editing = node == model->view.edit;
    const QPalette &palette = option.palette;

    painter->save();
    // Background: the row under the pointer, the row's own colour, or the bitmaps.
    QColor background = palette.color(QPalette::Base);
    if (!editing) {
        const qint32 code = index.data(ItemTreeModel::BackColorRole).toInt();
        if (node == m_view->hotNode()) {
            background = palette.color(QPalette::ToolTipBase);
            painter->fillRect(cell, background);
        } else if (code != 0 && m_view->colorForCode) {
            background = m_view->colorForCode(code);
            painter->fillRect(cell, background);
        } else {
            const bool second = node->level() != 1 && node->position() % 2 != 0;
            const QPixmap &bitmap = node->level() == 1 ? m_bitmaps.groupBackground
                                    : second           ? m_bitmaps.itemBackground1
                                                       : m_bitmaps.itemBackground0;
            if (ColorCodes::suitsPalette(bitmap, palette)) {
                painter->drawPixmap(cell, bitmap);
                background = ColorCodes::averageColor(bitmap);
            } else if (!bitmap.isNull()) {
                // The light bitmaps do not suit a dark palette: its own bases stand in.
                background = palette.color(second ? QPalette::AlternateBase : QPalette::Base);
                painter->fillRect(cell, background);
            }
        }
    }
    if (selected) {
        QColor highlight = palette.color(option.state & QStyle::State_Active ? QPalette::Active
                                                                             : QPalette::Inactive,
                                         QPalette::Highlight);
        painter->fillRect(cell, highlight);
    }
    if (option.state & QStyle::State_HasFocus && !selected) {
        QStyleOptionFocusRect focus;
        focus.initFrom(m_view);
        focus.rect = cell.adjusted(0, 0, -1, -1);
        m_view->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_view);
    }

    const Layout parts = layout(cell);
    if (m_view->checkBoxes) {
        QStyleOptionViewItem check(option);
        check.rect = parts.check;
        check.state = check.state & ~QStyle::State_HasFocus;
        check.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                             : QStyle::State_Off;
        m_view->style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter,
                                       m_view);
    }
    if (m_view->imageForIndex) {
        const int image = index.data(ItemTreeModel::ImageIndexRole).toInt();
        if (image >= 0)
            m_view->imageForIndex(image).paint(painter, parts.image);
    }

    // Text: bold for overdue; selected or edited rows keep the selection colours; others
    // take grey italics or their own colour.
    QFont font = m_view->font();
    if (index.data(ItemTreeModel::BoldRole).toBool())
        font.setBold(true);
    QColor color = palette.color(QPalette::Text);
    if (selected)
        color = palette.color(QPalette::HighlightedText);
    if (!selected && !editing) {
        // The palette's colours are made for its own base: on the light bitmaps of a dark
        // desktop, or on a row colour, they turn dark where they would not stand out. Grey
        // texts stay as faint as the palette makes them on its base.
        if (index.data(ItemTreeModel::GreyItalicRole).toBool()) {
            font.setItalic(true);
            const QColor grey = palette.color(QPalette::Disabled, QPalette::Text);
            const qreal faint =
                qMin(3.0, ColorCodes::contrast(grey, palette.color(QPalette::Base)));
            color = ColorCodes::readableOn(grey, background, faint, true);
        } else if (const qint32 code = index.data(ItemTreeModel::TextColorRole).toInt();
                   code != 0 && m_view->colorForCode) {
            color = m_view->colorForCode(code);
        } else {
            color = ColorCodes::readableOn(color, background, 4.5);
        }
    }
    if (!editing) {
        painter->setFont(font);
        painter->setPen(color);
        QString text = index.data(Qt::DisplayRole).toString();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        painter->setClipRect(cell);
        painter->drawText(parts.text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }
    painter->restore();
}

bool ItemDelegate::editorEvent(QEvent *event, QAbstractItemModel *,
                               const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (!m_view->checkBoxes || !index.isValid())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const Layout parts = layout(option.rect);
        if (!parts.check.adjusted(-Margin, -Margin, Margin, Margin)
                 .contains(mouse->position().toPoint()))
            return false;
        if (event->type() == QEvent::MouseButtonRelease)
            Q_EMIT checkToggled(index);
        return true; // the click on the box selects nothing and opens nothing
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Space || key->key() == Qt::Key_Select) &&
            key->modifiers() == Qt::NoModifier) {
            Q_EMIT checkToggled(index);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

QWidget *ItemDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                    const QModelIndex &) const
{
    auto *editor = new InPlaceEditor(parent);
    editor->setFont(m_view->font());
    editor->setAccessibleName(QStringLiteral("Item text"));
    connect(editor, &InPlaceEditor::storeRequested, this,
            [this, editor] { const_cast<ItemDelegate *>(this)->finishEditing(editor, true); });
    return editor;
}

void ItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *text = static_cast<InPlaceEditor *>(editor);
    if (text->property("loaded").toBool())
        return; // keep what the user typed when the model tells the views of a change
    text->setProperty("loaded", true);
    text->setPlainText(index.data(Qt::EditRole).toString());
    text->selectAll();
    text->document()->setModified(false);
}

void ItemDelegate::setModelData(QWidget *editor, QAbstractItemModel *,
                                const QModelIndex &index) const
{
    auto *text = static_cast<InPlaceEditor *>(editor);
    if (text->property("stored").toBool())
        return;
    text->setProperty("stored", true);
    if (text->userModified())
        Q_EMIT const_cast<ItemDelegate *>(this)->textEdited(index, text->toPlainText());
}

void ItemDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                        const QModelIndex &) const
{
    const Layout parts = layout(option.rect);
    QRect rect = option.rect;
    if (m_view->isRightToLeft())
        rect.setRight(parts.text.right() + Margin);
    else
        rect.setLeft(parts.text.left() - Margin);
    editor->setGeometry(rect);
}

void ItemDelegate::finishEditing(QWidget *editor, bool store)
{
    if (store) {
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    } else {
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

bool ItemDelegate::eventFilter(QObject *object, QEvent *event)
{
    // Tab neither types nor moves to another row.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
