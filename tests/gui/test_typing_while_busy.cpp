// Keys typed while the window is busy wait in the queue and arrive together once it is free:
// the keys after Enter (or F2) belong to the editor that Enter opens, whatever else was
// queued before them, and every character is stored.
#include "memos/Fr_wyMemos.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QKeyEvent>
#include <QSqlQuery>
#include <QTest>

using namespace TestSupport;

class TestTypingWhileBusy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void queuedKeysReachTheEditor_data();
    void queuedKeysReachTheEditor();

private:
    // Queues what a user typed while the window could not answer, in order.
    void queueKeys(QWidget *target, const QList<QPair<int, Qt::KeyboardModifiers>> &keys);
    void queueText(QWidget *target, const QString &text);
    QStringList storedTexts(const QString &table);

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
};

void TestTypingWhileBusy::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
}

void TestTypingWhileBusy::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

void TestTypingWhileBusy::queueKeys(QWidget *target,
                                    const QList<QPair<int, Qt::KeyboardModifiers>> &keys)
{
    for (const auto &[key, modifiers] : keys) {
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, modifiers));
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, modifiers));
    }
}

void TestTypingWhileBusy::queueText(QWidget *target, const QString &text)
{
    for (const QChar c : text) {
        const int key = c.isLetter() ? c.toUpper().unicode() : c.unicode();
        QCoreApplication::postEvent(
            target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, QString(c)));
        QCoreApplication::postEvent(
            target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, QString(c)));
    }
}

QStringList TestTypingWhileBusy::storedTexts(const QString &table)
{
    QSqlQuery query(m_host->database());
    if (!query.exec(QStringLiteral("select content from ") + table +
                    QStringLiteral(" order by rowid")))
        return {QStringLiteral("<query failed>")};
    QStringList texts;
    while (query.next())
        texts.append(query.value(0).toString());
    return texts;
}

void TestTypingWhileBusy::queuedKeysReachTheEditor_data()
{
    QTest::addColumn<bool>("tasks");
    // What keeps the window busy before the keys: nothing, a reload, a sort.
    QTest::addColumn<QString>("busy");
    // Enter adds, F2 edits the first row (its text selected, so typing replaces it).
    QTest::addColumn<int>("opening");
    // Typed after the opening key; "|" stands for Ctrl+Enter, which stores.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("stored");

    const int enter = Qt::Key_Return;
    const QStringList seeded{QStringLiteral("Alpha"), QStringLiteral("Beta")};
    for (bool tasks : {true, false}) {
        const char *list = tasks ? "tasks" : "memos";
        QTest::addRow("%s: add", list)
            << tasks << QString() << enter << QStringLiteral("zz fresh 0|")
            << (seeded + QStringList{QStringLiteral("zz fresh 0")});
        QTest::addRow("%s: add behind a reload", list)
            << tasks << QStringLiteral("reload") << enter << QStringLiteral("zz fresh 1|")
            << (seeded + QStringList{QStringLiteral("zz fresh 1")});
        QTest::addRow("%s: add behind a sort", list)
            << tasks << QStringLiteral("sort") << enter << QStringLiteral("zz fresh 2|")
            << (seeded + QStringList{QStringLiteral("zz fresh 2")});
        QTest::addRow("%s: two adds in a row", list)
            << tasks << QString() << enter << QStringLiteral("one|\rtwo|")
            << (seeded + QStringList{QStringLiteral("one"), QStringLiteral("two")});
        QTest::addRow("%s: edit", list)
            << tasks << QStringLiteral("sort") << int(Qt::Key_F2) << QStringLiteral("Gamma|")
            << QStringList{QStringLiteral("Gamma"), QStringLiteral("Beta")};
    }
}

void TestTypingWhileBusy::queuedKeysReachTheEditor()
{
    QFETCH(bool, tasks);
    QFETCH(QString, busy);
    QFETCH(int, opening);
    QFETCH(QString, typed);
    QFETCH(QStringList, stored);

    const QString table = tasks ? QStringLiteral("tasks") : QStringLiteral("memos");
    QSqlDatabase db = m_host->database();
    for (int i : {1, 2}) {
        const Row row{key(i), QStringLiteral("root"),
                      i == 1 ? QStringLiteral("Alpha") : QStringLiteral("Beta")};
        tasks ? insertTask(db, row) : insertMemo(db, row);
    }
    TwyTreeFrame *frame =
        tasks ? static_cast<TwyTreeFrame *>(new TwyTasksFrame(*m_host, m_window.get()))
              : new TwyMemosFrame(*m_host, m_window.get());
    frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    frame->sendMessage(WM_FRAME_RELOAD);
    frame->sendMessage(WM_FRAME_ACTIVATE);
    QCOMPARE(frame->model()->rowCount(), 2);
    ItemTreeView *tree = frame->tree();
    tree->setFocus();
    tree->selectionModel()->setCurrentIndex(frame->model()->index(0, 0),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);

    // Everything below is queued at once, as the window system hands over keys typed while
    // the window was busy.
    if (busy == QLatin1String("reload"))
        frame->postMessage(WM_FRAME_RELOAD);
    else if (busy == QLatin1String("sort"))
        QMetaObject::invokeMethod(
            frame, [frame] { frame->sortTree(); }, Qt::QueuedConnection);
    queueKeys(tree, {{opening, Qt::NoModifier}});
    const QStringList parts = typed.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString part = parts.at(i);
        if (part.startsWith(QLatin1Char('\r'))) {
            queueKeys(tree, {{Qt::Key_Return, Qt::NoModifier}});
            part.remove(0, 1);
        }
        queueText(tree, part);
        if (i + 1 < parts.size())
            queueKeys(tree, {{Qt::Key_Return, Qt::ControlModifier}});
    }
    QTRY_COMPARE(storedTexts(table), stored);
    QTRY_VERIFY(!frame->isEditing());
    QCOMPARE(tree->openEditor(), nullptr);
}

QTEST_MAIN(TestTypingWhileBusy)
#include "test_typing_while_busy.moc"
