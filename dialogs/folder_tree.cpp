#include "dialogs/folder_tree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QUrl>
#include <algorithm>

namespace mervik {

namespace {

enum Role {
    PathRole = Qt::UserRole,
    NameRole,
    KindRole,
    ReadRole,
};

// What a node stands for; only ordinary folders can be renamed or trashed.
enum Kind { kTop, kHome, kDesktop, kRoot, kFolder };

constexpr QDir::Filters kFolderFilter =
    QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

bool hasSubfolders(const QString& path) {
    QDirIterator it(path, kFolderFilter);
    return it.hasNext();
}

int kindOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, KindRole).toInt() : -1;
}

}  // namespace

int compareFolderNames(const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded : QString::compare(a, b, Qt::CaseSensitive);
}

FolderPlaces FolderPlaces::fromSystem() {
    FolderPlaces places;
    places.home = QDir::homePath();
    places.desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (places.desktop.isEmpty()) {
        places.desktop = places.home;
    }
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Real drives and network shares, not the kernel's pseudo file systems.
        const QString type = QString::fromUtf8(volume.fileSystemType());
        const bool real = volume.device().startsWith("/dev/") || type.contains(u"nfs") ||
                          type.contains(u"cifs") || type.contains(u"smb");
        if (volume.isValid() && volume.isReady() && real && volume.rootPath() != places.root) {
            places.volumes << volume.rootPath();
        }
    }
    places.volumes.sort();
    places.volumes.removeDuplicates();
    return places;
}

// ---------------------------------------------------------------- FolderView

FolderView::FolderView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    // No expand button or line at the single top node.
    setRootIsDecorated(false);
    setIndentation(19);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(this, &QTreeWidget::itemExpanded, this, &FolderView::readChildren);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] {
        updateIcons();
        emit selectionChanged();
    });
    connect(this, &QTreeWidget::itemChanged, this, &FolderView::onItemChanged);
}

void FolderView::setPlaces(const FolderPlaces& places) {
    places_ = places;
    openIconItem_ = nullptr;
    {
        const QSignalBlocker blocker(this);
        clear();
        auto* top = new QTreeWidgetItem(this);
        top->setText(0, tr("Desktop"));
        top->setData(0, NameRole, top->text(0));
        top->setData(0, PathRole, places_.desktop);
        top->setData(0, KindRole, kTop);
        top->setData(0, ReadRole, true);
        top->setIcon(0, style()->standardIcon(QStyle::SP_DesktopIcon));
        struct Place {
            const QString& path;
            QString name;
            Kind kind;
            QStyle::StandardPixmap icon;
        };
        const Place below[] = {
            {places_.home, tr("Home"), kHome, QStyle::SP_DirHomeIcon},
            {places_.desktop, tr("Desktop folder"), kDesktop, QStyle::SP_DirIcon},
            {places_.root, tr("File System"), kRoot, QStyle::SP_DriveHDIcon},
        };
        for (const Place& place : below) {
            QTreeWidgetItem* item = addFolderItem(top, place.path, place.name);
            item->setData(0, KindRole, place.kind);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            item->setIcon(0, style()->standardIcon(place.icon));
        }
        top->setExpanded(true);
        setCurrentItem(top);
    }
    emit placesChanged();
    emit selectionChanged();
}

QTreeWidgetItem* FolderView::homeNode() const {
    return topNode() ? topNode()->child(0) : nullptr;
}

QTreeWidgetItem* FolderView::desktopNode() const {
    return topNode() ? topNode()->child(1) : nullptr;
}

QTreeWidgetItem* FolderView::rootNode() const {
    return topNode() ? topNode()->child(2) : nullptr;
}

QString FolderView::pathOf(const QTreeWidgetItem* item) const {
    return item ? item->data(0, PathRole).toString() : QString();
}

QString FolderView::SelectedPath() const {
    return pathOf(currentItem());
}

std::vector<QTreeWidgetItem*> FolderView::chainOf(QTreeWidgetItem* item) const {
    std::vector<QTreeWidgetItem*> chain;
    for (; item != nullptr; item = item->parent()) {
        chain.push_back(item);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

QTreeWidgetItem* FolderView::addFolderItem(QTreeWidgetItem* parentItem, const QString& path,
                                           const QString& name) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, PathRole, path);
    item->setData(0, NameRole, name);
    item->setData(0, KindRole, kFolder);
    item->setData(0, ReadRole, false);
    item->setText(0, name);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setChildIndicatorPolicy(hasSubfolders(path)
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    // Keep the children in name order: a new folder lands in its place. The
    // places below the top node keep their own order.
    int row = 0;
    while (kindOf(parentItem) != kTop && row < parentItem->childCount() &&
           compareFolderNames(parentItem->child(row)->data(0, NameRole).toString(), name) < 0) {
        ++row;
    }
    if (kindOf(parentItem) == kTop) {
        row = parentItem->childCount();
    }
    parentItem->insertChild(row, item);
    return item;
}

void FolderView::readChildren(QTreeWidgetItem* item) {
    if (item == nullptr || item->data(0, ReadRole).toBool()) {
        return;
    }
    item->setData(0, ReadRole, true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QDir dir(pathOf(item));
    QFileInfoList entries = dir.entryInfoList(kFolderFilter, QDir::NoSort);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return compareFolderNames(a.fileName(), b.fileName()) < 0;
    });
    const QSignalBlocker blocker(this);
    for (const QFileInfo& entry : entries) {
        addFolderItem(item, entry.absoluteFilePath(), entry.fileName());
    }
    if (entries.isEmpty()) {
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    QApplication::restoreOverrideCursor();
}

QTreeWidgetItem* FolderView::childNamed(QTreeWidgetItem* parentItem, const QString& name) {
    for (int i = 0; i < parentItem->childCount(); ++i) {
        QTreeWidgetItem* child = parentItem->child(i);
        if (child->data(0, NameRole).toString() == name) {
            return child;
        }
    }
    return nullptr;
}

void FolderView::SelectPath(const QString& path) {
    if (path.isEmpty() || rootNode() == nullptr) {
        return;
    }
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (!QFileInfo(absolute).isDir()) {
        return;
    }
    QTreeWidgetItem* node = rootNode();
    topNode()->setExpanded(true);
    for (const QString& name : absolute.split(u'/', Qt::SkipEmptyParts)) {
        readChildren(node);
        node->setExpanded(true);
        node = childNamed(node, name);
        if (node == nullptr) {
            setCurrentItem(nullptr);
            return;
        }
    }
    setCurrentItem(node);
    scrollToItem(node);
}

void FolderView::setNodeName(QTreeWidgetItem* item, const QString& name) {
    const QSignalBlocker blocker(this);
    item->setData(0, NameRole, name);
    item->setText(0, name);
}

void FolderView::forgetChildren(QTreeWidgetItem* item) {
    const QSignalBlocker blocker(this);
    if (openIconItem_ != nullptr) {
        for (QTreeWidgetItem* up = openIconItem_; up != nullptr; up = up->parent()) {
            if (up->parent() == item) {
                openIconItem_ = nullptr;
                break;
            }
        }
    }
    qDeleteAll(item->takeChildren());
    item->setData(0, ReadRole, false);
    item->setChildIndicatorPolicy(hasSubfolders(pathOf(item))
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void FolderView::updateIcons() {
    const QSignalBlocker blocker(this);
    if (openIconItem_ != nullptr) {
        openIconItem_->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
        openIconItem_ = nullptr;
    }
    QTreeWidgetItem* item = currentItem();
    if (kindOf(item) == kFolder) {
        item->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
        openIconItem_ = item;
    }
}

void FolderView::onItemChanged(QTreeWidgetItem* item, int column) {
    // Only an edit of the text reaches here with a name that differs.
    if (column != 0 || item->text(0) == item->data(0, NameRole).toString()) {
        return;
    }
    const QString wanted = item->text(0);
    setNodeName(item, item->data(0, NameRole).toString());
    renameFolder(item, wanted);
}

bool FolderView::renameFolder(QTreeWidgetItem* item, const QString& newName) {
    if (kindOf(item) != kFolder) {
        return false;
    }
    const QString oldPath = pathOf(item);
    const QString parentPath = QFileInfo(oldPath).path();
    if (newName.isEmpty() || newName.contains(u'/') || newName == u"." || newName == u"..") {
        fail(tr("\"%1\" is not a folder name.").arg(newName));
        return false;
    }
    const QString newPath = QDir(parentPath).absoluteFilePath(newName);
    if (QFileInfo::exists(newPath) || !QDir().rename(oldPath, newPath)) {
        fail(tr("Could not rename %1 to %2.").arg(oldPath, newName));
        return false;
    }
    // The nodes below are read again under the new path; a selection among
    // them moves up to the renamed folder first.
    for (QTreeWidgetItem* up = currentItem(); up != nullptr && up != item; up = up->parent()) {
        if (up->parent() == item) {
            setCurrentItem(item);
            break;
        }
    }
    const bool wasCurrent = currentItem() == item;
    const bool wasExpanded = item->isExpanded();
    {
        const QSignalBlocker blocker(this);
        item->setData(0, PathRole, newPath);
        // The name the file system now has.
        setNodeName(item, QFileInfo(newPath).fileName());
        forgetChildren(item);
        // Back into name order among its siblings.
        QTreeWidgetItem* parentItem = item->parent();
        parentItem->removeChild(item);
        int row = 0;
        while (row < parentItem->childCount() &&
               compareFolderNames(parentItem->child(row)->data(0, NameRole).toString(),
                                  item->data(0, NameRole).toString()) < 0) {
            ++row;
        }
        parentItem->insertChild(row, item);
        item->setExpanded(wasExpanded);
    }
    if (wasCurrent) {
        setCurrentItem(item);
        emit selectionChanged();
    }
    return true;
}

void FolderView::openInFileManager(QTreeWidgetItem* item) {
    const QString path = pathOf(item);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        fail(tr("Could not open %1 in the file manager.").arg(path));
    }
}

QTreeWidgetItem* FolderView::newFolder(QTreeWidgetItem* parentItem) {
    if (parentItem == nullptr || kindOf(parentItem) == kTop) {
        return nullptr;
    }
    readChildren(parentItem);
    QDir dir(pathOf(parentItem));
    QString name = tr("New folder");
    for (int n = 2; dir.exists(name); ++n) {
        name = tr("New folder (%1)").arg(n);
    }
    if (!dir.mkdir(name)) {
        fail(tr("Could not create a folder in %1.").arg(dir.path()));
        return nullptr;
    }
    QTreeWidgetItem* item = addFolderItem(parentItem, dir.absoluteFilePath(name), name);
    parentItem->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    parentItem->setExpanded(true);
    setCurrentItem(item);
    return item;
}

void FolderView::moveToTrash(QTreeWidgetItem* item) {
    if (kindOf(item) != kFolder) {
        return;
    }
    const QString path = pathOf(item);
    if (!QFile::moveToTrash(path)) {
        fail(tr("Could not move %1 to the trash.").arg(path));
        return;
    }
    QTreeWidgetItem* parentItem = item->parent();
    bool selectionInside = false;
    for (QTreeWidgetItem* up = currentItem(); up != nullptr; up = up->parent()) {
        selectionInside = selectionInside || up == item;
    }
    if (selectionInside) {
        setCurrentItem(parentItem);
    }
    forgetChildren(item);
    if (openIconItem_ == item) {
        openIconItem_ = nullptr;
    }
    delete item;
}

void FolderView::setFailureHook(FailureHook hook) {
    failureHook_ = std::move(hook);
}

void FolderView::fail(const QString& message) {
    if (failureHook_) {
        failureHook_(message);
        return;
    }
    QMessageBox::warning(this, window()->windowTitle(), message);
}

void FolderView::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = itemAt(event->pos());
    if (item == nullptr) {
        return;
    }
    setCurrentItem(item);
    if (kindOf(item) == kTop) {
        return;
    }
    const bool ordinary = kindOf(item) == kFolder;
    QMenu menu(this);
    menu.addAction(tr("Open in file manager"), this, [this, item] { openInFileManager(item); });
    menu.addAction(tr("New folder"), this, [this, item] {
        if (QTreeWidgetItem* created = newFolder(item)) {
            editItem(created);
        }
    });
    menu.addSeparator();
    menu.addAction(tr("Rename"), this, [this, item] { editItem(item); })->setEnabled(ordinary);
    menu.addAction(tr("Move to trash"), this, [this, item] { moveToTrash(item); })
        ->setEnabled(ordinary);
    menu.exec(event->globalPos());
}

// ----------------------------------------------------------------- ComboView

namespace {

enum ComboRole {
    NodeRole = Qt::UserRole,  // QPersistentModelIndex of the tree node, if any
    EntryPathRole,
    LevelRole,
    FixedRole,
};

// Indents the entries of the dropped-down list by their level; the closed
// box draws the current entry without this delegate.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(indented.rect.left() + 10 * index.data(LevelRole).toInt());
        QStyledItemDelegate::paint(painter, indented, index);
    }
};

}  // namespace

ComboView::ComboView(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setMaxVisibleItems(8);
    setItemDelegate(new IndentDelegate(this));
    connect(this, &QComboBox::activated, this, &ComboView::onActivated);
}

void ComboView::setFolderView(FolderView* view) {
    view_ = view;
    connect(view_, &FolderView::placesChanged, this, &ComboView::rebuild);
    connect(view_, &FolderView::selectionChanged, this, &ComboView::syncWithTree);
    rebuild();
}

int ComboView::levelAt(int row) const {
    return itemData(row, LevelRole).toInt();
}

QString ComboView::pathAt(int row) const {
    return itemData(row, EntryPathRole).toString();
}

void ComboView::addEntry(int row, QTreeWidgetItem* node, const QString& path, int level,
                         bool fixed) {
    QString name = node ? node->data(0, NameRole).toString() : path;
    QIcon icon = node ? node->icon(0) : style()->standardIcon(QStyle::SP_DriveHDIcon);
    if (node && kindOf(node) == kFolder) {
        icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    }
    insertItem(row, icon, node ? node->text(0) : name);
    setItemData(
        row,
        node ? QVariant::fromValue(QPersistentModelIndex(view_->indexFromItem(node))) : QVariant(),
        NodeRole);
    setItemData(row, path, EntryPathRole);
    setItemData(row, level, LevelRole);
    setItemData(row, fixed, FixedRole);
}

void ComboView::rebuild() {
    if (view_ == nullptr || view_->topNode() == nullptr) {
        return;
    }
    clear();
    addEntry(count(), view_->topNode(), view_->pathOf(view_->topNode()), 0, true);
    for (QTreeWidgetItem* node : {view_->homeNode(), view_->desktopNode(), view_->rootNode()}) {
        addEntry(count(), node, view_->pathOf(node), 1, true);
    }
    for (const QString& volume : view_->places().volumes) {
        addEntry(count(), nullptr, volume, 2, true);
    }
    syncWithTree();
}

int ComboView::rowOf(QTreeWidgetItem* node) const {
    // Mounted volumes are shortcuts by path, not nodes: the chain through
    // one is listed in full, so that its levels stay one apart.
    const QModelIndex index = view_->indexFromItem(node);
    for (int row = 0; row < count(); ++row) {
        const QVariant stored = itemData(row, NodeRole);
        if (stored.isValid() && stored.value<QPersistentModelIndex>() == index) {
            return row;
        }
    }
    return -1;
}

void ComboView::syncWithTree() {
    if (view_ == nullptr || view_->topNode() == nullptr) {
        return;
    }
    for (int row = count() - 1; row >= 0; --row) {
        if (!itemData(row, FixedRole).toBool()) {
            removeItem(row);
        }
    }
    QTreeWidgetItem* selected = view_->currentItem();
    if (selected == nullptr) {
        setCurrentIndex(-1);
        return;
    }
    int parentRow = 0;
    const std::vector<QTreeWidgetItem*> chain = view_->chainOf(selected);
    for (std::size_t level = 1; level < chain.size(); ++level) {
        QTreeWidgetItem* node = chain[level];
        int row = rowOf(node);
        if (row < 0) {
            const int wanted = static_cast<int>(level);
            const QString name = node->data(0, NameRole).toString();
            row = parentRow + 1;
            while (row < count() &&
                   (levelAt(row) > wanted ||
                    (levelAt(row) == wanted && compareFolderNames(itemText(row), name) < 0))) {
                ++row;
            }
            addEntry(row, node, view_->pathOf(node), wanted, false);
        }
        parentRow = row;
    }
    setCurrentIndex(parentRow);
}

void ComboView::onActivated(int row) {
    const QVariant stored = itemData(row, NodeRole);
    if (stored.isValid()) {
        const QPersistentModelIndex index = stored.value<QPersistentModelIndex>();
        if (index.isValid()) {
            view_->setCurrentItem(view_->itemFromIndex(index));
            return;
        }
    }
    view_->SelectPath(pathAt(row));
}

}  // namespace mervik
