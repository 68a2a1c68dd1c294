// The row delegate of the tree control: paints a row (check box, image, multi-line text
// aligned to the top), measures its height and runs the in-place editor.
#pragma once

#include "FrameHost.h"

#include <QStyledItemDelegate>

class ItemTreeView;

class ItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // The space between the parts of a row and around them.
    static constexpr int Margin = 2;

    ItemDelegate(ItemTreeView *view, const FrameBitmaps &bitmaps);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    // Ends the open editor: stores its text when changed (store) or cancels it.
    void finishEditing(QWidget *editor, bool store);

    // The row's parts in reading order: check box, image, text (left to right, or right to
    // left in a right-to-left layout).
    struct Layout
    {
        QRect check;
        QRect image;
        QRect text;
    };
    Layout layout(const QRect &cell) const;
    // The width text wraps in for a row of the given level.
    int textWidth(const QModelIndex &index) const;

Q_SIGNALS:
    // The user toggled a row's check box (click or Space).
    void checkToggled(const QModelIndex &index);
    // The editor closed with a text the user changed.
    void textEdited(const QModelIndex &index, const QString &text);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    ItemTreeView *m_view;
    const FrameBitmaps &m_bitmaps;
};
