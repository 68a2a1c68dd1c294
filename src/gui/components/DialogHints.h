// What the window manager is told about a dialog of fixed size: a dialog window, no
// resizing, minimising or maximising, and a close command only where the dialog has one.
#pragma once

class QWidget;

namespace DialogHints {

// Sets the dialog's window flags (a dialog with a title bar, no minimise or maximise
// button, a close button only when closable; other flags such as staying on top are kept)
// and, once it has its size, fixes that size. On X11 the Motif hints are written when the
// window is shown: move (and close when closable) as its only functions, a border and a
// title (and the window menu when closable) as its only decorations.
void SetFixed(QWidget *dialog, bool closable = true);

} // namespace DialogHints
