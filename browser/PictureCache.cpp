#include "browser/PictureCache.h"

#include "browser/CacheRules.h"
#include "browser/IconGrid.h"

#include <QPainter>

namespace glyptor {

TPictureCache::TPictureCache(ProgramState& state, TIconBox* iconBox, QObject* parent)
    : QObject(parent), state_(state), iconBox_(iconBox) {
    setObjectName(QStringLiteral("PictureCache"));
}

QPixmap& TPictureCache::GetPicture(TIconRes& record, bool& loaded) {
    if (record.Picture && !record.Picture->Pixmap.isNull()) {
        loaded = false;
        return record.Picture->Pixmap;
    }
    // The program's icon standing in for a file's is not counted as loaded.
    loaded = LoadPicture(record, iconSource_);
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
    return iconBox_->Columns() * 10;
}

void TPictureCache::DrawItem(QPainter& painter, int index, const QRect& rect) {
    if (index < 0 || index >= iconBox_->Count())
        return;
    bool loaded = true;
    const QPixmap& picture = GetPicture(iconBox_->Item(index), loaded);
    painter.fillRect(rect, ToQColor(iconBox_->Color()));
    painter.drawPixmap(rect.left() + 3, rect.top() + 3, picture);
    if (loaded)
        iconBox_->viewport()->update();

    if (state_.LoadedPictureCount > state_.MaxCash) {
        TrimPictureCache(
            iconBox_->Count(), [this] { return iconBox_->TopIndex(); }, PageSize(),
            [this] { return state_.LoadedPictureCount > state_.MinCash; },
            [this](int i) { ReleasePicture(iconBox_->Item(i)); });
    }
}

void TPictureCache::PrefetchIcons() {
    const int count = iconBox_->Count();
    if (count == state_.LoadedPictureCount || state_.LoadedPictureCount >= state_.MaxCash - 2)
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
