#include "browser/PictureCache.h"

#include "browser/CacheRules.h"
#include "browser/IconGrid.h"

#include <QPainter>

#include <cmath>

namespace glyptor {

TPictureCache::TPictureCache(ProgramState& state, TIconBox* iconBox, QObject* parent)
    : QObject(parent), state_(state), iconBox_(iconBox) {
    setObjectName(QStringLiteral("PictureCache"));
}

QPixmap& TPictureCache::GetPicture(TIconRes& record, bool& loaded) {
    FollowDeviceSize();
    if (record.Picture && !record.Picture->Pixmap.isNull()) {
        loaded = false;
        return record.Picture->Pixmap;
    }
    // The program's icon standing in for a file's is not counted as loaded.
    loaded = LoadPicture(record, iconSource_, pictureSize_,
                         static_cast<qreal>(pictureSize_) / iconBox_->IconSize());
    if (loaded)
        ++state_.LoadedPictureCount;
    return record.Picture->Pixmap;
}

void TPictureCache::ReleasePicture(TIconRes& record) {
    if (!record.Picture)
        return;
    record.Picture.reset();
    --state_.LoadedPictureCount;
}

int TPictureCache::PageSize() const {
    return iconBox_->Columns() * std::max(1, 10 * 32 / iconBox_->IconSize());
}

int TPictureCache::DeviceIconSize() const {
    return static_cast<int>(std::lround(iconBox_->IconSize() * iconBox_->devicePixelRatioF()));
}

namespace {

// `count` pictures of 32 x 32 pixels, as a count of pictures of `size` x `size`.
int ScaleByArea(int count, int size) {
    if (size <= 32)
        return count;
    return std::max(1,
                    static_cast<int>(std::int64_t{count} * 32 * 32 / (std::int64_t{size} * size)));
}

} // namespace

int TPictureCache::MaxPictures() const {
    return ScaleByArea(state_.MaxCash, DeviceIconSize());
}

int TPictureCache::MinPictures() const {
    return ScaleByArea(state_.MinCash, DeviceIconSize());
}

void TPictureCache::FollowDeviceSize() {
    const int size = DeviceIconSize();
    if (size == pictureSize_)
        return;
    ReleaseAll();
    pictureSize_ = size;
}

void TPictureCache::ReleaseAll() {
    for (int i = 0; i < iconBox_->RecordCount() && state_.LoadedPictureCount > 0; ++i)
        ReleasePicture(iconBox_->Record(i));
}

void TPictureCache::ReleaseHidden() {
    std::vector<bool> shown(static_cast<std::size_t>(iconBox_->RecordCount()));
    for (int i = 0; i < iconBox_->Count(); ++i)
        shown[static_cast<std::size_t>(iconBox_->RecordIndex(i))] = true;
    for (int i = 0; i < iconBox_->RecordCount(); ++i)
        if (!shown[static_cast<std::size_t>(i)])
            ReleasePicture(iconBox_->Record(i));
}

void TPictureCache::HashRecord(TIconRes& record) {
    // A cleared grid may be followed by a scan of changed files: forget the last file's hashes.
    if (iconBox_->RecordCount() < hashedRecordCount_)
        hashMemo_ = {};
    hashedRecordCount_ = iconBox_->RecordCount();
    EnsureImageHash(record, iconSource_, hashMemo_);
}

void TPictureCache::DrawItem(QPainter& painter, int index, const QRect& rect) {
    if (index < 0 || index >= iconBox_->Count())
        return;
    bool loaded = true;
    const QPixmap& picture = GetPicture(iconBox_->Item(index), loaded);
    painter.fillRect(rect, ToQColor(iconBox_->Color()));
    const int offset = iconBox_->IconOffset();
    painter.drawPixmap(rect.left() + offset, rect.top() + offset, picture);
    if (loaded)
        iconBox_->viewport()->update();

    if (state_.LoadedPictureCount > MaxPictures()) {
        const int low = MinPictures();
        TrimPictureCache(
            iconBox_->Count(), [this] { return iconBox_->TopIndex(); }, PageSize(),
            [this, low] { return state_.LoadedPictureCount > low; },
            [this](int i) { ReleasePicture(iconBox_->Item(i)); });
    }
}

void TPictureCache::PrefetchIcons() {
    FollowDeviceSize();
    const int count = iconBox_->Count();
    if (count == state_.LoadedPictureCount || state_.LoadedPictureCount >= MaxPictures() - 2)
        return;
    const int top = iconBox_->TopIndex();
    if (top > 0) {
        for (int i = std::min(top, count - 1); i >= 0; --i) {
            if (!iconBox_->Item(i).Picture) {
                bool loaded = true;
                GetPicture(iconBox_->Item(i), loaded);
                break;
            }
        }
    }
    const int start = top + PageSize();
    if (start >= count - 1)
        return;
    for (int i = start; i < count; ++i) {
        if (!iconBox_->Item(i).Picture) {
            bool loaded = true;
            GetPicture(iconBox_->Item(i), loaded);
            return;
        }
    }
}

} // namespace glyptor
