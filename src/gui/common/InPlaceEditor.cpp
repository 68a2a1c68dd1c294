#include "InPlaceEditor.h"

#include <QKeyEvent>

InPlaceEditor::InPlaceEditor(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("InPlaceEditor"));
    setTabChangesFocus(false);
    setFrameShape(QFrame::Box);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void InPlaceEditor::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        Q_EMIT storeRequested();
        return;
    }
    if (enter) {
        // A plain line break, whatever other keys are held.
        insertPlainText(QStringLiteral("\n"));
        return;
    }
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return;
    QPlainTextEdit::keyPressEvent(event);
}
