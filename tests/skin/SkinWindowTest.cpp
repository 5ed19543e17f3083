// The skin on the real window: the built-in skin, themes from archives in a temporary program
// folder mapped as drive T:, the theme menu, the start-up choice and the failure behaviour.
#include "app/Umain.h"
#include "platform/core/Settings.h"
#include "resources/skin/SkinResources.h"
#include "theme/skin/Skin.h"
#include "theme/skin/SkinLayout.h"

#include "SkinTestSupport.h"
#include "TempDrive.h"

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

using namespace glyptor;
using namespace glyptor::test;
using glyptor::testing::TempDrive;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kCyan = qRgb(0, 255, 255);

QColor PanelColor(const QWidget* panel) {
    return panel->palette().color(QPalette::Window);
}

QString Failure(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

QImage BuiltInGlyph(const char* name) {
    return skin::GlyphWithTransparency(resources::BuiltInSkinPicture(QLatin1String(name)))
        .convertToFormat(QImage::Format_ARGB32);
}

QStringList ThemeItems(const TFMain& window) {
    QStringList captions;
    for (QAction* item : window.Loadtheme1->actions())
        captions.append(item->text());
    return captions;
}

QAction* ThemeItem(const TFMain& window, const QString& caption) {
    for (QAction* item : window.Loadtheme1->actions())
        if (item->text() == caption)
            return item;
    return nullptr;
}

} // namespace

class SkinWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    std::unique_ptr<TempDrive> drive_;

    std::filesystem::path ThemePath(const std::string& file) const {
        return std::filesystem::path(drive_->Root()) / "interface" / file;
    }

    void SetSetting(const char* name, const QString& value) {
        QSettings(platform::SettingsFilePath(), QSettings::IniFormat).setValue(name, value);
    }

    std::unique_ptr<TFMain> NewWindow() {
        auto window = std::make_unique<TFMain>(drive_->State());
        window->State.ProgramFolderOverride = QString::fromStdString(drive_->Root());
        window->resize(800, 500);
        window->show();
        return window;
    }

    // Makes a theme the current one through its menu item, as a user would.
    void Choose(TFMain& window, const QString& caption) {
        window.RefreshThemeMenu();
        QAction* item = ThemeItem(window, caption);
        QVERIFY2(item, qPrintable(caption));
        window.Open1Click(item);
    }

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QFile::remove(platform::SettingsFilePath());
        drive_ = std::make_unique<TempDrive>();
        drive_->Folder("interface");
        SetSetting("LastDir", "T:");
    }

    void cleanup() { drive_.reset(); }

    void builtInSkinAtStartUp() {
        auto window = NewWindow();
        QCOMPARE(window->State.Theme, QStringLiteral("default"));
        QVERIFY(window->Skin->HasPictureSlots());
        const QImage title = resources::BuiltInSkinPicture("TITLE1");
        QVERIFY(!title.isNull());
        QCOMPARE(window->Skin->PictureSlot(skin::TITLE1), title);
        QCOMPARE(Shown(window->Image7).pixel(10, 10), title.pixel(10, 10));
        QCOMPARE(Shown(window->Image_scan),
                 resources::BuiltInSkinPicture("SCAN1").convertToFormat(QImage::Format_RGB32));
        QCOMPARE(Glyph(window->SpeedButton5), BuiltInGlyph("TOOL4"));
        QCOMPARE(Glyph(window->sb_max), BuiltInGlyph("MAX"));
        QCOMPARE(PanelColor(window->Panel_top), QColor(Qt::black));
        QCOMPARE(PanelColor(window->Panel1), QColor(0x40, 0x40, 0x40));
        QCOMPARE(window->Splitter1->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
        QCOMPARE(window->FATView->palette().color(QPalette::Text), QColor(0xC0, 0xC0, 0xC0));
        QCOMPARE(window->StatusLabel->palette().color(QPalette::WindowText),
                 QColor(0xC0, 0xC0, 0xC0));
        QCOMPARE(window->FATView->font().family(), QStringLiteral("ms sans serif"));
        QCOMPARE(window->FATView->font().pointSize(), 8);
        QCOMPARE(window->Panel_Right->width(), 8);
        QCOMPARE(window->Panel_top->height(), 24);
        // The title fills its strip: the tiles continue where the label ends.
        QCOMPARE(window->Image7->width(), window->Panel_title->width());
        const QImage tile = resources::BuiltInSkinPicture("TILE1");
        QCOMPARE(Shown(window->Image7).pixel(window->Image7->width() - 1, 20),
                 tile.pixel((window->Image7->width() - 1) % tile.width(), 20));
    }

    // What the screen shows: the composed pictures really are painted where their controls sit.
    void grabbedWindowShowsTheSkin() {
        auto window = NewWindow();
        const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        auto at = [&](QWidget* control, int x, int y) {
            const QPoint point = control->mapTo(window.get(), QPoint(x, y));
            return shot.pixel(point);
        };
        const QImage title =
            resources::BuiltInSkinPicture("TITLE1").convertToFormat(QImage::Format_RGB32);
        for (QPoint p : {QPoint(12, 12), QPoint(60, 20), QPoint(149, 41)})
            QCOMPARE(at(window->Image7, p.x(), p.y()), title.pixel(p));
        const QImage exit =
            resources::BuiltInSkinPicture("EXIT1").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(at(window->Image_exit, 14, 11), exit.pixel(14, 11));
        QCOMPARE(at(window->Panel_top, 1, 1), qRgb(0, 0, 0));
    }

    // Only "default" in small letters names the built-in skin; any other text that names no
    // file is forgotten.
    void startUpSettingThatNamesNoFile_data() {
        QTest::addColumn<QString>("setting");
        QTest::newRow("capital D") << "Default";
        QTest::newRow("deleted archive") << "T:\\interface\\gone.zip";
        QTest::newRow("a folder") << "T:\\interface";
    }
    void startUpSettingThatNamesNoFile() {
        QFETCH(QString, setting);
        SetSetting("Theme", setting);
        auto window = NewWindow();
        QCOMPARE(window->State.Theme, QStringLiteral("default"));
        QCOMPARE(Glyph(window->SpeedButton2), BuiltInGlyph("TOOL1"));
    }

    void startUpThemeThenSavedGridColour() {
        WriteTheme(ThemePath("dark.zip"),
                   With(AllPictures(kRed), "gy3layout.txt", Layout({{"iconbox.color", "255"}})));
        SetSetting("Theme", "T:\\interface\\dark.zip");
        SetSetting("iconboxcolor", "123");
        auto window = NewWindow();
        QCOMPARE(window->State.Theme, QStringLiteral("T:\\interface\\dark.zip"));
        QCOMPARE(window->IconBox->Color(), 123);
        QCOMPARE(window->FATView->palette().color(QPalette::Base), QColor(0, 0, 255));
        QCOMPARE(Shown(window->Image_exit).pixel(3, 3), kRed);
    }

    void startUpThemeWithoutMaximiseGlyph() {
        WriteTheme(ThemePath("t.zip"),
                   With(Without(AllPictures(kRed), "gy_max.bmp"), "gy3layout.txt", Layout()));
        SetSetting("Theme", "T:\\interface\\t.zip");
        auto window = NewWindow();
        QVERIFY(window->sb_max->icon().isNull());
        QVERIFY(!window->SB_Min->icon().isNull());
    }

    void layoutValuesReachTheirControls() {
        WriteTheme(ThemePath("t.zip"), With(AllPictures(kRed), "gy3layout.txt", Layout()));
        auto window = NewWindow();
        // A window the main window owns, like the about window, keeps its own colours.
        auto* owned = new QWidget(window.get(), Qt::Tool);
        auto* ownedPanel = new QFrame(owned);
        const QColor ownedColor = PanelColor(ownedPanel);
        Choose(*window, "t");
        QCOMPARE(PanelColor(window->Panel_top), QColor(0, 255, 0));
        QCOMPARE(PanelColor(window->Panel_Right), QColor(0, 255, 0));
        QCOMPARE(PanelColor(ownedPanel), ownedColor);
        QCOMPARE(window->IconBox->Color(), 8421376);
        // The splitter's colour goes on to Panel1.
        QCOMPARE(window->Splitter1->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(PanelColor(window->Panel1), QColor(255, 0, 0));
        QCOMPARE(window->StatusLabel->palette().color(QPalette::WindowText), QColor(255, 255, 0));
        QCOMPARE(window->FATView->palette().color(QPalette::Text), QColor(0, 255, 255));
        QCOMPARE(window->FATView->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(window->FATView->font().pointSize(), 11);
        QCOMPARE(window->Panel_Right->width(), 12);
        QCOMPARE(window->Panel_bottom->height(), 5);
        QCOMPARE(window->Panel_top->height(), 30);
    }

    // browser.color colours the tree and three panels; panel.color alone does not reach the tree.
    void browserColourReachesThreePanels() {
        WriteTheme(ThemePath("t.zip"),
                   With(AllPictures(kRed), "gy3layout.txt",
                        Layout({{"browser.color", "255"}, {"panel.color", "$FF0000"}})));
        auto window = NewWindow();
        Choose(*window, "t");
        const QColor red(255, 0, 0), blue(0, 0, 255);
        QCOMPARE(window->FATView->palette().color(QPalette::Base), red);
        QCOMPARE(PanelColor(window->Panel_scan), red);
        QCOMPARE(PanelColor(window->Panel_opt), red);
        QCOMPARE(PanelColor(window->PanelIconBox), red);
        QCOMPARE(PanelColor(window->Panel_title), blue);
        QCOMPARE(PanelColor(window->Panel_tools), blue);
    }

    void iconBoxBorder_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("border");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("2") << "2" << false;
        QTest::newRow("-1") << "-1" << false;
    }
    void iconBoxBorder() {
        QFETCH(QString, value);
        QFETCH(bool, border);
        WriteTheme(ThemePath("t.zip"), With(AllPictures(kRed), "gy3layout.txt",
                                            Layout({{"iconbox.3d", value.toStdString()}})));
        auto window = NewWindow();
        Choose(*window, "t");
        QCOMPARE(window->IconBox->frameShape() != QFrame::NoFrame, border);
        QCOMPARE(window->IconBox->frameWidth() > 0, border);
    }

    void themeWithoutTitleLabelShowsOnlyTiles() {
        auto entries =
            With(Without(AllPictures(kRed), "gy_title1.bmp"), "gy_tile1.bmp", Bmp(6, 42, kYellow));
        WriteTheme(ThemePath("t.zip"), With(entries, "gy3layout.txt", Layout()));
        auto window = NewWindow();
        Choose(*window, "t");
        const QImage title = Shown(window->Image7);
        QCOMPARE(title.size(), window->Panel_title->size());
        for (int x : {0, 75, 149, title.width() - 1})
            QCOMPARE(title.pixel(x, 20), kYellow);
        QVERIFY(window->Skin->PictureSlot(skin::TITLE1).isNull());
    }

    // Without a tile the title keeps, beside its label, what the bitmap held before.
    void themeWithoutTileKeepsTheOldTitleAroundTheLabel() {
        auto entries =
            With(Without(AllPictures(kRed), "gy_tile1.bmp"), "gy_title1.bmp", Bmp(100, 42, kCyan));
        WriteTheme(ThemePath("t.zip"), With(entries, "gy3layout.txt", Layout()));
        auto window = NewWindow();
        const QImage before = Shown(window->Image7);
        Choose(*window, "t");
        const QImage after = Shown(window->Image7);
        QCOMPARE(after.pixel(0, 0), kCyan);
        QCOMPARE(after.pixel(99, 41), kCyan);
        for (int x = 100; x < after.width(); x += 7)
            QCOMPARE(after.pixel(x, 20), before.pixel(x, 20));
    }

    void missingToolGlyphKeepsTheEarlierOne() {
        auto entries =
            With(Without(AllPictures(kRed), "gy_tool1.bmp"), "gy_tool2.bmp", Bmp(20, 20, kYellow));
        WriteTheme(ThemePath("t.zip"), With(entries, "gy3layout.txt", Layout()));
        auto window = NewWindow();
        Choose(*window, "t");
        QCOMPARE(Glyph(window->SpeedButton2), BuiltInGlyph("TOOL1"));
        // A one-colour glyph is all see-through: its lower-left colour is the clear one.
        const QImage replaced = Glyph(window->SpeedButton3);
        QCOMPARE(replaced.size(), QSize(20, 20));
        QCOMPARE(qAlpha(replaced.pixel(10, 10)), 0);
        QVERIFY(Glyph(window->SpeedButton3) != BuiltInGlyph("TOOL2"));
    }

    void defaultSkinAfterATheme() {
        WriteTheme(ThemePath("t.zip"), With(AllPictures(kRed), "gy3layout.txt", Layout()));
        auto window = NewWindow();
        Choose(*window, "t");
        QCOMPARE(window->State.Theme, QStringLiteral("T:\\interface\\t.zip"));
        window->Defaulttheme->trigger();
        QCOMPARE(window->State.Theme, QStringLiteral("default"));
        for (auto [button, name] : {std::pair{window->SpeedButton2, "TOOL1"},
                                    {window->SpeedButton3, "TOOL2"},
                                    {window->SpeedButton4, "TOOL3"},
                                    {window->SpeedButton5, "TOOL4"},
                                    {window->sb_max, "MAX"},
                                    {window->SB_Min, "MIN"}})
            QCOMPARE(Glyph(button), BuiltInGlyph(name));
        QCOMPARE(Shown(window->Image2),
                 resources::BuiltInSkinPicture("LOGO").convertToFormat(QImage::Format_RGB32));
        QCOMPARE(PanelColor(window->Panel_top), QColor(Qt::black));
        QCOMPARE(PanelColor(window->Panel1), QColor(0x40, 0x40, 0x40));
        QCOMPARE(window->IconBox->Color(), 0);
        QCOMPARE(window->IconBox->frameShape(), QFrame::NoFrame);
        QCOMPARE(window->Panel_Right->width(), 8);
        QCOMPARE(window->FATView->font().family(), QStringLiteral("ms sans serif"));
    }

    void defaultSkinAgainResetsTheGridColour() {
        SetSetting("iconboxcolor", "123");
        auto window = NewWindow();
        QCOMPARE(window->IconBox->Color(), 123);
        window->Defaulttheme->trigger();
        QCOMPARE(window->IconBox->Color(), 0);
        QCOMPARE(window->State.Theme, QStringLiteral("default"));
    }

    void titleButtonsFollowTheStrips() {
        auto window = NewWindow();
        window->Panel_title->resize(206, 42);
        window->Panel_top->resize(372, 24);
        window->PlaceTitleButtons();
        QCOMPARE(window->sb_max->x(), 187);
        QCOMPARE(window->SB_Min->x(), 187);
        QCOMPARE(window->sb_max->y(), 2);
        QCOMPARE(window->SB_Min->y(), 22);
        QCOMPARE(window->Image_about->x(), 307);
        QCOMPARE(window->Image_www->x(), 335);
    }

    void themeMenuListsTheFolderEachTimeItOpens() {
        WriteTheme(ThemePath("dark.zip"), With(AllPictures(kRed), "gy3layout.txt", Layout()));
        WriteTheme(ThemePath("light.zip"), With(AllPictures(kRed), "gy3layout.txt", Layout()));
        drive_->File("interface/notes.txt", "not a theme");
        auto window = NewWindow();
        window->maskmenuPopup();
        window->maskmenuPopup();
        QStringList items = ThemeItems(*window);
        QCOMPARE(items.takeFirst(), QStringLiteral("Обычный"));
        items.sort();
        QCOMPARE(items, QStringList({"dark", "light"}));

        WriteTheme(ThemePath("fresh.zip"), With(AllPictures(kRed), "gy3layout.txt", Layout()));
        window->maskmenuPopup();
        QCOMPARE(ThemeItems(*window).size(), 4);
        QVERIFY(ThemeItem(*window, "fresh"));

        std::filesystem::remove_all(ThemePath(""));
        window->maskmenuPopup();
        QCOMPARE(ThemeItems(*window), QStringList({"Обычный"}));
    }

    void upperCaseArchiveOpensThroughItsRebuiltPath() {
        WriteTheme(ThemePath("ABC.ZIP"),
                   With(AllPictures(kRed), "gy3layout.txt", Layout({{"browser.color", "255"}})));
        auto window = NewWindow();
        Choose(*window, "ABC");
        QCOMPARE(window->State.Theme, QStringLiteral("T:\\interface\\ABC.zip"));
        QCOMPARE(window->FATView->palette().color(QPalette::Base), QColor(255, 0, 0));
    }

    // A failing key stops the theme there: what was set stays, the pictures are not recomposed.
    void missingIntegerKeyStopsTheTheme() {
        WriteTheme(ThemePath("t.zip"),
                   With(AllPictures(kRed), "gy3layout.txt", Layout({{"iconbox.color", ""}})));
        auto window = NewWindow();
        const QImage title = Shown(window->Image7);
        window->RefreshThemeMenu();
        QCOMPARE(Failure([&] { window->Open1Click(ThemeItem(*window, "t")); }),
                 QStringLiteral("'' is not a valid integer value"));
        QCOMPARE(window->State.Theme, QStringLiteral("T:\\interface\\t.zip"));
        QCOMPARE(PanelColor(window->Panel_top), QColor(0, 255, 0));
        QCOMPARE(window->FATView->palette().color(QPalette::Base), QColor(0, 0, 255));
        QCOMPARE(window->IconBox->Color(), 0);
        QCOMPARE(Shown(window->Image7), title);
        QVERIFY(window->Skin->PictureSlot(skin::TITLE1).isNull());
    }

    void malformedValuesAndPictures_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("colour") << "panel.color"
                                << "green"
                                << "'green' is not a valid integer value";
        QTest::newRow("width empty") << "panelright.width"
                                     << ""
                                     << "Invalid variant type conversion";
        QTest::newRow("width text") << "panelright.width"
                                    << "wide"
                                    << "Invalid variant type conversion";
        QTest::newRow("bad picture") << "gy_title2.bmp"
                                     << "not a bitmap"
                                     << "Bitmap image is not valid";
    }
    void malformedValuesAndPictures() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, message);
        Entries entries = With(AllPictures(kRed), "gy3layout.txt",
                               Layout({{key.toStdString(), value.toStdString()}}));
        if (key.endsWith(".bmp"))
            entries = With(entries, key.toStdString(), value.toStdString());
        WriteTheme(ThemePath("t.zip"), entries);
        auto window = NewWindow();
        const QImage options = Shown(window->Image_opt);
        window->RefreshThemeMenu();
        QCOMPARE(Failure([&] { window->Open1Click(ThemeItem(*window, "t")); }), message);
        QCOMPARE(Shown(window->Image_opt), options);
    }

    void pictureFailureKeepsWhatWasReadBefore() {
        WriteTheme(ThemePath("t.zip"),
                   With(With(AllPictures(kRed), "gy3layout.txt", Layout()), "gy_tile2.bmp", "BM"));
        auto window = NewWindow();
        window->RefreshThemeMenu();
        QCOMPARE(Failure([&] { window->Open1Click(ThemeItem(*window, "t")); }),
                 QStringLiteral("Bitmap image is not valid"));
        // Glyphs, logo and the slots before TILE2 were read; the slots after it stay empty.
        QVERIFY(Glyph(window->SpeedButton2) != BuiltInGlyph("TOOL1"));
        QCOMPARE(window->Skin->PictureSlot(skin::TITLE1).pixel(0, 0), kRed);
        QVERIFY(window->Skin->PictureSlot(skin::OPTIONS1).isNull());
    }

    void themeWithoutLayoutFailsBeforeChangingAnything() {
        WriteTheme(ThemePath("t.zip"), AllPictures(kRed));
        auto window = NewWindow();
        window->RefreshThemeMenu();
        QCOMPARE(Failure([&] { window->Open1Click(ThemeItem(*window, "t")); }),
                 QStringLiteral("'' is not a valid integer value"));
        QCOMPARE(PanelColor(window->Panel_top), QColor(Qt::black));
        QCOMPARE(Glyph(window->SpeedButton2), BuiltInGlyph("TOOL1"));
    }

    // An archive that never opened leaves the store without a layout; asking again for the same
    // path does not retry, every read leaves the holder empty and the border test fails.
    void storeWithoutLayoutFailsAtTheBorderKey() {
        auto window = NewWindow();
        window->State.Theme = QStringLiteral("T:\\interface\\gone.zip");
        QVERIFY(Failure([&] { window->ApplyThemeFile(); }).startsWith("Cannot open file"));
        SetSetting("unused", "x");
        window->FATView->setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        QCOMPARE(Failure([&] { window->ApplyThemeFile(); }),
                 QStringLiteral("Invalid variant operation"));
        QCOMPARE(PanelColor(window->Panel_top), QColor(Qt::black));
        QCOMPARE(window->FATView->font().family(), QString());
    }

    void deletedArchiveStillInTheStoreIsAppliedAgain() {
        WriteTheme(ThemePath("t.zip"), With(AllPictures(kRed), "gy3layout.txt", Layout()));
        auto window = NewWindow();
        Choose(*window, "t");
        window->Defaulttheme->trigger();
        window->RefreshThemeMenu();
        QAction* item = ThemeItem(*window, "t");
        std::filesystem::remove(ThemePath("t.zip"));
        window->Open1Click(item);
        QCOMPARE(PanelColor(window->Panel_top), QColor(0, 255, 0));
    }

    // Sizes from a theme are bounded: a hostile layout cannot make the window ask for a
    // gigantic surface, and a negative size is none.
    void stripSizesAreBounded() {
        WriteTheme(ThemePath("t.zip"), With(AllPictures(kRed), "gy3layout.txt",
                                            Layout({{"panelright.width", "100000"},
                                                    {"paneltop.height", "-5"},
                                                    {"browser.fontsize", "5000"}})));
        auto window = NewWindow();
        Choose(*window, "t");
        QCOMPARE(window->Panel_Right->width(), 1000);
        QCOMPARE(window->Panel_top->height(), 0);
        QCOMPARE(window->FATView->font().pointSize(), 96);
    }

    void hugeThemePicturesAreCut() {
        QImage mono(6000, 300, QImage::Format_Mono);
        mono.fill(0);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(mono.save(&buffer, "BMP"));
        const std::string huge = buffer.data().toStdString();
        WriteTheme(ThemePath("t.zip"), With(With(With(AllPictures(kRed), "gy3layout.txt", Layout()),
                                                 "gy_logo.bmp", huge),
                                            "gy_tile1.bmp", huge));
        auto window = NewWindow();
        Choose(*window, "t");
        QCOMPARE(window->Image2->pixmap().size(), QSize(skin::kMaxPictureSide, 300));
        QCOMPARE(window->Skin->PictureSlot(skin::TILE1).width(), skin::kMaxPictureSide);
    }

    void titleLabelsTakeTurnsOverTheTiles() {
        auto window = NewWindow();
        const QImage normal = Shown(window->Image7);
        window->Skin->DrawTitleLabel(skin::TITLE2);
        const QImage hot = Shown(window->Image7);
        const QImage title2 =
            resources::BuiltInSkinPicture("TITLE2").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(hot.copy(0, 0, 150, 42), title2);
        QCOMPARE(hot.copy(150, 0, hot.width() - 150, 42),
                 normal.copy(150, 0, normal.width() - 150, 42));
        window->Skin->DrawTitleLabel(skin::TITLE1);
        QCOMPARE(Shown(window->Image7), normal);
    }

    void slotsCanBeFreedAndCreated() {
        auto window = NewWindow();
        const QImage exit = Shown(window->Image_exit);
        window->FreePictureSlots();
        QVERIFY(!window->Skin->HasPictureSlots());
        QVERIFY(window->Skin->PictureSlot(skin::EXIT1).isNull());
        // The controls keep their own copies.
        QCOMPARE(Shown(window->Image_exit), exit);
        window->CreatePictureSlots();
        QVERIFY(window->Skin->HasPictureSlots());
        QVERIFY(window->Skin->PictureSlot(skin::EXIT1).isNull());
    }
};

QTEST_MAIN(SkinWindowTest)
#include "SkinWindowTest.moc"
