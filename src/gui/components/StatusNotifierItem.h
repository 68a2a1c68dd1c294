// The tray of desktops that host icons on the session bus (KDE Plasma, GNOME with the
// AppIndicator extension) rather than in an X11 notification area: the icon is a
// StatusNotifierItem registered with the desktop's StatusNotifierWatcher, and its menu is
// exported as a com.canonical.dbusmenu the host shows in its own panel.
#pragma once

#include "StatusNotifierHost.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;
class TrayMenuExport;

// A menu text as hosts on the bus show it: the access key marked with '_' instead of '&',
// "&&" a plain '&', and a plain '_' doubled.
QString StatusNotifierMenuLabel(const QString &text);

// One icon on the session bus.
class StatusNotifierItem : public QObject
{
    Q_OBJECT
public:
    explicit StatusNotifierItem(QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    void setIcon(const QIcon &icon);
    // The name of a theme icon the host draws instead of the icon's pictures (a symbolic one
    // it colours for its panel); empty for none.
    void setIconName(const QString &name);
    // The first line is the tip's title, the others its text.
    void setToolTip(const QString &toolTip);
    // The menu the host shows (and the one a ContextMenu call pops up); none for none.
    void setMenu(QMenu *menu);

    // Puts the item on the bus and registers it with the watcher; false without a bus.
    bool show();
    void hide();
    bool isVisible() const { return m_shown; }
    // A desktop notification, as the balloon of an icon on this kind of tray.
    void showMessage(const QString &heading, const QString &text, QSystemTrayIcon::MessageIcon icon,
                     int milliseconds);

    // Read by the bus interface.
    QString title() const;
    QString toolTipTitle() const;
    QString toolTipText() const;
    const QIcon &icon() const { return m_icon; }
    const QString &iconName() const { return m_iconName; }
    bool hasMenu() const { return !m_menu.isNull(); }
    // Calls from the host.
    void activate(QSystemTrayIcon::ActivationReason reason);
    void popUpMenu(int x, int y);

Q_SIGNALS:
    void activated(QSystemTrayIcon::ActivationReason reason);
    // For the bus interface: what the host shows changed.
    void iconChanged();
    void toolTipChanged();

private:
    void registerWithWatcher();

    QString m_serviceName;
    QIcon m_icon;
    QString m_iconName;
    QString m_toolTip;
    QPointer<QMenu> m_menu;
    TrayMenuExport *m_menuExport = nullptr;
    bool m_shown = false;
};
