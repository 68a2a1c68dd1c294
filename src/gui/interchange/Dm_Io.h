// TIoDm: the interchange commands of the main window: "Database &Backup...",
// "Database &Restore..." and "&Import". Each runs its file dialog, does its work through the
// headless writers and readers (Interchange.h) and returns true when it completed; after a
// true restore or import the caller reloads both lists.
#pragma once

#include "interchange/Interchange.h"

#include <QObject>
#include <QPointer>
#include <QSqlDatabase>

#include <functional>
#include <memory>

class QAction;
class QFileDialog;
class QWidget;

class TIoDm : public QObject
{
    Q_OBJECT
public:
    TIoDm(QSqlDatabase db, QWidget *window, QObject *parent = nullptr);
    ~TIoDm() override;

    // Backup: every memo and task into a file chosen in the save dialog. False when the
    // dialog was cancelled or the file could not be written ("File write failure!").
    bool ExportDatabase();
    // Restore: merges a chosen file by identifier, asking before each replacement.
    bool RestoreDatabase();
    // Import: adds the items of a chosen file under fresh identifiers; a file ending in .ics
    // is read as an iCalendar file (promoted counts its items placed at another level).
    bool ImportItems();

    // The file dialogs (empty text: cancelled). The main window may hand over its shared
    // export dialog; tests give fixed names.
    std::function<QString()> exportFileName;
    std::function<QString()> openFileName;
    // Where messages go: the error box; remarks on a backup that succeeded: the warning box.
    Interchange::MessageSink errorBox;
    Interchange::MessageSink warningBox;
    // The restore's question: the dialog, made once per run.
    std::function<std::unique_ptr<Interchange::ReplaceAsker>()> makeAsker;

    // The result of the last restore or import (counts, how it ended).
    const Interchange::RunResult &lastResult() const { return m_lastResult; }

private:
    QString runExportDialog();
    QString runOpenDialog();
    // Import of a file whose name ends in .ics: its to-dos and journal entries as new items.
    bool importICalendar(const QString &fileName);

    QSqlDatabase m_db;
    QPointer<QWidget> m_window;
    QFileDialog *m_openDialog = nullptr;
    bool m_importing = false; // the open dialog is asked for Import
    Interchange::RunResult m_lastResult;
};

// The main window's three commands on the module, owned by owner: "Database &Backup..."
// (Action_DbBackup), "Database &Restore..." (Action_DbRestore) and "&Import" (Action_Import).
// reload runs after a restore or an import that completed: the window posts the reload to
// the to-do list and then to the memo list. A failed or cancelled run reloads nothing.
struct IoActions
{
    QAction *Action_DbBackup;
    QAction *Action_DbRestore;
    QAction *Action_Import;
};
IoActions CreateIoActions(TIoDm &io, QObject *owner, std::function<void()> reload);

// The selection writers with the program's error box, for the lists' "&Export..." and
// e-mail commands.
bool WriteTasksFile(const QString &fileName, const QList<ItemNode *> &selected);
bool WriteMemosFile(const QString &fileName, const QList<ItemNode *> &selected);
