#include "Dm_Io.h"

#include "common/pU_Boxes.h"
#include "common/SafeFile.h"
#include "common/Texts.h"
#include "Dlg_ReplaceAsk.h"
#include "interchange/IoTexts.h"
#include "sync/ICalendarFile.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>

TIoDm::TIoDm(QSqlDatabase db, QWidget *window, QObject *parent)
    : QObject(parent), m_db(std::move(db)), m_window(window)
{
    setObjectName(QStringLiteral("IoDm"));
    exportFileName = [this] { return runExportDialog(); };
    openFileName = [this] { return runOpenDialog(); };
    errorBox = [](const QString &text) { ErrorBox(text); };
    warningBox = [](const QString &text) { WarningBox(text); };
    makeAsker = [this] { return std::make_unique<DialogReplaceAsker>(m_window.data()); };
}

TIoDm::~TIoDm()
{
    delete m_openDialog;
}

QString TIoDm::runExportDialog()
{
    QFileDialog dialog(m_window, QString(), QString(), IoTexts::SaveFilter);
    dialog.setObjectName(QStringLiteral("ExportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(IoTexts::DefaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString TIoDm::runOpenDialog()
{
    if (!m_openDialog) {
        m_openDialog = new QFileDialog(m_window, QString(), QString(), IoTexts::OpenFilter);
        m_openDialog->setObjectName(QStringLiteral("OpenDialog"));
        m_openDialog->setAcceptMode(QFileDialog::AcceptOpen);
        m_openDialog->setFileMode(QFileDialog::ExistingFile);
        m_openDialog->setDefaultSuffix(IoTexts::DefaultSuffix);
    }
    // Import reads calendar files too; restore only the program's own.
    QStringList filters{IoTexts::OpenFilter};
    if (m_importing)
        filters.append(QStringLiteral("iCalendar file (*.ics)"));
    m_openDialog->setNameFilters(filters);
    if (m_openDialog->exec() != QDialog::Accepted || m_openDialog->selectedFiles().isEmpty())
        return {};
    return m_openDialog->selectedFiles().constFirst();
}

bool TIoDm::ExportDatabase()
{
    const QString fileName = exportFileName();
    if (fileName.isEmpty())
        return false;
    // The program's own files, and names the user may not write (another user's link or
    // file in a shared folder), are never a backup's target: refused before anything is read.
    if (const QString refusal = SafeFile::RefusalOf(fileName); !refusal.isEmpty()) {
        errorBox(refusal);
        return false;
    }
    bool written = false;
    int changedTexts = 0;
    // A failure while reading the tables, or a name that is one of the program's own files,
    // goes to the general error report; only the save has its own message.
    if (!RunCommand([&] {
            written = Interchange::WriteDatabaseFile(m_db, fileName, Interchange::FileVersionText(),
                                                     &changedTexts);
        }))
        return false;
    if (!written) {
        errorBox(IoTexts::BackupWriteFailure);
        return false;
    }
    if (changedTexts > 0 && warningBox)
        warningBox(Interchange::ChangedTextsText(changedTexts));
    return true;
}

bool TIoDm::RestoreDatabase()
{
    const QString fileName = openFileName();
    if (fileName.isEmpty())
        return false;
    std::unique_ptr<Interchange::ReplaceAsker> asker = makeAsker();
    m_lastResult = Interchange::RestoreFile(m_db, fileName, *asker, errorBox);
    return m_lastResult.ok();
}

bool TIoDm::ImportItems()
{
    m_importing = true;
    const QString fileName = openFileName();
    m_importing = false;
    if (fileName.isEmpty())
        return false;
    if (ICalendarFile::IsICalendarName(fileName))
        return importICalendar(fileName);
    m_lastResult = Interchange::ImportFile(m_db, fileName, errorBox);
    return m_lastResult.ok();
}

bool TIoDm::importICalendar(const QString &fileName)
{
    m_lastResult = Interchange::RunResult();
    ICalendarFile::Contents calendar;
    QString error;
    if (!ICalendarFile::Read(fileName, &calendar, &error)) {
        m_lastResult.outcome = Interchange::Outcome::ReadFailure;
        if (errorBox)
            errorBox(QStringLiteral("%1 %2").arg(QFileInfo(fileName).fileName(), error));
        return false;
    }
    const int moved = calendar.moved;
    int added = 0, unarmed = 0;
    // A database that refuses a row goes to the general error report; nothing is stored then.
    if (!RunCommand([&] { added = ICalendarFile::Store(m_db, calendar, &unarmed); })) {
        m_lastResult.outcome = Interchange::Outcome::Failed;
        return false;
    }
    if (unarmed > 0 && errorBox)
        errorBox(QStringLiteral("%1: %2").arg(QFileInfo(fileName).fileName(),
                                              ICalendarMapping::UnarmedText(unarmed)));
    m_lastResult.outcome = Interchange::Outcome::Completed;
    m_lastResult.added = added;
    m_lastResult.promoted = moved;
    return true;
}

IoActions CreateIoActions(TIoDm &io, QObject *owner, std::function<void()> reload)
{
    auto action = [owner](const QString &text, const char *name) {
        auto *result = new QAction(text, owner);
        result->setObjectName(QString::fromLatin1(name));
        return result;
    };
    IoActions actions{action(Texts::ActionDbBackup, "Action_DbBackup"),
                      action(Texts::ActionDbRestore, "Action_DbRestore"),
                      action(Texts::ActionImport, "Action_Import")};
    QPointer<TIoDm> module(&io);
    QObject::connect(actions.Action_DbBackup, &QAction::triggered, owner, [module] {
        if (module)
            module->ExportDatabase();
    });
    QObject::connect(actions.Action_DbRestore, &QAction::triggered, owner, [module, reload] {
        if (module && module->RestoreDatabase() && reload)
            reload();
    });
    QObject::connect(actions.Action_Import, &QAction::triggered, owner, [module, reload] {
        if (module && module->ImportItems() && reload)
            reload();
    });
    return actions;
}

bool WriteTasksFile(const QString &fileName, const QList<ItemNode *> &selected)
{
    return WriteTasksFile(fileName, selected, [](const QString &text) { ErrorBox(text); });
}

bool WriteMemosFile(const QString &fileName, const QList<ItemNode *> &selected)
{
    return WriteMemosFile(fileName, selected, [](const QString &text) { ErrorBox(text); });
}
