#include "ItemTree.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <unordered_set>

namespace {

// How far ahead the passes over nodes ask for memory: nodes, records and texts lie all over
// the heap, and asking early lets the loads overlap instead of waiting one after another.
constexpr size_t kAhead = 16;

template <class T> inline void prefetch(const T *address)
{
    __builtin_prefetch(static_cast<const void *>(address));
}

} // namespace

ItemTreeModel::ItemTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

ItemTreeModel::~ItemTreeModel() = default;

ItemNode *ItemTreeModel::nodeFromIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    return reinterpret_cast<ItemNode *>(index.internalId() & ~kChildTag);
}

QModelIndex ItemTreeModel::indexOf(const ItemNode *node, int column) const
{
    if (node == nullptr || node->parent == nullptr || node->m_shownRow < 0)
        return {};
    const quintptr tag = node->parent == &m_root ? 0 : kChildTag;
    return createIndex(node->m_shownRow, column, reinterpret_cast<quintptr>(node) | tag);
}

int ItemTreeModel::nodeCount() const
{
    int count = 0;
    const auto &tops = m_root.children;
    for (size_t i = 0; i < tops.size(); ++i) {
        if (i + kAhead < tops.size())
            prefetch(tops[i + kAhead].get());
        count += 1 + int(tops[i]->children.size());
    }
    return count;
}

void ItemTreeModel::renumber(ItemNode *parent)
{
    const auto &children = parent->children;
    for (size_t i = 0; i < children.size(); ++i) {
        if (i + kAhead < children.size())
            prefetch(children[i + kAhead].get());
        children[i]->m_position = int(i);
    }
}

void ItemTreeModel::rebuildShown(ItemNode *parent)
{
    parent->m_shown.clear();
    if (parent == &m_root)
        m_topHasShown.clear();
    const auto &children = parent->children;
    for (size_t i = 0; i < children.size(); ++i) {
        if (i + kAhead < children.size())
            prefetch(children[i + kAhead].get());
        ItemNode *child = children[i].get();
        if (child->hidden) {
            child->m_shownRow = -1;
        } else {
            child->m_shownRow = int(parent->m_shown.size());
            parent->m_shown.push_back(child);
            if (parent == &m_root)
                m_topHasShown.push_back(!child->m_shown.empty());
        }
    }
    noteShownChildren(parent);
}

void ItemTreeModel::noteShownChildren(const ItemNode *top)
{
    if (top->parent == &m_root && top->m_shownRow >= 0 &&
        size_t(top->m_shownRow) < m_topHasShown.size())
        m_topHasShown[size_t(top->m_shownRow)] = !top->m_shown.empty();
}

void ItemTreeModel::clear()
{
    beginResetModel();
    ++m_revision;
    m_root.children.clear();
    m_root.m_shown.clear();
    m_topHasShown.clear();
    endResetModel();
}

void ItemTreeModel::resetForest(ItemForest forest)
{
    beginResetModel();
    ++m_revision;
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
    ++m_revision;
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
    if (parent == &m_root)
        m_topHasShown.push_back(false);
    else
        noteShownChildren(parent);
    endInsertRows();
    return raw;
}

void ItemTreeModel::removeNode(ItemNode *node)
{
    if (node == nullptr || node->parent == nullptr)
        return;
    ++m_revision;
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

void ItemTreeModel::removeNodes(const std::vector<ItemNode *> &nodes)
{
    // A child whose parent goes too goes with it.
    const std::unordered_set<const ItemNode *> doomed(nodes.begin(), nodes.end());
    std::vector<ItemNode *> going;
    going.reserve(nodes.size());
    for (ItemNode *node : nodes) {
        if (node && node->parent && !doomed.count(node->parent))
            going.push_back(node);
    }
    if (going.empty())
        return;
    ++m_revision;
    // By parent, then by position among all siblings (which is also the shown order).
    std::sort(going.begin(), going.end(), [](const ItemNode *a, const ItemNode *b) {
        return std::tie(a->parent, a->m_position) < std::tie(b->parent, b->m_position);
    });
    going.erase(std::unique(going.begin(), going.end()), going.end());
    for (auto group = going.begin(); group != going.end();) {
        ItemNode *parent = (*group)->parent;
        auto end = std::find_if(group, going.end(),
                                [parent](const ItemNode *node) { return node->parent != parent; });
        const bool parentShown = parent == &m_root || parent->m_shownRow >= 0;
        // The shown rows that go, in runs of adjacent rows, told from the last run back.
        std::vector<int> rows;
        for (auto it = group; it != end; ++it) {
            if ((*it)->m_shownRow >= 0)
                rows.push_back((*it)->m_shownRow);
        }
        if (parentShown) {
            const QModelIndex parentIndex = indexOf(parent);
            for (size_t last = rows.size(); last > 0;) {
                size_t first = last - 1;
                while (first > 0 && rows[first - 1] == rows[first] - 1)
                    --first;
                const int from = rows[first];
                const int to = rows[last - 1];
                beginRemoveRows(parentIndex, from, to);
                auto &shown = parent->m_shown;
                for (int row = from; row <= to; ++row)
                    shown[size_t(row)]->m_shownRow = -1;
                shown.erase(shown.begin() + from, shown.begin() + to + 1);
                for (size_t row = size_t(from); row < shown.size(); ++row)
                    shown[row]->m_shownRow = int(row);
                if (parent == &m_root)
                    m_topHasShown.erase(m_topHasShown.begin() + from,
                                        m_topHasShown.begin() + to + 1);
                endRemoveRows();
                last = first;
            }
        }
        const std::unordered_set<const ItemNode *> leaving(group, end);
        auto &children = parent->children;
        children.erase(std::remove_if(children.begin(), children.end(),
                                      [&leaving](const std::unique_ptr<ItemNode> &child) {
                                          return leaving.count(child.get()) != 0;
                                      }),
                       children.end());
        renumber(parent);
        rebuildShown(parent);
        group = end;
    }
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
    const auto &tops = m_root.children;
    for (size_t i = 0; i < tops.size(); ++i) {
        if (i + kAhead < tops.size())
            prefetch(tops[i + kAhead].get());
        rebuildShown(tops[i].get());
    }
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
    ++m_revision;
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

void ItemTreeModel::moveNodes(const std::vector<ItemNode *> &nodes, ItemNode *newParent,
                              int index)
{
    if (newParent == nullptr)
        newParent = &m_root;
    if (nodes.empty())
        return;
    ++m_revision;
    // Each node taken out of its parent's list, leaving an empty place there; the places are
    // closed once per parent.
    std::vector<std::unique_ptr<ItemNode>> block;
    block.reserve(nodes.size());
    std::vector<ItemNode *> oldParents;
    for (ItemNode *node : nodes) {
        std::unique_ptr<ItemNode> &place = node->parent->children[size_t(node->m_position)];
        if (place.get() != node)
            continue; // listed twice
        oldParents.push_back(node->parent);
        block.push_back(std::move(place));
    }
    std::sort(oldParents.begin(), oldParents.end());
    oldParents.erase(std::unique(oldParents.begin(), oldParents.end()), oldParents.end());
    for (ItemNode *parent : oldParents) {
        auto &children = parent->children;
        children.erase(std::remove(children.begin(), children.end(), nullptr), children.end());
        renumber(parent);
    }
    auto &to = newParent->children;
    index = qBound(0, index, int(to.size()));
    for (auto &owned : block)
        owned->parent = newParent;
    to.insert(to.begin() + index, std::make_move_iterator(block.begin()),
              std::make_move_iterator(block.end()));
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

namespace {

// A sort entry: four folded characters of the text per key, from some depth on, so that
// most comparisons are two integer comparisons and never touch the texts.
struct SortEntry
{
    quint64 k0;
    quint64 k1;
    quint32 rest; // characters left from the depth, 9 standing for "more than the keys hold"
    ItemNode *node;
    const char16_t *chars;
    qsizetype size;
};

quint64 foldedKey(const char16_t *text, qsizetype size, qsizetype from)
{
    quint64 key = 0;
    for (qsizetype i = from; i < from + 4; ++i) {
        char16_t c = i < size ? text[i] : 0;
        if (c >= u'a' && c <= u'z')
            c -= 32;
        key = (key << 16) | c;
    }
    return key;
}

bool sameKeys(const SortEntry &x, const SortEntry &y)
{
    return x.k0 == y.k0 && x.k1 == y.k1 && x.rest == y.rest;
}

// Reads the entries' texts: first the records, then the texts' headers, in two passes that
// each ask for their loads ahead.
void readTexts(std::vector<SortEntry> &entries)
{
    const size_t n = entries.size();
    std::vector<const QString *> texts(n);
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            prefetch(entries[i + kAhead].node);
        texts[i] = &entries[i].node->info->content;
    }
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            prefetch(texts[i + kAhead]);
        entries[i].chars = reinterpret_cast<const char16_t *>(texts[i]->constData());
        entries[i].size = texts[i]->size();
    }
}

// Sorts [first, last) stably by the texts from depth on; entries whose first eight
// characters from depth are equal and go on are sorted again from depth + 8.
void sortEntries(SortEntry *first, SortEntry *last, qsizetype depth, bool ascending)
{
    for (SortEntry *e = first; e != last; ++e) {
        if (last - e > ptrdiff_t(kAhead))
            prefetch(e[kAhead].chars + depth);
        e->k0 = foldedKey(e->chars, e->size, depth);
        e->k1 = foldedKey(e->chars, e->size, depth + 4);
        e->rest = quint32(qMin<qsizetype>(e->size - depth, 9));
    }
    std::stable_sort(first, last, [ascending](const SortEntry &x, const SortEntry &y) {
        const auto a = std::tie(x.k0, x.k1, x.rest);
        const auto b = std::tie(y.k0, y.k1, y.rest);
        return ascending ? a < b : b < a;
    });
    for (SortEntry *group = first; group != last;) {
        SortEntry *end = group + 1;
        while (end != last && sameKeys(*end, *group))
            ++end;
        if (end - group > 1 && group->rest == 9)
            sortEntries(group, end, depth + 8, ascending);
        group = end;
    }
}

} // namespace

void ItemTreeModel::sortLevels(ItemNode *root, bool ascending)
{
    // Folded keys compare exactly as compareTexts does: letters a to z as A to Z, everything
    // else by code, a text before the longer texts it begins.
    std::vector<SortEntry> entries;
    auto sortChildren = [&](ItemNode *parent) {
        auto &children = parent->children;
        if (children.size() < 2)
            return;
        entries.clear();
        entries.reserve(children.size());
        for (auto &child : children)
            entries.push_back({0, 0, 0, child.release(), nullptr, 0});
        readTexts(entries);
        sortEntries(entries.data(), entries.data() + entries.size(), 0, ascending);
        for (size_t i = 0; i < entries.size(); ++i)
            children[i].reset(entries[i].node);
        renumber(parent);
    };
    sortChildren(root);
    const auto &tops = root->children;
    for (size_t i = 0; i < tops.size(); ++i) {
        if (i + kAhead < tops.size())
            prefetch(tops[i + kAhead].get());
        sortChildren(tops[i].get());
    }
}

void ItemTreeModel::sortForest(ItemForest &forest, bool ascending)
{
    ItemNode top;
    top.children = std::move(forest);
    sortLevels(&top, ascending);
    forest = std::move(top.children);
}

void ItemTreeModel::resetSortedForest(ItemForest forest, bool ascending)
{
    resetForest(std::move(forest));
    m_sortedRevision = m_revision;
    m_sortedAscending = ascending;
}

bool ItemTreeModel::sortAll(bool ascending)
{
    // A stable sort of a sorted tree leaves it as it is.
    if (m_sortedRevision == m_revision && m_sortedAscending == ascending)
        return false;
    ++m_revision;
    sortLevels(&m_root, ascending);
    m_sortedRevision = m_revision;
    m_sortedAscending = ascending;
    return true;
}

std::vector<char> ItemTreeModel::textMatches(const QString &needle)
{
    if (m_texts.revision != m_revision) {
        m_texts.text.clear();
        m_texts.ends.clear();
        // The texts in tree order, read in passes that ask for their loads ahead.
        std::vector<const ItemNode *> nodes;
        nodes.reserve(size_t(nodeCount()));
        forEachNode([&nodes](ItemNode *node) { nodes.push_back(node); });
        const size_t n = nodes.size();
        std::vector<const QString *> texts(n);
        qsizetype total = 0;
        for (size_t i = 0; i < n; ++i) {
            if (i + kAhead < n)
                prefetch(nodes[i + kAhead]);
            texts[i] = &nodes[i]->info->content;
        }
        for (size_t i = 0; i < n; ++i) {
            if (i + kAhead < n)
                prefetch(texts[i + kAhead]);
            total += texts[i]->size() + 1;
        }
        m_texts.text.reserve(total);
        m_texts.ends.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            if (i + kAhead < n)
                prefetch(texts[i + kAhead]->constData());
            m_texts.text.append(*texts[i]);
            m_texts.ends.push_back(m_texts.text.size());
            m_texts.text.append(QChar(0));
        }
        m_texts.revision = m_revision;
    }
    const std::vector<qsizetype> &ends = m_texts.ends;
    std::vector<char> matches(ends.size(), needle.isEmpty() ? 1 : 0);
    if (needle.isEmpty())
        return matches;
    // One pass over the whole block: each hit marks the text it lies in, and the search goes
    // on after that text. A hit across a text's end is none.
    size_t i = 0;
    qsizetype from = 0;
    qsizetype pos;
    while (i < ends.size() && (pos = m_texts.text.indexOf(needle, from)) >= 0) {
        while (i < ends.size() && ends[i] < pos)
            ++i;
        if (i == ends.size())
            break;
        if (pos + needle.size() <= ends[i]) {
            matches[i] = 1;
            from = ends[i] + 1;
            ++i;
        } else {
            from = pos + 1;
        }
    }
    return matches;
}

void ItemTreeModel::releaseTextCopy()
{
    m_texts = TextCopy();
}

void ItemTreeModel::nodeChanged(ItemNode *node)
{
    const QModelIndex index = indexOf(node);
    if (index.isValid())
        Q_EMIT dataChanged(index, index);
}

void ItemTreeModel::forEachNode(const std::function<void(ItemNode *)> &visit) const
{
    const auto &tops = m_root.children;
    for (size_t i = 0; i < tops.size(); ++i) {
        if (i + kAhead < tops.size())
            prefetch(tops[i + kAhead].get());
        visit(tops[i].get());
        for (const auto &child : tops[i]->children)
            visit(child.get());
    }
}

QModelIndex ItemTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const ItemNode *parentNode = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    if (parentNode == nullptr || column != 0 || row < 0 || row >= int(parentNode->m_shown.size()))
        return {};
    const quintptr tag = parentNode == &m_root ? 0 : kChildTag;
    return createIndex(row, column,
                       reinterpret_cast<quintptr>(parentNode->m_shown[size_t(row)]) | tag);
}

QModelIndex ItemTreeModel::parent(const QModelIndex &child) const
{
    // A top-level row's index says so itself: the node is not read.
    if (!child.isValid() || (child.internalId() & kChildTag) == 0)
        return {};
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
    // Asked for every top-level row at each layout: answered without reading the nodes.
    if (!parent.isValid())
        return !m_root.m_shown.empty();
    if (parent.column() > 0 || (parent.internalId() & kChildTag) != 0)
        return false;
    const size_t row = size_t(parent.row());
    if (row < m_topHasShown.size() && m_root.m_shown[row] == nodeFromIndex(parent))
        return m_topHasShown[row];
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

QVariant ItemTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal &&
        (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) && !headerTitle.isEmpty())
        return headerTitle;
    return QAbstractItemModel::headerData(section, orientation, role);
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
    case Qt::AccessibleTextRole:
        // A row being typed into still has a name: the placeholder's.
        return node->info->content.isEmpty() ? placeholderText() : nodeText(node);
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
