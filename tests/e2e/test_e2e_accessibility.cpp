// The real program as a screen reader sees it: run with the accessibility bus on, its
// accessible tree is read through AT-SPI (python3-pyatspi) after real keys opened the window's
// parts, menus and dialogs. Every showing control a user can reach has a name, rows tell their
// due date, overdue state and reminder, menus carry their keys apart from the captions, and
// the keyboard reaches the search box, the sort direction and the edited row after a
// dialog's own question.
#include "common/pU_Funcs.h"
#include "E2eSupport.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
const QString kPython = QStringLiteral("/usr/bin/python3");

// One node of the accessible tree as the walker printed it.
struct Node
{
    QString path, window, role, name, description, key;
    bool focusable = false, focused = false;
    QStringList labelledBy;
};

// The roles a user operates; with the focusable ones they must carry a name.
bool isInteractive(const Node &node)
{
    static const QStringList roles{
        QStringLiteral("push button"),
        QStringLiteral("toggle button"),
        QStringLiteral("check box"),
        QStringLiteral("radio button"),
        QStringLiteral("combo box"),
        QStringLiteral("text"),
        QStringLiteral("entry"),
        QStringLiteral("password text"),
        QStringLiteral("spin button"),
        QStringLiteral("slider"),
        QStringLiteral("page tab"),
        QStringLiteral("menu item"),
        QStringLiteral("check menu item"),
        QStringLiteral("radio menu item"),
        QStringLiteral("tree"),
        QStringLiteral("tree table"),
        QStringLiteral("table"),
        QStringLiteral("list"),
        QStringLiteral("list box"),
        QStringLiteral("table cell"),
        QStringLiteral("tree item"),
        QStringLiteral("list item"),
        QStringLiteral("date editor"),
    };
    return node.focusable || roles.contains(node.role);
}

QString describe(const Node &node)
{
    return QStringLiteral("%1 [%2] in \"%3\" at %4")
        .arg(node.name.isEmpty() ? QStringLiteral("(no name)") : node.name, node.role, node.window,
             node.path);
}
} // namespace

class TestE2eAccessibility : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mainWindowNamesEveryControl();
    void rowsTellDueDateOverdueAndReminder();
    void menusShowTheirKeysApart();
    void dialogsNameEveryControl_data();
    void dialogsNameEveryControl();
    void ctrlFPutsTheFocusIntoTheSearchBox();
    void sortDirectionHasAKey();
    void focusReturnsToTheRowAfterThePastDateQuestion();
    void memoListNamesEveryControl();
    void cleanupTestCase();

private:
    // The tree now, read by the walker; empty (and a failed check) when it could not read it.
    QList<Node> readTree() const;
    // Reads the tree until check accepts it or the time runs out; the last reading.
    QList<Node> readTreeUntil(const std::function<bool(const QList<Node> &)> &check,
                              int timeoutMs = 10000) const;
    static QStringList unnamed(const QList<Node> &nodes, const QString &window = {});
    static const Node *find(const QList<Node> &nodes, const QString &role, const QString &name);
    static const Node *focused(const QList<Node> &nodes, const QString &role);
    void keys(const QStringList &names) const;
    // Puts the focus on the list with its first row current and selected.
    void focusFirstRow() const;

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<QProcess> m_bus;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
};

QList<Node> TestE2eAccessibility::readTree() const
{
    QProcess walker;
    walker.setProcessEnvironment(m_session->environment());
    walker.start(kPython, {QStringLiteral(TASKLUME_ATSPI_WALKER), kTitle, QStringLiteral("10")});
    if (!walker.waitForFinished(60000) || walker.exitCode() != 0) {
        qWarning("walker: %s", walker.readAllStandardError().constData());
        walker.kill();
        walker.waitForFinished(3000);
        return {};
    }
    QList<Node> nodes;
    const QList<QByteArray> lines = walker.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        Node node;
        node.path = o.value(QStringLiteral("path")).toString();
        node.window = o.value(QStringLiteral("window")).toString();
        node.role = o.value(QStringLiteral("role")).toString();
        node.name = o.value(QStringLiteral("name")).toString();
        node.description = o.value(QStringLiteral("description")).toString();
        node.key = o.value(QStringLiteral("key")).toString();
        node.focusable = o.value(QStringLiteral("focusable")).toBool();
        node.focused = o.value(QStringLiteral("focused")).toBool();
        for (const QJsonValue &label : o.value(QStringLiteral("labelledBy")).toArray())
            node.labelledBy.append(label.toString());
        nodes.append(node);
    }
    return nodes;
}

QList<Node>
TestE2eAccessibility::readTreeUntil(const std::function<bool(const QList<Node> &)> &check,
                                    int timeoutMs) const
{
    QElapsedTimer waited;
    waited.start();
    QList<Node> nodes = readTree();
    while (!check(nodes) && waited.elapsed() < timeoutMs) {
        QTest::qWait(200);
        nodes = readTree();
    }
    return nodes;
}

QStringList TestE2eAccessibility::unnamed(const QList<Node> &nodes, const QString &window)
{
    QStringList found;
    for (const Node &node : nodes) {
        if (!window.isEmpty() && node.window != window)
            continue;
        if (isInteractive(node) && node.name.trimmed().isEmpty())
            found.append(describe(node));
    }
    return found;
}

const Node *TestE2eAccessibility::find(const QList<Node> &nodes, const QString &role,
                                       const QString &name)
{
    for (const Node &node : nodes) {
        if (node.role == role && node.name == name)
            return &node;
    }
    return nullptr;
}

const Node *TestE2eAccessibility::focused(const QList<Node> &nodes, const QString &role)
{
    for (const Node &node : nodes) {
        if (node.focused && node.role == role)
            return &node;
    }
    return nullptr;
}

void TestE2eAccessibility::keys(const QStringList &names) const
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
    m_session->keys(names);
}

void TestE2eAccessibility::focusFirstRow() const
{
    // Esc leaves the search box (or nothing); Ctrl+F then Esc comes back to the list.
    // End, then Home: the first row becomes current and selected even when it was current.
    keys({QStringLiteral("ctrl+f"), QStringLiteral("Escape"), QStringLiteral("End"),
          QStringLiteral("Home")});
}

void TestE2eAccessibility::initTestCase()
{
    for (const QString &tool : {QStringLiteral("dbus-daemon"), QStringLiteral("xdotool")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not available")));
    }
    if (QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import pyatspi")}) != 0)
        QSKIP("python3-pyatspi is not available");
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");

    // A session bus of the test's own: the accessibility bus starts from it.
    m_bus = std::make_unique<QProcess>();
    m_bus->start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    QVERIFY(m_bus->waitForStarted(5000));
    QByteArray address;
    QElapsedTimer waited;
    waited.start();
    while (!address.contains('\n') && waited.elapsed() < 10000 &&
           m_bus->state() == QProcess::Running) {
        m_bus->waitForReadyRead(200);
        address += m_bus->readAllStandardOutput();
    }
    QVERIFY2(!address.trimmed().isEmpty(), "the session bus did not start");
    m_session->setEnvironmentValue(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                                   QString::fromUtf8(address.trimmed()));
    m_session->setEnvironmentValue(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"),
                                   QStringLiteral("1"));

    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    const TDateTime now = NowDays();
    Row overdue{key(1), QStringLiteral("root"), QStringLiteral("Pay the rent")};
    overdue.dueFlag = true;
    overdue.dueTime = now - 3;
    Row reminder{key(2), QStringLiteral("root"), QStringLiteral("Call the garage")};
    reminder.alarmFlag = true;
    reminder.alarmTime = now + 2;
    Row due{key(3), QStringLiteral("root"), QStringLiteral("Buy bread")};
    due.dueFlag = true;
    due.dueTime = now + 5;
    Row child{key(4), key(3), QStringLiteral("Rye")};
    seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")), {overdue, reminder, due, child},
                 {Row{key(11), QStringLiteral("root"), QStringLiteral("Shoe sizes")}});

    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_program->output()));
    QTRY_VERIFY_WITH_TIMEOUT(m_program->request("rows tasks").contains("Pay the rent"), 10000);
}

void TestE2eAccessibility::mainWindowNamesEveryControl()
{
    const QList<Node> nodes = readTreeUntil([](const QList<Node> &n) {
        return find(n, QStringLiteral("tree"), QStringLiteral("To-Do List"));
    });
    QVERIFY2(!nodes.isEmpty(), "the program did not show on the accessibility bus");
    const QStringList missing = unnamed(nodes);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    // The parts named by what they are, not by a placeholder or a picture.
    QVERIFY(find(nodes, QStringLiteral("tree"), QStringLiteral("To-Do List")));
    QVERIFY(find(nodes, QStringLiteral("text"), QStringLiteral("Search")));
    QVERIFY(find(nodes, QStringLiteral("push button"), QStringLiteral("Search")));
    // Tool buttons read their commands, without keys padded into them.
    QVERIFY(find(nodes, QStringLiteral("push button"), QStringLiteral("Add Task")));
    QVERIFY(find(nodes, QStringLiteral("push button"), QStringLiteral("Add Child Task")));
    for (const Node &node : nodes)
        QVERIFY2(!node.name.contains(QLatin1String("  ")), qPrintable(describe(node)));
}

void TestE2eAccessibility::rowsTellDueDateOverdueAndReminder()
{
    const QList<Node> nodes = readTree();
    const Node *overdue = find(nodes, QStringLiteral("table cell"), QStringLiteral("Pay the rent"));
    const Node *reminder =
        find(nodes, QStringLiteral("table cell"), QStringLiteral("Call the garage"));
    const Node *due = find(nodes, QStringLiteral("table cell"), QStringLiteral("Buy bread"));
    QVERIFY(overdue && reminder && due);
    QVERIFY2(overdue->description.contains(QLatin1String("Due date: ")) &&
                 overdue->description.contains(QLatin1String("overdue")),
             qPrintable(overdue->description));
    QVERIFY2(due->description.contains(QLatin1String("Due date: ")) &&
                 !due->description.contains(QLatin1String("overdue")),
             qPrintable(due->description));
    QVERIFY2(reminder->description.contains(QLatin1String("Reminder time: ")),
             qPrintable(reminder->description));
}

void TestE2eAccessibility::menusShowTheirKeysApart()
{
    focusFirstRow();
    keys({QStringLiteral("alt+t")});
    const QList<Node> nodes = readTreeUntil([](const QList<Node> &n) {
        return find(n, QStringLiteral("menu item"), QStringLiteral("Add Child Task"));
    });
    keys({QStringLiteral("Escape"), QStringLiteral("Escape")});
    const QStringList missing = unnamed(nodes);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    const QList<std::pair<QString, QString>> expected{
        {QStringLiteral("Add Task"), QStringLiteral("Enter")},
        {QStringLiteral("Add Child Task"), QStringLiteral("Ctrl+Enter")},
        {QStringLiteral("Edit"), QStringLiteral("F2")},
    };
    for (const auto &[caption, key] : expected) {
        // The menu's item, not the menu bar's "Edit": the one that carries the key.
        const bool found = std::any_of(nodes.cbegin(), nodes.cend(), [&](const Node &node) {
            return node.role == QLatin1String("menu item") && node.name == caption &&
                   node.key == key;
        });
        QVERIFY2(found, qPrintable(caption + QLatin1Char(' ') + key));
    }
}

void TestE2eAccessibility::dialogsNameEveryControl_data()
{
    QTest::addColumn<QStringList>("open");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("focusRole");
    QTest::addColumn<QString>("focusName");
    QTest::newRow("due date") << QStringList{QStringLiteral("alt+t"), QStringLiteral("u")}
                              << QStringLiteral("Set Due Date") << QStringLiteral("spin button")
                              << QStringLiteral("Due date");
    QTest::newRow("reminder") << QStringList{QStringLiteral("alt+t"), QStringLiteral("s")}
                              << QStringLiteral("Set Reminder") << QStringLiteral("check box")
                              << QStringLiteral("Enable Reminder");
    QTest::newRow("colour") << QStringList{QStringLiteral("alt+t"), QStringLiteral("o")}
                            << QStringLiteral("Set Color") << QString() << QString();
    // Options opens on its first field, never on a button that Space would press.
    QTest::newRow("options") << QStringList{QStringLiteral("alt+f"), QStringLiteral("o")}
                             << QStringLiteral("Options") << QStringLiteral("check box")
                             << QStringLiteral("Start with Windows");
    QTest::newRow("about") << QStringList{QStringLiteral("alt+h"), QStringLiteral("a")}
                           << QStringLiteral("About...") << QString() << QString();
    QTest::newRow("help") << QStringList{QStringLiteral("F1")}
                          << QStringLiteral("Help \u2014 Ploxen Tasklume") << QString()
                          << QString();
    QTest::newRow("options, sync page")
        << QStringList{QStringLiteral("alt+f"), QStringLiteral("o"), QStringLiteral("ctrl+Tab")}
        << QStringLiteral("Options") << QString() << QString();
}

void TestE2eAccessibility::dialogsNameEveryControl()
{
    QFETCH(QStringList, open);
    QFETCH(QString, title);
    QFETCH(QString, focusRole);
    QFETCH(QString, focusName);
    focusFirstRow();
    keys(open);
    const QString dialog = m_session->waitForWindow(title, 10000);
    QVERIFY2(!dialog.isEmpty(), qPrintable(title));
    auto windowShown = [&title](const QList<Node> &n) {
        return std::any_of(n.cbegin(), n.cend(), [&](const Node &node) {
            return node.window == title && node.name == title;
        });
    };
    const QList<Node> nodes = readTreeUntil([&](const QList<Node> &n) {
        return windowShown(n) && (focusRole.isEmpty() || focused(n, focusRole));
    });
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), dialog,
                    QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(m_session->waitForWindow(title, 100).isEmpty(), 5000);

    QVERIFY2(windowShown(nodes), qPrintable(title));
    const QStringList missing = unnamed(nodes, title);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    if (!focusRole.isEmpty()) {
        const Node *focus = focused(nodes, focusRole);
        QVERIFY2(focus, qPrintable(focusRole));
        QCOMPARE(focus->name, focusName);
    }
    if (title == QLatin1String("Set Color")) {
        // The colour boxes are labelled by their "Custom:" labels; the preview is named.
        int labelled = 0;
        for (const Node &node : nodes) {
            if (node.window == title && node.role == QLatin1String("combo box")) {
                QVERIFY2(node.labelledBy.contains(QStringLiteral("Custom:")) ||
                             node.labelledBy.contains(QStringLiteral("Custom: ")),
                         qPrintable(describe(node) + node.labelledBy.join(QLatin1Char(','))));
                ++labelled;
            }
        }
        QCOMPARE(labelled, 2);
        QVERIFY(find(nodes, QStringLiteral("text"), QStringLiteral("Preview")));
    }
}

void TestE2eAccessibility::ctrlFPutsTheFocusIntoTheSearchBox()
{
    focusFirstRow();
    keys({QStringLiteral("ctrl+f")});
    const QList<Node> nodes = readTreeUntil(
        [](const QList<Node> &n) { return focused(n, QStringLiteral("text")) != nullptr; });
    const Node *focus = focused(nodes, QStringLiteral("text"));
    QVERIFY(focus);
    QCOMPARE(focus->name, QStringLiteral("Search"));
    keys({QStringLiteral("Escape")});
}

void TestE2eAccessibility::sortDirectionHasAKey()
{
    auto firstRow = [this] {
        const QList<QByteArray> lines = m_program->request("rows tasks").split('\n');
        for (const QByteArray &line : lines) {
            if (!line.trimmed().isEmpty())
                return line;
        }
        return QByteArray();
    };
    focusFirstRow();
    QTRY_VERIFY_WITH_TIMEOUT(firstRow().contains("Buy bread"), 5000);
    keys({QStringLiteral("ctrl+r")});
    QTRY_VERIFY_WITH_TIMEOUT(firstRow().contains("Pay the rent"), 5000);
    // The View menu holds the command as well, with its key.
    keys({QStringLiteral("alt+v")});
    const QList<Node> nodes = readTreeUntil([](const QList<Node> &n) {
        return find(n, QStringLiteral("menu item"), QStringLiteral("Sort Direction"));
    });
    const Node *item = find(nodes, QStringLiteral("menu item"), QStringLiteral("Sort Direction"));
    QVERIFY(item);
    QCOMPARE(item->key, QStringLiteral("Ctrl+R"));
    keys({QStringLiteral("Escape"), QStringLiteral("Escape"), QStringLiteral("ctrl+r")});
    QTRY_VERIFY_WITH_TIMEOUT(firstRow().contains("Buy bread"), 5000);
}

void TestE2eAccessibility::focusReturnsToTheRowAfterThePastDateQuestion()
{
    // "Call the garage" (second row) gets a due date of yesterday (the date field has the
    // focus: Down goes back a day and enables the date), which asks the question.
    focusFirstRow();
    keys({QStringLiteral("Down")});
    keys({QStringLiteral("alt+t"), QStringLiteral("u")});
    const QString dialog = m_session->waitForWindow(QStringLiteral("Set Due Date"), 10000);
    QVERIFY(!dialog.isEmpty());
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), dialog,
                    QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60"),
                    QStringLiteral("Down"), QStringLiteral("Return")});
    const QString question = m_session->waitForWindow(QStringLiteral("Ask"), 10000);
    QVERIFY2(!question.isEmpty(), "the past-date question did not come");
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), question,
                    QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(
        m_session->waitForWindow(QStringLiteral("Set Due Date"), 100).isEmpty(), 5000);
    // The main window is active again, with the focus on the edited row.
    QTRY_COMPARE_WITH_TIMEOUT(
        m_session->run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}),
        QString::number(m_window.toULongLong(nullptr, 0)), 5000);
    const QList<Node> nodes = readTreeUntil([](const QList<Node> &n) {
        const Node *cell = focused(n, QStringLiteral("table cell"));
        return cell && cell->name == QLatin1String("Call the garage");
    });
    const Node *cell = focused(nodes, QStringLiteral("table cell"));
    QVERIFY(cell);
    QCOMPARE(cell->name, QStringLiteral("Call the garage"));
    QVERIFY2(cell->description.contains(QLatin1String("Due date: ")),
             qPrintable(cell->description));
    // Keys reach the list: Down moves on from the edited row.
    m_session->keys({QStringLiteral("Down")});
    const QList<Node> after = readTreeUntil([](const QList<Node> &n) {
        const Node *c = focused(n, QStringLiteral("table cell"));
        return c && c->name == QLatin1String("Pay the rent");
    });
    QVERIFY(focused(after, QStringLiteral("table cell")));
    QCOMPARE(focused(after, QStringLiteral("table cell"))->name, QStringLiteral("Pay the rent"));
}

void TestE2eAccessibility::memoListNamesEveryControl()
{
    focusFirstRow();
    keys({QStringLiteral("ctrl+Tab")});
    const QList<Node> nodes = readTreeUntil([](const QList<Node> &n) {
        return find(n, QStringLiteral("tree"), QStringLiteral("Memos"));
    });
    QVERIFY(find(nodes, QStringLiteral("tree"), QStringLiteral("Memos")));
    QVERIFY(find(nodes, QStringLiteral("table cell"), QStringLiteral("Shoe sizes")));
    const QStringList missing = unnamed(nodes);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    keys({QStringLiteral("ctrl+Tab")});
}

void TestE2eAccessibility::cleanupTestCase()
{
    m_program.reset();
    if (m_bus) {
        // The accessibility bus and its registry end with the session bus they came from.
        m_bus->terminate();
        if (!m_bus->waitForFinished(5000)) {
            m_bus->kill();
            m_bus->waitForFinished(3000);
        }
    }
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eAccessibility)
#include "test_e2e_accessibility.moc"
