// The list frames' output: "&Export...", the reports, printing and e-mail: "Sa&ve ...",
// "&Save All...", "&Print..." and "E-mai&l ...".
#include "common/AppPaths.h"
#include "common/SafeFile.h"
#include "common/Texts.h"
#include "Fr_wyTree.h"
#include "interchange/ListReports.h"
#include "pU_Boxes.h"
#include "TreePrinter.h"

#include <QAction>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>

namespace {

const QString kFileWriteFailure = QStringLiteral("File write failure!");
// Beside the program's own files, "Export..." and "Save" offer a calendar file that other
// calendar and task programs read.
const QString kICalendarFilter = QStringLiteral("iCalendar file (*.ics)");

// The window's print dialog keeps its printer, so the user's choice stays for the next
// printing from either list.
class SharedPrinter : public QObject
{
public:
    explicit SharedPrinter(QObject *parent) : QObject(parent)
    {
        setObjectName(QStringLiteral("PrintDialog"));
    }
    QPrinter printer{QPrinter::HighResolution};
};

QFileDialog *sharedSaveDialog(QWidget *window)
{
    if (auto *dialog = window->findChild<QFileDialog *>(QStringLiteral("SaveDialog"),
                                                        Qt::FindDirectChildrenOnly))
        return dialog;
    auto *dialog = new QFileDialog(window);
    dialog->setObjectName(QStringLiteral("SaveDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // "Text file (*.txt)|*.txt|HTML file (*.htm; *.html)|*.htm;*.html"
    dialog->setNameFilters({QStringLiteral("Text file (*.txt)"),
                            QStringLiteral("HTML file (*.htm *.html)"), kICalendarFilter});
    dialog->setSizeGripEnabled(true);
    return dialog;
}

SharedPrinter *sharedPrinter(QWidget *window)
{
    if (auto *shared = window->findChild<SharedPrinter *>(QStringLiteral("PrintDialog"),
                                                          Qt::FindDirectChildrenOnly))
        return shared;
    return new SharedPrinter(window);
}

} // namespace

void TwyTreeFrame::exportSelected()
{
    if (FEditNode)
        return;
    const QList<ItemNode *> nodes = m_tree->selectedNodes();
    if (nodes.isEmpty()) {
        WarningBox(m_config.selectPrompt);
        return;
    }
    QString fileName;
    if (runExportDialog) {
        fileName = runExportDialog();
    } else {
        QFileDialog dialog(window());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({QStringLiteral("Ploxen Database,  (*.wyx)"), kICalendarFilter});
        dialog.setDefaultSuffix(QStringLiteral("wyx"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            fileName = dialog.selectedFiles().first();
            if (dialog.selectedNameFilter() == kICalendarFilter)
                fileName = Reports::ChangeExtension(fileName, QStringLiteral(".ics"));
        }
    }
    if (fileName.isEmpty())
        return;
    m_host.listCommands().writeItemsFile(m_config.reportList, fileName, nodes);
}

void TwyTreeFrame::setReportActions(QAction *save, QAction *saveAll, QAction *print, QAction *email)
{
    m_save = save;
    m_saveAll = saveAll;
    m_print = print;
    m_email = email;
    for (QAction *action : {save, saveAll, print, email})
        m_notYet.removeAll(action);
    connect(save, &QAction::triggered, this, [this] { RunCommand([this] { SaveReport(false); }); });
    connect(saveAll, &QAction::triggered, this,
            [this] { RunCommand([this] { SaveReport(true); }); });
    connect(print, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_PrintExecute(); }); });
    connect(email, &QAction::triggered, this,
            [this] { RunCommand([this] { Action_EmailExecute(); }); });
    updateReportActions();
}

void TwyTreeFrame::updateReportActions()
{
    for (QAction *action : {m_save, m_saveAll, m_print, m_email}) {
        if (action)
            action->setEnabled(FEditNode == nullptr);
    }
}

namespace {

// Selects every shown sibling of the anchor as Select All does, without taking the focus.
void selectAllShown(ItemTreeView *tree, ItemTreeModel *model, const QList<ItemNode *> &selected)
{
    const ItemNode *anchor = model->nodeFromIndex(tree->currentIndex());
    if (anchor == nullptr && !selected.isEmpty())
        anchor = selected.first();
    const ItemNode *parent = anchor ? anchor->parent : model->root();
    QItemSelection selection;
    for (ItemNode *node : parent->shownChildren()) {
        const QModelIndex index = model->indexOf(node);
        selection.select(index, index);
    }
    tree->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool writeReport(TwyTreeFrame &frame, Reports::ListKind kind, Reports::Format format, bool whole,
                 const QString &fileName)
{
    ItemTreeView *tree = frame.tree();
    if (whole)
        selectAllShown(tree, frame.model(), tree->selectedNodes());
    const auto clear = qScopeGuard([&] {
        if (whole)
            frame.deselectItems();
    });
    // A name that may not be written (the program's own file, another user's link or file
    // in a shared folder) is refused with its reason; nothing is written.
    if (const QString refusal = SafeFile::RefusalOf(fileName); !refusal.isEmpty()) {
        ErrorBox(refusal);
        return false;
    }
    const Reports::Entries entries = Reports::CollectEntries(tree->selectedNodes());
    const QByteArray bytes = Reports::Report(kind, format, entries, Reports::MakeStamp());
    if (!Reports::WriteReportFile(fileName, bytes)) {
        ErrorBox(kFileWriteFailure);
        return false;
    }
    return true;
}

} // namespace

bool TwyTreeFrame::WriteTextReport(bool whole, const QString &fileName)
{
    return writeReport(*this, m_config.reportList, Reports::Format::Text, whole, fileName);
}

bool TwyTreeFrame::WriteHtmlReport(bool whole, const QString &fileName)
{
    return writeReport(*this, m_config.reportList, Reports::Format::Html, whole, fileName);
}

bool TwyTreeFrame::WriteICalendarFile(bool whole, const QString &fileName)
{
    if (whole)
        selectAllShown(m_tree, model(), m_tree->selectedNodes());
    const auto clear = qScopeGuard([&] {
        if (whole)
            deselectItems();
    });
    return m_host.listCommands().writeItemsFile(m_config.reportList, fileName,
                                                m_tree->selectedNodes());
}

void TwyTreeFrame::SaveReport(bool whole)
{
    if (FEditNode)
        return;
    SaveChoice choice;
    if (runSaveDialog) {
        choice = runSaveDialog();
    } else {
        QFileDialog *dialog = sharedSaveDialog(window());
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
            return;
        choice.fileName = dialog->selectedFiles().constFirst();
        choice.filter = dialog->nameFilters().indexOf(dialog->selectedNameFilter()) + 1;
    }
    if (choice.fileName.isEmpty())
        return;
    // The chosen filter decides the extension, whatever was typed.
    if (choice.filter == 3)
        WriteICalendarFile(whole,
                           Reports::ChangeExtension(choice.fileName, QStringLiteral(".ics")));
    else if (choice.filter == 2)
        WriteHtmlReport(whole, Reports::ChangeExtension(choice.fileName, QStringLiteral(".html")));
    else
        WriteTextReport(whole, Reports::ChangeExtension(choice.fileName, QStringLiteral(".txt")));
}

void TwyTreeFrame::Action_PrintExecute()
{
    if (FEditNode)
        return;
    QPrinter &printer = sharedPrinter(window())->printer;
    bool accepted;
    if (runPrintDialog) {
        accepted = runPrintDialog(printer);
    } else {
        QPrintDialog dialog(&printer, window());
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (accepted)
        TreePrinter::Print(*m_tree, m_host.bitmaps(), printer);
}

void TwyTreeFrame::Action_EmailExecute()
{
    if (FEditNode || m_email == nullptr)
        return;
    const bool tasks = m_config.reportList == Reports::ListKind::Tasks;
    const QString base = tasks ? QStringLiteral("Tasks") : QStringLiteral("Memos");
    const QString htmlName = base + QStringLiteral(".html");
    const QString dataName = base + QStringLiteral(".wyx");
    // The attachments wait in "Temp" for the mail client, readable by their owner only.
    const QString htmlPath = AppPaths::tempFile(htmlName);
    const QString dataPath = AppPaths::tempFile(dataName);

    if (!WriteHtmlReport(false, htmlPath))
        return;
    ListCommands &commands = m_host.listCommands();
    if (!commands.writeItemsFile(m_config.reportList, dataPath, m_tree->selectedNodes()))
        return;

    ListCommands::Mail mail;
    mail.subject = tasks ? QStringLiteral("To-Do List") : QStringLiteral("Memos");
    mail.lines.append(htmlName + QStringLiteral(": ") +
                      QStringLiteral("HTML file, you can open it with website browser."));
    mail.lines.append(
        dataName + QStringLiteral(": ") +
        QStringLiteral("Ploxen data file, you can import it into Ploxen software directly."));
    mail.attachments.append(htmlPath);
    mail.attachments.append(dataPath);
    // The frame's own e-mail component hands it on.
    commands.sendMail(*this, mail);
}
