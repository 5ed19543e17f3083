#include "browser/IconRes.h"

#include "app/Umain.h"
#include "platform/core/Paths.h"
#include "platform/icons/IconSource.h"
#include "resources/Resources.h"

#include <QImage>

namespace glyptor {

int LoadedPictureCount = 0;

QString TIconRes::FullPath() const {
    return FolderNode ? NodePath(FolderNode) + '\\' + FileName : FileName;
}

const QPixmap& ApplicationIcon() {
    static const QPixmap icon = resources::ProgramIcon(32);
    return icon;
}

QPixmap& GetPicture(TIconRes& record, bool& loaded) {
    if (!record.Picture)
        record.Picture = std::make_unique<QPixmap>();
    if (!record.Picture->isNull()) {
        loaded = false;
        return *record.Picture;
    }
    std::optional<IconImage> icon;
    if (auto native = platform::ToNativePath(record.FullPath().toStdString()))
        icon = icons::ExtractIcon(*native, record.IconIndex);
    if (icon && icon->IsValid()) {
        QImage image(icon->width, icon->height, QImage::Format_ARGB32);
        for (int y = 0; y < icon->height; ++y)
            std::copy_n(icon->pixels.data() + static_cast<std::size_t>(y) * icon->width,
                        icon->width, reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
        *record.Picture = QPixmap::fromImage(image);
        ++LoadedPictureCount;
        loaded = true;
    } else {
        *record.Picture = ApplicationIcon();
    }
    return *record.Picture;
}

void ReleasePicture(TIconRes& record) {
    if (!record.Picture)
        return;
    record.Picture.reset();
    --LoadedPictureCount;
}

} // namespace glyptor
