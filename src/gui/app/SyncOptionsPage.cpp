#include "SyncOptionsPage.h"

#include "sync/SecretStore.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>

namespace {
const QString kStoreNote = QStringLiteral("The password is kept in the desktop's secret store.");

QLineEdit *makeEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setClearButtonEnabled(false);
    return edit;
}

// An address field that also offers the collections found, by name; choosing one puts its
// address into the field.
QComboBox *makeChoice(const QString &name, QLineEdit *edit, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setLineEdit(edit);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(24);
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo, edit](int index) {
        if (index >= 0) {
            edit->setText(combo->itemData(index).toString());
            edit->setCursorPosition(0);
        }
    });
    return combo;
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
    Edt_Server = makeEdit(QStringLiteral("Edt_Server"), this);
    Edt_Server->setPlaceholderText(QStringLiteral("dav.example.org or anna@example.org"));
    Edt_TasksUrl = makeEdit(QStringLiteral("Edt_TasksUrl"), this);
    Edt_TasksUrl->setPlaceholderText(QStringLiteral("https://server/user/tasks/"));
    Edt_MemosUrl = makeEdit(QStringLiteral("Edt_MemosUrl"), this);
    Edt_MemosUrl->setPlaceholderText(QStringLiteral("optional"));
    Cmb_Tasks = makeChoice(QStringLiteral("Cmb_Tasks"), Edt_TasksUrl, this);
    Cmb_Memos = makeChoice(QStringLiteral("Cmb_Memos"), Edt_MemosUrl, this);
    // The fields inside the lists carry the rows' names for assistive tools too.
    Edt_TasksUrl->setAccessibleName(QStringLiteral("Tasks collection"));
    Edt_MemosUrl->setAccessibleName(QStringLiteral("Memos collection"));
    Btn_Find = new QPushButton(QStringLiteral("&Find Collections"), this);
    Btn_Find->setObjectName(QStringLiteral("Btn_Find"));
    Btn_Find->setToolTip(QStringLiteral("Look up the user's calendar collections on the server"));
    Btn_Test = new QPushButton(QStringLiteral("Te&st"), this);
    Btn_Test->setObjectName(QStringLiteral("Btn_Test"));
    Btn_Test->setToolTip(QStringLiteral("Log in and check that the collections take the lists"));
    lbl_Warning = new QLabel(this);
    lbl_Warning->setObjectName(QStringLiteral("lbl_Warning"));
    lbl_Warning->setWordWrap(true);
    lbl_Warning->hide();
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
    form->addRow(QStringLiteral("Ser&ver:"), Edt_Server);
    form->addRow(QStringLiteral("&User name:"), Edt_UserName);
    form->addRow(QStringLiteral("&Password:"), Edt_Password);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Btn_Find);
    buttons->addWidget(Btn_Test);
    buttons->addStretch();
    form->addRow(QString(), buttons);
    form->addRow(QStringLiteral("&Tasks collection:"), Cmb_Tasks);
    form->addRow(QStringLiteral("&Memos collection:"), Cmb_Memos);
    form->addRow(QStringLiteral("Sync &every:"), Spin_Interval);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lbl_Warning);
    layout->addWidget(lbl_Note);
    layout->addStretch();

    Edt_TasksUrl->setText(settings.tasksUrl);
    Edt_MemosUrl->setText(settings.memosUrl);
    Edt_UserName->setText(settings.userName);
    Spin_Interval->setValue(settings.intervalMinutes);
    Edt_TasksUrl->setCursorPosition(0);
    Edt_MemosUrl->setCursorPosition(0);
    if (settings.isSet())
        Edt_Server->setText(
            QUrl(settings.tasksUrl).adjusted(QUrl::RemovePath | QUrl::RemoveQuery).toString());
    QPalette warning = lbl_Warning->palette();
    warning.setColor(QPalette::WindowText, QColor(192, 0, 0));
    lbl_Warning->setPalette(warning);
    for (QLineEdit *edit : {Edt_Server, Edt_TasksUrl, Edt_MemosUrl})
        connect(edit, &QLineEdit::textChanged, this, &SyncOptionsPage::updateWarning);
    connect(Btn_Find, &QPushButton::clicked, this, &SyncOptionsPage::findCollections);
    connect(Btn_Test, &QPushButton::clicked, this, &SyncOptionsPage::testSettings);
    updateWarning();
    readPassword(settings);
}

void SyncOptionsPage::updateWarning()
{
    QStringList hosts;
    for (const QLineEdit *edit : {Edt_TasksUrl, Edt_MemosUrl, Edt_Server}) {
        QString why;
        const QString text = edit->text().trimmed();
        if (text.isEmpty())
            continue;
        const QUrl url = edit == Edt_Server ? CalDavDiscovery::serverAddress(text, &why)
                                            : QUrl(text, QUrl::StrictMode);
        if (CalDavDiscovery::unencryptedElsewhere(url) && !hosts.contains(url.host()))
            hosts.append(url.host());
    }
    lbl_Warning->setText(
        hosts.isEmpty()
            ? QString()
            : QStringLiteral("The password would travel unencrypted (http) to %1, where anyone "
                             "on the way can read it. Use an https:// address.")
                  .arg(hosts.join(QStringLiteral(", "))));
    lbl_Warning->setVisible(!hosts.isEmpty());
}

void SyncOptionsPage::setBusy(bool busy)
{
    m_busy = busy;
    Btn_Find->setEnabled(!busy);
    Btn_Test->setEnabled(!busy);
}

void SyncOptionsPage::runAside(std::function<QString()> work,
                               std::function<void(const QString &)> done)
{
    setBusy(true);
    auto result = std::make_shared<QString>();
    QThread *thread = QThread::create([work = std::move(work), result] { *result = work(); });
    thread->setObjectName(QStringLiteral("syncCheck"));
    const QPointer<SyncOptionsPage> self(this);
    // The thread goes once it has ended, whether the page is still there or not.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [self, result, done = std::move(done)] {
        if (!self)
            return;
        self->setBusy(false);
        done(*result);
        Q_EMIT self->checked();
    });
    thread->start();
}

void SyncOptionsPage::findCollections()
{
    if (m_busy)
        return;
    QString why;
    QString typed = Edt_Server->text().trimmed();
    if (typed.isEmpty())
        typed = Edt_TasksUrl->text().trimmed();
    const QUrl address = CalDavDiscovery::serverAddress(typed, &why);
    if (address.isEmpty()) {
        setNote(why, true);
        Edt_Server->setFocus();
        return;
    }
    setNote(QStringLiteral("Looking for the collections at %1...").arg(address.toDisplayString()),
            false);
    auto found = std::make_shared<DavDiscovery>();
    runAside(
        [found, address, user = Edt_UserName->text().trimmed(), password = password(),
         timeout = m_requestTimeoutMs] {
            *found = CalDavDiscovery::find(address, user, password, timeout);
            return QString();
        },
        [this, found](const QString &) { showFound(*found); });
}

void SyncOptionsPage::showFound(const DavDiscovery &found)
{
    if (!found.result.ok()) {
        setNote(found.result.message, true);
        return;
    }
    m_found = found.collections;
    const QString tasksBefore = Edt_TasksUrl->text().trimmed();
    const QString memosBefore = Edt_MemosUrl->text().trimmed();
    int tasksChoice = -1;
    int memosChoice = 0;
    int tasksCount = 0;
    int memosCount = 0;
    for (QComboBox *combo : {Cmb_Tasks, Cmb_Memos}) {
        const QSignalBlocker blocker(combo);
        combo->clear();
    }
    {
        const QSignalBlocker blocker(Cmb_Memos);
        Cmb_Memos->addItem(QStringLiteral("(memos not synced)"), QString());
    }
    for (const DavCollection &collection : std::as_const(m_found)) {
        const QString url = collection.url.toString(QUrl::FullyEncoded);
        if (collection.acceptsTasks) {
            const QSignalBlocker blocker(Cmb_Tasks);
            Cmb_Tasks->addItem(collection.description(), url);
            Cmb_Tasks->setItemData(Cmb_Tasks->count() - 1, url, Qt::ToolTipRole);
            ++tasksCount;
            // What was chosen before stays; else the first one that takes only to-dos.
            if (url == tasksBefore ||
                (tasksChoice < 0 && !collection.acceptsJournal && tasksBefore.isEmpty()))
                tasksChoice = Cmb_Tasks->count() - 1;
        }
        if (collection.acceptsJournal) {
            const QSignalBlocker blocker(Cmb_Memos);
            Cmb_Memos->addItem(collection.description(), url);
            Cmb_Memos->setItemData(Cmb_Memos->count() - 1, url, Qt::ToolTipRole);
            ++memosCount;
            if (url == memosBefore)
                memosChoice = Cmb_Memos->count() - 1;
        }
    }
    // An address typed before that is not among those found stays as typed.
    if (tasksChoice < 0 && tasksCount > 0 && tasksBefore.isEmpty())
        tasksChoice = 0;
    if (memosChoice == 0 && !memosBefore.isEmpty())
        memosChoice = -1;
    const auto choose = [](QComboBox *combo, QLineEdit *edit, int choice, const QString &before) {
        {
            const QSignalBlocker blocker(combo);
            combo->setCurrentIndex(choice);
        }
        edit->setText(choice < 0 ? before : combo->itemData(choice).toString());
        edit->setCursorPosition(0);
    };
    choose(Cmb_Tasks, Edt_TasksUrl, tasksChoice, tasksBefore);
    choose(Cmb_Memos, Edt_MemosUrl, memosChoice, memosBefore);
    if (tasksCount == 0) {
        setNote(QStringLiteral("The server holds no collection that accepts to-dos for this "
                               "user: make one with the server's web page or another calendar "
                               "program, then look again."),
                true);
        return;
    }
    setNote(QStringLiteral("Found %1 collection(s) for to-dos and %2 for journal entries: "
                           "choose the to-do list's and the memos' one in the lists below.")
                .arg(tasksCount)
                .arg(memosCount),
            false);
}

void SyncOptionsPage::testSettings()
{
    if (m_busy)
        return;
    QWidget *field = nullptr;
    const QString wrong = problem(&field);
    if (!wrong.isEmpty() || settings().tasksUrl.isEmpty()) {
        setNote(wrong.isEmpty() ? QStringLiteral("Enter the to-do list's collection, or the "
                                                 "server's address and Find Collections.")
                                : wrong,
                true);
        if (field)
            field->setFocus();
        return;
    }
    setNote(QStringLiteral("Testing..."), false);
    auto failed = std::make_shared<bool>(false);
    runAside(
        [failed, given = settings(), password = password(), timeout = m_requestTimeoutMs] {
            QStringList lines;
            const auto checkOne = [&](const QString &url, const QString &component,
                                      const QString &what) {
                QString name;
                const DavResult r = CalDavDiscovery::check(QUrl(url), given.userName, password,
                                                           component, &name, timeout);
                if (!r.ok()) {
                    *failed = true;
                    lines.append(r.message);
                } else {
                    lines.append(QStringLiteral("\"%1\" takes %2.").arg(name, what));
                }
            };
            checkOne(given.tasksUrl, QStringLiteral("VTODO"), QStringLiteral("the to-dos"));
            if (!*failed && !given.memosUrl.isEmpty())
                checkOne(given.memosUrl, QStringLiteral("VJOURNAL"),
                         QStringLiteral("the memos as journal entries"));
            if (!*failed)
                lines.prepend(QStringLiteral("The server accepted the log-in."));
            return lines.join(QLatin1Char(' '));
        },
        [this, failed](const QString &text) { setNote(text, *failed); });
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
