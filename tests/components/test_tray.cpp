// The tray icon: which user actions hide the owner window and which bring it back, with
// and without a notification area on the desktop; the hint and balloon limits; clicks,
// the menus and the animation.
#include "components/AppIcon.h"
#include "components/StatusNotifierItem.h"
#include "components/WyTray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QSet>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace {
// The widget tests run with no real notification area; this stands in for one.
bool g_trayThere = true;

QIcon solidIcon(Qt::GlobalColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// A close the window manager sends (the close button, Alt+F4). Returns whether the
// window accepted it; an accepted close then ends the window as the toolkit would.
bool closeFromWindowManager(QWidget &window)
{
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(&window, &event);
    if (event.isAccepted())
        window.hide();
    return event.isAccepted();
}

// Reads and accepts the next message box.
struct BoxReader
{
    QString caption;
    QString text;
    void arm(QObject *context)
    {
        QTimer::singleShot(0, context, [this] {
            const auto widgets = QApplication::topLevelWidgets();
            for (QWidget *w : widgets) {
                if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                    caption = box->windowTitle();
                    text = box->text();
                    box->accept();
                }
            }
        });
    }
};
} // namespace

class TestTray : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void closeHidesWhileThereIsATray();
    void trayIconIsDrawnInOneInk_data();
    void trayIconIsDrawnInOneInk();
    void trayIconFollowsThePalette();
    void closeIsOrdinaryWithoutTrayOrInactive_data();
    void closeIsOrdinaryWithoutTrayOrInactive();
    void programCloseIsNeverIntercepted();
    void minimiseHidesOnlyWithMinimizeToTray_data();
    void minimiseHidesOnlyWithMinimizeToTray();
    void minimizeCommand_data();
    void minimizeCommand();
    void restoreBringsBackAHiddenOrMinimisedWindow();
    void hideOnRestoreRemovesTheIcon();
    void noTrayMeansNoIconAndNoError();
    void trayComingLaterGetsTheIcon();
    void trayGoingAwayBringsTheWindowBack_data();
    void trayGoingAwayBringsTheWindowBack();
    void dialogsBlockOnlyTheirOwnWindow_data();
    void dialogsBlockOnlyTheirOwnWindow();

    void hintCutTo127_data();
    void hintCutTo127();
    void hintLinesAndShowHint();
    void balloonLimits();
    void balloonNeedsTheIcon();

    void clicks();
    void doubleClickRestoresUnlessTheHandlerSaysNo();
    void builtInMenuAndItsReplacement();
    void menuTextsOnTheSessionBus_data();
    void menuTextsOnTheSessionBus();
    void iconFallsBackToImagesThenApplication();
    void imageIndexWithoutImagesIsAnError();
    void animation();
    void deactivatingPausesTheAnimation();

private:
    std::unique_ptr<QWidget> m_window;
};

void TestTray::initTestCase()
{
    TWyCustomTrayIcon::setAvailabilityProbe([] { return g_trayThere; });
}

void TestTray::init()
{
    g_trayThere = true;
    m_window = std::make_unique<QWidget>();
    m_window->resize(300, 200);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTray::cleanup()
{
    m_window.reset();
}

void TestTray::closeHidesWhileThereIsATray()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    QVERIFY(tray.isAdded());

    QVERIFY(!closeFromWindowManager(*m_window));
    QVERIFY(!m_window->isVisible());
    QVERIFY(tray.isAdded());
    // Hidden, not closed: the window comes back as it was.
    tray.Restore();
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
}

void TestTray::closeIsOrdinaryWithoutTrayOrInactive_data()
{
    QTest::addColumn<bool>("trayThere");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("closeToTray");
    QTest::newRow("no tray on the desktop") << false << true << true;
    QTest::newRow("inactive icon") << true << false << true;
    QTest::newRow("close to tray off") << true << true << false;
}

void TestTray::closeIsOrdinaryWithoutTrayOrInactive()
{
    QFETCH(bool, trayThere);
    QFETCH(bool, active);
    QFETCH(bool, closeToTray);
    g_trayThere = trayThere;
    TWyTrayIcon tray(m_window.get());
    tray.setCloseToTray(closeToTray);
    tray.Loaded();
    tray.setActive(active);

    // The close reached the window, which closed like any other.
    QVERIFY(closeFromWindowManager(*m_window));
    QVERIFY(!m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
    QCOMPARE(tray.isAdded(), trayThere && active);
}

void TestTray::programCloseIsNeverIntercepted()
{
    // Installed before the tray's filter, so it sees only what the tray lets through.
    struct Watcher : QObject
    {
        bool seen = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Close)
                seen = true;
            return false;
        }
    } watcher;
    m_window->installEventFilter(&watcher);
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();

    // Exit closes the window itself: that close is not turned into hiding.
    QVERIFY(m_window->close());
    QVERIFY(watcher.seen);
    QVERIFY(!m_window->isVisible());
}

void TestTray::minimiseHidesOnlyWithMinimizeToTray_data()
{
    QTest::addColumn<bool>("minimizeToTray");
    QTest::addColumn<bool>("trayThere");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("to the tray") << true << true << true;
    QTest::newRow("option off") << false << true << false;
    QTest::newRow("no tray") << true << false << false;
}

void TestTray::minimiseHidesOnlyWithMinimizeToTray()
{
    QFETCH(bool, minimizeToTray);
    QFETCH(bool, trayThere);
    QFETCH(bool, hidden);
    g_trayThere = trayThere;
    TWyTrayIcon tray(m_window.get());
    tray.setMinimizeToTray(minimizeToTray);
    tray.Loaded();
    QSignalSpy minimized(&tray, &TWyCustomTrayIcon::OnMinimize);

    m_window->setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    QCOMPARE(minimized.count(), 1);
    if (hidden) {
        QTRY_VERIFY(!m_window->isVisible());
        // It comes back in its normal state, not minimised.
        tray.Restore();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
    } else {
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->isMinimized());
    }
}

void TestTray::minimizeCommand_data()
{
    QTest::addColumn<bool>("trayThere");
    QTest::newRow("tray") << true;
    QTest::newRow("no tray") << false;
}

void TestTray::minimizeCommand()
{
    QFETCH(bool, trayThere);
    g_trayThere = trayThere;
    TWyTrayIcon tray(m_window.get());
    tray.setMinimizeToTray(true);
    tray.Loaded();
    QSignalSpy minimized(&tray, &TWyCustomTrayIcon::OnMinimize);

    tray.Minimize();
    // Posted: nothing happens before the current event is through.
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
    QTRY_COMPARE(minimized.count(), 1);
    QTest::qWait(50);
    QCOMPARE(minimized.count(), 1);
    if (trayThere) {
        QVERIFY(!m_window->isVisible());
    } else {
        // An ordinary minimise: the program stays reachable on the task bar.
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->isMinimized());
    }
}

void TestTray::restoreBringsBackAHiddenOrMinimisedWindow()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    QSignalSpy restoring(&tray, &TWyCustomTrayIcon::OnRestore);

    m_window->hide();
    tray.Restore();
    QCOMPARE(restoring.count(), 1);
    QVERIFY(m_window->isVisible());

    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    tray.Restore();
    QCOMPARE(restoring.count(), 2);
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());

    // A maximised window stays maximised through the tray.
    m_window->showMaximized();
    QTRY_VERIFY(m_window->isMaximized());
    closeFromWindowManager(*m_window);
    QVERIFY(!m_window->isVisible());
    tray.Restore();
    QVERIFY(m_window->isMaximized());
}

void TestTray::hideOnRestoreRemovesTheIcon()
{
    TWyTrayIcon tray(m_window.get());
    tray.setHideOnRestore(true);
    tray.Loaded();
    closeFromWindowManager(*m_window);
    QVERIFY(tray.isAdded());
    tray.Restore();
    QVERIFY(!tray.isAdded());
    // Closing again puts the icon back before hiding.
    closeFromWindowManager(*m_window);
    QVERIFY(tray.isAdded());
    QVERIFY(!m_window->isVisible());
}

void TestTray::noTrayMeansNoIconAndNoError()
{
    g_trayThere = false;
    TWyTrayIcon tray(m_window.get());
    // Any message box would block here.
    tray.Loaded();
    QVERIFY(!tray.AddToTray());
    QVERIFY(!tray.isAdded());
    QVERIFY(!tray.systemTrayIcon()->isVisible());

    // A tray that turns up later is used by the next close.
    g_trayThere = true;
    closeFromWindowManager(*m_window);
    QVERIFY(tray.isAdded());
    QVERIFY(!m_window->isVisible());
}

void TestTray::trayComingLaterGetsTheIcon()
{
    g_trayThere = false;
    TWyTrayIcon tray(m_window.get());
    tray.setMinimizeToTray(true);
    tray.Loaded();
    QVERIFY(!tray.isAdded());
    // Never hidden into a tray that is not there.
    tray.Minimize();
    QTRY_VERIFY(m_window->isMinimized());
    QVERIFY(m_window->isVisible());
    m_window->showNormal();

    // The tray comes: the icon is there without the window going anywhere.
    g_trayThere = true;
    QTRY_VERIFY(tray.isAdded());
    QVERIFY(tray.systemTrayIcon()->isVisible());
    QVERIFY(m_window->isVisible());

    // An icon the owner took away stays away.
    tray.RemoveFromTray();
    QTest::qWait(3 * TWyCustomTrayIcon::kWatchMs);
    QVERIFY(!tray.isAdded());
}

void TestTray::trayGoingAwayBringsTheWindowBack_data()
{
    QTest::addColumn<QString>("how"); // how the window went to the tray, if it did
    QTest::newRow("closed to the tray") << QStringLiteral("close");
    QTest::newRow("minimised to the tray") << QStringLiteral("minimise");
    QTest::newRow("maximised, closed to the tray") << QStringLiteral("maximised");
    QTest::newRow("shown") << QString();
}

void TestTray::trayGoingAwayBringsTheWindowBack()
{
    QFETCH(QString, how);
    TWyTrayIcon tray(m_window.get());
    tray.setMinimizeToTray(true);
    tray.Loaded();
    QSignalSpy lost(&tray, &TWyCustomTrayIcon::notificationAreaLost);
    bool returning = false;
    bool shownWhileReturning = false;
    class ShowWatch : public QObject
    {
    public:
        std::function<void()> onShow;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Show)
                onShow();
            return false;
        }
    } watch;
    watch.onShow = [&] {
        shownWhileReturning = true;
        returning = tray.returningWithoutTray();
    };
    if (how == QLatin1String("maximised")) {
        m_window->showMaximized();
        QTRY_VERIFY(m_window->isMaximized());
    }
    if (how == QLatin1String("minimise"))
        tray.Minimize();
    else if (!how.isEmpty())
        QVERIFY(!closeFromWindowManager(*m_window));
    QTRY_VERIFY(how.isEmpty() || tray.ownerInTray());
    QCOMPARE(m_window->isVisible(), how.isEmpty());
    m_window->installEventFilter(&watch);

    g_trayThere = false;
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!tray.isAdded());
    QVERIFY(!tray.systemTrayIcon()->isVisible());
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
    QVERIFY(!tray.ownerInTray());
    QCOMPARE(m_window->isMaximized(), how == QLatin1String("maximised"));
    QCOMPARE(shownWhileReturning, !how.isEmpty());
    QCOMPARE(returning, !how.isEmpty());
    QVERIFY(!tray.returningWithoutTray());
    m_window->removeEventFilter(&watch);

    // With no tray, closing and minimising are what they are for any window; the tray
    // coming back gets the icon again.
    tray.Minimize();
    QTRY_VERIFY(m_window->isMinimized());
    QVERIFY(m_window->isVisible());
    g_trayThere = true;
    QTRY_VERIFY(tray.isAdded());
    QCOMPARE(lost.count(), 1);
}

void TestTray::dialogsBlockOnlyTheirOwnWindow_data()
{
    QTest::addColumn<bool>("owned");   // the dialog belongs to the owner window
    QTest::addColumn<bool>("running"); // run with exec(), else shown application-modal
    QTest::newRow("dialog of the window, run") << true << true;
    QTest::newRow("window of the window, shown modal") << true << false;
    QTest::newRow("dialog of no window") << false << true;
}

void TestTray::dialogsBlockOnlyTheirOwnWindow()
{
    QFETCH(bool, owned);
    QFETCH(bool, running);
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    // A window of its own, as the icon is.
    QWidget icon;
    icon.resize(22, 22);
    icon.show();
    QVERIFY(QTest::qWaitForWindowExposed(&icon));

    struct BlockWatch : public QObject
    {
        bool blocked = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::WindowBlocked)
                blocked = true;
            return false;
        }
    } ownerWatch, iconWatch;
    m_window->installEventFilter(&ownerWatch);
    icon.installEventFilter(&iconWatch);

    QDialog dialog(owned ? m_window.get() : nullptr);
    Qt::WindowModality modality = Qt::NonModal;
    if (running) {
        QTimer::singleShot(0, &dialog, [&] {
            modality = dialog.windowHandle()->modality();
            dialog.reject();
        });
        dialog.exec();
    } else {
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        modality = dialog.windowHandle()->modality();
        dialog.hide();
    }
    QCOMPARE(modality, owned ? Qt::WindowModal : Qt::ApplicationModal);
    QVERIFY(ownerWatch.blocked);
    QCOMPARE(iconWatch.blocked, !owned);
}

void TestTray::hintCutTo127_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("shown");
    QTest::newRow("126") << 126 << 126;
    QTest::newRow("127") << 127 << 127;
    QTest::newRow("128") << 128 << 127;
    QTest::newRow("300") << 300 << 127;
}

void TestTray::hintCutTo127()
{
    QFETCH(int, length);
    QFETCH(int, shown);
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    QString hint;
    for (int i = 0; i < length; ++i)
        hint += QChar(u'a' + i % 26);
    tray.setHint(hint);
    // The hint keeps its whole text; the notification area gets the cut one.
    QCOMPARE(tray.Hint(), hint);
    QCOMPARE(tray.systemTrayIcon()->toolTip(), hint.left(shown));
}

void TestTray::hintLinesAndShowHint()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    const QString hint = QStringLiteral("Incomplete Tasks:\r(1) Buy milk\r ...");
    tray.setHint(hint);
    QCOMPARE(tray.systemTrayIcon()->toolTip(),
             QStringLiteral("Incomplete Tasks:\n(1) Buy milk\n ..."));
    tray.setShowHint(false);
    QCOMPARE(tray.systemTrayIcon()->toolTip(), QString());
    tray.setShowHint(true);
    QCOMPARE(tray.systemTrayIcon()->toolTip(), tray.shownToolTip());
    QVERIFY(!tray.shownToolTip().isEmpty());
}

void TestTray::balloonLimits()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    QSignalSpy shown(&tray, &TWyCustomTrayIcon::balloonHintShown);
    QSignalSpy closed(&tray, &TWyCustomTrayIcon::OnBalloonHintClose);
    tray.ShowBalloonHint(QString(80, QLatin1Char('t')), QString(300, QLatin1Char('x')), 0,
                         TWyCustomTrayIcon::NIIF_INFO);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toString().size(), 63);
    QCOMPARE(shown.at(0).at(1).toString().size(), 255);
    // A time-out of 0 seconds ends at once.
    QTRY_COMPARE(closed.count(), 1);

    // Clicking the balloon is its own event; no time-out follows.
    QSignalSpy clicked(&tray, &TWyCustomTrayIcon::OnBalloonHintClick);
    tray.ShowBalloonHint(QStringLiteral("Ploxen Tasklume"), QStringLiteral("Click here to open!"),
                         1, TWyCustomTrayIcon::NIIF_INFO);
    Q_EMIT tray.systemTrayIcon()->messageClicked();
    QCOMPARE(clicked.count(), 1);
    QTest::qWait(1200);
    QCOMPARE(closed.count(), 1);

    // Removing the icon while a balloon shows hides it.
    QSignalSpy hidden(&tray, &TWyCustomTrayIcon::OnBalloonHintHide);
    tray.ShowBalloonHint(QStringLiteral("a"), QStringLiteral("b"), 10,
                         TWyCustomTrayIcon::NIIF_WARNING);
    tray.RemoveFromTray();
    QCOMPARE(hidden.count(), 1);
}

void TestTray::balloonNeedsTheIcon()
{
    TWyTrayIcon tray(m_window.get());
    tray.setActive(false);
    tray.Loaded();
    QSignalSpy shown(&tray, &TWyCustomTrayIcon::balloonHintShown);
    tray.ShowBalloonHint(QStringLiteral("a"), QStringLiteral("b"), 10,
                         TWyCustomTrayIcon::NIIF_INFO);
    QCOMPARE(shown.count(), 0);
}

void TestTray::clicks()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    QSignalSpy clicked(&tray, &TWyCustomTrayIcon::OnClick);
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::MiddleClick);
    // A right click only pops the menu up.
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::Context);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(clicked.at(1).at(0).value<Qt::MouseButton>(), Qt::MiddleButton);
    // A click alone restores nothing: that is the owner's handler's choice.
    closeFromWindowManager(*m_window);
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!m_window->isVisible());
}

void TestTray::doubleClickRestoresUnlessTheHandlerSaysNo()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    closeFromWindowManager(*m_window);

    // No handler: the window comes back.
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(m_window->isVisible());

    closeFromWindowManager(*m_window);
    QList<Qt::MouseButton> buttons;
    connect(&tray, &TWyCustomTrayIcon::OnDblClick, this,
            [&](Qt::MouseButton button, Qt::KeyboardModifiers, bool *restoreApp) {
                buttons.append(button);
                *restoreApp = false;
            });
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(buttons, QList<Qt::MouseButton>{Qt::LeftButton});
    QVERIFY(!m_window->isVisible());
}

void TestTray::menuTextsOnTheSessionBus_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    QTest::newRow("access key") << QStringLiteral("E&xit") << QStringLiteral("E_xit");
    QTest::newRow("first letter") << QStringLiteral("&Add Task") << QStringLiteral("_Add Task");
    QTest::newRow("no key") << QStringLiteral("Get Free Resources")
                            << QStringLiteral("Get Free Resources");
    QTest::newRow("a plain ampersand")
        << QStringLiteral("Tasks && &Memos") << QStringLiteral("Tasks & _Memos");
    QTest::newRow("an underscore")
        << QStringLiteral("wy_data &file") << QStringLiteral("wy__data _file");
}

void TestTray::menuTextsOnTheSessionBus()
{
    QFETCH(QString, text);
    QFETCH(QString, label);
    QCOMPARE(StatusNotifierMenuLabel(text), label);
}

void TestTray::builtInMenuAndItsReplacement()
{
    TWyTrayIcon tray(m_window.get());
    tray.Loaded();
    QMenu *builtIn = tray.PopupMenu();
    QVERIFY(builtIn);
    QCOMPARE(tray.systemTrayIcon()->contextMenu(), builtIn);
    QStringList captions;
    for (QAction *action : builtIn->actions())
        captions.append(action->text());
    QCOMPARE(captions, (QStringList{QStringLiteral("&Close"), QStringLiteral("&Restore")}));

    // "&Restore" restores.
    closeFromWindowManager(*m_window);
    builtIn->actions().at(1)->trigger();
    QVERIFY(m_window->isVisible());

    auto *own = new QMenu;
    tray.setPopupMenu(own);
    QCOMPARE(tray.systemTrayIcon()->contextMenu(), own);
    // A menu that goes away leaves no dangling menu behind.
    delete own;
    QCOMPARE(tray.PopupMenu(), nullptr);
    QCOMPARE(tray.systemTrayIcon()->contextMenu(), nullptr);
    // No menu: a right click does nothing (and does not crash).
    Q_EMIT tray.systemTrayIcon()->activated(QSystemTrayIcon::Context);
}

namespace {
// The colours of the pixels an icon draws at a size, without their coverage; and how many
// pixels it covers fully.
QSet<QRgb> inksOf(const QIcon &icon, int size, int *covered)
{
    const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> inks;
    *covered = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                ++*covered;
                inks.insert(pixel);
            }
        }
    }
    return inks;
}
} // namespace

void TestTray::trayIconIsDrawnInOneInk_data()
{
    QTest::addColumn<QColor>("ink");
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 48}) {
        QTest::addRow("dark panel text, %d", size) << QColor(0xee, 0xee, 0xec) << size;
        QTest::addRow("light panel text, %d", size) << QColor(0x2e, 0x34, 0x36) << size;
    }
}

void TestTray::trayIconIsDrawnInOneInk()
{
    QFETCH(QColor, ink);
    QFETCH(int, size);
    int covered = 0;
    const QSet<QRgb> inks = inksOf(TrayIcon(ink), size, &covered);
    QCOMPARE(inks, QSet<QRgb>{ink.rgba()});
    // A glyph, not a speck nor a filled square.
    QVERIFY2(covered > size * size / 8 && covered < size * size * 3 / 4,
             qPrintable(QString::number(covered)));
}

void TestTray::trayIconFollowsThePalette()
{
    const QPalette before = QApplication::palette();
    TWyTrayIcon tray(m_window.get());
    tray.setImages({TrayIcon(TrayInk())});
    tray.Loaded();
    FollowPalette(&tray);
    int covered = 0;
    QCOMPARE(inksOf(tray.shownIcon(), 22, &covered),
             QSet<QRgb>{before.color(QPalette::WindowText).rgba()});

    // The desktop turns dark: the icon is drawn in the new text colour at once.
    QPalette dark = before;
    const QColor light(0xf0, 0xf0, 0xf0);
    dark.setColor(QPalette::WindowText, light);
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    QApplication::setPalette(dark);
    QTRY_COMPARE(inksOf(tray.shownIcon(), 22, &covered), QSet<QRgb>{light.rgba()});
    QCOMPARE(inksOf(tray.systemTrayIcon()->icon(), 22, &covered), QSet<QRgb>{light.rgba()});
    QApplication::setPalette(before);
}

void TestTray::iconFallsBackToImagesThenApplication()
{
    const QIcon red = solidIcon(Qt::red);
    const QIcon blue = solidIcon(Qt::blue);
    const QIcon green = solidIcon(Qt::green);
    QApplication::setWindowIcon(green);
    {
        TWyTrayIcon tray(m_window.get());
        tray.Loaded();
        QCOMPARE(tray.shownIcon().cacheKey(), green.cacheKey());
    }
    {
        TWyTrayIcon tray(m_window.get());
        tray.setImages({red, blue});
        tray.setImageIndex(1);
        tray.Loaded();
        QCOMPARE(tray.shownIcon().cacheKey(), blue.cacheKey());
        // Icon takes precedence over Images.
        tray.setIcon(red);
        QCOMPARE(tray.shownIcon().cacheKey(), red.cacheKey());
        QCOMPARE(tray.systemTrayIcon()->icon().cacheKey(), red.cacheKey());
    }
    QApplication::setWindowIcon(QIcon());
    {
        TWyTrayIcon tray(m_window.get());
        tray.Loaded();
        QVERIFY(!tray.shownIcon().isNull());
    }
}

void TestTray::imageIndexWithoutImagesIsAnError()
{
    TWyTrayIcon tray(m_window.get());
    tray.setIcon(solidIcon(Qt::red));
    tray.Loaded();
    const qint64 before = tray.shownIcon().cacheKey();
    BoxReader box;
    box.arm(this);
    tray.setImageIndex(2);
    QCOMPARE(box.caption, QStringLiteral("Ploxen TrayIcon Error"));
    QCOMPARE(box.text, QStringLiteral("SetImageIndex: No image list assigned"));
    QCOMPARE(tray.shownIcon().cacheKey(), before);
}

void TestTray::animation()
{
    const QList<QIcon> frames{solidIcon(Qt::red), solidIcon(Qt::green), solidIcon(Qt::blue)};
    TWyTrayIcon tray(m_window.get());
    tray.setImages(frames);
    tray.setInterval(0);
    tray.Loaded();
    tray.setAnimate(true);
    // An interval of 0 runs every 200 milliseconds and is stored.
    QCOMPARE(tray.Interval(), 200);

    QList<qint64> seen;
    for (int i = 0; i < 40 && seen.size() < 4; ++i) {
        QTest::qWait(60);
        const qint64 key = tray.systemTrayIcon()->icon().cacheKey();
        if (seen.isEmpty() || seen.last() != key)
            seen.append(key);
    }
    QVERIFY2(seen.size() >= 4, "the icon did not cycle");
    // Frames in list order, wrapping after the last.
    const int first = int(std::find_if(frames.begin(), frames.end(),
                                       [&](const QIcon &f) { return f.cacheKey() == seen[0]; }) -
                          frames.begin());
    QVERIFY(first < frames.size());
    for (int i = 1; i < 4; ++i)
        QCOMPARE(seen.at(i), frames.at((first + i) % frames.size()).cacheKey());

    // Stopping shows the fixed image again.
    tray.setAnimate(false);
    QCOMPARE(tray.systemTrayIcon()->icon().cacheKey(), frames.at(0).cacheKey());
}

void TestTray::deactivatingPausesTheAnimation()
{
    const QList<QIcon> frames{solidIcon(Qt::red), solidIcon(Qt::green)};
    TWyTrayIcon tray(m_window.get());
    tray.setImages(frames);
    tray.setInterval(20);
    tray.Loaded();
    tray.setAnimate(true);
    QTest::qWait(60);
    tray.setActive(false);
    QVERIFY(!tray.isAdded());
    const qint64 paused = tray.systemTrayIcon()->icon().cacheKey();
    QTest::qWait(100);
    QCOMPARE(tray.systemTrayIcon()->icon().cacheKey(), paused);

    tray.setActive(true);
    QVERIFY(tray.isAdded());
    QTRY_VERIFY(tray.systemTrayIcon()->icon().cacheKey() != paused);
}

QTEST_MAIN(TestTray)
#include "test_tray.moc"
