// The commands of glyptor-icons that export whole icons: groups as stored, PNG at a chosen size,
// 32-bit icons with alpha, resource ids as indexes, batch export and the per-image listing.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace glyptor::tools {

// The scanner's type filter on a file name: .CUR and .ANI never, else an empty mask or one that
// holds the upper-cased extension.
bool PassesMask(const std::filesystem::path& file, const std::string& mask);
// The regular files of `folder` (and below it, when `recursive`) that pass `mask`, sorted,
// appended to `files`; links to folders are not followed. The error of a folder that could not be
// read all through.
std::error_code CollectFolderFiles(const std::string& folder, bool recursive,
                                   const std::string& mask, std::vector<std::string>& files);

// Whether `extract` with these arguments asks for one of the exports below (--group, a PNG at
// --size, --depth 32 into an .ico, or a negative INDEX naming a resource id).
bool IsExportExtract(const std::vector<std::string>& arguments);
int ExportExtract(const std::vector<std::string>& arguments);

// export [-r] [--mask .DLL.EXE...] [--png SIZE | --group] DIR PATH...
int Export(const std::vector<std::string>& arguments);

// list -l [-r] [--mask ...] PATH...: one line per image of every icon's group.
bool IsLongList(const std::vector<std::string>& arguments);
int ListLong(const std::vector<std::string>& arguments);

} // namespace glyptor::tools
