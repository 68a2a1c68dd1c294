#include "FormStateRules.h"

#include "common/IniFile.h"

namespace FormStateRules {

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

QRect RestoredRect(const IniFile &ini, const QString &section, const QRect &current, bool resizable,
                   const QList<QRect> &screens, const QPoint &workAreaTopLeft)
{
    const int left = ini.readInteger(section, QStringLiteral("Left"), current.left());
    const int top = ini.readInteger(section, QStringLiteral("Top"), current.top());
    int right = left + current.width();
    int bottom = top + current.height();
    if (resizable) {
        right = ini.readInteger(section, QStringLiteral("Right"), right);
        bottom = ini.readInteger(section, QStringLiteral("Bottom"), bottom);
    }
    QRect rect(QPoint(left, top), QSize(right - left, bottom - top));
    // A window too small to see or grab is no placement worth keeping.
    if (rect.width() <= 0 || rect.height() <= 0)
        rect.setSize(current.size());

    bool onScreen = false;
    for (const QRect &screen : screens) {
        if (screen.contains(rect.topLeft())) {
            onScreen = true;
            break;
        }
    }
    if (!onScreen)
        rect.moveTopLeft(workAreaTopLeft);
    return rect;
}

bool RestoredMaximized(const IniFile &ini, const QString &section)
{
    return ini.readBool(section, QStringLiteral("Maximized"), false);
}

bool IsSaved(const IniFile &ini, const QString &section)
{
    return ini.readBool(section, QStringLiteral("Saved"), false);
}

} // namespace FormStateRules
