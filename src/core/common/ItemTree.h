// The two-level tree both lists are built on: nodes that own their record and children,
// and the item model that the tree views show. Nodes keep every child in tree order; the
// model shows the children that are not hidden.
#pragma once

#include "ItemInfo.h"

#include <QAbstractItemModel>

#include <functional>
#include <memory>
#include <vector>

class ItemNode
{
public:
    ItemNode() = default;
    explicit ItemNode(std::unique_ptr<ItemInfo> info) : info(std::move(info)) {}
    ItemNode(const ItemNode &) = delete;
    ItemNode &operator=(const ItemNode &) = delete;

    ItemNode *parent = nullptr;
    std::unique_ptr<ItemInfo> info;                // null only for the invisible root
    std::vector<std::unique_ptr<ItemNode>> children; // every child, in tree order
    bool hidden = false;
    bool expanded = false;

    // 0 for a top-level node, 1 for a child; -1 for the invisible root.
    int level() const { return parent == nullptr ? -1 : (parent->parent == nullptr ? 0 : 1); }
    // Position among all siblings, hidden ones included (0-based).
    int position() const { return m_position; }
    // Row among the shown siblings, or -1 when hidden.
    int shownRow() const { return m_shownRow; }
    const std::vector<ItemNode *> &shownChildren() const { return m_shown; }

    template <class Info> Info *as() const { return static_cast<Info *>(info.get()); }

private:
    friend class ItemTreeModel;
    std::vector<ItemNode *> m_shown;
    int m_position = 0;
    int m_shownRow = -1;
};

// Child indexes carry a tag in the node address's lowest bit.
static_assert(alignof(ItemNode) >= 2);

using ItemForest = std::vector<std::unique_ptr<ItemNode>>;

class ItemTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Role {
        NodeRole = Qt::UserRole + 1,
        ImageIndexRole,  // int: index into the list's image list, -1 for none
        BoldRole,        // bool
        GreyItalicRole,  // bool: grey italic text (placeholder, complete task)
        TextColorRole,   // qint32 colour code, 0 for the default
        BackColorRole, // qint32 colour code, 0 for the bitmaps
        PlaceholderRole, // bool: the row shows the placeholder text
    };

    // What the views show besides the records: the view switches, the row shown in full
    // after the hover delay, and the row being edited.
    struct ViewState
    {
        bool list = false;
        bool date = false;
        const ItemNode *hot = nullptr;
        const ItemNode *edit = nullptr;
    };
    ViewState view;

    explicit ItemTreeModel(QObject *parent = nullptr);
    ~ItemTreeModel() override;

    ItemNode *root() { return &m_root; }
    const ItemNode *root() const { return &m_root; }
    ItemNode *nodeFromIndex(const QModelIndex &index) const;
    QModelIndex indexOf(const ItemNode *node, int column = 0) const;
    int nodeCount() const;

    // Releases every node.
    void clear();
    // Replaces the whole tree by the given top-level nodes (with their children).
    void resetForest(ItemForest forest);
    // Appends a node at the end of the parent's children (the root for a top-level node).
    ItemNode *appendNode(ItemNode *parent, std::unique_ptr<ItemInfo> info);
    // Removes a node with its children.
    void removeNode(ItemNode *node);
    // Removes nodes with their children at once: the views hear of each run of adjacent shown
    // rows, and each parent's rows are numbered again once, however many of them go.
    void removeNodes(const std::vector<ItemNode *> &nodes);
    // Applies changed hidden flags, moves and sorting to what the model shows; selection,
    // expanded rows and the current row follow their nodes.
    void refreshShown();
    // Moves a node (with its children) under newParent (the root for the top level) at
    // index among all its children. Call refreshShown() after a batch of moves.
    void moveNode(ItemNode *node, ItemNode *newParent, int index);
    // Moves nodes under newParent as one block in the given order, starting at index among
    // the children that stay there (clamped to their number). Every node listed becomes a
    // child of newParent (a child listed after its parent too). Linear in the nodes moved and the children of the
    // parents involved. Call refreshShown() afterwards.
    void moveNodes(const std::vector<ItemNode *> &nodes, ItemNode *newParent, int index);
    // Sorts the children of every parent, all levels, stably by the items' texts compared
    // ASCII case-insensitively. Call refreshShown() afterwards when it returns true; false
    // means the tree is in that order already (sorted so, and nothing changed since).
    bool sortAll(bool ascending);
    // The same order given to rows not yet in a model (on another thread); resetSortedForest
    // then shows them as sorted in that direction.
    static void sortForest(ItemForest &forest, bool ascending);
    void resetSortedForest(ItemForest forest, bool ascending);
    // Whether every level is sorted in that direction since the last change; and telling so
    // after a change that kept the order (a row put where the sort would put it).
    bool isSorted(bool ascending) const
    {
        return m_sortedRevision == m_revision && m_sortedAscending == ascending;
    }
    void markSorted(bool ascending)
    {
        m_sortedRevision = m_revision;
        m_sortedAscending = ascending;
    }
    // The sort comparison: a to z equal A to Z, other characters by code, a prefix first.
    static int compareTexts(const QString &a, const QString &b);
    // Which nodes' texts contain needle (case-sensitive): one flag per node, in the order of
    // forEachNode. Searches a copy of every text held in one block, made again after a change.
    std::vector<char> textMatches(const QString &needle);
    // Tells the model that a node's text changed (add, remove, move and sort tell it
    // themselves).
    void textChanged() { ++m_revision; }
    // Grows with every change of the tree (rows, order, texts).
    quint64 revision() const { return m_revision; }
    // Releases the copy of the texts that searching keeps.
    void releaseTextCopy();
    // Tells the views that a node's data changed.
    void nodeChanged(ItemNode *node);
    // Visits every node in tree order (top-level node, then its children).
    void forEachNode(const std::function<void(ItemNode *)> &visit) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    // The one column's title (what assistive tools read for the tree's header).
    QString headerTitle;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows are dragged inside the tree only.
    inline static const QString DragMimeType = QStringLiteral("application/x-tasklume-items");
    QStringList mimeTypes() const override { return {DragMimeType}; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    bool canDropMimeData(const QMimeData *, Qt::DropAction, int, int,
                         const QModelIndex &) const override
    {
        return true;
    }
    bool hasChildren(const QModelIndex &parent = {}) const override;

    // The text the tree shows for a node: the placeholder for an empty item, the text (with
    // the list's own additions), and in list view the number and one line.
    QString nodeText(const ItemNode *node) const;
    // The text the editor opens on: the bare content with plain line feeds.
    static QString editText(const ItemNode *node);
    // Stored form of edited text: trailing white space removed, CR LF line breaks.
    static QString storedText(const QString &editorText);
    // Rows shown with children under them, in view order.
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    virtual QString placeholderText() const;
    // The list's own additions to a row's text (the date view of tasks).
    virtual QString decoratedText(const ItemNode *node) const;
    virtual QVariant nodeData(const ItemNode *node, int role) const;
    static void renumber(ItemNode *parent);

private:
    void rebuildShown(ItemNode *parent);
    static void sortLevels(ItemNode *root, bool ascending);
    // Records whether a shown top-level node shows children now.
    void noteShownChildren(const ItemNode *top);
    // Indexes of children carry this bit in their identifier, so that a top-level row's
    // index is known as such without reading its node.
    static constexpr quintptr kChildTag = 1;
    ItemNode m_root;
    // For each shown top-level row, whether it shows children.
    std::vector<char> m_topHasShown;
    // Bumped by every change of the texts or of their order.
    quint64 m_revision = 0;
    // The revision and direction of the last sort.
    quint64 m_sortedRevision = ~quint64(0);
    bool m_sortedAscending = true;
    struct TextCopy
    {
        quint64 revision = ~quint64(0);
        QString text;                // every text in tree order, each followed by a NUL
        std::vector<qsizetype> ends; // where each text's NUL stands
    };
    TextCopy m_texts;
};
