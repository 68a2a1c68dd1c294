#include "ListReports.h"

#include "memos/MemoInfo.h"
#include "tasks/TaskInfo.h"

namespace Reports {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kRule = QStringLiteral("---------------------------------"); // 33 hyphens

// ---- HTML pieces of the to-do list ------------------------------------------------------

const QString kTaskHead[] = {
    QStringLiteral("<html><body>"),
    QStringLiteral("<h1>To-Do List</h1>"),
    QStringLiteral("<table style=\"width: 100%; padding: 0; margin: 0;\" cellspacing=\"0\">"),
    QStringLiteral("<tr><th scope=\"col\" style=\"color: #4f6b72; border-right: 1px solid "
                   "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-top: 1px solid "
                   "#C1DAD7;\ttext-align: left;\tpadding: 6px 6px 6px 12px;\tbackground: "
                   "#CAE8EA;\" >Task Content</th>"),
    QStringLiteral("<th scope=\"col\" style=\"color: #4f6b72; border-right: 1px solid "
                   "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-top: 1px solid "
                   "#C1DAD7;\ttext-align: left;\tpadding: 6px 6px 6px 12px;\tbackground: "
                   "#CAE8EA;\" >Status</th>"),
    QStringLiteral("<th scope=\"col\" style=\"color: #4f6b72; border-right: 1px solid "
                   "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-top: 1px solid "
                   "#C1DAD7;\ttext-align: left;\tpadding: 6px 6px 6px 12px;\tbackground: "
                   "#CAE8EA;\" >Due Date</th></tr>"),
};

struct TaskStripe
{
    QString row;
    QString cell;
};

const TaskStripe kTaskStripeA{
    QStringLiteral("<tr><th scope=\"row\" style=\"color: #000000; border-right: 1px solid "
                   "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                   "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                   "12px;\tbackground: #F3F3FA; font-weight: normal;\">"),
    QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                   "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #F3F3FA;\">"),
};
const TaskStripe kTaskStripeB{
    QStringLiteral("<tr><th scope=\"row\" style=\"color: #000000; border-right: 1px solid "
                   "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                   "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                   "12px;\tbackground: #F5FFE8; font-weight: normal;\">"),
    QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                   "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #F5FFE8;\">"),
};
const TaskStripe kTaskStripeChild{
    QStringLiteral("<tr><th scope=\"row\" style=\"color: #797268; border-right: 1px solid "
                   "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                   "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                   "32px;\tbackground: #ffffff; font-size: 90%; font-weight: normal;\">"),
    QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                   "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #ffffff; color: #797268; "
                   "font-size: 90%;\">"),
};

// ---- HTML pieces of the memo list -------------------------------------------------------

const QString kMemoHead[] = {
    QStringLiteral("<html><body>"),
    QStringLiteral("<h1>Memos</h1>"),
    QStringLiteral("<hr style=\"background: #666;color: #666;height: 1px; margin: 0 5px 0 "
                   "5px;\"></>"),
    QStringLiteral("<ul style=\"list-style-type: disc; font-size: 105%;\">"),
};
const QString kMemoItemA = QStringLiteral(
    "<li><p style=\"margin: 4px 0 4px 0; padding: 0 0 0 10px; background: #F3F3FA;\">");
const QString kMemoItemB = QStringLiteral(
    "<li><p style=\"margin: 4px 0 4px 0; padding: 0 0 0 10px; background: #D1E9E9;\">");
const QString kMemoChildList =
    QStringLiteral("<ul style=\"list-style-type: circle; margin: 0 0 5px 15px; font-size: 95%;\">");
const QString kMemoChildA =
    QStringLiteral("<li><p style=\"margin: 2px 0 2px 0; padding: 0 0 0 10; background: #fff;\">");
const QString kMemoChildB = QStringLiteral(
    "<li><p style=\"margin: 2px 0 2px 0; padding: 0 0 0 10; background: #F5FFE8;\">");
const QString kItemEnd = QStringLiteral("</p></li>");
const QString kListEnd = QStringLiteral("</ul>");

// ---- helpers ----------------------------------------------------------------------------

// Collects lines; each ends with CR LF, the last one too.
class Lines
{
public:
    Lines &operator<<(const QString &line)
    {
        m_text += line;
        m_text += kCrLf;
        return *this;
    }
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

// Line breaks of an item's text in the text report: the next line is indented.
QString indentedText(const QString &content, int indent)
{
    QString text = content;
    text.replace(kCrLf, kCrLf + QString(indent, QLatin1Char(' ')));
    return text;
}

// Line breaks of an item's text in the HTML report. Nothing else is changed: the text may
// carry its own markup.
QString htmlText(const QString &content)
{
    QString text = content;
    text.replace(kCrLf, QStringLiteral("<br> "));
    return text;
}

const TTaskInfo &taskOf(const Entry &entry)
{
    return *entry.node->as<TTaskInfo>();
}

QString taskSuffixes(const TTaskInfo &task)
{
    QString text = task.checkFlag ? QStringLiteral(" - completed at ") + FormatDate(task.checkTime)
                                  : QStringLiteral(" - Incomplete");
    if (task.dueFlag)
        text += QStringLiteral(" - Due Date ") + FormatDate(task.dueTime);
    return text;
}

QString summary(ListKind kind, const Entries &entries, const Stamp &stamp)
{
    const bool tasks = kind == ListKind::Tasks;
    return (tasks ? QStringLiteral("Tasks ") : QStringLiteral("Memos ")) +
           QString::number(entries.mainCount) +
           (tasks ? QStringLiteral(", Child Tasks ") : QStringLiteral(", Child Memos ")) +
           QString::number(entries.childCount) + QStringLiteral(" - ") + stamp.timeStamp;
}

QString signature(const Stamp &stamp)
{
    return QStringLiteral("By Ploxen Tasklume ") + stamp.version;
}

QString linkLine(const Stamp &stamp)
{
    return QStringLiteral("<p><a href=\"") + stamp.productPage + QStringLiteral("?s-f\">") +
           stamp.productPage + QStringLiteral("</a></p>");
}

} // namespace

QByteArray TextReport(ListKind kind, const Entries &entries, const Stamp &stamp)
{
    const bool tasks = kind == ListKind::Tasks;
    Lines lines;
    lines << (tasks ? QStringLiteral("To-Do List") : QStringLiteral("Memos")) << kRule << QString();
    for (const Entry &entry : entries.list) {
        const QString &content = entry.node->info->content;
        QString line = entry.child ? QStringLiteral("   - ") + indentedText(content, 5)
                                   : QStringLiteral(" * ") + indentedText(content, 3);
        if (tasks)
            line += taskSuffixes(taskOf(entry));
        lines << line;
    }
    lines << QString() << kRule << QLatin1Char(' ') + summary(kind, entries, stamp)
          << QLatin1Char(' ') + signature(stamp) << QLatin1Char(' ') + stamp.productPage;
    return lines.text().toUtf8();
}

QByteArray HtmlReport(ListKind kind, const Entries &entries, const Stamp &stamp)
{
    Lines lines;
    if (kind == ListKind::Tasks) {
        for (const QString &line : kTaskHead)
            lines << line;
        int stripe = 0;
        for (const Entry &entry : entries.list) {
            const TaskStripe &pieces = entry.child         ? kTaskStripeChild
                                       : stripe++ % 2 == 0 ? kTaskStripeA
                                                           : kTaskStripeB;
            const TTaskInfo &task = taskOf(entry);
            lines << pieces.row;
            lines << htmlText(task.content) + QStringLiteral("</th>");
            lines << pieces.cell + (task.checkFlag
                                        ? QStringLiteral("completed at ") +
                                              FormatDate(task.checkTime) + QStringLiteral("</td>")
                                        : QStringLiteral("Incomplete</td>"));
            lines << pieces.cell + (task.dueFlag
                                        ? FormatDate(task.dueTime) + QStringLiteral("</td>")
                                        : QStringLiteral(" - </td>"));
            lines << QStringLiteral("</tr>");
        }
        lines << QStringLiteral("</table>");
        lines << QStringLiteral("<p>") + summary(kind, entries, stamp) + QStringLiteral("</p>");
    } else {
        for (const QString &line : kMemoHead)
            lines << line;
        int stripe = 0;
        int childStripe = 0;
        bool childListOpen = false;
        auto closeChildList = [&] {
            if (childListOpen)
                lines << kListEnd;
            childListOpen = false;
        };
        for (const Entry &entry : entries.list) {
            const QString text = htmlText(entry.node->info->content) + kItemEnd;
            if (entry.child) {
                lines << (childStripe++ % 2 == 0 ? kMemoChildA : kMemoChildB) << text;
                continue;
            }
            closeChildList();
            lines << (stripe++ % 2 == 0 ? kMemoItemA : kMemoItemB) << text;
            // A top-level memo always gets its child list, an empty one too.
            if (entry.node->level() == 0) {
                lines << kMemoChildList;
                childListOpen = true;
                childStripe = 0;
            }
        }
        closeChildList();
        lines << kListEnd;
        lines << QStringLiteral("<hr /><p>") + summary(kind, entries, stamp) +
                     QStringLiteral("</p>");
    }
    lines << QStringLiteral("<p>") + signature(stamp) + QStringLiteral("</p>");
    lines << linkLine(stamp);
    lines << QStringLiteral("</body></html>");
    return AsciiWithReferences(lines.text());
}

QByteArray Report(ListKind kind, Format format, const Entries &entries, const Stamp &stamp)
{
    return format == Format::Text ? TextReport(kind, entries, stamp)
                                  : HtmlReport(kind, entries, stamp);
}

} // namespace Reports
