// Making a picture the desktop wallpaper on Linux desktops. The picture goes to one fixed file,
// replaced every time; the desktop is then told through its own settings tool, and its
// centred/tiled choice is changed only between those two values, so that a user who chose
// "zoom" or "scaled" keeps that choice.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace glyptor::wallpaper {

enum class WallpaperMode { Tile, Center };

// A failure to write the wallpaper or to tell the desktop; the text names the wallpaper file.
class WallpaperError : public std::runtime_error {
public:
    explicit WallpaperError(const QString& text);
};

// $XDG_DATA_HOME/Brindlow/Glyptor/~wallpap.bmp (XDG_DATA_HOME defaults to ~/.local/share).
QString WallpaperFilePath();

// Replaces the file with the bytes, creating its folder. The old file stays whole until the new
// one is complete, since a desktop may be reading it. Throws WallpaperError.
void WriteWallpaperFile(const QString& path, const std::vector<std::uint8_t>& bytes);

// The centred/tiled rule on a desktop's option, given in that desktop's own words: tile turns
// `centred` into `tiled`, center turns `tiled` into `centred`. The desktop's scaling modes are
// its default way of showing a picture (a 32 x 32 icon would be blown up over the screen), so
// they are set as asked too. Nothing when the option stays, or is anything else ("no picture").
std::optional<QString> PictureOptionToWrite(const QString& current, const QString& centred,
                                            const QString& tiled, const QStringList& scaling,
                                            WallpaperMode mode);

enum class Desktop { Unsupported, Gnome, Budgie, Cinnamon, Mate, Xfce, Kde };

// The first desktop of a colon-separated XDG_CURRENT_DESKTOP list that we can talk to.
Desktop DesktopFromList(const QString& currentDesktops);

struct CommandResult {
    bool started = false; // false: not found, could not run, or timed out
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};
using CommandRunner =
    std::function<CommandResult(const QString& program, const QStringList& arguments)>;

// Runs a program and waits for it (at most 15 seconds).
CommandResult RunCommand(const QString& program, const QStringList& arguments);

// Tells the desktop to show the file, tiled or centred as the rule says. Throws WallpaperError
// (naming the file) when the desktop is unsupported or its tool fails.
void TellDesktop(Desktop desktop, const QString& file, WallpaperMode mode,
                 const CommandRunner& run = RunCommand);

// Writes the picture to WallpaperFilePath() and tells the desktop named by XDG_CURRENT_DESKTOP.
// Returns the file's path; throws WallpaperError.
QString SetDesktopWallpaper(const std::vector<std::uint8_t>& bmpFile, WallpaperMode mode,
                            const CommandRunner& run = RunCommand);

} // namespace glyptor::wallpaper
