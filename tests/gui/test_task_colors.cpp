// Task colours: the codes (RGB and the desktop's own colours taken from the current
// palette), the 50 named colours, the colour dialog with its preview and Default, and the
// command that writes both codes into every selected task.
#include "common/ColorCodes.h"
#include "DialogDriver.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Dlg_ColorSet.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>

using namespace TestSupport;

namespace {

// A palette in which every role of every group has a colour of its own.
QPalette distinctPalette()
{
    QPalette palette;
    int n = 1;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            if (role == QPalette::NoRole)
                continue;
            palette.setColor(group, QPalette::ColorRole(role),
                             QColor(n % 256, (n * 7) % 256, 100 + n % 100));
            ++n;
        }
    }
    return palette;
}

int indexOfName(const QComboBox *list, const char *name)
{
    return list->findText(QString::fromLatin1(name));
}

} // namespace

class TestTaskColors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void codesMapToColors_data();
    void codesMapToColors();
    void everySystemIndexHasAColor();
    void fiftyNamedColorsInOrder();

    void defaultsShowBothBoxesChecked();
    void uncheckingEnablesListAndPreviews();
    void defaultButtonStoresZeros();
    void blackStoresTheDefaultCode();
    void colourTheListDoesNotNameIsKept();

    void commandWritesSignedCodesAndKeepsSelection();
    void treePaintsTheTaskColours();

private:
    void seed();
    void reload();
    void select(const QList<int> &topRows);

    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<FakeFrameHost> m_host;
    std::unique_ptr<QWidget> m_window;
    TwyTasksFrame *m_frame = nullptr;
};

void TestTaskColors::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_host = std::make_unique<FakeFrameHost>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(500, 600);
    m_frame = new TwyTasksFrame(*m_host, m_window.get());
    m_frame->resize(500, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTaskColors::cleanup()
{
    m_window.reset();
    m_host.reset();
    m_folder.reset();
}

void TestTaskColors::seed()
{
    QSqlDatabase db = m_host->database();
    insertTask(db, Row{key(1), QStringLiteral("root"), QStringLiteral("A")});
    insertTask(db, Row{key(2), QStringLiteral("root"), QStringLiteral("B")});
    insertTask(db, Row{key(3), QStringLiteral("root"), QStringLiteral("C")});
    reload();
}

void TestTaskColors::reload()
{
    m_host->installedMenus.clear();
    m_frame->postMessage(WM_FRAME_RELOAD);
    m_frame->postMessage(WM_FRAME_ACTIVATE);
    QTRY_VERIFY(!m_host->installedMenus.isEmpty());
}

void TestTaskColors::select(const QList<int> &topRows)
{
    auto *tree = m_frame->tree();
    tree->selectionModel()->clearSelection();
    for (int r : topRows)
        tree->selectionModel()->select(tree->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// ---- codes ------------------------------------------------------------------------------

void TestTaskColors::codesMapToColors_data()
{
    QTest::addColumn<qint32>("code");
    QTest::addColumn<int>("group"); // -1: a fixed colour
    QTest::addColumn<int>("role");
    QTest::addColumn<QColor>("fixed");
    const QColor none;
    QTest::newRow("button face") << qint32(0xFF00000F) << int(QPalette::Active)
                                 << int(QPalette::Button) << none;
    QTest::newRow("window") << qint32(0xFF000005) << int(QPalette::Active) << int(QPalette::Base)
                            << none;
    QTest::newRow("window text") << qint32(0xFF000008) << int(QPalette::Active)
                                 << int(QPalette::Text) << none;
    QTest::newRow("highlight") << qint32(0xFF00000D) << int(QPalette::Active)
                               << int(QPalette::Highlight) << none;
    QTest::newRow("highlight text")
        << qint32(0xFF00000E) << int(QPalette::Active) << int(QPalette::HighlightedText) << none;
    QTest::newRow("grey text") << qint32(0xFF000011) << int(QPalette::Disabled)
                               << int(QPalette::Text) << none;
    QTest::newRow("info background")
        << qint32(0xFF000018) << int(QPalette::Active) << int(QPalette::ToolTipBase) << none;
    QTest::newRow("info text") << qint32(0xFF000017) << int(QPalette::Active)
                               << int(QPalette::ToolTipText) << none;
    QTest::newRow("button text") << qint32(0xFF000012) << int(QPalette::Active)
                                 << int(QPalette::ButtonText) << none;
    QTest::newRow("red is the low byte") << qint32(0x0000FF) << -1 << 0 << QColor(255, 0, 0);
    QTest::newRow("blue is the third byte") << qint32(0xFF0000) << -1 << 0 << QColor(0, 0, 255);
    QTest::newRow("sky blue") << qint32(0xF0CAA6) << -1 << 0 << QColor(0xA6, 0xCA, 0xF0);
    QTest::newRow("system index out of range") << qint32(0xFF000040) << -1 << 0 << QColor(0, 0, 0);
}

void TestTaskColors::codesMapToColors()
{
    QFETCH(qint32, code);
    QFETCH(int, group);
    QFETCH(int, role);
    QFETCH(QColor, fixed);
    const QPalette palette = distinctPalette();
    const QColor expected =
        group < 0 ? fixed : palette.color(QPalette::ColorGroup(group), QPalette::ColorRole(role));
    QCOMPARE(ColorCodes::toColor(code, palette), expected);
    QVERIFY(!ColorCodes::toColor(0, palette).isValid());
}

void TestTaskColors::everySystemIndexHasAColor()
{
    const QPalette palette = distinctPalette();
    for (int index = 0; index <= 30; ++index) {
        const QColor color = ColorCodes::toColor(ColorCodes::systemCode(index), palette);
        QVERIFY2(color.isValid(), qPrintable(QString::number(index)));
        const ColorCodes::SystemRole role = ColorCodes::systemRole(index);
        QCOMPARE(color, palette.color(role.group, role.role));
    }
    // Dark and light roles go where the desktop puts them.
    QCOMPARE(ColorCodes::systemRole(16).role, QPalette::Dark);     // button shadow
    QCOMPARE(ColorCodes::systemRole(20).role, QPalette::Light);    // button highlight
    QCOMPARE(ColorCodes::systemRole(21).role, QPalette::Shadow);   // 3D dark shadow
    QCOMPARE(ColorCodes::systemRole(22).role, QPalette::Midlight); // 3D light
}

void TestTaskColors::fiftyNamedColorsInOrder()
{
    const QList<ColorCodes::NamedColor> &colors = ColorCodes::namedColors();
    QCOMPARE(colors.size(), 50);
    struct Expected
    {
        int index;
        const char *name;
        quint32 code;
    };
    const Expected samples[] = {
        {0, "Black", 0},
        {1, "Maroon", 0x000080},
        {4, "Navy", 0x800000},
        {9, "Red", 0x0000FF},
        {15, "White", 0xFFFFFF},
        {16, "Money Green", 0xC0DCC0},
        {19, "Medium Gray", 0xA4A0A0},
        {20, "Active Border", 0xFF00000A},
        {24, "Button Face", 0xFF00000F},
        {31, "Gray Text", 0xFF000011},
        {44, "Scroll Bar", 0xFF000000},
        {45, "3D Dark Shadow", 0xFF000015},
        {49, "Window Text", 0xFF000008},
    };
    for (const Expected &e : samples) {
        QCOMPARE(colors[e.index].name, QString::fromLatin1(e.name));
        QCOMPARE(colors[e.index].code, qint32(e.code));
    }
    QSet<qint32> codes;
    QSet<QString> names;
    for (const ColorCodes::NamedColor &color : colors) {
        codes.insert(color.code);
        names.insert(color.name);
    }
    QCOMPARE(codes.size(), 50);
    QCOMPARE(names.size(), 50);
}

// ---- the dialog -------------------------------------------------------------------------

void TestTaskColors::defaultsShowBothBoxesChecked()
{
    TColorSetDlg dialog(0, 0);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Color"));
    QVERIFY(dialog.cb_text->isChecked());
    QVERIFY(dialog.cb_bg->isChecked());
    QVERIFY(!dialog.cbox_text->isEnabled());
    QVERIFY(!dialog.cbox_bg->isEnabled());
    QCOMPARE(dialog.cbox_text->currentText(), QStringLiteral("Black"));
    QCOMPARE(dialog.cbox_bg->currentText(), QStringLiteral("White"));
    QCOMPARE(dialog.cbox_text->count(), 50);
    QCOMPARE(dialog.Memo1->text(), QStringLiteral("  Ploxen Software"));
    QCOMPARE(dialog.Memo1->focusPolicy(), Qt::NoFocus);
    QVERIFY(dialog.Memo1->isReadOnly());
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Text), dialog.palette().color(QPalette::Text));
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Base), dialog.palette().color(QPalette::Base));
}

void TestTaskColors::uncheckingEnablesListAndPreviews()
{
    TColorSetDlg dialog(0, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.cb_text->click();
    QVERIFY(dialog.cbox_text->isEnabled());
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Text), QColor(0, 0, 0));
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Base), QColor(255, 255, 255));
    // Picking a colour by keys shows at once.
    dialog.cbox_text->setFocus();
    QTest::keyClick(dialog.cbox_text, Qt::Key_Down); // Maroon
    QCOMPARE(dialog.cbox_text->currentText(), QStringLiteral("Maroon"));
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Text), QColor(0x80, 0, 0));
    dialog.cb_bg->click();
    dialog.cbox_bg->setCurrentIndex(indexOfName(dialog.cbox_bg, "Button Face"));
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Base),
             dialog.palette().color(QPalette::Button));
    // Checking again disables the list and the preview goes back to black on white.
    dialog.cb_text->click();
    QVERIFY(!dialog.cbox_text->isEnabled());
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Text), QColor(0, 0, 0));
    dialog.btn_Ok->click();
    QCOMPARE(dialog.textColor(), 0);
    QCOMPARE(dialog.backgroundColor(), qint32(0xFF00000F));
}

void TestTaskColors::defaultButtonStoresZeros()
{
    TColorSetDlg dialog(ColorCodes::rgb(255, 0, 0), ColorCodes::rgb(255, 255, 0));
    dialog.show();
    QVERIFY(!dialog.cb_text->isChecked());
    QVERIFY(dialog.cbox_text->isEnabled());
    QCOMPARE(dialog.cbox_text->currentText(), QStringLiteral("Red"));
    QCOMPARE(dialog.cbox_bg->currentText(), QStringLiteral("Yellow"));
    QCOMPARE(dialog.Memo1->palette().color(QPalette::Text), QColor(255, 0, 0));
    dialog.cbox_text->setCurrentIndex(indexOfName(dialog.cbox_text, "Navy"));
    dialog.btn_Default->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.textColor(), 0);
    QCOMPARE(dialog.backgroundColor(), 0);
}

void TestTaskColors::blackStoresTheDefaultCode()
{
    TColorSetDlg dialog(0, 0);
    dialog.show();
    dialog.cb_text->click();
    QCOMPARE(dialog.cbox_text->currentText(), QStringLiteral("Black"));
    dialog.btn_Ok->click();
    QCOMPARE(dialog.textColor(), 0);
    TColorSetDlg again(dialog.textColor(), 0);
    QVERIFY(again.cb_text->isChecked());
}

void TestTaskColors::colourTheListDoesNotNameIsKept()
{
    TColorSetDlg dialog(0x123456, 0);
    dialog.show();
    QVERIFY(!dialog.cb_text->isChecked());
    QCOMPARE(TColorSetDlg::selectedCode(dialog.cbox_text), 0x123456);
    dialog.btn_Ok->click();
    QCOMPARE(dialog.textColor(), 0x123456);
}

// ---- the command ------------------------------------------------------------------------

void TestTaskColors::commandWritesSignedCodesAndKeepsSelection()
{
    seed();
    select({0, 1});
    QVERIFY(m_frame->action(QStringLiteral("Action_SetColor"))->isEnabled());
    OnDialog<TColorSetDlg> driver([](TColorSetDlg *dialog) {
        QVERIFY(dialog->cb_text->isChecked());
        dialog->cb_text->click();
        dialog->cbox_text->setCurrentIndex(indexOfName(dialog->cbox_text, "Teal"));
        dialog->cb_bg->click();
        dialog->cbox_bg->setCurrentIndex(indexOfName(dialog->cbox_bg, "Button Face"));
        dialog->btn_Ok->click();
    });
    m_frame->action(QStringLiteral("Action_SetColor"))->trigger();
    QCOMPARE(driver.runs(), 1);
    for (int n : {1, 2}) {
        QCOMPARE(queryValue(
                     m_host->database(),
                     QStringLiteral("select backgroundColor from tasks where tid='%1'").arg(key(n)))
                     .toLongLong(),
                 -16777201LL);
        QCOMPARE(
            queryValue(m_host->database(),
                       QStringLiteral("select textColor from tasks where tid='%1'").arg(key(n)))
                .toLongLong(),
            0x808000LL);
    }
    QCOMPARE(
        queryValue(m_host->database(),
                   QStringLiteral("select backgroundColor from tasks where tid='%1'").arg(key(3)))
            .toLongLong(),
        0LL);
    QCOMPARE(m_frame->tree()->selectedNodes().size(), 2);

    // Read back after a reload: the same code, shown as the button face of the palette.
    reload();
    const QModelIndex first = m_frame->model()->index(0, 0);
    const qint32 code = first.data(ItemTreeModel::BackColorRole).toInt();
    QCOMPARE(code, qint32(0xFF00000F));
    QVERIFY(m_frame->tree()->colorForCode);
    QCOMPARE(m_frame->tree()->colorForCode(code),
             m_frame->tree()->palette().color(QPalette::Button));
    // The next dialog opens on the stored colours.
    select({0});
    OnDialog<TColorSetDlg> reopen([](TColorSetDlg *dialog) {
        QVERIFY(!dialog->cb_bg->isChecked());
        QCOMPARE(dialog->cbox_bg->currentText(), QStringLiteral("Button Face"));
        QCOMPARE(dialog->cbox_text->currentText(), QStringLiteral("Teal"));
        dialog->btn_Cancel->click();
    });
    m_frame->action(QStringLiteral("Action_SetColor"))->trigger();
    QCOMPARE(reopen.runs(), 1);
}

void TestTaskColors::treePaintsTheTaskColours()
{
    Row coloured{key(1), QStringLiteral("root"), QStringLiteral("Coloured task")};
    coloured.backgroundColor = ColorCodes::rgb(0, 128, 0);
    insertTask(m_host->database(), coloured);
    reload();
    select({});
    QTest::qWait(50);
    ItemTreeView *tree = m_frame->tree();
    const QRect rect = tree->visualRect(m_frame->model()->index(0, 0));
    const QImage image = tree->viewport()->grab().toImage();
    QCOMPARE(QColor(image.pixel(rect.right() - 6, rect.center().y())), QColor(0, 128, 0));
}

QTEST_MAIN(TestTaskColors)
#include "test_task_colors.moc"
