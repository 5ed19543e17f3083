// The picture cache of the grid: pictures are loaded when a cell is painted or while the program
// is idle, counted in LoadedPictureCount, and released from the far ends of the list when the
// count passes MaxCash, down to MinCash. The grid owns the records; the cache only fills and
// empties their picture slots.
#pragma once

#include "browser/IconRes.h"
#include "platform/core/ProgramState.h"
#include "platform/icons/IconSource.h"

#include <QObject>

class QPainter;
class QRect;

namespace glyptor {

class TIconBox;

class TPictureCache : public QObject {
    Q_OBJECT
public:
    TPictureCache(ProgramState& state, TIconBox* iconBox, QObject* parent = nullptr);

    // The picture of a record: loads icon IconIndex of its file when it has none; `loaded`
    // becomes true when an icon came from the file now (and LoadedPictureCount grew).
    QPixmap& GetPicture(TIconRes& record, bool& loaded);
    // Frees the record's picture, if any, and lowers LoadedPictureCount.
    void ReleasePicture(TIconRes& record);

    // Cells of one screen as the loading rules count it: ten per column.
    int PageSize() const;
    // Paints one cell, loading its picture; trims the cache when it is over MaxCash.
    void DrawItem(QPainter& painter, int index, const QRect& rect);
    // The idle step: loads at most one picture behind the view and one beyond the next screen.
    void PrefetchIcons();

    // The parsed directories of the files read last, shared by the scanner's counts and the
    // pictures, so a file counted during a scan is not parsed again for its first icons.
    icons::IconSourceCache& IconSource() { return iconSource_; }

private:
    ProgramState& state_;
    TIconBox* iconBox_;
    icons::IconSourceCache iconSource_;
};

} // namespace glyptor
