// The folder tree controller: one top node per drive, subfolders listed lazily one level ahead
// of what the user has opened. Nodes are never removed while the window lives, so found icons
// may keep them. It drives the tree control FATView and asks for scans through ScanRequested.
#pragma once

#include "platform/core/ProgramState.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QTreeWidgetItem>

#include <array>
#include <map>
#include <string>
#include <vector>

class QTreeWidget;

namespace glyptor {

// Upper-cases a path for comparison (system locale rules).
QString UpperPath(const QString& path);

// One logical drive of the folder tree.
struct DriveRecord {
    int type = 0; // platform drive type code
    QString root; // "C:\"
};

// A tree node whose children sort by text without regard to case, like the system tree.
class FolderNode : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;
    // The node's picture, set without telling the model: the caller has the view repainted.
    void SetPictureQuietly(const QIcon& picture) { picture_ = picture; }

private:
    // The tree's own values (node id, pictures, state) live here: the view shows none of them,
    // so a change to one need not tell it. A scan marks thousands of folders.
    std::array<QVariant, 4> own_;
    // The picture shown, when set quietly: a scan marks each folder twice, and a model's change
    // signal for each mark cost a tenth of the window's time in a re-scan.
    QIcon picture_;
};

class TFolderTree : public QObject {
    Q_OBJECT
public:
    // `images` are the tree's nine 16 x 16 pictures.
    TFolderTree(ProgramState& state, QTreeWidget* fatView, QList<QIcon> images,
                QObject* parent = nullptr);

    void BuildDriveTree();
    // Adds the node's subfolders as children (once: a node with children is left alone). The
    // names, when given, are taken instead of listing the folder again.
    void ListSubfolders(QTreeWidgetItem* node, const std::vector<std::string>* names = nullptr);
    // The end of a scan: the view sorts again (every list it made is sorted already).
    void ScanFinished();
    // F5: lists the node's subfolders again, adding those made since (nodes already there
    // stay, since grid records may refer to them).
    void RefreshSubfolders(QTreeWidgetItem* node);
    // Selects the node of a program path, listing folders on the way; null when none matches.
    QTreeWidgetItem* FindNodeByPath(const QString& path);
    void FATViewChange(QTreeWidgetItem* node);
    void FATViewExpanding(QTreeWidgetItem* node);
    void FATViewExpanded(QTreeWidgetItem* node);
    void FATViewClick();
    bool FATViewKeyPress(QChar key);
    // Node and state images (state 0 = none).
    void SetNodeImage(QTreeWidgetItem* node, int image, int selectedImage);
    void SetStateImage(QTreeWidgetItem* node, int state);
    int StateImage(const QTreeWidgetItem* node) const;
    quint64 NodeId(const QTreeWidgetItem* node) const;
    void SelectNode(QTreeWidgetItem* node);

    QList<DriveRecord> DriveList;

signals:
    // A text for the status line (the host name, the selected folder).
    void StatusText(const QString& text);
    // The grid should be cleared and the selected folder scanned (a click, Enter).
    void ScanRequested();

private:
    ProgramState& state_;
    QTreeWidget* fatView_;
    QList<QIcon> images_;
    // Node icons by state, image and selected image: a scan sets a state on every folder it
    // enters and leaves, and painting the composition each time was most of that cost.
    std::map<std::array<int, 3>, QIcon> composed_;
    quint64 nextNodeId_ = 1;
    // The view's sorting, switched off by ListSubfolders during a scan, goes back on at its end.
    bool sortAfterScan_ = false;
    // Set while SelectNode opens ancestors: no expand handlers run then.
    bool quietExpand_ = false;
};

} // namespace glyptor
