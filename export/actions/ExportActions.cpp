// The actions on one found icon: save it as an icon file or a picture through the save dialog,
// copy it to the clipboard, make it the wallpaper; and the four tool buttons that choose what a
// click on a grid icon does.
#include "export/actions/ExportActions.h"

#include "browser/IconGrid.h"
#include "browser/PictureCache.h"
#include "export/IconSave.h"
#include "export/actions/SaveRules.h"
#include "formats/Dib.h"
#include "platform/core/Paths.h"
#include "platform/dib/OutputFile.h"
#include "platform/icons/IconDecode.h"
#include "platform/ui/Application.h"
#include "platform/wallpaper/Wallpaper.h"
#include "resources/Resources.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QToolButton>

#include <map>
#include <stdexcept>

namespace glyptor {

namespace {

// The record's icon, loaded again when the grid's cache has released it. A copy: the dialog
// and the desktop tools run the event loop, in which the cache may free the record's picture.
IconImage CurrentIcon(TPictureCache& pictures, TIconRes& record) {
    bool loaded = false;
    pictures.GetPicture(record, loaded);
    return record.Picture->Icon;
}

// The icon drawn through its transparency onto a picture of one colour.
QImage IconOnBackground(const IconImage& icon, const QSize& size, const QColor& background) {
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(background);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, ToQImage(icon));
    return canvas;
}

std::vector<std::uint8_t> EncodeAsBmp(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(argb.width()) * argb.height());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(argb.constScanLine(y));
        pixels.insert(pixels.end(), row, row + argb.width());
    }
    return dib::EncodeBmp(argb.width(), argb.height(), pixels, 24);
}

// A whole .bmp file named by a program path, decoded by our own bounded reader.
std::vector<std::uint8_t> LoadPictureFileAsBmp(const QString& programPath) {
    const auto native = platform::ToNativePath(programPath.toStdString());
    QFile file(native ? QFile::decodeName(native->c_str()) : QString());
    if (!native || !file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open file " + programPath.toStdString());
    // The decoder refuses larger pictures anyway; do not read a huge file to find that out.
    constexpr qint64 kLargestPictureFile = 14 + 124 + 1024 + icons::kMaxBitmapPixels * 4;
    std::optional<IconImage> picture;
    if (file.size() <= kLargestPictureFile) {
        const QByteArray bytes = file.readAll();
        picture = icons::DecodeBitmapFile(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()));
    }
    if (!picture || !picture->IsValid())
        throw std::runtime_error("Bitmap image is not valid");
    return dib::EncodeBmp(picture->width, picture->height, picture->pixels, 24);
}

// Runs an action from a menu item or a grid click. Its failures go to the general error report
// here rather than unwinding through Qt's signal code.
template <typename Action> void Reported(const ProgramState& state, Action&& action) {
    try {
        action();
    } catch (const std::exception& error) {
        platform::ReportError(state, QString::fromUtf8(error.what()));
    }
}

// The extension of a name typed without one when the type names none.
const QString kDefaultSuffix = QStringLiteral("ico");

struct ToolButtonMode {
    void (TExportActions::*action)(TIconRes&);
    int cursor;
};

} // namespace

QCursor ProgramCursor(int number) {
    static const std::map<int, QCursor> table{
        {100, resources::LoadCursor("cursor_save")},
        {101, resources::LoadCursor("cursor_copy")},
        {102, resources::LoadCursor("cursor_center")},
        {103, resources::LoadCursor("cursor_tile")},
    };
    auto it = table.find(number);
    return it == table.end() ? QCursor(Qt::ArrowCursor) : it->second;
}

TExportActions::TExportActions(ProgramState& state, TPictureCache& pictures,
                               ExportControls controls, IconAction plainClick, QObject* parent)
    : QObject(parent), state_(state), pictures_(pictures), controls_(controls),
      plainClick_(std::move(plainClick)) {
    setObjectName(QStringLiteral("ExportActions"));
    for (QAction* item :
         {controls_.c4b, controls_.c8b, controls_.c16b, controls_.c24b, controls_.cbmp})
        connect(item, &QAction::triggered, this,
                [this, item] { Reported(state_, [&] { SaveClick(item); }); });
    connect(controls_.Copytoclipboard1, &QAction::triggered, this,
            [this] { Reported(state_, [&] { Copytoclipboard1Click(); }); });
    connect(controls_.Wallpapercenter, &QAction::triggered, this,
            [this] { Reported(state_, [&] { WallpapercenterClick(); }); });
    connect(controls_.Wallpapertiled, &QAction::triggered, this,
            [this] { Reported(state_, [&] { WallpapertiledClick(); }); });

    const QList<QToolButton*> group{controls_.SpeedButton2, controls_.SpeedButton3,
                                    controls_.SpeedButton4, controls_.SpeedButton5};
    for (QToolButton* button : group) {
        button->setCheckable(true);
        // One group in which at most one button is down; unlike an exclusive button group, a
        // down button comes up again when clicked.
        connect(button, &QToolButton::clicked, this, [this, button, group] {
            if (button->isChecked())
                for (QToolButton* other : group)
                    if (other != button)
                        other->setChecked(false);
            SpeedButton2Click(button);
        });
    }
}

TIconRes* TExportActions::SelectedRecord() {
    const int index = controls_.IconBox->ItemIndex();
    if (index < 0 || index >= controls_.IconBox->Count())
        return nullptr;
    return &controls_.IconBox->Item(index);
}

void TExportActions::SaveClick(QAction* item) {
    if (item == controls_.c4b)
        SaveDialogType = 1;
    else if (item == controls_.c8b)
        SaveDialogType = 2;
    else if (item == controls_.c16b)
        SaveDialogType = 3;
    else if (item == controls_.c24b)
        SaveDialogType = 4;
    else if (item == controls_.cbmp)
        SaveDialogType = 5;
    if (TIconRes* record = SelectedRecord())
        SaveWithDialog(*record);
}

void TExportActions::Copytoclipboard1Click() {
    if (TIconRes* record = SelectedRecord())
        CopyToClipboard(*record);
}

void TExportActions::WallpapercenterClick() {
    if (TIconRes* record = SelectedRecord())
        SetWallpaperCentered(*record);
}

void TExportActions::WallpapertiledClick() {
    if (TIconRes* record = SelectedRecord())
        SetWallpaperTiled(*record);
}

void TExportActions::SpeedButton2Click(QToolButton* button) {
    static const std::map<QString, ToolButtonMode> modes{
        {QStringLiteral("SpeedButton2"), {&TExportActions::SetWallpaperCentered, 102}},
        {QStringLiteral("SpeedButton3"), {&TExportActions::SetWallpaperTiled, 103}},
        {QStringLiteral("SpeedButton4"), {&TExportActions::CopyToClipboard, 101}},
        {QStringLiteral("SpeedButton5"), {&TExportActions::SaveWithDialog, 100}},
    };
    state_.IconClickAction = plainClick_;
    controls_.IconBox->unsetCursor();
    controls_.IconBox->viewport()->unsetCursor();
    if (!button || !button->isChecked())
        return;
    const auto mode = modes.find(button->objectName());
    if (mode == modes.end())
        return;
    state_.IconClickAction = [this, action = mode->second.action](TIconRes& record) {
        Reported(state_, [&] { (this->*action)(record); });
    };
    const QCursor cursor = ProgramCursor(mode->second.cursor);
    controls_.IconBox->setCursor(cursor);
    controls_.IconBox->viewport()->setCursor(cursor);
}

QFileDialog* TExportActions::SaveDialog() {
    if (SPDlg)
        return SPDlg;
    // Made on the first save: Qt's dialog lists its folder from the moment it exists, and a
    // scan's pump would spend most of its time on that listing of the working folder.
    SPDlg = new QFileDialog(controls_.Owner);
    SPDlg->setObjectName(QStringLiteral("SPDlg"));
    // Qt's own dialog: the type list and the remembered type behave the same on every desktop.
    SPDlg->setOption(QFileDialog::DontUseNativeDialog);
    SPDlg->setOption(QFileDialog::HideNameFilterDetails);
    SPDlg->setAcceptMode(QFileDialog::AcceptSave);
    SPDlg->setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension gets the chosen type's, as the system's own dialog does:
    // "Рисунок" and a bare name must give a picture, not an icon.
    connect(SPDlg, &QFileDialog::filterSelected, this, [this](const QString& filter) {
        SPDlg->setDefaultSuffix(DefaultSuffixForType(
            SaveFileTypes(), TypeOfNameFilter(SaveFileTypes(), filter), kDefaultSuffix));
    });
    return SPDlg;
}

void TExportActions::SaveWithDialog(TIconRes& record) {
    SaveDialog();
    const IconImage icon = CurrentIcon(pictures_, record);
    const QStringList filters = NameFiltersFromTypeList(SaveFileTypes());
    SPDlg->setNameFilters(filters);
    SPDlg->selectNameFilter(filters.value(SaveDialogType - 1, filters.front()));
    SPDlg->setDefaultSuffix(DefaultSuffixForType(SaveFileTypes(), SaveDialogType, kDefaultSuffix));
    // A dropped file's record is named by its whole program path ("C:\DIR\X.DLL"); only its
    // last part makes a name here, where "\" would be taken as part of the file's name.
    const QString suggested = SuggestedSaveName(record.FileName, record.IconIndex);
    SPDlg->selectFile(suggested.mid(suggested.lastIndexOf(QLatin1Char('\\')) + 1));
    if (SPDlg->exec() != QDialog::Accepted)
        return;
    if (const int chosenType = TypeOfNameFilter(SaveFileTypes(), SPDlg->selectedNameFilter()))
        SaveDialogType = chosenType;
    const QStringList chosen = SPDlg->selectedFiles();
    if (chosen.isEmpty())
        return;
    const QString fileName = chosen.front();
    // The next save starts where this one went, as long as the program runs.
    SPDlg->setDirectory(QFileInfo(fileName).absolutePath());
    const std::string nativeName = QFile::encodeName(fileName).toStdString();

    switch (SaveKindForName(fileName)) {
    case SaveKind::Icon: {
        if (const auto depthCode = DepthCodeForSaveType(SaveDialogType))
            LastIconDepthCode = *depthCode;
        const auto saved = iconfile::SaveIconToFile(nativeName, icon, LastIconDepthCode);
        if (!saved.Saved())
            platform::MessageBox(controls_.Owner, QString::fromLocal8Bit(saved.errorText),
                                 QString::fromLocal8Bit(iconfile::kSaveErrorCaption),
                                 platform::MessageIcon::Error);
        break;
    }
    case SaveKind::Picture: {
        // A monochrome icon has no colour image of its own; it is saved as it looks, black
        // and white, rather than not at all.
        IconImage source = icon;
        source.monochrome = false;
        const dib::IconBitmaps bitmaps = dib::GetIconInfo(source);
        if (!bitmaps.colour)
            throw iconfile::InvalidBitmapError();
        dib::SaveBmpFile(nativeName, *bitmaps.colour, 24);
        break;
    }
    case SaveKind::Nothing:
        break;
    }
}

void TExportActions::CopyToClipboard(TIconRes& record) {
    const IconImage icon = CurrentIcon(pictures_, record);
    const QImage image = IconOnBackground(icon, QSize(icon.width, icon.height), Qt::white);
    QGuiApplication::clipboard()->setImage(image);
}

void TExportActions::SetWallpaper(TIconRes& record, const QString& mode) {
    std::vector<std::uint8_t> bmp;
    if (LowerExtension(record.FileName) == QLatin1String(".bmp")) {
        bmp = LoadPictureFileAsBmp(record.FullPath());
    } else {
        const IconImage icon = CurrentIcon(pictures_, record);
        bmp = EncodeAsBmp(
            IconOnBackground(icon, QSize(32, 32), ToQColor(controls_.IconBox->Color())));
    }
    wallpaper::SetDesktopWallpaper(bmp, mode == QLatin1String("tile")
                                            ? wallpaper::WallpaperMode::Tile
                                            : wallpaper::WallpaperMode::Center);
}

void TExportActions::SetWallpaperTiled(TIconRes& record) {
    SetWallpaper(record, QStringLiteral("tile"));
}

void TExportActions::SetWallpaperCentered(TIconRes& record) {
    SetWallpaper(record, QStringLiteral("center"));
}

} // namespace glyptor
