#include "ColorCodes.h"

#include <QGuiApplication>
#include <QHash>
#include <QImage>

#include <cmath>

namespace ColorCodes {

SystemRole systemRole(int index)
{
    using P = QPalette;
    // Index, in the order of the desktop's system colour numbers, mapped onto the roles a
    // Qt palette has for the same purpose.
    static const SystemRole roles[31] = {
        {P::Active, P::Midlight},        // 0 scroll bar
        {P::Active, P::Dark},            // 1 desktop background
        {P::Active, P::Highlight},       // 2 active caption
        {P::Inactive, P::Mid},           // 3 inactive caption
        {P::Active, P::Window},          // 4 menu
        {P::Active, P::Base},            // 5 window
        {P::Active, P::Shadow},          // 6 window frame
        {P::Active, P::WindowText},      // 7 menu text
        {P::Active, P::Text},            // 8 window text
        {P::Active, P::HighlightedText}, // 9 caption text
        {P::Active, P::Mid},             // 10 active border
        {P::Inactive, P::Midlight},      // 11 inactive border
        {P::Active, P::Mid},             // 12 application work space
        {P::Active, P::Highlight},       // 13 highlight
        {P::Active, P::HighlightedText}, // 14 highlight text
        {P::Active, P::Button},          // 15 button face
        {P::Active, P::Dark},            // 16 button shadow
        {P::Disabled, P::Text},          // 17 grey text
        {P::Active, P::ButtonText},      // 18 button text
        {P::Disabled, P::WindowText},    // 19 inactive caption text
        {P::Active, P::Light},           // 20 button highlight
        {P::Active, P::Shadow},          // 21 3D dark shadow
        {P::Active, P::Midlight},        // 22 3D light
        {P::Active, P::ToolTipText},     // 23 info text
        {P::Active, P::ToolTipBase},     // 24 info background
        {P::Active, P::Button},          // 25 (no system colour; the button face)
        {P::Active, P::Link},            // 26 hot light
        {P::Active, P::Highlight},       // 27 gradient active caption
        {P::Inactive, P::Midlight},      // 28 gradient inactive caption
        {P::Active, P::Highlight},       // 29 menu highlight
        {P::Active, P::Window},          // 30 menu bar
    };
    if (index < 0 || index > 30)
        return {P::Active, P::WindowText};
    return roles[index];
}

QColor toColor(qint32 code, const QPalette &palette)
{
    if (code == 0)
        return {};
    const quint32 value = quint32(code);
    if ((value & 0xFF000000u) == SystemFlag) {
        const quint32 index = value & 0x00FFFFFFu;
        if (index > 30)
            return QColor(Qt::black);
        const SystemRole role = systemRole(int(index));
        return palette.color(role.group, role.role);
    }
    // Other high bytes carry a colour in the low three bytes as well.
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QColor toColor(qint32 code)
{
    return toColor(code, QGuiApplication::palette());
}

const QList<NamedColor> &namedColors()
{
    static const QList<NamedColor> list = [] {
        struct Entry
        {
            const char *name;
            quint32 code;
        };
        static const Entry entries[] = {
            // Standard colours, 0x00BBGGRR.
            {"Black", 0x000000},
            {"Maroon", 0x000080},
            {"Green", 0x008000},
            {"Olive", 0x008080},
            {"Navy", 0x800000},
            {"Purple", 0x800080},
            {"Teal", 0x808000},
            {"Gray", 0x808080},
            {"Silver", 0xC0C0C0},
            {"Red", 0x0000FF},
            {"Lime", 0x00FF00},
            {"Yellow", 0x00FFFF},
            {"Blue", 0xFF0000},
            {"Fuchsia", 0xFF00FF},
            {"Aqua", 0xFFFF00},
            {"White", 0xFFFFFF},
            // Extended colours.
            {"Money Green", 0xC0DCC0},
            {"Sky Blue", 0xF0CAA6},
            {"Cream", 0xF0FBFF},
            {"Medium Gray", 0xA4A0A0},
            // The desktop's own colours.
            {"Active Border", SystemFlag | 10},
            {"Active Caption", SystemFlag | 2},
            {"App Work Space", SystemFlag | 12},
            {"Background", SystemFlag | 1},
            {"Button Face", SystemFlag | 15},
            {"Button Highlight", SystemFlag | 20},
            {"Button Shadow", SystemFlag | 16},
            {"Button Text", SystemFlag | 18},
            {"Caption Text", SystemFlag | 9},
            {"Gradient Active Caption", SystemFlag | 27},
            {"Gradient Inactive Caption", SystemFlag | 28},
            {"Gray Text", SystemFlag | 17},
            {"Highlight", SystemFlag | 13},
            {"Highlight Text", SystemFlag | 14},
            {"Hot Light", SystemFlag | 26},
            {"Inactive Border", SystemFlag | 11},
            {"Inactive Caption", SystemFlag | 3},
            {"Inactive Caption Text", SystemFlag | 19},
            {"Info Background", SystemFlag | 24},
            {"Info Text", SystemFlag | 23},
            {"Menu", SystemFlag | 4},
            {"Menu Bar", SystemFlag | 30},
            {"Menu Highlight", SystemFlag | 29},
            {"Menu Text", SystemFlag | 7},
            {"Scroll Bar", SystemFlag | 0},
            {"3D Dark Shadow", SystemFlag | 21},
            {"3D Light", SystemFlag | 22},
            {"Window", SystemFlag | 5},
            {"Window Frame", SystemFlag | 6},
            {"Window Text", SystemFlag | 8},
        };
        QList<NamedColor> colors;
        for (const Entry &entry : entries)
            colors.append({QString::fromLatin1(entry.name), qint32(entry.code)});
        return colors;
    }();
    return list;
}

namespace {
qreal luminance(const QColor &color)
{
    const auto linear = [](qreal c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}
} // namespace

qreal contrast(const QColor &a, const QColor &b)
{
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor averageColor(const QPixmap &picture)
{
    static QHash<qint64, QColor> known;
    auto it = known.constFind(picture.cacheKey());
    if (it == known.cend()) {
        const QImage one =
            picture.toImage().scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        it = known.insert(picture.cacheKey(), one.isNull() ? QColor() : one.pixelColor(0, 0));
    }
    return *it;
}

bool suitsPalette(const QPixmap &picture, const QPalette &palette)
{
    return !picture.isNull() &&
           contrast(averageColor(picture), palette.color(QPalette::WindowText)) >= 3.0;
}

QColor readableOn(const QColor &text, const QColor &background, qreal minimum, bool soft)
{
    if (contrast(text, background) >= minimum)
        return text;
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);
    const QColor extreme =
        contrast(black, background) >= contrast(white, background) ? black : white;
    if (!soft)
        return extreme;
    const QColor back = background.toRgb();
    for (int step = 1; step <= 20; ++step) {
        const qreal part = step / 20.0;
        const QColor mixed =
            QColor::fromRgbF(float(back.redF() + (extreme.redF() - back.redF()) * part),
                             float(back.greenF() + (extreme.greenF() - back.greenF()) * part),
                             float(back.blueF() + (extreme.blueF() - back.blueF()) * part));
        if (contrast(mixed, background) >= minimum)
            return mixed;
    }
    return extreme;
}

} // namespace ColorCodes
