// The sync in the window, against a real Radicale and a private secret store: the "Sync"
// page of the options (the settings file, the password in the store and nowhere in the
// folder, the page showing both again), "S&ync Now" with its state in the status bars, the
// lists read anew after a run that changed them, a refused password that changes nothing,
// and an in-place edit that a sync neither closes nor loses.

#include "app/Dlg_Options.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "app/SyncController.h"
#include "app/SyncNotices.h"
#include "app/SyncOptionsPage.h"
#include "common/IniFile.h"
#include "components/WyTray.h"
#include "memos/Fr_wyMemos.h"
#include "storage/Database.h"
#include "support/TestSupport.h"
#include "sync/CalDavClient.h"
#include "sync/RadicaleServer.h"
#include "sync/SecretService.h"
#include "sync/SecretStore.h"
#include "sync/StandInServer.h"
#include "sync/SyncRun.h"
#include "sync/SyncSettings.h"
#include "tasks/Fr_wyTasks.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace TestSupport;

// A desktop's notification service on the test's private session bus: it keeps what it
// was asked to show.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QStringList> shown; // application, summary, text

public Q_SLOTS:
    uint Notify(const QString &application, uint, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        shown.append({application, summary, body});
        return uint(shown.size());
    }
    QString GetServerInformation() { return QStringLiteral("fake"); }
};

class TestSyncWindow : public QObject
{
    Q_OBJECT

    SecretService m_secrets;
    RadicaleServer m_server;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<TmainFm> m_main;
    int m_collections = 0;

    IniFile ini() const { return IniFile(m_folder->file(QStringLiteral("wyConf.ini"))); }

    void start()
    {
        m_main = std::make_unique<TmainFm>(nullptr);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        QTRY_VERIFY(m_main->tasksFrame() && m_main->memosFrame());
        QTRY_VERIFY(!m_main->menuBar()->actions().isEmpty());
    }

    // Settings of a new empty collection of the test server, with the right password in
    // the secret store (or the one given).
    SyncSettings configure(const QString &password = QString(), bool memos = false)
    {
        const QUrl url = m_server.makeCalendar(QStringLiteral("win%1").arg(++m_collections));
        const QUrl memosUrl =
            memos ? m_server.makeCalendar(QStringLiteral("winmemos%1").arg(m_collections)) : QUrl();
        if (url.isEmpty() || (memos && memosUrl.isEmpty()))
            qWarning() << m_server.why();
        const SyncSettings settings{url.toString(), memosUrl.toString(), m_server.user(), 0};
        SyncOptions::Write(ini(), settings);
        const SecretResult stored = SecretStore::writePasswordNow(
            settings, password.isEmpty() ? m_server.password() : password);
        if (!stored.ok)
            qWarning() << stored.message;
        return settings;
    }
    // Another client puts a task on the server.
    bool putFromElsewhere(const SyncSettings &settings, const QString &uid, const QString &text)
    {
        CalDavClient dav(QUrl(settings.tasksUrl), m_server.user(), m_server.password());
        return dav
            .putNow(dav.hrefFor(uid + QStringLiteral(".ics")), sampleTodo(uid, text), QString())
            .ok();
    }

    // Another client puts a journal entry (a memo) on the server.
    bool putMemoFromElsewhere(const SyncSettings &settings, const QString &uid,
                              const QString &text)
    {
        CalDavClient dav(QUrl(settings.memosUrl), m_server.user(), m_server.password());
        const QByteArray journal =
            QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Elsewhere//EN\r\n"
                           "BEGIN:VJOURNAL\r\nUID:%1\r\nDTSTAMP:20260101T120000Z\r\n"
                           "SUMMARY:%2\r\nDESCRIPTION:%2\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n")
                .arg(uid, text)
                .toUtf8();
        return dav.putNow(dav.hrefFor(uid + QStringLiteral(".ics")), journal, QString()).ok();
    }

    static QStringList textsOf(const TwyTreeFrame *frame)
    {
        QStringList texts;
        for (const auto &top : frame->model()->root()->children)
            texts.append(top->info->content);
        texts.sort();
        return texts;
    }
    QStringList taskTexts() const { return textsOf(m_main->tasksFrame()); }
    // The top-level rows as the list shows them, top to bottom.
    QStringList shownTaskTexts() const
    {
        QStringList texts;
        const QAbstractItemModel *model = m_main->tasksFrame()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->index(row, 0).data(Qt::DisplayRole).toString());
        return texts;
    }
    QStringList storedTaskTexts() const
    {
        QStringList texts;
        QSqlQuery query(m_main->database());
        query.exec(QStringLiteral("select content from tasks"));
        while (query.next())
            texts.append(query.value(0).toString());
        texts.sort();
        return texts;
    }
    QString syncState(TwyTreeFrame *frame) const
    {
        const auto *label = frame->statusBar()->findChild<QLabel *>(QStringLiteral("SyncState"));
        // The bar may show the start of a long line; its tool tip holds all of it.
        return label && !label->isHidden() ? label->toolTip() : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        TWyCustomTrayIcon::setAvailabilityProbe([] { return true; });
        QVERIFY2(m_secrets.start(), qPrintable(m_secrets.why()));
        QVERIFY2(m_server.start(), qPrintable(m_server.why()));
    }

    void init()
    {
        m_folder = std::make_unique<ProgramFolder>();
        m_folder->copyProgramFiles();
    }

    void cleanup()
    {
        m_main.reset();
        Database::close();
        m_folder.reset();
    }

    // What the page is given lands in the settings file and the secret store, the password
    // in no file of the folder, and the page shows it all again when it opens next.
    void optionsPageRoundTrip_data()
    {
        QTest::addColumn<QString>("memosUrl");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("password");
        QTest::newRow("both lists, every 15 minutes")
            << "https://cal.example.org/anna/memos/" << 15 << "Pässwörd with spaces";
        QTest::newRow("tasks only, by hand") << "" << 0 << "x'\"=;[sync]";
    }
    void optionsPageRoundTrip()
    {
        QFETCH(QString, memosUrl);
        QFETCH(int, interval);
        QFETCH(QString, password);
        start();
        const SyncSettings wanted{QStringLiteral("https://cal.example.org/anna/tasks/"), memosUrl,
                                  QStringLiteral("anna"), interval};
        {
            TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
            dialog.show();
            QCOMPARE(dialog.PageControl->tabText(1), QStringLiteral("Sync"));
            dialog.PageControl->setCurrentIndex(1);
            SyncOptionsPage *page = dialog.SyncPage;
            QCOMPARE(page->Edt_Password->echoMode(), QLineEdit::Password);
            QTest::keyClicks(page->Edt_TasksUrl, wanted.tasksUrl);
            QTest::keyClicks(page->Edt_MemosUrl, wanted.memosUrl);
            QTest::keyClicks(page->Edt_UserName, wanted.userName);
            page->Edt_Password->setText(password);
            page->Spin_Interval->setValue(interval);
            dialog.Btn_Ok->click();
            QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(SyncOptions::Read(ini()), wanted);
        QCOMPARE(m_secrets.lookup(QStringLiteral("anna@cal.example.org:443")), password);
        QCOMPARE(filesHolding(m_folder->path(), password.toUtf8()), QStringList());
        QCOMPARE(m_main->syncController()->intervalMinutes(), interval);

        TOptionsDlg again(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        again.show();
        QCOMPARE(again.SyncPage->settings(), wanted);
        QTRY_VERIFY(again.SyncPage->passwordRead());
        QCOMPARE(again.SyncPage->Edt_Password->text(), password);
        // Nothing changed: OK writes nothing to the store and closes at once.
        QCOMPARE(again.SyncPage->passwordChange(), SyncOptionsPage::PasswordChange::None);
        again.Btn_Ok->click();
        QCOMPARE(again.result(), int(QDialog::Accepted));
    }

    // From the server's address the page finds the user's collections and lists them by
    // name; choosing one puts its address in place; Test logs in and checks them; a wrong
    // password and an address that is no collection are told apart.
    void syncPageFindsAndTests()
    {
        const QUrl tasks = m_server.makeCalendar(QStringLiteral("Errands"));
        const QUrl memos = m_server.makeCalendar(QStringLiteral("Diary"));
        QVERIFY(!tasks.isEmpty() && !memos.isEmpty());
        start();
        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        dialog.show();
        dialog.PageControl->setCurrentIndex(1);
        SyncOptionsPage *page = dialog.SyncPage;
        page->setRequestTimeout(10000);
        const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(m_server.port());
        QTest::keyClicks(page->Edt_Server, root);
        QVERIFY(page->lbl_Warning->isHidden()); // this machine: nothing travels
        QTest::keyClicks(page->Edt_UserName, m_server.user());
        page->Edt_Password->setText(m_server.password());
        page->Btn_Find->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 30000);
        const int errands = page->Cmb_Tasks->findData(tasks.toString());
        QVERIFY2(errands >= 0, qPrintable(page->lbl_Note->text()));
        QCOMPARE(page->Cmb_Tasks->itemText(errands),
                 QStringLiteral("Errands (to-dos, journal entries)"));
        const int diary = page->Cmb_Memos->findData(memos.toString());
        QVERIFY(diary > 0);
        QCOMPARE(page->Cmb_Memos->itemText(0), QStringLiteral("(memos not synced)"));
        page->Cmb_Tasks->setCurrentIndex(errands);
        page->Cmb_Memos->setCurrentIndex(diary);
        QCOMPARE(page->Edt_TasksUrl->text(), tasks.toString());
        QCOMPARE(page->Edt_MemosUrl->text(), memos.toString());

        page->Btn_Test->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 30000);
        QCOMPARE(page->lbl_Note->text(),
                 QStringLiteral("The server accepted the log-in. \"Errands\" takes the to-dos. "
                                "\"Diary\" takes the memos as journal entries."));

        page->Edt_Password->setText(QStringLiteral("wrong"));
        page->Btn_Test->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 30000);
        QVERIFY2(
            page->lbl_Note->text().contains(QStringLiteral("refused the user name or password")),
            qPrintable(page->lbl_Note->text()));

        page->Edt_Password->setText(m_server.password());
        page->Edt_TasksUrl->setText(root);
        page->Btn_Test->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 30000);
        QVERIFY2(!page->lbl_Note->text().contains(QStringLiteral("password")),
                 qPrintable(page->lbl_Note->text()));

        page->Edt_TasksUrl->setText(tasks.toString());
        dialog.Btn_Ok->click();
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(SyncOptions::Read(ini()).tasksUrl, tasks.toString());
        QCOMPARE(SyncOptions::Read(ini()).memosUrl, memos.toString());
    }

    // A password for another machine over plain http: the page says so plainly.
    void unencryptedPasswordIsWarnedOf_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("warned");
        QTest::newRow("collection over http") << "Edt_TasksUrl"
                                              << "http://dav.example.org/a/t/" << true;
        QTest::newRow("memos over http") << "Edt_MemosUrl"
                                         << "http://dav.example.org/a/m/" << true;
        QTest::newRow("server over http") << "Edt_Server"
                                          << "http://dav.example.org" << true;
        QTest::newRow("https") << "Edt_TasksUrl"
                               << "https://dav.example.org/a/t/" << false;
        QTest::newRow("this machine") << "Edt_TasksUrl"
                                      << "http://localhost:5232/a/t/" << false;
    }
    void unencryptedPasswordIsWarnedOf()
    {
        QFETCH(QString, field);
        QFETCH(QString, address);
        QFETCH(bool, warned);
        start();
        TOptionsDlg dialog(*m_main->commonDm(), m_main->shellOptions(), m_main.get());
        dialog.show();
        dialog.PageControl->setCurrentIndex(1);
        SyncOptionsPage *page = dialog.SyncPage;
        QVERIFY(page->lbl_Warning->isHidden());
        QTest::keyClicks(page->findChild<QLineEdit *>(field), address);
        QCOMPARE(page->lbl_Warning->isVisible(), warned);
        if (warned)
            QVERIFY2(page->lbl_Warning->text().contains(QStringLiteral("unencrypted")) &&
                         page->lbl_Warning->text().contains(QStringLiteral("dav.example.org")),
                     qPrintable(page->lbl_Warning->text()));
    }

    // Runs of the timer that fail while the window is in the tray: one desktop
    // notification, not one per run; none while the window is seen; after a run that went
    // well, the next failure is told again. No message box for them.
    void scheduledFailuresNotifyOnce()
    {
        FakeNotifications fake;
        QDBusConnection service =
            QDBusConnection::connectToBus(m_secrets.busAddress(), QStringLiteral("notifications"));
        QVERIFY(service.isConnected());
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        const auto cleanupService = qScopeGuard([&] {
            service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
        });
        // Every call the program sent before this one has been handled once it answers.
        const auto settle = [] {
            QDBusMessage ping =
                QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                               QStringLiteral("/org/freedesktop/Notifications"),
                                               QStringLiteral("org.freedesktop.Notifications"),
                                               QStringLiteral("GetServerInformation"));
            QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
            QTRY_VERIFY_WITH_TIMEOUT(watcher.isFinished(), 30000);
        };
        SyncSettings good = configure();
        SyncSettings dead = good;
        dead.tasksUrl = QStringLiteral("http://127.0.0.1:9/nobody/tasks/");
        SyncOptions::Write(ini(), dead);
        QVERIFY(SecretStore::writePasswordNow(dead, m_server.password()).ok);
        start();
        SyncController *sync = m_main->syncController();
        const auto runOnce = [&] {
            QVERIFY(sync->syncNow());
            QTRY_VERIFY_WITH_TIMEOUT(!sync->isRunning(), 60000);
        };

        m_main->hide();
        for (int run = 0; run < 3; ++run)
            runOnce();
        settle();
        QCOMPARE(fake.shown.size(), 1);
        QCOMPARE(fake.shown.first().value(0), QStringLiteral("Ploxen Tasklume"));
        QCOMPARE(fake.shown.first().value(1), QStringLiteral("Sync failed"));
        QVERIFY2(fake.shown.first().value(2).contains(QStringLiteral("cannot be reached")),
                 qPrintable(fake.shown.first().value(2)));
        QVERIFY(!m_main->syncNotices()->box());

        SyncOptions::Write(ini(), good);
        runOnce();
        QVERIFY(sync->lastOutcome().ok);
        SyncOptions::Write(ini(), dead);
        m_main->show();
        runOnce(); // seen: the status bar tells it
        settle();
        QCOMPARE(fake.shown.size(), 1);
        m_main->hide();
        runOnce();
        settle();
        QCOMPARE(fake.shown.size(), 2);
        QVERIFY(!m_main->syncNotices()->box());
    }

    // "S&ync Now" runs in the background: the status bars say so, then tell what the run
    // did, and a task and a memo another client put on the server appear in the lists.
    void syncNowBringsTheServersItems()
    {
        seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                     {Row{key(1), QStringLiteral("root"), QStringLiteral("Mine")}});
        const SyncSettings settings = configure(QString(), true);
        QVERIFY(putFromElsewhere(settings, QStringLiteral("phone-1"),
                                 QStringLiteral("Call Ånna from the phone")));
        QVERIFY(putMemoFromElsewhere(settings, QStringLiteral("phone-memo-1"),
                                     QStringLiteral("Door code 4711")));
        start();
        QAction *syncNow = m_main->syncNowAction();
        QCOMPARE(syncNow->text(), QStringLiteral("S&ync Now"));
        QCOMPARE(syncNow->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(taskTexts(), QStringList{QStringLiteral("Mine")});
        TwyTasksFrame *frame = m_main->tasksFrame();
        frame->tree()->selectionModel()->setCurrentIndex(
            frame->model()->index(0, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

        syncNow->trigger();
        QCOMPARE(syncState(m_main->tasksFrame()), QStringLiteral("Syncing..."));
        QVERIFY(!syncNow->isEnabled()); // one run at a time
        QTRY_VERIFY2_WITH_TIMEOUT(!m_main->syncController()->isRunning(),
                                  qPrintable(syncState(m_main->tasksFrame())), 60000);
        const QString state = syncState(m_main->tasksFrame());
        QVERIFY2(state.startsWith(QStringLiteral("Synced: 1 sent, 2 received (")),
                 qPrintable(state));
        QCOMPARE(syncState(m_main->memosFrame()), state);
        QVERIFY(syncNow->isEnabled());
        QTRY_COMPARE(taskTexts(), (QStringList{QStringLiteral("Call Ånna from the phone"),
                                               QStringLiteral("Mine")}));
        // Sorted as before, and the current row is still the one the user was on.
        QCOMPARE(shownTaskTexts(), (QStringList{QStringLiteral("Call Ånna from the phone"),
                                                QStringLiteral("Mine")}));
        QCOMPARE(frame->tree()->currentIndex().data(Qt::DisplayRole).toString(),
                 QStringLiteral("Mine"));
        QTRY_COMPARE(textsOf(m_main->memosFrame()), QStringList{QStringLiteral("Door code 4711")});

        // A second run finds nothing to do.
        syncNow->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_main->syncController()->isRunning(), 60000);
        QVERIFY(syncState(m_main->tasksFrame()).startsWith(QStringLiteral("Synced, no changes (")));
    }

    // A search in force stays in force when a run brings new rows: what matches shows,
    // the rest stays hidden.
    void aSearchStaysAfterASync()
    {
        seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                     {Row{key(1), QStringLiteral("root"), QStringLiteral("Pay the rent")},
                      Row{key(2), QStringLiteral("root"), QStringLiteral("Water the plants")}});
        const SyncSettings settings = configure();
        QVERIFY(putFromElsewhere(settings, QStringLiteral("phone-4"),
                                 QStringLiteral("Pay the phone bill")));
        start();
        TwyTasksFrame *frame = m_main->tasksFrame();
        auto *search = frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
        QVERIFY(search);
        frame->enterSearch();
        search->setText(QStringLiteral("Pay"));
        QCOMPARE(shownTaskTexts(), QStringList{QStringLiteral("Pay the rent")});

        m_main->syncNowAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_main->syncController()->isRunning(), 60000);
        QVERIFY(m_main->syncController()->lastOutcome().changedHere());
        QTRY_COMPARE(shownTaskTexts(), (QStringList{QStringLiteral("Pay the phone bill"),
                                                    QStringLiteral("Pay the rent")}));
        QCOMPARE(search->text(), QStringLiteral("Pay"));
        QVERIFY(frame->FSearching);
    }

    // A refused password or a server that is not there: the status bar says why, and
    // nothing changes here.
    void aFailedRunChangesNothing_data()
    {
        QTest::addColumn<bool>("wrongPassword");
        QTest::newRow("wrong password") << true;
        QTest::newRow("no server") << false;
    }
    void aFailedRunChangesNothing()
    {
        QFETCH(bool, wrongPassword);
        seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                     {Row{key(1), QStringLiteral("root"), QStringLiteral("Mine")},
                      Row{key(2), key(1), QStringLiteral("Child")}});
        SyncSettings settings = configure(wrongPassword ? QStringLiteral("wrong") : QString());
        QVERIFY(putFromElsewhere(settings, QStringLiteral("phone-2"), QStringLiteral("Theirs")));
        if (!wrongPassword) {
            // A port nobody listens on.
            settings.tasksUrl = QStringLiteral("http://127.0.0.1:9/nobody/tasks/");
            SyncOptions::Write(ini(), settings);
            QVERIFY(SecretStore::writePasswordNow(settings, m_server.password()).ok);
        }
        start();
        const int width = m_main->width();
        const QStringList storedBefore = storedTaskTexts();
        m_main->syncNowAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_main->syncController()->isRunning(), 60000);
        const QString state = syncState(m_main->tasksFrame());
        QVERIFY2(state.startsWith(QStringLiteral("Sync failed: ")), qPrintable(state));
        QVERIFY(!m_main->syncController()->lastOutcome().ok);
        // The user asked: a message box says it, whole, without holding up the window.
        QMessageBox *box = m_main->syncNotices()->box();
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), state.section(QStringLiteral(" ("), 0, -2));
        QVERIFY2(box->text().contains(wrongPassword ? QStringLiteral("password")
                                                    : QStringLiteral("cannot be reached")),
                 qPrintable(box->text()));
        box->accept();
        QTRY_VERIFY(!m_main->syncNotices()->box());
        // However long the reason, the window keeps its width.
        QCOMPARE(m_main->width(), width);
        QCOMPARE(storedTaskTexts(), storedBefore);
        QCOMPARE(taskTexts(), QStringList{QStringLiteral("Mine")});
    }

    // A server that drips its answers a byte at a time does not keep the window at
    // "Syncing..." with Sync Now greyed out: the request's deadline ends the run, and the
    // box says why.
    void aDrippingServerEndsTheRun()
    {
        StandInServer server([](const StandInRequest &, QTcpSocket *socket) {
            answerDripping(socket,
                           "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n"
                           "Content-Length: 400\r\n\r\n",
                           QByteArray(400, ' '), 100);
        });
        QVERIFY(server.isListening());
        SyncSettings settings = configure();
        settings.tasksUrl = server.url().toString();
        SyncOptions::Write(ini(), settings);
        QVERIFY(SecretStore::writePasswordNow(settings, QStringLiteral("p")).ok);
        start();
        m_main->syncController()->setRequestTimeout(1500);
        QElapsedTimer clock;
        clock.start();
        m_main->syncNowAction()->trigger();
        QVERIFY(!m_main->syncNowAction()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(m_main->syncNowAction()->isEnabled(), 20000);
        QVERIFY(clock.elapsed() < 20000);
        QTRY_VERIFY(m_main->syncNotices()->box());
        QVERIFY2(
            m_main->syncNotices()->box()->text().contains(QStringLiteral("did not answer in time")),
            qPrintable(m_main->syncNotices()->box()->text()));
        m_main->syncNotices()->box()->accept();
    }

    // The user is typing when a run brings changes: the editor stays open with the text,
    // the list is read anew once the edit is stored, and both the edit and what the run
    // brought are there. Even a task the server deleted meanwhile keeps what was typed.
    void anOpenEditSurvivesASync_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QStringList>("expected");
        const QString typed = QStringLiteral("Typed while syncing");
        const QString theirs = QStringLiteral("Theirs");
        QTest::newRow("editing a stored task") << "edit" << QStringList{theirs, typed};
        QTest::newRow("adding a task")
            << "add" << QStringList{QStringLiteral("Draft"), theirs, typed};
        QTest::newRow("editing a task the server deleted") << "deleted" << QStringList{typed};
    }
    void anOpenEditSurvivesASync()
    {
        QFETCH(QString, what);
        QFETCH(QStringList, expected);
        const QString path = m_folder->file(QStringLiteral("wyData.wyb"));
        seedDatabase(path, {Row{key(1), QStringLiteral("root"), QStringLiteral("Draft")}});
        const SyncSettings settings = configure();
        // The server knows the task already.
        const SyncOutcome first = SyncRun::runNow(path, settings, m_server.password());
        QVERIFY2(first.ok, qPrintable(first.message));
        start();
        TwyTasksFrame *frame = m_main->tasksFrame();
        frame->tree()->selectionModel()->setCurrentIndex(frame->model()->index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        if (what == QLatin1String("add"))
            frame->addItem();
        else
            frame->editItem();
        QTRY_VERIFY(frame->tree()->openEditor());
        auto *editor = qobject_cast<QPlainTextEdit *>(frame->tree()->openEditor());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Typed while syncing"));

        CalDavClient dav(QUrl(settings.tasksUrl), m_server.user(), m_server.password());
        if (what == QLatin1String("deleted"))
            QVERIFY(dav.removeNow(dav.hrefFor(key(1) + QStringLiteral(".ics")), QString()).ok());
        else
            QVERIFY(
                putFromElsewhere(settings, QStringLiteral("phone-3"), QStringLiteral("Theirs")));
        m_main->syncNowAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_main->syncController()->isRunning(), 60000);
        QVERIFY2(m_main->syncController()->lastOutcome().ok,
                 qPrintable(m_main->syncController()->lastOutcome().message));
        QVERIFY(m_main->syncController()->lastOutcome().changedHere());
        // The reload waits for the edit: the editor is still open with what was typed.
        QVERIFY(m_main->syncReloadWaiting());
        QCOMPARE(frame->tree()->openEditor(), editor);
        QCOMPARE(editor->toPlainText(), QStringLiteral("Typed while syncing"));

        frame->endEditing(true);
        QTRY_VERIFY(!m_main->syncReloadWaiting());
        QTRY_COMPARE(taskTexts(), expected);
        QCOMPARE(storedTaskTexts(), expected);
    }

    // Exit while a run waits for a server that never answers: the run is waited for as long
    // as Exit is told (here it gives up on the server first), or else left to end alone;
    // either way what the user was typing is stored, nothing else changes here, and a run
    // left alone ends by itself once the server goes.
    void exitWithARunningSync_data()
    {
        QTest::addColumn<int>("requestTimeoutMs");
        QTest::addColumn<int>("exitWaitMs");
        QTest::addColumn<int>("leftAlone");
        QTest::newRow("waited for") << 2000 << 120000 << 0;
        QTest::newRow("left alone") << 120000 << 200 << 1;
    }
    void exitWithARunningSync()
    {
        QFETCH(int, requestTimeoutMs);
        QFETCH(int, exitWaitMs);
        QFETCH(int, leftAlone);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *socket = silent.nextPendingConnection())
                held.append(socket);
        });
        seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                     {Row{key(1), QStringLiteral("root"), QStringLiteral("Draft")}});
        const SyncSettings settings{
            QStringLiteral("http://127.0.0.1:%1/anna/tasks/").arg(silent.serverPort()), {},
            QStringLiteral("anna"), 0};
        SyncOptions::Write(ini(), settings);
        QVERIFY(SecretStore::writePasswordNow(settings, QStringLiteral("pw")).ok);
        start();
        m_main->setExitSyncWait(exitWaitMs);
        m_main->syncController()->setRequestTimeout(requestTimeoutMs);
        TwyTasksFrame *frame = m_main->tasksFrame();
        frame->tree()->selectionModel()->setCurrentIndex(
            frame->model()->index(0, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        frame->editItem();
        QTRY_VERIFY(frame->tree()->openEditor());
        auto *editor = qobject_cast<QPlainTextEdit *>(frame->tree()->openEditor());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Typed before Exit"));

        m_main->syncNowAction()->trigger();
        QTRY_VERIFY(!held.isEmpty()); // the run talks to the server
        QVERIFY(m_main->syncController()->isRunning());
        m_main->Action_ExitExecute();
        QVERIFY(m_main->FExiting);
        QCOMPARE(SyncController::abandonedRuns(), leftAlone);
        QCOMPARE(storedTaskTexts(), QStringList{QStringLiteral("Typed before Exit")});

        silent.close();
        qDeleteAll(held);
        QTRY_COMPARE_WITH_TIMEOUT(SyncController::abandonedRuns(), 0, 60000);
        QCOMPARE(storedTaskTexts(), QStringList{QStringLiteral("Typed before Exit")});
    }
};

QTEST_MAIN(TestSyncWindow)
#include "test_sync_window.moc"
