// The rules of the window-state component that need no widgets: which keys a save writes
// and where a restore puts the window.
#pragma once

#include <QList>
#include <QMargins>
#include <QPair>
#include <QRect>
#include <QSize>
#include <QString>

class IniFile;

namespace FormStateRules {

// A screen as placement sees it: its whole area, and the part of it windows may use (the
// whole area less the panels).
struct ScreenArea
{
    QRect geometry;
    QRect available;
};

// The keys a save writes, in the order they are written, with their values. "Right" and
// "Bottom" (exclusive edges) only for a resizable window; "Saved" always last.
QList<QPair<QString, int>> SaveValues(const QRect &normal, bool maximized, bool resizable);

// Whether a platform (Qt's platform name) tells a program where its windows are. On Wayland
// the compositor places windows and never says where: the position a window reports there
// is not where it stands.
bool PlatformReportsPositions(const QString &platformName);

// The hint (status tip and tool tip) of "Stay on top" on a platform; where the platform
// ignores the request (Wayland), the hint says so.
QString StayOnTopHint(const QString &platformName);

// The keys a save writes where the platform does not report positions: the position saved
// last where one was reported ("Left", "Top") stays, and a resizable window's "Right" and
// "Bottom" give its current size from there. A section without a position gets none, nor
// a size (which needs one): only "Maximized" and "Saved".
QList<QPair<QString, int>> SaveValuesKeepingPosition(const IniFile &ini, const QString &section,
                                                     const QRect &normal, bool maximized,
                                                     bool resizable);

// The client rectangle a restore gives the window: "Left" and "Top" default to the
// current position; a resizable window reads "Right" and "Bottom" (defaulting to the
// current size), any other keeps its current size. A top-left corner on no screen moves
// the window to the top-left corner of the first screen's work area. Whatever the file
// holds, the window then fits on a screen as FitOnScreens puts it. The first screen is
// the primary one.
QRect RestoredRect(const IniFile &ini, const QString &section, const QRect &current, bool resizable,
                   const QList<ScreenArea> &screens, const QMargins &frame,
                   const QSize &minimum = QSize());

// Moves a window, and shrinks it when it is larger, so that its whole frame (the client
// rectangle grown by the frame's margins: title bar, borders) lies within the available
// area of its screen: the screen holding its top-left corner, else the one it overlaps
// most, else the first. A window that cannot be smaller than the area keeps its title
// bar at the area's top-left corner.
QRect FitOnScreens(const QRect &client, const QMargins &frame, const QList<ScreenArea> &screens,
                   const QSize &minimum = QSize());

// Whether the section says the window was maximised (default false).
bool RestoredMaximized(const IniFile &ini, const QString &section);
// Whether the section holds a saved placement.
bool IsSaved(const IniFile &ini, const QString &section);
// Whether the section holds a position of its own ("Left" or "Top").
bool HasPosition(const IniFile &ini, const QString &section);

} // namespace FormStateRules
