// The colour codes tasks carry for their text and background: 0 for no colour of their own,
// 0x00BBGGRR for a colour given by its red, green and blue parts (red in the low byte), and
// 0xFF000000 plus an index for one of the desktop's own colours, which follows the current
// palette.
#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QPixmap>
#include <QString>

namespace ColorCodes {

// High byte of a code that names one of the desktop's own colours.
inline constexpr quint32 SystemFlag = 0xFF000000u;

// The code of a system colour index (0 to 30), e.g. 15 for the button face.
inline constexpr qint32 systemCode(int index)
{
    return qint32(SystemFlag | quint32(index));
}
// The code of a colour given by its parts.
inline constexpr qint32 rgb(int red, int green, int blue)
{
    return qint32(quint32(red & 0xFF) | quint32(green & 0xFF) << 8 | quint32(blue & 0xFF) << 16);
}

// The palette role a system colour index maps onto (the colour group comes with it).
struct SystemRole
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
// Indexes 0 to 30; an index out of range gives the window text role.
SystemRole systemRole(int index);

// The colour a code stands for, the system colours taken from palette. Code 0 gives an
// invalid colour (the caller's own default applies); a system index beyond 30 gives black.
QColor toColor(qint32 code, const QPalette &palette);
// The same with the application's current palette.
QColor toColor(qint32 code);

// The contrast ratio of two colours, from 1 (the same) to 21 (black and white), after the
// relative luminance of sRGB colours.
qreal contrast(const QColor &a, const QColor &b);
// A text colour that reads on a background: text itself when its contrast with the
// background is at least minimum; otherwise the mix of the background with black or white,
// whichever stands out more, that reaches minimum (soft, for texts meant to look faint) or
// black or white itself.
QColor readableOn(const QColor &text, const QColor &background, qreal minimum, bool soft = false);

// The colour a picture looks like as a whole (its average), remembered per picture.
QColor averageColor(const QPixmap &picture);
// Whether a background picture suits the palette: the palette's window text stands out
// from it. The light pictures of the tool bars and rows do not suit a dark palette.
bool suitsPalette(const QPixmap &picture, const QPalette &palette);

// The 50 colours the colour lists offer, in list order: 16 standard, 4 extended and 30
// system colours. Black has code 0, the same as "no colour of its own".
struct NamedColor
{
    QString name;
    qint32 code;
};
const QList<NamedColor> &namedColors();

} // namespace ColorCodes
