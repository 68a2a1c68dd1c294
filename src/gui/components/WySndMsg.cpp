#include "WySndMsg.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>

namespace {

// sendmail's exit codes for an address it cannot deliver to (sysexits.h).
constexpr int kExNoUser = 67;
constexpr int kExNoHost = 68;
constexpr int kSendmailTimeout = 60000;
constexpr int kMaxRecipientLength = 255;

QString findMailClient()
{
    return QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
}

QString findSendmail()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("sendmail"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(
            QStringLiteral("sendmail"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/lib")});
    return path;
}

// xdg-email's exit codes mapped onto the result table.
int mailClientResult(int exitCode)
{
    switch (exitCode) {
    case 0:
        return SUCCESS_SUCCESS;
    case 2: // a file to attach does not exist
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    case 3: // no mail client to hand the message to
        throw EMapiNoMailSystem(NoMailClientAdvice());
    case 4: // the mail client failed or the user abandoned the message
        return MAPI_USER_ABORT;
    case 5: // a file to attach cannot be read
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    default:
        return MAPI_E_FAILURE;
    }
}

// A header value stays on its line.
QString headerText(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QByteArray encodedWord(const QString &text)
{
    const QString clean = headerText(text);
    bool ascii = true;
    for (QChar c : clean)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return clean.toLatin1();
    return "=?UTF-8?B?" + clean.toUtf8().toBase64() + "?=";
}

QByteArray base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray lines;
    for (qsizetype i = 0; i < encoded.size(); i += 76) {
        lines += encoded.mid(i, 76);
        lines += '\n';
    }
    return lines;
}

QByteArray quotedFileName(const QString &name)
{
    QByteArray bytes = headerText(name).toUtf8();
    bytes.replace('\\', "\\\\");
    bytes.replace('"', "\\\"");
    return '"' + bytes + '"';
}

int checkAttachments(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.exists() || !info.isFile())
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    }
    return SUCCESS_SUCCESS;
}

} // namespace

QString MapiErrorText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("User Abort");
    case 2:
        return QStringLiteral("General Failure");
    case 3:
        return QStringLiteral("Login Failure");
    case 4:
        return QStringLiteral("Disk Full");
    case 5:
        return QStringLiteral("Insufficient Memory");
    case 6:
        return QStringLiteral("Access Denied");
    case 8:
        return QStringLiteral("Too Many Sessions");
    case 9:
        return QStringLiteral("Too Many Files");
    case 10:
        return QStringLiteral("Too Many Recipients");
    case 11:
        return QStringLiteral("Attachment Not Found");
    case 12:
        return QStringLiteral("Attachment Open Failure");
    case 13:
        return QStringLiteral("Attachment Write Failure");
    case 14:
        return QStringLiteral("Unknown Recipient");
    case 15:
        return QStringLiteral("Bad Recipient Type");
    case 16:
        return QStringLiteral("No Messages");
    case 17:
        return QStringLiteral("Invalid Message");
    case 18:
        return QStringLiteral("Text Too Large");
    case 19:
        return QStringLiteral("Invalid Session");
    case 20:
        return QStringLiteral("Type Not Supported");
    case 21:
        return QStringLiteral("Ambiguous Recipient");
    case 22:
        return QStringLiteral("Message In Use");
    case 23:
        return QStringLiteral("Network Failure");
    case 24:
        return QStringLiteral("Invalid Edit Fields");
    case 25:
        return QStringLiteral("Invalid Recipients");
    case 26:
        return QStringLiteral("Feature Not Supported");
    default:
        return QStringLiteral("Unknown Error");
    }
}

EMapiUserAbort::EMapiUserAbort() : TasklumeError(MapiErrorText(MAPI_USER_ABORT)) {}

QString NoMailToolAdvice()
{
    return QStringLiteral("E-mail cannot be sent: the program \"xdg-email\" is missing. Install "
                          "the package \"xdg-utils\" and set up a mail client, then try again.");
}

QString NoMailClientAdvice()
{
    return QStringLiteral("E-mail cannot be sent: no mail client is set up on this desktop. "
                          "Install a mail client (such as Thunderbird or Evolution) and choose it "
                          "as the default application for e-mail, then try again.");
}

EMapiError::EMapiError(int code)
    : TasklumeError(QStringLiteral("MAPI: %1. ErrorCode = %2").arg(MapiErrorText(code)).arg(code)),
      ErrorCode(code)
{}

void RaiseMapiError(int code)
{
    if (code == MAPI_USER_ABORT)
        throw EMapiUserAbort();
    throw EMapiError(code);
}

QString BareAddress(const QString &text)
{
    QString address = text.trimmed();
    const qsizetype open = address.lastIndexOf(QLatin1Char('<'));
    const qsizetype close = address.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && close > open)
        address = address.mid(open + 1, close - open - 1).trimmed();
    if (address.startsWith(QStringLiteral("SMTP:"), Qt::CaseInsensitive))
        address = address.mid(5);
    return address;
}

QByteArray MimeMessage(const TMapiMessage &message, const QByteArray &boundary)
{
    QByteArray to, cc;
    for (const TMapiRecipient &recipient : message.recipients) {
        QByteArray &line = recipient.recipClass == 1 ? to : cc;
        if (recipient.recipClass == 3)
            continue; // blind copies go on the envelope only
        if (!line.isEmpty())
            line += ", ";
        line += encodedWord(recipient.name == BareAddress(recipient.address)
                                ? recipient.name
                                : recipient.name + QStringLiteral(" <") +
                                      BareAddress(recipient.address) + QLatin1Char('>'));
    }
    QByteArray mime;
    if (!to.isEmpty())
        mime += "To: " + to + '\n';
    if (!cc.isEmpty())
        mime += "Cc: " + cc + '\n';
    mime += "Subject: " + encodedWord(message.subject) + '\n';
    mime += "MIME-Version: 1.0\n";
    mime += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\n\n";
    mime += "--" + boundary + '\n';
    mime += "Content-Type: text/plain; charset=UTF-8\n";
    mime += "Content-Transfer-Encoding: base64\n\n";
    mime += base64Lines(message.noteText.toUtf8());
    for (const QString &path : message.attachments) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue; // checked before; a file gone since is left out
        const QString name = QFileInfo(path).fileName();
        const QString suffix = QFileInfo(path).suffix().toLower();
        const QByteArray type = suffix == QStringLiteral("html") || suffix == QStringLiteral("htm")
                                    ? "text/html"
                                : suffix == QStringLiteral("txt") ? "text/plain"
                                                                  : "application/octet-stream";
        mime += "--" + boundary + '\n';
        mime += "Content-Type: " + type + "; name=" + quotedFileName(name) + '\n';
        mime += "Content-Transfer-Encoding: base64\n";
        mime += "Content-Disposition: attachment; filename=" + quotedFileName(name) + "\n\n";
        mime += base64Lines(file.readAll());
    }
    mime += "--" + boundary + "--\n";
    return mime;
}

// ---- component --------------------------------------------------------------------------

TWySendMessage::TWySendMessage(QObject *parent) : QObject(parent) {}

TWySendMessage::~TWySendMessage()
{
    try {
        Logoff();
    } catch (const std::exception &) {
        // Nothing to report while going.
    }
    // A compose window still open stays: only the small shell it was started from ends.
    for (QProcess *process : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        process->disconnect();
        process->kill();
        process->waitForFinished(1000);
    }
}

QPlainTextEdit *TWySendMessage::MessageMemo() const
{
    return m_memo.data();
}

void TWySendMessage::setMessageMemo(QPlainTextEdit *edit)
{
    m_memo = edit;
}

QLineEdit *TWySendMessage::SubjectEdit() const
{
    return m_subjectEdit.data();
}

void TWySendMessage::setSubjectEdit(QLineEdit *edit)
{
    m_subjectEdit = edit;
}

void TWySendMessage::ClearLists()
{
    m_attachments.clear();
    m_to.clear();
    m_cc.clear();
    m_bcc.clear();
    m_text.clear();
}

void TWySendMessage::Logon()
{
    // There are no profiles here: a session is open when there is a transport to use.
    if (findMailClient().isEmpty() && findSendmail().isEmpty())
        throw EMapiNoMailSystem(NoMailToolAdvice());
    static quintptr lastHandle = 0;
    m_session = ++lastHandle;
    ++m_logons;
}

void TWySendMessage::Logoff()
{
    m_session = 0;
}

TMapiMessage TWySendMessage::buildMessage()
{
    if (m_memo) {
        QString text = m_memo->toPlainText();
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1); // a closing line break starts no line of its own
        m_text = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    TMapiMessage message;
    message.messageType = QStringLiteral("Text/HTML");
    for (const QString &line : std::as_const(m_text))
        message.noteText += line + QStringLiteral("\r\n");
    message.subject = m_subjectEdit ? m_subjectEdit->text() : m_subject;

    const QList<std::pair<const QStringList *, int>> lists{{&m_to, 1}, {&m_cc, 2}, {&m_bcc, 3}};
    for (const auto &[list, recipClass] : lists) {
        for (const QString &text : *list) {
            if (text.size() > kMaxRecipientLength)
                RaiseMapiError(MAPI_E_INVALID_RECIPS);
            if (m_resolveNames) {
                // Resolving finds the address in the text; a text without one is unknown.
                const QString address = BareAddress(text);
                if (address.isEmpty())
                    RaiseMapiError(MAPI_E_UNKNOWN_RECIPIENT);
                const qsizetype open = text.lastIndexOf(QLatin1Char('<'));
                const QString name = open > 0 ? text.left(open).trimmed() : text.trimmed();
                message.recipients.append({name.isEmpty() ? address : name,
                                           QStringLiteral("SMTP:") + address, recipClass});
            } else {
                message.recipients.append({text, QStringLiteral("SMTP:") + text, recipClass});
            }
        }
    }
    for (const QString &path : std::as_const(m_attachments))
        message.attachments.append(QFileInfo(path).absoluteFilePath());
    message.showDialog = m_review || m_to.isEmpty();
    return message;
}

void TWySendMessage::Send()
{
    const bool gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    if (gui)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const QString directory = QDir::currentPath();
    m_handOffGoesOn = false;
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(directory);
        if (gui)
            QGuiApplication::restoreOverrideCursor();
        if (!m_handOffGoesOn)
            Q_EMIT HandOffEnded();
    });

    if (m_session == 0)
        Logon();
    m_last = buildMessage();
    const int code = transmit(m_last);
    if (code > 0)
        RaiseMapiError(code);
}

int TWySendMessage::transmit(const TMapiMessage &message)
{
    if (const int code = checkAttachments(message.attachments))
        return code;
    if (!message.showDialog) {
        const QString program = findSendmail();
        if (!program.isEmpty())
            return sendmail(program, message);
    }
    return composeWindow(message);
}

bool TWySendMessage::waitFor(QProcess *process, int timeout)
{
    if (process->state() == QProcess::NotRunning)
        return true;
    QEventLoop loop;
    connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeout);
    if (process->state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return process->state() == QProcess::NotRunning;
}

int TWySendMessage::composeWindow(const TMapiMessage &message)
{
    const QString client = findMailClient();
    if (client.isEmpty())
        throw EMapiNoMailSystem(NoMailToolAdvice());

    QStringList arguments{QStringLiteral("--utf8")};
    for (const TMapiRecipient &recipient : message.recipients) {
        static const QString options[] = {QStringLiteral("--to"), QStringLiteral("--cc"),
                                          QStringLiteral("--bcc")};
        arguments << options[qBound(1, recipient.recipClass, 3) - 1]
                  << BareAddress(recipient.address);
    }
    if (!message.subject.isEmpty())
        arguments << QStringLiteral("--subject") << message.subject;
    if (!message.noteText.isEmpty())
        arguments << QStringLiteral("--body") << message.noteText;
    for (const QString &path : message.attachments)
        arguments << QStringLiteral("--attach") << path;

    // The client runs under a small shell, so that a compose window still open when this
    // component goes is not taken down with it.
    auto *process = new QProcess(this);
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments(
        QStringList{QStringLiteral("-c"), QStringLiteral("\"$0\" \"$@\"; exit $?"), client} +
        arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        return MAPI_USER_ABORT;
    }
    if (!waitFor(process, handOffTimeout)) {
        // The client holds the message and the user decides about it.
        m_handOffGoesOn = true;
        connect(process, &QProcess::finished, this, &TWySendMessage::HandOffEnded);
        connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return SUCCESS_SUCCESS;
    }
    const bool normalExit = process->exitStatus() == QProcess::NormalExit;
    const int exitCode = process->exitCode();
    delete process;
    return normalExit ? mailClientResult(exitCode) : MAPI_E_FAILURE;
}

int TWySendMessage::sendmail(const QString &program, const TMapiMessage &message)
{
    QStringList arguments{QStringLiteral("-i"), QStringLiteral("--")};
    for (const TMapiRecipient &recipient : message.recipients)
        arguments << BareAddress(recipient.address);
    const QByteArray boundary =
        "=_tasklume_" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted())
        return MAPI_E_FAILURE;
    process.write(MimeMessage(message, boundary));
    process.closeWriteChannel();
    if (!waitFor(&process, kSendmailTimeout)) {
        process.kill();
        process.waitForFinished();
        return MAPI_E_FAILURE;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return MAPI_E_FAILURE;
    switch (process.exitCode()) {
    case 0:
        return SUCCESS_SUCCESS;
    case kExNoUser:
    case kExNoHost:
        return MAPI_E_UNKNOWN_RECIPIENT;
    default:
        return MAPI_E_FAILURE;
    }
}
