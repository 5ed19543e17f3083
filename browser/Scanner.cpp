// The icon scanner: walks a folder node (and, when allowed, its subfolders), asks each file that
// passes the type filter for its icons and appends one record per icon to the grid. It runs on
// the window's thread and keeps the window alive through the throttled pump, so every handler
// may run between two directory entries; nothing here holds a grid record across a pump.
// Reader threads count the files of the folders ahead (ScanPool); the walk below still visits
// every folder and file itself and takes each count in its own order, so the grid, the status
// line and the tree come out as if it had counted every file here.
#include "browser/Scanner.h"

#include "browser/FolderTree.h"
#include "browser/IconGrid.h"
#include "browser/PictureCache.h"
#include "browser/ScanPool.h"
#include "browser/ScanRules.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Paths.h"
#include "platform/icons/IconSource.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>

#include <fcntl.h>

namespace glyptor {

bool ScannedFileList::Add(QString key) {
    const qsizetype before = keys_.size();
    // A key made for the call is upper-cased in its own buffer instead of a copy.
    keys_.insert(std::move(key).toUpper());
    return keys_.size() != before;
}

bool ScannedFileList::Contains(const QString& key) const {
    return keys_.contains(key.toUpper());
}

TScanner::TScanner(ProgramState& state, TFolderTree& tree, TPictureCache& pictures,
                   ScannerControls controls, QObject* parent)
    : QObject(parent), state_(state), tree_(tree), pictures_(pictures), controls_(controls) {
    setObjectName(QStringLiteral("Scanner"));
}

TScanner::~TScanner() = default;

bool TScanner::Terminating() const {
    return state_.Closing || QCoreApplication::closingDown();
}

void TScanner::TBScanClick() {
    if (state_.Scanning) {
        state_.StopRequested = true;
        return;
    }
    controls_.IconBox->hide();
    state_.Scanning = true;
    state_.FirstNewIndex = controls_.IconBox->Count();
    emit RepaintRequested();
    state_.StopRequested = false;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    struct Finish {
        TScanner& scanner;
        ~Finish() {
            QApplication::restoreOverrideCursor();
            scanner.state_.Scanning = false;
            scanner.tree_.ScanFinished();
            emit scanner.ScanEnded();
        }
    } finish{*this};

    if (QTreeWidgetItem* node = controls_.FATView->currentItem())
        ScanFolder(node, StartReaders(node));
    // No reader outlives the scan, not even waiting for work: a stop, the next scan and the
    // window all find them gone.
    pool_.reset();
    poolWalking_ = false;

    if (state_.FirstNewIndex >= 0 && state_.FirstNewIndex < controls_.IconBox->Count())
        controls_.IconBox->SetTopIndex(state_.FirstNewIndex);
    if (!state_.Closing)
        controls_.IconBox->show();
}

void TScanner::ScanFolder(QTreeWidgetItem* node, const std::string& knownNative) {
    if (Terminating() || state_.StopRequested)
        return;
    const QString path = NodePath(node);
    emit StatusText(path);
    tree_.SetStateImage(node, 1);

    // A folder the walk listed with this scan's filter is taken as the walk listed it: the same
    // names in the same order as a listing here would give, without a second look at the disk.
    std::string nativeFolder = knownNative;
    std::shared_ptr<scan::FolderCounts> counts;
    if (!nativeFolder.empty() && state_.ExtMask == walkMask_)
        counts = FolderCountsOf(nativeFolder);
    std::vector<std::string> names;
    if (counts) {
        names = counts->Names();
    } else {
        // The folder's native path is found once; each file's native path is that plus its name.
        const QString pattern = ScanPattern(state_.ExtMask);
        for (const platform::FolderEntry& entry : platform::ListEntries(
                 state_.Drives, (path + '\\').toStdString(), pattern.toStdString(), &nativeFolder))
            if (!entry.isDirectory &&
                PassesTypeFilter(QString::fromStdString(entry.name), state_.ExtMask))
                names.push_back(entry.name);
        counts = FolderCountsOf(nativeFolder);
    }
    for (const std::string& name : names) {
        PumpMessages(state_);
        std::vector<std::optional<std::uint64_t>> hashes;
        // Most files hold no icons: their path is not worth making.
        const auto count = CountOf(counts.get(), nativeFolder, name, hashes);
        if (count && *count > 0)
            AddIcons(node, path + '\\' + QString::fromStdString(name), *count, hashes);
        if (Terminating() || state_.StopRequested)
            break;
    }

    // The node may have been scanned under a stop request, but it was entered: it gets its mark.
    if (!state_.ShallowScan && state_.ScanSubfolders && !Terminating()) {
        tree_.ListSubfolders(node, counts && walkDescends_ ? &counts->Subfolders() : nullptr);
        for (int i = 0; i < node->childCount(); ++i) {
            if (Terminating() || state_.StopRequested)
                break;
            QTreeWidgetItem* child = node->child(i);
            ScanFolder(child, nativeFolder.empty()
                                  ? std::string()
                                  : nativeFolder + '/' + child->text(0).toStdString());
        }
    }
    tree_.SetStateImage(node, 8);
}

void TScanner::ScanFile(QTreeWidgetItem* node, const QString& path) {
    if (const auto native = platform::ToNativePath(state_.Drives, path.toStdString()))
        ScanNativeFile(node, path, *native);
}

void TScanner::ScanNativeFile(QTreeWidgetItem* node, const QString& path,
                              const std::string& native) {
    AddIcons(node, path, icons::IconCount(pictures_.IconSource(), native));
}

std::string TScanner::StartReaders(QTreeWidgetItem* node) {
    poolWalking_ = false;
    if (state_.ScanReaderThreads == 1)
        return {};
    const auto native = platform::ToNativePath(state_.Drives, NodePath(node).toStdString());
    if (!native)
        return {};
    if (!pool_) {
        scan::IndexSettings index;
        if (state_.ScanIndex) {
            index.folder = platform::DefaultScanIndexFolder();
            index.options.maxBytes = std::uint64_t(state_.ScanIndexMaxMB) << 20;
        }
        pool_ = std::make_unique<scan::ScanPool>(state_.ScanReaderThreads, index);
    }
    // The walk keeps the filter and the depth this scan starts with; a folder or file the
    // scan meets otherwise (the filter changed during the scan) is counted here instead.
    const QString mask = state_.ExtMask;
    const std::string pattern = ScanPattern(mask).toStdString();
    scan::WalkRules rules;
    rules.wantFile = [mask, asciiMask = mask.toStdString(), pattern](const std::string& name) {
        if (!platform::MatchesPattern(name, pattern))
            return false;
        // Most names end in an ASCII extension, which the type filter can judge without making
        // a QString of the whole name; any other goes the long way.
        const std::size_t dot = name.rfind('.');
        std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        if (!std::all_of(ext.begin(), ext.end(), [](unsigned char c) { return c < 0x80; }) ||
            mask.size() != static_cast<qsizetype>(asciiMask.size()))
            return PassesTypeFilter(QString::fromStdString(name), mask);
        for (char& c : ext)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (!asciiMask.empty() && (ext.empty() || asciiMask.find(ext) == std::string::npos))
            return false;
        return ext != ".CUR" && ext != ".ANI";
    };
    rules.folderBefore = [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) <
               0;
    };
    rules.descend = !state_.ShallowScan && state_.ScanSubfolders;
    rules.hashes = controls_.IconBox->FoldDuplicates();
    walkMask_ = mask;
    walkDescends_ = rules.descend;
    pool_->StartWalk(*native, std::move(rules));
    poolWalking_ = true;
    return *native;
}

std::shared_ptr<scan::FolderCounts> TScanner::FolderCountsOf(const std::string& nativeFolder) {
    if (!poolWalking_ || nativeFolder.empty())
        return nullptr;
    for (;;) {
        bool mayCome = false;
        auto counts = pool_->TakeFolder(nativeFolder, std::chrono::milliseconds(20), mayCome);
        if (counts || !mayCome)
            return counts;
        PumpMessages(state_);
        if (Terminating() || state_.StopRequested)
            return nullptr;
    }
}

std::optional<int> TScanner::CountOf(scan::FolderCounts* counts, const std::string& nativeFolder,
                                     const std::string& name,
                                     std::vector<std::optional<std::uint64_t>>& hashes) {
    auto position = counts ? counts->PositionOf(name) : std::nullopt;
    while (position) {
        int count = 0;
        switch (counts->WaitAt(*position, std::chrono::milliseconds(20), count, &hashes)) {
        case scan::FolderCounts::State::Ready:
            return count;
        case scan::FolderCounts::State::Unknown:
            position.reset();
            break;
        case scan::FolderCounts::State::Pending:
            // Waiting for a reader keeps the window alive like walking does.
            PumpMessages(state_);
            if (Terminating() || state_.StopRequested)
                return std::nullopt;
            break;
        }
    }
    // Folding hashes in the same open as the count; the grid would open the file again.
    const std::string native = nativeFolder + '/' + name;
    const auto scanned = icons::ScanFileAt(pictures_.IconSource(), AT_FDCWD, native, native, false,
                                           controls_.IconBox->FoldDuplicates());
    if (!scanned)
        return 0;
    hashes = scanned->hashes;
    return scanned->count;
}

void TScanner::AddIcons(QTreeWidgetItem* node, const QString& path, int count,
                        const std::vector<std::optional<std::uint64_t>>& hashes) {
    if (count < 1)
        return;
    if (!node) {
        const int slash = path.lastIndexOf('\\');
        node = tree_.FindNodeByPath(slash >= 0 ? path.left(slash) : QString());
    }
    const QString name = node ? path.mid(path.lastIndexOf('\\') + 1) : path;
    if (!ScannedFiles.Add(node ? name + QString::number(tree_.NodeId(node)) : name))
        return;
    const bool loadNow = state_.IconTotal < pictures_.PageSize();
    for (int index = 0; index < count; ++index) {
        TIconRes record;
        record.FolderNode = node;
        record.FileName = name;
        record.IconIndex = index;
        if (static_cast<std::size_t>(index) < hashes.size())
            record.ImageHash = RecordImageHash(hashes[static_cast<std::size_t>(index)]);
        if (loadNow) {
            bool loaded = true;
            pictures_.GetPicture(record, loaded);
        }
        controls_.IconBox->Append(std::move(record));
    }
    state_.IconTotal += count;
}

void TScanner::TBClearClick() {
    controls_.IconBox->hide();
    controls_.IconBox->Clear();
    ScannedFiles.Clear();
    if (!state_.Scanning)
        controls_.IconBox->show();
    state_.IconTotal = 0;
    state_.LoadedPictureCount = 0;
}

void TScanner::Image_scanClick() {
    QTreeWidgetItem* node = controls_.FATView->currentItem();
    if (node) {
        while (node->parent())
            node = node->parent();
        tree_.SelectNode(node);
    }
    state_.ShallowScan = false;
    TBClearClick();
    if (node)
        TBScanClick();
}

void TScanner::im1Click() {
    if (!controls_.im1->isChecked())
        for (QAction* item :
             {controls_.im2, controls_.im3, controls_.im4, controls_.im5, controls_.im6})
            item->setChecked(false);
    controls_.im1->setChecked(true);
    state_.ExtMask.clear();
}

void TScanner::imTypeClick(QAction* item) {
    if (controls_.im1->isChecked())
        controls_.im1->setChecked(false);
    item->setChecked(!item->isChecked());
    maskset();
}

void TScanner::maskset() {
    state_.ExtMask.clear();
    if (!controls_.im1->isChecked()) {
        const QAction* items[] = {controls_.im2, controls_.im3, controls_.im4, controls_.im5,
                                  controls_.im6};
        for (int i = 0; i < 5; ++i)
            if (items[i]->isChecked())
                state_.ExtMask += TypeExtensions()[i];
    }
    state_.LastScannedNode = nullptr;
}

void TScanner::maskmenuPopup() {
    controls_.im1->setChecked(state_.ExtMask.isEmpty());
    QAction* items[] = {controls_.im2, controls_.im3, controls_.im4, controls_.im5, controls_.im6};
    for (int i = 0; i < 5; ++i)
        items[i]->setChecked(state_.ExtMask.contains(TypeExtensions()[i]));
}

void TScanner::subfolders1Click() {
    state_.ScanSubfolders = !controls_.subfolders1->isChecked();
    controls_.subfolders1->setChecked(state_.ScanSubfolders);
}

} // namespace glyptor
