#include "SyncOptionsPage.h"

#include "sync/SecretStore.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const QString kStoreNote = QStringLiteral("The password is kept in the desktop's secret store.");

QLineEdit *makeEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setClearButtonEnabled(false);
    return edit;
}

// Why a collection address cannot be used; empty when it can.
QString addressProblem(const QString &text, const QString &what, const QString &example)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QStringLiteral("The address of the %1 collection is not a web address. Enter "
                              "it as http://... or https://..., for example "
                              "https://calendar.example.org/anna/%2/.")
            .arg(what, example);
    return QString();
}
} // namespace

SyncOptionsPage::SyncOptionsPage(const SyncSettings &settings, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SyncPage"));
    Edt_TasksUrl = makeEdit(QStringLiteral("Edt_TasksUrl"), this);
    Edt_TasksUrl->setPlaceholderText(QStringLiteral("https://server/user/tasks/"));
    Edt_MemosUrl = makeEdit(QStringLiteral("Edt_MemosUrl"), this);
    Edt_MemosUrl->setPlaceholderText(QStringLiteral("optional"));
    Edt_UserName = makeEdit(QStringLiteral("Edt_UserName"), this);
    Edt_Password = makeEdit(QStringLiteral("Edt_Password"), this);
    Edt_Password->setEchoMode(QLineEdit::Password);
    Spin_Interval = new QSpinBox(this);
    Spin_Interval->setObjectName(QStringLiteral("Spin_Interval"));
    Spin_Interval->setRange(0, SyncOptions::MaxIntervalMinutes);
    Spin_Interval->setSuffix(QStringLiteral(" minutes"));
    Spin_Interval->setSpecialValueText(QStringLiteral("only by hand"));
    Spin_Interval->setMinimumWidth(140);
    Spin_Interval->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    lbl_Note = new QLabel(kStoreNote, this);
    lbl_Note->setObjectName(QStringLiteral("lbl_Note"));
    lbl_Note->setWordWrap(true);

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("&Tasks collection:"), Edt_TasksUrl);
    form->addRow(QStringLiteral("&Memos collection:"), Edt_MemosUrl);
    form->addRow(QStringLiteral("&User name:"), Edt_UserName);
    form->addRow(QStringLiteral("&Password:"), Edt_Password);
    form->addRow(QStringLiteral("Sync &every:"), Spin_Interval);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lbl_Note);
    layout->addStretch();

    Edt_TasksUrl->setText(settings.tasksUrl);
    Edt_MemosUrl->setText(settings.memosUrl);
    Edt_UserName->setText(settings.userName);
    Spin_Interval->setValue(settings.intervalMinutes);
    Edt_TasksUrl->setCursorPosition(0);
    Edt_MemosUrl->setCursorPosition(0);
    readPassword(settings);
}

void SyncOptionsPage::readPassword(const SyncSettings &settings)
{
    if (!settings.isSet()) {
        m_passwordRead = true;
        return;
    }
    m_loadedEntry = SecretStore::EntryName(settings);
    const QPointer<SyncOptionsPage> self(this);
    SecretStore::readPassword(settings,
                              [self](const SecretResult &result, const QString &password) {
                                  if (!self)
                                      return;
                                  self->m_passwordRead = true;
                                  if (!result.ok) {
                                      self->setNote(result.message, true);
                                      return;
                                  }
                                  if (result.missing)
                                      return;
                                  self->m_loadedPassword = password;
                                  // What the user has typed meanwhile stays.
                                  if (!self->Edt_Password->isModified())
                                      self->Edt_Password->setText(password);
                              });
}

void SyncOptionsPage::setNote(const QString &text, bool problem)
{
    lbl_Note->setText(text.isEmpty() ? kStoreNote : text);
    QPalette palette = lbl_Note->palette();
    palette.setColor(QPalette::WindowText,
                     problem ? QColor(192, 0, 0) : QWidget::palette().color(QPalette::WindowText));
    lbl_Note->setPalette(palette);
}

SyncSettings SyncOptionsPage::settings() const
{
    SyncSettings settings;
    settings.tasksUrl = Edt_TasksUrl->text().trimmed();
    settings.memosUrl = Edt_MemosUrl->text().trimmed();
    settings.userName = Edt_UserName->text().trimmed();
    settings.intervalMinutes = Spin_Interval->value();
    return settings;
}

QString SyncOptionsPage::password() const
{
    return Edt_Password->text();
}

QString SyncOptionsPage::problem(QWidget **field) const
{
    const SyncSettings given = settings();
    QWidget *wrong = nullptr;
    QString why;
    if (!given.tasksUrl.isEmpty()) {
        why = addressProblem(given.tasksUrl, QStringLiteral("to-do list's"), QStringLiteral("tasks"));
        wrong = Edt_TasksUrl;
    }
    if (why.isEmpty() && !given.memosUrl.isEmpty()) {
        wrong = Edt_MemosUrl;
        why = given.tasksUrl.isEmpty()
                  ? QStringLiteral("The memos are synced together with the to-do list: enter "
                                   "the address of the to-do list's collection too.")
                  : addressProblem(given.memosUrl, QStringLiteral("memos'"), QStringLiteral("memos"));
        if (given.tasksUrl.isEmpty())
            wrong = Edt_TasksUrl;
    }
    if (field)
        *field = why.isEmpty() ? nullptr : wrong;
    return why;
}

SyncOptionsPage::PasswordChange SyncOptionsPage::passwordChange() const
{
    const SyncSettings given = settings();
    if (!given.isSet())
        return PasswordChange::None;
    const bool sameEntry = SecretStore::EntryName(given) == m_loadedEntry;
    if (password().isEmpty())
        return sameEntry && !m_loadedPassword.isEmpty() ? PasswordChange::Remove
                                                        : PasswordChange::None;
    if (password() != m_loadedPassword || !sameEntry)
        return PasswordChange::Write;
    return PasswordChange::None;
}
