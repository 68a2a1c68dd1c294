#include "Dlg_Options.h"

#include "common/pU_Boxes.h"
#include "DialogFrame.h"
#include "Dm_Common.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TOptionsDlg::TOptionsDlg(TcommonDm &commonDm, const ShellOptions &options, QWidget *parent)
    : QDialog(parent), m_commonDm(commonDm)
{
    setObjectName(QStringLiteral("OptionsDlg"));
    setWindowTitle(QStringLiteral("Options"));

    cb_AutoStart = new QCheckBox(QStringLiteral("Start with Windows"), this);
    cb_AutoStart->setObjectName(QStringLiteral("cb_AutoStart"));
    cb_AutoMinimized = new QCheckBox(QStringLiteral("Run program minimized"), this);
    cb_AutoMinimized->setObjectName(QStringLiteral("cb_AutoMinimized"));
    cb_AddOpen = new QCheckBox(QStringLiteral("Add new item while open"), this);
    cb_AddOpen->setObjectName(QStringLiteral("cb_AddOpen"));
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    Btn_Ok = new QPushButton(QStringLiteral("OK"), this);
    Btn_Ok->setObjectName(QStringLiteral("Btn_Ok"));
    Btn_Ok->setDefault(true);
    Btn_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Btn_Cancel->setObjectName(QStringLiteral("Btn_Cancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Btn_Ok);
    buttons->addWidget(Btn_Cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(12);
    layout->addWidget(cb_AutoStart);
    layout->addWidget(cb_AutoMinimized);
    layout->addWidget(cb_AddOpen);
    layout->addStretch();
    layout->addWidget(line);
    layout->addLayout(buttons);

    cb_AutoStart->setChecked(m_commonDm.IsAutoStartOn());
    cb_AutoMinimized->setChecked(options.runMinimized);
    cb_AddOpen->setChecked(options.addOpenEn);

    connect(Btn_Ok, &QPushButton::clicked, this, &TOptionsDlg::Btn_OkClick);
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    fixDialogFrame(this, QSize(285, 198));
}

void TOptionsDlg::Btn_OkClick()
{
    const bool stored = RunCommand([this] {
        m_commonDm.setOpenOptions(cb_AutoMinimized->isChecked(), cb_AddOpen->isChecked());
        m_commonDm.SetAutoStart(cb_AutoStart->isChecked());
    });
    if (stored)
        accept();
}
