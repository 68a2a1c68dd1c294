// The rules of the window-state component that need no widgets: which keys a save writes
// and where a restore puts the window.
#pragma once

#include <QList>
#include <QPair>
#include <QRect>
#include <QString>

class IniFile;

namespace FormStateRules {

// The keys a save writes, in the order they are written, with their values. "Right" and
// "Bottom" (exclusive edges) only for a resizable window; "Saved" always last.
QList<QPair<QString, int>> SaveValues(const QRect &normal, bool maximized, bool resizable);

// The normal rectangle a restore gives the window: "Left" and "Top" default to the
// current position; a resizable window reads "Right" and "Bottom" (defaulting to the
// current size), any other keeps its current size. A top-left corner on no screen moves
// the rectangle, size kept, to the top-left corner of the work area.
QRect RestoredRect(const IniFile &ini, const QString &section, const QRect &current, bool resizable,
                   const QList<QRect> &screens, const QPoint &workAreaTopLeft);

// Whether the section says the window was maximised (default false).
bool RestoredMaximized(const IniFile &ini, const QString &section);
// Whether the section holds a saved placement.
bool IsSaved(const IniFile &ini, const QString &section);

} // namespace FormStateRules
