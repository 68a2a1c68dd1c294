#pragma once

// A local HTTP stand-in for a CalDAV server that answers badly: every request gets the same
// canned answer, or, when the answer is empty, an open connection without a word. It serves
// from the event loop of the thread that made it.

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

class CannedServer : public QTcpServer
{
public:
    explicit CannedServer(const QByteArray &answer);
    // A collection address on the stand-in.
    QUrl url() const;

private:
    QByteArray m_answer;
};

// A whole HTTP answer with the given status line, content type and body.
QByteArray httpAnswer(const QByteArray &status, const QByteArray &type, const QByteArray &body);
