// TReplaceAskDlg: the restore's question before it replaces a stored item with the file's.
#pragma once

#include "interchange/Interchange.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TReplaceAskDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TReplaceAskDlg(QWidget *parent = nullptr);

    // Fills the labels for one item.
    void fill(const Interchange::ReplaceQuestion &question);
    // Fills the labels and shows the dialog modally; closing it by its window button or
    // Escape counts as No.
    Interchange::Answer ask(const Interchange::ReplaceQuestion &question);

    QLabel *Label_Caption;
    QLabel *Label_oldTitle;
    QLabel *Label_oldTime;
    QLabel *Label2;
    QLabel *Label_newTitle;
    QLabel *Label_newTime;
    QPushButton *Btn_Yes;
    QPushButton *Btn_All;
    QPushButton *Btn_No;
    QPushButton *Btn_Abort;

private:
    void answer(Interchange::Answer answer);
};

// The asker of a restore run in the program: one dialog, made before the first item and
// destroyed with the run.
class DialogReplaceAsker : public Interchange::ReplaceAsker
{
public:
    explicit DialogReplaceAsker(QWidget *parent);
    Interchange::Answer ask(const Interchange::ReplaceQuestion &question) override;

private:
    TReplaceAskDlg m_dialog;
};
