// The icon properties window.
#include "export/PropertiesWindow.h"

#include "export/IconPayloads.h"
#include "export/IconPng.h"
#include "platform/dib/OutputFile.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace glyptor {

namespace {

// Images are shown at their own size up to this; larger ones are scaled down to fit.
constexpr int kMaxShownSize = 256;
constexpr int kCheckerSquare = 8;

// One image on a checkerboard, so that transparent parts show as such.
class CheckerImage : public QWidget {
public:
    CheckerImage(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
        const QSize shown = image_.size().boundedTo(QSize(kMaxShownSize, kMaxShownSize));
        setFixedSize(image_.size().scaled(shown, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int y = 0; y < height(); y += kCheckerSquare) {
            for (int x = 0; x < width(); x += kCheckerSquare) {
                const bool dark = ((x / kCheckerSquare) + (y / kCheckerSquare)) % 2 != 0;
                painter.fillRect(x, y, kCheckerSquare, kCheckerSquare,
                                 dark ? QColor(0xCC, 0xCC, 0xCC) : QColor(Qt::white));
            }
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), image_);
    }

private:
    QImage image_;
};

QString GroupedNumber(std::uint64_t value) {
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(' '));
    }
    return digits;
}

} // namespace

PropertiesWindow::PropertiesWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("IconProperties"));
    setWindowTitle(QStringLiteral("Свойства значка"));
    setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QVBoxLayout(this);
    path_ = new QLabel(this);
    path_->setObjectName(QStringLiteral("PathLabel"));
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A deep path would otherwise make the window as wide as itself, past the screen's edge.
    // Cut at the window's edge, it keeps the whole path as its text, and the tip shows it.
    path_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    identity_ = new QLabel(this);
    identity_->setObjectName(QStringLiteral("IdentityLabel"));
    occurrences_ = new QLabel(this);
    occurrences_->setObjectName(QStringLiteral("OccurrencesLabel"));
    occurrences_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    occurrences_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    occurrences_->hide();
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(path_);
    layout->addWidget(identity_);
    layout->addWidget(occurrences_);
    layout->addWidget(scroll_, 1);
    resize(720, 460);
}

void PropertiesWindow::SetIcon(const QString& programPath, const std::string& nativePath,
                               int index) {
    group_ = icongroup::ReadIconGroup(nativePath, index);
    path_->setText(programPath);
    path_->setToolTip(programPath);
    QString identity = QStringLiteral("Значок %1").arg(index);
    if (group_ && group_->hasKey) {
        identity +=
            QStringLiteral(", ресурс ") +
            (group_->named ? QString::fromStdString(group_->name) : QString::number(group_->id));
    }
    identity_->setText(identity);
    Rebuild();
}

void PropertiesWindow::SetOccurrences(const std::vector<std::pair<QString, int>>& places) {
    // A folder of system libraries can repeat one image hundreds of times: the first few are
    // listed, the rest counted.
    constexpr std::size_t kListed = 12;
    QStringList lines;
    for (std::size_t i = 0; i < places.size() && i < kListed; ++i)
        lines << QStringLiteral("%1, значок %2").arg(places[i].first).arg(places[i].second);
    if (places.size() > kListed)
        lines << QStringLiteral("и ещё %1").arg(places.size() - kListed);
    occurrences_->setText(QStringLiteral("Этот же значок:\n") + lines.join('\n'));
    occurrences_->setVisible(places.size() > 1);
}

void PropertiesWindow::SetColours(const QColor& background, const QColor& text) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, text);
    setPalette(colours);
    setAutoFillBackground(true);
    scroll_->viewport()->setPalette(colours);
    scroll_->viewport()->setAutoFillBackground(true);
}

int PropertiesWindow::ImageCount() const {
    return group_ ? static_cast<int>(group_->images.size()) : 0;
}

QString PropertiesWindow::ImageLabel(int image) const {
    return image >= 0 && image < ImageCount()
               ? Describe(group_->images[static_cast<std::size_t>(image)])
               : QString();
}

QString PropertiesWindow::Describe(const icongroup::GroupImage& image) {
    return QStringLiteral("%1 x %2, %3 бит, %4, %5 байт")
        .arg(image.width)
        .arg(image.height)
        .arg(image.bitCount)
        .arg(image.png ? QStringLiteral("PNG") : QStringLiteral("DIB"))
        .arg(GroupedNumber(image.byteSize));
}

bool PropertiesWindow::SaveImage(int image, const QString& nativeFile) {
    if (image < 0 || image >= ImageCount()) {
        return false;
    }
    const auto at = static_cast<std::size_t>(image);
    std::optional<icongroup::Bytes> bytes;
    if (nativeFile.endsWith(QLatin1String(".ico"), Qt::CaseInsensitive)) {
        bytes = icongroup::SingleImageIconFile(*group_, at);
    } else if (const auto icon = icongroup::DecodeGroupImage(*group_, at)) {
        bytes = iconpng::EncodePng(*icon);
    }
    if (!bytes || bytes->empty()) {
        return false;
    }
    try {
        dib::ReplaceFileContents(nativeFile.toStdString(), *bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void PropertiesWindow::CopyImage(int image) {
    if (image < 0 || image >= ImageCount()) {
        return;
    }
    if (const auto icon = icongroup::DecodeGroupImage(*group_, static_cast<std::size_t>(image))) {
        QGuiApplication::clipboard()->setMimeData(
            payloads::ClipboardPayload(iconpng::ToQImage(*icon), *icon).release());
    }
}

void PropertiesWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PropertiesWindow::AskAndSave(int image) {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить изображение"), QString(),
                                     QStringLiteral("Рисунок PNG (*.png);;Значок (*.ico)"));
    if (!file.isEmpty()) {
        SaveImage(image, file);
    }
}

void PropertiesWindow::Rebuild() {
    strip_ = new QWidget;
    strip_->setObjectName(QStringLiteral("ImageStrip"));
    auto* row = new QHBoxLayout(strip_);
    for (int i = 0; i < ImageCount(); ++i) {
        const auto icon = icongroup::DecodeGroupImage(*group_, static_cast<std::size_t>(i));
        auto* cell = new QWidget(strip_);
        cell->setObjectName(QStringLiteral("Image%1").arg(i));
        auto* column = new QVBoxLayout(cell);
        auto* picture = new CheckerImage(icon ? iconpng::ToQImage(*icon) : QImage(), cell);
        column->addWidget(picture, 0, Qt::AlignHCenter | Qt::AlignBottom);
        auto* label = new QLabel(ImageLabel(i), cell);
        label->setObjectName(QStringLiteral("ImageLabel"));
        column->addWidget(label, 0, Qt::AlignHCenter);
        auto* buttons = new QHBoxLayout;
        auto* save = new QPushButton(QStringLiteral("Сохранить..."), cell);
        auto* copy = new QPushButton(QStringLiteral("Копировать"), cell);
        connect(save, &QPushButton::clicked, this, [this, i] { AskAndSave(i); });
        connect(copy, &QPushButton::clicked, this, [this, i] { CopyImage(i); });
        buttons->addWidget(save);
        buttons->addWidget(copy);
        column->addLayout(buttons);
        row->addWidget(cell, 0, Qt::AlignBottom);
    }
    row->addStretch(1);
    scroll_->setWidget(strip_); // deletes the previous strip
}

} // namespace glyptor
