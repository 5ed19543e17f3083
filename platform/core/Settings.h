// Where the per-user settings live. The window's twelve values and the drive letter overrides
// share one INI file so that a user has a single place to look.
#pragma once

#include <QString>

#include <map>
#include <string>

namespace glyptor::platform {

// $XDG_CONFIG_HOME/Brindlow/Glyptor.conf (XDG_CONFIG_HOME defaults to ~/.config).
QString SettingsFilePath();

// The `Drives` section: letter -> native folder, e.g. D=/mnt/windows.
std::map<char, std::string> DriveOverrides();

} // namespace glyptor::platform
