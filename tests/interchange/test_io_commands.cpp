// The windows of the interchange file: the restore's question dialog and the three commands
// with their file dialogs and messages.
#include "common/AppPaths.h"
#include "interchange/Dlg_ReplaceAsk.h"
#include "interchange/Dm_Io.h"
#include "IoFixture.h"
#include "sync/ICalendarMapping.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace IoFixture;
using Interchange::Answer;

Q_DECLARE_METATYPE(Interchange::Answer)

namespace {

// Runs f on the next modal widget of type W once it is shown.
template <class W> void whenModal(std::function<void(W *)> f)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto *widget = qobject_cast<W *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(widget);
        }
    });
    timer->start();
}

Interchange::ReplaceQuestion question()
{
    Interchange::ReplaceQuestion q;
    q.kind = QStringLiteral("memo");
    q.storedContent = QStringLiteral("stored\r\ntext");
    q.storedEditTime = 45000.5;
    q.fileContent = QStringLiteral("file\r\ntext that is long enough to be cut off at the right "
                                   "edge of its label, which is 360 pixels wide");
    q.fileEditTime = 45001.0;
    q.fileEditTimeText = QStringLiteral("2023-03-16T00:00:00.000Z");
    return q;
}

} // namespace

class TestIoCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dialog_layout();
    void dialog_fill();
    void dialog_answers_data();
    void dialog_answers();

    void export_cancelledDoesNothing();
    void export_writeFailureMessage();
    void export_refusesProgramFiles_data();
    void export_refusesProgramFiles();
    void export_tellsOfChangedTexts();
    void export_thenRestoreThroughTheDialog();
    void readers_cancelledAndFailedGiveFalse();
    void import_readsICalendarFiles();
    void fileDialogs_filtersAndSuffix();
    void actions_reloadOnlyAfterSuccess();
};

void TestIoCommands::dialog_layout()
{
    TReplaceAskDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Confirm Replace"));
    QCOMPARE(dialog.size(), QSize(463, 250));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.font().pixelSize(), 13);
    QCOMPARE(dialog.font().family(), QStringLiteral("Tahoma"));
    const QList<QPair<QLabel *, QPoint>> labels{
        {dialog.Label_Caption, {56, 24}},   {dialog.Label_oldTitle, {80, 56}},
        {dialog.Label_oldTime, {80, 80}},   {dialog.Label2, {56, 104}},
        {dialog.Label_newTitle, {80, 144}}, {dialog.Label_newTime, {80, 168}}};
    for (const auto &[label, at] : labels)
        QCOMPARE(label->pos(), at);
    QCOMPARE(dialog.Label2->text(), QStringLiteral("with this one?"));
    QCOMPARE(dialog.Label_oldTitle->width(), 360);
    QCOMPARE(dialog.Label_newTitle->palette().color(QPalette::WindowText), QColor(Qt::blue));
    const QList<QPair<QPushButton *, QString>> buttons{
        {dialog.Btn_Yes, QStringLiteral("&Yes")},
        {dialog.Btn_All, QStringLiteral("&All")},
        {dialog.Btn_No, QStringLiteral("&No")},
        {dialog.Btn_Abort, QStringLiteral("A&bort")}};
    int left = 88;
    for (const auto &[button, text] : buttons) {
        QCOMPARE(button->text(), text);
        QCOMPARE(button->geometry(), QRect(left, 200, 75, 25));
        left += 88;
    }
    // Tab order: Yes, No, Abort, All.
    QCOMPARE(dialog.Btn_Yes->nextInFocusChain(), dialog.Btn_No);
    QCOMPARE(dialog.Btn_No->nextInFocusChain(), dialog.Btn_Abort);
    QCOMPARE(dialog.Btn_Abort->nextInFocusChain(), dialog.Btn_All);
}

void TestIoCommands::dialog_fill()
{
    TReplaceAskDlg dialog;
    Interchange::ReplaceQuestion q = question();
    dialog.fill(q);
    QCOMPARE(dialog.Label_Caption->text(),
             QStringLiteral("Would you like to replace the existing memo"));
    // One line: CR and LF become a blank each.
    QCOMPARE(dialog.Label_oldTitle->text(), QStringLiteral("stored  text"));
    QVERIFY(dialog.Label_newTitle->text().startsWith(QLatin1String("file  text")));
    QCOMPARE(dialog.Label_newTitle->width(), 360);
    QCOMPARE(dialog.Label_oldTime->text(), QStringLiteral("modified: ") + FormatDateTime(45000.5));
    // Midnight shows the date alone.
    QCOMPARE(dialog.Label_newTime->text(), QStringLiteral("modified: ") + FormatDate(45001.0));

    q.kind = QStringLiteral("task");
    q.storedEditTime = 0;
    q.fileEditTime.reset();
    q.fileEditTimeText = QStringLiteral("not a time");
    dialog.fill(q);
    QCOMPARE(dialog.Label_Caption->text(),
             QStringLiteral("Would you like to replace the existing task"));
    QCOMPARE(dialog.Label_oldTime->text(), QStringLiteral("modified: "));
    QCOMPARE(dialog.Label_newTime->text(), QStringLiteral("modified: not a time"));
}

void TestIoCommands::dialog_answers_data()
{
    QTest::addColumn<QString>("button"); // empty: closed by its window button
    QTest::addColumn<Answer>("answer");
    QTest::newRow("Yes") << "Btn_Yes" << Answer::Yes;
    QTest::newRow("All") << "Btn_All" << Answer::All;
    QTest::newRow("No") << "Btn_No" << Answer::No;
    QTest::newRow("Abort") << "Btn_Abort" << Answer::Abort;
    QTest::newRow("closed") << "" << Answer::No;
    QTest::newRow("Escape") << "Escape" << Answer::No;
}

void TestIoCommands::dialog_answers()
{
    QFETCH(QString, button);
    QFETCH(Answer, answer);
    TReplaceAskDlg dialog;
    whenModal<TReplaceAskDlg>([button](TReplaceAskDlg *shown) {
        if (button.isEmpty())
            shown->close();
        else if (button == QLatin1String("Escape"))
            QTest::keyClick(shown, Qt::Key_Escape);
        else
            shown->findChild<QPushButton *>(button)->click();
    });
    QCOMPARE(dialog.ask(question()), answer);
    // The same dialog serves the next question of the run.
    whenModal<TReplaceAskDlg>([](TReplaceAskDlg *shown) { shown->Btn_Yes->click(); });
    QCOMPARE(dialog.ask(question()), Answer::Yes);
}

void TestIoCommands::export_cancelledDoesNothing()
{
    TestDb db;
    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    io.exportFileName = [] { return QString(); };
    QVERIFY(!io.ExportDatabase());
    QVERIFY(shown.isEmpty());
}

void TestIoCommands::export_writeFailureMessage()
{
    TestDb db;
    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    io.exportFileName = [] { return QStringLiteral("/nonexistent-dir/backup.wyx"); };
    QVERIFY(!io.ExportDatabase());
    QCOMPARE(shown, QStringList{QStringLiteral("File write failure!")});
}

void TestIoCommands::export_refusesProgramFiles_data()
{
    // How the target is named, relative to the program folder; "link:" makes a symbolic and
    // "hard:" a hard link of that name to the database first.
    QTest::addColumn<QString>("target");
    QTest::newRow("database") << QStringLiteral("wyData.wyb");
    QTest::newRow("database, other spelling") << QStringLiteral("./sub/../wyData.wyb");
    QTest::newRow("symbolic link") << QStringLiteral("link:other.wyx");
    QTest::newRow("hard link") << QStringLiteral("hard:other.wyx");
    QTest::newRow("write-ahead log") << QStringLiteral("wyData.wyb-wal");
    QTest::newRow("shared memory") << QStringLiteral("wyData.wyb-shm");
    QTest::newRow("settings") << QStringLiteral("wyConf.ini");
    QTest::newRow("run lock") << QStringLiteral("wyRun.lock");
}

void TestIoCommands::export_refusesProgramFiles()
{
    QFETCH(QString, target);
    TestDb db;
    db.exec(QStringLiteral("insert into tasks (tid, pid, content, createTime, editTime) values "
                           "('T', 'root', 'task', 45000, 45000.5)"));
    const QString folder = QFileInfo(db.path()).absolutePath() + QLatin1Char('/');
    AppPaths::setFolder(folder);
    QVERIFY(QDir(folder).mkpath(QStringLiteral("sub")));
    QFile settings(folder + QStringLiteral("wyConf.ini"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[option]\nhintSize=20\n");
    settings.close();
    if (target.startsWith(QLatin1String("link:"))) {
        target = target.mid(5);
        QVERIFY(QFile::link(db.path(), folder + target));
    } else if (target.startsWith(QLatin1String("hard:"))) {
        target = target.mid(5);
        QCOMPARE(::link(QFile::encodeName(db.path()).constData(),
                        QFile::encodeName(folder + target).constData()),
                 0);
    }
    auto contents = [&] {
        QStringList files;
        for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            files << info.fileName() + QLatin1Char(' ') +
                         QString::fromLatin1(
                             QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                 .toHex());
        }
        return files;
    };
    const QStringList before = contents();

    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    io.exportFileName = [&] { return folder + target; };
    QVERIFY(!io.ExportDatabase());
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.constFirst().contains(QLatin1String("is the program's")),
             qPrintable(shown.constFirst()));
    QVERIFY(shown.constFirst().contains(QLatin1String("nothing was written")));
    QCOMPARE(contents(), before);
    QCOMPARE(db.count(QStringLiteral("tasks")), 1);
    AppPaths::setFolder(QCoreApplication::applicationDirPath());
}

void TestIoCommands::export_tellsOfChangedTexts()
{
    TestDb db;
    db.exec(QStringLiteral("insert into tasks (tid, pid, content, createTime, editTime) values "
                           "('A', 'root', 'bell' || char(7), 45000, 45000.5), "
                           "('B', 'root', 'plain', 45000, 45000.5), "
                           "('C', 'root', cast(x'41ff42' as text), 45000, 45000.5)"));
    TIoDm io(db.db(), nullptr);
    QStringList errors;
    QStringList warnings;
    io.errorBox = [&](const QString &text) { errors << text; };
    io.warningBox = [&](const QString &text) { warnings << text; };
    const QString path = db.file(QStringLiteral("backup.wyx"));
    io.exportFileName = [&] { return path; };
    QVERIFY(io.ExportDatabase());
    QVERIFY(errors.isEmpty());
    QCOMPARE(warnings, QStringList{Interchange::ChangedTextsText(2)});
}

void TestIoCommands::export_thenRestoreThroughTheDialog()
{
    TestDb db;
    db.exec(QStringLiteral("insert into memos (mid, pid, content, createTime, editTime) values "
                           "('A', 'root', 'first', 45000, 45000.5), "
                           "('B', 'root', 'second', 45000, 45000.5)"));
    db.exec(QStringLiteral("insert into tasks (tid, pid, content, createTime, editTime) values "
                           "('T', 'root', 'task', 45000, 45000.5)"));
    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    const QString path = db.file(QStringLiteral("backup.wyx"));
    io.exportFileName = [&] { return path; };
    io.openFileName = [&] { return path; };
    QVERIFY(io.ExportDatabase());
    QVERIFY(QFile::exists(path));

    // The real dialog: No for the first memo, then All for the rest of the run.
    QStringList captions;
    whenModal<TReplaceAskDlg>([&](TReplaceAskDlg *shown) {
        captions << shown->Label_Caption->text();
        shown->Btn_No->click();
        whenModal<TReplaceAskDlg>([&](TReplaceAskDlg *again) {
            captions << again->Label_Caption->text();
            again->Btn_All->click();
        });
    });
    QVERIFY(io.RestoreDatabase());
    QCOMPARE(captions,
             QStringList({QStringLiteral("Would you like to replace the existing memo"),
                          QStringLiteral("Would you like to replace the existing memo")}));
    QCOMPARE(io.lastResult().kept, 1);
    QCOMPARE(io.lastResult().replaced, 2);
    QVERIFY(shown.isEmpty());

    QVERIFY(io.ImportItems());
    QCOMPARE(db.count(QStringLiteral("memos")), 4);
    QCOMPARE(db.count(QStringLiteral("tasks")), 2);
}

void TestIoCommands::readers_cancelledAndFailedGiveFalse()
{
    TestDb db;
    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    io.openFileName = [] { return QString(); };
    QVERIFY(!io.RestoreDatabase());
    QVERIFY(!io.ImportItems());
    QVERIFY(shown.isEmpty());

    const QString path = db.file(QStringLiteral("other.wyx"));
    writeContainer(path, document({}, {}, "Other"));
    io.openFileName = [&] { return path; };
    QVERIFY(!io.RestoreDatabase());
    QVERIFY(!io.ImportItems());
    QCOMPARE(shown, QStringList({QStringLiteral("Data mismatch: OtherTasklume"),
                                 QStringLiteral("Data mismatch: OtherTasklume")}));
}

void TestIoCommands::import_readsICalendarFiles()
{
    TestDb db;
    db.exec(QStringLiteral("insert into tasks (tid, pid, content, createTime, editTime) values "
                           "('T', 'root', 'stored', 45000, 45000.5)"));
    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    QString path;
    io.openFileName = [&] { return path; };

    // A top-level task with a child, a child whose parent is not in the file, and a memo.
    TTaskInfo top;
    top.key = QStringLiteral("T"); // the stored task's key: the import gives new ones
    top.pid = QStringLiteral("root");
    top.content = QStringLiteral("top");
    top.dueFlag = true;
    top.dueTime = 45010;
    TTaskInfo child = top;
    child.key = QStringLiteral("C");
    child.pid = QStringLiteral("T");
    child.content = QStringLiteral("child");
    TTaskInfo orphan = child;
    orphan.key = QStringLiteral("O");
    orphan.pid = QStringLiteral("gone");
    orphan.content = QStringLiteral("orphan");
    TMemoInfo memo;
    memo.key = QStringLiteral("M");
    memo.pid = QStringLiteral("root");
    memo.content = QStringLiteral("memo\r\nsecond line");
    path = db.file(QStringLiteral("calendar.ics"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ICalendarMapping::ToICalendar({top, child, orphan}, {memo}));
    file.close();

    QVERIFY(io.ImportItems());
    QVERIFY(shown.isEmpty());
    QCOMPARE(io.lastResult().outcome, Interchange::Outcome::Completed);
    QCOMPARE(io.lastResult().added, 4);
    QCOMPARE(io.lastResult().promoted, 1);
    QCOMPARE(db.count(QStringLiteral("tasks")), 4);
    QCOMPARE(db.row(QStringLiteral("tasks"), QStringLiteral("T")).value(QStringLiteral("content")),
             QVariant(QStringLiteral("stored")));
    QString topKey, childParent;
    for (const QVariantMap &row : db.rows(QStringLiteral("tasks"))) {
        if (row.value(QStringLiteral("content")) == QStringLiteral("top")) {
            topKey = row.value(QStringLiteral("tid")).toString();
            QCOMPARE(row.value(QStringLiteral("dueTime")).toDouble(), 45010.0);
        } else if (row.value(QStringLiteral("content")) == QStringLiteral("child")) {
            childParent = row.value(QStringLiteral("pid")).toString();
        } else if (row.value(QStringLiteral("content")) == QStringLiteral("orphan")) {
            QCOMPARE(row.value(QStringLiteral("pid")).toString(), QStringLiteral("root"));
        }
    }
    QVERIFY(topKey != QStringLiteral("T") && !topKey.isEmpty());
    QCOMPARE(childParent, topKey);
    QCOMPARE(db.rows(QStringLiteral("memos")).value(0).value(QStringLiteral("content")),
             QVariant(memo.content));

    // A file that holds no calendar says so and changes nothing.
    path = db.file(QStringLiteral("contact.ics"));
    file.setFileName(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nFN:Jane\r\nEND:VCARD\r\n");
    file.close();
    QVERIFY(!io.ImportItems());
    QCOMPARE(shown, QStringList{QStringLiteral("contact.ics holds no calendar")});
    QCOMPARE(io.lastResult().outcome, Interchange::Outcome::ReadFailure);
    QCOMPARE(db.count(QStringLiteral("tasks")), 4);

    // A line past 16 MiB at the end is refused (after reading no more than it) and nothing of
    // the file is stored.
    shown.clear();
    path = db.file(QStringLiteral("hostile.ics"));
    file.setFileName(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ICalendarMapping::ToICalendar({top}, {}).replace("END:VCALENDAR\r\n", ""));
    file.write("BEGIN:VTODO\r\nUID:long\r\nDESCRIPTION:");
    file.write(QByteArray(17 << 20, 'x'));
    file.write("\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
    file.close();
    QVERIFY(!io.ImportItems());
    QCOMPARE(shown, QStringList{QStringLiteral("hostile.ics holds a line longer than 16 MiB")});
    QCOMPARE(io.lastResult().outcome, Interchange::Outcome::ReadFailure);
    QCOMPARE(db.count(QStringLiteral("tasks")), 4);

    // A reminder beyond the year 9999 arms nothing, and the window says so.
    shown.clear();
    path = db.file(QStringLiteral("far.ics"));
    file.setFileName(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\nBEGIN:VTODO\r\n"
               "UID:far\r\nSUMMARY:far\r\nDUE:20261220T220000Z\r\nBEGIN:VALARM\r\n"
               "ACTION:DISPLAY\r\nTRIGGER;RELATED=END:PT9223372036854775807S\r\nEND:VALARM\r\n"
               "END:VTODO\r\nEND:VCALENDAR\r\n");
    file.close();
    QVERIFY(io.ImportItems());
    QCOMPARE(shown, QStringList{QStringLiteral(
                        "far.ics: 1 reminder(s) outside the years 1 to 9999 left unarmed")});
    QCOMPARE(io.lastResult().added, 1);
    QCOMPARE(db.count(QStringLiteral("tasks")), 5);
}

void TestIoCommands::fileDialogs_filtersAndSuffix()
{
    TestDb db;
    TIoDm io(db.db(), nullptr);
    QStringList filters;
    QString suffix;
    bool save = false, confirm = false;
    auto look = [&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        save = dialog->acceptMode() == QFileDialog::AcceptSave;
        confirm = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->reject();
    };
    whenModal<QFileDialog>(look);
    QVERIFY(!io.ExportDatabase());
    // The save filter is "Ploxen Database,  (*.wyx)"; Qt shows its blanks collapsed.
    QCOMPARE(filters, QStringList{QStringLiteral("Ploxen Database, (*.wyx)")});
    QCOMPARE(suffix, QStringLiteral("wyx"));
    QVERIFY(save);
    QVERIFY(confirm);

    whenModal<QFileDialog>(look);
    QVERIFY(!io.RestoreDatabase());
    QCOMPARE(filters, QStringList{QStringLiteral("Ploxen Database, (*.wyx)")});
    QCOMPARE(suffix, QStringLiteral("wyx"));
    QVERIFY(!save);
    whenModal<QFileDialog>(look);
    QVERIFY(!io.ImportItems());
    QCOMPARE(filters, QStringList({QStringLiteral("Ploxen Database, (*.wyx)"),
                                   QStringLiteral("iCalendar file (*.ics)")}));
    // The dialog is shared: the restore after an import offers the program's files only.
    whenModal<QFileDialog>(look);
    QVERIFY(!io.RestoreDatabase());
    QCOMPARE(filters, QStringList{QStringLiteral("Ploxen Database, (*.wyx)")});
}

void TestIoCommands::actions_reloadOnlyAfterSuccess()
{
    TestDb db;
    TIoDm io(db.db(), nullptr);
    QStringList shown;
    io.errorBox = [&](const QString &text) { shown << text; };
    QObject owner;
    int reloads = 0;
    const IoActions actions = CreateIoActions(io, &owner, [&] { ++reloads; });
    QCOMPARE(actions.Action_DbBackup->text(), QStringLiteral("Database &Backup..."));
    QCOMPARE(actions.Action_DbRestore->text(), QStringLiteral("Database &Restore..."));
    QCOMPARE(actions.Action_Import->text(), QStringLiteral("&Import"));
    QCOMPARE(actions.Action_Import->objectName(), QStringLiteral("Action_Import"));

    QString name;
    io.openFileName = [&] { return name; };
    actions.Action_DbRestore->trigger(); // cancelled
    actions.Action_Import->trigger();
    name = db.file(QStringLiteral("bad.wyx"));
    writeContainer(name, "<ploxen app=\"Tasklume\"><memos><memo/></memos></ploxen>");
    actions.Action_Import->trigger(); // fails on the empty date-time
    QCOMPARE(reloads, 0);
    // pid, content and assign-time are missing; the empty assign-time stops the run.
    QCOMPARE(shown.size(), 4);

    name = db.file(QStringLiteral("good.wyx"));
    writeContainer(name, document(memo(QStringLiteral("M"), QStringLiteral("root")), {}));
    actions.Action_Import->trigger();
    actions.Action_DbRestore->trigger();
    QCOMPARE(reloads, 2);
    QCOMPARE(db.count(QStringLiteral("memos")), 2);

    const QString backup = db.file(QStringLiteral("backup.wyx"));
    io.exportFileName = [&] { return backup; };
    actions.Action_DbBackup->trigger();
    QVERIFY(QFile::exists(backup));
    QCOMPARE(reloads, 2);
}

QTEST_MAIN(TestIoCommands)
#include "test_io_commands.moc"
