// Starting with the desktop session: an XDG autostart entry named after the program, whose
// command is the program's full path. The entry's presence is the option; nothing else is
// stored for it.
#pragma once

#include <QString>
#include <QStringList>

namespace AutoStart {

// The entry's name, "Ploxen Tasklume", and its file in the user's autostart folder:
// $XDG_CONFIG_HOME/autostart/ (an absolute XDG_CONFIG_HOME only), else ~/.config/autostart/.
QString EntryName();
QString EntryPath();

// Whether the entry exists.
bool IsOn(const QString &entryPath);
// On: writes the entry for the program when there is none (an existing entry is left as it
// is, whatever it starts); the autostart folder is made when missing. Off: removes the
// entry when there is one. Failures are silent.
void Set(bool on, const QString &programPath, const QString &entryPath);

// The entry's text for a program.
QString EntryText(const QString &programPath);
// An entry this program wrote before entries carried TryExec (its Exec names programPath) is
// written anew, so that a removed program is not started at log-in; any other entry, and
// none, stays as it is.
void Renew(const QString &programPath, const QString &entryPath);
// The entry's Icon value: the icon theme's name when the program runs from an installation
// whose theme icon the desktop finds in one of dataDirs (the XDG data folders by default);
// otherwise the full path of the picture beside the program, Images/appIcon.png.
QString IconValue(const QString &programPath);
QString IconValue(const QString &programPath, const QStringList &dataDirs);
// A program path as the Exec value of a desktop entry: quoted when it holds characters the
// command line reserves, with the escapes the desktop entry format asks for.
QString ExecValue(const QString &programPath);

} // namespace AutoStart
