#include "AppIcon.h"

#include "common/AppPaths.h"
#include "common/Texts.h"
#include "components/WyTray.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

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

class PaletteFollower : public QObject
{
public:
    PaletteFollower(TWyCustomTrayIcon *tray) : QObject(tray), m_tray(tray)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            m_tray->setImages({TrayIcon(TrayInk())});
        return QObject::eventFilter(watched, event);
    }

private:
    TWyCustomTrayIcon *m_tray;
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

QColor TrayInk()
{
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QString TrayIconName()
{
    const QString name = Texts::IconName + QStringLiteral("-symbolic");
    return QIcon::hasThemeIcon(name) ? name : QString();
}

void FollowPalette(TWyCustomTrayIcon *tray)
{
    new PaletteFollower(tray);
}
