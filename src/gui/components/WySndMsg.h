// TWySendMessage: hands a message with its attachments to the desktop's mail client. The
// compose window (through xdg-email) lets the user address, edit, send or abandon it; with
// Review off and recipients given the message goes out through the local sendmail instead,
// when there is one. Failures raise EMapiUserAbort (code 1) or EMapiError (every other code
// of the Simple MAPI result table).
#pragma once

#include "common/pU_Funcs.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLineEdit;
class QPlainTextEdit;
class QProcess;

// Result codes of the mail hand-off.
enum MapiCode
{
    SUCCESS_SUCCESS = 0,
    MAPI_USER_ABORT = 1,
    MAPI_E_FAILURE = 2,
    MAPI_E_LOGIN_FAILURE = 3,
    MAPI_E_INSUFFICIENT_MEMORY = 5,
    MAPI_E_ATTACHMENT_NOT_FOUND = 11,
    MAPI_E_ATTACHMENT_OPEN_FAILURE = 12,
    MAPI_E_UNKNOWN_RECIPIENT = 14,
    MAPI_E_INVALID_RECIPS = 25,
};

// The text of a result code ("Unknown Error" for any code outside the table).
QString MapiErrorText(int code);

// Code 1: the user abandoned the message, or there is no mail client.
class EMapiUserAbort : public TasklumeError
{
public:
    EMapiUserAbort();
};

// Code 1 too, when the desktop has no way to send mail at all: Advice tells the user what is
// missing and what to install or set up. A user who abandons the message raises the plain
// user abort instead.
class EMapiNoMailSystem : public EMapiUserAbort
{
public:
    explicit EMapiNoMailSystem(QString advice) : Advice(std::move(advice)) {}
    QString Advice;
};

// The advice when xdg-email is missing, and when it finds no mail client set up.
QString NoMailToolAdvice();
QString NoMailClientAdvice();

// Every other code: "MAPI: <text>. ErrorCode = <code>".
class EMapiError : public TasklumeError
{
public:
    explicit EMapiError(int code);
    int ErrorCode;
};

// Raises the exception of a code above 0.
[[noreturn]] void RaiseMapiError(int code);

// One recipient of a message as handed to the transport.
struct TMapiRecipient
{
    QString name;
    QString address;    // "SMTP:" and the address
    int recipClass = 1; // 1 to, 2 copy, 3 blind copy
    bool operator==(const TMapiRecipient &other) const = default;
};

// The message Send builds from the properties.
struct TMapiMessage
{
    QString messageType;
    QString subject;
    QString noteText; // the body lines, each followed by CR LF
    QList<TMapiRecipient> recipients;
    QStringList attachments; // absolute paths
    bool showDialog = true;  // the user sees the compose window
};

class TWySendMessage : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList Attachments READ Attachments WRITE setAttachments)
    Q_PROPERTY(QStringList ToRecipients READ ToRecipients WRITE setToRecipients)
    Q_PROPERTY(QStringList CcRecipients READ CcRecipients WRITE setCcRecipients)
    Q_PROPERTY(QStringList BccRecipients READ BccRecipients WRITE setBccRecipients)
    Q_PROPERTY(QStringList MessageText READ MessageText WRITE setMessageText)
    Q_PROPERTY(QString Subject READ Subject WRITE setSubject)
    Q_PROPERTY(QString ProfileName READ ProfileName WRITE setProfileName)
    Q_PROPERTY(QString Password READ Password WRITE setPassword)
    Q_PROPERTY(bool Review READ Review WRITE setReview)
    Q_PROPERTY(bool ResolveNames READ ResolveNames WRITE setResolveNames)
public:
    explicit TWySendMessage(QObject *parent = nullptr);
    // Ends the session.
    ~TWySendMessage() override;

    // The five lists: setting one copies the given lines; the reference adds to it.
    QStringList &Attachments() { return m_attachments; }
    const QStringList &Attachments() const { return m_attachments; }
    void setAttachments(const QStringList &lines) { m_attachments = lines; }
    QStringList &ToRecipients() { return m_to; }
    const QStringList &ToRecipients() const { return m_to; }
    void setToRecipients(const QStringList &lines) { m_to = lines; }
    QStringList &CcRecipients() { return m_cc; }
    const QStringList &CcRecipients() const { return m_cc; }
    void setCcRecipients(const QStringList &lines) { m_cc = lines; }
    QStringList &BccRecipients() { return m_bcc; }
    const QStringList &BccRecipients() const { return m_bcc; }
    void setBccRecipients(const QStringList &lines) { m_bcc = lines; }
    QStringList &MessageText() { return m_text; }
    const QStringList &MessageText() const { return m_text; }
    void setMessageText(const QStringList &lines) { m_text = lines; }

    // A multi-line edit whose lines replace MessageText at send time; dropped when the edit
    // is destroyed.
    QPlainTextEdit *MessageMemo() const;
    void setMessageMemo(QPlainTextEdit *edit);
    // A one-line edit whose text is the subject instead of Subject.
    QLineEdit *SubjectEdit() const;
    void setSubjectEdit(QLineEdit *edit);

    const QString &Subject() const { return m_subject; }
    void setSubject(const QString &subject) { m_subject = subject; }
    const QString &ProfileName() const { return m_profileName; }
    void setProfileName(const QString &name) { m_profileName = name; }
    const QString &Password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }
    bool Review() const { return m_review; }
    void setReview(bool review) { m_review = review; }
    bool ResolveNames() const { return m_resolveNames; }
    void setResolveNames(bool resolve) { m_resolveNames = resolve; }

    // Empties the five lists; Subject stays.
    void ClearLists();
    // Opens a mail session; raises on failure (code 1 when there is no mail transport).
    void Logon();
    // Ends the session if one is open; the handle is 0 afterwards.
    void Logoff();
    // Sends one message built from the properties, opening a session first when none is
    // open. Raises on failure.
    void Send();

    // The session handle, 0 while no session is open.
    quintptr session() const { return m_session; }
    // The number of logons so far.
    int logonCount() const { return m_logons; }
    // The message as the last Send built it.
    const TMapiMessage &lastMessage() const { return m_last; }
    // Builds the message from the properties (the steps of Send before the hand-off).
    // Raises on a recipient that cannot be taken.
    TMapiMessage buildMessage();

    // How long Send waits for the mail client to take the message before it leaves the
    // compose window to the user and returns (milliseconds).
    int handOffTimeout = 15000;

Q_SIGNALS:
    // The mail program has the message of the last Send, or the hand-off failed: the
    // attachments are no longer needed by this component. Comes at the end of Send, or
    // later when the mail client was still taking the message when Send returned.
    void HandOffEnded();

private:
    int transmit(const TMapiMessage &message);
    int composeWindow(const TMapiMessage &message);
    int sendmail(const QString &program, const TMapiMessage &message);
    // Waits for the process in a loop that keeps timers and painting going but takes no
    // input. True when it ended within the time.
    static bool waitFor(QProcess *process, int timeout);

    QStringList m_attachments, m_to, m_cc, m_bcc, m_text;
    QPointer<QPlainTextEdit> m_memo;
    QPointer<QLineEdit> m_subjectEdit;
    QString m_subject, m_profileName, m_password;
    bool m_review = true;
    bool m_resolveNames = true;
    quintptr m_session = 0;
    int m_logons = 0;
    TMapiMessage m_last;
    bool m_handOffGoesOn = false; // the mail client still takes the message after Send
};

// The message text sendmail reads: headers, the body and the attachments as MIME parts.
QByteArray MimeMessage(const TMapiMessage &message, const QByteArray &boundary);
// The bare address of a recipient text: the part in angle brackets, without "SMTP:".
QString BareAddress(const QString &text);
