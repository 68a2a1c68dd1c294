// What the list frames show beside the rows: the tip panel, the status bar, the row shown
// in full after the hover delay; and the keys and the pointer on the tree.
#include "Fr_wyTree.h"

#include "common/Texts.h"
#include "pU_Boxes.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

namespace {

const QString kTipAdd = QStringLiteral("Click here to Add a new Item.");
const QString kTipEdit = QStringLiteral("Click here to finish Edit. Press Esc cancel.");
const QString kTipNoResult = QStringLiteral("Search no result");

} // namespace

void TwyTreeFrame::ShowTip(Tip tip)
{
    if (tip == Tip::None && m_model->root()->shownChildren().empty())
        tip = Tip::AddItem;
    currentTip = tip;
    switch (tip) {
    case Tip::None:
        FTipKind = 0;
        break;
    case Tip::AddItem:
        FTipKind = m_config.tipKindAdd;
        break;
    case Tip::FinishEdit:
        FTipKind = m_config.tipKindEdit;
        break;
    case Tip::NoResult:
        FTipKind = m_config.tipKindNoResult;
        break;
    }
    if (tip == Tip::None) {
        Panel_tip->hide();
        label_tip->clear();
        return;
    }
    const int imageIndex = tip == Tip::AddItem      ? m_config.tipImageAdd
                           : tip == Tip::FinishEdit ? m_config.tipImageEdit
                                                    : m_config.tipImageNoResult;
    Image_Tip->setPixmap(image(imageIndex).pixmap(QSize(16, 16), devicePixelRatioF()));
    layoutTip();
    Panel_tip->show();
}

void TwyTreeFrame::layoutTip()
{
    const QString text = currentTip == Tip::AddItem      ? kTipAdd
                         : currentTip == Tip::FinishEdit ? kTipEdit
                                                         : kTipNoResult;
    // The picture and the text start at the left, or at the right when right to left.
    constexpr int kTextStart = 24;
    const int width = qMax(40, this->width() - kTextStart - 4);
    const bool reverse = layoutDirection() == Qt::RightToLeft;
    Image_Tip->move(reverse ? this->width() - 4 - Image_Tip->width() : 4, 4);
    label_tip->move(reverse ? this->width() - kTextStart - width : kTextStart, 4);
    label_tip->setAlignment((reverse ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute |
                            Qt::AlignVCenter);
    label_tip->setText(text);
    label_tip->setFixedWidth(width);
    // Measured with the font itself: a label on a tab not shown yet measures its text
    // as if it had no width to speak of.
    const QMargins margins = label_tip->contentsMargins();
    const int extra = 2 * label_tip->margin();
    const int textWidth = qMax(1, width - margins.left() - margins.right() - extra);
    const QRect bounds = QFontMetrics(label_tip->font())
                             .boundingRect(QRect(0, 0, textWidth, 100000),
                                           int(label_tip->alignment()) | Qt::TextWordWrap, text);
    const int height = bounds.height() + margins.top() + margins.bottom() + extra;
    label_tip->setFixedHeight(height);
    Panel_tip->setFixedHeight(height + 8);
}

void TwyTreeFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The tip wraps again at the new width, also while its tab is not the one shown.
    if (!Panel_tip->isHidden())
        layoutTip();
}

void TwyTreeFrame::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!Panel_tip->isHidden())
        layoutTip();
}

void TwyTreeFrame::tipClicked()
{
    switch (currentTip) {
    case Tip::AddItem:
        addItem();
        break;
    case Tip::FinishEdit:
        endEditing(true);
        break;
    case Tip::NoResult:
        Btn_SearchClick();
        break;
    case Tip::None:
        break;
    }
}

void TwyTreeFrame::showNextStatusTip()
{
    StatusImage->show();
    m_statusText->setText(Texts::StatusTips[NextRandom(6)]);
}

void TwyTreeFrame::reportNode(const ItemNode *node)
{
    m_reportedNode = node;
    if (node == nullptr) {
        showNextStatusTip();
        return;
    }
    StatusImage->hide();
    m_statusText->setText(statusText(node));
}

void TwyTreeFrame::onSelectionChanged()
{
    UpdateActions();
    reportNode(m_tree->singleSelectedNode());
}

void TwyTreeFrame::onHotNodeChanged(ItemNode *, ItemNode *newNode)
{
    if (!m_model->view.list)
        return;
    Timer_HotDelay->stop();
    if (newNode)
        Timer_HotDelay->start();
}

void TwyTreeFrame::alignStatusText()
{
    m_statusText->setAlignment(
        (layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) |
        Qt::AlignAbsolute | Qt::AlignVCenter);
}

void TwyTreeFrame::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange)
        alignStatusText();
}

void TwyTreeFrame::onHotDelay()
{
    Timer_HotDelay->stop();
    ItemNode *hot = m_tree->hotNode();
    if (hot == nullptr || hot == FHotNode)
        return;
    ItemNode *old = FHotNode;
    FHotNode = hot;
    m_model->view.hot = hot;
    m_model->nodeChanged(hot);
    if (old)
        m_model->nodeChanged(old);
}

void TwyTreeFrame::refreshNode(ItemNode *node)
{
    m_model->nodeChanged(node);
}

ItemNode *TwyTreeFrame::firstSelected() const
{
    return m_tree->firstSelectedNode();
}

void TwyTreeFrame::onKey(QKeyEvent *event, bool *handled)
{
    // An add or edit is on its way (its editor opens with the next queued step): what is
    // typed meanwhile belongs to that editor, however long the window was busy before.
    if (FEditNode && m_tree->openEditor() == nullptr) {
        m_keysForEditor.emplace_back(event->clone());
        *handled = true;
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    *handled = true;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !ctrl)
        RunCommand([this] { addItem(); });
    else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && ctrl)
        RunCommand([this] { addChildItem(); });
    else if (key == Qt::Key_Delete)
        RunCommand([this] { deleteItems(); });
    else if (ctrl && key == Qt::Key_C)
        RunCommand([this] { copyItems(); });
    else if (ctrl && key == Qt::Key_V)
        RunCommand([this] { pasteItem(); });
    else if (ctrl && key == Qt::Key_A)
        selectAllItems();
    else if (ctrl && key == Qt::Key_F12)
        m_host.commonAction(CommonAction::Close)->trigger();
    else if (QKeySequence(event->keyCombination()) == FrameConfig::SortDirectionKey) {
        if (m_viewAsc->isEnabled())
            m_viewAsc->trigger();
    } else
        *handled = handleOwnKey(event);
}

void TwyTreeFrame::passKeysToEditor()
{
    std::vector<std::unique_ptr<QKeyEvent>> keys;
    keys.swap(m_keysForEditor);
    QWidget *editor = m_tree->openEditor();
    for (auto &key : keys) {
        // Once the editor has closed (Ctrl+Enter among the keys), the rest go to the tree as
        // if typed now: another Enter starts another item.
        QWidget *target = m_tree->openEditor() == editor && editor ? editor : m_tree;
        QCoreApplication::sendEvent(target, key.get());
    }
}

void TwyTreeFrame::onContextMenu(const QPoint &pos)
{
    FMouseX = pos.x();
    FMouseY = pos.y();
    const QModelIndex index = m_tree->indexAt(pos);
    if (index.isValid() && !m_tree->selectionModel()->isRowSelected(index.row(), index.parent())) {
        m_tree->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    QMenu *menu = index.isValid() ? PopupMenu_Item : PopupMenu_Null;
    if (menu)
        menu->popup(m_tree->viewport()->mapToGlobal(pos));
}
