// A bounded fuzz run of the interchange readers: seed documents are mutated at the XML level
// (then packed with a true length) and at the container level (bytes, length field, cuts),
// and every result goes through a restore or an import into a small database. Meant to run
// under AddressSanitizer and UndefinedBehaviorSanitizer; a finding is a crash, a sanitizer
// report, or a refused file that changed the database.
//
// TASKLUME_FUZZ_SECONDS (default 20) bounds the run; TASKLUME_FUZZ_SEED picks the sequence
// (default 1). A failure prints the seed and iteration and leaves the input in the
// temporary folder it names.
#include "interchange/Interchange.h"
#include "interchange/WyxContainer.h"
#include "IoFixture.h"
#include "storage/Statements.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <pugixml.hpp>

#include <cctype>
#include <cstring>

using namespace IoFixture;
using Interchange::Answer;
using Interchange::Outcome;

namespace {

const char *const kTokens[] = {
    "<",
    ">",
    "/>",
    "\"",
    "'",
    "&",
    "&amp;",
    "&#10;",
    "&#0;",
    "&#x110000;",
    "&#xD800;",
    "&lol;",
    "=",
    " ",
    "\n",
    "\r",
    "\t",
    "<!--x-->",
    "<![CDATA[x]]>",
    "<?pi x?>",
    "<!DOCTYPE ploxen [<!ENTITY a \"aaaa\">]>",
    "<task ",
    "<memo ",
    "</tasks>",
    "</memos>",
    "<tasks>",
    "<memos>",
    "pid=\"root\" ",
    "tid=\"T1\" ",
    "mid=\"M1\" ",
    "pid=\"T1\" ",
    "pid=\"M1\" ",
    "Tasklume",
    "tasklume",
    "True",
    "False",
    "t",
    "fal",
    "-",
    "+",
    "2147483648",
    "-2147483649",
    "0xFF",
    "007",
    "1899-12-30T00:00:00.000Z",
    "2024-02-29T23:59:59.999+14:00",
    "9999-12-31T23:59:59.000-23:59",
    "0001-01-01T00:00:00Z",
    "2024-13-01T00:00:00Z",
    "2024-03-31T02:30:00.000+01:00",
    "\xff",
    "\xc0\x80",
    "\xed\xa0\x80",
    "\xf4\x90\x80\x80",
    "\xe2\x82",
    "\xef\xbb\xbf",
    "#",
    ",",
    "task#",
    "ploxen",
    "\0",
};

class RandomAsker : public Interchange::ReplaceAsker
{
public:
    explicit RandomAsker(QRandomGenerator &rng) : m_rng(rng) {}
    Answer ask(const Interchange::ReplaceQuestion &) override
    {
        const quint32 roll = m_rng.bounded(20);
        return roll == 0   ? Answer::Abort
               : roll < 4  ? Answer::All
               : roll < 12 ? Answer::Yes
                           : Answer::No;
    }

private:
    QRandomGenerator &m_rng;
};

QByteArray seedBackup(const TestDb &db)
{
    db.exec(QStringLiteral(
        "insert into tasks (tid, pid, content, checkFlag, dueFlag, alarmFlag, textColor, "
        "backgroundColor, createTime, editTime, checkTime, alarmTime, dueTime) values "
        "('T1', 'root', 'a <b> & \"c\"' || char(13) || char(10) || 'd', 1, 0, 1, -16777201, "
        "null, 45000.1, 45000.2, null, 45001.75, 45002), "
        "('T2', 'T1', 'child', 0, 1, 0, 0, 255, 45000.1, 45000.2, 45000.3, null, null)"));
    db.exec(QStringLiteral("insert into memos (mid, pid, content, assignTime, createTime, "
                           "editTime) values ('M1', 'root', 'memo \u00e9', null, 44000, 44000.5), "
                           "('M2', 'M1', '', 44000, 44000, 44000)"));
    const QString path = db.file(QStringLiteral("seed.wyx"));
    if (!Interchange::WriteDatabaseFile(db.db(), path))
        qFatal("cannot write the seed");
    QByteArray text;
    WyxContainer::readFile(path, text);
    return text;
}

QByteArray mutateText(QByteArray text, const QList<QByteArray> &seeds, QRandomGenerator &rng)
{
    const int steps = 1 + int(rng.bounded(4));
    for (int s = 0; s < steps; ++s) {
        const qsizetype size = text.size();
        const qsizetype at = size ? qsizetype(rng.bounded(quint32(size + 1))) : 0;
        switch (rng.bounded(7)) {
        case 0: // flip a byte
            if (size)
                text[at % size] = char(text.at(at % size) ^ char(1 << rng.bounded(8)));
            break;
        case 1: { // insert a token
            const char *token = kTokens[rng.bounded(int(std::size(kTokens)))];
            text.insert(at, token, qsizetype(*token ? std::strlen(token) : 1));
            break;
        }
        case 2: // delete a range
            text.remove(at, qsizetype(rng.bounded(40)));
            break;
        case 3: { // duplicate a range (more items, repeated attributes)
            const QByteArray piece = text.mid(at, qsizetype(rng.bounded(300)));
            text.insert(qsizetype(rng.bounded(quint32(text.size() + 1))), piece);
            break;
        }
        case 4: { // splice in a piece of another seed
            const QByteArray &other = seeds.at(qsizetype(rng.bounded(quint32(seeds.size()))));
            const qsizetype from = qsizetype(rng.bounded(quint32(other.size() + 1)));
            text.insert(at, other.mid(from, qsizetype(rng.bounded(200))));
            break;
        }
        case 5: // a random byte
            text.insert(at, char(rng.bounded(256)));
            break;
        default: // cut the end off
            text.truncate(at);
            break;
        }
    }
    return text;
}

class StringSink : public pugi::xml_writer
{
public:
    void write(const void *data, size_t size) override
    {
        text.append(static_cast<const char *>(data), qsizetype(size));
    }
    QByteArray text;
};

// Well-formed mutations that reach the readers' value handling: attribute values replaced,
// dropped or added, items copied, moved or renamed, sections emptied.
QByteArray mutateItems(const QByteArray &text, QRandomGenerator &rng)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(text.constData(), size_t(text.size())))
        return text;
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node section : doc.document_element().children()) {
        for (pugi::xml_node item : section.children())
            items.push_back(item);
    }
    const int steps = 1 + int(rng.bounded(3));
    for (int s = 0; s < steps && !items.empty(); ++s) {
        pugi::xml_node item = items[rng.bounded(quint32(items.size()))];
        std::vector<pugi::xml_attribute> attributes;
        for (pugi::xml_attribute a : item.attributes())
            attributes.push_back(a);
        const char *token = kTokens[rng.bounded(int(std::size(kTokens)))];
        switch (rng.bounded(8)) {
        case 0:
        case 1:
        case 2: // a value replaced by a token, possibly glued to the old value
            if (!attributes.empty()) {
                pugi::xml_attribute a = attributes[rng.bounded(quint32(attributes.size()))];
                const std::string old = a.value();
                a.set_value(
                    rng.bounded(2)
                        ? token
                        : (old.substr(0, rng.bounded(quint32(old.size() + 1))) + token).c_str());
            }
            break;
        case 3: // an attribute dropped
            if (!attributes.empty())
                item.remove_attribute(attributes[rng.bounded(quint32(attributes.size()))]);
            break;
        case 4: // an item copied somewhere in its section or the other one
            items.push_back(item.parent().insert_copy_after(item, item));
            break;
        case 5: // an item renamed or moved to the other section
            if (rng.bounded(2))
                item.set_name(
                    token[0] && std::isalpha(static_cast<unsigned char>(token[0])) ? "item" : "x");
            else if (pugi::xml_node other = item.parent().next_sibling()
                                                ? item.parent().next_sibling()
                                                : item.parent().previous_sibling())
                other.append_move(item);
            break;
        case 6: // the pid of one item set to the key of another
            item.attribute("pid").set_value(
                items[rng.bounded(quint32(items.size()))].first_attribute().value());
            break;
        default: // the root's app changed
            doc.document_element().attribute("app").set_value(rng.bounded(4) ? "Tasklume" : token);
            break;
        }
    }
    StringSink sink;
    doc.save(sink, "", rng.bounded(2) ? pugi::format_raw : pugi::format_default,
             pugi::encoding_utf8);
    return sink.text;
}

QByteArray mutateContainer(QByteArray file, QRandomGenerator &rng)
{
    switch (rng.bounded(5)) {
    case 0: { // lie in the length field
        quint64 length = 0;
        for (int i = 7; i >= 0; --i)
            length = (length << 8) | quint8(file.at(i));
        const quint64 lies[] = {length + 1,
                                length - 1,
                                length * 2,
                                0,
                                ~quint64(0),
                                quint64(1) << 40,
                                WyxContainer::MaxTextSize,
                                length + rng.bounded(1000)};
        length = lies[rng.bounded(int(std::size(lies)))];
        for (int i = 0; i < 8; ++i)
            file[i] = char(length >> (8 * i));
        break;
    }
    case 1: // flip bytes in the stream
        for (int i = 0, n = 1 + int(rng.bounded(4)); i < n && file.size() > 8; ++i) {
            const qsizetype at = 8 + qsizetype(rng.bounded(quint32(file.size() - 8)));
            file[at] = char(file.at(at) ^ char(1 << rng.bounded(8)));
        }
        break;
    case 2: // cut
        file.truncate(qsizetype(rng.bounded(quint32(file.size() + 1))));
        break;
    case 3: // something after the stream
        file.append(QByteArray(1 + int(rng.bounded(16)), char(rng.bounded(256))));
        break;
    default: // a stored (uncompressed) deflate block of the raw bytes, or noise
        file = file.left(8) + QByteArray(int(rng.bounded(64)), char(rng.bounded(256)));
        break;
    }
    return file;
}

QByteArray fingerprint(const TestDb &db)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString &table : {QStringLiteral("tasks"), QStringLiteral("memos")}) {
        for (const QVariantMap &row : db.rows(table)) {
            for (auto it = row.cbegin(); it != row.cend(); ++it)
                hash.addData(
                    (it.key() + QLatin1Char('=') + it.value().toString() + QLatin1Char(';'))
                        .toUtf8());
        }
    }
    return hash.result();
}

} // namespace

class FuzzReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fuzz();
};

void FuzzReader::fuzz()
{
    const int seconds = qEnvironmentVariableIsSet("TASKLUME_FUZZ_SECONDS")
                            ? qEnvironmentVariableIntValue("TASKLUME_FUZZ_SECONDS")
                            : 20;
    const quint32 seed = qEnvironmentVariableIsSet("TASKLUME_FUZZ_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TASKLUME_FUZZ_SEED"))
                             : 1;
    QRandomGenerator rng(seed);

    TestDb db(true);
    QList<QByteArray> seeds{seedBackup(db)};
    seeds << document(memo(QStringLiteral("M1"), QStringLiteral("root")) +
                          memo(QStringLiteral("C"), QStringLiteral("M1")) +
                          memo(QStringLiteral("O"), QStringLiteral("nowhere")),
                      task(QStringLiteral("T1"), QStringLiteral("root")) +
                          task(QStringLiteral("T3"), QStringLiteral("T9")) +
                          task(QStringLiteral("T9"), QStringLiteral("root")));
    seeds << document({}, task(QStringLiteral("T1"), QStringLiteral("root"),
                               {QStringLiteral("-content"), QStringLiteral("check-flag="),
                                QStringLiteral("text-color=")}));
    const QByteArray baseline = fingerprint(db);
    const QString path = db.file(QStringLiteral("fuzz.wyx"));

    QElapsedTimer clock;
    clock.start();
    qint64 iterations = 0;
    qint64 onePasses = 0; // inputs the one pass read to their end
    QHash<int, int> outcomes;
    while (clock.elapsed() < qint64(seconds) * 1000) {
        ++iterations;
        const QByteArray &base = seeds.at(qsizetype(rng.bounded(quint32(seeds.size()))));
        QByteArray file;
        switch (rng.bounded(8)) {
        case 0:
        case 1:
        case 2:
        case 3:
            file = WyxContainer::encode(mutateItems(base, rng));
            break;
        case 4:
        case 5:
            file = WyxContainer::encode(mutateText(base, seeds, rng));
            break;
        case 6:
            file = WyxContainer::encode(mutateText(mutateItems(base, rng), seeds, rng));
            break;
        default:
            file = mutateContainer(WyxContainer::encode(base), rng);
            break;
        }
        {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(file);
        }
        bool onePass = false;
        const QString difference = onePassDifference(path, &onePass);
        if (!difference.isEmpty()) {
            QFile::copy(path, db.file(QStringLiteral("finding.wyx")));
            QFAIL(qPrintable(QStringLiteral("seed %1 iteration %2: the one pass read otherwise "
                                            "than the checked reading (input kept as %3): %4")
                                 .arg(seed)
                                 .arg(iterations)
                                 .arg(db.file(QStringLiteral("finding.wyx")), difference)));
        }
        onePasses += onePass ? 1 : 0;
        Messages messages;
        RandomAsker asker(rng);
        const bool import = rng.bounded(2) == 0;
        const Interchange::RunResult result =
            import ? Interchange::ImportFile(db.db(), path, messages.sink())
                   : Interchange::RestoreFile(db.db(), path, asker, messages.sink());
        ++outcomes[int(result.outcome)];
        const QByteArray after = fingerprint(db);
        const bool refused =
            result.outcome == Outcome::ReadFailure || result.outcome == Outcome::Mismatch;
        if (refused && after != baseline) {
            QFile::copy(path, db.file(QStringLiteral("finding.wyx")));
            QFAIL(qPrintable(QStringLiteral("seed %1 iteration %2: a refused file changed the "
                                            "database (input kept as %3)")
                                 .arg(seed)
                                 .arg(iterations)
                                 .arg(db.file(QStringLiteral("finding.wyx")))));
        }
        if (refused && messages.shown.isEmpty()) {
            QFAIL(qPrintable(QStringLiteral("seed %1 iteration %2: refused without a message")
                                 .arg(seed)
                                 .arg(iterations)));
        }
        // Whatever happened, the connection is outside a transaction afterwards.
        QVERIFY2(db.db().transaction(), qPrintable(db.db().lastError().text()));
        QVERIFY(db.db().rollback());
        if (after != baseline) {
            // Back to the seeded rows for the next run.
            db.exec(QStringLiteral("delete from tasks where tid not in ('T1', 'T2')"));
            db.exec(QStringLiteral("delete from memos where mid not in ('M1', 'M2')"));
            if (fingerprint(db) != baseline) {
                db.exec(QStringLiteral("delete from tasks"));
                db.exec(QStringLiteral("delete from memos"));
                seedBackup(db);
            }
        }
    }
    qInfo("%lld inputs in %d s (%lld read in one pass): read failures %d, mismatches %d, "
          "completed %d, aborted %d, failed %d",
          iterations, seconds, onePasses, outcomes.value(int(Outcome::ReadFailure)),
          outcomes.value(int(Outcome::Mismatch)), outcomes.value(int(Outcome::Completed)),
          outcomes.value(int(Outcome::Aborted)), outcomes.value(int(Outcome::Failed)));
}

QTEST_GUILESS_MAIN(FuzzReader)
#include "fuzz_reader.moc"
