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
    if (deviceSize == 32)
        return ApplicationIcon();
    // Zooming asks for a handful of sizes; keeping the last one saves remaking it per cell.
    static int lastSize = 0;
    static QPixmap last;
    if (deviceSize != lastSize) {
        last = resources::ProgramIcon(deviceSize);
        lastSize = deviceSize;
    }
    return last;
}

const IconImage& ApplicationIconImage() {
    static const IconImage icon = FromQImage(ApplicationIcon().toImage());
    return icon;
}

QImage ToQImage(const IconImage& icon) {
    if (!icon.IsValid())
        return {};
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y)
        std::copy_n(icon.pixels.data() + static_cast<std::size_t>(y) * icon.width, icon.width,
                    reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    return image;
}

IconImage FromQImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    IconImage icon;
    icon.width = image.width();
    icon.height = image.height();
    icon.pixels.reserve(static_cast<std::size_t>(icon.width) * icon.height);
    icon.mask.reserve(icon.pixels.capacity());
    for (int y = 0; y < icon.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < icon.width; ++x) {
            icon.pixels.push_back(row[x]);
            icon.mask.push_back((row[x] >> 24) == 0 ? 1 : 0);
        }
    }
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

bool LoadPicture(TIconRes& record, icons::IconSourceCache& source, int deviceSize, qreal ratio) {
    if (!record.Picture)
        record.Picture = std::make_unique<TPicture>();
    std::optional<IconImage> icon;
    std::optional<IconImage> cellIcon;
    if (auto native = platform::ToNativePath(record.FullPath().toStdString())) {
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

void EnsureImageHash(TIconRes& record, icons::IconSourceCache& source, ImageHashMemo& memo) {
    if (record.ImageHash != kNoImageHash)
        return;
    if (memo.FolderNode != record.FolderNode || memo.FileName != record.FileName) {
        memo.FolderNode = record.FolderNode;
        memo.FileName = record.FileName;
        memo.Hashes.clear();
        if (auto native = platform::ToNativePath(record.FullPath().toStdString()))
            memo.Hashes = icons::ChosenImageHashes(source, *native);
    }
    std::optional<std::uint64_t> hash;
    if (record.IconIndex >= 0 && static_cast<std::size_t>(record.IconIndex) < memo.Hashes.size())
        hash = memo.Hashes[static_cast<std::size_t>(record.IconIndex)];
    // The two reserved values are moved aside; a real image never takes them.
    record.ImageHash = !hash ? kUnreadableImageHash : std::max<std::uint64_t>(*hash, 2);
}

} // namespace glyptor
