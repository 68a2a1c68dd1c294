#include "Interchange.h"

#include "common/EngineError.h"
#include "common/ProgramVersion.h"
#include "common/SafeFile.h"
#include "common/Texts.h"
#include "IoTexts.h"
#include "ItemStream.h"
#include "memos/MemoInfo.h"
#include "pU_XmlTry.h"
#include "storage/Statements.h"
#include "tasks/TaskInfo.h"
#include "WyxContainer.h"
#include "XmlDateTime.h"
#include "XmlText.h"

#include <QDir>
#include <QHash>
#include <QSqlError>
#include <QSqlRecord>

#include <cctype>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace Interchange {

namespace {

const QString kRootPath = QStringLiteral("ploxen");
const QString kTasksPath = QStringLiteral("ploxen,tasks");
const QString kMemosPath = QStringLiteral("ploxen,memos");
const QString kTaskItemPath = QStringLiteral("ploxen,tasks,task#");
const QString kMemoItemPath = QStringLiteral("ploxen,memos,memo#");

// ---- writing ----------------------------------------------------------------------------

// Text as the file carries it: each CR LF of a stored text becomes one line feed, which
// the XML writer puts down as a character reference.
QByteArray contentText(const QString &content)
{
    QByteArray text = content.toUtf8();
    if (text.contains('\r'))
        text.replace("\r\n", "\n");
    return text;
}

const char *boolText(bool value)
{
    return value ? "True" : "False";
}

class ItemWriter
{
public:
    explicit ItemWriter(pugi::xml_node section) : m_section(section) {}

    pugi::xml_node append(const char *name) { return m_section.append_child(name); }

    // A text as the file can carry it (XmlText.h); pugixml escapes it.
    void text(pugi::xml_node item, const char *name, const QByteArray &value)
    {
        bool changed = false;
        const QByteArray carried = CarriableXmlText(value, &changed);
        item.append_attribute(name).set_value(carried.constData());
        m_changedTexts += changed ? 1 : 0;
    }
    int changedTexts() const { return m_changedTexts; }
    static void plain(pugi::xml_node item, const char *name, const char *value)
    {
        item.append_attribute(name).set_value(value);
    }
    void time(pugi::xml_node item, const char *name, TDateTime value)
    {
        char buffer[XmlDateTimeMax + 1];
        buffer[FormatXmlDateTime(value, m_offsets, buffer)] = '\0';
        item.append_attribute(name).set_value(buffer);
    }
    static void colour(pugi::xml_node item, const char *name, std::optional<qint32> value)
    {
        plain(item, name, value ? QByteArray::number(*value).constData() : "");
    }

    void memo(const TMemoInfo &memo, const QString &pid)
    {
        pugi::xml_node item = append("memo");
        text(item, "mid", memo.key.toUtf8());
        text(item, "pid", pid.toUtf8());
        text(item, "content", contentText(memo.content));
        time(item, "assign-time", memo.assignTime);
        time(item, "create-time", memo.createTime);
        time(item, "edit-time", memo.editTime);
    }

    void task(const TTaskInfo &task, const QString &pid, std::optional<qint32> textColor,
              std::optional<qint32> backgroundColor)
    {
        pugi::xml_node item = append("task");
        text(item, "tid", task.key.toUtf8());
        text(item, "pid", pid.toUtf8());
        text(item, "content", contentText(task.content));
        plain(item, "check-flag", boolText(task.checkFlag));
        plain(item, "alarm-flag", boolText(task.alarmFlag));
        plain(item, "due-flag", boolText(task.dueFlag));
        colour(item, "text-color", textColor);
        colour(item, "background-color", backgroundColor);
        time(item, "create-time", task.createTime);
        time(item, "edit-time", task.editTime);
        time(item, "check-time", task.checkTime);
        time(item, "alarm-time", task.alarmTime);
        time(item, "due-time", task.dueTime);
    }

private:
    pugi::xml_node m_section;
    LocalOffsets m_offsets;
    int m_changedTexts = 0;
};

// Steps 1 and 2 of every writer: the skeleton and the root's attributes.
void buildRoot(Txmltry &xml, const QString &appVersion)
{
    xml.loadFromText(SkeletonText());
    xml.SetAttr(kRootPath, "app", IoTexts::AppTag);
    xml.SetAttr(kRootPath, "appversion", appVersion);
    xml.SetAttr(kRootPath, "time", DateTimeToXmlText(NowDays(), true));
}

void checkQuery(const QSqlQuery &query)
{
    if (query.lastError().isValid())
        throw EngineFailure(query);
}

template <class Info>
bool writeSelection(const QString &fileName, const QList<ItemNode *> &selected,
                    const MessageSink &errorBox, const QString &sectionPath,
                    void (*append)(ItemWriter &, const Info &, const QString &))
{
    Txmltry xml(errorBox);
    buildRoot(xml, FileVersionText());
    ItemWriter writer(xml.findNode(sectionPath));
    for (const ItemNode *node : selected) {
        if (!node || !node->info)
            continue;
        append(writer, *node->as<Info>(), Texts::RootKey);
        if (node->level() == 1)
            continue;
        // A selected top-level item brings every child along, with its own parent.
        for (const auto &child : node->children) {
            if (child->info)
                append(writer, *child->as<Info>(), child->info->pid);
        }
    }
    if (!xml.SaveToFile(fileName)) {
        if (errorBox)
            errorBox(IoTexts::SelectionWriteFailure);
        return false;
    }
    return true;
}

// The document text of the whole-database writer, handed to the container in pieces.
class TextStream
{
public:
    explicit TextStream(WyxContainer::Writer &out) : m_out(out)
    {
        m_buffer.reserve(size_t(kPiece) + 4096);
    }

    void raw(QByteArrayView text)
    {
        m_buffer.append(text.data(), size_t(text.size()));
        if (qsizetype(m_buffer.size()) >= kPiece)
            flush();
    }
    void raw(const char *text) { raw(QByteArrayView(text)); }

    // name="value" with the value as XmlText writes it; for content, each CR LF becomes a
    // single line feed.
    void attribute(const char *name, QByteArrayView value, bool content = false)
    {
        m_buffer += ' ';
        m_buffer.append(name);
        m_buffer.append("=\"", 2);
        if (AppendXmlText(value, m_buffer, content))
            ++m_changedTexts;
        m_buffer += '"';
        if (qsizetype(m_buffer.size()) >= kPiece)
            flush();
    }
    void flag(const char *name, bool value) { attribute(name, QByteArrayView(boolText(value))); }
    void time(const char *name, TDateTime value)
    {
        char text[XmlDateTimeMax];
        attribute(name, QByteArrayView(text, FormatXmlDateTime(value, m_offsets, text)));
    }
    void emptyElement(const char *name)
    {
        raw("<");
        raw(name);
        raw("/>");
    }
    int changedTexts() const { return m_changedTexts; }
    bool flush()
    {
        if (m_ok && !m_buffer.empty())
            m_ok = m_out.write(m_buffer.data(), qsizetype(m_buffer.size()));
        m_buffer.clear();
        return m_ok;
    }

private:
    static constexpr qsizetype kPiece = 1 << 20;
    WyxContainer::Writer &m_out;
    std::string m_buffer;
    LocalOffsets m_offsets;
    bool m_ok = true;
    int m_changedTexts = 0;
};

// A section of rows: "<name>" items "</name>", or "<name/>" without rows.
template <class Row>
void writeSection(TextStream &out, RowScan &scan, const char *section, Row &&row)
{
    out.raw("<");
    out.raw(section);
    bool any = false;
    while (scan.next()) {
        if (!any)
            out.raw(">");
        any = true;
        row();
    }
    if (!any) {
        out.raw("/>");
        return;
    }
    out.raw("</");
    out.raw(section);
    out.raw(">");
}

TDateTime timeOf(const RowScan &scan, int column)
{
    return scan.isNull(column) ? 0 : scan.real(column);
}

void writeMemoRows(TextStream &out, QSqlDatabase db)
{
    RowScan scan(db, QStringLiteral("memos"),
                 {"mid", "pid", "content", "assignTime", "createTime", "editTime"});
    writeSection(out, scan, "memos", [&] {
        out.raw("<memo");
        out.attribute("mid", scan.text(0));
        out.attribute("pid", scan.text(1));
        out.attribute("content", scan.text(2), true);
        out.time("assign-time", timeOf(scan, 3));
        out.time("create-time", timeOf(scan, 4));
        out.time("edit-time", timeOf(scan, 5));
        out.raw("/>");
    });
}

void writeTaskRows(TextStream &out, QSqlDatabase db)
{
    RowScan scan(db, QStringLiteral("tasks"),
                 {"tid", "pid", "content", "checkFlag", "alarmFlag", "dueFlag", "textColor",
                  "backgroundColor", "createTime", "editTime", "checkTime", "alarmTime",
                  "dueTime"});
    writeSection(out, scan, "tasks", [&] {
        out.raw("<task");
        out.attribute("tid", scan.text(0));
        out.attribute("pid", scan.text(1));
        out.attribute("content", scan.text(2), true);
        out.flag("check-flag", scan.flag(3));
        out.flag("alarm-flag", scan.flag(4));
        out.flag("due-flag", scan.flag(5));
        for (int column : {6, 7}) {
            const char *name = column == 6 ? "text-color" : "background-color";
            if (scan.isNull(column))
                out.attribute(name, QByteArrayView());
            else
                out.attribute(name, QByteArray::number(qint32(scan.integer(column))));
        }
        for (int column = 8; column <= 12; ++column) {
            static const char *const names[] = {"create-time", "edit-time", "check-time",
                                                "alarm-time", "due-time"};
            out.time(names[column - 8], timeOf(scan, column));
        }
        out.raw("/>");
    });
}

// ---- reading ----------------------------------------------------------------------------

// One attribute of an item: its name in the file and the column it fills.
struct Field
{
    const char *attribute;
    const char *column;
};

constexpr Field kMemoFields[] = {
    {"mid", "mid"},
    {"pid", "pid"},
    {"content", "content"},
    {"assign-time", "assignTime"},
    {"create-time", "createTime"},
    {"edit-time", "editTime"},
};
enum MemoField
{
    MemoKey,
    MemoPid,
    MemoContent,
    MemoAssign,
    MemoCreate,
    MemoEdit
};

constexpr Field kTaskFields[] = {
    {"tid", "tid"},
    {"pid", "pid"},
    {"content", "content"},
    {"check-flag", "checkFlag"},
    {"alarm-flag", "alarmFlag"},
    {"due-flag", "dueFlag"},
    {"text-color", "textColor"},
    {"background-color", "backgroundColor"},
    {"create-time", "createTime"},
    {"edit-time", "editTime"},
    {"check-time", "checkTime"},
    {"alarm-time", "alarmTime"},
    {"due-time", "dueTime"},
};
enum TaskField
{
    TaskKey,
    TaskPid,
    TaskContent,
    TaskCheck,
    TaskAlarm,
    TaskDue,
    TaskTextColor,
    TaskBackColor,
    TaskCreate,
    TaskEdit,
    TaskCheckTime,
    TaskAlarmTime,
    TaskDueTime,
};
constexpr int kMaxFields = 13;

// The attribute texts of one item, each taken once, when first needed, so that a missing
// attribute is reported once, in the order the values are taken.
class ItemTexts
{
public:
    ItemTexts(const ItemStream::Item &item, const Field *fields, const QString &itemPath,
              const MessageSink &errorBox)
        : m_item(item), m_fields(fields), m_itemPath(itemPath), m_errorBox(errorBox)
    {}
    const char *raw(int field)
    {
        if (!m_read[field]) {
            m_read[field] = true;
            const char *value = m_item.value(field);
            m_values[field] = value ? value : "";
            if (!value && m_errorBox)
                m_errorBox(m_itemPath + QString::number(m_item.position) + QStringLiteral(": ") +
                           QString::fromLatin1(m_fields[field].attribute) + IoTexts::NotExist);
        }
        return m_values[field];
    }
    QString text(int field) { return QString::fromUtf8(raw(field)); }
    // Content as it is stored: every line feed becomes CR LF.
    QString content(int field)
    {
        QString value = text(field);
        if (value.contains(QLatin1Char('\n')))
            value.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        return value;
    }
    const char *column(int field) const { return m_fields[field].column; }

private:
    const ItemStream::Item &m_item;
    const Field *m_fields;
    const QString &m_itemPath;
    const MessageSink &m_errorBox;
    bool m_read[kMaxFields] = {};
    const char *m_values[kMaxFields] = {};
};

// The attribute names of a kind of item, for the stream.
template <size_t N> QList<QByteArray> attributeNames(const Field (&fields)[N])
{
    QList<QByteArray> names;
    for (const Field &field : fields)
        names.append(QByteArray(field.attribute));
    return names;
}

// Flags: "True", "False" or any non-empty beginning of either, in any letter case. Empty
// text stores false: the column cannot hold no value.
bool toFlag(const char *text, const char *column)
{
    const size_t length = std::strlen(text);
    auto beginsWord = [&](const char *word) {
        if (length > std::strlen(word))
            return false;
        for (size_t i = 0; i < length; ++i) {
            if (std::tolower(static_cast<unsigned char>(text[i])) != word[i])
                return false;
        }
        return true;
    };
    if (length == 0)
        return false;
    if (beginsWord("true"))
        return true;
    if (beginsWord("false"))
        return false;
    throw TasklumeError(
        IoTexts::InvalidBoolean.arg(QString::fromUtf8(text), QString::fromLatin1(column)));
}

// Colours: decimal integer text within 32 bits; empty text is no value.
std::optional<qint32> toColour(const char *text, const char *column)
{
    if (*text == '\0')
        return std::nullopt;
    const char *s = text;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        ++s;
    qint64 value = 0;
    bool valid = *s != '\0';
    for (; valid && *s; ++s) {
        if (*s < '0' || *s > '9' || value > (qint64(1) << 32))
            valid = false;
        else
            value = value * 10 + (*s - '0');
    }
    if (negative)
        value = -value;
    if (!valid || value < std::numeric_limits<qint32>::min() ||
        value > std::numeric_limits<qint32>::max())
        throw TasklumeError(
            IoTexts::InvalidInteger.arg(QString::fromUtf8(text), QString::fromLatin1(column)));
    return qint32(value);
}

class Run
{
public:
    Run(QSqlDatabase db, const QString &fileName, const MessageSink &errorBox)
        : m_db(db), m_fileName(fileName), m_errorBox(errorBox)
    {}

    // The opening steps: load the file and check "app". False when the run ends here.
    bool open()
    {
        if (!m_stream.open(m_fileName)) {
            show(IoTexts::ReadFailure);
            m_result.outcome = Outcome::ReadFailure;
            return false;
        }
        if (!m_stream.app())
            show(kRootPath + QStringLiteral(": app") + IoTexts::NotExist);
        const QString app = m_stream.app().value_or(QString());
        if (app != IoTexts::AppTag) {
            show(IoTexts::DataMismatch + app + IoTexts::AppTag);
            m_result.outcome = Outcome::Mismatch;
            return false;
        }
        return true;
    }

    // Runs the sections inside one transaction, committed however the run ends.
    template <class Body> RunResult run(Body &&body)
    {
        const bool transaction = m_db.transaction();
        QString failure;
        try {
            m_result.outcome = body() ? Outcome::Completed : Outcome::Aborted;
            finishSection();
        } catch (const std::exception &error) {
            const auto *own = dynamic_cast<const TasklumeError *>(&error);
            failure = own ? own->text() : QString::fromLocal8Bit(error.what());
            m_result.outcome = Outcome::Failed;
            try {
                finishSection(); // the children stored before the failure
            } catch (const std::exception &) {
            }
        }
        return commit(transaction, failure);
    }

    // A section for runInOnePass(): its name, the fields of its items, what starts it and
    // what stores each item.
    struct Section
    {
        const char *name;
        const Field *fields;
        QList<QByteArray> names;
        const QString &itemPath;
        std::function<void()> begin;
        std::function<void(ItemTexts &)> each;
    };

    // The usual run in one pass over the file, storing the items as they come in the order
    // of the file, inside a transaction. It holds only for a readable file of this program
    // with both sections, whose every item is stored without a remark, an error or a
    // question: then the stored rows, the result and the messages are those of open() and
    // run(), which read the file once to check it and then once per section. On anything
    // else everything stored is rolled back and it returns false, and the caller starts over
    // with open() and run() on the database as it was.
    bool runInOnePass(std::initializer_list<Section> sections)
    {
        if (!m_db.transaction())
            return false;
        m_onePass = true;
        QList<ItemStream::Section> read;
        for (const Section &section : sections) {
            ItemStream::Section one;
            one.name = section.name;
            one.attributes = section.names;
            one.begin = section.begin;
            one.item = [&](const ItemStream::Item &item) {
                ItemTexts texts(item, section.fields, section.itemPath, m_deviation);
                section.each(texts);
                return true;
            };
            read.append(std::move(one));
        }
        bool done = false;
        try {
            done = m_stream.readAll(
                m_fileName,
                [](const std::optional<QString> &app) { return app == IoTexts::AppTag; }, read);
            for (const ItemStream::Section &section : read)
                done = done && section.found;
            if (done)
                finishSection();
        } catch (const Deviation &) {
            done = false;
        } catch (const std::exception &) {
            done = false;
        }
        m_onePass = false;
        if (!done) {
            m_db.rollback();
            return false;
        }
        m_result.outcome = Outcome::Completed;
        commit(true);
        return true;
    }
    bool onePass() const { return m_onePass; }

    // Thrown within runInOnePass() where the checked run would take another way.
    struct Deviation
    {};

    TDateTime time(ItemTexts &texts, int field)
    {
        const char *text = texts.raw(field);
        const std::optional<TDateTime> value =
            ParseXmlDateTime(text, qsizetype(std::strlen(text)), m_offsets);
        if (!value)
            throw TasklumeError(IoTexts::InvalidDateTime.arg(
                QString::fromUtf8(text), QString::fromLatin1(texts.column(field))));
        return *value;
    }

    std::optional<TDateTime> timeOrNothing(ItemTexts &texts, int field)
    {
        const char *text = texts.raw(field);
        return ParseXmlDateTime(text, qsizetype(std::strlen(text)), m_offsets);
    }

    // Calls each(texts) for every item of the section in order until it returns false.
    // False when it was stopped that way.
    template <class Each>
    bool eachItem(const char *section, const Field *fields, const QList<QByteArray> &names,
                  const QString &itemPath, Each &&each)
    {
        bool stopped = false;
        const bool read = m_stream.readSection(section, names, [&](const ItemStream::Item &item) {
            ItemTexts texts(item, fields, itemPath, m_errorBox);
            stopped = !each(texts);
            return !stopped;
        });
        if (!read) // the file changed since it was opened
            throw TasklumeError(IoTexts::ReadFailure);
        return !stopped;
    }

    void show(const QString &text) const
    {
        if (m_errorBox)
            m_errorBox(text);
    }

    // The end of every run: the remark on reserved keys, then the commit, then the failure
    // that ended the run, if one did (the last message). When the engine gave the transaction
    // up (a full disk) or the commit fails, nothing of the file is stored, and the failure
    // says so.
    RunResult &commit(bool transaction, const QString &failure = {})
    {
        if (m_result.rekeyed > 0)
            show(IoTexts::ReservedKeys.arg(m_result.rekeyed));
        if (!transaction || (EngineInTransaction(m_db.driver()) && m_db.commit())) {
            if (!failure.isEmpty())
                show(failure);
            return m_result;
        }
        QString text = failure;
        if (EngineInTransaction(m_db.driver())) {
            const QString commitError = EngineErrorText(m_db.driver(), m_db.lastError());
            text = text.isEmpty() ? commitError : text + QLatin1Char('\n') + commitError;
        }
        m_db.rollback();
        m_result.outcome = Outcome::Failed;
        m_result.added = m_result.replaced = m_result.kept = m_result.promoted = 0;
        m_result.rekeyed = 0;
        m_result.nothingStored = true;
        show(text.isEmpty() ? IoTexts::NothingStored
                            : text + QLatin1Char('\n') + IoTexts::NothingStored);
        return m_result;
    }

    // Import: the identifier map of one section, old identifiers to new ones.
    void startSection(ItemStatements *statements)
    {
        finishSection();
        m_statements = statements;
        m_map.clear();
        m_children.clear();
    }
    QString mapped(const QString &oldKey) { return entry(oldKey).key; }
    // The new key of a top-level item, from its key as the file gives it: a second item with
    // the same key would get the same new key, so the file is named with the key instead.
    QString takeTopKey(const QString &oldKey, const QString &kind)
    {
        Mapped &mapped = entry(oldKey);
        if (mapped.top)
            throw TasklumeError(
                IoTexts::RepeatedKey.arg(QDir::toNativeSeparators(m_fileName), kind, oldKey));
        mapped.top = true;
        return mapped.key;
    }
    // Restore: an item whose key is reserved ("root", empty) gets a fresh key. The rows whose
    // parent is the empty key follow the first item that had it; "root" as a parent stays
    // the top level.
    QString freshKey(const QString &reserved)
    {
        ++m_result.rekeyed;
        const QString fresh = NewRowKey();
        if (reserved.isEmpty() && m_emptyKey.isEmpty())
            m_emptyKey = fresh;
        return fresh;
    }
    QString restoredParent(const QString &pid)
    {
        if (!pid.isEmpty())
            return pid;
        if (m_emptyKey.isEmpty())
            m_emptyKey = NewRowKey();
        return m_emptyKey;
    }
    void newSection() { m_emptyKey.clear(); }
    // A child stored under its new key, with its parent's key as the file gives it.
    void addedChild(const QString &key, const QString &oldPid)
    {
        m_children.emplace_back(key, oldPid);
    }

    // An imported child whose parent did not come with it would never be shown: it becomes
    // a top-level item.
    void finishSection()
    {
        if (!m_statements)
            return;
        ItemStatements *statements = m_statements;
        m_statements = nullptr;
        for (const auto &[key, oldPid] : m_children) {
            if (!m_map.value(oldPid).top) {
                statements->updateParent(key, Texts::RootKey);
                ++m_result.promoted;
            }
        }
        m_children.clear();
    }

    QSqlDatabase m_db;
    const QString &m_fileName;
    const MessageSink &m_errorBox;
    ItemStream m_stream;
    LocalOffsets m_offsets;
    RunResult m_result;
    ItemStatements *m_statements = nullptr;
    // Import: each identifier of the file met in the section, with its new key and whether a
    // top-level item had it.
    struct Mapped
    {
        QString key;
        bool top = false;
    };
    Mapped &entry(const QString &oldKey)
    {
        Mapped &mapped = m_map[oldKey]; // a fresh key is never empty
        if (mapped.key.isEmpty())
            mapped.key = NewRowKey();
        return mapped;
    }
    QHash<QString, Mapped> m_map;
    std::vector<std::pair<QString, QString>> m_children; // new key, the file's parent key
    QString m_emptyKey;
    bool m_onePass = false;
    // A remark on an item cannot be shown during one pass: the run starts over.
    const MessageSink m_deviation = [](const QString &) { throw Deviation(); };
};

// The stored row's text and edit time, read for the question.
struct StoredRow
{
    QString content;
    TDateTime editTime = 0;
};

std::optional<StoredRow> findRow(ItemStatements &statements, const QString &key)
{
    QSqlQuery &query = statements.selectByKey(key);
    std::optional<StoredRow> row;
    if (query.next()) {
        const QSqlRecord record = query.record();
        row = StoredRow{record.value(QStringLiteral("content")).toString(),
                        record.value(QStringLiteral("editTime")).toDouble()};
    }
    checkQuery(query);
    query.finish();
    return row;
}

TMemoInfo memoRow(Run &run, ItemTexts &texts)
{
    TMemoInfo memo;
    memo.content = texts.content(MemoContent);
    memo.assignTime = run.time(texts, MemoAssign);
    memo.createTime = run.time(texts, MemoCreate);
    memo.editTime = run.time(texts, MemoEdit);
    return memo;
}

struct TaskRow
{
    TTaskInfo task;
    bool noTextColor = false;
    bool noBackgroundColor = false;
};

TaskRow taskRow(Run &run, ItemTexts &texts)
{
    TaskRow row;
    TTaskInfo &task = row.task;
    task.content = texts.content(TaskContent);
    task.checkFlag = toFlag(texts.raw(TaskCheck), texts.column(TaskCheck));
    task.alarmFlag = toFlag(texts.raw(TaskAlarm), texts.column(TaskAlarm));
    task.dueFlag = toFlag(texts.raw(TaskDue), texts.column(TaskDue));
    const std::optional<qint32> textColor =
        toColour(texts.raw(TaskTextColor), texts.column(TaskTextColor));
    const std::optional<qint32> backColor =
        toColour(texts.raw(TaskBackColor), texts.column(TaskBackColor));
    row.noTextColor = !textColor;
    row.noBackgroundColor = !backColor;
    task.textColor = textColor.value_or(0);
    task.backgroundColor = backColor.value_or(0);
    task.createTime = run.time(texts, TaskCreate);
    task.editTime = run.time(texts, TaskEdit);
    task.checkTime = run.time(texts, TaskCheckTime);
    task.alarmTime = run.time(texts, TaskAlarmTime);
    task.dueTime = run.time(texts, TaskDueTime);
    return row;
}

// Whether a file's key cannot be stored as it stands: empty, or the parent key of the top
// level.
bool isReservedKey(const QString &key)
{
    return key.isEmpty() || key == Texts::RootKey;
}

// The restore of one item. False when the user chose Abort.
template <class Store>
bool restoreItem(Run &run, ItemStatements &statements, ReplaceAsker &asker, bool &all,
                 ItemTexts &texts, int contentField, int editField, const QString &kind,
                 Store &&store)
{
    QString key = texts.text(0);
    std::optional<StoredRow> stored;
    if (isReservedKey(key))
        key = run.freshKey(key); // never stored; always a new item
    else if (!run.onePass() || !statements.keyIsUnique())
        stored = findRow(statements, key);
    // Otherwise a key already stored is found by the insert, which the table refuses: the
    // run then starts over and asks.
    if (stored && !all) {
        if (run.onePass())
            throw Run::Deviation(); // the question waits until the file has been checked
        ReplaceQuestion question;
        question.kind = kind;
        question.storedContent = stored->content;
        question.storedEditTime = stored->editTime;
        question.fileContent = texts.content(contentField);
        question.fileEditTimeText = texts.text(editField);
        question.fileEditTime = run.timeOrNothing(texts, editField);
        switch (asker.ask(question)) {
        case Answer::Yes:
            break;
        case Answer::All:
            all = true;
            break;
        case Answer::No:
            ++run.m_result.kept;
            return true;
        case Answer::Abort:
            return false;
        }
    }
    store(texts, key, stored.has_value());
    ++(stored ? run.m_result.replaced : run.m_result.added);
    return true;
}

} // namespace

QString FileVersionText()
{
    return ProgramVersion();
}

QByteArray SkeletonText()
{
    return QByteArrayLiteral("<ploxen app=\"\" appversion=\"\" dataversion=\"1.1\" time=\"\">\r"
                             "  <tasks/>\r"
                             "  <memos/>\r"
                             "  <notes/>\r"
                             "  <peers/>\r"
                             "</ploxen>");
}

bool WriteDatabaseFile(QSqlDatabase db, const QString &fileName, const QString &appVersion,
                       int *changedTexts)
{
    // The root comes from the skeleton as for every writer; the items are written as text
    // straight from the tables into the compressor, so that a large database needs neither
    // a document tree nor the whole text in memory.
    Txmltry xml(nullptr);
    buildRoot(xml, appVersion);
    const pugi::xml_node root = xml.findNode(kRootPath);

    SafeFile file(fileName);
    if (!file.open())
        return false;
    WyxContainer::Writer container(file.device());
    if (!container.begin())
        return false;
    TextStream out(container);
    out.raw("<?xml version=\"1.0\"?><");
    out.raw(root.name());
    for (const pugi::xml_attribute attribute : root.attributes())
        out.attribute(attribute.name(), QByteArrayView(attribute.value()));
    out.raw(">");
    for (const pugi::xml_node section : root.children()) {
        const QByteArrayView name(section.name());
        if (name == "memos")
            writeMemoRows(out, db);
        else if (name == "tasks")
            writeTaskRows(out, db);
        else
            out.emptyElement(section.name());
    }
    out.raw("</");
    out.raw(root.name());
    out.raw(">");
    if (!out.flush() || !container.finish())
        return false;
    if (changedTexts)
        *changedTexts = out.changedTexts();
    return file.commit();
}

QString ChangedTextsText(int changedTexts)
{
    return QStringLiteral("%1 text(s) held characters a backup file cannot carry (bytes that "
                          "are not UTF-8, control characters): they were written with those "
                          "characters replaced by U+FFFD or left out.")
        .arg(changedTexts);
}

Outcome ProbeFile(const QString &fileName, QString *app)
{
    // A file in the plain form the program writes is read without the parser; any other
    // is checked by the parser.
    ItemStream stream;
    std::optional<QString> found;
    QList<ItemStream::Section> noSections;
    const auto root = [&](const std::optional<QString> &value) {
        found = value;
        return true;
    };
    if (!stream.readAll(fileName, root, noSections)) {
        if (!stream.open(fileName))
            return Outcome::ReadFailure;
        found = stream.app();
    }
    const QString value = found.value_or(QString());
    if (app)
        *app = value;
    return value == IoTexts::AppTag ? Outcome::Completed : Outcome::Mismatch;
}

RunResult RestoreFile(QSqlDatabase db, const QString &fileName, ReplaceAsker &asker,
                      const MessageSink &errorBox)
{
    MemoStatements memos(db);
    TaskStatements tasks(db);
    bool all = false; // covers memos and tasks of this run
    auto memo = [&](Run &run, ItemTexts &texts) {
        return restoreItem(run, memos, asker, all, texts, MemoContent, MemoEdit, IoTexts::KindMemo,
                           [&](ItemTexts &texts, const QString &key, bool exists) {
                               const QString pid = run.restoredParent(texts.text(MemoPid));
                               TMemoInfo memo = memoRow(run, texts);
                               memo.key = key;
                               memo.pid = pid;
                               if (exists)
                                   memos.updateFull(memo);
                               else
                                   memos.insertFull(memo);
                           });
    };
    auto task = [&](Run &run, ItemTexts &texts) {
        return restoreItem(
            run, tasks, asker, all, texts, TaskContent, TaskEdit, IoTexts::KindTask,
            [&](ItemTexts &texts, const QString &key, bool exists) {
                const QString pid = run.restoredParent(texts.text(TaskPid));
                TaskRow row = taskRow(run, texts);
                row.task.key = key;
                row.task.pid = pid;
                if (exists)
                    tasks.updateFull(row.task, row.noTextColor, row.noBackgroundColor);
                else
                    tasks.insertFull(row.task, row.noTextColor, row.noBackgroundColor);
            });
    };
    {
        Run run(db, fileName, errorBox);
        if (run.runInOnePass(
                {{"memos", kMemoFields, attributeNames(kMemoFields), kMemoItemPath,
                  [&] { run.newSection(); }, [&](ItemTexts &texts) { memo(run, texts); }},
                 {"tasks", kTaskFields, attributeNames(kTaskFields), kTaskItemPath,
                  [&] { run.newSection(); }, [&](ItemTexts &texts) { task(run, texts); }}}))
            return run.m_result;
    }
    Run run(db, fileName, errorBox);
    if (!run.open())
        return run.m_result;
    return run.run([&] {
        const auto each = [&](auto &item) {
            return [&](ItemTexts &texts) { return item(run, texts); };
        };
        if (!run.eachItem("memos", kMemoFields, attributeNames(kMemoFields), kMemoItemPath,
                          each(memo)))
            return false;
        run.newSection();
        return run.eachItem("tasks", kTaskFields, attributeNames(kTaskFields), kTaskItemPath,
                            each(task));
    });
}

RunResult ImportFile(QSqlDatabase db, const QString &fileName, const MessageSink &errorBox)
{
    MemoStatements memos(db);
    TaskStatements tasks(db);

    // Steps 2 to 4 of an item: its new identifier and parent. Returns the file's parent key.
    auto identify = [&](Run &run, ItemTexts &texts, int keyField, int pidField, ItemInfo &info,
                        const QString &kind) {
        const QString pid = texts.text(pidField);
        if (pid == Texts::RootKey) {
            const QString key = texts.text(keyField);
            info.key = run.takeTopKey(key, kind);
            if (isReservedKey(key))
                ++run.m_result.rekeyed; // it gets a fresh key as every imported item
            info.pid = Texts::RootKey;
        } else {
            info.pid = run.mapped(pid);
            info.key = NewRowKey();
        }
        return pid;
    };
    auto added = [&](Run &run, const ItemInfo &info, const QString &oldPid) {
        if (info.pid != Texts::RootKey)
            run.addedChild(info.key, oldPid);
        ++run.m_result.added;
    };
    auto memo = [&](Run &run, ItemTexts &texts) {
        TMemoInfo identity;
        const QString oldPid = identify(run, texts, MemoKey, MemoPid, identity, IoTexts::KindMemo);
        TMemoInfo memo = memoRow(run, texts);
        memo.key = identity.key;
        memo.pid = identity.pid;
        memos.insertFull(memo);
        added(run, memo, oldPid);
        return true;
    };
    auto task = [&](Run &run, ItemTexts &texts) {
        TTaskInfo identity;
        const QString oldPid = identify(run, texts, TaskKey, TaskPid, identity, IoTexts::KindTask);
        TaskRow row = taskRow(run, texts);
        row.task.key = identity.key;
        row.task.pid = identity.pid;
        tasks.insertFull(row.task, row.noTextColor, row.noBackgroundColor);
        added(run, row.task, oldPid);
        return true;
    };
    {
        Run run(db, fileName, errorBox);
        if (run.runInOnePass(
                {{"memos", kMemoFields, attributeNames(kMemoFields), kMemoItemPath,
                  [&] { run.startSection(&memos); }, [&](ItemTexts &texts) { memo(run, texts); }},
                 {"tasks", kTaskFields, attributeNames(kTaskFields), kTaskItemPath,
                  [&] { run.startSection(&tasks); }, [&](ItemTexts &texts) { task(run, texts); }}}))
            return run.m_result;
    }
    Run run(db, fileName, errorBox);
    if (!run.open())
        return run.m_result;
    return run.run([&] {
        run.startSection(&memos);
        run.eachItem("memos", kMemoFields, attributeNames(kMemoFields), kMemoItemPath,
                     [&](ItemTexts &texts) { return memo(run, texts); });
        run.startSection(&tasks);
        run.eachItem("tasks", kTaskFields, attributeNames(kTaskFields), kTaskItemPath,
                     [&](ItemTexts &texts) { return task(run, texts); });
        return true;
    });
}

} // namespace Interchange

namespace {
void appendMemo(Interchange::ItemWriter &writer, const TMemoInfo &memo, const QString &pid)
{
    writer.memo(memo, pid);
}
void appendTask(Interchange::ItemWriter &writer, const TTaskInfo &task, const QString &pid)
{
    writer.task(task, pid, task.textColor, task.backgroundColor);
}
} // namespace

bool WriteTasksFile(const QString &fileName, const QList<ItemNode *> &selected,
                    const Interchange::MessageSink &errorBox)
{
    return Interchange::writeSelection<TTaskInfo>(fileName, selected, errorBox,
                                                  Interchange::kTasksPath, appendTask);
}

bool WriteMemosFile(const QString &fileName, const QList<ItemNode *> &selected,
                    const Interchange::MessageSink &errorBox)
{
    return Interchange::writeSelection<TMemoInfo>(fileName, selected, errorBox,
                                                  Interchange::kMemosPath, appendMemo);
}
