// The picture cache of the grid: pictures are loaded when a cell is painted or while the program
// is idle, counted in LoadedPictureCount, and released from the far ends of the list when the
// count passes MaxCash, down to MinCash. The grid owns the records; the cache only fills and
// empties their picture slots.
//
// Pictures are made at the cell's size in device pixels (the grid's icon size times the screen's
// pixel ratio). MaxCash and MinCash count 32 x 32 pictures; for larger pictures they shrink by
// area, so the pixels held stay within the same budget at any zoom.
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

    // Cells of one screen as the loading rules count it: ten per column at 32 pixels, fewer
    // as the rows grow (at least one per column).
    int PageSize() const;
    // Size in device pixels of the pictures for the grid as it is now.
    int DeviceIconSize() const;
    // MaxCash and MinCash for pictures of DeviceIconSize (themselves at 32).
    int MaxPictures() const;
    int MinPictures() const;
    // Frees every picture (the size changed), or those of records without a cell (the view
    // changed), so the count only holds pictures the grid can show.
    void ReleaseAll();
    void ReleaseHidden();
    // Fills the record's image hash for folding, through the shared parsed directories.
    void HashRecord(TIconRes& record);
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
    ImageHashMemo hashMemo_;
    int hashedRecordCount_ = 0;
    // The size the loaded pictures have; a new size (zoom, another screen) frees them.
    int pictureSize_ = 32;
    // Releases every picture when the grid now needs another size.
    void FollowDeviceSize();
};

} // namespace glyptor
