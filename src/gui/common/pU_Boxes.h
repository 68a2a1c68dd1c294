// The program's four message boxes and the error report. Every module uses these; none
// shows its own kind of box.
#pragma once

#include <QMessageBox>
#include <QString>

#include <exception>

// A modal box owned by the active window, no icon, the text as given.
QMessageBox::StandardButton ShowBox(const QString &caption, const QString &text,
                                    QMessageBox::StandardButtons buttons);
// "Ask", OK and Cancel; true when the user chose OK.
bool AskBox(const QString &text);
void ErrorBox(const QString &text);
void WarningBox(const QString &text);
void TipBox(const QString &text);
// The application-wide error report: the error's own text under the application title.
void ReportError(const QString &text);

// Reports an exception caught at the edge of a command.
void ReportException(const std::exception &error);

// The message boxes open now, one a line: caption, a tab, and the text on one line.
// Programs of the same user read them over the single-instance channel ("boxes"); the
// end-to-end tests see this way what the program told the user.
QByteArray OpenBoxesText();

// Runs a command; an error raised inside it is reported and the command ends there.
// Returns false when it ended with an error.
template <class F> bool RunCommand(F &&command)
{
    try {
        command();
        return true;
    } catch (const std::exception &error) {
        ReportException(error);
        return false;
    }
}
