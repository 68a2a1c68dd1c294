// The list frame both tabs are built from: a two-level tree of items with its tool bars,
// tip panel and status bar, its editing commands, driven by posted frame messages. The
// to-do list and the memo list derive from it and add what differs.
#pragma once

#include "FrameHost.h"
#include "IconArt.h"
#include "common/ItemTree.h"
#include "ItemTreeView.h"
#include "common/Reports.h"

#include <QHash>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPersistentModelIndex>
#include <QWidget>

#include <functional>
#include <memory>

class ItemStatements;
struct LoadStats;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QStatusBar;
class QThread;
class QTimer;
class QToolBar;
class QToolButton;

// The messages the main window and a frame itself post to a frame.
enum FrameMessage {
    WM_FRAME_RELOAD = 2024,
    WM_FRAME_ACTIVATE = 2025,
    WM_FRAME_ADD = 2034,
    WM_FRAME_EDIT = 2035,
    WM_FRAME_DROP_NODE = 2036,
};

// A node named by a queued message or step, as it stays valid until then: its row in the
// model, which the model lets go when the row goes, and its row key once it is stored.
struct NodeHandle
{
    QPersistentModelIndex row;
    RowKey key;
    RowKey parentKey;
};

// What the tip panel shows.
enum class Tip { None, AddItem, FinishEdit, NoResult };

// The texts, images and settings that tell the two lists apart.
struct FrameConfig
{
    struct Command
    {
        QString name;    // the action's object name
        QString caption; // menu text
        QString hint;
        int image = -1; // index into the list's image list
        // The key the tree handles for the command: menus show it in their key column and
        // assistive tools read it; the tree itself runs the command.
        QKeySequence key = {};
    };
    // The key of Sort Direction (the tree's, like the other commands' keys).
    static inline const QKeySequence SortDirectionKey{Qt::CTRL | Qt::Key_R};

    QString section;    // INI section of the view settings: "task" or "memo"
    QString logPrivate; // "log" keys written at each reload
    QString logPublic;
    QString treeHint;     // shown over empty space in the tree
    QString selectPrompt; // "Please select a task!"
    QString deleteOne;    // "this task?"
    QString deleteMany;   // "these tasks?"
    QString itemsMenu;    // "&Tasks"
    QString listName;     // the tree's name for assistive tools: "To-Do List"
    Command add, addChild, edit, remove, copy, paste, selectAll, deselect, viewList, viewAsc,
        expandAll, collapseAll;
    // Images of the sort button (the direction it offers) and the search button.
    int imageOfferAsc = -1, imageOfferDesc = -1, imageSearch = -1, imageClearSearch = -1;
    // The numbers FTipKind takes for each tip, and the tip panel's images.
    int tipKindAdd = 1, tipKindEdit = 2, tipKindNoResult = 3;
    int tipImageAdd = -1, tipImageEdit = -1, tipImageNoResult = -1;
    // The list's image list: index -> picture.
    QHash<int, IconId> images;
    // The list's reports, their file names and mail texts.
    Reports::ListKind reportList = Reports::ListKind::Tasks;
};

class TwyTreeFrame : public QWidget
{
    Q_OBJECT
public:
    TwyTreeFrame(FrameHost &host, FrameConfig config, ItemTreeModel *model,
                 std::unique_ptr<ItemStatements> statements, QWidget *parent);
    ~TwyTreeFrame() override;

    // Queues a message; it runs after the current event has been handled, in posting order.
    // It carries a handle to node, found again when it runs; a node that has gone meanwhile
    // reaches the handler as null.
    void postMessage(FrameMessage message, ItemNode *node = nullptr);
    // Handles a message at once, as its posted form would later.
    void sendMessage(FrameMessage message, ItemNode *node = nullptr);

    ItemTreeView *tree() const { return m_tree; }
    ItemTreeModel *model() const { return m_model; }
    ItemStatements &statements() const { return *m_statements; }
    QStatusBar *statusBar() const { return m_statusBar; }
    QLabel *tipLabel() const { return label_tip; }
    QWidget *tipPanel() const { return Panel_tip; }
    const QList<QMenu *> &mainMenu() const { return MainMenu1; }
    QAction *action(const QString &objectName) const;

    // Ends the frame's work before it is destroyed at Exit: stops its timers and stores an
    // in-place edit that is still open.
    virtual void shutdown();

    // The shared commands.
    void addItem();
    void addChildItem();
    void editItem();
    void deleteItems();
    void copyItems();
    void pasteItem();
    // Stores text as a new top-level item, as pasting the clipboard does.
    virtual void pasteText(const QString &text);
    // Stores text as a new item the way pasting does, at the top level (parentKey "root")
    // or under the top-level item with that key, and shows it; an edit in progress stays
    // open. Throws TasklumeError when no top-level item has the key or the insert fails.
    ItemNode *storePastedText(const QString &text, const QString &parentKey);
    // The top-level item with the key, or null.
    ItemNode *topLevelNode(const QString &key) const;
    void selectAllItems();
    void deselectItems();
    void toggleListView();
    // Sorts every level in the direction of FAscending (an edit in progress ends first).
    void sortTree();
    void toggleSortDirection();
    void expandAll();
    void collapseAll();
    // Moves the selected items under target (none: to the top level); first child or
    // first top-level item when asFirst, else last. Children of a moved top-level item
    // come along right after it, so the tree keeps two levels.
    void moveSelectedTo(ItemNode *target, bool asFirst);
    // Search box: entering search mode, the text changing, leaving, the button.
    void enterSearch();
    void searchTextChanged(const QString &text);
    void leaveSearch();
    void Btn_SearchClick();
    // Puts the focus into the search box (Ctrl+F); an in-place edit keeps it meanwhile.
    void focusSearch();
    // Gives the focus back to the tree, on node's row when there is one, once a dialog of
    // the list has closed (the window manager may leave no window active after a dialog
    // that asked a question of its own).
    void returnFocusTo(ItemNode *node);
    // Ends an open in-place edit: stored when store is true, else cancelled.
    void endEditing(bool store);
    // Whether an item is being added or edited (its in-place editor open or about to open).
    bool isEditing() const { return FEditNode != nullptr; }
    // Rebuilds the tree from the database after others changed it (a sync): an open edit is
    // stored first, the rows are sorted as shown before, and the current row, the search and
    // the scroll position stay where the rows still exist.
    void reloadKeepingPlace();
    // Shows the changes others stored to the rows with these keys (a sync: rows added,
    // changed, moved or deleted), row by row, each where the sort puts it; the selection,
    // the current row and the scroll position stay. False, with nothing changed, when only a
    // whole reload shows them right (many rows, an edit open, a level change).
    bool applyChangedRows(const QStringList &keys);
    // Rebuilds the tree from the database as a reload does, with the rows read on a thread
    // of their own: the window answers meanwhile. The tree is empty until they come; an item
    // stored meanwhile is read with them, and an edit open when they come ends first.
    void reloadInBackground();
    bool isLoadingInBackground() const;
    virtual void UpdateActions();

Q_SIGNALS:
    // The tree was rebuilt from the database (a reload has shown its rows).
    void reloaded();

public:
    // Reports, printing and e-mail (Fr_wyTreeReports.cpp). The writers take the selected
    // items; with whole set they first select all shown items as Select All does and
    // unselect everything afterwards. False (after "File write failure!") when the file
    // could not be written.
    bool WriteTextReport(bool whole, const QString &fileName);
    bool WriteHtmlReport(bool whole, const QString &fileName);
    // The items (each selected top-level item with its children) as an iCalendar file.
    bool WriteICalendarFile(bool whole, const QString &fileName);
    void SaveReport(bool whole);
    void Action_PrintExecute();
    void Action_EmailExecute();
    // The name chosen in the save dialog and its filter (1 text, 2 HTML, 3 iCalendar); an
    // empty name when the user cancelled. Runs the window's shared save dialog unless replaced
    // (tests).
    struct SaveChoice
    {
        QString fileName;
        int filter = 1;
    };
    std::function<SaveChoice()> runSaveDialog;
    // Runs the print dialog on the printer; true on OK. The window's shared print dialog
    // unless replaced (tests).
    std::function<bool(QPrinter &)> runPrintDialog;
    virtual void ApplyFilter();
    void ShowTip(Tip tip);
    // The image of the list's image list with the given index.
    QIcon image(int index) const;
    // The same image on a tool bar button or in a menu: the desktop theme's icon for the
    // command where it has one.
    QIcon commandImage(int index) const;

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
    Tip currentTip = Tip::None;

protected:
    virtual void handleMessage(FrameMessage message, ItemNode *node);
    // Rebuilds the tree from the settings and the database.
    void reloadItems();
    // Its two halves: the tree emptied and the settings read; the rows read shown.
    void beginReload();
    void finishReload(ItemForest forest, const LoadStats &stats, bool sorted = false);
    // Shows the rows read in the background, unless an edit is open or the tree changed.
    void takeLoadedRows();
    // Reads the list's own view settings at a reload (FLoading is set meanwhile).
    virtual void readViewSettings();
    // The list's own steps at the end of a reload, and after each filtering.
    virtual void afterReload() {}
    virtual void afterFilter() {}
    // Reports the row count of a reload to the main window.
    virtual void reportCount(int count) = 0;
    virtual void activate();
    void openPendingEditor();
    void dropNode(ItemNode *node);

    // A fresh record for a new item of the list.
    virtual std::unique_ptr<ItemInfo> newRecord() const = 0;
    // Stores a new item's first text (a new key, the insert).
    virtual void insertNewItem(ItemNode *node) = 0;
    // Stores pasted text (a new key, the insert).
    virtual void insertPastedItem(ItemNode *node) = 0;
    // Switches views that would hide a new item (the to-do list's "View Complete").
    virtual void prepareAdd() {}
    // The status bar line for a single reported node.
    virtual QString statusText(const ItemNode *node) const = 0;
    // The list's own commands in UpdateActions, after the shared ones (nothing pending).
    virtual void updateOwnActions(bool selection) { Q_UNUSED(selection); }
    virtual void disableOwnActions() {}
    // Builds the list's menus and tool bar from its actions.
    virtual void buildMenus() = 0;
    // Whether the list's own view range hides a node (the to-do list's complete and
    // incomplete views).
    virtual bool hiddenByRange(const ItemNode *node) const { Q_UNUSED(node); return false; }
    // Whether the range choice hides any rows at the moment.
    virtual bool filtersByRange() const { return false; }
    // The actions of the sort button, Expand All and Collapse All, and the Move-to menus.
    QAction *m_viewAsc = nullptr;
    QAction *m_expandAll = nullptr;
    QAction *m_collapseAll = nullptr;
    QMenu *m_moveMenuPopup = nullptr;
    QMenu *m_moveMenuMain = nullptr;
    // Sort button images: the one offering ascending, the one offering descending.
    int m_imageOfferAsc = -1;
    int m_imageOfferDesc = -1;
    void showSortDirection();
    // Lists the targets of the Move-to menus for the selection (the menu that opens, or both).
    void fillMoveMenus();
    // The items the selection may move under (every top-level item but the first selected
    // one and its parent), in tree order, at most `most` of them.
    std::vector<ItemNode *> moveTargets(size_t most) const;
    // "More...": every target in a chooser that scrolls and is narrowed by typing.
    void chooseMoveTarget();
    bool eventFilter(QObject *object, QEvent *event) override;
    void onDrop(ItemNode *target);
    // Keys of the list beyond the shared ones; true when handled.
    virtual bool handleOwnKey(QKeyEvent *event) { Q_UNUSED(event); return false; }

    QAction *makeAction(const FrameConfig::Command &command);
    // The menus both lists have alike: "&File" (with the list's export, save-all and print
    // commands), "&Edit", "&Help" and the popup over empty space.
    void buildSharedMenus(QAction *exportItems, QAction *saveAll, QAction *print);

public:
    // "&Export...": the selected items to an interchange file chosen by the user.
    void exportSelected();
    // The export dialog's chosen name (empty: cancelled); tests give a fixed name.
    std::function<QString()> runExportDialog;

protected:
    QMenu *makeMenu(const QString &title);
    // Writes a changed expanded state of a top-level item.
    void onExpandedChanged(const QModelIndex &index, bool expanded);
    // Runs writes in one transaction: one disk sync for all of them; when one fails, none
    // of them stays and the error goes on to the caller.
    void writeTogether(const std::function<void()> &writes);
    // Expand All and Collapse All.
    void setAllExpanded(bool expanded);
    // Open or close every top-level row (the flags are written by the caller).
    void expandEvery();
    void collapseEvery();
    // Expands the views' rows as the nodes' stored flags say.
    void applyExpandedState();
    void showNextStatusTip();
    void reportNode(const ItemNode *node);
    // The node the status bar shows (none while it shows a tip); only compared, never read.
    const ItemNode *m_reportedNode = nullptr;
    void onSelectionChanged();
    void onTextEdited(const QModelIndex &index, const QString &text);
    // Opens the editor on node again with text, after the text could not be stored.
    void reopenEditor(ItemNode *node, const QString &text);
    void onEditorClosed(QWidget *editor, QAbstractItemDelegate::EndEditHint hint);
    void onKey(QKeyEvent *event, bool *handled);
    // Keys typed on the tree after an add or edit began and before its editor opened; they
    // are handed to the editor once it is open.
    std::vector<std::unique_ptr<QKeyEvent>> m_keysForEditor;
    void passKeysToEditor();
    void onHotNodeChanged(ItemNode *oldNode, ItemNode *newNode);
    void onHotDelay();
    void onContextMenu(const QPoint &pos);
    void tipClicked();
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    // The status text starts where the layout does (at the right when right to left), as
    // the bar's other parts do, whatever the direction of the text itself.
    void alignStatusText();
    void showEvent(QShowEvent *event) override;
    void layoutTip();
    void setEditNode(ItemNode *node);
    void refreshNode(ItemNode *node);
    // Hands the memory that a large release left free back to the system: the allocator
    // keeps it otherwise, and a long session would hold the peak of every search and of
    // every opening of all rows.
    static void returnFreedMemory();
    ItemNode *firstSelected() const;
    // A handle to node that a queued step carries, and the node it names now (null when the
    // node has gone: its row was removed, the tree reloaded without it, or it was never
    // stored and its row is no longer shown).
    NodeHandle handleOf(const ItemNode *node) const;
    ItemNode *resolve(const NodeHandle &handle) const;

    FrameHost &m_host;
    FrameConfig m_config;
    ItemTreeModel *m_model;
    std::unique_ptr<ItemStatements> m_statements;

    QToolBar *ToolBar_Top = nullptr;
    ItemTreeView *m_tree = nullptr;
    QWidget *Panel_tip = nullptr;
    QLabel *Image_Tip = nullptr;
    QLabel *label_tip = nullptr;
    QWidget *ToolBar_Bottom = nullptr;
    QLineEdit *Edt_Search = nullptr;
    QToolButton *Btn_Search = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *StatusImage = nullptr;
    QLabel *m_statusText = nullptr;
    QTimer *Timer_HotDelay = nullptr;
    QList<QMenu *> MainMenu1;
    QMenu *PopupMenu_Item = nullptr;
    QMenu *PopupMenu_Null = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_editMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_itemsMenu = nullptr;
    QMenu *m_helpMenu = nullptr;

    QAction *m_add = nullptr;
    QAction *m_addChild = nullptr;
    QAction *m_edit = nullptr;
    QAction *m_delete = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_paste = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_deselect = nullptr;
    QAction *m_viewList = nullptr;
    // Commands that later work will bring; shown, never enabled meanwhile.
    QList<QAction *> m_notYet;
    // The report commands: enabled whenever no in-place edit is open.
    void setReportActions(QAction *save, QAction *saveAll, QAction *print, QAction *email);
    void updateReportActions();
    QAction *m_save = nullptr;
    QAction *m_saveAll = nullptr;
    QAction *m_print = nullptr;
    QAction *m_email = nullptr;

private:
    struct BackgroundLoad;
    std::unique_ptr<QThread> m_loader;
    std::shared_ptr<BackgroundLoad> m_loadedWaiting;
    bool m_loadAgain = false;
    quint64 m_reloadSerial = 0;

    bool m_filterAfterEdit = false;
    // Set while many rows open or close at once: the actions are updated once afterwards.
    bool m_expandingMany = false;
    // Set while Expand All or Collapse All run: one statement writes every top-level row.
    bool m_expandFlagsTogether = false;
    // While set, rows opened collect here, and the caller stores their flags at once.
    std::vector<ItemNode *> *m_openedTogether = nullptr;
};
