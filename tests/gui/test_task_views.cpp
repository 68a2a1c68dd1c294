// The to-do list's views on a real database: the range, the search, sorting, expanding,
// the Move-to menus and drag and drop, and the view settings written at once.
#include "common/IniFile.h"
#include "common/MoveChooser.h"
#include "storage/Statements.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

class TestTaskViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void rangeShowsParentOfMatchingChild();
    void rangeFromMenuIsWrittenAndSurvivesReload();
    void search_data();
    void search();
    void searchWithoutResultShowsTipThatClears();
    void searchOpensCollapsedParentAndStoresIt();
    void leavingSearchBox();
    void sortIsAsciiCaseInsensitiveAndStable_data();
    void sortIsAsciiCaseInsensitiveAndStable();
    void expandAndCollapseAllAreStored();
    void moveChildToRoot();
    void moveOntoSelectedTargetLeavesTarget();
    void moveKeepsTwoLevels_data();
    void moveKeepsTwoLevels();
    void dropTargets();
    void moveMenusListOtherParents();
    void longMoveMenuOffersAChooser_data();
    void longMoveMenuOffersAChooser();
    void listAndDateViewSettings();

private:
    void reload();
    QString shown() const; // the shown tree as "A{a1,a2} B"
    QString column(const QString &sql);
    void selectTop(const QList<int> &rows);
    void seedSortRows();

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
};

void TestTaskViews::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
    m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    QSqlDatabase db = m_host->database();
    Row done{key(1), QStringLiteral("root"), QStringLiteral("Done parent")};
    done.checkFlag = true;
    insertTask(db, done);
    insertTask(db, Row{key(2), key(1), QStringLiteral("open child xabcx")});
    Row closed{key(3), key(1), QStringLiteral("closed child")};
    closed.checkFlag = true;
    insertTask(db, closed);
    insertTask(db, Row{key(4), QStringLiteral("root"), QStringLiteral("ABC upper")});
    insertTask(db, Row{key(5), QStringLiteral("root"), QStringLiteral("plain")});
    insertTask(db, Row{key(6), key(5), QStringLiteral("plain child")});
}

void TestTaskViews::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

void TestTaskViews::reload()
{
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

QString TestTaskViews::shown() const
{
    const QAbstractItemModel *model = m_frame->tree()->model();
    QStringList tops;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex top = model->index(row, 0);
        QString text = top.data().toString();
        QStringList children;
        for (int c = 0; c < model->rowCount(top); ++c)
            children.append(model->index(c, 0, top).data().toString());
        if (!children.isEmpty())
            text += QLatin1Char('{') + children.join(QLatin1Char(',')) + QLatin1Char('}');
        tops.append(text);
    }
    return tops.join(QLatin1Char(' '));
}

QString TestTaskViews::column(const QString &sql)
{
    QSqlQuery query(m_host->database());
    query.exec(sql);
    return query.next() ? query.value(0).toString() : QStringLiteral("<none>");
}

void TestTaskViews::selectTop(const QList<int> &rows)
{
    auto *tree = m_frame->tree();
    tree->selectionModel()->clearSelection();
    for (int row : rows)
        tree->selectionModel()->setCurrentIndex(tree->model()->index(row, 0),
                                                QItemSelectionModel::Select |
                                                    QItemSelectionModel::Rows);
}

void TestTaskViews::rangeShowsParentOfMatchingChild()
{
    reload();
    auto *range = m_frame->findChild<QComboBox *>(QStringLiteral("Comb_ViewRange"));
    range->setCurrentIndex(2); // incomplete tasks
    QCOMPARE(shown(), QStringLiteral("ABC upper Done parent{open child xabcx} plain{plain child}"));
    range->setCurrentIndex(1); // complete tasks
    QCOMPARE(shown(), QStringLiteral("Done parent{closed child}"));
}

void TestTaskViews::rangeFromMenuIsWrittenAndSurvivesReload()
{
    reload();
    m_frame->action(QStringLiteral("Menu_ViewComplete"))->trigger();
    QCOMPARE(shown(), QStringLiteral("Done parent{closed child}"));
    QCOMPARE(m_host->ini().readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), -1), 1);
    reload();
    QCOMPARE(m_frame->viewRange, 1);
    QVERIFY(m_frame->action(QStringLiteral("Menu_ViewComplete"))->isChecked());
    QCOMPARE(shown(), QStringLiteral("Done parent{closed child}"));
    // Adding a task while only complete ones show goes back to all tasks.
    m_frame->addItem();
    QCOMPARE(m_frame->viewRange, 0);
    QCOMPARE(m_host->ini().readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), -1), 0);
    m_frame->endEditing(false);
}

void TestTaskViews::search_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("case-sensitive substring")
        << QStringLiteral("abc") << QStringLiteral("Done parent{open child xabcx}");
    QTest::newRow("upper case") << QStringLiteral("ABC") << QStringLiteral("ABC upper");
    QTest::newRow("blanks are no search")
        << QStringLiteral("   ")
        << QStringLiteral("ABC upper Done parent{closed child,open child xabcx} plain{plain child}");
    QTest::newRow("child text") << QStringLiteral("child")
                                << QStringLiteral(
                                       "Done parent{closed child,open child xabcx} plain{plain child}");
}

void TestTaskViews::search()
{
    QFETCH(QString, typed);
    reload();
    auto *box = m_frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
    box->setFocus();
    QVERIFY(m_frame->FSearching);
    QTest::keyClicks(box, typed);
    QCOMPARE(m_frame->FSearchText, typed.trimmed());
    QTEST(shown(), "expected");
}

void TestTaskViews::searchWithoutResultShowsTipThatClears()
{
    reload();
    auto *box = m_frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("nothing like this"));
    QCOMPARE(m_frame->model()->rowCount(), 0);
    QCOMPARE(m_frame->FTipKind, 3);
    QCOMPARE(m_frame->tipLabel()->text(), QStringLiteral("Search no result"));
    QTest::mouseClick(m_frame->tipLabel(), Qt::LeftButton);
    QCOMPARE(box->text(), QString());
    QVERIFY(!m_frame->FSearching);
    QCOMPARE(m_frame->model()->rowCount(), 3);
    QCOMPARE(m_frame->FTipKind, 0);
}

void TestTaskViews::searchOpensCollapsedParentAndStoresIt()
{
    reload();
    QCOMPARE(column(QStringLiteral("select expandFlag from tasks where tid='%1'").arg(key(5))),
             QStringLiteral("0"));
    auto *box = m_frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("plain child"));
    const QModelIndex parent = m_frame->tree()->model()->index(0, 0);
    QVERIFY(m_frame->tree()->isExpanded(parent));
    QCOMPARE(column(QStringLiteral("select expandFlag from tasks where tid='%1'").arg(key(5))),
             QStringLiteral("1"));
}

void TestTaskViews::leavingSearchBox()
{
    reload();
    auto *box = m_frame->findChild<QLineEdit *>(QStringLiteral("Edt_Search"));
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("plain"));
    m_frame->tree()->setFocus();
    QVERIFY(m_frame->FSearching); // a search stays in force
    QCOMPARE(m_frame->model()->rowCount(), 1);
    // Esc in the box clears the search and shows the whole range again.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!m_frame->FSearching);
    QCOMPARE(box->placeholderText(), QStringLiteral("  Search..."));
    QCOMPARE(m_frame->model()->rowCount(), 3);
}

void TestTaskViews::seedSortRows()
{
    QSqlQuery(m_host->database()).exec(QStringLiteral("delete from tasks"));
    const QStringList texts{QStringLiteral("cherry"), QStringLiteral("Banana"),
                            QStringLiteral("apple"),  QStringLiteral("BANANA"),
                            QStringLiteral("app"),    QStringLiteral("_under")};
    int n = 10;
    for (const QString &text : texts)
        insertTask(m_host->database(), Row{key(n++), QStringLiteral("root"), text});
}

void TestTaskViews::sortIsAsciiCaseInsensitiveAndStable_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QString>("expected");
    // '_' (0x5F) sorts after the upper-case letters it is compared with.
    QTest::newRow("ascending") << true
                               << QStringLiteral("app apple Banana BANANA cherry _under");
    QTest::newRow("descending") << false
                                << QStringLiteral("_under cherry Banana BANANA apple app");
}

void TestTaskViews::sortIsAsciiCaseInsensitiveAndStable()
{
    QFETCH(bool, ascending);
    seedSortRows();
    m_host->ini().writeBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), ascending);
    reload(); // activation sorts
    QTEST(shown(), "expected");
    // The button offers and then applies the other direction, and writes it.
    QAction *sort = m_frame->action(QStringLiteral("Action_ViewAsc"));
    QCOMPARE(sort->toolTip(),
             ascending ? QStringLiteral("Descending Sort") : QStringLiteral("Ascending Sort"));
    sort->trigger();
    QCOMPARE(m_host->ini().readBool(QStringLiteral("task"), QStringLiteral("viewAscEn"), ascending),
             !ascending);
    QCOMPARE(shown().split(QLatin1Char(' ')).first(),
             ascending ? QStringLiteral("_under") : QStringLiteral("app"));
}

void TestTaskViews::expandAndCollapseAllAreStored()
{
    reload();
    m_frame->action(QStringLiteral("Action_ExpandAll"))->trigger();
    // The two top-level tasks with children; "ABC upper" has none and cannot be expanded.
    QCOMPARE(
        column(QStringLiteral("select count(*) from tasks where pid='root' and expandFlag=True")),
        QStringLiteral("2"));
    m_frame->action(QStringLiteral("Action_CollapseAll"))->trigger();
    QCOMPARE(column(QStringLiteral("select count(*) from tasks where expandFlag=True")),
             QStringLiteral("0"));
    for (int row = 0; row < 3; ++row)
        QVERIFY(!m_frame->tree()->isExpanded(m_frame->tree()->model()->index(row, 0)));
}

void TestTaskViews::moveChildToRoot()
{
    reload();
    m_frame->action(QStringLiteral("Action_ExpandAll"))->trigger();
    auto *tree = m_frame->tree();
    const QModelIndex child = tree->model()->index(0, 0, tree->model()->index(2, 0)); // plain child
    tree->selectionModel()->setCurrentIndex(child, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    auto *menu = m_frame->findChild<QMenu *>(QStringLiteral("MainMoveTo"));
    QVERIFY(menu->isEnabled());
    Q_EMIT menu->aboutToShow();
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Root"));
    menu->actions().first()->trigger();
    QCOMPARE(tree->model()->index(0, 0).data().toString(), QStringLiteral("plain child"));
    QCOMPARE(column(QStringLiteral("select pid from tasks where tid='%1'").arg(key(6))),
             QStringLiteral("root"));
    QVERIFY(tree->selectionModel()->selectedRows().isEmpty());
}

void TestTaskViews::moveOntoSelectedTargetLeavesTarget()
{
    reload(); // ABC upper, Done parent{..}, plain{..}
    selectTop({0, 2});
    const QString before = column(QStringLiteral("select pid || content from tasks where tid='%1'").arg(key(5)));
    m_frame->moveSelectedTo(m_frame->model()->root()->children[2].get(), true);
    QCOMPARE(column(QStringLiteral("select pid from tasks where tid='%1'").arg(key(4))), key(5));
    QCOMPARE(column(QStringLiteral("select pid || content from tasks where tid='%1'").arg(key(5))),
             before);
    QCOMPARE(shown(), QStringLiteral(
                          "Done parent{closed child,open child xabcx} plain{ABC upper,plain child}"));
}

void TestTaskViews::moveKeepsTwoLevels_data()
{
    QTest::addColumn<bool>("asFirst");
    QTest::addColumn<QString>("expected");
    // The moved task's children follow it under the target, right after it.
    QTest::newRow("Move-to: first child")
        << true << QStringLiteral("ABC upper plain{Done parent,closed child,open child xabcx,plain child}");
    QTest::newRow("drop: last child")
        << false << QStringLiteral("ABC upper plain{plain child,Done parent,closed child,open child xabcx}");
}

void TestTaskViews::moveKeepsTwoLevels()
{
    QFETCH(bool, asFirst);
    reload();
    selectTop({1}); // Done parent with two children
    m_frame->moveSelectedTo(m_frame->model()->root()->children[2].get(), asFirst);
    QTEST(shown(), "expected");
    QCOMPARE(column(QStringLiteral("select count(*) from tasks where pid='%1'").arg(key(5))),
             QStringLiteral("4"));
    QCOMPARE(column(QStringLiteral("select count(*) from tasks where pid='%1'").arg(key(1))),
             QStringLiteral("0"));
    // What the database holds loads back the same way.
    reload();
    QCOMPARE(m_frame->model()->nodeCount(), 6);
}

void TestTaskViews::dropTargets()
{
    reload();
    m_frame->action(QStringLiteral("Action_ExpandAll"))->trigger();
    auto *tree = m_frame->tree();
    selectTop({0}); // ABC upper
    auto center = [&](const QModelIndex &index) { return tree->visualRect(index).center(); };
    ItemNode *target = nullptr;
    QVERIFY(!tree->dropTargetAt(center(tree->model()->index(0, 0)), &target));
    const QModelIndex plain = tree->model()->index(2, 0);
    const QModelIndex plainChild = tree->model()->index(0, 0, plain);
    QVERIFY(tree->dropTargetAt(center(plainChild), &target));
    QCOMPARE(target, tree->itemModel()->nodeFromIndex(plain));
    QVERIFY(tree->dropTargetAt(QPoint(10, tree->viewport()->height() - 3), &target));
    QCOMPARE(target, nullptr);

    // Dropping on a child moves under that child's parent, as the last child.
    QVERIFY(tree->dropTargetAt(center(plainChild), &target));
    Q_EMIT tree->dropRequested(target);
    QCOMPARE(column(QStringLiteral("select pid from tasks where tid='%1'").arg(key(4))), key(5));
    QCOMPARE(shown(), QStringLiteral("Done parent{closed child,open child xabcx} plain{plain child,ABC upper}"));
}

void TestTaskViews::moveMenusListOtherParents()
{
    reload();
    selectTop({0});
    auto *menu = m_frame->findChild<QMenu *>(QStringLiteral("Menu_Moveto"));
    // A change of the selection only enables the menu: its entries, one for each other
    // top-level item, are made when it opens.
    QVERIFY(menu->isEnabled());
    QVERIFY(menu->actions().isEmpty());
    Q_EMIT menu->aboutToShow();
    QStringList captions;
    for (QAction *action : menu->actions())
        captions.append(action->text());
    QCOMPARE(captions, (QStringList{QStringLiteral("Done parent"), QStringLiteral("plain")}));
    // Nothing selected: empty and disabled.
    m_frame->tree()->selectionModel()->clearSelection();
    QVERIFY(menu->actions().isEmpty());
    QVERIFY(!menu->isEnabled());
}

void TestTaskViews::longMoveMenuOffersAChooser_data()
{
    QTest::addColumn<int>("extra");      // top-level tasks "Target NNNN" added to the three
    QTest::addColumn<bool>("fromChild"); // the selection is "plain child", else "ABC upper"
    QTest::addColumn<bool>("chooser");
    // As many targets as a menu lists, one more, and a long list.
    QTest::newRow("30 targets: all in the menu") << 28 << false << false;
    QTest::newRow("31 targets: the chooser") << 29 << false << true;
    QTest::newRow("2,001 targets of a child") << 2000 << true << true;
}

void TestTaskViews::longMoveMenuOffersAChooser()
{
    QFETCH(int, extra);
    QFETCH(bool, fromChild);
    QFETCH(bool, chooser);
    QSqlDatabase db = m_host->database();
    db.transaction();
    for (int i = 0; i < extra; ++i)
        insertTask(db, Row{key(100 + i), QStringLiteral("root"),
                           QStringLiteral("Target %1").arg(i, 4, 10, QLatin1Char('0'))});
    db.commit();
    reload();
    auto *tree = m_frame->tree();
    QModelIndex moving = tree->model()->index(0, 0); // ABC upper
    if (fromChild) {
        m_frame->action(QStringLiteral("Action_ExpandAll"))->trigger();
        moving = tree->model()->index(0, 0, tree->model()->index(2, 0)); // plain child
    }
    QCOMPARE(moving.data().toString(),
             fromChild ? QStringLiteral("plain child") : QStringLiteral("ABC upper"));
    tree->selectionModel()->setCurrentIndex(moving, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    const int targets = 2 + extra;
    auto *menu = m_frame->findChild<QMenu *>(QStringLiteral("Menu_Moveto"));
    Q_EMIT menu->aboutToShow();
    QStringList captions;
    for (QAction *action : menu->actions())
        captions.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    if (fromChild) {
        QCOMPARE(captions.mid(0, 2), (QStringList{QStringLiteral("Root"), QStringLiteral("-")}));
        captions.remove(0, 2);
    }
    if (!chooser) {
        QCOMPARE(captions.size(), targets);
        QCOMPARE(captions.last(),
                 QStringLiteral("Target %1").arg(extra - 1, 4, 10, QLatin1Char('0')));
        return;
    }
    // The first targets in tree order, then the chooser of all of them.
    QCOMPARE(captions.size(), 25 + 2);
    QCOMPARE(captions.at(24), QStringLiteral("Target 0022"));
    QCOMPARE(captions.mid(25), (QStringList{QStringLiteral("-"), QStringLiteral("&More...")}));

    const QString wanted = QStringLiteral("Target %1").arg(extra - 1, 4, 10, QLatin1Char('0'));
    int listed = -1;
    int narrowed = -1;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<MoveChooser *>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        listed = dialog->list()->model()->rowCount();
        // Typed in any case, words in any order.
        QTest::keyClicks(dialog->filterBox(), wanted.toLower().split(QLatin1Char(' ')).last() +
                                                  QStringLiteral(" TARGET"));
        narrowed = dialog->list()->model()->rowCount();
        QTest::keyClick(dialog->filterBox(), Qt::Key_Return);
    });
    menu->actions().last()->trigger();
    QCOMPARE(listed, targets);
    QCOMPARE(narrowed, 1);
    const QString target =
        column(QStringLiteral("select tid from tasks where content='%1'").arg(wanted));
    const QString moved = fromChild ? key(6) : key(4);
    QCOMPARE(column(QStringLiteral("select pid from tasks where tid='%1'").arg(moved)), target);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestTaskViews::listAndDateViewSettings()
{
    reload();
    m_frame->action(QStringLiteral("Action_ViewList"))->trigger();
    m_frame->action(QStringLiteral("Action_ViewDate"))->trigger();
    QVERIFY(m_host->ini().readBool(QStringLiteral("task"), QStringLiteral("viewListEn"), false));
    QVERIFY(m_host->ini().readBool(QStringLiteral("task"), QStringLiteral("viewDateEn"), false));
    QVERIFY(m_frame->model()->index(0, 0).data().toString().startsWith(
        QStringLiteral("1. ABC upper -- Created: ")));
    reload();
    QVERIFY(m_frame->action(QStringLiteral("Action_ViewList"))->isChecked());
    QVERIFY(m_frame->action(QStringLiteral("Action_ViewDate"))->isChecked());
}

QTEST_MAIN(TestTaskViews)
#include "test_task_views.moc"
