#pragma once

// A small CalDAV collection of its own for the tests, kept in memory, that answers as servers
// the program did not meet before do: without a sync token (RFC 6578 is optional), without an
// ETag after a PUT (RFC 4791 allows it), and refusing one object while it takes the others.
// It serves one collection at /u/cal/ from the event loop of the thread that made it, for
// PROPFIND, REPORT calendar-multiget, GET, PUT and DELETE.

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QTcpServer>
#include <QUrl>

class StandInDavServer : public QTcpServer
{
public:
    StandInDavServer();

    QUrl url() const;
    // Whether PUT answers carry the object's ETag (they do by default).
    void setEtagOnPut(bool on) { m_etagOnPut = on; }
    // A PUT whose body holds this text is refused with the status (400 and a reason unless
    // told); empty refuses none.
    void setRefused(const QByteArray &marker, const QByteArray &status = "400 Bad Request")
    {
        m_refused = marker;
        m_refusedStatus = status;
    }

    // The objects by path, and how many PUTs each path received, refused ones included.
    const QMap<QString, QByteArray> &objects() const { return m_objects; }
    int putsOf(const QString &path) const { return m_puts.value(path); }
    // Stores an object as another client would, with a new ETag.
    void putObject(const QString &name, const QByteArray &data);
    // Every request line received, in order ("PUT /u/cal/x.ics").
    const QList<QByteArray> &requests() const { return m_requests; }

private:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // lower-case names
        QByteArray body;
    };
    QByteArray answer(const Request &request);
    QByteArray etagOf(const QString &path) const;

    QMap<QString, QByteArray> m_objects;
    QHash<QString, int> m_puts;
    QList<QByteArray> m_requests;
    bool m_etagOnPut = true;
    QByteArray m_refused;
    QByteArray m_refusedStatus;
};
