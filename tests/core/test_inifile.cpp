// The settings file: defaults, the reading of numbers and booleans, and writes that keep the
// rest of the file and leave it readable by its owner only.
#include "common/IniFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace TestSupport;

class TestIniFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void missingKeysGiveDefaults_data();
    void missingKeysGiveDefaults();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void namesIgnoreCase();
    void crlfFileReads();

    void booleansWrittenAsOneAndZero();
    void writeReplacesKeyInPlace();
    void writeKeepsOtherSectionsAndComments();
    void writeKeepsForeignLinesByteForByte_data();
    void writeKeepsForeignLinesByteForByte();
    void newKeyJoinsItsSection();
    void newSectionAppended();
    void writeMatchesNamesIgnoringCase();
    void createdFileIsOwnerOnly();
    void rewriteMakesFileOwnerOnly();
    void unwritableFolderThrows_data();
    void unwritableFolderThrows();

private:
    QString iniPath() const { return m_folder->file(QStringLiteral("wyConf.ini")); }
    QStringList lines() const
    {
        return QString::fromUtf8(readFile(iniPath())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestIniFile::init()
{
    m_folder = std::make_unique<ProgramFolder>();
}

void TestIniFile::cleanup()
{
    m_folder.reset();
}

void TestIniFile::missingKeysGiveDefaults_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("file without the keys")
        << QByteArray("[option]\nother=5\n[log]\nprivateTasks=3\n");
    QTest::newRow("keys in the wrong section")
        << QByteArray("[memo]\nhintSize=5\naddOpenEn=1\n[option]\nviewRange=2\nviewAscEn=0\n");
    QTest::newRow("keys commented out")
        << QByteArray("[option]\n;hintSize=5\n#addOpenEn=1\n[task]\n; viewAscEn=0\n");
}

void TestIniFile::missingKeysGiveDefaults()
{
    QFETCH(QByteArray, content);
    if (!content.isEmpty())
        writeFile(iniPath(), content);
    const IniFile ini(iniPath());
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20), 20);
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false), false);
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), false),
             false);
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("visitWebEn"), true), true);
    QCOMPARE(ini.readBool(QStringLiteral("task"), QStringLiteral("viewListEn"), false), false);
    QCOMPARE(ini.readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), 0), 0);
    QCOMPARE(ini.readBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), true), true);
    QCOMPARE(ini.readBool(QStringLiteral("memo"), QStringLiteral("viewAscEn"), true), true);
    QCOMPARE(ini.readString(QStringLiteral("option"), QStringLiteral("visitWeb"),
                            QStringLiteral("none")),
             QStringLiteral("none"));
    // Reading never creates the file.
    QCOMPARE(QFile::exists(iniPath()), !content.isEmpty());
}

void TestIniFile::readInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // with the default 20

    QTest::newRow("number") << QStringLiteral("42") << 42;
    QTest::newRow("negative") << QStringLiteral("-3") << -3;
    QTest::newRow("zero") << QStringLiteral("0") << 0;
    QTest::newRow("blanks around") << QStringLiteral("  33  ") << 33;
    QTest::newRow("empty") << QString() << 20;
    QTest::newRow("letters") << QStringLiteral("abc") << 20;
    QTest::newRow("number then letters") << QStringLiteral("12abc") << 20;
    QTest::newRow("decimal point") << QStringLiteral("1.5") << 20;
    QTest::newRow("beyond 32 bits") << QStringLiteral("99999999999") << 20;
}

void TestIniFile::readInteger()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    writeFile(iniPath(),
              (QStringLiteral("[option]\nhintSize=") + text + QLatin1Char('\n')).toUtf8());
    QCOMPARE(
        IniFile(iniPath()).readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20),
        expected);
}

void TestIniFile::readBool_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withDefaultFalse");
    QTest::addColumn<bool>("withDefaultTrue");

    QTest::newRow("1") << QStringLiteral("1") << true << true;
    QTest::newRow("0") << QStringLiteral("0") << false << false;
    QTest::newRow("7") << QStringLiteral("7") << true << true;
    QTest::newRow("-1") << QStringLiteral("-1") << true << true;
    QTest::newRow("empty") << QString() << false << true;
    QTest::newRow("abc") << QStringLiteral("abc") << false << true;
    QTest::newRow("12abc") << QStringLiteral("12abc") << false << true;
    // Words are not numbers: only the default counts.
    QTest::newRow("true") << QStringLiteral("true") << false << true;
    QTest::newRow("false") << QStringLiteral("false") << false << true;
}

void TestIniFile::readBool()
{
    QFETCH(QString, text);
    QFETCH(bool, withDefaultFalse);
    QFETCH(bool, withDefaultTrue);
    writeFile(iniPath(),
              (QStringLiteral("[task]\nviewAscEn=") + text + QLatin1Char('\n')).toUtf8());
    const IniFile ini(iniPath());
    QCOMPARE(ini.readBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), false),
             withDefaultFalse);
    QCOMPARE(ini.readBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), true),
             withDefaultTrue);
}

void TestIniFile::namesIgnoreCase()
{
    writeFile(iniPath(), "[OPTION]\nHINTSIZE=33\n[Task]\nViewRange=2\n");
    const IniFile ini(iniPath());
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20), 33);
    QCOMPARE(ini.readInteger(QStringLiteral("task"), QStringLiteral("viewrange"), 0), 2);
    QCOMPARE(ini.readInteger(QStringLiteral("TASK"), QStringLiteral("VIEWRANGE"), 0), 2);
}

void TestIniFile::crlfFileReads()
{
    writeFile(iniPath(), "; written elsewhere\r\n[option]\r\nhintSize=33\r\naddOpenEn=1\r\n"
                         "visitWeb=2024-05-01T08:00:00\r\n\r\n[task]\r\nviewRange=2\r\n");
    const IniFile ini(iniPath());
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20), 33);
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false), true);
    QCOMPARE(ini.readString(QStringLiteral("option"), QStringLiteral("visitWeb"), QString()),
             QStringLiteral("2024-05-01T08:00:00"));
    QCOMPARE(ini.readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), 0), 2);

    // A write into such a file keeps every other value readable.
    ini.writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 40);
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 20), 40);
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false), true);
    QCOMPARE(ini.readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), 0), 2);
}

void TestIniFile::booleansWrittenAsOneAndZero()
{
    const IniFile ini(iniPath());
    ini.writeBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), true);
    ini.writeBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), false);
    QCOMPARE(lines(), (QStringList{QStringLiteral("[option]"), QStringLiteral("addOpenEn=1"),
                                   QStringLiteral("runMinimizedEn=0")}));
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), false), true);
    QCOMPARE(ini.readBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), true), false);
}

void TestIniFile::writeReplacesKeyInPlace()
{
    writeFile(iniPath(), "[option]\nhintSize=20\naddOpenEn=0\n[task]\nhintSize=7\n");
    IniFile(iniPath()).writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 35);
    QCOMPARE(lines(), (QStringList{QStringLiteral("[option]"), QStringLiteral("hintSize=35"),
                                   QStringLiteral("addOpenEn=0"), QStringLiteral("[task]"),
                                   QStringLiteral("hintSize=7")}));
}

void TestIniFile::writeKeepsOtherSectionsAndComments()
{
    const QByteArray before = "; Ploxen Tasklume settings\n"
                              "[form]\n"
                              "Left=10\n"
                              "Top=20\n"
                              "\n"
                              "# window placement above\n"
                              "[option]\n"
                              "; size of the tray hint\n"
                              "hintSize=20\n"
                              "visitWeb=2024-05-01T08:00:00\n"
                              "\n"
                              "[log]\n"
                              "privateTasks=4\n";
    writeFile(iniPath(), before);
    IniFile(iniPath()).writeString(QStringLiteral("option"), QStringLiteral("hintSize"),
                                   QStringLiteral("25"));
    QByteArray expected = before;
    expected.replace("hintSize=20", "hintSize=25");
    QCOMPARE(readFile(iniPath()), expected);
}

void TestIniFile::writeKeepsForeignLinesByteForByte_data()
{
    // The file before, and after hintSize was written as 25.
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("comment in Latin-1")
        << QByteArray("; r\xE9glages du caf\xE9\n[option]\nhintSize=20\n")
        << QByteArray("; r\xE9glages du caf\xE9\n[option]\nhintSize=25\n");
    QTest::newRow("value in another encoding, other key")
        << QByteArray("[option]\nname=M\xFCller\x80\nhintSize=20\n")
        << QByteArray("[option]\nname=M\xFCller\x80\nhintSize=25\n");
    QTest::newRow("CR LF line ends")
        << QByteArray("; settings\r\n[option]\r\nhintSize=20\r\n[log]\r\nprivateTasks=4\r\n")
        << QByteArray("; settings\r\n[option]\r\nhintSize=25\r\n[log]\r\nprivateTasks=4\r\n");
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[option]\nhintSize=20\n")
                                     << QByteArray("\xEF\xBB\xBF[option]\nhintSize=25\n");
    QTest::newRow("new key after a CR LF line")
        << QByteArray("[option]\r\naddOpenEn=1\r\n; caf\xE9\r\n")
        << QByteArray("[option]\r\naddOpenEn=1\r\nhintSize=25\r\n; caf\xE9\r\n");
    QTest::newRow("last line without its end")
        << QByteArray("; caf\xE9\n[log]\nprivateTasks=4")
        << QByteArray("; caf\xE9\n[log]\nprivateTasks=4\n\n[option]\nhintSize=25\n");
}

void TestIniFile::writeKeepsForeignLinesByteForByte()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    writeFile(iniPath(), before);
    const IniFile ini(iniPath());
    ini.writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 25);
    QCOMPARE(readFile(iniPath()), after);
    QCOMPARE(ini.readInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 0), 25);
}

void TestIniFile::newKeyJoinsItsSection()
{
    writeFile(iniPath(), "[option]\nhintSize=20\n\n[log]\nprivateTasks=4\n");
    IniFile(iniPath()).writeBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), true);
    QCOMPARE(readFile(iniPath()),
             QByteArray("[option]\nhintSize=20\naddOpenEn=1\n\n[log]\nprivateTasks=4\n"));
}

void TestIniFile::newSectionAppended()
{
    writeFile(iniPath(), "[option]\nhintSize=20\n");
    const IniFile ini(iniPath());
    ini.writeInteger(QStringLiteral("log"), QStringLiteral("privateTasks"), 6);
    ini.writeInteger(QStringLiteral("log"), QStringLiteral("publicTasks"), 0);
    QCOMPARE(readFile(iniPath()),
             QByteArray("[option]\nhintSize=20\n\n[log]\nprivateTasks=6\npublicTasks=0\n"));
}

void TestIniFile::writeMatchesNamesIgnoringCase()
{
    writeFile(iniPath(), "[OPTION]\nHintSize=20\n");
    IniFile(iniPath()).writeInteger(QStringLiteral("option"), QStringLiteral("hintsize"), 30);
    const QStringList written = lines();
    QCOMPARE(written.size(), 2); // no second section, no second key
    QCOMPARE(written.first(), QStringLiteral("[OPTION]"));
    QCOMPARE(
        IniFile(iniPath()).readInteger(QStringLiteral("Option"), QStringLiteral("HINTSIZE"), 0),
        30);
}

void TestIniFile::createdFileIsOwnerOnly()
{
    QVERIFY(!QFile::exists(iniPath()));
    IniFile(iniPath()).writeInteger(QStringLiteral("log"), QStringLiteral("privateTasks"), 1);
    QCOMPARE(fileMode(iniPath()), 0600);
    IniFile(iniPath()).writeInteger(QStringLiteral("log"), QStringLiteral("privateTasks"), 2);
    QCOMPARE(fileMode(iniPath()), 0600);
}

void TestIniFile::rewriteMakesFileOwnerOnly()
{
    // A file that came with looser rights is owner-only after the program's first write.
    writeFile(iniPath(), "[option]\nhintSize=20\n");
    QVERIFY(QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(fileMode(iniPath()), 0644);
    IniFile(iniPath()).writeInteger(QStringLiteral("option"), QStringLiteral("hintSize"), 21);
    QCOMPARE(fileMode(iniPath()), 0600);
}

void TestIniFile::unwritableFolderThrows_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("folder missing") << QStringLiteral("missing/wyConf.ini");
    QTest::newRow("folder is a file") << QStringLiteral("plainfile/wyConf.ini");
}

void TestIniFile::unwritableFolderThrows()
{
    QFETCH(QString, relativePath);
    writeFile(m_folder->file(QStringLiteral("plainfile")), "not a folder");
    const QString path = m_folder->file(relativePath);
    const IniFile ini(path);
    bool thrown = false;
    try {
        ini.writeInteger(QStringLiteral("log"), QStringLiteral("privateTasks"), 1);
    } catch (const TasklumeError &error) {
        thrown = true;
        QVERIFY2(error.text().contains(path), qPrintable(error.text()));
    }
    QVERIFY(thrown);
    QVERIFY(!QFile::exists(path));
    QVERIFY(!QDir(m_folder->file(QStringLiteral("missing"))).exists()); // no folder made
    // Reading the same place still gives the default.
    QCOMPARE(ini.readInteger(QStringLiteral("log"), QStringLiteral("privateTasks"), -5), -5);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
