// The folder tree and address box of the folder selection dialog: a tree of
// the file system under one top node that stands for the desktop, and a
// drop-down list of the fixed places and the chain of the selected folder.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <functional>
#include <vector>

namespace mervik {

// Folder names in the order the tree and the address box list them.
int compareFolderNames(const QString& a, const QString& b);

// The places below the top node: the home folder, the desktop folder and the
// file system root, plus the mounted volumes the address box lists. Tests
// point them at folders of their own.
struct FolderPlaces {
    QString desktop;  // also the path of the top node
    QString home;
    QString root = QStringLiteral("/");
    QStringList volumes;  // mount points other than the root

    static FolderPlaces fromSystem();
};

class FolderView : public QTreeWidget {
    Q_OBJECT

  public:
    explicit FolderView(QWidget* parent = nullptr);

    // Rebuilds the tree: the top node, selected and expanded.
    void setPlaces(const FolderPlaces& places);
    const FolderPlaces& places() const { return places_; }

    // Walks from the root node down the folders of path (absolute, or taken
    // against the current directory), expanding each node on the way, and
    // selects the node reached. A path that does not name an existing folder
    // leaves the selection as it is; a folder the tree does not show on the
    // way leaves no node selected.
    void SelectPath(const QString& path);
    // The root gives "/", any other folder its path without a closing
    // separator, the top node the desktop folder; empty without a selection.
    QString SelectedPath() const;
    QString pathOf(const QTreeWidgetItem* item) const;

    QTreeWidgetItem* topNode() const { return topLevelItem(0); }
    QTreeWidgetItem* homeNode() const;
    QTreeWidgetItem* desktopNode() const;
    QTreeWidgetItem* rootNode() const;

    // The nodes from the top node down to item, both included.
    std::vector<QTreeWidgetItem*> chainOf(QTreeWidgetItem* item) const;
    // Reads the children of item from the file system unless already read.
    void readChildren(QTreeWidgetItem* item);

    // The commands of the right-click menu, on a node other than the top one.
    void openInFileManager(QTreeWidgetItem* item);
    QTreeWidgetItem* newFolder(QTreeWidgetItem* parentItem);
    void moveToTrash(QTreeWidgetItem* item);
    // In-place rename; applied to the folder, the node takes the name the
    // file system then has. False, with a message, when it failed.
    bool renameFolder(QTreeWidgetItem* item, const QString& newName);

    // Shows a failed command; tests replace it.
    using FailureHook = std::function<void(const QString&)>;
    void setFailureHook(FailureHook hook);

  signals:
    // After every change of the selected node, whatever caused it.
    void selectionChanged();
    // After setPlaces rebuilt the tree.
    void placesChanged();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QTreeWidgetItem* addFolderItem(QTreeWidgetItem* parentItem, const QString& path,
                                   const QString& name);
    QTreeWidgetItem* childNamed(QTreeWidgetItem* parentItem, const QString& name);
    void setNodeName(QTreeWidgetItem* item, const QString& name);
    void forgetChildren(QTreeWidgetItem* item);
    void updateIcons();
    void fail(const QString& message);
    void onItemChanged(QTreeWidgetItem* item, int column);

    FolderPlaces places_;
    QTreeWidgetItem* openIconItem_ = nullptr;
    FailureHook failureHook_;
};

// The address box over a FolderView.
class ComboView : public QComboBox {
    Q_OBJECT

  public:
    explicit ComboView(QWidget* parent = nullptr);

    void setFolderView(FolderView* view);
    // Rebuilds the fixed entries and the chain of the current selection.
    void rebuild();
    // The level of an entry below the top node (0 for the top node).
    int levelAt(int row) const;
    QString pathAt(int row) const;

  private:
    void addEntry(int row, QTreeWidgetItem* node, const QString& path, int level, bool fixed);
    int rowOf(QTreeWidgetItem* node) const;
    void syncWithTree();
    void onActivated(int row);

    FolderView* view_ = nullptr;
};

}  // namespace mervik
