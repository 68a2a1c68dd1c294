// The memo list on a real database: what differs from the to-do list (no check boxes, the
// memo images, assignTime, its own texts) on the shared list frame.
#include "DialogDriver.h"
#include "memos/Fr_wyMemos.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

class TestMemoFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void addedMemoIsAssignedPastedIsNot();
    void texts_data();
    void texts();
    void rowsCarryMemoImagesAndNoCheckBoxes();
    void exportWritesSelectedMemos_data();
    void exportWritesSelectedMemos();
    void childOfChildGoesUnderTopLevel();
    void statusAndTipStartWhereTheLayoutDoes_data();
    void statusAndTipStartWhereTheLayoutDoes();

private:
    void reload();
    QWidget *waitForEditor();
    QString answerNextBox(QMessageBox::StandardButton button, const std::function<void()> &run);
    QSqlQuery query(const QString &sql);

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyMemosFrame *m_frame = nullptr;
};

void TestMemoFrame::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_frame = new TwyMemosFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMemoFrame::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

void TestMemoFrame::reload()
{
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

QWidget *TestMemoFrame::waitForEditor()
{
    QWidget *editor = nullptr;
    for (int i = 0; i < 100 && editor == nullptr; ++i) {
        QTest::qWait(10);
        editor = m_frame->tree()->openEditor();
    }
    return editor;
}

QString TestMemoFrame::answerNextBox(QMessageBox::StandardButton button,
                                     const std::function<void()> &run)
{
    BoxAnswer answer(button);
    run();
    return answer.runs() == 0 ? QString() : answer.caption + QLatin1Char('|') + answer.text;
}

QSqlQuery TestMemoFrame::query(const QString &sql)
{
    QSqlQuery q(m_host->database());
    q.exec(sql);
    q.next();
    return q;
}

void TestMemoFrame::addedMemoIsAssignedPastedIsNot()
{
    reload();
    QTest::keyClick(m_frame->tree(), Qt::Key_Return);
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QCOMPARE(m_frame->FTipKind, 1); // the memo list numbers "finish edit" 1
    QTest::keyClicks(editor, QStringLiteral("Typed memo"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(m_frame->FEditNode, nullptr);
    QSqlQuery typed = query(QStringLiteral(
        "select assignTime, createTime, editTime from memos where content='Typed memo'"));
    QVERIFY(typed.isValid());
    QCOMPARE(typed.value(0).toDouble(), typed.value(1).toDouble());
    QCOMPARE(typed.value(2).toDouble(), typed.value(1).toDouble());

    QApplication::clipboard()->setText(QStringLiteral("Pasted memo"));
    m_frame->pasteItem();
    QSqlQuery pasted =
        query(QStringLiteral("select assignTime, pid from memos where content='Pasted memo'"));
    QVERIFY(pasted.isValid());
    QVERIFY(pasted.value(0).isNull());
    QCOMPARE(pasted.value(1).toString(), QStringLiteral("root"));
}

void TestMemoFrame::texts_data()
{
    QTest::addColumn<bool>("seeded");
    QTest::addColumn<QString>("expected");
    QTest::newRow("child in an empty list") << false << QStringLiteral("Tip|Please select a memo!");
    QTest::newRow("export nothing selected")
        << false << QStringLiteral("Warning|Please select a memo!");
    QTest::newRow("delete one") << true
                                << QStringLiteral("Ask|Are you sure you want to delete this memo?");
}

void TestMemoFrame::texts()
{
    QFETCH(bool, seeded);
    if (seeded)
        insertMemo(m_host->database(), Row{key(1), QStringLiteral("root"), QStringLiteral("One")});
    reload();
    QString text;
    if (seeded) {
        m_frame->tree()->setCurrentIndex(m_frame->tree()->model()->index(0, 0));
        text = answerNextBox(QMessageBox::Cancel, [this] { m_frame->deleteItems(); });
    } else if (QByteArray(QTest::currentDataTag()).startsWith("export")) {
        text = answerNextBox(QMessageBox::Ok, [this] { m_frame->exportSelected(); });
    } else {
        QCOMPARE(m_frame->FTipKind, 2); // "Click here to Add a new Item."
        text = answerNextBox(QMessageBox::Ok, [this] { m_frame->addChildItem(); });
    }
    QTEST(text, "expected");
}

void TestMemoFrame::rowsCarryMemoImagesAndNoCheckBoxes()
{
    insertMemo(m_host->database(), Row{key(1), QStringLiteral("root"), QStringLiteral("Top")});
    insertMemo(m_host->database(), Row{key(2), key(1), QStringLiteral("Child\r\nline")});
    reload();
    const QAbstractItemModel *model = m_frame->tree()->model();
    const QModelIndex top = model->index(0, 0);
    const QModelIndex child = model->index(0, 0, top);
    QCOMPARE(top.data(ItemTreeModel::ImageIndexRole).toInt(), 0);
    QCOMPARE(child.data(ItemTreeModel::ImageIndexRole).toInt(), 21);
    QVERIFY(!top.data(Qt::CheckStateRole).isValid());
    QVERIFY(!(model->flags(top) & Qt::ItemIsUserCheckable));
    m_frame->action(QStringLiteral("Action_ViewList"))->trigger();
    QCOMPARE(child.data().toString(), QStringLiteral("(1) Child  line"));
    QVERIFY(m_host->ini().readBool(QStringLiteral("memo"), QStringLiteral("viewListEn"), false));
}

void TestMemoFrame::exportWritesSelectedMemos_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("start"); // how the file starts; empty: any start
    QTest::newRow("interchange file") << QStringLiteral("out.wyx") << QByteArray();
    QTest::newRow("iCalendar file")
        << QStringLiteral("out.ics") << QByteArray("BEGIN:VCALENDAR\r\n");
}

void TestMemoFrame::exportWritesSelectedMemos()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, start);
    insertMemo(m_host->database(), Row{key(1), QStringLiteral("root"), QStringLiteral("Top")});
    reload();
    m_frame->tree()->setCurrentIndex(m_frame->tree()->model()->index(0, 0));
    const QString file = m_folder->file(name);
    m_frame->runExportDialog = [&] { return file; };
    QVERIFY(m_frame->action(QStringLiteral("Action_Export"))->isEnabled());
    m_frame->action(QStringLiteral("Action_Export"))->trigger();
    QFileInfo written(file);
    QVERIFY(written.exists());
    QVERIFY(written.size() > 8);
    if (!start.isEmpty()) {
        const QByteArray bytes = readFile(file);
        QVERIFY(bytes.startsWith(start));
        QCOMPARE(bytes.count("BEGIN:VJOURNAL"), 1);
        QVERIFY(bytes.contains("\r\nSUMMARY:Top\r\n"));
    }
}

void TestMemoFrame::childOfChildGoesUnderTopLevel()
{
    insertMemo(m_host->database(), Row{key(1), QStringLiteral("root"), QStringLiteral("Top")});
    insertMemo(m_host->database(), Row{key(2), key(1), QStringLiteral("Child")});
    reload();
    auto *tree = m_frame->tree();
    const QModelIndex child = tree->model()->index(0, 0, tree->model()->index(0, 0));
    tree->selectionModel()->setCurrentIndex(child, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    m_frame->addChildItem();
    QWidget *editor = waitForEditor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Second child"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(query(QStringLiteral("select pid from memos where content='Second child'"))
                     .value(0)
                     .toString(),
                 key(1));
}

void TestMemoFrame::statusAndTipStartWhereTheLayoutDoes_data()
{
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::newRow("left to right") << Qt::LeftToRight;
    QTest::newRow("right to left") << Qt::RightToLeft;
}

void TestMemoFrame::statusAndTipStartWhereTheLayoutDoes()
{
    QFETCH(Qt::LayoutDirection, direction);
    m_window->resize(800, 600);
    m_frame->resize(800, 600);
    m_window->setLayoutDirection(direction);
    reload();
    const bool reverse = direction == Qt::RightToLeft;

    // The status text (a tip in English, whatever the layout) starts at the layout's start.
    auto *status = m_frame->statusBar()->findChild<QLabel *>(QStringLiteral("StatusText"));
    QVERIFY(status);
    QTRY_VERIFY(!status->text().isEmpty());
    const QImage picture = status->grab().toImage();
    const qreal ratio = picture.devicePixelRatio();
    int first = picture.width(), last = -1;
    for (int x = 0; x < picture.width(); ++x) {
        for (int y = 0; y < picture.height(); ++y) {
            if (qGray(picture.pixel(x, y)) < 110) {
                first = qMin(first, x);
                last = qMax(last, x);
            }
        }
    }
    QVERIFY2(last >= 0, "no status text drawn");
    const int width = int(status->width() * ratio);
    QVERIFY2(status->width() > 400, "the status text has no room to show its side");
    if (reverse)
        QVERIFY2(
            first > width / 3 && last > width * 3 / 4,
            qPrintable(QStringLiteral("text from %1 to %2 of %3").arg(first).arg(last).arg(width)));
    else
        QVERIFY2(
            first < width / 4 && last < width * 2 / 3,
            qPrintable(QStringLiteral("text from %1 to %2 of %3").arg(first).arg(last).arg(width)));

    // The tip panel's picture comes first, then its text.
    m_frame->ShowTip(Tip::AddItem);
    QLabel *tip = m_frame->tipLabel();
    QTRY_VERIFY(tip->isVisible());
    QLabel *picturePart = nullptr;
    for (QLabel *label : m_frame->tipPanel()->findChildren<QLabel *>()) {
        if (label != tip)
            picturePart = label;
    }
    QVERIFY(picturePart);
    if (reverse)
        QVERIFY(picturePart->geometry().left() > tip->geometry().right());
    else
        QVERIFY(picturePart->geometry().right() < tip->geometry().left());
    QVERIFY(m_frame->tipPanel()->rect().contains(tip->geometry()));
}

QTEST_MAIN(TestMemoFrame)
#include "test_memo_frame.moc"
