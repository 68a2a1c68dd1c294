// The error every command raises on a failure (database, file).
#pragma once

#include <QString>

#include <stdexcept>

// An error raised inside a command (database, file). Its text reaches the user through the
// application-wide error report; the command stops there and the program goes on.
class TasklumeError : public std::runtime_error
{
public:
    explicit TasklumeError(const QString &text)
        : std::runtime_error(text.toStdString()), m_text(text)
    {}
    const QString &text() const { return m_text; }

private:
    QString m_text;
};
