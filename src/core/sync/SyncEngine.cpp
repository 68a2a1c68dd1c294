#include "sync/SyncEngine.h"

#include "common/Texts.h"
#include "storage/Statements.h"
#include "sync/CalDavClient.h"
#include "sync/ICalendarMapping.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <QSet>

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

// Both levels of the stored tree, parents before their children.
template <class Info> QList<Info> storedItems(ItemStatements &statements)
{
    QList<Info> items;
    const ItemForest forest = statements.loadForest();
    for (const auto &node : forest) {
        items.append(*node->as<Info>());
        for (const auto &child : node->children)
            items.append(*child->as<Info>());
    }
    return items;
}

// The UID an object names as its parent, empty for none. The object is read alone, so the
// mapping cannot see the parent; it is found among the stored items instead.
QString parentUid(const QByteArray &data, icalcomponent_kind kind)
{
    icalcomponent *root = icalparser_parse_string(data.constData());
    if (!root)
        return {};
    icalcomponent *todo =
        icalcomponent_isa(root) == kind ? root : icalcomponent_get_first_component(root, kind);
    QString result;
    for (icalproperty *p = todo ? icalcomponent_get_first_property(todo, ICAL_RELATEDTO_PROPERTY)
                                : nullptr;
         p; p = icalcomponent_get_next_property(todo, ICAL_RELATEDTO_PROPERTY)) {
        icalparameter *type = icalproperty_get_first_parameter(p, ICAL_RELTYPE_PARAMETER);
        if (!type || icalparameter_get_reltype(type) == ICAL_RELTYPE_PARENT) {
            result = QString::fromUtf8(icalproperty_get_relatedto(p));
            break;
        }
    }
    icalcomponent_free(root);
    return result;
}

template <class Info> struct RemoteItem
{
    DavObject object;
    Info item;
};

template <class Info> SyncReport syncList(QSqlDatabase db, CalDavClient *client)
{
    using Kind = ListKind<Info>;
    SyncReport report;
    const auto failed = [&report](const DavResult &result) {
        report.ok = false;
        report.message = result.message;
        return report;
    };

    SyncStateStatements state(db, client->collection().toString());
    state.createTables();
    typename Kind::Statements statements(db);
    QHash<QString, SyncStateRow> known; // by task key
    QHash<QString, QString> keyOfHref;
    for (const SyncStateRow &row : state.rows()) {
        known.insert(row.key, row);
        keyOfHref.insert(row.href, row.key);
    }
    const auto isNewOnServer = [&](const DavObject &object) {
        const auto key = keyOfHref.constFind(object.href);
        return key == keyOfHref.constEnd() || known.value(*key).etag != object.etag;
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
            for (const DavObject &object : std::as_const(changes.changed))
                if (isNewOnServer(object))
                    changedHrefs.append(object.href);
            for (const QString &href : std::as_const(changes.deleted))
                if (keyOfHref.contains(href))
                    goneHrefs.append(href);
            newToken = changes.syncToken;
        }
    }
    if (fullListing) {
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
        for (auto it = keyOfHref.constBegin(); it != keyOfHref.constEnd(); ++it)
            if (!present.contains(it.key()))
                goneHrefs.append(it.key());
        newToken = listing.syncToken;
    }

    // 2. Their contents.
    QList<DavObject> fetched;
    if (!changedHrefs.isEmpty()) {
        const DavResult result = client->fetchNow(changedHrefs, &fetched);
        if (!result.ok())
            return failed(result);
    }
    QList<RemoteItem<Info>> remote;
    QStringList unreadable;
    for (const DavObject &object : std::as_const(fetched)) {
        ICalendarMapping::Calendar calendar;
        if (!ICalendarMapping::FromICalendar(object.data, &calendar) ||
            Kind::items(calendar).isEmpty()) {
            unreadable.append(object.href);
            continue;
        }
        Info task = Kind::items(calendar).first();
        task.key = keyOfHref.value(object.href, task.key);
        const QString parent = parentUid(object.data, Kind::component);
        task.pid = parent.isEmpty() ? Texts::RootKey : parent;
        remote.append({object, task});
    }

    // 3. The server's changes stored here, in one transaction.
    QHash<QString, Info> local;
    for (const Info &task : storedItems<Info>(statements))
        local.insert(task.key, task);
    const auto changedHere = [&](const QString &key) {
        const auto task = local.constFind(key);
        const auto record = known.constFind(key);
        return task != local.constEnd() &&
               (record == known.constEnd() || record->fingerprint != fingerprint(*task));
    };
    QHash<QString, Info> remoteByKey;
    for (const RemoteItem<Info> &r : std::as_const(remote))
        remoteByKey.insert(r.item.key, r.item);
    // A parent that is not there makes the task top-level, a grandparent's child moves up.
    const auto parentOf = [&](const QString &key) -> QString {
        if (remoteByKey.contains(key))
            return remoteByKey.value(key).pid;
        if (local.contains(key))
            return local.value(key).pid;
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

    QStringList agreed; // keys whose record is made anew from the stored task
    db.transaction();
    try {
        for (const RemoteItem<Info> &r : std::as_const(remote)) {
            const QString key = r.item.key;
            if (!local.contains(key)) {
                statements.insertFull(r.item);
                ++report.downloaded;
            } else if (!changedHere(key)) {
                statements.updateFull(r.item);
                ++report.downloaded;
            } else if (fingerprint(local.value(key)) != fingerprint(r.item)) {
                // Changed on both sides: the server's version becomes a sibling of the local
                // one, which replaces it on the server below.
                Info copy = r.item;
                copy.key = NewRowKey();
                copy.pid = local.value(key).pid;
                copy.content = SyncEngine::ConflictMarker + copy.content;
                statements.insertFull(copy);
                ++report.conflicts;
                SyncStateRow &record = known[key];
                record.key = key;
                record.href = r.object.href;
                record.etag = r.object.etag;
                state.store(record);
                continue;
            }
            known[key] = {key, r.object.href, r.object.etag, {}};
            agreed.append(key);
        }
        // A task deleted on the server goes here too, unless it or one of its children was
        // changed here since.
        QSet<QString> parentsOfChanged;
        if (!goneHrefs.isEmpty())
            for (const Info &task : std::as_const(local))
                if (task.pid != Texts::RootKey && changedHere(task.key))
                    parentsOfChanged.insert(task.pid);
        for (const QString &href : std::as_const(goneHrefs)) {
            const QString key = keyOfHref.value(href);
            if (local.contains(key) && !changedHere(key) && !parentsOfChanged.contains(key)) {
                statements.deleteItem(key);
                ++report.deletedHere;
            }
            // A task changed here since goes back to the server as a new object.
            state.forget(key);
            known.remove(key);
        }
        db.commit();
    } catch (...) {
        db.rollback();
        throw;
    }

    local.clear();
    const QList<Info> tasks = storedItems<Info>(statements);
    for (const Info &task : tasks)
        local.insert(task.key, task);
    for (const QString &key : std::as_const(agreed)) {
        SyncStateRow &record = known[key];
        record.fingerprint = fingerprint(local.value(key));
        state.store(record);
    }

    // 4. The local changes to the server.
    for (const Info &task : tasks) {
        const auto record = known.find(task.key);
        const QByteArray print = fingerprint(task);
        if (record != known.end() && record->fingerprint == print)
            continue;
        const bool isNew = record == known.end();
        const QString href =
            isNew ? client->hrefFor(task.key + QStringLiteral(".ics")) : record->href;
        QString etag;
        const DavResult result =
            client->putNow(href, Kind::object(task), isNew ? QString() : record->etag, &etag);
        if (!result.ok())
            return failed(result);
        const SyncStateRow row{task.key, href, etag, print};
        known.insert(task.key, row);
        state.store(row);
        ++report.uploaded;
    }
    for (auto it = known.begin(); it != known.end();) {
        if (local.contains(it.key())) {
            ++it;
            continue;
        }
        const DavResult result = client->removeNow(it->href, it->etag);
        if (!result.ok() && result.error != DavError::NotFound)
            return failed(result);
        state.forget(it.key());
        it = known.erase(it);
        ++report.deletedThere;
    }

    state.storeToken(newToken);
    report.unreadable = int(unreadable.size());
    if (!unreadable.isEmpty())
        report.message = QStringLiteral("Passed over %1 object(s) on the server that are not "
                                        "readable %2: %3")
                             .arg(unreadable.size())
                             .arg(QLatin1String(Kind::itemsName))
                             .arg(unreadable.join(QStringLiteral(", ")));
    return report;
}

} // namespace

SyncEngine::SyncEngine(QSqlDatabase db, CalDavClient *client)
    : m_db(std::move(db)), m_client(client)
{}

SyncReport SyncEngine::syncTasksNow()
{
    return syncList<TTaskInfo>(m_db, m_client);
}

SyncReport SyncEngine::syncMemosNow()
{
    return syncList<TMemoInfo>(m_db, m_client);
}
