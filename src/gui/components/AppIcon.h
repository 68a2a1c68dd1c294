// The program's icon at every size the artwork comes in, so windows, task switchers and
// the tray pick a crisp picture at any scale; and the tray's one-colour icon.
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class TWyCustomTrayIcon;

QIcon AppIcon();

// The tray's icon: a notepad with one check mark in one colour, the ink (the colour of the
// panel's text), at the sizes trays use; the picture of the installed tasklume-symbolic.svg.
QIcon TrayIcon(const QColor &ink);
// The ink of the tray's icon on a panel of that colour: light on a dark panel, dark on a
// light one; without a panel's colour (invalid), the text colour of the desktop's palette.
QColor TrayInk(const QColor &panel = QColor());
// The name of the installed one-colour icon in the icon theme, which desktops that host the
// tray on the session bus draw in their panel's colour; empty when it is not installed.
QString TrayIconName();
// Keeps the tray's icon readable on its panel: the panel behind an X11 tray's icon is looked
// at once the tray holds it, now and then, and when the desktop's palette changes (a switch
// between light and dark); on a tray of the session bus, whose host colours the symbolic
// icon itself, the pictures follow the palette.
void FollowPalette(TWyCustomTrayIcon *tray);
