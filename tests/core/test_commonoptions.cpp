// The start-up options of the settings file, the update prompt's day rule, the maker's web
// addresses and the autostart entry.
#include "app/AutoStart.h"
#include "app/CommonOptions.h"
#include "common/IniFile.h"
#include "common/Texts.h"
#include "interchange/XmlDateTime.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace TestSupport;

namespace {
// A fixed moment for the rules: 2024-03-15 12:00 local time.
const TDateTime kNow = DateTimeToDays(QDateTime(QDate(2024, 3, 15), QTime(12, 0)));
constexpr double kOneSecond = 1.0 / 86400.0;

const QString kOption = QStringLiteral("option");
} // namespace

class TestCommonOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void defaultsWithoutSettingsFile();
    void firstStartWritesVisitWeb();
    void unusableVisitWebCountsAsMissing_data();
    void unusableVisitWebCountsAsMissing();
    void storedOptionsAreRead_data();
    void storedOptionsAreRead();

    void wholeDays_data();
    void wholeDays();
    void updatePromptRule_data();
    void updatePromptRule();
    void promptRuleThroughTheSettingsFile_data();
    void promptRuleThroughTheSettingsFile();

    void makeWebUrl_data();
    void makeWebUrl();
    void addressesStayOnTheExampleDomain();

    void entryPathFollowsXdgConfigHome_data();
    void entryPathFollowsXdgConfigHome();
    void autoStartOnWritesTheEntry();
    void autoStartOnMakesTheFolder();
    void autoStartIconExists_data();
    void autoStartIconExists();
    void autoStartLeavesAnExistingEntryAlone();
    void autoStartOffRemovesTheEntry();
    void autoStartOffWithoutEntry();
    void earlierEntryIsRenewed_data();
    void earlierEntryIsRenewed();
    void execValue_data();
    void execValue();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QTemporaryDir> m_config;
    IniFile ini() const { return IniFile(m_folder->file(QStringLiteral("wyConf.ini"))); }
    QString entryPath() const
    {
        return m_config->path() + QStringLiteral("/autostart/Ploxen Tasklume.desktop");
    }
};

void TestCommonOptions::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
}

void TestCommonOptions::cleanup()
{
    m_config.reset();
    m_folder.reset();
}

void TestCommonOptions::defaultsWithoutSettingsFile()
{
    const CommonOptions::StartupOptions options = CommonOptions::ReadStartupOptions(ini(), kNow);
    QVERIFY(options.visitWebEn);
    QVERIFY(!options.runMinimized);
    QVERIFY(options.visitWebMissing);
    QCOMPARE(options.lastWebVisit, kNow);
    // Reading writes nothing.
    QVERIFY(!QFile::exists(ini().path()));
}

void TestCommonOptions::firstStartWritesVisitWeb()
{
    CommonOptions::NoteWebVisit(ini(), kNow);
    const QString text = ini().readString(kOption, QStringLiteral("visitWeb"), QString());
    QCOMPARE(text, DateTimeToXmlText(kNow));
    const CommonOptions::StartupOptions next = CommonOptions::ReadStartupOptions(ini(), kNow + 5);
    QVERIFY(!next.visitWebMissing);
    QVERIFY(std::abs(next.lastWebVisit - kNow) < kOneSecond);
    // Next start: the prompt waits for its full period.
    QVERIFY(!CommonOptions::IsUpdatePromptDue(next.visitWebEn, next.lastWebVisit, kNow + 90));
    QVERIFY(CommonOptions::IsUpdatePromptDue(next.visitWebEn, next.lastWebVisit, kNow + 91));
}

void TestCommonOptions::unusableVisitWebCountsAsMissing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("not a date") << QStringLiteral("yesterday");
    QTest::newRow("cut short") << QStringLiteral("2024-03-1");
    QTest::newRow("month 13") << QStringLiteral("2024-13-01T00:00:00.000Z");
}

void TestCommonOptions::unusableVisitWebCountsAsMissing()
{
    QFETCH(QString, text);
    ini().writeString(kOption, QStringLiteral("visitWeb"), text);
    const CommonOptions::StartupOptions options = CommonOptions::ReadStartupOptions(ini(), kNow);
    QVERIFY(options.visitWebMissing);
    QCOMPARE(options.lastWebVisit, kNow);
}

void TestCommonOptions::storedOptionsAreRead_data()
{
    QTest::addColumn<QString>("visitWebEn");
    QTest::addColumn<QString>("runMinimizedEn");
    QTest::addColumn<bool>("expectVisitWebEn");
    QTest::addColumn<bool>("expectRunMinimized");

    QTest::newRow("zero and one") << QStringLiteral("0") << QStringLiteral("1") << false << true;
    QTest::newRow("one and zero") << QStringLiteral("1") << QStringLiteral("0") << true << false;
    QTest::newRow("any non-zero is true")
        << QStringLiteral("7") << QStringLiteral("-2") << true << true;
    QTest::newRow("not a number gives the defaults")
        << QStringLiteral("yes") << QStringLiteral("on") << true << false;
}

void TestCommonOptions::storedOptionsAreRead()
{
    QFETCH(QString, visitWebEn);
    QFETCH(QString, runMinimizedEn);
    QFETCH(bool, expectVisitWebEn);
    QFETCH(bool, expectRunMinimized);
    ini().writeString(kOption, QStringLiteral("visitWebEn"), visitWebEn);
    ini().writeString(kOption, QStringLiteral("runMinimizedEn"), runMinimizedEn);
    ini().writeString(kOption, QStringLiteral("visitWeb"),
                      QStringLiteral("2023-12-01T08:30:00.000Z"));
    const CommonOptions::StartupOptions options = CommonOptions::ReadStartupOptions(ini(), kNow);
    QCOMPARE(options.visitWebEn, expectVisitWebEn);
    QCOMPARE(options.runMinimized, expectRunMinimized);
    QVERIFY(!options.visitWebMissing);
    QCOMPARE(options.lastWebVisit, *XmlTextToDateTime(QStringLiteral("2023-12-01T08:30:00.000Z")));
}

void TestCommonOptions::wholeDays_data()
{
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("days");
    QTest::newRow("none") << 0.0 << 0;
    QTest::newRow("a second short of a day") << 1.0 - kOneSecond << 0;
    QTest::newRow("one day") << 1.0 << 1;
    QTest::newRow("90 days and 23 hours") << 90.0 + 23.0 / 24.0 << 90;
    QTest::newRow("91 days") << 91.0 << 91;
    QTest::newRow("backwards counts the same") << -91.5 << 91;
}

void TestCommonOptions::wholeDays()
{
    QFETCH(double, span);
    QFETCH(int, days);
    QCOMPARE(CommonOptions::WholeDaysBetween(kNow, kNow + span), days);
    QCOMPARE(CommonOptions::WholeDaysBetween(kNow + span, kNow), days);
}

void TestCommonOptions::updatePromptRule_data()
{
    QTest::addColumn<bool>("visitWebEn");
    QTest::addColumn<double>("daysAgo");
    QTest::addColumn<bool>("due");
    QTest::newRow("just visited") << true << 0.0 << false;
    QTest::newRow("exactly 90 days") << true << 90.0 << false;
    QTest::newRow("90 days and a half") << true << 90.5 << false;
    QTest::newRow("91 days") << true << 91.0 << true;
    QTest::newRow("a year") << true << 365.0 << true;
    QTest::newRow("91 days, asked not to") << false << 91.0 << false;
    QTest::newRow("91 days ahead (clock was wrong)") << true << -91.0 << true;
}

void TestCommonOptions::updatePromptRule()
{
    QFETCH(bool, visitWebEn);
    QFETCH(double, daysAgo);
    QFETCH(bool, due);
    QCOMPARE(CommonOptions::IsUpdatePromptDue(visitWebEn, kNow - daysAgo, kNow), due);
}

void TestCommonOptions::promptRuleThroughTheSettingsFile_data()
{
    QTest::addColumn<int>("daysAgo");
    QTest::addColumn<bool>("due");
    QTest::newRow("90") << 90 << false;
    QTest::newRow("91") << 91 << true;
}

void TestCommonOptions::promptRuleThroughTheSettingsFile()
{
    // The time stamp goes through its text with its zone, as at a real start.
    QFETCH(int, daysAgo);
    QFETCH(bool, due);
    CommonOptions::NoteWebVisit(ini(), kNow - daysAgo);
    const CommonOptions::StartupOptions options = CommonOptions::ReadStartupOptions(ini(), kNow);
    QCOMPARE(CommonOptions::IsUpdatePromptDue(options.visitWebEn, options.lastWebVisit, kNow), due);
}

void TestCommonOptions::makeWebUrl_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("tasks");
    QTest::addColumn<int>("memos");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty lists") << 0 << 0 << 0
                                 << QStringLiteral("https://ploxen.example.com/index.htm"
                                                   "?id=s-p-y-0&t=0-0&m=0-0");
    QTest::newRow("counts") << 91 << 1234 << 56
                            << QStringLiteral("https://ploxen.example.com/index.htm"
                                              "?id=s-p-y-91&t=1234-0&m=56-0");
}

void TestCommonOptions::makeWebUrl()
{
    QFETCH(int, days);
    QFETCH(int, tasks);
    QFETCH(int, memos);
    QFETCH(QString, expected);
    const QString address = CommonOptions::WebPageAddress(CommonOptions::HomePage);
    const QString url = CommonOptions::MakeWebUrl(address, days, tasks, memos);
    QCOMPARE(url, expected);
    // The desktop receives it as it is.
    QCOMPARE(QUrl(url).toString(), expected);
}

void TestCommonOptions::addressesStayOnTheExampleDomain()
{
    // The counts the pages receive must reach nobody real.
    for (const QString &page : {CommonOptions::HomePage, CommonOptions::ResourcesPage}) {
        const QUrl url(CommonOptions::WebPageAddress(page));
        QCOMPARE(url.host(), QStringLiteral("ploxen.example.com"));
        QCOMPARE(url.scheme(), QStringLiteral("https"));
    }
    QCOMPARE(CommonOptions::WebPageAddress(CommonOptions::ResourcesPage),
             QStringLiteral("https://ploxen.example.com/resources.htm"));
    for (const QString &mail : {CommonOptions::SupportMail, CommonOptions::SalesMail}) {
        QVERIFY(mail.endsWith(QStringLiteral("@ploxen.example.com")));
        const QUrl link(CommonOptions::MailLink(mail));
        QCOMPARE(link.scheme(), QStringLiteral("mailto"));
        QCOMPARE(link.path(), mail);
    }
}

void TestCommonOptions::entryPathFollowsXdgConfigHome_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<bool>("useHome");
    QTest::newRow("absolute XDG_CONFIG_HOME") << QStringLiteral("/tmp/h10-some/config") << false;
    QTest::newRow("trailing slash") << QStringLiteral("/tmp/h10-some/config/") << false;
    QTest::newRow("unset") << QString() << true;
    QTest::newRow("relative is ignored") << QStringLiteral("rel/config") << true;
}

void TestCommonOptions::entryPathFollowsXdgConfigHome()
{
    QFETCH(QString, config);
    QFETCH(bool, useHome);
    if (config.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    const QString expected = (useHome ? QDir::homePath() + QStringLiteral("/.config")
                                      : QStringLiteral("/tmp/h10-some/config")) +
                             QStringLiteral("/autostart/Ploxen Tasklume.desktop");
    QCOMPARE(AutoStart::EntryPath(), expected);
}

void TestCommonOptions::autoStartOnWritesTheEntry()
{
    QCOMPARE(AutoStart::EntryPath(), entryPath());
    QVERIFY(!AutoStart::IsOn(entryPath()));
    AutoStart::Set(true, QStringLiteral("/opt/tasklume/bin/tasklume"), entryPath());
    QVERIFY(AutoStart::IsOn(entryPath()));
    const QString text = QString::fromUtf8(readFile(entryPath()));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Name=Ploxen Tasklume")));
    QVERIFY(lines.contains(QStringLiteral("Exec=/opt/tasklume/bin/tasklume")));
    // A removed program is not started at log-in: the desktop checks TryExec first.
    QVERIFY(lines.contains(QStringLiteral("TryExec=/opt/tasklume/bin/tasklume")));

    // TryExec is a plain path, not a quoted command line.
    QVERIFY(QFile::remove(entryPath()));
    AutoStart::Set(true, QStringLiteral("/home/a b/100%/tasklume"), entryPath());
    const QStringList spaced = QString::fromUtf8(readFile(entryPath())).split(QLatin1Char('\n'));
    QVERIFY2(spaced.contains(QStringLiteral("TryExec=/home/a b/100%/tasklume")),
             qPrintable(spaced.join(QLatin1Char('|'))));
}

void TestCommonOptions::autoStartIconExists_data()
{
    // Paths below a temporary folder: the program, and the data folders the desktop looks
    // for icons in (XDG_DATA_HOME first).
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("dataDirs");
    QTest::addColumn<QString>("themeIcon"); // installed theme icon, empty for none
    QTest::addColumn<QString>("icon");      // expected Icon value; "tasklume" or a path
    const QString program = QStringLiteral("/tasklume");
    QTest::newRow("build folder") << QStringLiteral("build/bin") + program
                                  << QStringList{QStringLiteral("home/share")} << QString()
                                  << QStringLiteral("build/bin/Images/appIcon.png");
    QTest::newRow("build folder, installed copy elsewhere")
        << QStringLiteral("build/bin") + program << QStringList{QStringLiteral("usr/share")}
        << QStringLiteral("usr/share/icons/hicolor/256x256/apps/tasklume.png")
        << QStringLiteral("build/bin/Images/appIcon.png");
    QTest::newRow("installed") << QStringLiteral("usr/lib/tasklume") + program
                               << QStringList{QStringLiteral("home/share"),
                                              QStringLiteral("usr/share")}
                               << QStringLiteral("usr/share/icons/hicolor/48x48/apps/tasklume.png")
                               << QStringLiteral("tasklume");
    QTest::newRow("installed, multiarch library folder")
        << QStringLiteral("usr/lib/x86_64-linux-gnu/tasklume") + program
        << QStringList{QStringLiteral("usr/share")}
        << QStringLiteral("usr/share/icons/hicolor/256x256/apps/tasklume.png")
        << QStringLiteral("tasklume");
    QTest::newRow("installed where the desktop does not look")
        << QStringLiteral("opt/p/lib/tasklume") + program
        << QStringList{QStringLiteral("usr/share")}
        << QStringLiteral("opt/p/share/icons/hicolor/256x256/apps/tasklume.png")
        << QStringLiteral("opt/p/lib/tasklume/Images/appIcon.png");
}

void TestCommonOptions::autoStartIconExists()
{
    QFETCH(QString, program);
    QFETCH(QStringList, dataDirs);
    QFETCH(QString, themeIcon);
    QFETCH(QString, icon);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    auto at = [&](const QString &relative) { return root.filePath(relative); };
    QVERIFY(QDir().mkpath(QFileInfo(at(program)).absolutePath() + QStringLiteral("/Images")));
    writeFile(at(program), "#!/bin/sh\n");
    writeFile(QFileInfo(at(program)).absolutePath() + QStringLiteral("/Images/appIcon.png"), "png");
    if (!themeIcon.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(at(themeIcon)).absolutePath()));
        writeFile(at(themeIcon), "png");
    }
    for (QString &dir : dataDirs)
        dir = at(dir);
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", dataDirs.first().toLocal8Bit());
    qputenv("XDG_DATA_DIRS", dataDirs.mid(1).join(QLatin1Char(':')).toLocal8Bit());
    AutoStart::Set(true, at(program), entryPath());
    qputenv("XDG_DATA_HOME", oldHome);
    qputenv("XDG_DATA_DIRS", oldDirs);

    const QStringList lines = QString::fromUtf8(readFile(entryPath())).split(QLatin1Char('\n'));
    const QString expected = icon == QLatin1String("tasklume") ? icon : at(icon);
    QVERIFY2(lines.contains(QStringLiteral("Icon=") + expected),
             qPrintable(lines.join(QLatin1Char('|'))));
    // What it names exists: the picture itself, or the theme's icon.
    QVERIFY(QFileInfo::exists(icon == QLatin1String("tasklume") ? at(themeIcon) : expected));
}

void TestCommonOptions::autoStartOnMakesTheFolder()
{
    QVERIFY(!QFileInfo::exists(m_config->path() + QStringLiteral("/autostart")));
    AutoStart::Set(true, QStringLiteral("/usr/bin/tasklume"), entryPath());
    QVERIFY(QFileInfo(m_config->path() + QStringLiteral("/autostart")).isDir());
    QVERIFY(AutoStart::IsOn(entryPath()));
}

void TestCommonOptions::autoStartLeavesAnExistingEntryAlone()
{
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    const QByteArray other = "[Desktop Entry]\nType=Application\nName=Ploxen Tasklume\n"
                             "Exec=/somewhere/else/tasklume\n";
    writeFile(entryPath(), other);
    QVERIFY(AutoStart::IsOn(entryPath()));
    AutoStart::Set(true, QStringLiteral("/usr/bin/tasklume"), entryPath());
    QCOMPARE(readFile(entryPath()), other);
}

void TestCommonOptions::autoStartOffRemovesTheEntry()
{
    // Whatever program the entry names.
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    writeFile(entryPath(), "[Desktop Entry]\nExec=/somewhere/else/tasklume\n");
    const QString neighbour = m_config->path() + QStringLiteral("/autostart/other.desktop");
    writeFile(neighbour, "[Desktop Entry]\n");
    AutoStart::Set(false, QStringLiteral("/usr/bin/tasklume"), entryPath());
    QVERIFY(!AutoStart::IsOn(entryPath()));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(QFile::exists(neighbour));
}

void TestCommonOptions::autoStartOffWithoutEntry()
{
    AutoStart::Set(false, QStringLiteral("/usr/bin/tasklume"), entryPath());
    QVERIFY(!AutoStart::IsOn(entryPath()));
    // Turning it off makes no folder.
    QVERIFY(!QFileInfo::exists(m_config->path() + QStringLiteral("/autostart")));
}

void TestCommonOptions::earlierEntryIsRenewed_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no entry
    QTest::addColumn<bool>("renewed");
    const QByteArray program = "/opt/tasklume/bin/tasklume";
    QTest::newRow("ours, without TryExec")
        << QByteArray("[Desktop Entry]\nType=Application\nName=Ploxen Tasklume\nExec=" + program +
                      "\nIcon=tasklume\nTerminal=false\n")
        << true;
    QTest::newRow("ours, with TryExec")
        << QByteArray("[Desktop Entry]\nExec=" + program + "\nTryExec=" + program + "\n# mine\n")
        << false;
    QTest::newRow("another program's")
        << QByteArray("[Desktop Entry]\nExec=/somewhere/else/tasklume\n") << false;
    QTest::newRow("none") << QByteArray() << false;
}

void TestCommonOptions::earlierEntryIsRenewed()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, renewed);
    const QString program = QStringLiteral("/opt/tasklume/bin/tasklume");
    if (!before.isEmpty()) {
        QVERIFY(QDir().mkpath(m_config->path() + QStringLiteral("/autostart")));
        writeFile(entryPath(), before);
    }
    AutoStart::Renew(program, entryPath());
    if (before.isEmpty()) {
        QVERIFY(!QFileInfo::exists(entryPath()));
        return;
    }
    const QByteArray after = readFile(entryPath());
    if (renewed)
        QCOMPARE(QString::fromUtf8(after), AutoStart::EntryText(program));
    else
        QCOMPARE(after, before);
}

void TestCommonOptions::execValue_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QStringLiteral("/usr/bin/tasklume")
                           << QStringLiteral("/usr/bin/tasklume");
    QTest::newRow("space") << QStringLiteral("/home/a b/tasklume")
                           << QStringLiteral("\"/home/a b/tasklume\"");
    QTest::newRow("dollar and quote")
        << QStringLiteral("/x/$HOME\"q/t") << QStringLiteral("\"/x/\\\\$HOME\\\\\"q/t\"");
    QTest::newRow("backslash") << QStringLiteral("/x/a\\b") << QStringLiteral("\"/x/a\\\\\\\\b\"");
    QTest::newRow("per cent") << QStringLiteral("/x/100%/t") << QStringLiteral("/x/100%%/t");
}

void TestCommonOptions::execValue()
{
    QFETCH(QString, path);
    QFETCH(QString, value);
    QCOMPARE(AutoStart::ExecValue(path), value);
}

QTEST_GUILESS_MAIN(TestCommonOptions)
#include "test_commonoptions.moc"
