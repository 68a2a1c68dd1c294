#include "ItemTree.h"

#include <algorithm>
#include <cstring>

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
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<ItemNode *, int>> nodes;
    nodes.reserve(size_t(before.size()));
    for (const QModelIndex &index : before)
        nodes.emplace_back(nodeFromIndex(index), index.column());
    rebuildShown(&m_root);
    for (const auto &top : m_root.children)
        rebuildShown(top.get());
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto &[node, column] : nodes) {
        const bool shown = node && node->m_shownRow >= 0 &&
                           (node->parent == &m_root || node->parent->m_shownRow >= 0);
        after.append(shown ? indexOf(node, column) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged();
}

void ItemTreeModel::moveNode(ItemNode *node, ItemNode *newParent, int index)
{
    if (newParent == nullptr)
        newParent = &m_root;
    ItemNode *oldParent = node->parent;
    auto &from = oldParent->children;
    std::unique_ptr<ItemNode> owned = std::move(from[size_t(node->m_position)]);
    from.erase(from.begin() + node->m_position);
    renumber(oldParent);
    auto &to = newParent->children;
    index = qBound(0, index, int(to.size()));
    owned->parent = newParent;
    to.insert(to.begin() + index, std::move(owned));
    renumber(newParent);
}

int ItemTreeModel::compareTexts(const QString &a, const QString &b)
{
    const qsizetype n = qMin(a.size(), b.size());
    const char16_t *pa = reinterpret_cast<const char16_t *>(a.constData());
    const char16_t *pb = reinterpret_cast<const char16_t *>(b.constData());
    qsizetype i = 0;
    while (i < n) {
        // Skip the run that is equal as it stands, four characters at a time.
        while (i + 4 <= n) {
            quint64 wa, wb;
            std::memcpy(&wa, pa + i, sizeof wa);
            std::memcpy(&wb, pb + i, sizeof wb);
            if (wa != wb)
                break;
            i += 4;
        }
        while (i < n && pa[i] == pb[i])
            ++i;
        if (i == n)
            break;
        char16_t ca = pa[i];
        char16_t cb = pb[i];
        if (ca >= u'a' && ca <= u'z')
            ca -= 32;
        if (cb >= u'a' && cb <= u'z')
            cb -= 32;
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i; // the letters differ in case only
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void ItemTreeModel::sortAll(bool ascending)
{
    // Sorting works on a compact array: the first four letters folded into one number
    // decide most comparisons without touching the texts themselves.
    struct Entry
    {
        quint64 prefix;
        const QString *text;
        ItemNode *node;
    };
    std::vector<Entry> entries;
    auto sortChildren = [&](ItemNode *parent) {
        auto &children = parent->children;
        if (children.size() < 2)
            return;
        entries.clear();
        entries.reserve(children.size());
        for (auto &child : children) {
            const QString &text = child->info->content;
            quint64 prefix = 0;
            for (int i = 0; i < 4; ++i) {
                char16_t c = i < text.size() ? text.at(i).unicode() : 0;
                if (c >= u'a' && c <= u'z')
                    c -= 32;
                prefix = (prefix << 16) | c;
            }
            entries.push_back({prefix, &text, child.release()});
        }
        std::stable_sort(entries.begin(), entries.end(), [ascending](const Entry &x, const Entry &y) {
            int c = x.prefix == y.prefix ? compareTexts(*x.text, *y.text)
                                         : (x.prefix < y.prefix ? -1 : 1);
            return ascending ? c < 0 : c > 0;
        });
        for (size_t i = 0; i < entries.size(); ++i)
            children[i].reset(entries[i].node);
        renumber(parent);
    };
    sortChildren(&m_root);
    for (const auto &top : m_root.children)
        sortChildren(top.get());
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
