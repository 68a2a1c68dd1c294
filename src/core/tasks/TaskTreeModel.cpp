#include "TaskTreeModel.h"

Qt::ItemFlags TaskTreeModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = ItemTreeModel::flags(index);
    if (index.isValid())
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool TaskTreeModel::isOverdue(const TTaskInfo &task, const QDate &today)
{
    return !task.checkFlag && task.dueFlag && DaysToDateTime(task.dueTime).date() < today;
}

int TaskTreeModel::imageIndex(const TTaskInfo &task, const QDate &today)
{
    if (task.checkFlag)
        return -1;
    if (task.alarmFlag)
        return ImageAlarm;
    if (task.dueFlag)
        return DaysToDateTime(task.dueTime).date() < today ? ImageOverdue : ImageDue;
    return -1;
}

QString TaskTreeModel::statusText(const TTaskInfo &task)
{
    if (task.checkFlag)
        return FormatDateTime(task.checkTime) + QStringLiteral(" completed");
    QString text;
    if (task.dueFlag)
        text = QStringLiteral("Due date") + QStringLiteral(": ") + FormatDate(task.dueTime);
    if (!text.isEmpty())
        text += QStringLiteral("  ");
    if (task.alarmFlag)
        text += QStringLiteral("Reminder time") + QStringLiteral(": ") +
                FormatDateTime(task.alarmTime);
    if (text.isEmpty())
        text = FormatDateTime(task.createTime) + QStringLiteral(" created");
    return text;
}

QString TaskTreeModel::accessibleDescription(const TTaskInfo &task, const QDate &today)
{
    QStringList parts;
    if (task.dueFlag) {
        QString due = QStringLiteral("Due date: ") + FormatDate(task.dueTime);
        if (isOverdue(task, today))
            due += QStringLiteral(", overdue");
        parts.append(due);
    }
    if (task.alarmFlag)
        parts.append(QStringLiteral("Reminder time: ") + FormatDateTime(task.alarmTime));
    if (task.checkFlag)
        parts.append(QStringLiteral("Completed: ") + FormatDateTime(task.checkTime));
    return parts.join(QStringLiteral("; "));
}

QString TaskTreeModel::decoratedText(const ItemNode *node) const
{
    const TTaskInfo &t = *task(node);
    if (!view.date)
        return t.content;
    QString text = t.content + QStringLiteral(" -- ") + QStringLiteral("Created: ") +
                   FormatDate(t.createTime);
    if (t.checkFlag)
        return text + QStringLiteral("  Completed: ") + FormatDate(t.checkTime);
    if (t.dueFlag)
        text += QStringLiteral("  Due: ") + FormatDate(t.dueTime);
    if (t.alarmFlag)
        text += QStringLiteral("  Alarm: ") + FormatDateTime(t.alarmTime);
    return text;
}

QVariant TaskTreeModel::nodeData(const ItemNode *node, int role) const
{
    const TTaskInfo &t = *task(node);
    switch (role) {
    case Qt::CheckStateRole:
        return t.checkFlag ? Qt::Checked : Qt::Unchecked;
    case ImageIndexRole:
        return imageIndex(t, QDate::currentDate());
    case BoldRole:
        return isOverdue(t, QDate::currentDate());
    case GreyItalicRole:
        return t.checkFlag || (t.content.isEmpty() && node != view.edit);
    case TextColorRole:
        return t.checkFlag || t.content.isEmpty() ? 0 : t.textColor;
    case BackColorRole:
        return t.backgroundColor;
    case Qt::AccessibleDescriptionRole:
        return accessibleDescription(t, QDate::currentDate());
    default:
        return ItemTreeModel::nodeData(node, role);
    }
}

QString TrayHintText(const QStringList &incompleteContents, int hintSize)
{
    const QChar cr(QLatin1Char('\r'));
    QString hint = QStringLiteral("Incomplete Tasks:");
    int n = 0;
    for (const QString &content : incompleteContents) {
        QString text = FlattenLines(content);
        if (text.size() > hintSize)
            text = text.left(qMax(0, hintSize)) + QStringLiteral("...");
        ++n;
        hint += cr + QStringLiteral("(") + QString::number(n) + QStringLiteral(") ") + text;
        if (n == 4) {
            hint += cr + QStringLiteral(" ...");
            break;
        }
    }
    if (n == 0)
        hint += cr + QStringLiteral("None");
    return hint;
}
