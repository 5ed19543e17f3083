// Access to the pictures built into the program: the folder tree's images, the cursors of the
// click modes and the program's own icon.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QList>
#include <QPixmap>

namespace glyptor::resources {

// The nine 16 x 16 tree pictures: closed folder, hourglass, removable disk, hard disk, compact
// disc, network drive, memory chip, open folder, check mark.
QList<QIcon> TreeImages();
QPixmap TreeImage(int index);

// "cursor_save", "cursor_copy", "cursor_center", "cursor_tile"; the arrow when unknown.
QCursor LoadCursor(const char* name);

// The program's icon at a size of 16, 32, 48, 64, 128 or 256 pixels.
QPixmap ProgramIcon(int size);

} // namespace glyptor::resources
