// The list frame both tabs are built from: a two-level tree of items with its tool bars,
// tip panel and status bar, driven by posted frame messages. The to-do list and the memo
// list derive from it and add what differs.
#pragma once

#include "FrameHost.h"
#include "ItemTree.h"

#include <QWidget>

#include <memory>

class ItemStatements;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class QToolBar;
class QTreeView;

// The messages the main window and a frame itself post to a frame.
enum FrameMessage {
    WM_FRAME_RELOAD = 2024,
    WM_FRAME_ACTIVATE = 2025,
    WM_FRAME_ADD = 2034,
    WM_FRAME_EDIT = 2035,
    WM_FRAME_DROP_NODE = 2036,
};

// The settings and texts that tell the two lists apart.
struct FrameConfig
{
    QString section;     // INI section of the view settings: "task" or "memo"
    QString logPrivate;  // "log" keys written at each reload
    QString logPublic;
    QString treeHint;    // shown over empty space in the tree
};

class TwyTreeFrame : public QWidget
{
    Q_OBJECT
public:
    TwyTreeFrame(FrameHost &host, FrameConfig config, ItemTreeModel *model,
                 std::unique_ptr<ItemStatements> statements, QWidget *parent);
    ~TwyTreeFrame() override;

    // Queues a message; it runs after the current event has been handled, in posting order.
    void postMessage(FrameMessage message, ItemNode *node = nullptr);

    QTreeView *tree() const { return m_tree; }
    ItemTreeModel *model() const { return m_model; }
    ItemStatements &statements() const { return *m_statements; }
    QStatusBar *statusBar() const { return m_statusBar; }

    // Ends the frame's work before it is destroyed at Exit: stops its timers and stores an
    // in-place edit that is still open.
    virtual void shutdown();

    // Frame state both lists name alike.
    ItemNode *FEditNode = nullptr;
    ItemNode *FHotNode = nullptr;
    int FTipKind = 0;
    bool FSearching = false;
    QString FSearchText;
    bool FLoading = false;
    bool FFocusDone = false;
    bool FAscending = true;
    int FMouseX = 0;
    int FMouseY = 0;
    // "View List" as read at the last reload or chosen since.
    bool viewList = false;

protected:
    virtual void handleMessage(FrameMessage message, ItemNode *node);
    // Rebuilds the tree from the settings and the database.
    void reloadItems();
    // Reads the list's own view settings at a reload (FLoading is set meanwhile).
    virtual void readViewSettings();
    // The list's own steps at the end of a reload.
    virtual void afterReload() {}
    // Reports the row count of a reload to the main window.
    virtual void reportCount(int count) = 0;
    virtual void activate();
    virtual void addItem() {}
    virtual void editPendingNode() {}
    void dropNode(ItemNode *node);

    virtual void ApplyFilter() {}
    virtual void UpdateActions() {}
    virtual void ShowTip(int kind);

    // Writes a changed expanded state of a top-level item.
    void onExpandedChanged(const QModelIndex &index, bool expanded);
    // Expands the views' rows as the nodes' stored flags say.
    void applyExpandedState();
    void showNextStatusTip();

    FrameHost &m_host;
    FrameConfig m_config;
    ItemTreeModel *m_model;
    std::unique_ptr<ItemStatements> m_statements;

    QToolBar *ToolBar_Top = nullptr;
    QTreeView *m_tree = nullptr;
    QWidget *Panel_tip = nullptr;
    QLabel *label_tip = nullptr;
    QToolBar *ToolBar_Bottom = nullptr;
    QLineEdit *Edt_Search = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_statusText = nullptr;
    QList<QMenu *> MainMenu1;
};
