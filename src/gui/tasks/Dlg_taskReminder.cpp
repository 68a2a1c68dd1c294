#include "Dlg_taskReminder.h"

#include "tasks/AlarmScan.h"
#include "AlarmSound.h"
#include "common/IconArt.h"
#include "components/DialogHints.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TtaskReminderDlg *TtaskReminderDlg::s_openAlarm = nullptr;

TtaskReminderDlg::TtaskReminderDlg(const QString &content, const QString &soundFile,
                                   QWidget *parent)
    : QDialog(parent), m_content(content), m_soundFile(soundFile)
{
    setObjectName(QStringLiteral("taskReminderDlg"));
    setWindowTitle(QStringLiteral("Task Reminder"));
    // A title bar without window menu or close box; above other windows.
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    DialogHints::SetFixed(this, false);
    setWindowModality(Qt::ApplicationModal);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFixedSize(48, 48);
    picture->setPixmap(IconArt::icon(IconId::Alarm).pixmap(QSize(48, 48), devicePixelRatioF()));

    auto *prompt = new QLabel(QStringLiteral("Click \"Snooze\" to be alarmed again in:"), this);
    prompt->setObjectName(QStringLiteral("Label1"));

    comb_Snooze = new QComboBox(this);
    comb_Snooze->setObjectName(QStringLiteral("comb_Snooze"));
    comb_Snooze->addItems(Snooze::names());
    comb_Snooze->setCurrentIndex(0);
    comb_Snooze->setMaxVisibleItems(22);
    prompt->setBuddy(comb_Snooze);
    comb_Snooze->setAccessibleName(QStringLiteral("Snooze time"));
    Memo1->setAccessibleName(QStringLiteral("Task"));

    btn_dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    btn_dismiss->setObjectName(QStringLiteral("btn_dismiss"));
    btn_dismiss->setToolTip(QStringLiteral("Dismiss reminder"));
    btn_snooze = new QPushButton(QStringLiteral("Snooze"), this);
    btn_snooze->setObjectName(QStringLiteral("btn_snooze"));
    // Enter snoozes: the choice that loses nothing.
    btn_snooze->setDefault(true);
    connect(btn_snooze, &QPushButton::clicked, this, &TtaskReminderDlg::btn_snoozeClick);
    connect(btn_dismiss, &QPushButton::clicked, this, &TtaskReminderDlg::btn_dismissClick);

    auto *top = new QHBoxLayout;
    top->addWidget(Memo1, 1);
    top->addWidget(picture, 0, Qt::AlignTop);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(comb_Snooze, 1);
    bottom->addSpacing(12);
    bottom->addWidget(btn_dismiss);
    bottom->addWidget(btn_snooze);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(top, 1);
    layout->addSpacing(4);
    layout->addWidget(prompt);
    layout->addLayout(bottom);

    setTabOrder(comb_Snooze, btn_snooze);
    setTabOrder(btn_snooze, btn_dismiss);
    setTabOrder(btn_dismiss, Memo1);
    comb_Snooze->setFocus();

    resize(400, 230);
    setFixedSize(size());
}

TtaskReminderDlg::~TtaskReminderDlg()
{
    if (s_openAlarm == this)
        s_openAlarm = nullptr;
}

void TtaskReminderDlg::showAlarm()
{
    s_openAlarm = this;
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}

void TtaskReminderDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // It pops up by itself and is answered by keys as often as by pointer: the focused
        // control shows it from the start.
        setAttribute(Qt::WA_KeyboardFocusChange);
        FormShow();
    }
}

void TtaskReminderDlg::FormShow()
{
    QString text = m_content;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Memo1->setPlainText(text);
    AlarmSound::play(m_soundFile);
}

void TtaskReminderDlg::closeEvent(QCloseEvent *event)
{
    // The window manager's close (Alt+F4) is ignored like the missing close box.
    if (!m_finishing)
        event->ignore();
}

void TtaskReminderDlg::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TtaskReminderDlg::btn_snoozeClick()
{
    m_snoozeTime = Snooze::until(NowDays(), comb_Snooze->currentIndex());
    m_dismissed = false;
    finish();
}

void TtaskReminderDlg::btn_dismissClick()
{
    m_dismissed = true;
    finish();
}

void TtaskReminderDlg::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (s_openAlarm == this)
        s_openAlarm = nullptr;
    accept();
}
