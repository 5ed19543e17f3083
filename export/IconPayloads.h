// What an icon carries out of the window: the clipboard's data (the picture the program has
// always copied, plus the icon as image/png with alpha) and a drag's data (image/png of the
// largest image plus a file URI of that PNG, written into a private temporary folder that goes
// away with the program).
#pragma once

#include "formats/IconImage.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

class QMimeData;

namespace glyptor::payloads {

// The clipboard's data: `picture` as image data, as copied before, and `icon` as image/png.
std::unique_ptr<QMimeData> ClipboardPayload(const QImage& picture, const IconImage& icon);

// The folder drags write their PNG files into; created on first use and removed with its files
// when the object is destroyed (the window owns one for the program's lifetime).
class DragFolder {
public:
    // Native path of the folder, empty when it cannot be created.
    QString Path();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

// The drag's data for icon `index` of the file at the native path: its largest image as
// image/png and as the file FILE_INDEX.png in `folder`. Nothing when the icon cannot be read
// or the file not written.
std::unique_ptr<QMimeData> DragPayload(DragFolder& folder, const std::string& nativePath,
                                       int index);

// Whether the pointer has moved far enough from where the button went down to start a drag;
// a plain click (no or a tiny movement) never does.
bool StartsDrag(QPoint pressedAt, QPoint now);

} // namespace glyptor::payloads
