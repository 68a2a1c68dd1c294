// The real program on a desktop that hosts tray icons on the session bus (KDE Plasma, GNOME
// with the AppIndicator extension) instead of an X11 tray. The test runs a private session
// bus and plays the desktop's StatusNotifierWatcher and its host itself: the program's icon
// registers there, whether the watcher was there first or came later; its menu offers the
// tray menu's commands, which work; activating it brings the hidden window back; when the
// watcher or its host ends while the window is hidden, the window comes back by itself and
// a second start shows it; and when they come back, so does the icon.
#include "common/Texts.h"
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
// How long an icon may take to turn up in a tray that came after the program.
constexpr int kLateIconMs = 4000;

// The desktop's side: a StatusNotifierWatcher that keeps the items registered with it while
// their names live, with a host (the panel) that can come and go on its own.
class Watcher : public QObject
{
    Q_OBJECT
public:
    explicit Watcher(QString address) : m_address(std::move(address)) {}
    ~Watcher() override { stop(); }

    bool start();
    // Ends the watcher (its connection closes, as when the process ends).
    void stop();
    void setHost(bool registered);
    bool hostRegistered() const { return m_host; }
    const QStringList &items() const { return m_items; }
    // The process that owns a registered item's name.
    uint ownerPid(const QString &service) const;

    void registerItem(const QString &service, const QDBusMessage &message);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    QString m_address;
    QString m_connection;
    QStringList m_items;
    bool m_host = true;
    QDBusServiceWatcher *m_itemWatcher = nullptr;
    int m_starts = 0;
};

class WatcherAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit WatcherAdaptor(Watcher *watcher) : QDBusAbstractAdaptor(watcher), m_watcher(watcher)
    {
        setAutoRelaySignals(true);
    }
    QStringList items() const { return m_watcher->items(); }
    bool hostRegistered() const { return m_watcher->hostRegistered(); }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message)
    {
        m_watcher->registerItem(service, message);
    }
    void RegisterStatusNotifierHost(const QString &) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    Watcher *m_watcher;
};

bool Watcher::start()
{
    stop();
    m_connection = QStringLiteral("tasklume-test-watcher-%1").arg(++m_starts);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connection);
    if (!bus.isConnected())
        return false;
    auto *adaptor = findChild<WatcherAdaptor *>();
    if (!adaptor)
        new WatcherAdaptor(this);
    m_itemWatcher =
        new QDBusServiceWatcher(QString(), bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_itemWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString &service) {
                for (const QString &item : QStringList(m_items)) {
                    if (item == service || item.startsWith(service + QLatin1Char('/'))) {
                        m_items.removeAll(item);
                        Q_EMIT StatusNotifierItemUnregistered(item);
                    }
                }
                m_itemWatcher->removeWatchedService(service);
            });
    return bus.registerObject(kWatcherPath, this, QDBusConnection::ExportAdaptors) &&
           bus.registerService(kWatcherService);
}

void Watcher::stop()
{
    if (m_connection.isEmpty())
        return;
    delete m_itemWatcher;
    m_itemWatcher = nullptr;
    // A new watcher knows nothing of the items of the old one.
    m_items.clear();
    QDBusConnection::disconnectFromBus(m_connection);
    m_connection.clear();
}

void Watcher::setHost(bool registered)
{
    if (registered == m_host)
        return;
    m_host = registered;
    if (registered)
        Q_EMIT StatusNotifierHostRegistered();
    else
        Q_EMIT StatusNotifierHostUnregistered();
}

void Watcher::registerItem(const QString &service, const QDBusMessage &message)
{
    // An item names its bus name, or only its object path on the caller's connection.
    const QString owner = service.startsWith(QLatin1Char('/')) ? message.service() : service;
    const QString item = service.startsWith(QLatin1Char('/')) ? owner + service : service;
    if (m_items.contains(item))
        return;
    m_items.append(item);
    m_itemWatcher->addWatchedService(owner);
    Q_EMIT StatusNotifierItemRegistered(item);
}

uint Watcher::ownerPid(const QString &service) const
{
    QDBusConnection bus(m_connection);
    const QDBusReply<uint> pid =
        bus.interface()->servicePid(service.section(QLatin1Char('/'), 0, 0));
    return pid.isValid() ? pid.value() : 0;
}

// When the tray is there: before the program starts, after it, or its watcher before and
// the host (the panel that shows the icons) after.
enum class TrayStart
{
    Before,
    After,
    HostAfter
};

// One entry of a menu read from the bus: its label ("-" for a separator) and properties.
struct MenuEntry
{
    int id = 0;
    QString label;
    bool enabled = true;
};

void readLayout(const QDBusArgument &argument, QList<MenuEntry> *entries, bool top)
{
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    if (!top && properties.value(QStringLiteral("visible"), true).toBool()) {
        MenuEntry entry;
        entry.id = id;
        entry.label = properties.value(QStringLiteral("type")) == QStringLiteral("separator")
                          ? QStringLiteral("-")
                          : properties.value(QStringLiteral("label")).toString();
        entry.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
        entries->append(entry);
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        readLayout(child.variant().value<QDBusArgument>(), entries, false);
    }
    argument.endArray();
    argument.endStructure();
}

// The tray menu's entries as a host on the bus shows them: the access key marked with '_'.
QStringList trayMenuLabels()
{
    QStringList labels;
    for (const QString &text : {Texts::TrayOpen, QStringLiteral("-"), Texts::ActionAddTask,
                                Texts::ActionPasteTask, QStringLiteral("-"), Texts::ActionAddMemo,
                                Texts::ActionPasteMemo, QStringLiteral("-"), Texts::ActionExit}) {
        QString label = text;
        labels.append(label.replace(QLatin1Char('&'), QLatin1Char('_')));
    }
    return labels;
}
} // namespace

Q_DECLARE_METATYPE(TrayStart)

class TestE2eTrayBus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void iconRegistersAndOpensTheWindow_data();
    void iconRegistersAndOpensTheWindow();
    void trayEndingBringsTheHiddenWindowBack_data();
    void trayEndingBringsTheHiddenWindowBack();
    void iconMovesBetweenTheTwoKindsOfTray();
    void menuCommandsWork_data();
    void menuCommandsWork();
    void cleanupTestCase();

private:
    bool isHidden() const;
    bool isReachable() const;
    void closeWindow() const;
    void minimiseWindow() const;
    void startProgram();
    QString programItem() const;
    QDBusMessage callItem(const QString &interface, const QString &path, const QString &method,
                          const QVariantList &arguments) const;
    QList<MenuEntry> menuEntries() const;
    void startUnderTray(TrayStart start);

    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<QProcess> m_bus;
    QString m_address;
    std::unique_ptr<Watcher> m_watcher;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<ProgramRun> m_program;
    QString m_window;
};

bool TestE2eTrayBus::isHidden() const
{
    return m_session->isHiddenInTray(m_window);
}

bool TestE2eTrayBus::isReachable() const
{
    return m_session->isReachable(m_window);
}

void TestE2eTrayBus::closeWindow() const
{
    m_session->closeWithKey(m_window);
}

void TestE2eTrayBus::minimiseWindow() const
{
    m_session->run(QStringLiteral("xdotool"),
                   {QStringLiteral("windowminimize"), QStringLiteral("--sync"), m_window});
}

void TestE2eTrayBus::startProgram()
{
    m_program = std::make_unique<ProgramRun>(*m_session, m_folder->path());
    QVERIFY(m_program->start());
    m_window = m_session->waitForWindow(kTitle);
    QVERIFY2(!m_window.isEmpty(), qPrintable(m_program->output()));
    QTRY_VERIFY_WITH_TIMEOUT(m_program->request("rows tasks").contains("Water the plants"), 10000);
}

QString TestE2eTrayBus::programItem() const
{
    // The program's one icon; another (Qt's own besides it) would be a second icon.
    if (m_watcher->items().size() != 1)
        return {};
    const QString item = m_watcher->items().constFirst();
    return m_watcher->ownerPid(item) == uint(m_program->process().processId()) ? item : QString();
}

QDBusMessage TestE2eTrayBus::callItem(const QString &interface, const QString &path,
                                      const QString &method, const QVariantList &arguments) const
{
    const QString item = programItem();
    QDBusMessage call = QDBusMessage::createMethodCall(item.section(QLatin1Char('/'), 0, 0), path,
                                                       interface, method);
    call.setArguments(arguments);
    QDBusConnection host =
        QDBusConnection::connectToBus(m_address, QStringLiteral("tasklume-test-host"));
    return host.call(call, QDBus::Block, 10000);
}

QList<MenuEntry> TestE2eTrayBus::menuEntries() const
{
    const QDBusMessage menuPath = callItem(
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("Get"), {kItemInterface, QStringLiteral("Menu")});
    if (menuPath.type() != QDBusMessage::ReplyMessage)
        return {};
    const QString path = menuPath.arguments()
                             .constFirst()
                             .value<QDBusVariant>()
                             .variant()
                             .value<QDBusObjectPath>()
                             .path();
    const QDBusMessage layout =
        callItem(kMenuInterface, path, QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (layout.type() != QDBusMessage::ReplyMessage || layout.arguments().size() != 2)
        return {};
    QList<MenuEntry> entries;
    readLayout(layout.arguments().at(1).value<QDBusArgument>(), &entries, true);
    return entries;
}

void TestE2eTrayBus::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("dbus-daemon is not available");
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");

    // A session bus of the test's own; the program finds it through its environment.
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
    m_address = QString::fromUtf8(address.trimmed());
    QVERIFY2(!m_address.isEmpty(), "the session bus did not start");
    m_session->setEnvironmentValue(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    m_watcher = std::make_unique<Watcher>(m_address);

    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    seedDatabase(m_folder->file(QStringLiteral("wyData.wyb")),
                 {Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")}});
}

void TestE2eTrayBus::iconRegistersAndOpensTheWindow_data()
{
    QTest::addColumn<TrayStart>("start");
    QTest::newRow("tray before the program") << TrayStart::Before;
    QTest::newRow("tray after the program") << TrayStart::After;
    QTest::newRow("watcher before the program, its host after") << TrayStart::HostAfter;
}

void TestE2eTrayBus::startUnderTray(TrayStart start)
{
    m_program.reset();
    m_watcher->stop();
    m_watcher->setHost(start != TrayStart::HostAfter);
    if (start != TrayStart::After)
        QVERIFY(m_watcher->start());
    startProgram();

    if (start != TrayStart::Before) {
        // No tray yet: a minimised window stays where the desktop lists it.
        minimiseWindow();
        QTRY_COMPARE_WITH_TIMEOUT(m_session->wmState(m_window), QStringLiteral("Iconic"), 5000);
        // It stays there over two of the program's looks at the desktop (500 ms apart).
        QTest::qWait(2 * 500);
        QCOMPARE(m_session->wmState(m_window), QStringLiteral("Iconic"));
        m_session->run(QStringLiteral("xdotool"),
                       {QStringLiteral("windowactivate"), QStringLiteral("--sync"), m_window});
        QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"),
                                  5000);
        if (start == TrayStart::After)
            QVERIFY(m_watcher->start());
        else
            m_watcher->setHost(true);
        QElapsedTimer late;
        late.start();
        QTRY_VERIFY_WITH_TIMEOUT(!programItem().isEmpty(), kLateIconMs);
        qInfo("icon registered %lld ms after the tray came", qint64(late.elapsed()));
        // No hide was needed for it, and the window was left where it was.
        QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!programItem().isEmpty(), 10000);
}

void TestE2eTrayBus::iconRegistersAndOpensTheWindow()
{
    QFETCH(TrayStart, start);
    startUnderTray(start);
    if (QTest::currentTestFailed())
        return;

    // What the host shows: an active icon with a picture and the program's tool tip.
    const QDBusMessage status =
        callItem(QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("/StatusNotifierItem"), QStringLiteral("GetAll"), {kItemInterface});
    QCOMPARE(status.type(), QDBusMessage::ReplyMessage);
    const QVariantMap properties = qdbus_cast<QVariantMap>(status.arguments().constFirst());
    QCOMPARE(properties.value(QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    QCOMPARE(properties.value(QStringLiteral("Title")).toString(), kTitle);
    const auto pixmaps = properties.value(QStringLiteral("IconPixmap")).value<QDBusArgument>();
    int width = 0;
    int height = 0;
    QByteArray pixels;
    pixmaps.beginArray();
    QVERIFY(!pixmaps.atEnd());
    pixmaps.beginStructure();
    pixmaps >> width >> height >> pixels;
    pixmaps.endStructure();
    QVERIFY(width > 0 && height > 0);
    QCOMPARE(pixels.size(), qsizetype(width) * height * 4);
    // The tool tip lists the incomplete tasks, as the X11 tray's does.
    const auto tip = properties.value(QStringLiteral("ToolTip")).value<QDBusArgument>();
    QString tipIcon;
    QString tipTitle;
    QString tipText;
    tip.beginStructure();
    tip >> tipIcon;
    tip.beginArray();
    while (!tip.atEnd()) {
        tip.beginStructure();
        tip >> width >> height >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> tipTitle >> tipText;
    tip.endStructure();
    QVERIFY2(!tipTitle.isEmpty(), qPrintable(tipTitle));
    QVERIFY2(tipText.contains(QStringLiteral("Water the plants")), qPrintable(tipText));

    // Its menu is the tray menu.
    QStringList labels;
    for (const MenuEntry &entry : menuEntries())
        labels.append(entry.label);
    QCOMPARE(labels, trayMenuLabels());

    // Closing hides the window behind that icon, and activating the icon opens it again.
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    QCOMPARE(m_program->process().state(), QProcess::Running);
    QCOMPARE(callItem(kItemInterface, QStringLiteral("/StatusNotifierItem"),
                      QStringLiteral("Activate"), {0, 0})
                 .type(),
             QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    QCOMPARE(m_watcher->items().size(), 1);
}

void TestE2eTrayBus::trayEndingBringsTheHiddenWindowBack_data()
{
    QTest::addColumn<TrayStart>("start");
    QTest::addColumn<bool>("watcherEnds");
    // The process that hosts the watcher ends (a panel that restarts on GNOME), or the watcher
    // stays and only the panel showing the icons ends (KDE keeps its watcher elsewhere); with
    // a tray that was there at the start or came later.
    QTest::newRow("watcher ends, tray before the program") << TrayStart::Before << true;
    QTest::newRow("host ends, tray before the program") << TrayStart::Before << false;
    QTest::newRow("watcher ends, tray after the program") << TrayStart::After << true;
    QTest::newRow("host ends, tray after the program") << TrayStart::After << false;
}

void TestE2eTrayBus::trayEndingBringsTheHiddenWindowBack()
{
    QFETCH(TrayStart, start);
    QFETCH(bool, watcherEnds);
    startUnderTray(start);
    if (QTest::currentTestFailed())
        return;
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);

    if (watcherEnds)
        m_watcher->stop();
    else
        m_watcher->setHost(false);
    QTRY_VERIFY_WITH_TIMEOUT(isReachable(), 10000);
    QCOMPARE(m_program->process().state(), QProcess::Running);
    QVERIFY(m_program->request("rows tasks").contains("Water the plants"));

    // With no tray, minimising leaves the window where the desktop lists it, and a second
    // start brings it to the front.
    minimiseWindow();
    QTRY_COMPARE_WITH_TIMEOUT(m_session->wmState(m_window), QStringLiteral("Iconic"), 5000);
    {
        ProgramRun second(*m_session, m_folder->path());
        QVERIFY(second.start());
        QVERIFY2(second.waitForEnd(10000), "the second copy did not end");
        QCOMPARE(second.process().exitCode(), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);

    // The tray comes back, and the icon with it.
    if (watcherEnds)
        QVERIFY(m_watcher->start());
    else
        m_watcher->setHost(true);
    QTRY_VERIFY_WITH_TIMEOUT(!programItem().isEmpty(), kLateIconMs);
    QCOMPARE(m_session->mapState(m_window), QStringLiteral("IsViewable"));
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    QCOMPARE(callItem(kItemInterface, QStringLiteral("/StatusNotifierItem"),
                      QStringLiteral("Activate"), {0, 0})
                 .type(),
             QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
}

void TestE2eTrayBus::iconMovesBetweenTheTwoKindsOfTray()
{
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("trayer is not available");
    const QString windowClass = QStringLiteral("tasklume");
    m_program.reset();
    m_watcher->stop();
    m_watcher->setHost(true);
    QVERIFY(m_session->startTray());
    startProgram();
    QVERIFY2(!m_session->waitForTrayIcon(windowClass).isEmpty(), "no icon in the X11 tray");
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);

    // A tray on the session bus comes: the icon goes there, and only there, and the window
    // stays behind it.
    QVERIFY(m_watcher->start());
    QTRY_VERIFY_WITH_TIMEOUT(!programItem().isEmpty(), kLateIconMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_session->waitForTrayIcon(windowClass, 100).isEmpty(), 5000);
    QVERIFY(isHidden());
    QCOMPARE(callItem(kItemInterface, QStringLiteral("/StatusNotifierItem"),
                      QStringLiteral("Activate"), {0, 0})
                 .type(),
             QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);

    // It ends: the icon goes back to the X11 tray, still holding the window.
    m_watcher->stop();
    const QString icon = m_session->waitForTrayIcon(windowClass, 5000);
    QVERIFY2(!icon.isEmpty(), "the icon did not come back to the X11 tray");
    QVERIFY(isHidden());
    m_session->click(icon, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);
    m_session->stopTray();
}

void TestE2eTrayBus::menuCommandsWork_data()
{
    QTest::addColumn<TrayStart>("start");
    QTest::newRow("tray before the program") << TrayStart::Before;
    QTest::newRow("tray after the program") << TrayStart::After;
}

void TestE2eTrayBus::menuCommandsWork()
{
    QFETCH(TrayStart, start);
    startUnderTray(start);
    if (QTest::currentTestFailed())
        return;
    const QList<MenuEntry> entries = menuEntries();
    const QStringList labels = trayMenuLabels();
    auto idOf = [&entries](const QString &label) {
        for (const MenuEntry &entry : entries) {
            if (entry.label == label)
                return entry.id;
        }
        return 0;
    };
    const int open = idOf(labels.at(0));
    const int exit = idOf(labels.last());
    QVERIFY(open != 0 && exit != 0);

    // A host without menus of its own asks the program to pop its menu up.
    closeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(isHidden(), 5000);
    QCOMPARE(callItem(kItemInterface, QStringLiteral("/StatusNotifierItem"),
                      QStringLiteral("ContextMenu"), {400, 300})
                 .type(),
             QDBusMessage::ReplyMessage);
    auto shownMenu = [this] {
        const QString ids =
            m_session->run(QStringLiteral("xdotool"),
                           {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                            QStringLiteral("--classname"), QStringLiteral("^tasklume$")});
        for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (id != m_window)
                return id;
        }
        return QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!shownMenu().isEmpty(), 5000);
    m_session->keys({QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(shownMenu().isEmpty(), 5000);
    QVERIFY(isHidden());

    // "Open" from the icon's menu opens the hidden window.
    const QVariantList clicked{QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u};
    QCOMPARE(callItem(kMenuInterface, QStringLiteral("/MenuBar"), QStringLiteral("Event"),
                      QVariantList{open} + clicked)
                 .type(),
             QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(m_session->mapState(m_window), QStringLiteral("IsViewable"), 5000);

    // "Exit" ends the program cleanly.
    QCOMPARE(callItem(kMenuInterface, QStringLiteral("/MenuBar"), QStringLiteral("Event"),
                      QVariantList{exit} + clicked)
                 .type(),
             QDBusMessage::ReplyMessage);
    QVERIFY2(m_program->waitForEnd(15000), "the program did not end");
    QCOMPARE(m_program->process().exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_program->process().exitCode() == 0, qPrintable(m_program->output()));
    // Its icon went with it.
    QTRY_VERIFY_WITH_TIMEOUT(m_watcher->items().isEmpty(), 5000);
}

void TestE2eTrayBus::cleanupTestCase()
{
    m_program.reset();
    m_watcher.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("tasklume-test-host"));
    if (m_bus) {
        m_bus->terminate();
        if (!m_bus->waitForFinished(3000))
            m_bus->kill();
        m_bus->waitForFinished(1000);
    }
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2eTrayBus)
#include "test_e2e_traybus.moc"
