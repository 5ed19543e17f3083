// The grid's behaviour in the window: column count from the width, cell painting with the
// picture cache and its trim, idle prefetching, the click action and the icon menu.
#include "app/Umain.h"

#include "browser/CacheRules.h"

#include <QAction>
#include <QColorDialog>
#include <QMenu>
#include <QPainter>

namespace glyptor {

int TFMain::PageSize() const {
    return IconBox->Columns() * 10;
}

void TFMain::PanelIconBoxResize() {
    IconBox->SetColumns(IconBox->width() / 39);
}

void TFMain::IconBoxDrawItem(QPainter& painter, int index, const QRect& rect, bool) {
    if (index < 0 || index >= IconBox->Count())
        return;
    bool loaded = true;
    const QPixmap& picture = GetPicture(IconBox->Item(index), loaded);
    painter.fillRect(rect, ToQColor(IconBox->Color()));
    painter.drawPixmap(rect.left() + 3, rect.top() + 3, picture);
    if (loaded)
        IconBox->viewport()->update();

    if (LoadedPictureCount > MaxCash) {
        TrimPictureCache(
            IconBox->Count(), [this] { return IconBox->TopIndex(); }, PageSize(),
            [this] { return LoadedPictureCount > MinCash; },
            [this](int i) { ReleasePicture(IconBox->Item(i)); });
    }
}

void TFMain::PrefetchIcons() {
    const int count = IconBox->Count();
    if (count == LoadedPictureCount || LoadedPictureCount >= MaxCash - 2)
        return;
    const int top = IconBox->TopIndex();
    if (top > 0) {
        for (int i = std::min(top, count - 1); i >= 0; --i) {
            if (!IconBox->Item(i).Picture) {
                bool loaded = true;
                GetPicture(IconBox->Item(i), loaded);
                break;
            }
        }
    }
    const int start = top + PageSize();
    if (start >= count - 1)
        return;
    for (int i = start; i < count; ++i) {
        if (!IconBox->Item(i).Picture) {
            bool loaded = true;
            GetPicture(IconBox->Item(i), loaded);
            return;
        }
    }
}

void TFMain::IconClick() {
    const int index = IconBox->ItemIndex();
    if (index >= 0 && index < IconBox->Count() && IconClickAction)
        IconClickAction(IconBox->Item(index));
}

void TFMain::IconActionMenuPopup() {
    const bool selected = IconBox->ItemIndex() >= 0;
    const QList<QAction*> entries = IconActionMenu->actions();
    // Everything above "Цвет фона" acts on the selected icon.
    for (QAction* entry : entries)
        if (entry != Backc1)
            entry->setVisible(selected);
}

void TFMain::Backc1Click() {
    const QColor chosen = QColorDialog::getColor(ToQColor(IconBox->Color()), this);
    if (chosen.isValid())
        IconBox->SetColor(FromQColor(chosen));
}

void TFMain::ShowInStatus(TIconRes& record) {
    ShowStatus(record.FileName + ' ' + QString::number(record.IconIndex));
}

} // namespace glyptor
