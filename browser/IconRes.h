// The found-icon record: one per grid cell. It names the icon (folder node, file name, index)
// and holds its picture once the grid has loaded it; it stays small because a scan of a whole
// drive keeps one record per icon but pictures only near the view.
#pragma once

#include "formats/IconImage.h"
#include "platform/core/Drives.h"
#include "platform/icons/IconDecode.h"

#include <QPixmap>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QTreeWidgetItem;

namespace glyptor {

namespace icons {
class IconSourceCache;
}

// A loaded picture: what the grid draws, and the icon itself, which the export actions write.
struct TPicture {
    QPixmap Pixmap;
    IconImage Icon;
};

struct TIconRes {
    QTreeWidgetItem* FolderNode = nullptr; // not owned; tree nodes live as long as the window
    QString FileName;                      // bare name with a node, full path without
    int IconIndex = 0;
    std::unique_ptr<TPicture> Picture; // none until loaded
    // Fingerprint of the icon's stored 32 x 32 image, for folding repeats (see GridView.h):
    // kNoImageHash until asked for. It fits the allocation's padding, so records stay as small.
    std::uint64_t ImageHash = 0;

    // NodePath(FolderNode) + "\" + FileName, or FileName alone without a node.
    QString FullPath() const;
};

inline constexpr std::uint64_t kNoImageHash = 0;
// The hash of a record whose icon has no readable image: never equal to another record's.
inline constexpr std::uint64_t kUnreadableImageHash = 1;

// A record's ImageHash for an image fingerprint (ChosenImageHashes): the two reserved values
// are moved aside, so a real image never takes them.
inline std::uint64_t RecordImageHash(const std::optional<std::uint64_t>& hash) {
    return !hash ? kUnreadableImageHash : std::max<std::uint64_t>(*hash, 2);
}

// Path of a folder node: the texts from its top node down, joined by "\".
QString NodePath(const QTreeWidgetItem* node);

// Loads the picture of a record from its file, without counting it: the picture cache
// (browser/PictureCache.h) is what counts and trims. True when an icon came from the file; a file
// that yields no icon gets the program's icon. `source` keeps the parsed directories of the last
// few files, so neighbouring icons of one file are read without parsing it again.
// The picture is made at `deviceSize` pixels from the image best suited to that size, and
// carries `ratio` as its device pixel ratio so that it paints into a cell of deviceSize / ratio
// logical pixels; the icon kept for export stays 32 x 32 whatever the size.
bool LoadPicture(TIconRes& record, const platform::DriveTable& drives,
                 icons::IconSourceCache& source, int deviceSize = 32, qreal ratio = 1.0);

// The image hashes of one file's icons, kept while records of that file follow each other (as
// a scan appends them), so that a file is opened and walked once for all its icons.
struct ImageHashMemo {
    const QTreeWidgetItem* FolderNode = nullptr;
    QString FileName;
    std::vector<std::optional<std::uint64_t>> Hashes;
};

// Fills record.ImageHash from the file when it is still kNoImageHash.
void EnsureImageHash(TIconRes& record, const platform::DriveTable& drives,
                     icons::IconSourceCache& source, ImageHashMemo& memo);

// The program's own icon, shown where a file yields none; also the window icon.
const QPixmap& ApplicationIcon();
// The program's icon at another size in device pixels.
QPixmap ApplicationIcon(int deviceSize);
const IconImage& ApplicationIconImage();

// Conversions between the icon model and Qt's pictures.
using icons::FromQImage;
using icons::ToQImage;

} // namespace glyptor
