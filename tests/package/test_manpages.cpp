// The manual pages against what the programs say of themselves: every command of
// `tasklume-cli --help`, every option of each `tasklume-cli COMMAND --help`, every option and
// variable of `tasklume --help`, and every row of the help's keyboard reference has its entry
// in the page; man reads both pages without a warning.
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

struct Run
{
    int status = -1;
    QString out;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The help names the folder in use; it must not need a display.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

// The lines of a help text's part that starts with heading ("Commands:") up to an empty line.
QStringList part(const QString &help, const QString &heading)
{
    const QStringList lines = help.split(QLatin1Char('\n'));
    const qsizetype start = lines.indexOf(heading);
    QStringList found;
    for (qsizetype i = start + 1; start >= 0 && i < lines.size() && !lines.at(i).isEmpty(); ++i)
        found.append(lines.at(i));
    return found;
}

// A page read back: its sections by heading, each a list of entries (tag and text) of its
// tagged paragraphs, and its whole text, with roff's escapes undone.
struct Page
{
    QMap<QString, QString> sections;
    QMap<QString, QMap<QString, QString>> entries;
};

QString unescape(QString text)
{
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.replace(QStringLiteral("\\&"), QString());
    text.replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    static const QRegularExpression font(QStringLiteral("\\\\f[BIRP]"));
    text.remove(font);
    return text;
}

Page readPage(const QString &path)
{
    Page page;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return page;
    const QString text = QString::fromUtf8(file.readAll());
    const QStringList sections = text.split(QStringLiteral("\n.SH "));
    for (qsizetype i = 1; i < sections.size(); ++i) {
        const QString section = sections.at(i);
        const QString heading =
            unescape(section.section(QLatin1Char('\n'), 0, 0)).remove(QLatin1Char('"'));
        page.sections.insert(heading, unescape(section));
        const QStringList items = section.split(QStringLiteral("\n.TP\n"));
        for (qsizetype j = 1; j < items.size(); ++j) {
            QString tag = items.at(j).section(QLatin1Char('\n'), 0, 0);
            for (const QString &macro :
                 {QStringLiteral(".B "), QStringLiteral(".BR "), QStringLiteral(".BI ")}) {
                if (tag.startsWith(macro))
                    tag = tag.mid(macro.size());
            }
            page.entries[heading].insert(unescape(tag).remove(QLatin1Char('"')).trimmed(),
                                         unescape(items.at(j).section(QLatin1Char('\n'), 1)));
        }
    }
    return page;
}

const QString kCli = QStringLiteral(TASKLUME_CLI);
const QString kProgram = QStringLiteral(TASKLUME_PROGRAM);
const QString kPages = QStringLiteral(TASKLUME_MAN_DIR);

} // namespace

class TestManPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyCommandHasItsEntry_data();
    void everyCommandHasItsEntry();
    void companionOptionsAndVariables();
    void programOptionsAndVariables();
    void programPageHasTheHelpsKeys();
    void programPageTellsOfTrayAndSync();
    void manReadsThePagesWithoutWarnings_data();
    void manReadsThePagesWithoutWarnings();

private:
    Page m_cliPage;
    Page m_programPage;
    QString m_cliHelp;
};

void TestManPages::initTestCase()
{
    m_cliPage = readPage(kPages + QStringLiteral("/tasklume-cli.1"));
    m_programPage = readPage(kPages + QStringLiteral("/tasklume.1"));
    QVERIFY(m_cliPage.sections.contains(QStringLiteral("NAME")));
    QVERIFY(m_programPage.sections.contains(QStringLiteral("NAME")));
    const Run help = run(kCli, {QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    m_cliHelp = help.out;
}

void TestManPages::everyCommandHasItsEntry_data()
{
    QTest::addColumn<QString>("synopsis");
    // "  NAME ARGUMENTS..." lines, each followed by its summary.
    const QStringList lines = part(m_cliHelp, QStringLiteral("Commands:"));
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("  ")) && !line.startsWith(QStringLiteral("   ")))
            QTest::newRow(qPrintable(line.trimmed().section(QLatin1Char(' '), 0, 0)))
                << line.trimmed();
    }
}

void TestManPages::everyCommandHasItsEntry()
{
    QFETCH(QString, synopsis);
    const QMap<QString, QString> commands = m_cliPage.entries.value(QStringLiteral("COMMANDS"));
    QVERIFY2(commands.contains(synopsis), qPrintable(QStringList(commands.keys()).join(u'|')));
    const QString entry = commands.value(synopsis);

    // Each option of the command's own help, in its entry.
    const QString command = synopsis.section(QLatin1Char(' '), 0, 0);
    const Run help = run(kCli, {command, QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    static const QRegularExpression option(QStringLiteral("^  (--[a-z-]+)"));
    for (const QString &line : part(help.out, QStringLiteral("Options:"))) {
        const QRegularExpressionMatch match = option.match(line);
        if (match.hasMatch() && match.captured(1) != QLatin1String("--help"))
            QVERIFY2(entry.contains(match.captured(1)), qPrintable(match.captured(1)));
    }
    // The words of the command's help are those of its entry.
    const QString firstLine = help.out.section(QLatin1Char('\n'), 1, 1);
    QVERIFY2(entry.simplified().contains(firstLine.simplified()), qPrintable(firstLine));
}

void TestManPages::companionOptionsAndVariables()
{
    const QString options = m_cliPage.sections.value(QStringLiteral("OPTIONS"));
    for (const QString &line : part(m_cliHelp, QStringLiteral("Options:"))) {
        const QString tag = line.trimmed().section(QStringLiteral("  "), 0, 0);
        QVERIFY2(options.contains(tag), qPrintable(tag));
    }
    // Every variable the help names, the page explains.
    const QMap<QString, QString> variables = m_cliPage.entries.value(QStringLiteral("ENVIRONMENT"));
    static const QRegularExpression name(QStringLiteral("\\b[A-Z][A-Z0-9]*_[A-Z0-9_]+\\b"));
    auto it = name.globalMatch(m_cliHelp);
    QStringList named;
    while (it.hasNext())
        named.append(it.next().captured());
    QVERIFY(named.contains(QStringLiteral("TASKLUME_SYNC_PASSWORD")));
    for (const QString &variable : named)
        QVERIFY2(variables.contains(variable), qPrintable(variable));
}

void TestManPages::programOptionsAndVariables()
{
    const Run help = run(kProgram, {QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY2(help.out.startsWith(QStringLiteral("Usage: tasklume")), qPrintable(help.out));
    const Run version = run(kProgram, {QStringLiteral("--version")});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith(QStringLiteral("Ploxen Tasklume ")));

    const auto tags = [&help](const QString &heading) {
        QStringList found;
        for (const QString &line : part(help.out, heading)) {
            if (line.startsWith(QStringLiteral("  ")) && !line.startsWith(QStringLiteral("   ")))
                found.append(line.trimmed());
        }
        return found;
    };
    const QStringList options = tags(QStringLiteral("Options:"));
    QVERIFY(options.contains(QStringLiteral("--version")));
    for (const QString &option : options)
        QVERIFY2(m_programPage.entries.value(QStringLiteral("OPTIONS")).contains(option),
                 qPrintable(option));
    const QStringList variables = tags(QStringLiteral("Environment:"));
    QVERIFY(variables.contains(QStringLiteral("TASKLUME_HOME")));
    for (const QString &variable : variables)
        QVERIFY2(m_programPage.entries.value(QStringLiteral("ENVIRONMENT")).contains(variable),
                 qPrintable(variable));
}

void TestManPages::programPageHasTheHelpsKeys()
{
    QFile help(QStringLiteral(TASKLUME_HELP_SOURCE));
    QVERIFY(help.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(help.readAll());
    const QString keysPart =
        html.section(QStringLiteral("<a name=\"keys\">"), 1).section(QStringLiteral("<h2"), 0, 0);
    // The first cell of each row: the keys, as <kbd>Ctrl</kbd>+<kbd>Enter</kbd>.
    static const QRegularExpression row(QStringLiteral("<tr><td>(<kbd>.*?)</td>"),
                                        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    const QMap<QString, QString> keys = m_programPage.entries.value(QStringLiteral("KEYS"));
    auto it = row.globalMatch(keysPart);
    QStringList seen;
    while (it.hasNext()) {
        const QString name = it.next().captured(1).remove(tag).simplified();
        seen.append(name);
        QVERIFY2(keys.contains(name), qPrintable(name));
    }
    QVERIFY(seen.contains(QStringLiteral("Ctrl+F12")));
}

void TestManPages::programPageTellsOfTrayAndSync()
{
    QVERIFY(m_programPage.sections.value(QStringLiteral("TRAY")).contains(QStringLiteral("Exit")));
    QVERIFY(
        m_programPage.sections.value(QStringLiteral("SYNC")).contains(QStringLiteral("CalDAV")));
    const QString files = m_programPage.sections.value(QStringLiteral("FILES")).simplified();
    QVERIFY(files.contains(QStringLiteral("~/.local/share/ploxen-tasklume")));
    QVERIFY(files.contains(QStringLiteral("/usr/share/tasklume/")));
}

void TestManPages::manReadsThePagesWithoutWarnings_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("tasklume") << QStringLiteral("tasklume.1");
    QTest::newRow("tasklume-cli") << QStringLiteral("tasklume-cli.1");
}

void TestManPages::manReadsThePagesWithoutWarnings()
{
    QFETCH(QString, page);
    if (QStandardPaths::findExecutable(QStringLiteral("groff")).isEmpty())
        QSKIP("groff is not installed");
    QProcess groff;
    groff.start(QStringLiteral("groff"),
                {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"),
                 QStringLiteral("-z"), kPages + QLatin1Char('/') + page});
    QVERIFY(groff.waitForFinished(30000));
    QCOMPARE(groff.exitCode(), 0);
    const QByteArray warnings = groff.readAllStandardError();
    QVERIFY2(warnings.isEmpty(), warnings.constData());
}

QTEST_GUILESS_MAIN(TestManPages)
#include "test_manpages.moc"
