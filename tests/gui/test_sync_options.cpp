// The "Sync" page of the options without a desktop secret store: an address that is no web
// address is refused with a clear message before anything is stored, and a password the
// store cannot take is reported, with nothing of it in any file of the program's folder.
// The session bus this test names does not exist, so no secret store answers.
#include "app/Dlg_Options.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "app/SyncController.h"
#include "app/SyncOptionsPage.h"
#include "common/IniFile.h"
#include "components/WyTray.h"
#include "gui/DialogDriver.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "support/TestSupport.h"
#include "sync/SyncSettings.h"
#include "tasks/Fr_wyTasks.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

class TestSyncOptions : public QObject
{
    Q_OBJECT

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<TmainFm> m_main;

    IniFile ini() const { return IniFile(m_folder->file(QStringLiteral("wyConf.ini"))); }

    void start()
    {
        m_main = std::make_unique<TmainFm>(nullptr);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        QTRY_VERIFY(m_main->tasksFrame() && m_main->memosFrame());
    }

private Q_SLOTS:
    void initTestCase()
    {
        TWyCustomTrayIcon::setAvailabilityProbe([] { return true; });
        m_folder = std::make_unique<ProgramFolder>();
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                QByteArray("unix:path=") + m_folder->file(QStringLiteral("no-bus")).toLocal8Bit());
        m_folder.reset();
    }

    void init()
    {
        m_folder = std::make_unique<ProgramFolder>();
        m_folder->copyProgramFiles();
        start();
    }

    void cleanup()
    {
        m_main.reset();
        Database::close();
        m_folder.reset();
    }

    // The first page keeps the three options; the second is the sync's.
    void pagesOfTheDialog()
    {
        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        QCOMPARE(dialog.PageControl->count(), 2);
        QCOMPARE(dialog.PageControl->tabText(0), QStringLiteral("General"));
        QCOMPARE(dialog.PageControl->tabText(1), QStringLiteral("Sync"));
        QCOMPARE(dialog.cb_AutoStart->parentWidget(), dialog.PageControl->widget(0));
        QCOMPARE(dialog.SyncPage, dialog.PageControl->widget(1));
        QCOMPARE(dialog.SyncPage->Edt_Password->echoMode(), QLineEdit::Password);
    }

    void addressesThatAreRefused_data()
    {
        QTest::addColumn<QString>("tasksUrl");
        QTest::addColumn<QString>("memosUrl");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("focus");
        const QString notWeb = QStringLiteral("is not a web address");
        QTest::newRow("other scheme") << "ftp://cal.example.org/tasks/"
                                      << "" << notWeb << "Edt_TasksUrl";
        QTest::newRow("no scheme") << "cal.example.org/tasks/"
                                   << "" << notWeb << "Edt_TasksUrl";
        QTest::newRow("no host") << "https:///tasks/"
                                 << "" << notWeb << "Edt_TasksUrl";
        QTest::newRow("blanks inside") << "https://cal example.org/"
                                       << "" << notWeb << "Edt_TasksUrl";
        QTest::newRow("bad memos address") << "https://cal.example.org/tasks/"
                                           << "mailto:anna@example.org" << notWeb << "Edt_MemosUrl";
        QTest::newRow("memos without tasks")
            << ""
            << "https://cal.example.org/memos/"
            << "enter the address of the to-do list's collection too"
            << "Edt_TasksUrl";
    }
    void addressesThatAreRefused()
    {
        QFETCH(QString, tasksUrl);
        QFETCH(QString, memosUrl);
        QFETCH(QString, says);
        QFETCH(QString, focus);
        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.cb_AddOpen->click();
        dialog.SyncPage->Edt_TasksUrl->setText(tasksUrl);
        dialog.SyncPage->Edt_MemosUrl->setText(memosUrl);
        dialog.SyncPage->Edt_UserName->setText(QStringLiteral("anna"));
        BoxAnswer answer(QMessageBox::Ok);
        dialog.Btn_Ok->click();
        QCOMPARE(answer.runs(), 1);
        QCOMPARE(answer.caption, QStringLiteral("Warning"));
        QVERIFY2(answer.text.contains(says), qPrintable(answer.text));
        // Nothing is stored, the dialog stays on the sync page with the field to correct.
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.PageControl->currentWidget(), dialog.SyncPage);
        QVERIFY(dialog.focusWidget());
        // The address field, or the list of collections found that holds it.
        QWidget *field = dialog.findChild<QWidget *>(focus);
        QVERIFY(field);
        QVERIFY2(dialog.focusWidget() == field || dialog.focusWidget()->isAncestorOf(field),
                 qPrintable(dialog.focusWidget()->objectName()));
        const QString none = QStringLiteral("(none)");
        for (const QString &key : {SyncOptions::KeyTasksUrl, SyncOptions::KeyMemosUrl,
                                   SyncOptions::KeyUserName, SyncOptions::KeyInterval})
            QCOMPARE(ini().readString(SyncOptions::Section, key, none), none);
        QCOMPARE(ini().readString(QStringLiteral("option"), QStringLiteral("addOpenEn"), none),
                 none);
        QVERIFY(!m_main->FAddOpenEn);
    }

    // The store cannot be reached: the user reads why, the dialog stays open, and the
    // password is nowhere in the folder.
    void passwordWithoutASecretStore()
    {
        const QString password = QStringLiteral("no-store-S3cret");
        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.SyncPage->Edt_TasksUrl->setText(QStringLiteral("https://cal.example.org/tasks/"));
        dialog.SyncPage->Edt_UserName->setText(QStringLiteral("anna"));
        QTest::keyClicks(dialog.SyncPage->Edt_Password, password);
        BoxAnswer answer(QMessageBox::Ok);
        dialog.Btn_Ok->click();
        QTRY_COMPARE_WITH_TIMEOUT(answer.runs(), 1, 30000);
        QCOMPARE(answer.caption, QStringLiteral("Error"));
        QVERIFY2(answer.text.startsWith(QStringLiteral("The sync password was not stored.")),
                 qPrintable(answer.text));
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.Btn_Ok->isEnabled());
        QCOMPARE(SyncOptions::Read(ini()).tasksUrl,
                 QStringLiteral("https://cal.example.org/tasks/"));
        QCOMPARE(filesHolding(m_folder->path(), password.toUtf8()), QStringList());
        dialog.Btn_Cancel->click();
        QVERIFY(!dialog.isVisible());
    }

    // "S&ync Now" without what a run needs: the status bar says what is missing, and the
    // command can be given again.
    void syncNowWithoutWhatItNeeds_data()
    {
        QTest::addColumn<QString>("tasksUrl");
        QTest::addColumn<QString>("says");
        QTest::newRow("nothing set") << "" << "Sync failed: No collection is set";
        QTest::newRow("no secret store")
            << "https://cal.example.org/tasks/"
            << "Sync failed: The desktop's secret store could not be used";
    }
    void syncNowWithoutWhatItNeeds()
    {
        QFETCH(QString, tasksUrl);
        QFETCH(QString, says);
        SyncOptions::Write(ini(), SyncSettings{tasksUrl, {}, QStringLiteral("anna"), 0});
        QAction *syncNow = m_main->syncNowAction();
        syncNow->trigger();
        QCOMPARE(m_main->syncController()->stateText(), QStringLiteral("Syncing..."));
        QTRY_VERIFY_WITH_TIMEOUT(!m_main->syncController()->isRunning(), 30000);
        for (TwyTreeFrame *frame : {static_cast<TwyTreeFrame *>(m_main->tasksFrame()),
                                    static_cast<TwyTreeFrame *>(m_main->memosFrame())}) {
            const auto *state =
                frame->statusBar()->findChild<QLabel *>(QStringLiteral("SyncState"));
            QVERIFY(state);
            QVERIFY2(state->toolTip().startsWith(says), qPrintable(state->toolTip()));
            // Assistive tools read the state as the label's name.
            QAccessibleInterface *read =
                QAccessible::queryAccessibleInterface(const_cast<QLabel *>(state));
            QVERIFY(read);
            QVERIFY2(read->text(QAccessible::Name).startsWith(says),
                     qPrintable(read->text(QAccessible::Name)));
        }
        QVERIFY(syncNow->isEnabled());
    }

    // Options opens with the focus on its first field, never on OK: Tab then Space cannot
    // press Cancel by surprise.
    void optionsOpenOnTheFirstField()
    {
        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.focusWidget(), static_cast<QWidget *>(dialog.cb_AutoStart));
        // And shows it with its focus frame: without the frame the box looks otherwise.
        dialog.activateWindow();
        QTRY_VERIFY(dialog.cb_AutoStart->hasFocus());
        const QImage shown = dialog.cb_AutoStart->grab().toImage();
        dialog.setAttribute(Qt::WA_KeyboardFocusChange, false);
        QVERIFY(dialog.cb_AutoStart->grab().toImage() != shown);
        dialog.reject();
    }

    // The interval of the settings starts runs by itself, and a new interval from the
    // options dialog takes effect at once (0: only by hand).
    void theIntervalStartsRuns()
    {
        SyncOptions::Write(ini(), SyncSettings{QStringLiteral("https://cal.example.org/tasks/"),
                                               {}, QStringLiteral("anna"), 15});
        m_main->syncSettingsChanged();
        SyncController *sync = m_main->syncController();
        QCOMPARE(sync->intervalMinutes(), 15);
        auto *timer = sync->findChild<QTimer *>(QStringLiteral("Timer_sync"));
        QVERIFY(timer);
        QVERIFY(timer->isActive());
        timer->setInterval(20); // not a quarter of an hour in a test
        QTRY_VERIFY_WITH_TIMEOUT(sync->stateText().startsWith(QStringLiteral("Sync failed: ")),
                                 30000);

        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        dialog.show();
        dialog.SyncPage->Spin_Interval->setValue(0);
        dialog.Btn_Ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(sync->intervalMinutes(), 0);
        QVERIFY(!timer->isActive());
    }
};

QTEST_MAIN(TestSyncOptions)
#include "test_sync_options.moc"
