#include "Dlg_Options.h"

#include "common/pU_Boxes.h"
#include "DialogFrame.h"
#include "Dm_Common.h"
#include "sync/SecretStore.h"
#include "SyncOptionsPage.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
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
    // The first page holds the options of the program's start and window.
    auto *general = new QWidget;
    general->setObjectName(QStringLiteral("GeneralPage"));
    auto *generalLayout = new QVBoxLayout(general);
    generalLayout->setContentsMargins(16, 14, 16, 8);
    generalLayout->setSpacing(12);
    generalLayout->addWidget(cb_AutoStart);
    generalLayout->addWidget(cb_AutoMinimized);
    generalLayout->addWidget(cb_AddOpen);
    generalLayout->addStretch();
    SyncPage = new SyncOptionsPage(m_commonDm.syncSettings());
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setAccessibleName(QStringLiteral("Option pages"));
    PageControl->addTab(general, QStringLiteral("General"));
    PageControl->addTab(SyncPage, QStringLiteral("Sync"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(PageControl);
    layout->addWidget(line);
    layout->addLayout(buttons);

    cb_AutoStart->setChecked(m_commonDm.IsAutoStartOn());
    cb_AutoMinimized->setChecked(options.runMinimized);
    cb_AddOpen->setChecked(options.addOpenEn);

    connect(Btn_Ok, &QPushButton::clicked, this, &TOptionsDlg::Btn_OkClick);
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    // The sync page needs more room than the three boxes of the first page.
    fixDialogFrame(this, QSize(440, 300));
    // The first field has the focus, not OK: Tab and Space then never press a button by
    // surprise.
    cb_AutoStart->setFocus();
}

void TOptionsDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void TOptionsDlg::Btn_OkClick()
{
    QWidget *wrongField = nullptr;
    const QString problem = SyncPage->problem(&wrongField);
    if (!problem.isEmpty()) {
        PageControl->setCurrentWidget(SyncPage);
        WarningBox(problem);
        if (wrongField)
            wrongField->setFocus();
        return;
    }
    const bool stored = RunCommand([this] {
        m_commonDm.setOpenOptions(cb_AutoMinimized->isChecked(), cb_AddOpen->isChecked());
        m_commonDm.SetAutoStart(cb_AutoStart->isChecked());
        m_commonDm.setSyncSettings(SyncPage->settings());
    });
    if (!stored)
        return;
    if (SyncPage->passwordChange() == SyncOptionsPage::PasswordChange::None) {
        accept();
        return;
    }
    storePassword();
}

void TOptionsDlg::storePassword()
{
    // The store answers through the event loop; meanwhile the dialog waits for it, without
    // a second OK.
    Btn_Ok->setEnabled(false);
    SyncPage->setNote(QStringLiteral("Storing the password in the desktop's secret store..."),
                      false);
    const QPointer<TOptionsDlg> self(this);
    const auto done = [self](const SecretResult &result) {
        if (self)
            self->passwordStored(result.ok, result.message);
    };
    const SyncSettings settings = SyncPage->settings();
    if (SyncPage->passwordChange() == SyncOptionsPage::PasswordChange::Remove)
        SecretStore::removePassword(settings, done);
    else
        SecretStore::writePassword(settings, SyncPage->password(), done);
}

void TOptionsDlg::passwordStored(bool ok, const QString &message)
{
    Btn_Ok->setEnabled(true);
    if (ok) {
        accept();
        return;
    }
    // Nothing of the password is written anywhere else: the user is told and the dialog
    // stays open, with the other settings already stored.
    SyncPage->setNote(message, true);
    PageControl->setCurrentWidget(SyncPage);
    ErrorBox(QStringLiteral("The sync password was not stored. %1\nThe password is kept only "
                            "in the desktop's secret store (such as GNOME Keyring or KWallet); "
                            "start it and press OK again, or press Cancel.")
                 .arg(message));
}
