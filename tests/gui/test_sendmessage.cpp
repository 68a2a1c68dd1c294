// TWySendMessage: its errors and their texts, the message it builds from its properties, and
// the hand-off to stand-ins of xdg-email and sendmail that record their exact arguments.
#include "components/WySndMsg.h"
#include "MailStandIn.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>

using namespace TestSupport;

namespace {

// The code an exception of the component carries (1 for the user abort).
int codeOf(const std::function<void()> &call, QString *message = nullptr)
{
    try {
        call();
    } catch (const EMapiUserAbort &abort) {
        if (message)
            *message = abort.text();
        return 1;
    } catch (const EMapiError &error) {
        if (message)
            *message = error.text();
        return error.ErrorCode;
    }
    return 0;
}

bool systemSendmail()
{
    return !QStandardPaths::findExecutable(QStringLiteral("sendmail"), {QStringLiteral("/usr/sbin"),
                                                                        QStringLiteral("/usr/lib")})
                .isEmpty();
}

} // namespace

class TestSendMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void errorTexts_data();
    void errorTexts();
    void clearListsKeepsSubject();
    void recipientsInClassOrder_data();
    void recipientsInClassOrder();
    void overlongRecipientIsInvalid();
    void linkedEditsReplaceProperties();
    void composeWindowUnlessReviewOffWithRecipients_data();
    void composeWindowUnlessReviewOffWithRecipients();
    void handsExactArgumentsToMailClient();
    void mailClientResults_data();
    void mailClientResults();
    void missingAttachmentIsNotHandedOn();
    void noMailClientIsUserAbortAndNextSendTriesAgain();
    void sessionIsReused();
    void reviewOffSendsThroughSendmail();
    void clientStillOpenLeavesMessageToUser();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    QString m_html;
    QString m_wyx;
};

void TestSendMessage::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_html = m_folder->file(QStringLiteral("Tasks.html"));
    m_wyx = m_folder->file(QStringLiteral("Tasks.wyx"));
    writeFile(m_html, "<html><body>\r\n</body></html>\r\n");
    writeFile(m_wyx, QByteArray("\x08\0\0\0\0\0\0\0x", 9));
}

void TestSendMessage::cleanup()
{
    m_folder.reset();
}

void TestSendMessage::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("1") << 1 << "User Abort";
    QTest::newRow("2") << 2 << "MAPI: General Failure. ErrorCode = 2";
    QTest::newRow("3") << 3 << "MAPI: Login Failure. ErrorCode = 3";
    QTest::newRow("6") << 6 << "MAPI: Access Denied. ErrorCode = 6";
    QTest::newRow("7 is unknown") << 7 << "MAPI: Unknown Error. ErrorCode = 7";
    QTest::newRow("11") << 11 << "MAPI: Attachment Not Found. ErrorCode = 11";
    QTest::newRow("12") << 12 << "MAPI: Attachment Open Failure. ErrorCode = 12";
    QTest::newRow("14") << 14 << "MAPI: Unknown Recipient. ErrorCode = 14";
    QTest::newRow("21") << 21 << "MAPI: Ambiguous Recipient. ErrorCode = 21";
    QTest::newRow("25") << 25 << "MAPI: Invalid Recipients. ErrorCode = 25";
    QTest::newRow("26") << 26 << "MAPI: Feature Not Supported. ErrorCode = 26";
    QTest::newRow("27") << 27 << "MAPI: Unknown Error. ErrorCode = 27";
}

void TestSendMessage::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QString text;
    QCOMPARE(codeOf([&] { RaiseMapiError(code); }, &text), code);
    QCOMPARE(text, message);
}

void TestSendMessage::clearListsKeepsSubject()
{
    TWySendMessage mail;
    const QStringList lines{QStringLiteral("a"), QStringLiteral("b")};
    mail.setAttachments(lines);
    mail.setToRecipients(lines);
    mail.setCcRecipients(lines);
    mail.setBccRecipients(lines);
    mail.setMessageText(lines);
    mail.setProperty("Subject", QStringLiteral("Hello"));
    QCOMPARE(mail.property("ToRecipients").toStringList(), lines);
    mail.ClearLists();
    for (const char *list :
         {"Attachments", "ToRecipients", "CcRecipients", "BccRecipients", "MessageText"})
        QVERIFY2(mail.property(list).toStringList().isEmpty(), list);
    QCOMPARE(mail.Subject(), QStringLiteral("Hello"));
}

void TestSendMessage::recipientsInClassOrder_data()
{
    QTest::addColumn<bool>("resolve");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("toName");
    QTest::addColumn<QString>("toAddress");
    QTest::newRow("names taken as they are") << false << "ann"
                                             << "ann"
                                             << "SMTP:ann";
    QTest::newRow("resolved address") << true << "ann@example.org"
                                      << "ann@example.org"
                                      << "SMTP:ann@example.org";
    QTest::newRow("resolved name and address") << true << "Ann Lee <ann@example.org>"
                                               << "Ann Lee"
                                               << "SMTP:ann@example.org";
}

void TestSendMessage::recipientsInClassOrder()
{
    QFETCH(bool, resolve);
    QFETCH(QString, to);
    QFETCH(QString, toName);
    QFETCH(QString, toAddress);
    TWySendMessage mail;
    mail.setResolveNames(resolve);
    mail.setBccRecipients({QStringLiteral("carl@example.org")});
    mail.setCcRecipients({QStringLiteral("bob@example.org")});
    mail.setToRecipients({to});
    mail.setAttachments({QStringLiteral("Tasks.html")});
    const TMapiMessage message = mail.buildMessage();
    const QList<TMapiRecipient> expected{
        {toName, toAddress, 1},
        {QStringLiteral("bob@example.org"), QStringLiteral("SMTP:bob@example.org"), 2},
        {QStringLiteral("carl@example.org"), QStringLiteral("SMTP:carl@example.org"), 3},
    };
    QCOMPARE(message.recipients.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(message.recipients.at(i) == expected.at(i),
                 qPrintable(message.recipients.at(i).name + QLatin1Char(' ') +
                            message.recipients.at(i).address));
    // Attachments are made absolute.
    QCOMPARE(message.attachments,
             QStringList{QDir::current().absoluteFilePath(QStringLiteral("Tasks.html"))});
}

void TestSendMessage::overlongRecipientIsInvalid()
{
    TWySendMessage mail;
    mail.setToRecipients({QString(256, QLatin1Char('a'))});
    QCOMPARE(codeOf([&] { mail.buildMessage(); }), 25);
    mail.setToRecipients({QString(255, QLatin1Char('a'))});
    QCOMPARE(codeOf([&] { mail.buildMessage(); }), 0);
    mail.setToRecipients({QStringLiteral("   ")});
    QCOMPARE(codeOf([&] { mail.buildMessage(); }), 14);
}

void TestSendMessage::linkedEditsReplaceProperties()
{
    TWySendMessage mail;
    mail.setSubject(QStringLiteral("Property"));
    mail.setMessageText({QStringLiteral("from the property")});
    auto *memo = new QPlainTextEdit;
    auto *subject = new QLineEdit;
    memo->setPlainText(QStringLiteral("first\nsecond"));
    subject->setText(QStringLiteral("From the edit"));
    mail.setMessageMemo(memo);
    mail.setSubjectEdit(subject);
    TMapiMessage message = mail.buildMessage();
    QCOMPARE(message.subject, QStringLiteral("From the edit"));
    QCOMPARE(message.noteText, QStringLiteral("first\r\nsecond\r\n"));
    QCOMPARE(mail.MessageText(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    QCOMPARE(message.messageType, QStringLiteral("Text/HTML"));

    // A destroyed edit is dropped; the properties count again.
    delete memo;
    delete subject;
    QCOMPARE(mail.MessageMemo(), nullptr);
    QCOMPARE(mail.SubjectEdit(), nullptr);
    mail.setMessageText({QStringLiteral("again")});
    message = mail.buildMessage();
    QCOMPARE(message.subject, QStringLiteral("Property"));
    QCOMPARE(message.noteText, QStringLiteral("again\r\n"));
}

void TestSendMessage::composeWindowUnlessReviewOffWithRecipients_data()
{
    QTest::addColumn<bool>("review");
    QTest::addColumn<bool>("recipients");
    QTest::addColumn<bool>("showDialog");
    QTest::newRow("review, no recipients") << true << false << true;
    QTest::newRow("review, recipients") << true << true << true;
    QTest::newRow("no review, no recipients") << false << false << true;
    QTest::newRow("no review, recipients") << false << true << false;
}

void TestSendMessage::composeWindowUnlessReviewOffWithRecipients()
{
    QFETCH(bool, review);
    QFETCH(bool, recipients);
    QFETCH(bool, showDialog);
    TWySendMessage mail;
    mail.setReview(review);
    if (recipients)
        mail.setToRecipients({QStringLiteral("ann@example.org")});
    QCOMPARE(mail.buildMessage().showDialog, showDialog);

    // Without a sendmail the compose window takes every message.
    MailStandIn standIn;
    mail.Attachments() << m_html;
    QCOMPARE(codeOf([&] { mail.Send(); }), 0);
    QVERIFY(standIn.called());
}

void TestSendMessage::handsExactArgumentsToMailClient()
{
    MailStandIn standIn;
    TWySendMessage mail;
    mail.setSubject(QStringLiteral("To-Do List \u2713"));
    mail.MessageText() << QStringLiteral("Tasks.html: one") << QStringLiteral("Tasks.wyx: two");
    mail.Attachments() << m_html << m_wyx;
    mail.ToRecipients() << QStringLiteral("Ann <ann@example.org>");
    mail.CcRecipients() << QStringLiteral("-bob@example.org");
    mail.BccRecipients() << QStringLiteral("carl@example.org");
    mail.Send();
    QCOMPARE(standIn.arguments(),
             (QStringList{QStringLiteral("--utf8"), QStringLiteral("--to"),
                          QStringLiteral("ann@example.org"), QStringLiteral("--cc"),
                          QStringLiteral("-bob@example.org"), QStringLiteral("--bcc"),
                          QStringLiteral("carl@example.org"), QStringLiteral("--subject"),
                          QStringLiteral("To-Do List \u2713"), QStringLiteral("--body"),
                          QStringLiteral("Tasks.html: one\r\nTasks.wyx: two\r\n"),
                          QStringLiteral("--attach"), m_html, QStringLiteral("--attach"), m_wyx}));
}

void TestSendMessage::mailClientResults_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("code");
    QTest::newRow("sent or handed over") << 0 << 0;
    QTest::newRow("syntax error") << 1 << 2;
    QTest::newRow("file missing") << 2 << 11;
    QTest::newRow("no mail client") << 3 << 1;
    QTest::newRow("client failed or abandoned") << 4 << 1;
    QTest::newRow("file unreadable") << 5 << 12;
    QTest::newRow("other") << 9 << 2;
}

void TestSendMessage::mailClientResults()
{
    QFETCH(int, exitCode);
    QFETCH(int, code);
    MailStandIn standIn(true, false, exitCode);
    TWySendMessage mail;
    mail.Attachments() << m_html;
    QCOMPARE(codeOf([&] { mail.Send(); }), code);
    QVERIFY(standIn.called());
}

void TestSendMessage::missingAttachmentIsNotHandedOn()
{
    MailStandIn standIn;
    TWySendMessage mail;
    mail.Attachments() << m_html << m_folder->file(QStringLiteral("gone.wyx"));
    QCOMPARE(codeOf([&] { mail.Send(); }), 11);
    QVERIFY(!standIn.called());
}

void TestSendMessage::noMailClientIsUserAbortAndNextSendTriesAgain()
{
    TWySendMessage mail;
    mail.Attachments() << m_html;
    {
        MailStandIn nothing(false);
        QString text;
        QCOMPARE(codeOf([&] { mail.Send(); }, &text), 1);
        QCOMPARE(text, QStringLiteral("User Abort"));
        if (!systemSendmail())
            QCOMPARE(mail.session(), quintptr(0)); // the failed logon left no session
    }
    MailStandIn standIn;
    QCOMPARE(codeOf([&] { mail.Send(); }), 0);
    QVERIFY(standIn.called());
    QVERIFY(mail.session() != 0);
}

void TestSendMessage::sessionIsReused()
{
    MailStandIn standIn;
    TWySendMessage mail;
    QCOMPARE(mail.session(), quintptr(0));
    mail.Send();
    const quintptr session = mail.session();
    QVERIFY(session != 0);
    mail.Send();
    QCOMPARE(mail.session(), session);
    QCOMPARE(mail.logonCount(), 1);
    mail.Logoff();
    QCOMPARE(mail.session(), quintptr(0));
    mail.Send();
    QCOMPARE(mail.logonCount(), 2);
}

void TestSendMessage::reviewOffSendsThroughSendmail()
{
    MailStandIn standIn(true, true);
    TWySendMessage mail;
    mail.setReview(false);
    mail.setSubject(QStringLiteral("Memos"));
    mail.MessageText() << QStringLiteral("Memos.html: body");
    mail.ToRecipients() << QStringLiteral("Ann <ann@example.org>");
    mail.BccRecipients() << QStringLiteral("carl@example.org");
    mail.Attachments() << m_html;
    mail.Send();
    QVERIFY(!standIn.called(QStringLiteral("xdg-email")));
    QCOMPARE(standIn.arguments(QStringLiteral("sendmail")),
             (QStringList{QStringLiteral("-i"), QStringLiteral("--"),
                          QStringLiteral("ann@example.org"), QStringLiteral("carl@example.org")}));
    const QByteArray input = standIn.sendmailInput();
    QVERIFY2(input.startsWith("To: Ann <ann@example.org>\nSubject: Memos\nMIME-Version: 1.0\n"),
             input.constData());
    QVERIFY(!input.contains("carl@")); // blind copies stay off the headers
    QVERIFY(input.contains(QByteArray("Memos.html: body\r\n").toBase64()));
    QVERIFY(input.contains("Content-Disposition: attachment; filename=\"Tasks.html\""));
    QVERIFY(input.contains(readFile(m_html).toBase64()));
}

void TestSendMessage::clientStillOpenLeavesMessageToUser()
{
    // A mail client that keeps running (the compose window is open) gets the message; Send
    // returns after its wait and the client is left running.
    auto mail = std::make_unique<TWySendMessage>();
    mail->handOffTimeout = 300;
    MailStandIn standIn(true, false, 0, 3);
    mail->Attachments() << m_html;
    QCOMPARE(codeOf([&] { mail->Send(); }), 0);
    QVERIFY(standIn.called());
    QVERIFY(!standIn.finished());
    mail.reset(); // going away does not take the client down
    QTRY_VERIFY_WITH_TIMEOUT(standIn.finished(), 10000);
}

QTEST_MAIN(TestSendMessage)
#include "test_sendmessage.moc"
