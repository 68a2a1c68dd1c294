#include "sync/ICalendarReader.h"

#include <QLocale>

#include <cstring>

namespace ICalendarReader {

namespace {

constexpr qsizetype kChunk = qsizetype(1) << 20;

QString mebibytes(qint64 bytes)
{
    return QString::number(bytes >> 20);
}

// The name of a BEGIN or END line's component, in upper case.
QByteArray componentName(const QByteArray &line)
{
    return ValueOf(line).trimmed().toUpper();
}

Kind *kindOf(const QByteArray &name, Kind *kind)
{
    if (name == "VTODO")
        *kind = Kind::Todo;
    else if (name == "VJOURNAL")
        *kind = Kind::Journal;
    else if (name == "VTIMEZONE")
        *kind = Kind::TimeZone;
    else
        return nullptr;
    return kind;
}

// The name of a content line, compared without regard to case and without a copy.
class NameView
{
public:
    explicit NameView(const QByteArray &line)
    {
        qsizetype end = 0;
        while (end < line.size() && line[end] != ';' && line[end] != ':')
            ++end;
        m_name = QByteArrayView(line.constData(), end).trimmed();
    }
    bool operator==(const char *upper) const
    {
        const qsizetype length = qsizetype(qstrlen(upper));
        return m_name.size() == length && qstrnicmp(m_name.data(), upper, length) == 0;
    }

private:
    QByteArrayView m_name;
};

} // namespace

QByteArray NameOf(const QByteArray &line)
{
    qsizetype end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    return line.left(end).trimmed().toUpper();
}

QByteArray ValueOf(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return line.mid(i + 1);
    }
    return {};
}

QByteArray ParameterOf(const QByteArray &line, const QByteArray &upperName)
{
    // The parameters lie between the name and the first colon outside quotes.
    qsizetype at = 0;
    while (at < line.size() && line[at] != ';' && line[at] != ':')
        ++at;
    while (at < line.size() && line[at] == ';') {
        const qsizetype nameStart = ++at;
        while (at < line.size() && line[at] != '=' && line[at] != ';' && line[at] != ':')
            ++at;
        const QByteArray name = line.mid(nameStart, at - nameStart).trimmed().toUpper();
        QByteArray value;
        if (at < line.size() && line[at] == '=') {
            ++at;
            bool quoted = false;
            const qsizetype valueStart = at;
            while (at < line.size() && (quoted || (line[at] != ';' && line[at] != ':'))) {
                if (line[at] == '"')
                    quoted = !quoted;
                ++at;
            }
            value = line.mid(valueStart, at - valueStart);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.mid(1, value.size() - 2);
        }
        if (name == upperName)
            return value.isNull() ? QByteArray("") : value;
    }
    return {};
}

QString UnescapedText(const QByteArray &value)
{
    QByteArray text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char e = value[++i];
            text.append(e == 'n' || e == 'N' ? '\n' : e);
        } else {
            text.append(c);
        }
    }
    return QString::fromUtf8(text);
}

Reader::Reader(QIODevice *device) : m_device(device) {}

bool Reader::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why;
    return false;
}

// One line as it stands in the text, without its CR LF (or LF); false at the end.
bool Reader::physicalLine(QByteArray *line)
{
    line->clear();
    bool any = false;
    for (;;) {
        if (m_at >= m_chunk.size()) {
            if (m_atEnd)
                break;
            m_chunk = m_device->read(kChunk);
            m_at = 0;
            if (m_chunk.isEmpty()) {
                m_atEnd = true;
                break;
            }
        }
        any = true;
        const char *start = m_chunk.constData() + m_at;
        const qsizetype left = m_chunk.size() - m_at;
        const void *newline = std::memchr(start, '\n', size_t(left));
        const qsizetype length = newline ? static_cast<const char *>(newline) - start : left;
        if (std::memchr(start, '\0', size_t(length)))
            return fail(QStringLiteral("holds no calendar: it is not a text file"));
        if (line->size() + length > MaxLine + 1)
            return fail(QStringLiteral("holds a line longer than %1 MiB").arg(mebibytes(MaxLine)));
        line->append(start, length);
        m_at += length;
        if (newline) {
            ++m_at;
            if (line->endsWith('\r'))
                line->chop(1);
            return true;
        }
    }
    if (line->endsWith('\r'))
        line->chop(1);
    return any;
}

// One content line with its folds undone; false at the end.
bool Reader::logicalLine(QByteArray *line)
{
    line->clear();
    for (;;) {
        if (!m_havePending) {
            if (!physicalLine(&m_pending))
                return !m_error.isEmpty() ? false : !line->isEmpty();
            m_havePending = true;
        }
        const bool continues =
            !m_pending.isEmpty() && (m_pending.front() == ' ' || m_pending.front() == '\t');
        if (continues) {
            if (line->size() + m_pending.size() - 1 > MaxLine)
                return fail(
                    QStringLiteral("holds a line longer than %1 MiB").arg(mebibytes(MaxLine)));
            line->append(m_pending.constData() + 1, m_pending.size() - 1);
            m_havePending = false;
            continue;
        }
        if (!line->isEmpty()) // the next line begins here: this one is whole
            return true;
        if (m_pending.size() > MaxLine)
            return fail(QStringLiteral("holds a line longer than %1 MiB").arg(mebibytes(MaxLine)));
        line->swap(m_pending);
        m_havePending = false;
    }
}

bool Reader::next(Object *object)
{
    QByteArray line;
    // The depth of the component being collected in the stack (0 for none), and its alarm
    // being read.
    qsizetype collecting = 0;
    int lines = 0;
    bool inAlarm = false;
    bool haveUid = false, haveParent = false;
    qint64 objectSize = 0;
    bool keep = true;
    while (m_error.isEmpty()) {
        if (!logicalLine(&line)) {
            if (!m_error.isEmpty())
                return false;
            // A text cut off inside a component: what it holds is read as it stands.
            if (collecting > 0) {
                for (qsizetype k = m_stack.size() - 1; k >= collecting - 1; --k)
                    if (keep)
                        object->lines.append("END:" + m_stack[k]);
                m_stack.clear();
                return true;
            }
            return false;
        }
        if (!m_pastStart) {
            m_pastStart = true;
            if (line.startsWith("\xEF\xBB\xBF")) // a byte order mark
                line.remove(0, 3);
        }
        if (line.isEmpty())
            continue;
        const NameView name(line);
        if (name == "BEGIN") {
            const QByteArray component = componentName(line);
            if (m_stack.size() >= MaxDepth)
                return fail(
                    QStringLiteral("holds components nested more than %1 deep").arg(MaxDepth));
            Kind kind;
            if (collecting == 0 && m_stack.size() == 1 && m_stack.front() == "VCALENDAR" &&
                kindOf(component, &kind)) {
                collecting = 2;
                lines = 0;
                object->kind = kind;
                keep = m_keepItemLines || kind == Kind::TimeZone;
                object->lines.clear();
                objectSize = 0;
                object->triggers.clear();
                object->uid.clear();
                object->parent.clear();
                object->occurrence = false;
                haveUid = haveParent = false;
            }
            m_stack.append(component);
            if (m_stack.size() == 1 && component == "VCALENDAR")
                m_sawCalendar = true;
            if (collecting > 0 && m_stack.size() == collecting + 1 && component == "VALARM") {
                object->triggers.append(QByteArray());
                inAlarm = true;
            }
        } else if (name == "END") {
            const QByteArray component = componentName(line);
            // An END closes the innermost component of its name; one that closes none is
            // passed over.
            qsizetype open = m_stack.size();
            while (open > 0 && m_stack[open - 1] != component)
                --open;
            if (open == 0)
                continue;
            // Components left open inside it end with it.
            for (qsizetype k = m_stack.size() - 1; k >= open - 1; --k) {
                if (collecting > 0 && k >= collecting - 1) {
                    if (++lines > MaxObjectLines)
                        return fail(QStringLiteral("holds an object of more than %1 lines")
                                        .arg(QLocale(QLocale::English).toString(MaxObjectLines)));
                    if (keep)
                        object->lines.append("END:" + m_stack[k]);
                }
            }
            m_stack.resize(open - 1);
            if (m_stack.size() <= collecting)
                inAlarm = false;
            if (collecting > 0 && m_stack.size() < collecting)
                return true;
            continue;
        } else if (inAlarm && m_stack.size() == collecting + 1 && name == "TRIGGER" &&
                   object->triggers.back().isEmpty()) {
            object->triggers.back() = ValueOf(line).trimmed();
        } else if (collecting > 0 && m_stack.size() == collecting && name == "UID" && !haveUid) {
            haveUid = true;
            object->uid = UnescapedText(ValueOf(line));
        } else if (collecting > 0 && m_stack.size() == collecting && name == "RECURRENCE-ID") {
            object->occurrence = true;
        } else if (collecting > 0 && m_stack.size() == collecting && name == "RELATED-TO" &&
                   !haveParent) {
            // RELTYPE is PARENT when it is not given.
            const QByteArray reltype = ParameterOf(line, "RELTYPE");
            if (reltype.isNull() || reltype.trimmed().toUpper() == "PARENT") {
                haveParent = true;
                object->parent = UnescapedText(ValueOf(line));
            }
        }
        if (collecting > 0) {
            if (++lines > MaxObjectLines)
                return fail(QStringLiteral("holds an object of more than %1 lines")
                                .arg(QLocale(QLocale::English).toString(MaxObjectLines)));
            objectSize += line.size() + 2;
            if (objectSize > MaxObjectSize)
                return fail(QStringLiteral("holds an object larger than %1 MiB")
                                .arg(mebibytes(MaxObjectSize)));
            if (keep)
                object->lines.append(line);
        }
    }
    return false;
}

} // namespace ICalendarReader
