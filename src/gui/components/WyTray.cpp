#include "WyTray.h"

#include "StatusNotifierItem.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace {
const QString kErrorCaption = QStringLiteral("Ploxen TrayIcon Error");
const QString kAddError = QStringLiteral("AddToTray can not add icon to the tray");
const QString kImageIndexError = QStringLiteral("SetImageIndex: No image list assigned");

constexpr int kTipLength = 127;
constexpr int kBalloonTitleLength = 63;
constexpr int kBalloonTextLength = 255;

// Makes every modal window that belongs to a window of the program modal to that window
// alone, so that the icon (a window of its own) and its menu keep answering while a dialog
// is open. The show event comes before the window is shown, so it is shown with that
// modality.
class DialogModality : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (widget->isWindow() && widget->parentWidget() &&
                widget->windowModality() == Qt::ApplicationModal &&
                widget->windowType() != Qt::Popup) {
                widget->setWindowModality(Qt::WindowModal);
                // The window exists by now and would keep the modality it was made with.
                if (QWindow *window = widget->windowHandle())
                    window->setModality(Qt::WindowModal);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

std::function<bool()> &availabilityProbe()
{
    static std::function<bool()> probe;
    return probe;
}

// Qt puts every QSystemTrayIcon of the process on the session bus when a host was there at
// its first look, and keeps it there for the life of the process: such an icon never reaches
// an X11 tray, and the bus gets the component's own item instead.
bool g_qtTrayOnBus = false;

// A tray icon on the bus gives its menu a native counterpart; an X11 one does not. The menu
// tried has to live as long as the icon then.
std::unique_ptr<QMenu> detectQtTrayOnBus(QSystemTrayIcon *tray)
{
    auto probe = std::make_unique<QMenu>();
    tray->setContextMenu(probe.get());
    g_qtTrayOnBus = probe->platformMenu() != nullptr;
    if (g_qtTrayOnBus)
        return probe;
    tray->setContextMenu(nullptr);
    return {};
}
} // namespace

TWyCustomTrayIcon::TWyCustomTrayIcon(QWidget *owner) : QObject(owner), m_owner(owner)
{
    m_tray = new QSystemTrayIcon(this);
    if (!availabilityProbe())
        m_busProbeMenu = detectQtTrayOnBus(m_tray);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onActivated(int(reason)); });
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
        if (m_balloonTimer)
            m_balloonTimer->stop();
        Q_EMIT OnBalloonHintClick();
    });

    // The built-in menu until the owner gives its own.
    m_builtInMenu = new QMenu(owner);
    m_builtInMenu->setObjectName(QStringLiteral("WyTrayBuiltInMenu"));
    QAction *close = m_builtInMenu->addAction(QStringLiteral("&Close"));
    connect(close, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    QAction *restore = m_builtInMenu->addAction(QStringLiteral("&Restore"));
    connect(restore, &QAction::triggered, this, &TWyCustomTrayIcon::Restore);
    m_popupMenu = m_builtInMenu;
    setTrayMenu(m_builtInMenu);

    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(kWatchMs);
    connect(m_watchTimer, &QTimer::timeout, this, &TWyCustomTrayIcon::watchTray);
}

TWyCustomTrayIcon::~TWyCustomTrayIcon()
{
    if (m_dialogModality)
        qApp->removeEventFilter(m_dialogModality);
    RemoveFromTray();
    if (m_owner && m_intercepting)
        m_owner->removeEventFilter(this);
    // The icon goes before the menus it may point to.
    delete m_tray;
    m_tray = nullptr;
    m_busProbeMenu.reset();
    delete m_item;
    m_item = nullptr;
    delete m_builtInMenu;
}

TWyCustomTrayIcon::TrayKind TWyCustomTrayIcon::availableKind()
{
    if (availabilityProbe())
        return availabilityProbe()() ? TrayKind::X11 : TrayKind::None;
    if (StatusNotifierHost::instance()->isAvailable())
        return TrayKind::Bus;
    if (!g_qtTrayOnBus && QSystemTrayIcon::isSystemTrayAvailable())
        return TrayKind::X11;
    return TrayKind::None;
}

bool TWyCustomTrayIcon::trayAvailable()
{
    return availableKind() != TrayKind::None;
}

void TWyCustomTrayIcon::setAvailabilityProbe(std::function<bool()> probe)
{
    availabilityProbe() = std::move(probe);
}

bool TWyCustomTrayIcon::hidesOwner() const
{
    return m_active && trayAvailable();
}

void TWyCustomTrayIcon::trayError(const QString &text) const
{
    QMessageBox box(QMessageBox::NoIcon, kErrorCaption, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// ---- properties -------------------------------------------------------------------------

void TWyCustomTrayIcon::setActive(bool active)
{
    if (active) {
        AddToTray();
        m_active = true;
        if (m_loaded)
            m_watchTimer->start();
        if (m_resumeAnimation) {
            m_resumeAnimation = false;
            startAnimation();
        }
    } else {
        if (m_animate && m_animationTimer && m_animationTimer->isActive()) {
            m_animationTimer->stop();
            m_resumeAnimation = true;
        }
        RemoveFromTray();
        m_active = false;
        m_watchTimer->stop();
    }
}

void TWyCustomTrayIcon::setHint(const QString &hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    if (m_showHint && m_added)
        updateToolTip();
}

void TWyCustomTrayIcon::setShowHint(bool on)
{
    m_showHint = on;
    if (m_added)
        updateToolTip();
}

void TWyCustomTrayIcon::setIcon(const QIcon &icon)
{
    m_icon = icon;
    m_shownIcon = icon;
    if (m_added)
        ResetIcon();
}

void TWyCustomTrayIcon::setThemeIconName(const QString &name)
{
    m_themeIconName = name;
    if (m_item)
        m_item->setIconName(name);
}

void TWyCustomTrayIcon::setImages(const QList<QIcon> &images)
{
    m_images = images;
    if (!m_loaded || !m_icon.isNull() || m_images.isEmpty())
        return;
    m_shownIcon = imageAt(m_imageIndex);
    ResetIcon();
}

void TWyCustomTrayIcon::setImageIndex(int index)
{
    m_imageIndex = index;
    if (!m_added)
        return;
    if (m_images.isEmpty()) {
        trayError(kImageIndexError);
        return;
    }
    m_shownIcon = imageAt(index);
    ResetIcon();
}

void TWyCustomTrayIcon::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    if (m_animationTimer)
        m_animationTimer->setInterval(m_interval);
}

void TWyCustomTrayIcon::setAnimate(bool animate)
{
    if (animate == m_animate)
        return;
    m_animate = animate;
    if (!m_active)
        return;
    if (animate) {
        startAnimation();
    } else {
        stopAnimation();
    }
}

void TWyCustomTrayIcon::setPopupMenu(QMenu *menu)
{
    m_popupMenu = menu;
    setTrayMenu(menu);
    if (menu) {
        // A menu that goes away leaves the icon without one.
        connect(menu, &QObject::destroyed, this, [this] {
            m_popupMenu = nullptr;
            setTrayMenu(nullptr);
        });
    }
}

void TWyCustomTrayIcon::setTrayMenu(QMenu *menu)
{
    // Qt's own icon on the bus is never shown, and its menu is left alone.
    if (m_tray && !m_busProbeMenu)
        m_tray->setContextMenu(menu);
    if (m_item)
        m_item->setMenu(menu);
}

QIcon TWyCustomTrayIcon::imageAt(int index) const
{
    if (index < 0 || index >= m_images.size())
        return {};
    return m_images.at(index);
}

// ---- the notification area ----------------------------------------------------------------

void TWyCustomTrayIcon::Loaded()
{
    m_loaded = true;
    m_watchTimer->start();
    // A tray on the session bus is reported as it comes and goes, not only at the next look.
    if (!availabilityProbe())
        connect(StatusNotifierHost::instance(), &StatusNotifierHost::availabilityChanged, this,
                &TWyCustomTrayIcon::watchTray,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    // The program's dialogs block only their own windows, never the icon and its menu.
    if (!m_dialogModality) {
        m_dialogModality = new DialogModality(this);
        qApp->installEventFilter(m_dialogModality);
    }
    if (m_active)
        AddToTray();
    if (!m_icon.isNull())
        setIcon(m_icon);
    else if (!m_images.isEmpty())
        setImages(m_images);
}

QIcon TWyCustomTrayIcon::shownIcon() const
{
    if (!m_shownIcon.isNull())
        return m_shownIcon;
    if (!QApplication::windowIcon().isNull())
        return QApplication::windowIcon();
    return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

QString TWyCustomTrayIcon::shownToolTip() const
{
    if (!m_showHint)
        return {};
    // The hint separates its lines with carriage returns; tool tips here break at line
    // feeds.
    QString tip = m_hint.left(kTipLength);
    tip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    tip.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return tip;
}

bool TWyCustomTrayIcon::AddToTray()
{
    if (m_added)
        return true;
    m_wanted = true;
    interceptOwner();
    const TrayKind kind = availableKind();
    if (kind == TrayKind::None) {
        // No notification area on this desktop: the owner stays an ordinary window. This
        // is no error worth a message at every start.
        m_added = false;
        return false;
    }
    showIcon(kind);
    m_added = iconShown();
    if (!m_added)
        trayError(kAddError);
    return m_added;
}

void TWyCustomTrayIcon::watchTray()
{
    if (!m_active)
        return;
    const TrayKind kind = availableKind();
    if (kind != TrayKind::None && m_wanted && !m_added) {
        // A notification area came (after the program, or back after a restart).
        showIcon(kind);
        m_added = iconShown();
    } else if (m_added && kind != m_kind) {
        // The one holding the icon went away. When the other kind is there, the icon moves
        // and a window hidden behind it stays hidden.
        if (kind != TrayKind::None) {
            hideIcon();
            showIcon(kind);
            if (iconShown())
                return;
        }
        trayLost();
    }
}

void TWyCustomTrayIcon::trayLost()
{
    // Nothing is left to open a hidden window with.
    const bool bringBack = ownerInTray();
    if (m_balloonTimer && m_balloonTimer->isActive()) {
        m_balloonTimer->stop();
        Q_EMIT OnBalloonHintHide();
    }
    hideIcon();
    m_added = false;
    m_ownerInTray = false;
    Q_EMIT notificationAreaLost();
    if (bringBack && m_owner) {
        m_returning = true;
        if (m_owner->isMinimized())
            m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
        m_owner->show();
        m_returning = false;
    }
}

void TWyCustomTrayIcon::showIcon(TrayKind kind)
{
    m_kind = kind;
    if (kind == TrayKind::Bus) {
        if (!m_item) {
            m_item = new StatusNotifierItem(this);
            m_item->setMenu(m_popupMenu);
            connect(m_item, &StatusNotifierItem::activated, this,
                    [this](QSystemTrayIcon::ActivationReason reason) { onActivated(int(reason)); });
        }
        m_item->setIcon(shownIcon());
        m_item->setIconName(m_themeIconName);
        m_item->setToolTip(shownToolTip());
        m_item->show();
    } else {
        m_tray->setIcon(shownIcon());
        m_tray->setToolTip(shownToolTip());
        m_tray->show();
    }
}

void TWyCustomTrayIcon::hideIcon()
{
    if (m_item)
        m_item->hide();
    m_tray->hide();
    m_kind = TrayKind::None;
}

bool TWyCustomTrayIcon::iconShown() const
{
    if (m_kind == TrayKind::Bus)
        return m_item && m_item->isVisible();
    return m_kind == TrayKind::X11 && m_tray->isVisible();
}

void TWyCustomTrayIcon::updateToolTip()
{
    // Qt's own icon on the bus is never shown and is left as it is.
    if (!m_busProbeMenu)
        m_tray->setToolTip(shownToolTip());
    if (m_item)
        m_item->setToolTip(shownToolTip());
}

void TWyCustomTrayIcon::RemoveFromTray()
{
    m_wanted = false;
    if (!m_added)
        return;
    if (m_balloonTimer && m_balloonTimer->isActive()) {
        m_balloonTimer->stop();
        Q_EMIT OnBalloonHintHide();
    }
    hideIcon();
    m_added = false;
}

void TWyCustomTrayIcon::ResetIcon()
{
    if (!m_active)
        return;
    if (!m_busProbeMenu)
        m_tray->setIcon(shownIcon());
    if (m_item)
        m_item->setIcon(shownIcon());
    updateToolTip();
}

void TWyCustomTrayIcon::ShowBalloonHint(const QString &title, const QString &text,
                                        int timeoutSeconds, BalloonIcon icon)
{
    const int seconds = qBound(0, timeoutSeconds, 255);
    if (!m_added)
        return;
    QSystemTrayIcon::MessageIcon kind = QSystemTrayIcon::NoIcon;
    switch (icon) {
    case NIIF_NONE:
        kind = QSystemTrayIcon::NoIcon;
        break;
    case NIIF_INFO:
        kind = QSystemTrayIcon::Information;
        break;
    case NIIF_WARNING:
        kind = QSystemTrayIcon::Warning;
        break;
    case NIIF_ERROR:
        kind = QSystemTrayIcon::Critical;
        break;
    }
    const QString shownTitle = title.left(kBalloonTitleLength);
    const QString shownText = text.left(kBalloonTextLength);
    if (m_kind == TrayKind::Bus)
        m_item->showMessage(shownTitle, shownText, kind, seconds * 1000);
    else
        m_tray->showMessage(shownTitle, shownText, kind, seconds * 1000);
    if (!m_balloonTimer) {
        m_balloonTimer = new QTimer(this);
        m_balloonTimer->setSingleShot(true);
        connect(m_balloonTimer, &QTimer::timeout, this, [this] { Q_EMIT OnBalloonHintClose(); });
    }
    m_balloonTimer->start(seconds * 1000);
    Q_EMIT balloonHintShown(shownTitle, shownText);
}

// ---- the owner window ------------------------------------------------------------------

void TWyCustomTrayIcon::interceptOwner()
{
    if (m_intercepting || !m_owner)
        return;
    m_owner->installEventFilter(this);
    m_intercepting = true;
}

bool TWyCustomTrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_owner)
        return QObject::eventFilter(watched, event);

    if (event->type() == QEvent::WindowStateChange) {
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        const bool becameMinimized =
            m_owner->isMinimized() && !(change->oldState() & Qt::WindowMinimized);
        // A hidden window's late state reports are no minimise command.
        if (becameMinimized && !m_hidingToTray && m_owner->isVisible()) {
            Q_EMIT OnMinimize();
            if (m_minimizeToTray && hidesOwner()) {
                // The window manager has iconified the window already; it goes to the
                // tray once this event is through.
                QMetaObject::invokeMethod(this, &TWyCustomTrayIcon::hideOwnerToTray,
                                          Qt::QueuedConnection);
            }
        }
    } else if (event->type() == QEvent::Close && event->spontaneous()) {
        // The window's close button or the window manager's close command. A close the
        // program asks for itself (Exit) passes.
        if (m_closeToTray && hidesOwner()) {
            if (AddToTray()) {
                static_cast<QCloseEvent *>(event)->ignore();
                hideOwnerToTray();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void TWyCustomTrayIcon::hideOwnerToTray()
{
    if (!m_owner || !AddToTray())
        return;
    m_hidingToTray = true;
    // A window the window manager has iconified keeps that state while hidden: taking it
    // back now would map the window again. Restore takes it back right before showing.
    m_owner->hide();
    m_hidingToTray = false;
    m_ownerInTray = true;
}

void TWyCustomTrayIcon::Minimize()
{
    QMetaObject::invokeMethod(this, &TWyCustomTrayIcon::minimizeCommand, Qt::QueuedConnection);
}

void TWyCustomTrayIcon::minimizeCommand()
{
    if (!m_owner)
        return;
    interceptOwner();
    if (m_minimizeToTray && hidesOwner()) {
        Q_EMIT OnMinimize();
        hideOwnerToTray();
    } else {
        // An ordinary minimise; the state change reports OnMinimize.
        m_owner->showMinimized();
    }
}

void TWyCustomTrayIcon::Restore()
{
    Q_EMIT OnRestore();
    if (!m_owner)
        return;
    m_ownerInTray = false;
    if (m_owner->isMinimized())
        m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
    m_owner->show();
    m_owner->raise();
    m_owner->activateWindow();
    if (m_hideOnRestore)
        RemoveFromTray();
}

// ---- mouse ----------------------------------------------------------------------------------

void TWyCustomTrayIcon::onActivated(int reason)
{
    const Qt::KeyboardModifiers shift = QGuiApplication::queryKeyboardModifiers();
    switch (QSystemTrayIcon::ActivationReason(reason)) {
    case QSystemTrayIcon::Trigger:
        Q_EMIT OnClick(Qt::LeftButton, shift);
        break;
    case QSystemTrayIcon::MiddleClick:
        Q_EMIT OnClick(Qt::MiddleButton, shift);
        break;
    case QSystemTrayIcon::DoubleClick:
        doubleClick(Qt::LeftButton);
        break;
    case QSystemTrayIcon::Context:
    case QSystemTrayIcon::Unknown:
        // The context menu pops up by itself when there is one.
        break;
    }
}

void TWyCustomTrayIcon::doubleClick(Qt::MouseButton button)
{
    bool restoreApp = true;
    Q_EMIT OnDblClick(button, QGuiApplication::queryKeyboardModifiers(), &restoreApp);
    if (restoreApp)
        Restore();
}

// ---- animation ----------------------------------------------------------------------------

void TWyCustomTrayIcon::startAnimation()
{
    if (!m_animationTimer) {
        m_animationTimer = new QTimer(this);
        connect(m_animationTimer, &QTimer::timeout, this, &TWyCustomTrayIcon::animationStep);
    }
    if (m_interval == 0)
        m_interval = 200;
    m_animationTimer->start(m_interval);
}

void TWyCustomTrayIcon::stopAnimation()
{
    if (m_animationTimer)
        m_animationTimer->stop();
    m_shownIcon = m_icon.isNull() ? imageAt(m_imageIndex) : m_icon;
    ResetIcon();
}

void TWyCustomTrayIcon::animationStep()
{
    if (m_images.isEmpty() || !m_added)
        return;
    if (m_frame >= m_images.size())
        m_frame = 0;
    m_shownIcon = m_images.at(m_frame);
    ResetIcon();
    m_frame = (m_frame + 1) % int(m_images.size());
}
