#include "FormStateRules.h"

#include "common/IniFile.h"

#include <algorithm>
#include <climits>

namespace FormStateRules {

namespace {

// A rectangle in 64-bit numbers: the settings file may hold any int, and their sums and
// differences must neither overflow nor make a rectangle no screen can show.
struct Box
{
    qint64 x = 0;
    qint64 y = 0;
    qint64 width = 0;
    qint64 height = 0;
};

bool contains(const QRect &area, qint64 x, qint64 y)
{
    return !area.isEmpty() && x >= area.left() && x <= area.right() && y >= area.top() &&
           y <= area.bottom();
}

qint64 overlap(const QRect &area, const Box &box)
{
    const qint64 left = std::max<qint64>(area.left(), box.x);
    const qint64 top = std::max<qint64>(area.top(), box.y);
    const qint64 right = std::min<qint64>(qint64(area.left()) + area.width(), box.x + box.width);
    const qint64 bottom = std::min<qint64>(qint64(area.top()) + area.height(), box.y + box.height);
    if (right <= left || bottom <= top)
        return 0;
    return (right - left) * (bottom - top);
}

QRect usableArea(const ScreenArea &screen)
{
    return screen.available.isEmpty() ? screen.geometry : screen.available;
}

// One axis of the fit: the client's start and length, the frame's margins before and
// after it, and the area's start and length.
void fitAxis(qint64 *start, qint64 *length, qint64 before, qint64 after, qint64 areaStart,
             qint64 areaLength, qint64 minimum)
{
    const qint64 room = areaLength - before - after;
    if (*length > room)
        *length = std::max<qint64>({room, minimum, 1});
    qint64 frameStart = *start - before;
    const qint64 frameLength = *length + before + after;
    // The far edge first, then the near one, so that a frame larger than the area keeps
    // its title bar and left border inside.
    frameStart = std::min(frameStart, areaStart + areaLength - frameLength);
    frameStart = std::max(frameStart, areaStart);
    *start = frameStart + before;
}

QRect fit(Box box, const QMargins &frame, const QList<ScreenArea> &screens, const QSize &minimum)
{
    if (screens.isEmpty()) {
        // Nowhere to measure against; only keep the numbers showable.
        constexpr qint64 limit = 1 << 20;
        box.x = std::clamp<qint64>(box.x, -limit, limit);
        box.y = std::clamp<qint64>(box.y, -limit, limit);
        box.width = std::clamp<qint64>(box.width, 1, limit);
        box.height = std::clamp<qint64>(box.height, 1, limit);
        return QRect(int(box.x), int(box.y), int(box.width), int(box.height));
    }
    qsizetype chosen = -1;
    for (qsizetype i = 0; i < screens.size() && chosen < 0; ++i) {
        if (contains(screens.at(i).geometry, box.x, box.y))
            chosen = i;
    }
    if (chosen < 0) {
        qint64 best = 0;
        for (qsizetype i = 0; i < screens.size(); ++i) {
            const qint64 shared = overlap(screens.at(i).geometry, box);
            if (shared > best) {
                best = shared;
                chosen = i;
            }
        }
    }
    const QRect area = usableArea(screens.at(std::max<qsizetype>(chosen, 0)));
    fitAxis(&box.x, &box.width, frame.left(), frame.right(), area.left(), area.width(),
            minimum.width());
    fitAxis(&box.y, &box.height, frame.top(), frame.bottom(), area.top(), area.height(),
            minimum.height());
    return QRect(int(box.x), int(box.y), int(box.width), int(box.height));
}

} // namespace

QList<QPair<QString, int>> SaveValues(const QRect &normal, bool maximized, bool resizable)
{
    QList<QPair<QString, int>> values;
    values.append({QStringLiteral("Maximized"), maximized ? 1 : 0});
    values.append({QStringLiteral("Left"), normal.left()});
    values.append({QStringLiteral("Top"), normal.top()});
    if (resizable) {
        values.append({QStringLiteral("Right"), normal.left() + normal.width()});
        values.append({QStringLiteral("Bottom"), normal.top() + normal.height()});
    }
    values.append({QStringLiteral("Saved"), 1});
    return values;
}

bool PlatformReportsPositions(const QString &platformName)
{
    return !platformName.startsWith(QLatin1String("wayland"));
}

QString StayOnTopHint(const QString &platformName)
{
    const QString hint = QStringLiteral("Keep the window above other windows");
    if (PlatformReportsPositions(platformName))
        return hint;
    return hint + QStringLiteral(" (not on Wayland, where the desktop decides which window is "
                                 "in front)");
}

QList<QPair<QString, int>> SaveValuesKeepingPosition(const IniFile &ini, const QString &section,
                                                     const QRect &normal, bool maximized,
                                                     bool resizable)
{
    if (!HasPosition(ini, section)) {
        return {{QStringLiteral("Maximized"), maximized ? 1 : 0}, {QStringLiteral("Saved"), 1}};
    }
    QRect kept = normal;
    kept.moveTopLeft(QPoint(ini.readInteger(section, QStringLiteral("Left"), normal.left()),
                            ini.readInteger(section, QStringLiteral("Top"), normal.top())));
    return SaveValues(kept, maximized, resizable);
}

QRect RestoredRect(const IniFile &ini, const QString &section, const QRect &current, bool resizable,
                   const QList<ScreenArea> &screens, const QMargins &frame, const QSize &minimum)
{
    Box box;
    box.x = ini.readInteger(section, QStringLiteral("Left"), current.left());
    box.y = ini.readInteger(section, QStringLiteral("Top"), current.top());
    box.width = current.width();
    box.height = current.height();
    if (resizable) {
        const qint64 right =
            ini.readInteger(section, QStringLiteral("Right"),
                            int(std::clamp<qint64>(box.x + box.width, INT_MIN, INT_MAX)));
        const qint64 bottom =
            ini.readInteger(section, QStringLiteral("Bottom"),
                            int(std::clamp<qint64>(box.y + box.height, INT_MIN, INT_MAX)));
        box.width = right - box.x;
        box.height = bottom - box.y;
    }
    // A window too small to see or grab is no placement worth keeping.
    if (box.width <= 0 || box.height <= 0) {
        box.width = current.width();
        box.height = current.height();
    }

    bool onScreen = false;
    for (const ScreenArea &screen : screens) {
        if (contains(screen.geometry, box.x, box.y)) {
            onScreen = true;
            break;
        }
    }
    if (!onScreen && !screens.isEmpty()) {
        // Its screen is gone: the frame's corner goes to the work area's.
        const QRect area = usableArea(screens.first());
        box.x = qint64(area.left()) + frame.left();
        box.y = qint64(area.top()) + frame.top();
    }
    return fit(box, frame, screens, minimum);
}

QRect FitOnScreens(const QRect &client, const QMargins &frame, const QList<ScreenArea> &screens,
                   const QSize &minimum)
{
    return fit(Box{client.x(), client.y(), client.width(), client.height()}, frame, screens,
               minimum);
}

bool RestoredMaximized(const IniFile &ini, const QString &section)
{
    return ini.readBool(section, QStringLiteral("Maximized"), false);
}

bool IsSaved(const IniFile &ini, const QString &section)
{
    return ini.readBool(section, QStringLiteral("Saved"), false);
}

bool HasPosition(const IniFile &ini, const QString &section)
{
    return !ini.readString(section, QStringLiteral("Left"), QString()).isEmpty() ||
           !ini.readString(section, QStringLiteral("Top"), QString()).isEmpty();
}

} // namespace FormStateRules
