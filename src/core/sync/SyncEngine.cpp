#include "sync/SyncEngine.h"

#include "common/Texts.h"
#include "storage/Statements.h"
#include "sync/CalDavClient.h"
#include "sync/ICalendarMapping.h"

#include "common/EngineError.h"
#include "common/TasklumeError.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QEventLoop>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>
#include <optional>

#include <libical/ical.h>

namespace {

// What each list adds to the sync: its statements, its items in a calendar, how one item is
// written as an object, its own fields for the fingerprint and its component.
template <class Info> struct ListKind;

template <> struct ListKind<TTaskInfo>
{
    using Statements = TaskStatements;
    static const QList<TTaskInfo> &items(const ICalendarMapping::Calendar &calendar)
    {
        return calendar.tasks;
    }
    static QByteArray object(const TTaskInfo &task)
    {
        return ICalendarMapping::ToICalendar({task}, {});
    }
    static void ownFields(QDataStream &out, const TTaskInfo &task)
    {
        out << task.checkFlag << task.dueFlag << task.alarmFlag << task.textColor
            << task.backgroundColor << task.checkTime << task.alarmTime << task.dueTime;
    }
    static constexpr icalcomponent_kind component = ICAL_VTODO_COMPONENT;
    static constexpr const char *itemsName = "to-dos";
};

template <> struct ListKind<TMemoInfo>
{
    using Statements = MemoStatements;
    static const QList<TMemoInfo> &items(const ICalendarMapping::Calendar &calendar)
    {
        return calendar.memos;
    }
    static QByteArray object(const TMemoInfo &memo)
    {
        return ICalendarMapping::ToICalendar({}, {memo});
    }
    static void ownFields(QDataStream &out, const TMemoInfo &memo) { out << memo.assignTime; }
    static constexpr icalcomponent_kind component = ICAL_VJOURNAL_COMPONENT;
    static constexpr const char *itemsName = "journal entries";
};

// What the sync compares to tell whether an item changed: every stored field but the
// expanded flag of a child, which the tree does not keep.
template <class Info> QByteArray fingerprint(const Info &item)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const bool topLevel = item.pid == Texts::RootKey;
    out << QString(item.pid) << item.content << (topLevel && item.expandFlag) << item.createTime
        << item.editTime;
    ListKind<Info>::ownFields(out, item);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

// A text the database stores as a value, never as NULL: the empty token of a server that
// offers none, the missing ETag of an answer.
QString notNull(const QString &text)
{
    return text.isNull() ? QString(0, QChar()) : text;
}

// The first line of an item's text, short, to name it in a message.
QString itemName(const QString &content)
{
    QString line = content.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.size() > 60)
        line = line.left(57) + QStringLiteral("...");
    return line;
}

// Another program renamed a task by its SUMMARY alone and left the DESCRIPTION, which holds
// the whole text as this program wrote it: the object reads as the new title over the old
// text. The text here follows the new title instead.
template <class Info> void followTitle(Info &remote, const Info &here)
{
    const QString breakHere = QStringLiteral("\r\n");
    const qsizetype cut = remote.content.indexOf(breakHere);
    if (cut < 0)
        return;
    QString rest = remote.content.mid(cut + breakHere.size());
    QString before = here.content;
    before.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    rest.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (rest != before)
        return;
    const qsizetype hereCut = here.content.indexOf(QLatin1Char('\n'));
    const QString title = remote.content.left(cut);
    if (hereCut < 0) {
        remote.content = title;
        return;
    }
    const qsizetype lineEnd =
        hereCut > 0 && here.content.at(hereCut - 1) == QLatin1Char('\r') ? hereCut - 1 : hereCut;
    remote.content = title + here.content.mid(lineEnd);
}

// Whether a failed upload is the server refusing that one object (its content, its size, a
// rule of the collection), which the run passes over, rather than the server or the
// connection failing, which ends the run.
bool refusesObject(const DavResult &result)
{
    switch (result.error) {
    case DavError::Conflict: // changed there meanwhile: the next run reads it first
    case DavError::NotFound:
        return true;
    case DavError::Unauthorized:
        return result.httpStatus == 403; // a precondition of the collection
    case DavError::HttpError:
        return result.httpStatus != 502 && result.httpStatus != 503 && result.httpStatus != 504;
    default:
        return false;
    }
}

template <class Info> struct RemoteItem
{
    DavObject object;
    Info item;
};

// How many record changes the uploads gather before they are stored together.
constexpr int StoreBatch = 500;

// The sync records of one collection as far as a run needs them: all of them, or those asked
// for by key or by href. What the run stores or forgets is kept here as well.
class Records
{
public:
    explicit Records(SyncStateStatements &state) : m_state(state) {}

    void loadAll()
    {
        if (m_all)
            return;
        for (const SyncStateRow &row : m_state.rows())
            add(row);
        m_all = true;
    }
    void loadKeys(const QStringList &keys)
    {
        load(keys, m_askedKeys, &SyncStateStatements::rowsWithKeys);
    }
    void loadHrefs(const QStringList &hrefs)
    {
        load(hrefs, m_askedHrefs, &SyncStateStatements::rowsWithHrefs);
    }
    const SyncStateRow *find(const QString &key)
    {
        loadKeys({key});
        const auto it = m_rows.constFind(key);
        return it == m_rows.constEnd() ? nullptr : &*it;
    }
    QString keyOfHref(const QString &href)
    {
        loadHrefs({href});
        return m_keyOfHref.value(href);
    }
    // Every record by href; only after loadAll().
    const QHash<QString, QString> &keysOfHrefs() const { return m_keyOfHref; }
    QStringList keys() const { return m_rows.keys(); }

    void store(const SyncStateRow &row)
    {
        m_state.store(row);
        remember(row);
    }
    void forget(const QString &key)
    {
        m_state.forget(key);
        const auto it = m_rows.constFind(key);
        if (it != m_rows.constEnd()) {
            m_keyOfHref.remove(it->href);
            m_rows.erase(it);
        }
        m_askedKeys.insert(key);
    }

private:
    // Reads the rows of the keys or hrefs not asked for yet, with one statement.
    void load(const QStringList &wanted, QSet<QString> &asked,
              QList<SyncStateRow> (SyncStateStatements::*rows)(const QStringList &))
    {
        if (m_all)
            return;
        QStringList missing;
        for (const QString &text : wanted)
            if (!asked.contains(text))
                missing.append(text);
        for (const SyncStateRow &row : (m_state.*rows)(missing))
            add(row);
        for (const QString &text : std::as_const(missing))
            asked.insert(text);
    }
    // A row read from the table; one the run already knows may have changed since.
    void add(const SyncStateRow &row)
    {
        if (!m_askedKeys.contains(row.key) && !m_rows.contains(row.key))
            remember(row);
    }
    void remember(const SyncStateRow &row)
    {
        const auto old = m_rows.constFind(row.key);
        if (old != m_rows.constEnd() && old->href != row.href)
            m_keyOfHref.remove(old->href);
        m_rows.insert(row.key, row);
        m_keyOfHref.insert(row.href, row.key);
        m_askedKeys.insert(row.key);
    }

    SyncStateStatements &m_state;
    bool m_all = false;
    QHash<QString, SyncStateRow> m_rows; // by item key
    QHash<QString, QString> m_keyOfHref;
    QSet<QString> m_askedKeys;
    QSet<QString> m_askedHrefs;
};

// The stored items as far as a run reads them: the whole tree, or the rows asked for by key.
// Every row read is counted.
template <class Info> class LocalItems
{
public:
    LocalItems(ItemStatements &statements, int *rowsRead)
        : m_statements(statements), m_rowsRead(rowsRead)
    {}

    void loadAll()
    {
        LoadStats stats;
        const ItemForest forest = m_statements.loadForest(&stats);
        *m_rowsRead += stats.rows;
        for (const auto &node : forest) {
            m_items.insert(node->info->key, *node->as<Info>());
            for (const auto &child : node->children)
                m_items.insert(child->info->key, *child->as<Info>());
        }
        m_all = true;
    }
    // Reads the rows of keys not read yet; with again, reads them anew.
    void load(const QStringList &keys, bool again = false)
    {
        QStringList missing;
        for (const QString &key : keys) {
            if (again || (!m_all && !m_asked.contains(key))) {
                missing.append(key);
                m_asked.insert(key);
                m_items.remove(key);
            }
        }
        for (const auto &info : m_statements.loadByKeys(missing)) {
            ++*m_rowsRead;
            m_items.insert(info->key, static_cast<const Info &>(*info));
        }
    }
    const Info *find(const QString &key)
    {
        load({key});
        const auto it = m_items.constFind(key);
        return it == m_items.constEnd() ? nullptr : &*it;
    }
    QStringList keys() const { return m_items.keys(); }

private:
    ItemStatements &m_statements;
    int *m_rowsRead;
    bool m_all = false;
    QHash<QString, Info> m_items;
    QSet<QString> m_asked;
};

// A local change on its way to the server: the item as stored (none when it was deleted) and
// its record (none when the server has not seen it).
template <class Info> struct Outgoing
{
    QString key;
    std::optional<Info> item;
    std::optional<SyncStateRow> record;
    QByteArray print;
    QByteArray older; // the server's object kept for what other programs put in it
};

// Keeps the server's object of an item when it holds more than the program writes, so that
// an edit here sends those parts back with it; forgets it otherwise.
template <class Info>
void keepObject(SyncStateStatements &state, const Info &item, const QByteArray &object)
{
    bool keeps = false;
    ICalendarMapping::UpdatedObject(object, item, &keeps);
    if (keeps)
        state.storeObject(item.key, object);
    else
        state.forgetObject(item.key);
}

template <class Info>
SyncReport syncList(QSqlDatabase db, CalDavClient *client, int uploadsInFlight)
{
    using Kind = ListKind<Info>;
    SyncReport report;
    const int requestsBefore = client->requestCount();
    const auto done = [&]() {
        report.requests = client->requestCount() - requestsBefore;
        return report;
    };
    const auto failed = [&](const DavResult &result) {
        report.ok = false;
        report.message = result.message;
        // What reached the server before it failed stays there and is known here.
        const int sent = report.uploaded + report.deletedThere;
        if (sent > 0)
            report.message += QStringLiteral(" %1 change(s) had been sent before; the next run "
                                             "goes on from there.")
                                  .arg(sent);
        return done();
    };

    SyncStateStatements state(db, client->collection().toString());
    state.createTables();
    typename Kind::Statements statements(db);
    const QString list = statements.table();
    Records records(state);
    LocalItems<Info> local(statements, &report.localItemsRead);
    // The log holds every local change since the last run when this collection followed it
    // then; otherwise (a first run, another collection in between) every item is compared.
    const bool everything = !state.followsLog(list);
    if (everything)
        records.loadAll();

    const auto isNewOnServer = [&](const DavObject &object) {
        const QString key = records.keyOfHref(object.href);
        const SyncStateRow *record = key.isEmpty() ? nullptr : records.find(key);
        return record == nullptr || record->etag != object.etag;
    };

    // 1. What changed on the server since the last run.
    QStringList changedHrefs;
    QStringList goneHrefs;
    QString newToken;
    const QString token = state.token();
    bool fullListing = token.isEmpty();
    if (!fullListing) {
        DavChanges changes;
        const DavResult result = client->changesSinceNow(token, &changes);
        if (result.error == DavError::SyncTokenInvalid)
            fullListing = true;
        else if (!result.ok())
            return failed(result);
        else {
            QStringList hrefs = changes.deleted;
            for (const DavObject &object : std::as_const(changes.changed))
                hrefs.append(object.href);
            records.loadHrefs(hrefs);
            for (const DavObject &object : std::as_const(changes.changed))
                if (isNewOnServer(object))
                    changedHrefs.append(object.href);
            for (const QString &href : std::as_const(changes.deleted))
                if (!records.keyOfHref(href).isEmpty())
                    goneHrefs.append(href);
            newToken = changes.syncToken;
        }
    }
    if (fullListing) {
        records.loadAll();
        DavListing listing;
        const DavResult result = client->listNow(&listing);
        if (!result.ok())
            return failed(result);
        QSet<QString> present;
        for (const DavObject &object : std::as_const(listing.objects)) {
            present.insert(object.href);
            if (isNewOnServer(object))
                changedHrefs.append(object.href);
        }
        for (auto it = records.keysOfHrefs().constBegin(); it != records.keysOfHrefs().constEnd();
             ++it)
            if (!present.contains(it.key()))
                goneHrefs.append(it.key());
        newToken = listing.syncToken;
    }

    // 2. Their contents, a batch at a time.
    QList<DavObject> fetched;
    for (qsizetype at = 0; at < changedHrefs.size(); at += SyncEngine::FetchBatch) {
        QList<DavObject> part;
        const DavResult result =
            client->fetchNow(changedHrefs.mid(at, SyncEngine::FetchBatch), &part);
        if (!result.ok())
            return failed(result);
        fetched.append(part);
    }
    QList<RemoteItem<Info>> remote;
    QStringList unreadable;
    for (const DavObject &object : std::as_const(fetched)) {
        // One item per object: a recurring one with moved occurrences is its master.
        Info task;
        QString parent;
        if (!ICalendarMapping::ItemOfObject(object.data, &task, &parent)) {
            unreadable.append(object.href);
            continue;
        }
        const QString known = records.keyOfHref(object.href);
        if (!known.isEmpty())
            task.key = known;
        task.pid = parent.isEmpty() ? Texts::RootKey : parent;
        remote.append({object, task});
    }

    // 3. The server's changes stored here, in one transaction that holds the write lock from
    // its start: what it reads of the local items stays true until it is done.
    QList<Outgoing<Info>> outgoing;
    qint64 logEnd = 0;
    state.beginWriting();
    try {
        const SyncLogged before = state.logged(list);
        QSet<QString> dirty; // keys that may have changed here since the last run
        if (everything) {
            local.loadAll();
            for (const QString &key : local.keys())
                dirty.insert(key);
            for (const QString &key : records.keys())
                dirty.insert(key);
        } else {
            for (const QString &key : before.keys)
                if (!key.isEmpty() && key != Texts::RootKey)
                    dirty.insert(key);
        }
        // What the decisions below read, a statement for all.
        QStringList wanted;
        for (const RemoteItem<Info> &r : std::as_const(remote)) {
            wanted.append(r.item.key);
            wanted.append(r.item.pid);
        }
        for (const QString &href : std::as_const(goneHrefs))
            wanted.append(records.keyOfHref(href));
        if (!goneHrefs.isEmpty())
            wanted.append(QStringList(dirty.cbegin(), dirty.cend()));
        local.load(wanted);
        records.loadKeys(wanted);

        const auto changedHere = [&](const QString &key) {
            if (!dirty.contains(key))
                return false;
            const Info *task = local.find(key);
            if (task == nullptr)
                return false;
            const SyncStateRow *record = records.find(key);
            return record == nullptr || record->fingerprint != fingerprint(*task);
        };
        QHash<QString, Info> remoteByKey;
        for (const RemoteItem<Info> &r : std::as_const(remote))
            remoteByKey.insert(r.item.key, r.item);
        // A parent that is not there makes the task top-level, a grandparent's child moves up.
        const auto parentOf = [&](const QString &key) -> QString {
            if (remoteByKey.contains(key))
                return remoteByKey.value(key).pid;
            if (const Info *task = local.find(key))
                return task->pid;
            return {};
        };
        for (RemoteItem<Info> &r : remote) {
            QString pid = r.item.pid;
            for (int step = 0; pid != Texts::RootKey && step < 8; ++step) {
                const QString above = parentOf(pid);
                if (above.isEmpty() || pid == r.item.key)
                    pid = Texts::RootKey;
                else if (above == Texts::RootKey)
                    break;
                else
                    pid = above;
            }
            if (pid != Texts::RootKey && parentOf(pid) != Texts::RootKey)
                pid = Texts::RootKey;
            r.item.pid = pid;
        }

        QList<SyncStateRow> agreed; // records made anew from the stored task
        for (const RemoteItem<Info> &r : std::as_const(remote)) {
            const QString key = r.item.key;
            const Info *here = local.find(key);
            if (here == nullptr) {
                statements.insertFull(r.item);
                statements.updateExpand(key, r.item.expandFlag);
                keepObject(state, r.item, r.object.data);
                ++report.downloaded;
                report.changedHere.append(key);
            } else if (!changedHere(key)) {
                Info item = r.item;
                followTitle(item, *here);
                statements.updateFull(item);
                statements.updateExpand(key, item.expandFlag);
                keepObject(state, item, r.object.data);
                ++report.downloaded;
                report.changedHere.append(key);
            } else if (fingerprint(*here) != fingerprint(r.item)) {
                // Changed on both sides: the server's version becomes a sibling of the local
                // one, which replaces it on the server below.
                Info copy = r.item;
                copy.key = NewRowKey();
                copy.pid = here->pid;
                copy.content = SyncEngine::ConflictMarker + copy.content;
                statements.insertFull(copy);
                statements.updateExpand(copy.key, copy.expandFlag);
                // The version here goes over the server's, keeping what others put in it.
                keepObject(state, r.item, r.object.data);
                ++report.conflicts;
                report.changedHere.append(copy.key);
                const SyncStateRow *known = records.find(key);
                SyncStateRow record = known ? *known : SyncStateRow{key, {}, {}, {}};
                record.href = r.object.href;
                record.etag = r.object.etag;
                records.store(record);
                continue;
            }
            agreed.append({key, r.object.href, r.object.etag, {}});
        }
        // A task deleted on the server goes here too, unless it or one of its children was
        // changed here since.
        QSet<QString> parentsOfChanged;
        if (!goneHrefs.isEmpty())
            for (const QString &key : std::as_const(dirty))
                if (changedHere(key))
                    if (const Info *task = local.find(key); task->pid != Texts::RootKey)
                        parentsOfChanged.insert(task->pid);
        QStringList movedUp; // children of a parent deleted there, still on the server
        for (const QString &href : std::as_const(goneHrefs)) {
            const QString key = records.keyOfHref(href);
            const bool kept = local.find(key) != nullptr;
            if (kept && !changedHere(key) && !parentsOfChanged.contains(key)) {
                // Only that item goes: its children stay, at the top level, as a child of a
                // missing parent does anywhere.
                QStringList children;
                for (QSqlQuery &query = statements.selectByParent(key); query.next();)
                    children.append(query.value(statements.keyColumn()).toString());
                for (const QString &child : std::as_const(children)) {
                    if (!changedHere(child) && !remoteByKey.contains(child))
                        movedUp.append(child);
                    statements.updateParent(child, Texts::RootKey);
                    report.changedHere.append(child);
                }
                statements.deleteItem(key);
                ++report.deletedHere;
                report.changedHere.append(key);
            } else if (kept) {
                // A task changed here since goes back to the server as a new object.
                state.log(list, key);
            }
            records.forget(key);
        }

        // Everything this transaction wrote is in the log since `before`: the rows are read
        // anew to tell what now goes to the server.
        const SyncLogged mine = state.logged(list, before.last);
        local.load(mine.keys, true);
        // A child moved up agrees with its object as it is: the server keeps it unchanged.
        records.loadKeys(movedUp);
        for (const QString &child : std::as_const(movedUp))
            if (const SyncStateRow *record = records.find(child))
                agreed.append({child, record->href, record->etag, {}});
        for (SyncStateRow record : std::as_const(agreed)) {
            if (const Info *task = local.find(record.key))
                record.fingerprint = fingerprint(*task);
            records.store(record);
        }
        QSet<QString> keys = dirty;
        for (const QString &key : mine.keys)
            if (!key.isEmpty() && key != Texts::RootKey)
                keys.insert(key);
        QStringList sorted(keys.cbegin(), keys.cend());
        sorted.sort();
        local.load(sorted);
        records.loadKeys(sorted);
        for (const QString &key : std::as_const(sorted)) {
            const Info *task = local.find(key);
            const SyncStateRow *record = records.find(key);
            if (task == nullptr && record == nullptr)
                continue;
            const QByteArray print = task ? fingerprint(*task) : QByteArray();
            if (task != nullptr && record != nullptr && record->fingerprint == print)
                continue;
            Outgoing<Info> change{key, {}, {}, print, {}};
            if (task)
                change.item = *task;
            if (record)
                change.record = *record;
            outgoing.append(change);
        }
        QStringList updated;
        for (const Outgoing<Info> &change : std::as_const(outgoing))
            if (change.item && change.record)
                updated.append(change.key);
        const QHash<QString, QByteArray> kept = state.objectsWithKeys(updated);
        for (Outgoing<Info> &change : outgoing)
            if (change.item && change.record)
                change.older = kept.value(change.key);
        logEnd = mine.last;
        if (!db.commit())
            throw TasklumeError(EngineErrorText(db.driver(), db.lastError()));
    } catch (...) {
        db.rollback();
        throw;
    }

    // 4. The local changes to the server, several on their way at once. The records of what
    // went are stored in batches, and all of them before a failure is reported.
    // When the run is complete, the server's token and the log up to where this run read it
    // are stored with the last records. What other writers logged since stays for the next run.
    QList<SyncStateRow> stored;
    QList<std::pair<QString, QByteArray>> storedObjects;
    QStringList forgotten;
    DavResult failure;
    // Objects the server refused, each passed over with why, and tried again next run.
    QStringList refusedKeys;
    QStringList refusals;
    // Objects stored without an ETag in the answer: href -> their record, to be read.
    QHash<QString, SyncStateRow> withoutEtag;
    // What this run did on the server: the ETags of what it stored, what it deleted, and
    // whether it made new objects.
    QHash<QString, QString> sentEtags;
    QSet<QString> deletedHrefs;
    bool created = false;
    const auto storeRecords = [&](bool complete) {
        if (!complete && stored.isEmpty() && forgotten.isEmpty())
            return;
        db.transaction();
        try {
            for (const SyncStateRow &row : std::as_const(stored))
                state.store(row);
            for (const auto &[key, object] : std::as_const(storedObjects))
                state.storeObject(key, object);
            for (const QString &key : std::as_const(forgotten))
                state.forget(key);
            if (complete) {
                state.storeToken(notNull(newToken));
                state.clearLog(list, logEnd);
                state.followLog(list);
                for (const QString &key : std::as_const(refusedKeys))
                    state.log(list, key);
            }
            db.commit();
        } catch (...) {
            db.rollback();
            throw;
        }
        stored.clear();
        storedObjects.clear();
        forgotten.clear();
    };
    {
        QEventLoop loop;
        qsizetype next = 0;
        int running = 0;
        std::function<void()> startMore;
        const auto finishedOne = [&](const DavResult &result) {
            --running;
            if (!result.ok() && failure.ok())
                failure = result;
            if (stored.size() + forgotten.size() >= StoreBatch)
                storeRecords(false);
            if (failure.ok())
                startMore();
            if (running == 0)
                loop.quit();
        };
        startMore = [&] {
            while (running < std::max(1, uploadsInFlight) && next < outgoing.size()) {
                const Outgoing<Info> &change = outgoing.at(next++);
                ++running;
                if (change.item) {
                    const bool isNew = !change.record;
                    const QString href = isNew
                                             ? client->hrefFor(change.key + QStringLiteral(".ics"))
                                             : change.record->href;
                    const QString key = change.key;
                    const QByteArray print = change.print;
                    const bool merged = !change.older.isEmpty();
                    const QByteArray data =
                        merged ? ICalendarMapping::UpdatedObject(change.older, *change.item)
                               : Kind::object(*change.item);
                    client->put(
                        href, data, isNew ? QString() : change.record->etag,
                        [&, key, href, print, merged, data, isNew,
                         name = itemName(change.item->content)](const DavResult &result,
                                                                const QString &etag) {
                            if (result.ok()) {
                                stored.append({key, href, notNull(etag), print});
                                sentEtags.insert(href, etag);
                                created = created || isNew;
                                if (etag.isEmpty())
                                    withoutEtag.insert(href, stored.last());
                                if (merged)
                                    storedObjects.append({key, data});
                                ++report.uploaded;
                            } else if (refusesObject(result)) {
                                refusedKeys.append(key);
                                refusals.append(
                                    QStringLiteral("\u201c%1\u201d: %2").arg(name, result.message));
                                finishedOne(DavResult());
                                return;
                            }
                            finishedOne(result);
                        });
                } else {
                    const QString key = change.key;
                    const QString href = change.record->href;
                    client->remove(href, change.record->etag,
                                   [&, key, href](const DavResult &result) {
                                       if (result.ok() || result.error == DavError::NotFound) {
                                           deletedHrefs.insert(href);
                                           forgotten.append(key);
                                           ++report.deletedThere;
                                           finishedOne(DavResult());
                                       } else if (refusesObject(result)) {
                                           refusedKeys.append(key);
                                           refusals.append(QStringLiteral("the deletion of %1: %2")
                                                               .arg(href, result.message));
                                           finishedOne(DavResult());
                                       } else {
                                           finishedOne(result);
                                       }
                                   });
                }
            }
        };
        startMore();
        if (running > 0)
            loop.exec();
    }

    // A server may store an object without telling its ETag (it changed what it was sent):
    // the ETags are read back, so that the next run knows the object as it is.
    if (failure.ok() && !withoutEtag.isEmpty()) {
        const QStringList hrefs = withoutEtag.keys();
        for (qsizetype at = 0; at < hrefs.size(); at += SyncEngine::FetchBatch) {
            QList<DavObject> objects;
            if (!client->fetchNow(hrefs.mid(at, SyncEngine::FetchBatch), &objects).ok())
                break; // the next run reads them as changed there
            for (const DavObject &object : std::as_const(objects)) {
                if (object.etag.isEmpty() || !withoutEtag.contains(object.href))
                    continue;
                SyncStateRow row = withoutEtag.value(object.href);
                row.etag = object.etag;
                stored.append(row);
                sentEtags.insert(object.href, object.etag);
            }
        }
    }

    // The token was read before this run's uploads. A server may leave out of its changes an
    // object made and deleted since a token, so one this run made would never be reported
    // gone: when the changes since the token are this run's own alone, the token after them
    // is kept instead.
    if (failure.ok() && created && !newToken.isEmpty()) {
        DavChanges since;
        if (client->changesSinceNow(newToken, &since).ok() && !since.syncToken.isEmpty()) {
            bool ownAlone = true;
            for (const DavObject &object : std::as_const(since.changed))
                ownAlone = ownAlone && sentEtags.contains(object.href) &&
                           sentEtags.value(object.href) == object.etag;
            for (const QString &href : std::as_const(since.deleted))
                ownAlone = ownAlone && deletedHrefs.contains(href);
            if (ownAlone)
                newToken = since.syncToken;
        }
    }

    storeRecords(failure.ok());
    if (!failure.ok())
        return failed(failure);

    report.unreadable = int(unreadable.size());
    report.refused = int(refusals.size());
    QStringList notes;
    if (!unreadable.isEmpty())
        notes.append(QStringLiteral("Passed over %1 object(s) on the server that are not "
                                    "readable %2: %3")
                         .arg(unreadable.size())
                         .arg(QLatin1String(Kind::itemsName))
                         .arg(unreadable.join(QStringLiteral(", "))));
    if (!refusals.isEmpty())
        notes.append(QStringLiteral("The server refused %1 item(s), tried again on the next run: "
                                    "%2")
                         .arg(refusals.size())
                         .arg(refusals.join(QStringLiteral("; "))));
    report.message = notes.join(QLatin1Char(' '));
    return done();
}

} // namespace

SyncEngine::SyncEngine(QSqlDatabase db, CalDavClient *client)
    : m_db(std::move(db)), m_client(client)
{}

SyncReport SyncEngine::syncTasksNow()
{
    return syncList<TTaskInfo>(m_db, m_client, m_uploadsInFlight);
}

SyncReport SyncEngine::syncMemosNow()
{
    return syncList<TMemoInfo>(m_db, m_client, m_uploadsInFlight);
}
