// The tray icon: puts an icon into the desktop's notification area, turns closing and
// minimising of its owner window into hiding the window behind that icon, brings it back,
// shows balloons and can animate the icon.
//
// A desktop without a notification area (a bare X server, a plain GNOME session) gets
// nothing hidden: the owner window then minimises and closes like any other window, so
// the program never vanishes out of reach. The component keeps watching: a notification
// area that appears later gets the icon at once, and when the one holding the icon goes
// away (a panel restarting), a window hidden behind the icon comes back by itself.
//
// Two kinds of notification area count: the X11 tray, and a StatusNotifierWatcher with a
// host on the session bus (KDE Plasma, GNOME with the AppIndicator extension). The icon goes
// where there is one, the session bus's first, and moves when that one goes and the other is
// there.
#pragma once

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QSystemTrayIcon;
class QTimer;
class StatusNotifierItem;
class QWidget;

class TWyCustomTrayIcon : public QObject
{
    Q_OBJECT
public:
    // The picture of a balloon.
    enum BalloonIcon
    {
        NIIF_NONE = 0,
        NIIF_INFO = 1,
        NIIF_WARNING = 2,
        NIIF_ERROR = 3
    };

    // The owner is the window that is hidden behind the icon; the component lives as its
    // child. Call Loaded() once the properties are set.
    explicit TWyCustomTrayIcon(QWidget *owner);
    ~TWyCustomTrayIcon() override;

    QWidget *owner() const { return m_owner; }

    // Properties.
    bool Active() const { return m_active; }
    void setActive(bool active);
    bool Animate() const { return m_animate; }
    void setAnimate(bool animate);
    bool CloseToTray() const { return m_closeToTray; }
    void setCloseToTray(bool on) { m_closeToTray = on; }
    bool HideOnRestore() const { return m_hideOnRestore; }
    void setHideOnRestore(bool on) { m_hideOnRestore = on; }
    const QString &Hint() const { return m_hint; }
    void setHint(const QString &hint);
    const QIcon &Icon() const { return m_icon; }
    void setIcon(const QIcon &icon);
    const QList<QIcon> &Images() const { return m_images; }
    void setImages(const QList<QIcon> &images);
    // The theme icon a tray on the session bus draws instead of the pictures (see
    // StatusNotifierItem::setIconName); empty for none.
    void setThemeIconName(const QString &name);
    int ImageIndex() const { return m_imageIndex; }
    void setImageIndex(int index);
    int Interval() const { return m_interval; }
    void setInterval(int milliseconds);
    bool MinimizeToTray() const { return m_minimizeToTray; }
    void setMinimizeToTray(bool on) { m_minimizeToTray = on; }
    // The menu of a right click; the built-in one ("&Close", "&Restore") until replaced;
    // none means a right click does nothing.
    QMenu *PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu *menu);
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool on);

    // After the properties are set: adds the icon when Active and shows Icon or Images.
    void Loaded();

    // Puts the icon into the notification area; false when it is not there afterwards.
    bool AddToTray();
    void RemoveFromTray();
    void ResetIcon();
    // Shows the owner window again and brings it to the front.
    void Restore();
    // Sends the owner window to the tray (or, with no tray, minimises it), after the
    // current event has been handled.
    void Minimize();
    // Title cut to 63 characters, text to 255, time-out 0 to 255 seconds.
    void ShowBalloonHint(const QString &title, const QString &text, int timeoutSeconds,
                         BalloonIcon icon);

    // The icon is in the notification area now.
    bool isAdded() const { return m_added; }
    // The owner window is hidden behind the icon now.
    bool ownerInTray() const { return m_ownerInTray && m_owner && !m_owner->isVisible(); }
    // True while the owner window is being shown again because the notification area went
    // away (not a user's request to open it).
    bool returningWithoutTray() const { return m_returning; }
    // How often the desktop is looked at for a notification area appearing or going.
    static constexpr int kWatchMs = 500;
    // Whether closing or minimising the owner hides it now: Active and a tray to hide in.
    bool hidesOwner() const;
    // The desktop has a notification area. The probe can be replaced (the widget tests
    // stand in for a desktop that has one).
    static bool trayAvailable();
    static void setAvailabilityProbe(std::function<bool()> probe);

    // What the notification area shows: the picture and the tool tip (Hint cut to 127
    // characters, its carriage returns as line breaks; empty while ShowHint is off).
    QIcon shownIcon() const;
    QString shownToolTip() const;
    QSystemTrayIcon *systemTrayIcon() const { return m_tray; }

Q_SIGNALS:
    // The left or middle button went down on the icon.
    void OnClick(Qt::MouseButton button, Qt::KeyboardModifiers shift);
    // A double click; clear *restoreApp to keep the window from being restored.
    void OnDblClick(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool *restoreApp);
    // The owner window received the minimise command.
    void OnMinimize();
    // Restore is starting.
    void OnRestore();
    void OnBalloonHintHide();
    void OnBalloonHintClose();
    void OnBalloonHintClick();
    // A balloon was handed to the notification area.
    void balloonHintShown(const QString &title, const QString &text);
    // The notification area that held the icon went away.
    void notificationAreaLost();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void interceptOwner();
    void hideOwnerToTray();
    void minimizeCommand();
    void onActivated(int reason);
    void doubleClick(Qt::MouseButton button);
    void animationStep();
    void watchTray();
    // Where an icon can go now.
    enum class TrayKind
    {
        None,
        X11,
        Bus
    };
    static TrayKind availableKind();
    void showIcon(TrayKind kind);
    void hideIcon();
    bool iconShown() const;
    void updateToolTip();
    void setTrayMenu(QMenu *menu);
    void trayLost();
    void startAnimation();
    void stopAnimation();
    QIcon imageAt(int index) const;
    void trayError(const QString &text) const;

    QWidget *m_owner;
    QSystemTrayIcon *m_tray = nullptr;
    // What told that Qt's own icon went to the session bus; it lives as long as that icon.
    std::unique_ptr<QMenu> m_busProbeMenu;
    StatusNotifierItem *m_item = nullptr;
    // The kind of tray the icon is in while added.
    TrayKind m_kind = TrayKind::None;
    QMenu *m_builtInMenu = nullptr;
    QPointer<QMenu> m_popupMenu;
    QTimer *m_animationTimer = nullptr;
    QTimer *m_balloonTimer = nullptr;
    QTimer *m_watchTimer = nullptr;

    bool m_active = true;
    bool m_animate = false;
    bool m_closeToTray = true;
    bool m_hideOnRestore = false;
    QString m_hint;
    QIcon m_icon;
    QList<QIcon> m_images;
    QString m_themeIconName;
    int m_imageIndex = 0;
    int m_interval = 250;
    bool m_minimizeToTray = false;
    bool m_showHint = true;

    QIcon m_shownIcon;
    bool m_added = false;
    bool m_intercepting = false;
    bool m_loaded = false;
    int m_frame = 0;
    bool m_resumeAnimation = false;
    bool m_hidingToTray = false;
    bool m_ownerInTray = false;
    // The icon belongs in the notification area (added, or to be added when one comes).
    bool m_wanted = false;
    bool m_returning = false;
    // Keeps the program's dialogs from blocking the icon.
    QObject *m_dialogModality = nullptr;
};

// The tray icon as the main window uses it.
class TWyTrayIcon : public TWyCustomTrayIcon
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE setActive)
    Q_PROPERTY(bool Animate READ Animate WRITE setAnimate)
    Q_PROPERTY(bool CloseToTray READ CloseToTray WRITE setCloseToTray)
    Q_PROPERTY(bool HideOnRestore READ HideOnRestore WRITE setHideOnRestore)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(QIcon Icon READ Icon WRITE setIcon)
    Q_PROPERTY(int ImageIndex READ ImageIndex WRITE setImageIndex)
    Q_PROPERTY(int Interval READ Interval WRITE setInterval)
    Q_PROPERTY(bool MinimizeToTray READ MinimizeToTray WRITE setMinimizeToTray)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE setShowHint)
public:
    using TWyCustomTrayIcon::TWyCustomTrayIcon;
};
