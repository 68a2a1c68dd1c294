#include "ItemTree.h"

ItemTreeModel::ItemTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

ItemTreeModel::~ItemTreeModel() = default;

ItemNode *ItemTreeModel::nodeFromIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    return static_cast<ItemNode *>(index.internalPointer());
}

QModelIndex ItemTreeModel::indexOf(const ItemNode *node, int column) const
{
    if (node == nullptr || node->parent == nullptr || node->m_shownRow < 0)
        return {};
    return createIndex(node->m_shownRow, column, const_cast<ItemNode *>(node));
}

int ItemTreeModel::nodeCount() const
{
    int count = 0;
    for (const auto &top : m_root.children)
        count += 1 + int(top->children.size());
    return count;
}

void ItemTreeModel::renumber(ItemNode *parent)
{
    int position = 0;
    for (const auto &child : parent->children)
        child->m_position = position++;
}

void ItemTreeModel::rebuildShown(ItemNode *parent)
{
    parent->m_shown.clear();
    for (const auto &child : parent->children) {
        if (child->hidden) {
            child->m_shownRow = -1;
        } else {
            child->m_shownRow = int(parent->m_shown.size());
            parent->m_shown.push_back(child.get());
        }
    }
}

void ItemTreeModel::clear()
{
    beginResetModel();
    m_root.children.clear();
    m_root.m_shown.clear();
    endResetModel();
}

void ItemTreeModel::resetForest(ItemForest forest)
{
    beginResetModel();
    m_root.children = std::move(forest);
    for (const auto &top : m_root.children) {
        top->parent = &m_root;
        for (const auto &child : top->children)
            child->parent = top.get();
        renumber(top.get());
        rebuildShown(top.get());
    }
    renumber(&m_root);
    rebuildShown(&m_root);
    endResetModel();
}

ItemNode *ItemTreeModel::appendNode(ItemNode *parent, std::unique_ptr<ItemInfo> info)
{
    if (parent == nullptr)
        parent = &m_root;
    auto node = std::make_unique<ItemNode>(std::move(info));
    node->parent = parent;
    node->m_position = int(parent->children.size());
    ItemNode *raw = node.get();
    const int row = int(parent->m_shown.size());
    const QModelIndex parentIndex = indexOf(parent);
    if (parent != &m_root && parent->m_shownRow < 0) {
        // Under a hidden parent: nothing the views show changes.
        parent->children.push_back(std::move(node));
        raw->m_shownRow = row;
        parent->m_shown.push_back(raw);
        return raw;
    }
    beginInsertRows(parentIndex, row, row);
    parent->children.push_back(std::move(node));
    raw->m_shownRow = row;
    parent->m_shown.push_back(raw);
    endInsertRows();
    return raw;
}

void ItemTreeModel::removeNode(ItemNode *node)
{
    if (node == nullptr || node->parent == nullptr)
        return;
    ItemNode *parent = node->parent;
    const int row = node->m_shownRow;
    const bool visible = row >= 0 && (parent == &m_root || parent->m_shownRow >= 0);
    if (visible)
        beginRemoveRows(indexOf(parent), row, row);
    parent->children.erase(parent->children.begin() + node->m_position);
    renumber(parent);
    rebuildShown(parent);
    if (visible)
        endRemoveRows();
}

void ItemTreeModel::refreshShown()
{
    beginResetModel();
    rebuildShown(&m_root);
    for (const auto &top : m_root.children)
        rebuildShown(top.get());
    endResetModel();
}

void ItemTreeModel::nodeChanged(ItemNode *node)
{
    const QModelIndex index = indexOf(node);
    if (index.isValid())
        Q_EMIT dataChanged(index, index);
}

void ItemTreeModel::forEachNode(const std::function<void(ItemNode *)> &visit) const
{
    for (const auto &top : m_root.children) {
        visit(top.get());
        for (const auto &child : top->children)
            visit(child.get());
    }
}

QModelIndex ItemTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const ItemNode *parentNode = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    if (parentNode == nullptr || column != 0 || row < 0 || row >= int(parentNode->m_shown.size()))
        return {};
    return createIndex(row, column, parentNode->m_shown[size_t(row)]);
}

QModelIndex ItemTreeModel::parent(const QModelIndex &child) const
{
    const ItemNode *node = nodeFromIndex(child);
    if (node == nullptr || node->parent == nullptr || node->parent == &m_root)
        return {};
    return indexOf(node->parent);
}

int ItemTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const ItemNode *node = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    return node ? int(node->m_shown.size()) : 0;
}

int ItemTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool ItemTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant ItemTreeModel::data(const QModelIndex &index, int role) const
{
    const ItemNode *node = nodeFromIndex(index);
    if (node == nullptr || !node->info)
        return {};
    if (role == NodeRole)
        return QVariant::fromValue(static_cast<void *>(const_cast<ItemNode *>(node)));
    return nodeData(node, role);
}

QString ItemTreeModel::placeholderText() const
{
    return QStringLiteral("Input content here");
}

QString ItemTreeModel::decoratedText(const ItemNode *node) const
{
    return node->info->content;
}

QString ItemTreeModel::nodeText(const ItemNode *node) const
{
    const QString &content = node->info->content;
    if (content.isEmpty() && node != view.edit)
        return placeholderText();
    if (node == view.edit)
        return content;
    QString text = decoratedText(node);
    if (view.list && node != view.hot) {
        text = FlattenLines(text);
        const QString number = QString::number(node->position() + 1);
        if (node->level() == 0)
            text = number + QStringLiteral(". ") + text;
        else
            text = QLatin1Char('(') + number + QStringLiteral(") ") + text;
    }
    return text;
}

QString ItemTreeModel::editText(const ItemNode *node)
{
    QString text = node->info->content;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString ItemTreeModel::storedText(const QString &editorText)
{
    QString text = editorText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

Qt::ItemFlags ItemTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (nodeFromIndex(index) == view.edit)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant ItemTreeModel::nodeData(const ItemNode *node, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return nodeText(node);
    case Qt::EditRole:
        return editText(node);
    case PlaceholderRole:
    case GreyItalicRole:
        return node->info->content.isEmpty() && node != view.edit;
    case ImageIndexRole:
        return -1;
    case BoldRole:
        return false;
    case TextColorRole:
    case BackColorRole:
        return 0;
    default:
        return {};
    }
}
