// Clipboard and drag payloads.
#include "export/IconPayloads.h"

#include "export/BatchSave.h"
#include "export/IconPng.h"
#include "platform/dib/OutputFile.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QMimeData>
#include <QUrl>

namespace glyptor::payloads {

namespace {

const QString kPngType = QStringLiteral("image/png");

QByteArray ToByteArray(const icongroup::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

} // namespace

std::unique_ptr<QMimeData> ClipboardPayload(const QImage& picture, const IconImage& icon) {
    auto data = std::make_unique<QMimeData>();
    data->setImageData(picture);
    const auto png = iconpng::EncodePng(icon);
    if (!png.empty()) {
        data->setData(kPngType, ToByteArray(png));
    }
    return data;
}

QString DragFolder::Path() {
    if (!dir_) {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/glyptor-drag-XXXXXX"));
    }
    return dir_->isValid() ? dir_->path() : QString();
}

std::unique_ptr<QMimeData> DragPayload(DragFolder& folder, const std::string& nativePath,
                                       int index) {
    const QString dir = folder.Path();
    if (dir.isEmpty()) {
        return nullptr;
    }
    const auto png = iconpng::RenderPng(nativePath, index);
    if (!png) {
        return nullptr;
    }
    // A later drag of the same icon writes the same name again: the folder is ours alone.
    const std::string file = (dir + QLatin1Char('/')).toStdString() +
                             batchsave::FileNameFor(nativePath, index, batchsave::Kind::Png);
    try {
        dib::ReplaceFileContents(file, *png);
    } catch (const std::exception&) {
        return nullptr;
    }
    auto data = std::make_unique<QMimeData>();
    data->setData(kPngType, ToByteArray(*png));
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
    return data;
}

bool StartsDrag(QPoint pressedAt, QPoint now) {
    return (now - pressedAt).manhattanLength() >= QApplication::startDragDistance();
}

} // namespace glyptor::payloads
