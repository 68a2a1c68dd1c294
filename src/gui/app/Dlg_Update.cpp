#include "Dlg_Update.h"

#include "common/pU_Boxes.h"
#include "components/AppIcon.h"
#include "DialogFrame.h"
#include "Dm_Common.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TupdateDlg::TupdateDlg(TcommonDm &commonDm, QWidget *parent) : QDialog(parent), m_commonDm(commonDm)
{
    setObjectName(QStringLiteral("updateDlg"));
    setWindowTitle(QStringLiteral("Ploxen Update"));

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFixedSize(32, 32);
    picture->setPixmap(AppIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
    auto *line1 = new QLabel(QStringLiteral("Updates are published on the Ploxen website."), this);
    auto *line2 = new QLabel(QStringLiteral("Would you like to see more information about these "
                                            "updates and how to obtain them? "),
                             this);
    // Each on one line; the dialog grows with the desktop's font when it must.
    for (QLabel *line : {line1, line2})
        line->setWordWrap(false);

    Btn_Yes = new QPushButton(QStringLiteral("&Yes"), this);
    Btn_Yes->setObjectName(QStringLiteral("Btn_Yes"));
    QFont bold = Btn_Yes->font();
    bold.setBold(true);
    Btn_Yes->setFont(bold);
    Btn_Yes->setDefault(true);
    Btn_No = new QPushButton(QStringLiteral("&No"), this);
    Btn_No->setObjectName(QStringLiteral("Btn_No"));
    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    cb_ask = new QCheckBox(QStringLiteral("Do not ask me again."), this);
    cb_ask->setObjectName(QStringLiteral("cb_ask"));
    // Blue, in the desktop's own shade of a link.
    QPalette blue = cb_ask->palette();
    blue.setColor(QPalette::WindowText, blue.color(QPalette::Link));
    blue.setColor(QPalette::ButtonText, blue.color(QPalette::Link));
    cb_ask->setPalette(blue);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(line1);
    texts->addWidget(line2);
    texts->addStretch();
    auto *head = new QHBoxLayout;
    head->setSpacing(16);
    head->addWidget(picture, 0, Qt::AlignTop);
    head->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Btn_Yes);
    buttons->addWidget(Btn_No);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 12);
    layout->setSpacing(10);
    layout->addLayout(head, 1);
    layout->addLayout(buttons);
    layout->addWidget(separator);
    layout->addWidget(cb_ask);

    connect(Btn_Yes, &QPushButton::clicked, this, &TupdateDlg::Btn_YesClick);
    connect(Btn_No, &QPushButton::clicked, this, &TupdateDlg::Btn_NoClick);
    connect(cb_ask, &QCheckBox::toggled, this, &TupdateDlg::cb_askClick);

    fixDialogFrame(this, QSize(577, 181));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(TimeoutMs);
    connect(Timer1, &QTimer::timeout, this, &TupdateDlg::Timer1Timer);
    Timer1->start();
}

void TupdateDlg::Btn_YesClick()
{
    Timer1->stop();
    RunCommand([this] { m_commonDm.VisitHomePage(); });
    done(Yes);
}

void TupdateDlg::Btn_NoClick()
{
    Timer1->stop();
    done(No);
}

void TupdateDlg::Timer1Timer()
{
    done(No);
}

void TupdateDlg::cb_askClick(bool checked)
{
    RunCommand([this, checked] { m_commonDm.setVisitWebEn(!checked); });
}
