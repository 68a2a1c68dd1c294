#include "Dlg_ReminderSet.h"

#include "common/ColorCodes.h"
#include "common/IconArt.h"
#include "components/DialogHints.h"
#include "tasks/AlarmScan.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimeEdit>
#include <QVBoxLayout>

QColor TReminderSetDlg::WarningColor(const QPalette &palette)
{
    const QColor blue(0, 0, 255);
    const QColor window = palette.color(QPalette::Window);
    constexpr qreal kReadable = 4.5;
    if (ColorCodes::contrast(blue, window) >= kReadable)
        return blue;
    const QColor link = palette.color(QPalette::Link);
    if (ColorCodes::contrast(link, window) >= kReadable)
        return link;
    return ColorCodes::readableOn(link, window, kReadable);
}

TReminderSetDlg::TReminderSetDlg(bool alarmFlag, TDateTime alarmTime, QWidget *parent)
    : QDialog(parent), m_inFlag(alarmFlag), m_inTime(alarmTime)
{
    setObjectName(QStringLiteral("ReminderSetDlg"));
    setWindowTitle(QStringLiteral("Set Reminder"));
    DialogHints::SetFixed(this);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFixedSize(32, 32);
    picture->setPixmap(IconArt::icon(IconId::Reminder).pixmap(QSize(32, 32), devicePixelRatioF()));

    cb_reminder = new QCheckBox(QStringLiteral("Enable Reminder"), this);
    cb_reminder->setObjectName(QStringLiteral("cb_reminder"));
    edt_date = new QDateEdit(this);
    edt_date->setObjectName(QStringLiteral("edt_date"));
    edt_date->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    edt_date->setCalendarPopup(true);
    edt_date->setMinimumDate(QDate(1900, 1, 1));
    edt_date->setMaximumDate(QDate(9999, 12, 31));
    edt_time = new QTimeEdit(this);
    edt_time->setObjectName(QStringLiteral("edt_time"));
    edt_time->setDisplayFormat(LongTimeFormat());
    edt_date->setAccessibleName(QStringLiteral("Reminder date"));
    edt_time->setAccessibleName(QStringLiteral("Reminder time"));

    img_warning = new QLabel(this);
    img_warning->setObjectName(QStringLiteral("img_warning"));
    img_warning->setFixedSize(16, 16);
    img_warning->setPixmap(style()
                               ->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                               .pixmap(QSize(16, 16), devicePixelRatioF()));
    lbl_warning = new QLabel(QStringLiteral("Date or time may be incorrect!"), this);
    lbl_warning->setObjectName(QStringLiteral("lbl_warning"));
    QFont bold = lbl_warning->font();
    bold.setBold(true);
    lbl_warning->setFont(bold);
    // Blue, or the palette's own colour for links where blue would not stand out on the
    // palette's window colour (a dark palette).
    QPalette blue = lbl_warning->palette();
    blue.setColor(QPalette::WindowText, WarningColor(blue));
    lbl_warning->setPalette(blue);
    img_warning->hide();
    lbl_warning->hide();

    btn_ok = new QPushButton(QStringLiteral("&OK"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setDefault(true);
    btn_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    connect(btn_ok, &QPushButton::clicked, this, &TReminderSetDlg::btn_okClick);
    connect(btn_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(edt_date, &QDateEdit::dateChanged, this, &TReminderSetDlg::edt_Change);
    connect(edt_time, &QTimeEdit::timeChanged, this, &TReminderSetDlg::edt_Change);
    connect(cb_reminder, &QCheckBox::clicked, this, &TReminderSetDlg::cb_reminderClick);

    auto *form = new QFormLayout;
    form->addRow(cb_reminder);
    form->addRow(QStringLiteral("Date:"), edt_date);
    form->addRow(QStringLiteral("Time:"), edt_time);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(form, 1);
    auto *warning = new QHBoxLayout;
    warning->addWidget(img_warning);
    warning->addWidget(lbl_warning, 1);
    // The warning's row keeps its room while hidden, so the dialog does not jump.
    auto *warningRow = new QWidget(this);
    warningRow->setLayout(warning);
    warning->setContentsMargins(0, 0, 0, 0);
    warningRow->setFixedHeight(qMax(18, lbl_warning->sizeHint().height()));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_ok);
    buttons->addWidget(btn_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(top);
    layout->addWidget(warningRow);
    layout->addLayout(buttons);

    FormShow();
    resize(qMax(340, sizeHint().width()), sizeHint().height());
    setFixedSize(size());
}

void TReminderSetDlg::FormShow()
{
    m_filling = true;
    cb_reminder->setChecked(m_inFlag);
    if (m_inFlag) {
        edt_date->setDate(DayOf(m_inTime));
        edt_time->setTime(TimeOfDay(m_inTime));
    } else {
        // A new reminder proposes the same time tomorrow.
        const TDateTime now = NowDays();
        edt_date->setDate(DayOf(now + 1));
        edt_time->setTime(TimeOfDay(now));
    }
    m_shownMoment = chosenTime();
    m_filling = false;
    checkWarning();
}

void TReminderSetDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // Centred on the screen.
    if (QScreen *screen = this->screen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    cb_reminder->setFocus();
    // The dialog opens from the keyboard as often as by pointer: the focused box shows it.
    setAttribute(Qt::WA_KeyboardFocusChange);
    checkWarning();
}

TDateTime TReminderSetDlg::chosenTime() const
{
    return DayAndTime(edt_date->date(), edt_time->time());
}

bool TReminderSetDlg::warningShown() const
{
    return !lbl_warning->isHidden();
}

void TReminderSetDlg::checkWarning()
{
    const bool warn = cb_reminder->isChecked() && NotLaterThan(chosenTime(), NowDays());
    lbl_warning->setVisible(warn);
    img_warning->setVisible(warn);
}

void TReminderSetDlg::edt_Change()
{
    if (m_filling || chosenTime() == m_shownMoment)
        return;
    m_shownMoment = chosenTime();
    cb_reminder->setChecked(true);
    checkWarning();
}

void TReminderSetDlg::cb_reminderClick(bool checked)
{
    // Unchecking leaves a warning that is shown as it is.
    if (checked)
        checkWarning();
}

void TReminderSetDlg::btn_okClick()
{
    // A reminder in the past is taken as it is: the alarm scan raises it at once.
    m_alarmFlag = cb_reminder->isChecked();
    m_alarmTime = chosenTime();
    accept();
}
