// The found-icon record: one per grid cell. It names the icon (folder node, file name, index)
// and holds its picture once the grid has loaded it; it stays small because a scan of a whole
// drive keeps one record per icon but pictures only near the view.
#pragma once

#include "formats/IconImage.h"

#include <QPixmap>
#include <QString>

#include <memory>

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

    // NodePath(FolderNode) + "\" + FileName, or FileName alone without a node.
    QString FullPath() const;
};

// Path of a folder node: the texts from its top node down, joined by "\".
QString NodePath(const QTreeWidgetItem* node);

// Loads the picture of a record from its file, without counting it: the picture cache
// (browser/PictureCache.h) is what counts and trims. True when an icon came from the file; a file
// that yields no icon gets the program's icon. `source` keeps the parsed directories of the last
// few files, so neighbouring icons of one file are read without parsing it again.
bool LoadPicture(TIconRes& record, icons::IconSourceCache& source);

// The program's own icon, shown where a file yields none; also the window icon.
const QPixmap& ApplicationIcon();
const IconImage& ApplicationIconImage();

// Conversions between the icon model and Qt's pictures.
QImage ToQImage(const IconImage& icon);
IconImage FromQImage(const QImage& image);

} // namespace glyptor
