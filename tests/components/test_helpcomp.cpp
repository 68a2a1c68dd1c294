// The help component: F1 opens the help at the topic of the focused control, of the
// control around it or of the window; F1 with a modifier key passes on; the help file
// holds a topic for every context the program uses.
#include "components/HelpTopics.h"
#include "components/HelpViewer.h"
#include "components/wyHHComp.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QVBoxLayout>

using namespace TestSupport;

namespace {
// A control that counts the keys that reach it.
class KeyCounter : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    int f1 = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_F1)
            ++f1;
        QLineEdit::keyPressEvent(event);
    }
};

// The help as written (the copy beside the program is made when the program is built).
QString helpFilePath()
{
    return QStringLiteral(TASKLUME_HELP_SOURCE);
}
} // namespace

class TestHelpComp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void fullHelpPath();
    void f1OpensTheTopicOfTheFocusedControl_data();
    void f1OpensTheTopicOfTheFocusedControl();
    void f1WithAModifierPassesOn_data();
    void f1WithAModifierPassesOn();
    void f1WithoutHelpFileIsStillHandled();
    void otherWindowsKeysAreLeftAlone();
    void closingTheComponentClosesTheViewer();
    void missingHelpFileIsSaid();
    void helpFileHasEveryTopic();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<QWidget> m_window;
    QWidget *m_page = nullptr;
    KeyCounter *m_plain = nullptr;  // no context, on a page that has one
    KeyCounter *m_own = nullptr;    // its own context
    KeyCounter *m_direct = nullptr; // no context, straight on the window
    TWYHHComp *m_help = nullptr;
};

void TestHelpComp::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_page = new QWidget;
    auto *pageLayout = new QVBoxLayout(m_page);
    m_plain = new KeyCounter;
    m_own = new KeyCounter;
    pageLayout->addWidget(m_plain);
    pageLayout->addWidget(m_own);
    layout->addWidget(m_page);
    m_direct = new KeyCounter;
    layout->addWidget(m_direct);
    TWYHHComp::setHelpContext(m_window.get(), HelpContext::MainWindow);
    TWYHHComp::setHelpContext(m_page, HelpContext::Memos);
    TWYHHComp::setHelpContext(m_own, HelpContext::Keys);

    m_help = new TWYHHComp(m_window.get());
    m_help->setHelpFile(helpFilePath());
    m_help->Loaded();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestHelpComp::cleanup()
{
    m_window.reset();
    m_folder.reset();
}

void TestHelpComp::fullHelpPath()
{
    TWYHHComp help(m_window.get());
    help.setHelpFile(QStringLiteral("Tasklume-help.html"));
    QCOMPARE(help.fullHelpPath(), m_folder->file(QStringLiteral("Tasklume-help.html")));
    help.setHelpFile(QStringLiteral("/opt/help/x.html"));
    QCOMPARE(help.fullHelpPath(), QStringLiteral("/opt/help/x.html"));
}

void TestHelpComp::f1OpensTheTopicOfTheFocusedControl_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("windowContext");
    QTest::addColumn<QString>("anchor");
    QTest::newRow("its own context")
        << QStringLiteral("own") << int(HelpContext::MainWindow) << QStringLiteral("keys");
    QTest::newRow("the page's context")
        << QStringLiteral("plain") << int(HelpContext::MainWindow) << QStringLiteral("memos");
    QTest::newRow("the window's context")
        << QStringLiteral("direct") << int(HelpContext::MainWindow)
        << QStringLiteral("main-window");
    QTest::newRow("no focused control")
        << QString() << int(HelpContext::Tray) << QStringLiteral("tray");
    QTest::newRow("no context anywhere: the start")
        << QStringLiteral("direct") << int(HelpContext::None) << QStringLiteral("contents");
}

void TestHelpComp::f1OpensTheTopicOfTheFocusedControl()
{
    QFETCH(QString, focus);
    QFETCH(int, windowContext);
    QFETCH(QString, anchor);
    TWYHHComp::setHelpContext(m_window.get(), windowContext);
    KeyCounter *target = focus == QStringLiteral("own")      ? m_own
                         : focus == QStringLiteral("plain")  ? m_plain
                         : focus == QStringLiteral("direct") ? m_direct
                                                             : nullptr;
    QWidget *receiver = m_window.get();
    if (target) {
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        receiver = target;
    } else {
        m_window->setFocus();
    }

    QTest::keyClick(receiver, Qt::Key_F1);
    QVERIFY(m_help->viewer());
    QCOMPARE(m_help->viewer()->currentAnchor(), anchor);
    QVERIFY(m_help->viewer()->isVisible());
    QCOMPARE(m_help->viewer()->windowTitle(), QStringLiteral("Help \u2014 Ploxen Tasklume"));
    // Handled: the control never sees the key.
    if (target)
        QCOMPARE(target->f1, 0);
}

void TestHelpComp::f1WithAModifierPassesOn_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Shift") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Alt") << Qt::KeyboardModifiers(Qt::AltModifier);
}

void TestHelpComp::f1WithAModifierPassesOn()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    m_own->setFocus();
    QTest::keyClick(m_own, Qt::Key_F1, modifiers);
    QCOMPARE(m_own->f1, 1);
    QVERIFY(!m_help->viewer());
}

void TestHelpComp::f1WithoutHelpFileIsStillHandled()
{
    m_help->setHelpFile(QString());
    m_own->setFocus();
    QTest::keyClick(m_own, Qt::Key_F1);
    QVERIFY(!m_help->viewer());
    QCOMPARE(m_own->f1, 0);
}

void TestHelpComp::otherWindowsKeysAreLeftAlone()
{
    KeyCounter other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QTest::keyClick(&other, Qt::Key_F1);
    QCOMPARE(other.f1, 1);
    QVERIFY(!m_help->viewer());
}

void TestHelpComp::closingTheComponentClosesTheViewer()
{
    m_help->showHelp(HelpContext::Tasks);
    QPointer<HelpViewer> viewer = m_help->viewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->currentAnchor(), QStringLiteral("tasks"));
    // Asking again reuses the open viewer.
    m_help->showHelp(HelpContext::Memos);
    QCOMPARE(m_help->viewer(), viewer.data());
    QCOMPARE(viewer->currentAnchor(), QStringLiteral("memos"));
    delete m_help;
    QVERIFY(!viewer);
}

void TestHelpComp::missingHelpFileIsSaid()
{
    m_help->setHelpFile(m_folder->file(QStringLiteral("nothing-here.html")));
    m_help->showHelp(HelpContext::Contents);
    QVERIFY(m_help->viewer());
    QVERIFY(m_help->viewer()->browser()->toPlainText().contains(QStringLiteral("cannot be found")));
}

void TestHelpComp::helpFileHasEveryTopic()
{
    QFile file(helpFilePath());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(helpFilePath()));
    const QString html = QString::fromUtf8(file.readAll());
    const int contexts[] = {
        HelpContext::Contents,    HelpContext::MainWindow,    HelpContext::Tray,
        HelpContext::Tasks,       HelpContext::TaskEditing,   HelpContext::TaskViews,
        HelpContext::DueReminder, HelpContext::Alarm,         HelpContext::TaskColours,
        HelpContext::Reports,     HelpContext::Email,         HelpContext::Memos,
        HelpContext::Backup,      HelpContext::RestoreImport, HelpContext::Options,
        HelpContext::About,       HelpContext::Update,        HelpContext::Keys,
        HelpContext::Files,
    };
    for (int context : contexts) {
        const QString anchor = HelpAnchor(context);
        // The viewer finds anchors by name.
        QVERIFY2(html.contains(QStringLiteral("<a name=\"%1\">").arg(anchor)), qPrintable(anchor));
    }
    // And the viewer scrolls there.
    m_help->showHelp(HelpContext::Backup);
    QTextBrowser *browser = m_help->viewer()->browser();
    QTRY_VERIFY(browser->toPlainText().contains(QStringLiteral("Database Backup")));
}

QTEST_MAIN(TestHelpComp)
#include "test_helpcomp.moc"
