// Folder listing with the attribute rules of the program: names starting with "." are hidden,
// symbolic links to folders and pseudo file systems are hidden system folders (never listed,
// never entered, so no loops), and sockets, FIFOs and devices are never offered as files.
#pragma once

#include "platform/core/Drives.h"

#include <string>
#include <vector>

namespace glyptor::platform {

struct FolderEntry {
    std::string name;
    bool isDirectory = false;
};

// Visible subfolders of the folder at a program path, in the order the file system returns
// them. A folder that cannot be listed gives none.
std::vector<std::string> ListSubfolders(const DriveTable& drives, const std::string& path);

// The entries of a folder at a program path whose names match `pattern` ("*.*", "*.DLL" ...,
// letters compared without regard to case): regular files (hidden ones included) and, flagged,
// visible subfolders. Names containing "\" are left out: no program path can name them.
// `nativeFolder`, when given, receives the folder's native path (empty when it cannot be listed).
std::vector<FolderEntry> ListEntries(const DriveTable& drives, const std::string& path,
                                     const std::string& pattern,
                                     std::string* nativeFolder = nullptr);

// True when the program path names an existing folder.
bool IsFolder(const DriveTable& drives, const std::string& path);
// True when the program path names an existing regular file.
bool IsRegularFile(const DriveTable& drives, const std::string& path);

// Wildcard match of a file name against a pattern with "*" and "?", case-insensitive; "*.*"
// matches every name, with or without a dot, as the enumeration of the original system does.
bool MatchesPattern(const std::string& name, const std::string& pattern);

} // namespace glyptor::platform
