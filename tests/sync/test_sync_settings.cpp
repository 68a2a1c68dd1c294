// The sync's settings and password: the collections, user and interval in the settings
// file, the password in the desktop's secret store and nowhere in the program's folder, and
// one whole run of both lists on a connection of its own.

#include "common/IniFile.h"
#include "storage/Database.h"
#include "storage/Statements.h"
#include "sync/RadicaleServer.h"
#include "sync/SecretService.h"
#include "sync/SecretStore.h"
#include "sync/SyncRun.h"
#include "sync/SyncSettings.h"

#include <QFile>
#include <qt6keychain/keychain.h>
#include <QTemporaryDir>
#include <QTest>

class TestSyncSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SecretService m_secrets;
    RadicaleServer m_server;
    int m_files = 0;

    QString iniPath() const { return m_dir.filePath(QStringLiteral("wyConf.ini")); }
    QString newDatabase() { return m_dir.filePath(QStringLiteral("wyData%1.wyb").arg(++m_files)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_secrets.start(), qPrintable(m_secrets.why()));
        QVERIFY2(m_server.start(), qPrintable(m_server.why()));
    }

    void settingsComeBackAsWritten()
    {
        const IniFile ini(iniPath());
        QCOMPARE(SyncOptions::Read(ini), SyncSettings());
        const SyncSettings written{QStringLiteral("https://cal.example.org/u/tasks/"),
                                   QStringLiteral("https://cal.example.org/u/memos/"),
                                   QStringLiteral("Ünïcode user"), 15};
        SyncOptions::Write(ini, written);
        QCOMPARE(SyncOptions::Read(ini), written);
        QVERIFY(written.isSet());
    }

    void intervalIsKeptInRange_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("read");
        QTest::newRow("off") << "0" << 0;
        QTest::newRow("negative") << "-5" << 0;
        QTest::newRow("a week") << "10080" << 10080;
        QTest::newRow("more than a week") << "99999" << SyncOptions::MaxIntervalMinutes;
        QTest::newRow("not a number") << "soon" << 0;
    }
    void intervalIsKeptInRange()
    {
        QFETCH(QString, stored);
        QFETCH(int, read);
        const IniFile ini(iniPath());
        ini.writeString(SyncOptions::Section, SyncOptions::KeyInterval, stored);
        QCOMPARE(SyncOptions::Read(ini).intervalMinutes, read);
    }

    // The password goes to the secret store, where the desktop's own tools find it, and
    // never into a file of the program's folder.
    void passwordLivesInTheSecretStoreOnly()
    {
        SyncSettings settings{
            QStringLiteral("https://cal.example.org/u/tasks/"), {}, QStringLiteral("anna"), 0};
        SyncOptions::Write(IniFile(iniPath()), settings);
        const QString password = QStringLiteral("s3cret-Pässword");
        const SecretResult written = SecretStore::writePasswordNow(settings, password);
        QVERIFY2(written.ok, qPrintable(written.message));

        QCOMPARE(m_secrets.lookup(QStringLiteral("anna@cal.example.org:443")), password);
        QString read;
        const SecretResult result = SecretStore::readPasswordNow(settings, &read);
        QVERIFY(result.ok && !result.missing);
        QCOMPARE(read, password);
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files)) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(password.toUtf8()), qPrintable(name));
        }
    }

    // The entry names the port, so that two servers of one host keep a password each; an
    // entry of the earlier form ("user@host") is still found, and removing takes both.
    void entryNamesThePort_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("entry");
        QTest::newRow("https") << "https://dav.example.org/u/t/"
                               << "bob@dav.example.org:443";
        QTest::newRow("http") << "http://dav.example.org/u/t/"
                              << "bob@dav.example.org:80";
        QTest::newRow("own port") << "http://127.0.0.1:5232/u/t/"
                                  << "bob@127.0.0.1:5232";
    }
    void entryNamesThePort()
    {
        QFETCH(QString, url);
        QFETCH(QString, entry);
        const SyncSettings settings{url, {}, QStringLiteral("bob"), 0};
        QCOMPARE(SecretStore::EntryName(settings), entry);
    }

    void twoPortsKeepTwoPasswords()
    {
        const SyncSettings first{
            QStringLiteral("http://127.0.0.1:5232/carl/tasks/"), {}, QStringLiteral("carl"), 0};
        const SyncSettings second{
            QStringLiteral("http://127.0.0.1:5233/carl/tasks/"), {}, QStringLiteral("carl"), 0};
        QVERIFY(SecretStore::writePasswordNow(first, QStringLiteral("one")).ok);
        QVERIFY(SecretStore::writePasswordNow(second, QStringLiteral("two")).ok);
        QString read;
        QVERIFY(SecretStore::readPasswordNow(first, &read).ok);
        QCOMPARE(read, QStringLiteral("one"));
        QVERIFY(SecretStore::readPasswordNow(second, &read).ok);
        QCOMPARE(read, QStringLiteral("two"));
    }

    void oldEntryIsStillFound()
    {
        const SyncSettings settings{
            QStringLiteral("https://old.example.org/dora/tasks/"), {}, QStringLiteral("dora"), 0};
        // As an earlier version stored it: under "user@host".
        auto *job = new QKeychain::WritePasswordJob(SecretStore::Service);
        job->setInsecureFallback(false);
        job->setKey(QStringLiteral("dora@old.example.org"));
        job->setTextData(QStringLiteral("kept before"));
        bool written = false;
        connect(job, &QKeychain::Job::finished, this, [&] { written = true; });
        job->start();
        QTRY_VERIFY_WITH_TIMEOUT(written, 30000);
        QCOMPARE(m_secrets.lookup(QStringLiteral("dora@old.example.org")),
                 QStringLiteral("kept before"));

        QString read;
        const SecretResult result = SecretStore::readPasswordNow(settings, &read);
        QVERIFY(result.ok && !result.missing);
        QCOMPARE(read, QStringLiteral("kept before"));

        bool removed = false;
        SecretStore::removePassword(settings, [&](const SecretResult &r) {
            QVERIFY(r.ok);
            removed = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(removed, 30000);
        QVERIFY(m_secrets.lookup(QStringLiteral("dora@old.example.org")).isEmpty());
        QVERIFY(SecretStore::readPasswordNow(settings, &read).missing);
    }

    void anotherUserHasNoPassword()
    {
        const SyncSettings settings{QStringLiteral("https://cal.example.org/u/tasks/"),
                                    {},
                                    QStringLiteral("nobody-saved-me"),
                                    0};
        QString read = QStringLiteral("left over");
        const SecretResult result = SecretStore::readPasswordNow(settings, &read);
        QVERIFY(result.ok);
        QVERIFY(result.missing);
        QVERIFY(read.isEmpty());
    }

    // One run sends both lists to their collections; the next finds nothing to do.
    void aRunSyncsBothLists()
    {
        const QString path = newDatabase();
        {
            QSqlDatabase db = Database::open(path, QStringLiteral("fill"));
            TTaskInfo task;
            task.pid = QStringLiteral("root");
            task.content = QStringLiteral("Water the plants");
            TaskStatements(db).insertNew(task);
            TMemoInfo memo;
            memo.pid = QStringLiteral("root");
            memo.content = QStringLiteral("Door code 4711");
            MemoStatements(db).insert(memo);
        }
        Database::close(QStringLiteral("fill"));
        const SyncSettings settings{m_server.makeCalendar(QStringLiteral("runtasks")).toString(),
                                    m_server.makeCalendar(QStringLiteral("runmemos")).toString(),
                                    m_server.user(), 0};
        const SyncOutcome first = SyncRun::runNow(path, settings, m_server.password());
        QVERIFY2(first.ok, qPrintable(first.message));
        QVERIFY(first.memosSynced);
        QCOMPARE(first.tasks.uploaded, 1);
        QCOMPARE(first.memos.uploaded, 1);
        QCOMPARE(SyncRun::Summary(first), QStringLiteral("Synced: 2 sent"));
        const SyncOutcome second = SyncRun::runNow(path, settings, m_server.password());
        QVERIFY(second.ok);
        QCOMPARE(SyncRun::Summary(second), QStringLiteral("Synced, no changes"));
    }

    void summaryNamesWhatARunDid_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("conflicts");
        QTest::addColumn<QString>("line");
        QTest::newRow("nothing") << 0 << 0 << "Synced, no changes";
        QTest::newRow("one conflict") << 2 << 1 << "Synced: 2 sent, 1 conflict copy";
        QTest::newRow("conflicts") << 3 << 2 << "Synced: 3 sent, 2 conflict copies";
    }
    void summaryNamesWhatARunDid()
    {
        QFETCH(int, sent);
        QFETCH(int, conflicts);
        QFETCH(QString, line);
        SyncOutcome outcome;
        outcome.tasks.uploaded = sent;
        outcome.memos.conflicts = conflicts;
        QCOMPARE(SyncRun::Summary(outcome), line);
    }

    void aRunThatFailsSaysWhy_data()
    {
        QTest::addColumn<bool>("wrongPassword");
        QTest::addColumn<bool>("noCollection");
        QTest::newRow("wrong password") << true << false;
        QTest::newRow("no collection set") << false << true;
    }
    void aRunThatFailsSaysWhy()
    {
        QFETCH(bool, wrongPassword);
        QFETCH(bool, noCollection);
        const QString path = newDatabase();
        SyncSettings settings{
            m_server.makeCalendar(QStringLiteral("fail%1").arg(m_files)).toString(),
            {},
            m_server.user(),
            0};
        if (noCollection)
            settings.tasksUrl.clear();
        const SyncOutcome outcome = SyncRun::runNow(
            path, settings, wrongPassword ? QStringLiteral("wrong") : m_server.password());
        QVERIFY(!outcome.ok);
        QVERIFY(!outcome.message.isEmpty());
        QVERIFY(SyncRun::Summary(outcome).startsWith(QStringLiteral("Sync failed: ")));
    }
};

QTEST_GUILESS_MAIN(TestSyncSettings)
#include "test_sync_settings.moc"
