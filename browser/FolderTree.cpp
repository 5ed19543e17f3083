// The folder tree: one top node per drive, subfolders listed lazily one level ahead of what the
// user has opened. Nodes are never removed while the window lives, so found icons may keep them.
#include "browser/FolderTree.h"

#include "browser/IconRes.h"

#include "platform/core/Drives.h"
#include "platform/core/FileSystem.h"
#include "platform/core/System.h"

#include <QApplication>
#include <QPainter>
#include <QTreeWidget>

#include <algorithm>
#include <set>
#include <utility>

namespace glyptor {

namespace {

constexpr int NodeIdRole = Qt::UserRole + 1;
constexpr int ImageRole = Qt::UserRole + 2;
constexpr int SelectedImageRole = Qt::UserRole + 3;
constexpr int StateRole = Qt::UserRole + 4;

int DriveImage(int type) {
    switch (type) {
    case platform::DriveRemovable:
        return 2;
    case platform::DriveRemote:
        return 5;
    case platform::DriveCdRom:
        return 4;
    case platform::DriveRamDisk:
        return 6;
    default:
        return 3;
    }
}

// The state image stands left of the node image, as the system tree draws them.
QPixmap Compose(const QList<QIcon>& images, int state, int image) {
    QPixmap strip(35, 16);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    if (state > 0 && state < images.size())
        images[state].paint(&painter, 0, 0, 16, 16);
    if (image >= 0 && image < images.size())
        images[image].paint(&painter, 19, 0, 16, 16);
    return strip;
}

} // namespace

QString UpperPath(const QString& path) {
    return path.toUpper();
}

bool FolderNode::operator<(const QTreeWidgetItem& other) const {
    return text(0).compare(other.text(0), Qt::CaseInsensitive) < 0;
}

QVariant FolderNode::data(int column, int role) const {
    if (column == 0 && role >= NodeIdRole && role <= StateRole)
        return own_[static_cast<std::size_t>(role - NodeIdRole)];
    if (column == 0 && role == Qt::DecorationRole && !picture_.isNull())
        return picture_;
    return QTreeWidgetItem::data(column, role);
}

void FolderNode::setData(int column, int role, const QVariant& value) {
    if (column == 0 && role >= NodeIdRole && role <= StateRole) {
        own_[static_cast<std::size_t>(role - NodeIdRole)] = value;
        return;
    }
    if (column == 0 && role == Qt::DecorationRole)
        picture_ = QIcon(); // a picture set the usual way is the one shown
    QTreeWidgetItem::setData(column, role, value);
}

TFolderTree::TFolderTree(ProgramState& state, QTreeWidget* fatView, QList<QIcon> images,
                         QObject* parent)
    : QObject(parent), state_(state), fatView_(fatView), images_(std::move(images)) {
    setObjectName(QStringLiteral("FolderTree"));
    connect(fatView_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current)
            FATViewChange(current);
    });
    connect(fatView_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        if (quietExpand_)
            return;
        FATViewExpanding(node);
        FATViewExpanded(node);
    });
    connect(fatView_, &QTreeWidget::itemClicked, this, [this] { FATViewClick(); });
}

quint64 TFolderTree::NodeId(const QTreeWidgetItem* node) const {
    return node ? node->data(0, NodeIdRole).toULongLong() : 0;
}

void TFolderTree::SetNodeImage(QTreeWidgetItem* node, int image, int selectedImage) {
    node->setData(0, ImageRole, image);
    node->setData(0, SelectedImageRole, selectedImage);
    SetStateImage(node, StateImage(node));
}

void TFolderTree::SetStateImage(QTreeWidgetItem* node, int state) {
    node->setData(0, StateRole, state);
    const int image = node->data(0, ImageRole).toInt();
    const int selected = node->data(0, SelectedImageRole).toInt();
    auto [known, made] = composed_.try_emplace({state, image, selected});
    if (made) {
        known->second.addPixmap(Compose(images_, state, image), QIcon::Normal);
        known->second.addPixmap(Compose(images_, state, selected), QIcon::Selected);
    }
    auto* folder = dynamic_cast<FolderNode*>(node);
    if (!folder) {
        node->setIcon(0, known->second);
        return;
    }
    folder->SetPictureQuietly(known->second);
    // Repaints are gathered until the window next handles its events, so one for each of a
    // scan's marks costs next to nothing; a node out of sight is not painted at all.
    if (node->treeWidget())
        node->treeWidget()->viewport()->update();
}

int TFolderTree::StateImage(const QTreeWidgetItem* node) const {
    return node->data(0, StateRole).toInt();
}

void TFolderTree::SelectNode(QTreeWidgetItem* node) {
    // The selected node is always shown: its ancestors open quietly (no expand handlers run,
    // as when the system tree makes a selection visible), each listing its children's
    // subfolders so that their expand buttons are right.
    std::vector<QTreeWidgetItem*> ancestors;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        ancestors.push_back(up);
    quietExpand_ = true;
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        if (!(*it)->isExpanded()) {
            for (int i = 0; i < (*it)->childCount(); ++i)
                ListSubfolders((*it)->child(i));
            (*it)->setExpanded(true);
        }
    }
    quietExpand_ = false;
    fatView_->setCurrentItem(node);
    fatView_->scrollToItem(node);
}

void TFolderTree::BuildDriveTree() {
    emit StatusText(QStringLiteral("\\\\") + QString::fromStdString(platform::ComputerName()));
    DriveList.clear();
    for (const platform::DriveEntry& drive : state_.Drives.Entries())
        DriveList.append(DriveRecord{drive.type, QString::fromStdString(drive.root).toUpper()});

    fatView_->setUpdatesEnabled(false);
    fatView_->clear();
    state_.LastScannedNode = nullptr;
    for (const DriveRecord& drive : DriveList) {
        if (drive.type == platform::DriveNoRootDir)
            continue;
        QString text = drive.root;
        if (text.endsWith('\\'))
            text.chop(1);
        auto* node = new FolderNode(QStringList{text});
        node->setData(0, NodeIdRole, nextNodeId_++);
        fatView_->addTopLevelItem(node);
        const int image = DriveImage(drive.type);
        SetNodeImage(node, image, image);
        // Removable drives are not touched until the user clicks them: no floppy spins up.
        if (drive.type != platform::DriveRemovable)
            ListSubfolders(node);
    }
    fatView_->setUpdatesEnabled(true);
}

void TFolderTree::ListSubfolders(QTreeWidgetItem* node, const std::vector<std::string>* listed) {
    if (!node || node->childCount() > 0)
        return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    std::vector<std::string> own;
    if (!listed) {
        QString path = NodePath(node);
        if (!path.endsWith('\\'))
            path += '\\';
        own = platform::ListSubfolders(state_.Drives, path.toStdString());
    }
    const std::vector<std::string>& names = listed ? *listed : own;
    // Sorting happens at once, not on Qt's deferred timer: a node selected right after being
    // listed (the path walk of FindNodeByPath) must not lose its selection to a later re-sort.
    // Turning the view's sorting back on re-sorts the whole tree, so during a scan, which lists
    // one folder after another, it stays off until ScanFinished.
    const bool sorting = fatView_->isSortingEnabled();
    if (sorting) // switching it off again costs a signal disconnection by name each time
        fatView_->setSortingEnabled(false);
    // The children are made whole and sorted before they join the tree: one insertion for the
    // view instead of an insertion and four changes a child and a re-sort. A scan lists
    // thousands of folders this way.
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names) {
        auto* child = new FolderNode(QStringList{QString::fromStdString(name)});
        child->setData(0, NodeIdRole, nextNodeId_++);
        SetNodeImage(child, 0, 7);
        children.push_back(child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return *a < *b; });
    node->addChildren(children);
    if (state_.Scanning)
        sortAfterScan_ = sortAfterScan_ || sorting;
    else
        fatView_->setSortingEnabled(sorting);
    QApplication::restoreOverrideCursor();
}

void TFolderTree::ScanFinished() {
    if (std::exchange(sortAfterScan_, false))
        fatView_->setSortingEnabled(true);
}

void TFolderTree::RefreshSubfolders(QTreeWidgetItem* node) {
    if (!node)
        return;
    if (node->childCount() == 0) {
        ListSubfolders(node);
        return;
    }
    QString path = NodePath(node);
    if (!path.endsWith('\\'))
        path += '\\';
    std::set<QString> known;
    for (int i = 0; i < node->childCount(); ++i)
        known.insert(node->child(i)->text(0).toUpper());
    const bool sorting = fatView_->isSortingEnabled();
    fatView_->setSortingEnabled(false);
    for (const std::string& name : platform::ListSubfolders(state_.Drives, path.toStdString())) {
        const QString text = QString::fromStdString(name);
        if (known.count(text.toUpper()))
            continue;
        auto* child = new FolderNode(node, QStringList{text});
        child->setData(0, NodeIdRole, nextNodeId_++);
        SetNodeImage(child, 0, 7);
    }
    node->sortChildren(0, Qt::AscendingOrder);
    fatView_->setSortingEnabled(sorting);
}

QTreeWidgetItem* TFolderTree::FindNodeByPath(const QString& path) {
    if (fatView_->topLevelItemCount() == 0)
        return nullptr;
    const QString target = UpperPath(path);
    QTreeWidgetItem* node = fatView_->topLevelItem(0);
    while (node) {
        const QString nodePath = UpperPath(NodePath(node));
        if (nodePath == target) {
            SelectNode(node);
            return node;
        }
        if (target.startsWith(nodePath + '\\')) {
            ListSubfolders(node);
            node = node->childCount() > 0 ? node->child(0) : nullptr;
            continue;
        }
        QTreeWidgetItem* parent = node->parent();
        const int index = parent ? parent->indexOfChild(node) : fatView_->indexOfTopLevelItem(node);
        const int siblings = parent ? parent->childCount() : fatView_->topLevelItemCount();
        node = index + 1 < siblings
                   ? (parent ? parent->child(index + 1) : fatView_->topLevelItem(index + 1))
                   : nullptr;
    }
    return nullptr;
}

void TFolderTree::FATViewChange(QTreeWidgetItem* node) {
    state_.CurrentDir = NodePath(node);
    emit StatusText(state_.CurrentDir);
}

void TFolderTree::FATViewExpanding(QTreeWidgetItem* node) {
    for (int i = 0; i < node->childCount(); ++i)
        ListSubfolders(node->child(i));
}

void TFolderTree::FATViewExpanded(QTreeWidgetItem* node) {
    fatView_->setSortingEnabled(false);
    fatView_->setSortingEnabled(true);
    SelectNode(node);
    state_.LastScannedNode = fatView_->currentItem();
}

void TFolderTree::FATViewClick() {
    QTreeWidgetItem* node = fatView_->currentItem();
    if (!node)
        return;
    if (!node->parent() && node->childCount() == 0)
        ListSubfolders(node);
    if (node == state_.LastScannedNode)
        return;
    state_.LastScannedNode = node;
    state_.ShallowScan = node->parent() == nullptr;
    emit ScanRequested();
}

bool TFolderTree::FATViewKeyPress(QChar key) {
    if (key.unicode() != 13)
        return false;
    emit ScanRequested();
    return true;
}

} // namespace glyptor
