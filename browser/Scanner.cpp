// The icon scanner: walks a folder node (and, when allowed, its subfolders), asks each file that
// passes the type filter for its icons and appends one record per icon to the grid. It runs on
// the window's thread and keeps the window alive through the throttled pump, so every handler
// may run between two directory entries; nothing here holds a grid record across a pump.
#include "app/Umain.h"

#include "browser/ScanRules.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Paths.h"
#include "platform/icons/IconSource.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace glyptor {

namespace {

bool Terminating(const TFMain& window) {
    return window.Closing() || QCoreApplication::closingDown();
}

} // namespace

void TFMain::TBScanClick() {
    if (Scanning) {
        StopRequested = true;
        return;
    }
    IconBox->hide();
    Scanning = true;
    FirstNewIndex = IconBox->Count();
    repaint();
    StopRequested = false;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    struct Finish {
        TFMain* window;
        ~Finish() {
            QApplication::restoreOverrideCursor();
            window->Scanning = false;
        }
    } finish{this};

    if (QTreeWidgetItem* node = FATView->currentItem())
        ScanFolder(node);

    if (FirstNewIndex >= 0 && FirstNewIndex < IconBox->Count())
        IconBox->SetTopIndex(FirstNewIndex);
    if (!closing_)
        IconBox->show();
}

void TFMain::ScanFolder(QTreeWidgetItem* node) {
    if (Terminating(*this) || StopRequested)
        return;
    const QString path = NodePath(node);
    ShowStatus(path);
    SetStateImage(node, 1);

    const QString pattern = ScanPattern(ExtMask);
    // The folder's native path is found once; each file's native path is that plus its name.
    std::string nativeFolder;
    const auto entries =
        platform::ListEntries((path + '\\').toStdString(), pattern.toStdString(), &nativeFolder);
    for (const platform::FolderEntry& entry : entries) {
        PumpMessages();
        if (entry.isDirectory)
            continue;
        const QString name = QString::fromStdString(entry.name);
        if (!PassesTypeFilter(name, ExtMask))
            continue;
        ScanNativeFile(node, path + '\\' + name, nativeFolder + '/' + entry.name);
        if (Terminating(*this) || StopRequested)
            break;
    }

    // The node may have been scanned under a stop request, but it was entered: it gets its mark.
    if (!ShallowScan && ScanSubfolders && !Terminating(*this)) {
        ListSubfolders(node);
        for (int i = 0; i < node->childCount(); ++i) {
            if (Terminating(*this) || StopRequested)
                break;
            ScanFolder(node->child(i));
        }
    }
    SetStateImage(node, 8);
}

void TFMain::ScanFile(QTreeWidgetItem* node, const QString& path) {
    if (const auto native = platform::ToNativePath(path.toStdString()))
        ScanNativeFile(node, path, *native);
}

void TFMain::ScanNativeFile(QTreeWidgetItem* node, const QString& path, const std::string& native) {
    const int count = icons::IconCount(native);
    if (count < 1)
        return;
    if (!node) {
        const int slash = path.lastIndexOf('\\');
        node = FindNodeByPath(slash >= 0 ? path.left(slash) : QString());
    }
    const QString name = node ? path.mid(path.lastIndexOf('\\') + 1) : path;
    const QString key = node ? name + QString::number(NodeId(node)) : name;
    if (!ScannedFiles.Add(key))
        return;
    const bool loadNow = IconTotal < PageSize();
    for (int index = 0; index < count; ++index) {
        auto record = std::make_unique<TIconRes>();
        record->FolderNode = node;
        record->FileName = name;
        record->IconIndex = index;
        if (loadNow) {
            bool loaded = true;
            GetPicture(*record, loaded);
        }
        IconBox->Append(std::move(record));
    }
    IconTotal += count;
}

void TFMain::TBClearClick() {
    IconBox->hide();
    IconBox->Clear();
    ScannedFiles.Clear();
    if (!Scanning)
        IconBox->show();
    IconTotal = 0;
    LoadedPictureCount = 0;
}

void TFMain::Image_scanClick() {
    QTreeWidgetItem* node = FATView->currentItem();
    if (node) {
        while (node->parent())
            node = node->parent();
        SelectNode(node);
    }
    ShallowScan = false;
    TBClearClick();
    if (node)
        TBScanClick();
}

void TFMain::im1Click() {
    if (!im1->isChecked())
        for (QAction* item : {im2, im3, im4, im5, im6})
            item->setChecked(false);
    im1->setChecked(true);
    ExtMask.clear();
}

void TFMain::imTypeClick(QAction* item) {
    if (im1->isChecked())
        im1->setChecked(false);
    item->setChecked(!item->isChecked());
    maskset();
}

void TFMain::maskset() {
    ExtMask.clear();
    if (!im1->isChecked()) {
        const QAction* items[] = {im2, im3, im4, im5, im6};
        for (int i = 0; i < 5; ++i)
            if (items[i]->isChecked())
                ExtMask += TypeExtensions()[i];
    }
    LastScannedNode = nullptr;
}

void TFMain::maskmenuPopup() {
    im1->setChecked(ExtMask.isEmpty());
    QAction* items[] = {im2, im3, im4, im5, im6};
    for (int i = 0; i < 5; ++i)
        items[i]->setChecked(ExtMask.contains(TypeExtensions()[i]));
    RefreshThemeMenu();
}

void TFMain::subfolders1Click() {
    ScanSubfolders = !subfolders1->isChecked();
    subfolders1->setChecked(ScanSubfolders);
}

} // namespace glyptor
