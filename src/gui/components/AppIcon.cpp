#include "AppIcon.h"

#include "common/AppPaths.h"
#include "common/Texts.h"
#include "components/WyTray.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128}) {
        const QString file =
            AppPaths::resource(Texts::ImagesDir + QStringLiteral("appIcon-%1.png").arg(size));
        if (QFileInfo::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    const QString large = AppPaths::resource(Texts::AppIconFile);
    if (QFileInfo::exists(large))
        icon.addFile(large);
    return icon;
}

namespace {
// The glyph on a 16 by 16 grid, as in tasklume-symbolic.svg: the page with its window cut
// out, the three rings, and the check mark inside.
QPainterPath trayGlyph()
{
    QPainterPath page;
    page.setFillRule(Qt::OddEvenFill);
    page.addRoundedRect(QRectF(1, 2, 14, 13.5), 2, 2);
    page.addRect(QRectF(3, 6, 10, 7.5));
    QPainterPath rings;
    for (double x : {3.0, 7.0, 12.0})
        rings.addRoundedRect(QRectF(x, 0.5, 2, 3), 1, 1);
    QPainterPath glyph = page.united(rings);
    QPainterPath tick;
    tick.moveTo(10.8, 7.3);
    tick.lineTo(11.9, 8.4);
    tick.lineTo(7.3, 13.0);
    tick.lineTo(4.7, 10.4);
    tick.lineTo(5.8, 9.3);
    tick.lineTo(7.3, 10.8);
    tick.closeSubpath();
    return glyph.united(tick);
}

// Inks for a dark and for a light panel, as symbolic icons are drawn on them.
const QColor kLightInk(0xee, 0xee, 0xec);
const QColor kDarkInk(0x2e, 0x34, 0x36);

// What the panel behind an X11 tray's icon looks like: the corners of the icon's place on
// the screen, where the glyph never draws. An invalid colour when it cannot be seen.
QColor panelBehind(const QSystemTrayIcon *icon)
{
    const QRect place = icon ? icon->geometry() : QRect();
    QScreen *screen = place.isValid() ? QGuiApplication::screenAt(place.center()) : nullptr;
    if (!screen)
        return {};
    const QRect local = place.translated(-screen->geometry().topLeft());
    const QImage shot =
        screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()).toImage();
    if (shot.width() < 2 || shot.height() < 2)
        return {};
    int red = 0;
    int green = 0;
    int blue = 0;
    const QPoint corners[] = {{0, 0},
                              {shot.width() - 1, 0},
                              {0, shot.height() - 1},
                              {shot.width() - 1, shot.height() - 1}};
    for (const QPoint &corner : corners) {
        const QColor pixel = shot.pixelColor(corner);
        red += pixel.red();
        green += pixel.green();
        blue += pixel.blue();
    }
    return QColor(red / 4, green / 4, blue / 4);
}

class PaletteFollower : public QObject
{
public:
    PaletteFollower(TWyCustomTrayIcon *tray) : QObject(tray), m_tray(tray)
    {
        qApp->installEventFilter(this);
        // An X11 tray takes the icon a moment after it is shown; its panel is looked at then,
        // and again now and then (a panel's theme can change on its own).
        m_look.setInterval(kLookMs);
        connect(&m_look, &QTimer::timeout, this, &PaletteFollower::update);
        m_look.start();
        QTimer::singleShot(kFirstLookMs, this, &PaletteFollower::update);
    }

    void update()
    {
        const QColor panel = panelBehind(m_tray->systemTrayIcon());
        const QColor ink = TrayInk(panel);
        if (ink != m_ink) {
            m_ink = ink;
            m_tray->setImages({TrayIcon(ink)});
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            update();
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int kFirstLookMs = 1000;
    static constexpr int kLookMs = 10000;
    TWyCustomTrayIcon *m_tray;
    QTimer m_look;
    QColor m_ink;
};
} // namespace

QIcon TrayIcon(const QColor &ink)
{
    static const QPainterPath glyph = trayGlyph();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        painter.fillPath(glyph, ink);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QColor TrayInk(const QColor &panel)
{
    if (panel.isValid())
        return panel.lightnessF() < 0.5 ? kLightInk : kDarkInk;
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QString TrayIconName()
{
    const QString name = Texts::IconName + QStringLiteral("-symbolic");
    return QIcon::hasThemeIcon(name) ? name : QString();
}

void FollowPalette(TWyCustomTrayIcon *tray)
{
    (new PaletteFollower(tray))->update();
}
