// "Ploxen Update": asks at start whether to visit the maker's site for updates. It answers
// No by itself five seconds after it was made; "Do not ask me again." is stored the moment
// it changes.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTimer;
class TcommonDm;

class TupdateDlg : public QDialog
{
    Q_OBJECT
public:
    // The answers exec() returns.
    enum Answer
    {
        No = 0,
        Yes = 1
    };
    static constexpr int TimeoutMs = 5000;

    // The timer runs from here.
    TupdateDlg(TcommonDm &commonDm, QWidget *parent = nullptr);

    QPushButton *Btn_Yes = nullptr;
    QPushButton *Btn_No = nullptr;
    QCheckBox *cb_ask = nullptr;
    QTimer *Timer1 = nullptr;

private:
    void Btn_YesClick();
    void Btn_NoClick();
    void Timer1Timer();
    void cb_askClick(bool checked);

    TcommonDm &m_commonDm;
};
