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
// The ink of the tray's icon: the text colour of the desktop's palette, light on a dark
// desktop and dark on a light one.
QColor TrayInk();
// The name of the installed one-colour icon in the icon theme, which desktops that host the
// tray on the session bus draw in their panel's colour; empty when it is not installed.
QString TrayIconName();
// Keeps the tray's icon in the colours of the desktop's palette, also when it changes (a
// switch between light and dark).
void FollowPalette(TWyCustomTrayIcon *tray);
