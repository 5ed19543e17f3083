// The actions on one found icon: save it as an icon file or a picture through the save dialog,
// copy it to the clipboard, make it the wallpaper; the four tool buttons that choose what a
// click on a grid icon does; and the full-quality export: properties window, group and PNG
// saves, dragging out and saving many icons at once.
#include "export/actions/ExportActions.h"

#include "browser/IconGrid.h"
#include "browser/PictureCache.h"
#include "export/IconFile32.h"
#include "export/IconGroup.h"
#include "export/IconPng.h"
#include "export/IconSave.h"
#include "export/PropertiesWindow.h"
#include "export/actions/SaveRules.h"
#include "formats/Dib.h"
#include "platform/core/Paths.h"
#include "platform/dib/OutputFile.h"
#include "platform/icons/IconDecode.h"
#include "platform/icons/IconSource.h"
#include "platform/ui/Application.h"
#include "platform/wallpaper/Wallpaper.h"
#include "resources/Resources.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QMutex>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
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
std::vector<std::uint8_t> LoadPictureFileAsBmp(const platform::DriveTable& drives,
                                               const QString& programPath) {
    const auto native = platform::ToNativePath(drives, programPath.toStdString());
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

// The record's file as a native path; a program path no drive holds any more says so.
std::string NativePathOf(const platform::DriveTable& drives, const TIconRes& record) {
    const QString programPath = record.FullPath();
    const auto native = platform::ToNativePath(drives, programPath.toStdString());
    if (!native)
        throw std::runtime_error("Cannot open file " + programPath.toStdString());
    return *native;
}

std::runtime_error UnreadableIcon(const TIconRes& record) {
    return std::runtime_error("Cannot read icon " + record.FullPath().toStdString() + " " +
                              std::to_string(record.IconIndex));
}

// Icons and types of a save dialog's entries by their names alone. Qt's own provider reads the
// start of each file whose name does not tell its type, on the window's thread, for every entry
// of the folder shown and again each time anything in it changes: slow on a big folder or a
// slow disk. (A closed dialog is moved off the folder by ChooseFile.)
//
// Even by name, the type database matches each name against its patterns by compiling regular
// expressions anew. With a save typed as a path through a folder of 5,000 files, that kept the
// window's thread busy for seconds after the dialog closed: menus took up to 10 s to open.
// Files whose names end alike get the same answer, so it is worked out once for each ending
// (everything after the name's first dot, or the whole name when it has none). The few names
// the database knows whole, such as CMakeLists.txt, may then show the type of their ending
// (plain text) in the dialog's type column; nothing else depends on it.
class NameOnlyIconProvider final : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override {
        if (!info.isFile())
            return QFileIconProvider::icon(info); // not a file: nothing to read
        return Look(info).icon;
    }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile())
            return QFileIconProvider::type(info);
        return Look(info).type;
    }

private:
    struct Looks {
        QIcon icon;
        QString type;
    };
    // The dialogs' models may ask from their own threads too.
    Looks Look(const QFileInfo& info) const {
        const QString name = info.fileName();
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        const QString ending = dot >= 0 ? name.mid(dot + 1) : name;
        QMutexLocker lock(&mutex_);
        if (const auto known = looks_.constFind(ending); known != looks_.cend())
            return *known;
        const QMimeType mime = types_.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        Looks looks{
            QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(),
                                                               QFileIconProvider::icon(File))),
            mime.comment().isEmpty() ? mime.name() : mime.comment()};
        // A folder of made-up names (one ending each) must not make the table grow for ever.
        constexpr qsizetype kMostEndings = 4096;
        if (looks_.size() >= kMostEndings)
            looks_.clear();
        looks_.insert(ending, looks);
        return looks;
    }

    QMimeDatabase types_;
    mutable QMutex mutex_;
    mutable QHash<QString, Looks> looks_;
};

void UseNameOnlyIcons(QFileDialog* dialog) {
    static NameOnlyIconProvider provider; // outlives every dialog: they die with the window
    dialog->setIconProvider(&provider);
}

// A save dialog of our own (Qt's, so that every desktop shows the same one) for one kind.
QFileDialog* NewExportDialog(QWidget* owner, const char* name, const QString& title,
                             const QString& filter, const QString& suffix) {
    auto* dialog = new QFileDialog(owner);
    UseNameOnlyIcons(dialog);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setWindowTitle(title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({filter});
    dialog->setDefaultSuffix(suffix);
    return dialog;
}

// Shows the dialog on the folder it was left in; the chosen file, or empty when cancelled, and
// the name filter it was chosen under. Closed, the dialog waits on the file system's root: a
// hidden dialog goes on watching the folder it shows, and the window's thread goes through the
// whole folder each time anything in it changes (0.7 s of it for one new file among 5,000). The
// price is one more step in the dialog's way back, to that root.
QString ChooseFile(QFileDialog* dialog, QString* nameFilter = nullptr) {
    static constexpr char kFolder[] = "glyptorFolder";
    if (const QVariant folder = dialog->property(kFolder); folder.isValid())
        dialog->setDirectory(folder.toString());
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().front();
    if (nameFilter)
        *nameFilter = dialog->selectedNameFilter();
    // The next save starts where this one went, or where it was cancelled, as long as the
    // program runs.
    dialog->setProperty(kFolder, chosen.isEmpty() ? dialog->directory().absolutePath()
                                                  : QFileInfo(chosen).absolutePath());
    dialog->setDirectory(QDir::rootPath());
    return chosen;
}

// Shows the dialog on the suggested name for the record; the chosen native file name, or empty.
QString AskFileName(QFileDialog* dialog, const TIconRes& record) {
    const QString suggested = SuggestedSaveName(record.FileName, record.IconIndex);
    dialog->selectFile(suggested.mid(suggested.lastIndexOf(QLatin1Char('\\')) + 1));
    return ChooseFile(dialog);
}

void WriteFile(const QString& fileName, const std::vector<std::uint8_t>& bytes) {
    dib::ReplaceFileContents(QFile::encodeName(fileName).toStdString(), bytes);
}

// The batch kinds in the order of the dialog's box: group files, PNG at the largest image,
// then PNG at each standard size.
constexpr int kBatchPngSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString BatchSummary(const batchsave::Summary& summary, int total) {
    QString text = QStringLiteral("Записано файлов: %1 из %2.").arg(summary.written).arg(total);
    if (summary.cancelled)
        text += QStringLiteral("\nСохранение прервано.");
    if (!summary.failures.empty()) {
        text += QStringLiteral("\nНе удалось сохранить:");
        // A whole folder of damaged files would make a box taller than the screen.
        constexpr std::size_t kListed = 20;
        for (std::size_t i = 0; i < summary.failures.size() && i < kListed; ++i) {
            const batchsave::Failure& failure = summary.failures[i];
            text += QStringLiteral("\n%1, %2: %3")
                        .arg(QFile::decodeName(failure.item.path.c_str()))
                        .arg(failure.item.index)
                        .arg(QString::fromStdString(failure.reason));
        }
        if (summary.failures.size() > kListed)
            text += QStringLiteral("\n... и ещё %1").arg(summary.failures.size() - kListed);
    }
    return text;
}

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

    if (controls_.c32b)
        connect(controls_.c32b, &QAction::triggered, this,
                [this] { Reported(state_, [&] { SaveClick(controls_.c32b); }); });
    const std::pair<QAction*, void (TExportActions::*)()> entries[] = {
        {controls_.IconProperties1, &TExportActions::IconProperties1Click},
        {controls_.SaveGroup1, &TExportActions::SaveGroup1Click},
        {controls_.SavePng1, &TExportActions::SavePng1Click},
        {controls_.SaveFileIcons1, &TExportActions::SaveFileIcons1Click},
        {controls_.SaveAllIcons1, &TExportActions::SaveAllIcons1Click},
    };
    for (const auto& [item, handler] : entries)
        if (item)
            connect(item, &QAction::triggered, this,
                    [this, handler] { Reported(state_, [&] { (this->*handler)(); }); });
    connect(controls_.IconBox, &TIconBox::Clicked, this, &TExportActions::FollowSelection);
    // Dragging an icon out starts from the grid's own presses, which the grid keeps handling.
    gridViewport_ = controls_.IconBox->viewport();
    gridViewport_->installEventFilter(this);

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
    else if (item && item == controls_.c32b)
        SaveDialogType = 6;
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

QFileDialog* TExportActions::GroupDialog() {
    // Made on first use, like the save dialog: a dialog lists its folder from the moment it exists.
    if (!GroupDlg)
        GroupDlg =
            NewExportDialog(controls_.Owner, "GroupDlg", QStringLiteral("Сохранить группу значков"),
                            QStringLiteral("*.ico"), QStringLiteral("ico"));
    return GroupDlg;
}

QFileDialog* TExportActions::PngDialog() {
    if (PngDlg)
        return PngDlg;
    PngDlg = NewExportDialog(controls_.Owner, "PngDlg", QStringLiteral("Сохранить в PNG"),
                             QStringLiteral("*.png"), QStringLiteral("png"));
    PngSize = new QComboBox(PngDlg);
    PngSize->setObjectName(QStringLiteral("PngSize"));
    // Qt's own dialog lays its rows out in a grid: the size goes in as one more row under the
    // name and type, so a PNG is chosen in one dialog.
    if (auto* grid = qobject_cast<QGridLayout*>(PngDlg->layout())) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(QStringLiteral("Размер:"), PngDlg), row, 0);
        grid->addWidget(PngSize, row, 1);
    }
    return PngDlg;
}

QFileDialog* TExportActions::SaveDialog() {
    if (SPDlg)
        return SPDlg;
    // Made on the first save: Qt's dialog lists its folder from the moment it exists, and a
    // scan's pump would spend most of its time on that listing of the working folder.
    SPDlg = new QFileDialog(controls_.Owner);
    UseNameOnlyIcons(SPDlg);
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
    QString nameFilter;
    const QString fileName = ChooseFile(SPDlg, &nameFilter);
    if (fileName.isEmpty())
        return;
    if (const int chosenType = TypeOfNameFilter(SaveFileTypes(), nameFilter))
        SaveDialogType = chosenType;
    const std::string nativeName = QFile::encodeName(fileName).toStdString();

    switch (SaveKindForName(fileName)) {
    case SaveKind::Icon: {
        if (const auto depthCode = DepthCodeForSaveType(SaveDialogType))
            LastIconDepthCode = *depthCode;
        else if (SaveDialogType == 6)
            LastIconDepthCode = kAlphaIconDepthCode;
        const auto showError = [this](const std::string& text) {
            platform::MessageBox(controls_.Owner, QString::fromLocal8Bit(text),
                                 QString::fromLocal8Bit(iconfile::kSaveErrorCaption),
                                 platform::MessageIcon::Error);
        };
        if (LastIconDepthCode != kAlphaIconDepthCode) {
            const auto saved = iconfile::SaveIconToFile(nativeName, icon, LastIconDepthCode);
            if (!saved.Saved())
                showError(saved.errorText);
            break;
        }
        // The 32-bit file fails as the other depths do: one box, the old file left alone.
        try {
            dib::ReplaceFileContents(nativeName, iconfile::EncodeIconFile32(icon));
        } catch (const std::exception& failure) {
            showError(std::string("File save error: ") + failure.what());
        }
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
    QGuiApplication::clipboard()->setMimeData(payloads::ClipboardPayload(image, icon).release());
}

void TExportActions::SetWallpaper(TIconRes& record, const QString& mode) {
    std::vector<std::uint8_t> bmp;
    if (LowerExtension(record.FileName) == QLatin1String(".bmp")) {
        bmp = LoadPictureFileAsBmp(state_.Drives, record.FullPath());
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

void TExportActions::IconProperties1Click() {
    TIconRes* record = SelectedRecord();
    if (!record)
        return;
    if (!Properties)
        Properties = new PropertiesWindow(controls_.Owner);
    Properties->show();
    FollowSelection();
    Properties->raise();
    Properties->activateWindow();
}

void TExportActions::FollowSelection() {
    TIconRes* record = SelectedRecord();
    if (!Properties || !Properties->isVisible() || !record)
        return;
    const QColor text = controls_.StatusLabel
                            ? controls_.StatusLabel->palette().color(QPalette::WindowText)
                            : QColor(Qt::white);
    Properties->SetColours(ToQColor(controls_.IconBox->Color()), text);
    const auto native = platform::ToNativePath(state_.Drives, record->FullPath().toStdString());
    Properties->SetIcon(record->FullPath(), native.value_or(std::string()), record->IconIndex);
    const int cell = controls_.IconBox->ItemIndex();
    Properties->SetOccurrences(controls_.IconBox->FoldDuplicates()
                                   ? controls_.IconBox->Occurrences(cell)
                                   : std::vector<std::pair<QString, int>>{});
}

void TExportActions::SaveGroup1Click() {
    if (TIconRes* record = SelectedRecord())
        SaveGroupWithDialog(*record);
}

void TExportActions::SavePng1Click() {
    if (TIconRes* record = SelectedRecord())
        SavePngWithDialog(*record);
}

void TExportActions::SaveFileIcons1Click() {
    TIconRes* record = SelectedRecord();
    if (!record)
        return;
    // Every icon the file has, also those a shallow scan left out of the grid.
    const std::string native = NativePathOf(state_.Drives, *record);
    std::vector<batchsave::Item> items;
    for (int index = 0, count = icons::IconCount(native); index < count; ++index)
        items.push_back({native, index});
    if (items.empty())
        throw UnreadableIcon(*record);
    SaveIconsWithDialog(std::move(items));
}

void TExportActions::SaveAllIcons1Click() {
    std::vector<batchsave::Item> items;
    for (int i = 0; i < controls_.IconBox->Count(); ++i) {
        const TIconRes& record = controls_.IconBox->Item(i);
        // A record whose drive went away is still counted: the summary lists it as a failure.
        const auto native = platform::ToNativePath(state_.Drives, record.FullPath().toStdString());
        items.push_back({native.value_or(record.FullPath().toStdString()), record.IconIndex});
    }
    if (!items.empty())
        SaveIconsWithDialog(std::move(items));
}

void TExportActions::SaveGroupWithDialog(TIconRes& record) {
    const std::string native = NativePathOf(state_.Drives, record);
    // Read before the dialog, so that an unreadable icon asks for no name.
    const auto bytes = icongroup::BuildGroupIconFile(native, record.IconIndex);
    if (!bytes)
        throw UnreadableIcon(record);
    const QString fileName = AskFileName(GroupDialog(), record);
    if (!fileName.isEmpty())
        WriteFile(fileName, *bytes);
}

void TExportActions::SavePngWithDialog(TIconRes& record) {
    const std::string native = NativePathOf(state_.Drives, record);
    const auto group = icongroup::ReadIconGroup(native, record.IconIndex);
    if (!group || group->images.empty())
        throw UnreadableIcon(record);
    PngDialog();
    PngSize->clear();
    for (const int size : iconpng::OfferedSizes(*group))
        PngSize->addItem(QStringLiteral("%1 x %1").arg(size), size);
    PngSize->setCurrentIndex(PngSize->findData(iconpng::LargestSize(*group)));
    const QString fileName = AskFileName(PngDialog(), record);
    if (fileName.isEmpty())
        return;
    const auto bytes = iconpng::RenderPng(native, record.IconIndex, PngSize->currentData().toInt());
    if (!bytes || bytes->empty())
        throw UnreadableIcon(record);
    WriteFile(fileName, *bytes);
}

void TExportActions::SaveIconsWithDialog(std::vector<batchsave::Item> items) {
    if (batch_)
        return;
    QDialog dialog(controls_.Owner);
    dialog.setObjectName(QStringLiteral("BatchSaveDialog"));
    dialog.setWindowTitle(QStringLiteral("Сохранить значки"));
    auto* folder = new QLineEdit(batchFolder_.isEmpty() ? QDir::homePath() : batchFolder_);
    folder->setObjectName(QStringLiteral("BatchFolder"));
    auto* browse = new QPushButton(QStringLiteral("Обзор..."));
    auto* kind = new QComboBox;
    kind->setObjectName(QStringLiteral("BatchKind"));
    kind->addItem(QStringLiteral("Группы значков (*.ico)"));
    kind->addItem(QStringLiteral("PNG, наибольший размер"));
    for (const int size : kBatchPngSizes)
        kind->addItem(QStringLiteral("PNG %1 x %1").arg(size));
    kind->setCurrentIndex(batchKind_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browse);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Значков: %1").arg(items.size()), static_cast<QWidget*>(nullptr));
    form->addRow(QStringLiteral("Папка:"), folderRow);
    form->addRow(QStringLiteral("Сохранить как:"), kind);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(browse, &QPushButton::clicked, &dialog, [&dialog, folder] {
        const QString chosen = QFileDialog::getExistingDirectory(
            &dialog, QStringLiteral("Папка для значков"), folder->text(),
            QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (!chosen.isEmpty())
            folder->setText(chosen);
    });
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString folderName = QDir::cleanPath(folder->text().trimmed());
    if (folderName.isEmpty() || !QFileInfo(folderName).isDir()) {
        platform::MessageBox(controls_.Owner, QStringLiteral("Папка не найдена: ") + folder->text(),
                             QStringLiteral("Glyptor"), platform::MessageIcon::Error);
        return;
    }
    batchFolder_ = folderName;
    batchKind_ = kind->currentIndex();

    batchsave::Options options;
    options.folder = QFile::encodeName(folderName).toStdString();
    options.kind = batchKind_ == 0 ? batchsave::Kind::Group : batchsave::Kind::Png;
    options.pngSize = batchKind_ >= 2 ? kBatchPngSizes[batchKind_ - 2] : 0;
    const int total = static_cast<int>(items.size());
    batch_ = std::make_unique<batchsave::BatchSave>(std::move(items), options);

    BatchProgress = new QProgressDialog(QStringLiteral("Сохранено 0 из %1").arg(total),
                                        QStringLiteral("Отмена"), 0, total, controls_.Owner);
    BatchProgress->setObjectName(QStringLiteral("BatchProgress"));
    BatchProgress->setWindowTitle(QStringLiteral("Сохранить значки"));
    // Window-modal: the grid goes on painting, but nothing starts a second batch meanwhile.
    BatchProgress->setWindowModality(Qt::WindowModal);
    BatchProgress->setAutoClose(false);
    BatchProgress->setAutoReset(false);
    BatchProgress->setMinimumDuration(0);
    BatchProgress->setValue(0);
    connect(BatchProgress, &QProgressDialog::canceled, this, [this] {
        if (batch_)
            batch_->Cancel();
    });
    batchsave::RunSliced(
        *batch_, this,
        [this](int done, int all) {
            BatchProgress->setValue(done);
            BatchProgress->setLabelText(QStringLiteral("Сохранено %1 из %2").arg(done).arg(all));
        },
        [this](const batchsave::Summary& summary) { FinishBatch(summary); });
}

void TExportActions::FinishBatch(const batchsave::Summary& summary) {
    // The summary belongs to the batch: copy it before the batch goes.
    const batchsave::Summary result = summary;
    const int total = batch_->Total();
    batch_.reset();
    BatchProgress->hide();
    BatchProgress->deleteLater();
    BatchProgress = nullptr;
    platform::MessageBox(controls_.Owner, BatchSummary(result, total), QStringLiteral("Glyptor"),
                         result.failures.empty() ? platform::MessageIcon::Information
                                                 : platform::MessageIcon::Warning);
}

bool TExportActions::eventFilter(QObject* watched, QEvent* event) {
    // Compared with the pointer kept at installation: while the grid is being destroyed its
    // viewport still sends events, and the grid can no longer be asked for it.
    if (watched != gridViewport_)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        pressedIndex_ = mouse->button() == Qt::LeftButton
                            ? controls_.IconBox->IndexAt(mouse->position().toPoint())
                            : -1;
        pressedAt_ = mouse->position().toPoint();
        break;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (pressedIndex_ < 0 || !(mouse->buttons() & Qt::LeftButton) ||
            !payloads::StartsDrag(pressedAt_, mouse->position().toPoint()))
            break;
        const int index = pressedIndex_;
        pressedIndex_ = -1;
        if (index < controls_.IconBox->Count()) {
            Reported(state_, [&] { StartDrag(controls_.IconBox->Item(index)); });
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        pressedIndex_ = -1;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TExportActions::StartDrag(TIconRes& record) {
    auto data =
        payloads::DragPayload(dragFolder_, NativePathOf(state_.Drives, record), record.IconIndex);
    if (!data)
        return;
    auto* drag = new QDrag(controls_.IconBox->viewport());
    const QImage picture = ToQImage(CurrentIcon(pictures_, record));
    drag->setPixmap(QPixmap::fromImage(picture));
    drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
    drag->setMimeData(data.release());
    drag->exec(Qt::CopyAction);
}

} // namespace glyptor
