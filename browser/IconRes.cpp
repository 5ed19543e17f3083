#include "browser/IconRes.h"

#include "platform/core/Paths.h"
#include "platform/icons/IconSource.h"
#include "resources/Resources.h"

#include <QImage>
#include <QStringList>
#include <QTreeWidgetItem>

namespace glyptor {

QString NodePath(const QTreeWidgetItem* node) {
    QStringList parts;
    for (; node; node = node->parent())
        parts.prepend(node->text(0));
    return parts.join('\\');
}

QString TIconRes::FullPath() const {
    return FolderNode ? NodePath(FolderNode) + '\\' + FileName : FileName;
}

const QPixmap& ApplicationIcon() {
    static const QPixmap icon = resources::ProgramIcon(32);
    return icon;
}

QPixmap ApplicationIcon(int deviceSize) {
    // Made afresh at other sizes: it stands only in the few cells whose file yields no icon.
    return deviceSize == 32 ? ApplicationIcon() : resources::ProgramIcon(deviceSize);
}

const IconImage& ApplicationIconImage() {
    static const IconImage icon = FromQImage(ApplicationIcon().toImage());
    return icon;
}

namespace {

// Setting a ratio detaches a shared pixmap; the program's icon is shared by every record that
// shows it, so it is set only where it changes something.
void SetRatio(QPixmap& pixmap, qreal ratio) {
    if (!qFuzzyCompare(pixmap.devicePixelRatio(), ratio))
        pixmap.setDevicePixelRatio(ratio);
}

} // namespace

bool LoadPicture(TIconRes& record, const platform::DriveTable& drives,
                 icons::IconSourceCache& source, int deviceSize, qreal ratio) {
    if (!record.Picture)
        record.Picture = std::make_unique<TPicture>();
    std::optional<IconImage> icon;
    std::optional<IconImage> cellIcon;
    if (auto native = platform::ToNativePath(drives, record.FullPath().toStdString())) {
        icon = icons::ExtractIcon(source, *native, record.IconIndex);
        if (icon && icon->IsValid() && deviceSize != icons::kStandardIconSize)
            cellIcon = icons::ExtractIcon(source, *native, record.IconIndex, deviceSize, nullptr);
    }
    if (icon && icon->IsValid()) {
        const IconImage& shown = cellIcon && cellIcon->IsValid() ? *cellIcon : *icon;
        record.Picture->Pixmap = QPixmap::fromImage(ToQImage(shown));
        SetRatio(record.Picture->Pixmap, ratio * shown.width / deviceSize);
        record.Picture->Icon = std::move(*icon);
        return true;
    }
    record.Picture->Pixmap = ApplicationIcon(deviceSize);
    SetRatio(record.Picture->Pixmap,
             ratio * record.Picture->Pixmap.width() / std::max(1, deviceSize));
    record.Picture->Icon = ApplicationIconImage();
    return false;
}

void EnsureImageHash(TIconRes& record, const platform::DriveTable& drives,
                     icons::IconSourceCache& source, ImageHashMemo& memo) {
    if (record.ImageHash != kNoImageHash)
        return;
    if (memo.FolderNode != record.FolderNode || memo.FileName != record.FileName) {
        memo.FolderNode = record.FolderNode;
        memo.FileName = record.FileName;
        memo.Hashes.clear();
        if (auto native = platform::ToNativePath(drives, record.FullPath().toStdString()))
            memo.Hashes = icons::ChosenImageHashes(source, *native);
    }
    std::optional<std::uint64_t> hash;
    if (record.IconIndex >= 0 && static_cast<std::size_t>(record.IconIndex) < memo.Hashes.size())
        hash = memo.Hashes[static_cast<std::size_t>(record.IconIndex)];
    record.ImageHash = RecordImageHash(hash);
}

} // namespace glyptor
