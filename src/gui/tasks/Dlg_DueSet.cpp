#include "Dlg_DueSet.h"

#include "tasks/AlarmScan.h"
#include "common/IconArt.h"
#include "common/pU_Boxes.h"
#include "components/DialogHints.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TDueSetDlg::TDueSetDlg(bool dueFlag, TDateTime dueTime, QWidget *parent)
    : QDialog(parent), m_inFlag(dueFlag), m_inTime(dueTime)
{
    setObjectName(QStringLiteral("DueSetDlg"));
    setWindowTitle(QStringLiteral("Set Due Date"));
    DialogHints::SetFixed(this);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFixedSize(32, 32);
    picture->setPixmap(IconArt::icon(IconId::DueSet).pixmap(QSize(32, 32), devicePixelRatioF()));

    cb_due = new QCheckBox(QStringLiteral("Enable Due Date"), this);
    cb_due->setObjectName(QStringLiteral("cb_due"));
    edt_due = new QDateEdit(this);
    edt_due->setObjectName(QStringLiteral("edt_due"));
    edt_due->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    edt_due->setCalendarPopup(true);
    edt_due->setMinimumDate(QDate(1900, 1, 1));
    edt_due->setMaximumDate(QDate(9999, 12, 31));
    // The field has no label of its own: its name is what the check box enables.
    edt_due->setAccessibleName(QStringLiteral("Due date"));

    Btn_Ok = new QPushButton(QStringLiteral("OK"), this);
    Btn_Ok->setObjectName(QStringLiteral("Btn_Ok"));
    Btn_Ok->setDefault(true);
    Btn_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Btn_Cancel->setObjectName(QStringLiteral("Btn_Cancel"));
    connect(Btn_Ok, &QPushButton::clicked, this, &TDueSetDlg::Btn_OkClick);
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(edt_due, &QDateEdit::dateChanged, this, &TDueSetDlg::edt_dueChange);

    auto *fields = new QVBoxLayout;
    fields->addWidget(cb_due);
    fields->addWidget(edt_due);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(fields, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Btn_Ok);
    buttons->addWidget(Btn_Cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    FormShow();
    resize(qMax(340, sizeHint().width()), sizeHint().height());
    setFixedSize(size());
}

void TDueSetDlg::FormShow()
{
    // A task without a due date proposes today, at the moment the dialog opens.
    const TDateTime start = m_inFlag ? m_inTime : NowDays();
    m_timeOfDay = TimeOfDay(start);
    m_filling = true;
    cb_due->setChecked(m_inFlag);
    edt_due->setDate(DayOf(start));
    m_shownDay = edt_due->date();
    m_filling = false;
}

void TDueSetDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // Centred on the desktop.
    if (QScreen *screen = this->screen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    edt_due->setFocus();
    // The dialog opens from the keyboard as often as by pointer: the focused field shows it.
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void TDueSetDlg::edt_dueChange()
{
    if (m_filling || edt_due->date() == m_shownDay)
        return;
    m_shownDay = edt_due->date();
    cb_due->setChecked(true);
}

TDateTime TDueSetDlg::shownTime() const
{
    return DayAndTime(edt_due->date(), m_timeOfDay);
}

void TDueSetDlg::Btn_OkClick()
{
    // A due day that is not after today is asked about; Cancel keeps the dialog open.
    if (cb_due->isChecked() && edt_due->date() <= QDate::currentDate() &&
        !AskBox(QStringLiteral("Date may be incorrect, are you sure?")))
        return;
    m_dueFlag = cb_due->isChecked();
    m_dueTime = shownTime();
    accept();
}
