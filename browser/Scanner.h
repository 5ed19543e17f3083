// The scanner controller: walks a folder node (and, when allowed, its subfolders), asks each
// file that passes the type filter for its icons and appends one record per icon to the grid.
// It also owns the type filter menu's entries (im1 ... im6) and "Просмотр подкаталогов".
#pragma once

#include "platform/core/ProgramState.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QTreeWidget;
class QTreeWidgetItem;

namespace glyptor {

class TFolderTree;
class TIconBox;
class TPictureCache;
namespace scan {
class FolderCounts;
class ScanPool;
} // namespace scan

// The sorted, case-insensitive key set of files whose icons are in the grid.
class ScannedFileList {
public:
    // False when the key is present already.
    bool Add(QString key);
    bool Contains(const QString& key) const;
    int Count() const { return static_cast<int>(keys_.size()); }
    void Clear() { keys_.clear(); }

private:
    QSet<QString> keys_; // upper-cased keys
};

// The controls the scanner drives.
struct ScannerControls {
    QTreeWidget* FATView = nullptr;
    TIconBox* IconBox = nullptr;
    QAction* im1 = nullptr; // all files
    QAction* im2 = nullptr; // .DLL, .EXE, .ICO, .ICL, .BMP in this order
    QAction* im3 = nullptr;
    QAction* im4 = nullptr;
    QAction* im5 = nullptr;
    QAction* im6 = nullptr;
    QAction* subfolders1 = nullptr;
};

class TScanner : public QObject {
    Q_OBJECT
public:
    TScanner(ProgramState& state, TFolderTree& tree, TPictureCache& pictures,
             ScannerControls controls, QObject* parent = nullptr);
    ~TScanner() override;

    void TBScanClick();
    void TBClearClick();
    // Scans the folder of `node`; `knownNative` is its native path when the caller knows it.
    void ScanFolder(QTreeWidgetItem* node, const std::string& knownNative = {});
    void ScanFile(QTreeWidgetItem* node, const QString& path);
    // ScanFile with the file's native path already known.
    void ScanNativeFile(QTreeWidgetItem* node, const QString& path, const std::string& native);
    void Image_scanClick();
    void im1Click();
    void imTypeClick(QAction* item);
    void maskset();
    // Sets the type entries' checks from ExtMask.
    void maskmenuPopup();
    void subfolders1Click();

    ScannedFileList ScannedFiles;

signals:
    // A text for the status line (the folder being scanned).
    void StatusText(const QString& text);
    // The grid was hidden for the scan: the window should repaint before the walk starts.
    void RepaintRequested();
    // The scan is over (finished, stopped or left for the window's closing).
    void ScanEnded();

private:
    bool Terminating() const;
    // Starts the reader pool on the folders a scan of `node` will visit (when it has threads);
    // the node's native path when it did.
    std::string StartReaders(QTreeWidgetItem* node);
    // The pool's counts for a folder, waiting (and pumping) while the walk may still bring it.
    std::shared_ptr<scan::FolderCounts> FolderCountsOf(const std::string& nativeFolder);
    // The count of one file (and, while repeats are folded, its icons' fingerprints): from the
    // pool when it has it, else read here.
    std::optional<int> CountOf(scan::FolderCounts* counts, const std::string& nativeFolder,
                               const std::string& name,
                               std::vector<std::optional<std::uint64_t>>& hashes);
    void AddIcons(QTreeWidgetItem* node, const QString& path, int count,
                  const std::vector<std::optional<std::uint64_t>>& hashes = {});

    ProgramState& state_;
    TFolderTree& tree_;
    TPictureCache& pictures_;
    ScannerControls controls_;
    std::unique_ptr<scan::ScanPool> pool_;
    bool poolWalking_ = false;
    QString walkMask_;          // the type filter the walk lists folders with
    bool walkDescends_ = false; // the walk lists subfolders too
};

} // namespace glyptor
