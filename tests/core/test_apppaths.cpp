// Where the program keeps its files: the folder named by TASKLUME_HOME, the folder the
// executable lies in when it is the user's own or holds the user's database (never for an
// installed program), or else the user's data folder; where the files it only reads are
// found; "Temp" cleared of what an earlier run left.
#include "common/AppPaths.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;
using AppPaths::FolderKind;

class TestAppPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chooseFolder_data();
    void chooseFolder();
    void systemTree_data();
    void systemTree();
    void tempFolderIsClearedOfLeftovers();
    void factsComeFromTheEnvironment();
    void resourcesComeFromTheNamedFolderOrTheProgram_data();
    void resourcesComeFromTheNamedFolderOrTheProgram();
    void describedFolderSaysWhy();
    void installedProgramReadsTheSharedDataFolder();
    void resourceFoundInTheFirstFolderHoldingIt_data();
    void resourceFoundInTheFirstFolderHoldingIt();
};

void TestAppPaths::chooseFolder_data()
{
    QTest::addColumn<QString>("named");
    QTest::addColumn<bool>("programWritable");
    QTest::addColumn<bool>("programHoldsDatabase");
    QTest::addColumn<bool>("programOwned");
    QTest::addColumn<bool>("programInSystemTree");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<FolderKind>("kind");

    const QString user = QStringLiteral("/home/ann/.local/share/ploxen-tasklume/");
    // TASKLUME_HOME wins over everything, cleaned.
    QTest::newRow("named over a writable program folder")
        << "/srv/lists" << true << true << true << false << "/xdg"
        << "/srv/lists/" << FolderKind::Named;
    QTest::newRow("named over an unwritable program folder")
        << "/srv/lists/../own/" << false << false << false << false << QString() << "/srv/own/"
        << FolderKind::Named;
    QTest::newRow("named over the system tree")
        << "/srv/lists" << true << true << true << true << "/xdg"
        << "/srv/lists/" << FolderKind::Named;
    // A portable copy, a user-owned install, the build folder: as it always was.
    QTest::newRow("writable program folder")
        << QString() << true << false << true << false << "/xdg"
        << "/opt/tasklume/" << FolderKind::Program;
    // A folder that holds the user's database keeps being used.
    QTest::newRow("program folder holding a writable database")
        << QString() << false << true << false << false << "/xdg"
        << "/opt/tasklume/" << FolderKind::Program;
    // A system install.
    QTest::newRow("XDG_DATA_HOME set")
        << QString() << false << false << false << false << "/xdg/data"
        << "/xdg/data/ploxen-tasklume/" << FolderKind::UserData;
    QTest::newRow("XDG_DATA_HOME with a trailing slash")
        << QString() << false << false << false << false << "/xdg/data/"
        << "/xdg/data/ploxen-tasklume/" << FolderKind::UserData;
    QTest::newRow("XDG_DATA_HOME unset") << QString() << false << false << false << false
                                         << QString() << user << FolderKind::UserData;
    // A relative XDG_DATA_HOME is not valid and is ignored.
    QTest::newRow("XDG_DATA_HOME relative")
        << QString() << false << false << false << false << "data" << user << FolderKind::UserData;
    // Root may write the installed program's folder, and still gets a data folder of its own,
    // even when an earlier run left a database beside the program.
    QTest::newRow("system tree writable by its owner (root)")
        << QString() << true << false << true << true << QString() << user << FolderKind::UserData;
    QTest::newRow("system tree holding a database")
        << QString() << true << true << true << true << QString() << user << FolderKind::UserData;
    // A folder the user may write but does not own (a shared install).
    QTest::newRow("writable folder of another user") << QString() << true << false << false << false
                                                     << QString() << user << FolderKind::UserData;
    QTest::newRow("folder of another user holding the user's database")
        << QString() << true << true << false << false << QString() << "/opt/tasklume/"
        << FolderKind::Program;
}

void TestAppPaths::chooseFolder()
{
    QFETCH(QString, named);
    QFETCH(bool, programWritable);
    QFETCH(bool, programHoldsDatabase);
    QFETCH(bool, programOwned);
    QFETCH(bool, programInSystemTree);
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    QFETCH(FolderKind, kind);

    const AppPaths::FolderChoice choice = AppPaths::chooseFolder(
        {named, QStringLiteral("/opt/tasklume/"), programWritable, programHoldsDatabase,
         programOwned, programInSystemTree, dataHome, QStringLiteral("/home/ann")});
    QCOMPARE(choice.folder, expected);
    QCOMPARE(choice.kind, kind);
}

void TestAppPaths::systemTree_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("system");
    QTest::newRow("package") << "/usr/lib/tasklume/" << true;
    QTest::newRow("local install") << "/usr/local/lib/tasklume" << true;
    QTest::newRow("package unpacked elsewhere") << "/tmp/x/root/usr/lib/tasklume/" << true;
    QTest::newRow("opt") << "/opt/tasklume/" << true;
    QTest::newRow("build folder") << "/home/ann/src/tasklume/build/bin/" << false;
    QTest::newRow("user's own install") << "/home/ann/.local/lib/tasklume/" << false;
    QTest::newRow("name holding usr") << "/home/ann/usrtools/tasklume/" << false;
    QTest::newRow("opt lower down") << "/home/ann/opt/tasklume/" << false;
}

void TestAppPaths::systemTree()
{
    QFETCH(QString, folder);
    QFETCH(bool, system);
    QCOMPARE(AppPaths::isSystemTree(folder), system);
}

void TestAppPaths::tempFolderIsClearedOfLeftovers()
{
    // What an earlier run left in "Temp" goes; a link goes itself, what it leads to stays.
    ProgramFolder folder;
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("Temp/kept")));
    const QString outside = folder.file(QStringLiteral("outside.txt"));
    writeFile(outside, "not the program's");
    writeFile(folder.file(QStringLiteral("Temp/Tasks.html")), "<html>");
    writeFile(folder.file(QStringLiteral("Temp/Memos.wyx")), "wyx");
    writeFile(folder.file(QStringLiteral("Temp/.hidden")), "x");
    QVERIFY(QFile::link(outside, folder.file(QStringLiteral("Temp/link.txt"))));
    AppPaths::clearTempFolder();
    QCOMPARE(QDir(folder.file(QStringLiteral("Temp")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("kept")});
    QCOMPARE(readFile(outside), QByteArray("not the program's"));
    // Without a "Temp" folder there is nothing to do.
    QVERIFY(QDir(folder.file(QStringLiteral("Temp"))).removeRecursively());
    AppPaths::clearTempFolder();
    QVERIFY(!QFile::exists(folder.file(QStringLiteral("Temp"))));
}

void TestAppPaths::factsComeFromTheEnvironment()
{
    ProgramFolder folder;
    qputenv("XDG_DATA_HOME", "/xdg/data");
    const AppPaths::FolderFacts facts = AppPaths::currentFacts();
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(facts.named, QDir(folder.path()).path());
    QCOMPARE(facts.dataHome, QStringLiteral("/xdg/data"));
    QCOMPARE(facts.home, QDir::homePath());
    QCOMPARE(facts.programFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    // The build folder this test lies in is the user's and holds no database.
    QVERIFY(facts.programWritable);
    QVERIFY(facts.programOwned);
    QVERIFY(!facts.programInSystemTree);
    QVERIFY(!facts.programHoldsDatabase);
}

void TestAppPaths::resourcesComeFromTheNamedFolderOrTheProgram_data()
{
    QTest::addColumn<bool>("copyInNamedFolder");
    QTest::newRow("copy in the named folder") << true;
    QTest::newRow("only beside the program") << false;
}

void TestAppPaths::resourcesComeFromTheNamedFolderOrTheProgram()
{
    QFETCH(bool, copyInNamedFolder);
    ProgramFolder folder;
    const QString name = QStringLiteral("Images/appIcon.png");
    if (copyInNamedFolder) {
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("Images")));
        writeFile(folder.file(name), "picture");
    }
    QCOMPARE(AppPaths::resource(name),
             copyInNamedFolder ? folder.file(name) : AppPaths::programFolder() + name);
    // The files the program writes stay in the named folder either way.
    QCOMPARE(AppPaths::file(QStringLiteral("wyData.wyb")),
             folder.file(QStringLiteral("wyData.wyb")));
}

void TestAppPaths::installedProgramReadsTheSharedDataFolder()
{
    // The install rules' folders, under any prefix.
    const QString prefix = QStringLiteral("/opt/some prefix/");
    const QString program = prefix + QStringLiteral(TASKLUME_INSTALL_LIBDIR "/tasklume/");
    QCOMPARE(AppPaths::sharedDataFolder(program),
             prefix + QStringLiteral(TASKLUME_INSTALL_DATADIR "/tasklume/"));
    QCOMPARE(AppPaths::sharedDataFolder(program.chopped(1)), AppPaths::sharedDataFolder(program));
}

void TestAppPaths::resourceFoundInTheFirstFolderHoldingIt_data()
{
    QTest::addColumn<QStringList>("holding"); // which of the folders a, b, c hold the file
    QTest::addColumn<QString>("expected");    // the folder of the path found
    QTest::newRow("beside the program")
        << QStringList{QStringLiteral("a"), QStringLiteral("c")} << QStringLiteral("a");
    QTest::newRow("only in the shared data folder")
        << QStringList{QStringLiteral("c")} << QStringLiteral("c");
    QTest::newRow("second and third")
        << QStringList{QStringLiteral("b"), QStringLiteral("c")} << QStringLiteral("b");
    // Nowhere: the first folder's path, for a message that names it.
    QTest::newRow("nowhere") << QStringList() << QStringLiteral("a");
}

void TestAppPaths::resourceFoundInTheFirstFolderHoldingIt()
{
    QFETCH(QStringList, holding);
    QFETCH(QString, expected);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString name = QStringLiteral("Sounds/Alarm.wav");
    QStringList folders;
    for (const QString &letter : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}) {
        folders.append(base.filePath(letter));
        QVERIFY(QDir(base.filePath(letter)).mkpath(QStringLiteral("Sounds")));
        if (holding.contains(letter))
            writeFile(base.filePath(letter + QLatin1Char('/') + name), "RIFF");
    }
    QCOMPARE(AppPaths::findResource(folders, name),
             base.filePath(expected + QLatin1Char('/') + name));
}

void TestAppPaths::describedFolderSaysWhy()
{
    ProgramFolder folder;
    QCOMPARE(AppPaths::describeFolder(),
             QDir::toNativeSeparators(folder.path()) + QStringLiteral(" (named by TASKLUME_HOME)"));
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "test_apppaths.moc"
