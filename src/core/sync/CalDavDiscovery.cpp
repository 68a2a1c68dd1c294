#include "sync/CalDavDiscovery.h"

#include <QHostAddress>
#include <QSysInfo>

namespace {

QString componentName(const QString &component)
{
    return component == QLatin1String("VJOURNAL") ? QStringLiteral("journal entries")
                                                  : QStringLiteral("to-dos");
}

QString lastPart(const QUrl &url)
{
    const QStringList parts = url.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? url.toDisplayString() : parts.last();
}

QString normalised(const QUrl &url)
{
    QString text = url.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded);
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    return text;
}

// A failure that ends the search at once: nothing further on the server can answer better.
bool ends(const DavResult &result)
{
    return result.error == DavError::Unauthorized || result.error == DavError::Redirected ||
           result.error == DavError::Timeout || result.error == DavError::ConnectionFailed ||
           result.error == DavError::TooLarge;
}

} // namespace

QString DavCollection::description() const
{
    QStringList kinds;
    if (acceptsTasks)
        kinds.append(QStringLiteral("to-dos"));
    if (acceptsJournal)
        kinds.append(QStringLiteral("journal entries"));
    if (kinds.isEmpty())
        kinds.append(QStringLiteral("neither to-dos nor journal entries"));
    return QStringLiteral("%1 (%2)").arg(displayName, kinds.join(QStringLiteral(", ")));
}

namespace CalDavDiscovery {

QUrl serverAddress(const QString &typed, QString *why)
{
    QString text = typed.trimmed();
    if (text.isEmpty()) {
        *why = QStringLiteral("No address is given.");
        return {};
    }
    if (!text.contains(QStringLiteral("://"))) {
        if (text.contains(QLatin1Char('@')) && !text.contains(QLatin1Char('/')))
            text = text.section(QLatin1Char('@'), -1) + QLatin1Char('/');
        text.prepend(QStringLiteral("https://"));
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        *why = QStringLiteral("\"%1\" is not the address of a server: enter it as "
                              "https://server/... or as a user's address (anna@example.org).")
                   .arg(typed.trimmed());
        return {};
    }
    QUrl out = url;
    if (out.path().isEmpty())
        out.setPath(QStringLiteral("/"));
    return out;
}

bool unencryptedElsewhere(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty())
        return false;
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")))
        return false;
    const QHostAddress address(host);
    if (!address.isNull() && address.isLoopback())
        return false;
    const QString self = QSysInfo::machineHostName().toLower();
    return self.isEmpty() || (host != self && !host.startsWith(self + QLatin1Char('.')));
}

DavDiscovery find(const QUrl &address, const QString &user, const QString &password, int timeoutMs)
{
    DavDiscovery out;
    out.server = address;
    CalDavClient client(address, user, password);
    client.setTimeout(timeoutMs);

    QList<QUrl> principals;
    QList<QUrl> homes;
    QList<DavResource> found;
    QStringList seen;
    const auto addCalendar = [&](const DavResource &resource) {
        if (!resource.isCalendar || seen.contains(normalised(resource.url)))
            return;
        seen.append(normalised(resource.url));
        DavCollection collection;
        collection.url = resource.url;
        collection.displayName =
            resource.displayName.isEmpty() ? lastPart(resource.url) : resource.displayName;
        collection.acceptsTasks = resource.accepts(QStringLiteral("VTODO"));
        collection.acceptsJournal = resource.accepts(QStringLiteral("VJOURNAL"));
        out.collections.append(collection);
    };

    // 1. The address itself: a collection, a principal, or a server that names the user's.
    QList<DavResource> resources;
    DavResult first = client.resourcesNow(address, 0, &resources);
    if (ends(first)) {
        out.result = first;
        return out;
    }
    DavResource itself;
    if (first.ok() && !resources.isEmpty()) {
        itself = resources.first();
        principals = itself.principals;
        homes = itself.homeSets;
    }
    // 2. The server's well-known entry, when the address told nothing of the user.
    if (principals.isEmpty() && homes.isEmpty()) {
        QUrl wellKnown = address;
        wellKnown.setPath(QStringLiteral("/.well-known/caldav"));
        wellKnown.setQuery(QString());
        resources.clear();
        const DavResult known = client.resourcesNow(wellKnown, 0, &resources);
        if (ends(known)) {
            out.result = known;
            return out;
        }
        if (known.ok() && !resources.isEmpty()) {
            principals = resources.first().principals;
            homes = resources.first().homeSets;
        }
        if (!first.ok() && !itself.isCalendar && principals.isEmpty() && homes.isEmpty()) {
            out.result = first;
            return out;
        }
    }
    // 3. The principal names the calendar homes.
    if (homes.isEmpty()) {
        for (const QUrl &principal : std::as_const(principals)) {
            resources.clear();
            const DavResult r = client.resourcesNow(principal, 0, &resources);
            if (ends(r)) {
                out.result = r;
                return out;
            }
            if (r.ok() && !resources.isEmpty())
                homes += resources.first().homeSets;
        }
    }
    // 4. The calendar collections in the homes.
    for (const QUrl &home : std::as_const(homes)) {
        resources.clear();
        const DavResult r = client.resourcesNow(home, 1, &resources);
        if (ends(r)) {
            out.result = r;
            return out;
        }
        for (const DavResource &resource : std::as_const(resources))
            addCalendar(resource);
    }
    addCalendar(itself);
    if (out.collections.isEmpty()) {
        out.result.error = DavError::NotACollection;
        out.result.message =
            QStringLiteral("No calendar collections of %1 were found at %2.")
                .arg(user.isEmpty() ? QStringLiteral("the user") : user, address.toDisplayString());
    }
    return out;
}

namespace {

DavResult checkOne(CalDavClient *client, const QString &component, QString *displayName)
{
    QList<DavResource> resources;
    DavResult result = client->resourcesNow(client->collection(), 0, &resources);
    if (!result.ok())
        return result;
    const QString address = client->collection().toDisplayString();
    if (resources.isEmpty() || !resources.first().isCalendar) {
        result.error = DavError::NotACollection;
        result.message = QStringLiteral("%1 is not a calendar collection: enter the address of "
                                        "a collection, or the server's address to find them.")
                             .arg(address);
    } else if (!resources.first().accepts(component)) {
        const DavResource &resource = resources.first();
        result.error = DavError::NotACollection;
        result.message =
            QStringLiteral("The collection \"%1\" (%2) does not accept %3; it takes %4.")
                .arg(resource.displayName.isEmpty() ? lastPart(resource.url) : resource.displayName,
                     address, componentName(component),
                     resource.components.isEmpty()
                         ? QStringLiteral("nothing")
                         : resource.components.join(QStringLiteral(", ")));
    }
    if (result.ok() && displayName)
        *displayName = resources.first().displayName.isEmpty() ? lastPart(resources.first().url)
                                                               : resources.first().displayName;
    return result;
}

} // namespace

DavResult check(CalDavClient *client, const QString &component)
{
    return checkOne(client, component, nullptr);
}

DavResult check(const QUrl &collection, const QString &user, const QString &password,
                const QString &component, QString *displayName, int timeoutMs)
{
    CalDavClient client(collection, user, password);
    client.setTimeout(timeoutMs);
    return checkOne(&client, component, displayName);
}

} // namespace CalDavDiscovery
