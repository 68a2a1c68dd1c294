// The content lines of an iCalendar text (RFC 5545, section 3.1), read as a stream in time
// linear in the text: folds are undone here, and each component of a calendar that the
// program reads (VTODO, VJOURNAL, VTIMEZONE) comes out on its own as its content lines, which
// libical's parser takes one by one (its own line reader takes time growing with the square
// of a line's length). Every part is bounded as the interchange file's are: a
// line (with its folds undone) longer than 16 MiB, a component of more than 10,000 lines or
// 64 MiB, or components nested more than 100 deep make the text unreadable.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

namespace ICalendarReader {

// The longest content line read, its folds undone (as the interchange file's longest part).
constexpr qint64 MaxLine = qint64(16) << 20;
// The most lines, and bytes, of one component.
constexpr int MaxObjectLines = 10000;
constexpr qint64 MaxObjectSize = qint64(64) << 20;
// The deepest nesting of components.
constexpr int MaxDepth = 100;

enum class Kind
{
    Todo,
    Journal,
    TimeZone,
};

// One component directly inside a VCALENDAR.
struct Object
{
    Kind kind = Kind::Todo;
    // Its content lines, from BEGIN to END, with their folds undone.
    QList<QByteArray> lines;
    // The value of the first TRIGGER of each VALARM directly inside it, in their order, as
    // written (libical keeps trigger durations in 32 bits); empty for an alarm without one.
    QList<QByteArray> triggers;
    // Its own UID and the first parent it names (RELATED-TO without RELTYPE, or with
    // RELTYPE=PARENT), unescaped; empty when it has none.
    QString uid;
    QString parent;
    // Whether it is one occurrence of a series, overridden (it has a RECURRENCE-ID).
    bool occurrence = false;
};

class Reader
{
public:
    explicit Reader(QIODevice *device);

    // Whether VTODO and VJOURNAL objects come with their lines, or with their UID and parent
    // only (a VTIMEZONE always comes whole).
    void setKeepItemLines(bool keep) { m_keepItemLines = keep; }

    // The next component; false at the end of the text or when it is found unreadable
    // (error() tells why then).
    bool next(Object *object);
    // Why the text is unreadable, in words that follow the file's name; empty while it is
    // not.
    const QString &error() const { return m_error; }
    // Whether a VCALENDAR was begun so far.
    bool sawCalendar() const { return m_sawCalendar; }

private:
    bool physicalLine(QByteArray *line);
    bool logicalLine(QByteArray *line);
    bool fail(const QString &why);

    QIODevice *m_device;
    QByteArray m_chunk;
    qsizetype m_at = 0;
    bool m_atEnd = false;
    QByteArray m_pending; // the physical line read ahead to see whether it continues a fold
    bool m_havePending = false;
    QList<QByteArray> m_stack; // names of the open components
    bool m_sawCalendar = false;
    bool m_pastStart = false;
    bool m_keepItemLines = true;
    QString m_error;
};

// The value of a content line (what follows the first colon outside quoted parameter
// values), and its name in upper case.
QByteArray ValueOf(const QByteArray &line);
QByteArray NameOf(const QByteArray &line);
// The value of a parameter of a content line (without its quotes), or a null text.
QByteArray ParameterOf(const QByteArray &line, const QByteArray &upperName);
// A TEXT value with its escapes undone.
QString UnescapedText(const QByteArray &value);

} // namespace ICalendarReader
