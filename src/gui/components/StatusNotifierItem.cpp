#include "StatusNotifierItem.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QtEndian>
#include <QTimer>

#include <optional>

namespace {
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");

// One picture of the icon: width, height and ARGB32 pixels in network byte order.
struct SniPixmap
{
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using SniPixmaps = QList<SniPixmap>;

struct SniToolTip
{
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString text;
};

// One entry of the exported menu with its children (the layout of GetLayout).
struct MenuLayout
{
    int id = 0;
    QVariantMap properties;
    QList<MenuLayout> children;
};

// The properties of one entry (GetGroupProperties, ItemsPropertiesUpdated).
struct MenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

struct MenuItemRemovedKeys
{
    int id = 0;
    QStringList names;
};
using MenuItemRemovedKeysList = QList<MenuItemRemovedKeys>;

struct MenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using MenuEventList = QList<MenuEvent>;
} // namespace

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(MenuLayout)
Q_DECLARE_METATYPE(MenuItemProperties)
Q_DECLARE_METATYPE(MenuItemRemovedKeys)
Q_DECLARE_METATYPE(MenuEvent)

namespace {
QDBusArgument &operator<<(QDBusArgument &argument, const SniPixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniPixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.pixels;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &tip)
{
    argument.beginStructure();
    argument << tip.iconName << tip.pixmaps << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &tip)
{
    argument.beginStructure();
    argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const MenuLayout &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const MenuLayout &child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MenuLayout &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    item.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<MenuLayout>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const MenuItemProperties &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MenuItemProperties &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const MenuItemRemovedKeys &item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MenuItemRemovedKeys &item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const MenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

void registerBusTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmaps>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<MenuLayout>();
        qDBusRegisterMetaType<MenuItemProperties>();
        qDBusRegisterMetaType<MenuItemPropertiesList>();
        qDBusRegisterMetaType<MenuItemRemovedKeys>();
        qDBusRegisterMetaType<MenuItemRemovedKeysList>();
        qDBusRegisterMetaType<MenuEvent>();
        qDBusRegisterMetaType<MenuEventList>();
        return true;
    }();
    Q_UNUSED(registered);
}

SniPixmaps toPixmaps(const QIcon &icon)
{
    SniPixmaps pixmaps;
    if (icon.isNull())
        return pixmaps;
    for (const int side : {16, 22, 32, 48, 64}) {
        const QImage image =
            icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap;
        pixmap.width = image.width();
        pixmap.height = image.height();
        pixmap.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto *out = reinterpret_cast<uchar *>(pixmap.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4)
                qToBigEndian<quint32>(line[x], out);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}
} // namespace

QString StatusNotifierMenuLabel(const QString &text)
{
    QString label;
    label.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&')) {
                label += QLatin1Char('&');
                ++i;
            } else {
                label += QLatin1Char('_');
            }
        } else if (c == QLatin1Char('_')) {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}

// ---- the menu on the bus ------------------------------------------------------------------

// A QMenu as a com.canonical.dbusmenu: entry 0 is the menu itself, every action gets an id
// of its own for as long as it lives. A click on an entry triggers its action once the call
// is answered.
class TrayMenuExport : public QObject
{
    Q_OBJECT
public:
    explicit TrayMenuExport(QObject *parent) : QObject(parent)
    {
        m_changed.setSingleShot(true);
        m_changed.setInterval(0);
        connect(&m_changed, &QTimer::timeout, this, [this] {
            ++m_revision;
            Q_EMIT layoutUpdated(m_revision, 0);
        });
    }

    void setMenu(QMenu *menu)
    {
        // The old menu may be going away right now: it is no QMenu any more then.
        if (QObject *old = m_watched.data())
            old->removeEventFilter(this);
        m_menu = menu;
        m_watched = menu;
        if (menu)
            menu->installEventFilter(this);
        m_changed.start();
    }

    uint revision() const { return m_revision; }

    MenuLayout layout(int id, int depth, const QStringList &names)
    {
        MenuLayout item;
        item.id = id;
        QMenu *children = nullptr;
        if (id == 0) {
            children = m_menu;
            item.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
        } else if (QAction *action = actionOf(id)) {
            item.properties = properties(action, names);
            children = action->menu();
        }
        if (children && depth != 0) {
            for (QAction *action : children->actions())
                item.children.append(layout(idOf(action), depth < 0 ? -1 : depth - 1, names));
        }
        return item;
    }

    bool contains(int id) const { return id == 0 || actionOf(id); }

    QVariantMap properties(int id, const QStringList &names) const
    {
        if (id == 0)
            return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
        QAction *action = actionOf(id);
        return action ? properties(action, names) : QVariantMap();
    }

    // A click on an entry triggers its action after the call has been answered.
    bool event(int id, const QString &eventId)
    {
        QAction *action = actionOf(id);
        if (id != 0 && !action)
            return false;
        if (eventId == QLatin1String("clicked") && action && action->isEnabled()) {
            QPointer<QAction> target(action);
            QMetaObject::invokeMethod(
                this,
                [target] {
                    if (target && target->isEnabled())
                        target->trigger();
                },
                Qt::QueuedConnection);
        } else if (eventId == QLatin1String("opened")) {
            QMenu *menu = id == 0 ? m_menu.data() : action->menu();
            if (menu)
                Q_EMIT menu->aboutToShow();
        }
        return true;
    }

    // The host is about to show a menu: it is told to read it again when it changed.
    bool aboutToShow(int id)
    {
        QMenu *menu = id == 0 ? m_menu.data() : (actionOf(id) ? actionOf(id)->menu() : nullptr);
        if (!menu)
            return false;
        const uint before = m_revision;
        Q_EMIT menu->aboutToShow();
        if (m_changed.isActive()) {
            m_changed.stop();
            ++m_revision;
            Q_EMIT layoutUpdated(m_revision, 0);
        }
        return m_revision != before;
    }

Q_SIGNALS:
    void layoutUpdated(uint revision, int parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::ActionAdded:
        case QEvent::ActionChanged:
        case QEvent::ActionRemoved:
            m_changed.start();
            if (event->type() == QEvent::ActionAdded) {
                // Submenus are followed as well.
                if (auto *menu = qobject_cast<QMenu *>(watched)) {
                    for (QAction *action : menu->actions()) {
                        if (action->menu())
                            action->menu()->installEventFilter(this);
                    }
                }
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int idOf(QAction *action)
    {
        auto found = m_ids.constFind(action);
        if (found != m_ids.constEnd())
            return found.value();
        const int id = ++m_lastId;
        m_ids.insert(action, id);
        m_actions.insert(id, action);
        connect(action, &QObject::destroyed, this, [this, action, id] {
            m_ids.remove(action);
            m_actions.remove(id);
        });
        if (action->menu())
            action->menu()->installEventFilter(this);
        return id;
    }

    QAction *actionOf(int id) const { return m_actions.value(id).data(); }

    static QVariantMap properties(QAction *action, const QStringList &names)
    {
        QVariantMap all;
        if (action->isSeparator()) {
            all.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            all.insert(QStringLiteral("label"), StatusNotifierMenuLabel(action->text()));
            if (action->menu())
                all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
            if (action->isCheckable()) {
                all.insert(QStringLiteral("toggle-type"),
                           action->actionGroup() && action->actionGroup()->isExclusive()
                               ? QStringLiteral("radio")
                               : QStringLiteral("checkmark"));
                all.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
            }
        }
        all.insert(QStringLiteral("enabled"), action->isEnabled());
        all.insert(QStringLiteral("visible"), action->isVisible());
        if (names.isEmpty())
            return all;
        QVariantMap wanted;
        for (const QString &name : names) {
            if (all.contains(name))
                wanted.insert(name, all.value(name));
        }
        return wanted;
    }

    QPointer<QMenu> m_menu;
    QPointer<QObject> m_watched;
    QHash<QAction *, int> m_ids;
    QHash<int, QPointer<QAction>> m_actions;
    int m_lastId = 0;
    uint m_revision = 1;
    QTimer m_changed;
};

class TrayMenuAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit TrayMenuAdaptor(TrayMenuExport *menu) : QDBusAbstractAdaptor(menu), m_menu(menu)
    {
        connect(menu, &TrayMenuExport::layoutUpdated, this, &TrayMenuAdaptor::LayoutUpdated);
    }

    uint version() const { return 3; }
    QString textDirection() const
    {
        return QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
    }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   MenuLayout &layout)
    {
        layout = m_menu->layout(parentId, recursionDepth, propertyNames);
        return m_menu->revision();
    }

    MenuItemPropertiesList GetGroupProperties(const QList<int> &ids,
                                              const QStringList &propertyNames)
    {
        MenuItemPropertiesList list;
        for (const int id : ids) {
            if (m_menu->contains(id))
                list.append({id, m_menu->properties(id, propertyNames)});
        }
        return list;
    }

    QDBusVariant GetProperty(int id, const QString &name)
    {
        return QDBusVariant(m_menu->properties(id, {name}).value(name));
    }

    void Event(int id, const QString &eventId, const QDBusVariant &, uint)
    {
        m_menu->event(id, eventId);
    }

    QList<int> EventGroup(const MenuEventList &events)
    {
        QList<int> errors;
        for (const MenuEvent &event : events) {
            if (!m_menu->event(event.id, event.eventId))
                errors.append(event.id);
        }
        return errors;
    }

    bool AboutToShow(int id) { return m_menu->aboutToShow(id); }

    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
    {
        QList<int> updates;
        for (const int id : ids) {
            if (!m_menu->contains(id))
                idErrors.append(id);
            else if (m_menu->aboutToShow(id))
                updates.append(id);
        }
        return updates;
    }

Q_SIGNALS:
    void ItemsPropertiesUpdated(const MenuItemPropertiesList &updatedProps,
                                const MenuItemRemovedKeysList &removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    TrayMenuExport *m_menu;
};

// ---- the item on the bus ------------------------------------------------------------------

class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ empty)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(SniPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(SniPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(SniPixmaps AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem *item)
        : QDBusAbstractAdaptor(item), m_item(item)
    {
        connect(item, &StatusNotifierItem::iconChanged, this, [this] {
            m_pixmaps.reset();
            Q_EMIT NewIcon();
        });
        connect(item, &StatusNotifierItem::toolTipChanged, this,
                &StatusNotifierItemAdaptor::NewToolTip);
    }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const
    {
        const QString name = QGuiApplication::desktopFileName();
        return name.isEmpty() ? QCoreApplication::applicationName() : name;
    }
    QString title() const { return m_item->title(); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString empty() const { return {}; }
    QString iconName() const { return m_item->iconName(); }
    QDBusObjectPath menu() const
    {
        return QDBusObjectPath(m_item->hasMenu() ? kMenuPath : QStringLiteral("/NO_DBUSMENU"));
    }
    bool itemIsMenu() const { return false; }
    SniPixmaps iconPixmap() const
    {
        if (!m_pixmaps)
            m_pixmaps = toPixmaps(m_item->icon());
        return *m_pixmaps;
    }
    SniPixmaps noPixmaps() const { return {}; }
    SniToolTip toolTip() const
    {
        return SniToolTip{QString(), {}, m_item->toolTipTitle(), m_item->toolTipText()};
    }

public Q_SLOTS:
    void Activate(int, int) { m_item->activate(QSystemTrayIcon::Trigger); }
    void SecondaryActivate(int, int) { m_item->activate(QSystemTrayIcon::MiddleClick); }
    void ContextMenu(int x, int y) { m_item->popUpMenu(x, y); }
    void Scroll(int, const QString &) {}

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    StatusNotifierItem *m_item;
    mutable std::optional<SniPixmaps> m_pixmaps;
};

// ---- the item -------------------------------------------------------------------------------

StatusNotifierItem::StatusNotifierItem(QObject *parent) : QObject(parent)
{
    static int count = 0;
    registerBusTypes();
    // Qt's own icons on the bus are named org.kde.StatusNotifierItem-<pid>-<number>.
    m_serviceName = QStringLiteral("org.kde.StatusNotifierItem-%1-tasklume%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++count);
    new StatusNotifierItemAdaptor(this);
    m_menuExport = new TrayMenuExport(this);
    new TrayMenuAdaptor(m_menuExport);
    connect(StatusNotifierHost::instance(), &StatusNotifierHost::watcherChanged, this, [this] {
        if (m_shown)
            registerWithWatcher();
    });
}

StatusNotifierItem::~StatusNotifierItem()
{
    hide();
}

void StatusNotifierItem::setIcon(const QIcon &icon)
{
    m_icon = icon;
    Q_EMIT iconChanged();
}

void StatusNotifierItem::setIconName(const QString &name)
{
    if (name == m_iconName)
        return;
    m_iconName = name;
    Q_EMIT iconChanged();
}

void StatusNotifierItem::setToolTip(const QString &toolTip)
{
    if (toolTip == m_toolTip)
        return;
    m_toolTip = toolTip;
    Q_EMIT toolTipChanged();
}

void StatusNotifierItem::setMenu(QMenu *menu)
{
    m_menu = menu;
    m_menuExport->setMenu(menu);
}

QString StatusNotifierItem::title() const
{
    return QCoreApplication::applicationName();
}

QString StatusNotifierItem::toolTipTitle() const
{
    return m_toolTip.section(QLatin1Char('\n'), 0, 0);
}

QString StatusNotifierItem::toolTipText() const
{
    return m_toolTip.section(QLatin1Char('\n'), 1);
}

bool StatusNotifierItem::show()
{
    if (m_shown)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(kItemPath, this, QDBusConnection::ExportAdaptors) ||
        !bus.registerObject(kMenuPath, m_menuExport, QDBusConnection::ExportAdaptors)) {
        bus.unregisterObject(kItemPath);
        return false;
    }
    if (!bus.registerService(m_serviceName)) {
        bus.unregisterObject(kItemPath);
        bus.unregisterObject(kMenuPath);
        return false;
    }
    m_shown = true;
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    // The watcher drops the item when its name goes.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_serviceName);
    bus.unregisterObject(kItemPath);
    bus.unregisterObject(kMenuPath);
}

void StatusNotifierItem::registerWithWatcher()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        StatusNotifierHost::WatcherService, StatusNotifierHost::WatcherPath,
        StatusNotifierHost::WatcherInterface, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    // Nobody waits for the answer: a watcher that is not there yet gets the item when it comes.
    QDBusConnection::sessionBus().asyncCall(call);
}

void StatusNotifierItem::activate(QSystemTrayIcon::ActivationReason reason)
{
    Q_EMIT activated(reason);
}

void StatusNotifierItem::popUpMenu(int x, int y)
{
    if (!m_menu)
        return;
    const QPoint at = x == 0 && y == 0 ? QCursor::pos() : QPoint(x, y);
    QPointer<QMenu> menu = m_menu;
    // After the call is answered: the host waits for the answer, not for the menu.
    QMetaObject::invokeMethod(
        this,
        [menu, at] {
            if (menu)
                menu->popup(at);
        },
        Qt::QueuedConnection);
}

void StatusNotifierItem::showMessage(const QString &heading, const QString &text,
                                     QSystemTrayIcon::MessageIcon icon, int milliseconds)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QString iconName;
    switch (icon) {
    case QSystemTrayIcon::Information:
        iconName = QStringLiteral("dialog-information");
        break;
    case QSystemTrayIcon::Warning:
        iconName = QStringLiteral("dialog-warning");
        break;
    case QSystemTrayIcon::Critical:
        iconName = QStringLiteral("dialog-error");
        break;
    case QSystemTrayIcon::NoIcon:
        break;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << title() << uint(0) << iconName << heading << text << QStringList() << QVariantMap()
           << milliseconds;
    // Without a notification service the message is simply not shown.
    bus.asyncCall(notify);
}

#include "StatusNotifierItem.moc"
