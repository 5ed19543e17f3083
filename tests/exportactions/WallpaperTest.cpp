// The wallpaper without a window: the file, the centred/tiled rule, the choice of desktop, and
// each desktop's back end. The GNOME family runs against the real gsettings with its key-file
// back end in a temporary configuration folder; Xfce against a stand-in for xfconf's store;
// the Plasma script in node with stand-in desktops.
#include "platform/wallpaper/Wallpaper.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <ostream>

using namespace glyptor::wallpaper;

// Readable failures for Qt strings.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
public:
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }
    void Set(const char* name, const QString& value) {
        if (!saved_.count(name))
            saved_[name] = qEnvironmentVariableIsSet(name)
                               ? std::optional<QByteArray>(qgetenv(name))
                               : std::nullopt;
        qputenv(name, value.toUtf8());
    }
    void Unset(const char* name) {
        Set(name, {});
        qunsetenv(name);
    }

private:
    std::map<QByteArray, std::optional<QByteArray>> saved_;
};

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(PictureOptionToWrite, CentredTiledAndScalingSwapOnlyTowardsTheMode) {
    const QString centred = "0", tiled = "1";
    const QStringList scaling{"zoom", "3"};
    EXPECT_EQ(PictureOptionToWrite("0", centred, tiled, scaling, WallpaperMode::Tile), "1");
    EXPECT_FALSE(PictureOptionToWrite("1", centred, tiled, scaling, WallpaperMode::Tile));
    EXPECT_EQ(PictureOptionToWrite("1", centred, tiled, scaling, WallpaperMode::Center), "0");
    EXPECT_FALSE(PictureOptionToWrite("0", centred, tiled, scaling, WallpaperMode::Center));
    for (const QString& scaled : scaling) {
        EXPECT_EQ(PictureOptionToWrite(scaled, centred, tiled, scaling, WallpaperMode::Tile), "1");
        EXPECT_EQ(PictureOptionToWrite(scaled, centred, tiled, scaling, WallpaperMode::Center),
                  "0");
    }
    for (const QString other : {"2", "", " 1", "01", "none", "Zoom"}) {
        EXPECT_FALSE(PictureOptionToWrite(other, centred, tiled, scaling, WallpaperMode::Tile))
            << other.toStdString();
        EXPECT_FALSE(PictureOptionToWrite(other, centred, tiled, scaling, WallpaperMode::Center))
            << other.toStdString();
    }
}

TEST(DesktopFromList, FirstKnownNameOfTheListWithoutRegardToCase) {
    EXPECT_EQ(DesktopFromList("GNOME"), Desktop::Gnome);
    EXPECT_EQ(DesktopFromList("ubuntu:GNOME"), Desktop::Gnome);
    EXPECT_EQ(DesktopFromList("GNOME-Flashback:GNOME"), Desktop::Gnome);
    EXPECT_EQ(DesktopFromList("Budgie:GNOME"), Desktop::Budgie);
    EXPECT_EQ(DesktopFromList("X-Cinnamon"), Desktop::Cinnamon);
    EXPECT_EQ(DesktopFromList("mate"), Desktop::Mate);
    EXPECT_EQ(DesktopFromList("XFCE"), Desktop::Xfce);
    EXPECT_EQ(DesktopFromList("KDE"), Desktop::Kde);
    EXPECT_EQ(DesktopFromList("LXQt"), Desktop::Unsupported);
    EXPECT_EQ(DesktopFromList(""), Desktop::Unsupported);
    EXPECT_EQ(DesktopFromList("::"), Desktop::Unsupported);
}

TEST(WallpaperFile, LivesInTheDataFolderAndIsReplacedWhole) {
    QTemporaryDir data;
    ScopedEnvironment environment;
    environment.Set("XDG_DATA_HOME", data.path());
    const QString path = WallpaperFilePath();
    EXPECT_EQ(path, data.path() + "/Brindlow/Glyptor/~wallpap.bmp");
    WriteWallpaperFile(path, {'B', 'M', '1'});
    EXPECT_EQ(ReadFile(path), QByteArray("BM1"));
    WriteWallpaperFile(path, {'B', 'M'});
    EXPECT_EQ(ReadFile(path), QByteArray("BM"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(data.path() + "/Brindlow/Glyptor").entryList(QDir::Files),
              QStringList{"~wallpap.bmp"});

    environment.Set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(WallpaperFilePath(),
              QDir::homePath() + "/.local/share/Brindlow/Glyptor/~wallpap.bmp");
}

TEST(WallpaperFile, AFolderThatCannotBeMadeIsAnErrorNamingTheFile) {
    QTemporaryDir data;
    QFile blocker(data.path() + "/Brindlow");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    const QString path = data.path() + "/Brindlow/Glyptor/~wallpap.bmp";
    try {
        WriteWallpaperFile(path, {'B', 'M'});
        FAIL() << "no error";
    } catch (const WallpaperError& error) {
        EXPECT_EQ(QString::fromStdString(error.what()), "Cannot create file " + path);
    }
}

TEST(TellDesktop, NoSupportedDesktopNamesTheFileWritten) {
    QTemporaryDir data;
    ScopedEnvironment environment;
    environment.Set("XDG_DATA_HOME", data.path());
    environment.Set("XDG_CURRENT_DESKTOP", "LXQt");
    bool ran = false;
    const auto run = [&](const QString&, const QStringList&) {
        ran = true;
        return CommandResult{};
    };
    try {
        SetDesktopWallpaper({'B', 'M'}, WallpaperMode::Tile, run);
        FAIL() << "no error";
    } catch (const WallpaperError& error) {
        const QString text = QString::fromStdString(error.what());
        EXPECT_TRUE(text.contains(WallpaperFilePath())) << error.what();
        EXPECT_TRUE(text.contains("LXQt")) << error.what();
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(ReadFile(WallpaperFilePath()), QByteArray("BM"));
}

TEST(TellDesktop, AToolThatFailsOrIsMissingIsAnErrorNotASuccess) {
    const QString file = "/tmp/some/~wallpap.bmp";
    const auto missing = [](const QString&, const QStringList&) { return CommandResult{}; };
    const auto failing = [](const QString&, const QStringList&) {
        return CommandResult{true, 1, {}, "No such schema"};
    };
    for (Desktop desktop : {Desktop::Gnome, Desktop::Mate, Desktop::Xfce, Desktop::Kde}) {
        for (const CommandRunner& run : {CommandRunner(missing), CommandRunner(failing)}) {
            try {
                TellDesktop(desktop, file, WallpaperMode::Center, run);
                ADD_FAILURE() << "no error for desktop " << static_cast<int>(desktop);
            } catch (const WallpaperError& error) {
                EXPECT_TRUE(QString::fromStdString(error.what()).contains(file)) << error.what();
            }
        }
    }
}

TEST(TellDesktop, AGSettingsChangeThatDoesNotStickIsAnError) {
    // What gsettings does when dconf cannot reach the session: warn, drop, exit 0.
    const auto forgetful = [](const QString&, const QStringList& args) {
        if (args.value(0) == "get")
            return CommandResult{true, 0, "'zoom'\n", {}};
        return CommandResult{true, 0, {}, "failed to commit changes to dconf"};
    };
    try {
        TellDesktop(Desktop::Mate, "/x/~wallpap.bmp", WallpaperMode::Tile, forgetful);
        FAIL() << "no error";
    } catch (const WallpaperError& error) {
        EXPECT_TRUE(QString::fromStdString(error.what()).contains("/x/~wallpap.bmp"));
    }
}

// --- The GNOME family through the real gsettings ---------------------------------------------

struct GSettingsCase {
    Desktop desktop;
    const char* schema;
    const char* pictureKey;
    bool uri;
};

class GSettingsBackend : public ::testing::TestWithParam<GSettingsCase> {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("gsettings").isEmpty())
            GTEST_SKIP() << "gsettings is not installed (Debian libglib2.0-bin)";
        ASSERT_TRUE(root_.isValid());
        environment_.Set("XDG_CONFIG_HOME", root_.path() + "/config");
        // A quote and a space in the path: the value must reach gsettings quoted correctly.
        environment_.Set("XDG_DATA_HOME", root_.path() + "/it's data");
        environment_.Set("GSETTINGS_BACKEND", "keyfile");
        const QString compiled = root_.path() + "/schemas";
        QDir().mkpath(compiled);
        for (const char* name :
             {"org.cinnamon.desktop.background.gschema.xml", "org.mate.background.gschema.xml"})
            QFile::copy(QStringLiteral(GLYPTOR_TEST_DATA "/exportactions/") + name,
                        compiled + '/' + name);
        const CommandResult made = RunCommand("glib-compile-schemas", {compiled});
        if (!made.started || made.exitCode != 0)
            GTEST_SKIP() << "glib-compile-schemas failed: " << made.errors.toStdString();
        environment_.Set("GSETTINGS_SCHEMA_DIR", compiled);
        if (Get("picture-options").isEmpty())
            GTEST_SKIP() << "schema " << GetParam().schema << " is not installed";
    }

    QString Get(const QString& key) {
        const CommandResult result = RunCommand("gsettings", {"get", GetParam().schema, key});
        return result.exitCode == 0 ? QString::fromUtf8(result.output).trimmed() : QString();
    }
    void SetOption(const QString& option) {
        const CommandResult result = RunCommand(
            "gsettings", {"set", GetParam().schema, "picture-options", "'" + option + "'"});
        ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
    }
    QByteArray KeyFile() { return ReadFile(root_.path() + "/config/glib-2.0/settings/keyfile"); }
    QString ExpectedPicture(const QString& file) {
        const QString value = GetParam().uri ? "file://" + QString(file).replace(" ", "%20") : file;
        // gsettings prints a string that holds a single quote between double quotes.
        return value.contains('\'') ? '"' + value + '"' : "'" + value + "'";
    }

    QTemporaryDir root_;
    ScopedEnvironment environment_;
};

TEST_P(GSettingsBackend, TileTurnsCentredIntoTiledAndLeavesOtherOptionsAlone) {
    const QString file = WallpaperFilePath();
    const struct {
        const char* before;
        const char* after;
    } cases[] = {{"centered", "wallpaper"},
                 {"wallpaper", "wallpaper"},
                 {"spanned", "wallpaper"},
                 {"none", "none"}};
    for (const auto& step : cases) {
        SetOption(step.before);
        TellDesktop(GetParam().desktop, file, WallpaperMode::Tile);
        EXPECT_EQ(Get("picture-options"), QString("'%1'").arg(step.after)) << step.before;
        EXPECT_EQ(Get(GetParam().pictureKey), ExpectedPicture(file));
    }
}

TEST_P(GSettingsBackend, CenterTurnsTiledIntoCentredAndLeavesOtherOptionsAlone) {
    const QString file = WallpaperFilePath();
    // Never set: the schema's default ('zoom') scales the picture, so it becomes centred.
    TellDesktop(GetParam().desktop, file, WallpaperMode::Center);
    EXPECT_EQ(Get("picture-options"), "'centered'");
    EXPECT_EQ(Get(GetParam().pictureKey), ExpectedPicture(file));

    const struct {
        const char* before;
        const char* after;
    } cases[] = {{"wallpaper", "centered"},
                 {"centered", "centered"},
                 {"scaled", "centered"},
                 {"stretched", "centered"},
                 {"none", "none"}};
    for (const auto& step : cases) {
        SetOption(step.before);
        TellDesktop(GetParam().desktop, file, WallpaperMode::Center);
        EXPECT_EQ(Get("picture-options"), QString("'%1'").arg(step.after)) << step.before;
    }
}

TEST_P(GSettingsBackend, TheWholePathFromThePictureToTheDesktop) {
    environment_.Set("XDG_CURRENT_DESKTOP", GetParam().desktop == Desktop::Gnome    ? "ubuntu:GNOME"
                                            : GetParam().desktop == Desktop::Budgie ? "Budgie:GNOME"
                                            : GetParam().desktop == Desktop::Mate   ? "MATE"
                                                                                    : "X-Cinnamon");
    SetOption("centered");
    const QString path = SetDesktopWallpaper({'B', 'M', '!'}, WallpaperMode::Tile);
    EXPECT_EQ(path, root_.path() + "/it's data/Brindlow/Glyptor/~wallpap.bmp");
    EXPECT_EQ(ReadFile(path), QByteArray("BM!"));
    EXPECT_EQ(Get("picture-options"), "'wallpaper'");
    EXPECT_EQ(Get(GetParam().pictureKey), ExpectedPicture(path));
    if (GetParam().desktop == Desktop::Gnome || GetParam().desktop == Desktop::Budgie) {
        EXPECT_EQ(Get("picture-uri-dark"), ExpectedPicture(path)); // shown in dark style
    }
}

std::string DesktopName(const ::testing::TestParamInfo<GSettingsCase>& info) {
    static const char* const names[] = {"Unsupported", "Gnome", "Budgie", "Cinnamon",
                                        "Mate",        "Xfce",  "Kde"};
    return names[static_cast<int>(info.param.desktop)];
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, GSettingsBackend,
    ::testing::Values(
        GSettingsCase{Desktop::Gnome, "org.gnome.desktop.background", "picture-uri", true},
        GSettingsCase{Desktop::Budgie, "org.gnome.desktop.background", "picture-uri", true},
        GSettingsCase{Desktop::Cinnamon, "org.cinnamon.desktop.background", "picture-uri", true},
        GSettingsCase{Desktop::Mate, "org.mate.background", "picture-filename", false}),
    DesktopName);

// --- Xfce: a stand-in for xfconf's store, answering as xfconf-query does -------------------

namespace {

struct XfconfStore {
    std::map<QString, QString> properties;
    QStringList calls;

    CommandResult operator()(const QString& program, const QStringList& args) {
        calls << args.join(' ');
        if (program != "xfconf-query" || args.value(0) != "-c" || args.value(1) != "xfce4-desktop")
            return {true, 1, {}, "bad call"};
        if (args.value(2) == "-l") {
            QByteArray listing;
            for (const auto& [name, value] : properties)
                listing += name.toUtf8() + '\n';
            return {true, 0, listing, {}};
        }
        if (args.value(2) != "-p")
            return {true, 1, {}, "bad call"};
        const QString property = args.value(3);
        if (args.size() == 4) {
            const auto found = properties.find(property);
            if (found == properties.end())
                return {true, 1, {}, "Property does not exist"};
            return {true, 0, found->second.toUtf8() + '\n', {}};
        }
        if (args.size() == 6 && args[4] == "-s" && properties.count(property)) {
            properties[property] = args[5];
            return {true, 0, {}, {}};
        }
        return {true, 1, {}, "bad call"};
    }
};

} // namespace

TEST(XfceBackend, EveryBackdropGetsThePictureAndTheRuleOnItsStyle) {
    const QString monitor1 = "/backdrop/screen0/monitorHDMI-1/workspace0/";
    const QString monitor2 = "/backdrop/screen0/monitoreDP-1/workspace0/";
    const QString monitor3 = "/backdrop/screen0/monitorDP-2/workspace1/";
    XfconfStore store;
    store.properties = {{monitor1 + "last-image", "/old.png"}, {monitor1 + "image-style", "1"},
                        {monitor2 + "last-image", "/old.png"}, {monitor2 + "image-style", "5"},
                        {monitor3 + "last-image", "/old.png"}, // no style of its own
                        {"/desktop-icons/style", "2"}};
    const QString file = "/home/u/.local/share/Brindlow/Glyptor/~wallpap.bmp";

    TellDesktop(Desktop::Xfce, file, WallpaperMode::Tile, std::ref(store));
    EXPECT_EQ(store.properties[monitor1 + "image-style"], "2"); // centred -> tiled
    EXPECT_EQ(store.properties[monitor2 + "image-style"], "2"); // zoomed -> tiled
    EXPECT_FALSE(store.properties.count(monitor3 + "image-style"));
    for (const QString& monitor : {monitor1, monitor2, monitor3})
        EXPECT_EQ(store.properties[monitor + "last-image"], file);
    EXPECT_EQ(store.properties["/desktop-icons/style"], "2");

    TellDesktop(Desktop::Xfce, file, WallpaperMode::Tile, std::ref(store));
    EXPECT_EQ(store.properties[monitor1 + "image-style"], "2"); // tiled stays tiled
    TellDesktop(Desktop::Xfce, file, WallpaperMode::Center, std::ref(store));
    EXPECT_EQ(store.properties[monitor1 + "image-style"], "1"); // tiled -> centred
    EXPECT_EQ(store.properties[monitor2 + "image-style"], "1");
    // The same file name again: the picture is cleared and set, so the desktop reloads it.
    const QString image = "-c xfce4-desktop -p " + monitor1 + "last-image -s ";
    const qsizetype cleared = store.calls.lastIndexOf(image);
    ASSERT_GE(cleared, 0);
    EXPECT_EQ(store.calls.value(cleared + 1), image + file);
}

TEST(XfceBackend, NoBackdropIsAnErrorNamingTheFile) {
    XfconfStore store;
    store.properties = {{"/desktop-icons/style", "2"}};
    try {
        TellDesktop(Desktop::Xfce, "/x/~wallpap.bmp", WallpaperMode::Tile, std::ref(store));
        FAIL() << "no error";
    } catch (const WallpaperError& error) {
        EXPECT_TRUE(QString::fromStdString(error.what()).contains("/x/~wallpap.bmp"));
    }
}

// --- KDE Plasma: the script run in node against stand-in desktops ----------------------------

namespace {

// Runs the Plasma script with two desktops of the given fill modes; returns what it left in
// their configuration as "plugin group FillMode Image" lines.
QString RunPlasmaScript(const QString& script, const QString& fill1, const QString& fill2) {
    const QString prelude = QStringLiteral(R"(
function Desktop(fill) {
    this.wallpaperPlugin = "org.kde.slideshow";
    this.currentConfigGroup = [];
    this.config = { FillMode: fill };
    this.readConfig = function (key) { return this.config[key]; };
    this.writeConfig = function (key, value) {
        if (this.currentConfigGroup.join("/") != "Wallpaper/org.kde.image/General")
            throw new Error("written outside the image group");
        this.config[key] = value;
    };
}
var stand = [new Desktop(%1), new Desktop(%2)];
function desktops() { return stand; }
)");
    const QString report = QStringLiteral(R"(
for (var i = 0; i < stand.length; i++)
    console.log(stand[i].wallpaperPlugin + " " + typeof stand[i].config.FillMode + " " +
                stand[i].config.FillMode + " " + stand[i].config.Image);
)");
    QTemporaryDir folder;
    QFile file(folder.path() + "/script.js");
    file.open(QIODevice::WriteOnly);
    file.write((prelude.arg(fill1, fill2) + script + report).toUtf8());
    file.close();
    const CommandResult result = RunCommand("node", {file.fileName()});
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    return QString::fromUtf8(result.output).trimmed();
}

} // namespace

TEST(PlasmaBackend, TheScriptSetsTheImageAndAppliesTheRuleToFillMode) {
    QStringList calls;
    QString script;
    const auto capture = [&](const QString& program, const QStringList& args) {
        calls << program + ' ' + args.mid(0, 5).join(' ');
        if (args.value(5).startsWith("string:"))
            script = args.value(5).mid(7);
        return CommandResult{true, 0, {}, {}};
    };
    const QString file = "/home/u/my pictures/~wallpap.bmp";
    TellDesktop(Desktop::Kde, file, WallpaperMode::Tile, capture);
    ASSERT_EQ(calls, QStringList{"dbus-send --session --print-reply --dest=org.kde.plasmashell "
                                 "/PlasmaShell org.kde.PlasmaShell.evaluateScript"});
    if (QStandardPaths::findExecutable("node").isEmpty())
        GTEST_SKIP() << "node is not installed; the script itself is not run";
    const QString uri = "file:///home/u/my%20pictures/~wallpap.bmp";
    // Plasma's fill modes: 6 centred, 3 tiled, 2 cropped (its default).
    EXPECT_EQ(RunPlasmaScript(script, "6", "2"),
              "org.kde.image number 3 " + uri + "\norg.kde.image number 3 " + uri);
    EXPECT_EQ(RunPlasmaScript(script, "3", "undefined"),
              "org.kde.image number 3 " + uri + "\norg.kde.image number 3 " + uri);
    EXPECT_EQ(RunPlasmaScript(script, "4", "5"), // tiled one way only: left alone
              "org.kde.image number 4 " + uri + "\norg.kde.image number 5 " + uri);

    TellDesktop(Desktop::Kde, file, WallpaperMode::Center, capture);
    EXPECT_EQ(RunPlasmaScript(script, "3", "\"6\""),
              "org.kde.image number 6 " + uri + "\norg.kde.image string 6 " + uri);
    EXPECT_EQ(RunPlasmaScript(script, "1", "6"),
              "org.kde.image number 6 " + uri + "\norg.kde.image number 6 " + uri);
}
