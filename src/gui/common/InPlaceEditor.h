// The in-place editor of the tree control: Enter adds a line, Ctrl+Enter stores, Esc
// cancels, leaving it stores; Tab characters cannot be typed.
#pragma once

#include <QPlainTextEdit>

class InPlaceEditor : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit InPlaceEditor(QWidget *parent);
    // Whether the user changed the text since it was opened.
    bool userModified() const { return document()->isModified(); }

Q_SIGNALS:
    void storeRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
