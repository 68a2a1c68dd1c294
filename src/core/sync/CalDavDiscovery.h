// Finding a user's calendar collections from the address of their server (or their own
// e-mail-like address), as calendar programs do: the address itself, then the server's
// well-known entry (RFC 6764, "/.well-known/caldav"), the user's principal
// (current-user-principal) and the calendar homes (calendar-home-set), whose calendar
// collections are listed with their display names and the kinds of objects they accept.
// And checking that a collection is a calendar that takes what is synced into it, before
// anything is written there. Blocking: for the command line and a worker thread.
#pragma once

#include "sync/CalDavClient.h"

#include <QList>
#include <QString>
#include <QUrl>

struct DavCollection
{
    QUrl url;
    QString displayName;         // the server's, or the last part of the address when it gives none
    bool acceptsTasks = false;   // VTODO
    bool acceptsJournal = false; // VJOURNAL

    // "Name (to-dos, journal entries)" for a list to choose from.
    QString description() const;
};

struct DavDiscovery
{
    DavResult result;
    QList<DavCollection> collections; // calendar collections, in the server's order
    QUrl server;                      // the address the search started from
};

namespace CalDavDiscovery {

// The web address an address typed by the user stands for: "https://" added when no scheme
// is given, a user's address ("anna@example.org") read as its domain's server. Empty (with
// why) when it is none of them.
QUrl serverAddress(const QString &typed, QString *why);

// Whether a password sent to url would travel unencrypted to another machine: http to a
// host other than this one (loopback, this machine's name).
bool unencryptedElsewhere(const QUrl &url);

// Searches from address with the credentials; timeoutMs bounds each request.
DavDiscovery find(const QUrl &address, const QString &user, const QString &password,
                  int timeoutMs = CalDavClient::DefaultTimeoutMs);

// Checks that collection is a calendar collection accepting component ("VTODO" or
// "VJOURNAL"); with the client given, through it (its deadline and origin).
DavResult check(CalDavClient *client, const QString &component);
DavResult check(const QUrl &collection, const QString &user, const QString &password,
                const QString &component, QString *displayName = nullptr,
                int timeoutMs = CalDavClient::DefaultTimeoutMs);

} // namespace CalDavDiscovery
