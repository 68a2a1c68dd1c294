#include "TaskTreeModel.h"

#include "common/Texts.h"

Qt::ItemFlags TaskTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QString TaskTreeModel::nodeText(const ItemNode *node) const
{
    const TTaskInfo *info = task(node);
    if (info->content.isEmpty())
        return Texts::TaskPlaceholder;
    return info->content;
}

QVariant TaskTreeModel::nodeData(const ItemNode *node, int role) const
{
    if (role == Qt::CheckStateRole)
        return task(node)->checkFlag ? Qt::Checked : Qt::Unchecked;
    return ItemTreeModel::nodeData(node, role);
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
