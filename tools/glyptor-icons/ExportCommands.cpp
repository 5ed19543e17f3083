// Export commands of glyptor-icons. They run the same code as the program's save, PNG and batch
// save actions (export/IconGroup, export/IconPng, export/BatchSave), so the tool's files equal
// the program's byte for byte.
#include "ExportCommands.h"

#include "CommandLine.h"

#include "export/BatchSave.h"
#include "export/IconFile32.h"
#include "export/IconGroup.h"
#include "export/IconPng.h"
#include "formats/ByteCursor.h"
#include "formats/IconFile.h"
#include "platform/dib/OutputFile.h"
#include "platform/icons/FileSource.h"
#include "platform/icons/IconSource.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>

#include <unistd.h>

namespace glyptor::tools {

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = kExitUnreadable;

int Fail(const std::string& message) {
    std::cerr << "glyptor-icons: " << Printable(message) << "\n";
    return kExitFailed;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool EndsWith(const std::string& text, const std::string& ext) {
    return text.size() > ext.size() && Upper(text.substr(text.size() - ext.size())) == ext;
}

// The file's icon named by INDEX: from 0, or a negative resource id as Windows shell paths
// write it ("shell32.dll,-16").
std::optional<int> ResolveIndex(const std::string& file, int index) {
    if (index >= 0) {
        return index;
    }
    return icongroup::IndexOfResourceId(file, static_cast<std::uint32_t>(-std::int64_t{index}));
}

int WriteBytes(const std::string& out, const std::vector<std::uint8_t>& bytes) {
    try {
        dib::ReplaceFileContents(out, bytes);
    } catch (const std::exception& failure) {
        return Fail(failure.what());
    }
    return kExitOk;
}

struct Walk {
    bool recursive = false;
    std::string mask;
    std::vector<std::string> paths;
};

// The files the paths name, folders listed (sorted, links to folders not followed); unreadable
// paths are reported and make the status 1.
std::vector<std::string> CollectFiles(const Walk& walk, int& status) {
    std::vector<std::string> result;
    for (const auto& path : walk.paths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            if (!icons::FileSource::Open(path)) {
                std::cerr << "glyptor-icons: cannot read " << Printable(path) << "\n";
                status = kExitFailed;
            } else {
                result.push_back(path);
            }
            continue;
        }
        std::vector<std::string> files;
        error = CollectFolderFiles(path, walk.recursive, walk.mask, files);
        if (error) {
            std::cerr << "glyptor-icons: cannot read folder " << Printable(path) << ": "
                      << error.message() << "\n";
            status = kExitFailed;
        }
        result.insert(result.end(), files.begin(), files.end());
    }
    return result;
}

// Reads -r and --mask into `walk`; returns false (after a usage message) on a bad option.
bool TakeWalkOption(const std::vector<std::string>& arguments, std::size_t& i, Walk& walk) {
    if (arguments[i] == "-r") {
        walk.recursive = true;
        return true;
    }
    if (arguments[i] == "--mask" && i + 1 < arguments.size()) {
        walk.mask = Upper(arguments[++i]);
        return true;
    }
    return false;
}

} // namespace

// The scanner's type filter, as `list` applies it.
bool PassesMask(const fs::path& file, const std::string& mask) {
    const std::string ext = Upper(file.extension().string());
    if (ext == ".CUR" || ext == ".ANI") {
        return false;
    }
    return mask.empty() || (!ext.empty() && mask.find(ext) != std::string::npos);
}

std::error_code CollectFolderFiles(const std::string& folder, bool recursive,
                                   const std::string& mask, std::vector<std::string>& files) {
    std::error_code error;
    // Links to folders are not followed, which also rules out loops.
    const auto options = fs::directory_options::skip_permission_denied;
    const auto collect = [&](const fs::directory_entry& entry) {
        std::error_code e;
        if (entry.is_regular_file(e) && PassesMask(entry.path(), mask)) {
            files.push_back(entry.path().string());
        }
    };
    if (recursive) {
        for (fs::recursive_directory_iterator it(folder, options, error), end; !error && it != end;
             it.increment(error)) {
            collect(*it);
        }
    } else {
        for (fs::directory_iterator it(folder, options, error), end; !error && it != end;
             it.increment(error)) {
            collect(*it);
        }
    }
    std::sort(files.begin(), files.end());
    return error;
}

bool IsExportExtract(const std::vector<std::string>& arguments) {
    bool size = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& a = arguments[i];
        if (a == "--group") {
            return true;
        }
        if ((a == "--size" || a == "--depth") && i + 1 < arguments.size()) {
            if (a == "--depth" && arguments[i + 1] == "32") {
                return true;
            }
            size = size || a == "--size";
            ++i;
        } else if (a != "--all-sizes") {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) {
        return false;
    }
    const auto index = ParseInt(positional[1]);
    return (index && *index < 0) || (size && EndsWith(positional[2], ".PNG"));
}

int ExportExtract(const std::vector<std::string>& arguments) {
    bool group = false;
    bool allSizes = false;
    int size = 0;
    int depth = 0;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& a = arguments[i];
        if (a == "--group") {
            group = true;
        } else if (a == "--all-sizes") {
            allSizes = true;
        } else if (a == "--size" || a == "--depth") {
            const auto value = i + 1 < arguments.size() ? ParseInt(arguments[i + 1]) : std::nullopt;
            if (!value || *value <= 0) {
                return Usage(a + " needs a number");
            }
            (a == "--size" ? size : depth) = *value;
            ++i;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) {
        return Usage("extract needs FILE INDEX OUT");
    }
    if (allSizes) {
        return Usage("--all-sizes takes an INDEX from 0 and no --group");
    }
    const auto& file = positional[0];
    const auto& out = positional[2];
    const auto given = ParseInt(positional[1]);
    if (!given) {
        return Usage("INDEX must be a number: " + positional[1]);
    }
    if (!icons::FileSource::Open(file)) {
        return Fail("cannot read " + file);
    }
    const auto index = ResolveIndex(file, *given);
    if (!index) {
        return Fail("no icon resource " + std::to_string(-std::int64_t{*given}) + " in " + file);
    }
    const std::string noIcon = "no icon " + positional[1] + " in " + file;
    if (group) {
        if (!EndsWith(out, ".ICO") || size != 0 || depth != 0) {
            return Usage("--group writes an .ico file and takes no --size or --depth");
        }
        const auto bytes = icongroup::BuildGroupIconFile(file, *index);
        return bytes ? WriteBytes(out, *bytes) : Fail(noIcon);
    }
    if (EndsWith(out, ".PNG")) {
        const auto bytes = iconpng::RenderPng(file, *index, size);
        return bytes ? WriteBytes(out, *bytes) : Fail(noIcon);
    }
    if (EndsWith(out, ".ICO") && (depth == 32 || depth == 0)) {
        const auto icon =
            size > 0 ? iconpng::IconAtSize(file, *index, size) : icons::ExtractIcon(file, *index);
        if (!icon) {
            return Fail(noIcon);
        }
        try {
            return WriteBytes(out, depth == 32 ? iconfile::EncodeIconFile32(*icon)
                                               : iconfile::EncodeIconFile(*icon, 16777216));
        } catch (const std::exception& failure) {
            return Fail(failure.what());
        }
    }
    return Usage("a resource id INDEX or --depth 32 writes .ico or .png files");
}

int Export(const std::vector<std::string>& arguments) {
    Walk walk;
    batchsave::Options options;
    std::vector<std::string> positional;
    bool kindGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& a = arguments[i];
        if (TakeWalkOption(arguments, i, walk)) {
            continue;
        }
        if (a == "--png" || a == "--group") {
            if (kindGiven) {
                return Usage("--png and --group exclude each other");
            }
            kindGiven = true;
            if (a == "--png") {
                const auto value =
                    i + 1 < arguments.size() ? ParseInt(arguments[i + 1]) : std::nullopt;
                if (!value || *value < 0) {
                    return Usage("--png needs a size (0 for each icon's largest image)");
                }
                options.kind = batchsave::Kind::Png;
                options.pngSize = *value;
                ++i;
            }
        } else if (a == "--mask") {
            return Usage("--mask needs a value such as .DLL.EXE");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() < 2) {
        return Usage("export needs DIR PATH...");
    }
    options.folder = positional.front();
    std::error_code error;
    if (!fs::is_directory(options.folder, error)) {
        return Fail("not a folder: " + options.folder);
    }
    walk.paths.assign(positional.begin() + 1, positional.end());
    int status = kExitOk;
    std::vector<batchsave::Item> items;
    for (const auto& file : CollectFiles(walk, status)) {
        const int count = icons::IconCount(file);
        for (int index = 0; index < count; ++index) {
            items.push_back({file, index});
        }
    }
    batchsave::BatchSave batch(std::move(items), options);
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    while (batch.Step()) {
        if (terminal) {
            std::cerr << "\r" << batch.Done() << " / " << batch.Total() << std::flush;
        }
    }
    if (terminal && batch.Total() > 0) {
        std::cerr << "\r" << batch.Done() << " / " << batch.Total() << "\n";
    }
    const auto& summary = batch.Result();
    for (const auto& written : summary.files) {
        std::cout << Printable(written) << '\n';
    }
    for (const auto& failure : summary.failures) {
        std::cerr << "glyptor-icons: " << Printable(failure.item.path) << '\t' << failure.item.index
                  << '\t' << Printable(failure.reason) << '\n';
    }
    std::cerr << "glyptor-icons: " << summary.written << " written, " << summary.failures.size()
              << " failed\n";
    return summary.failures.empty() ? status : kExitFailed;
}

bool IsLongList(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "-l") != arguments.end();
}

int ListLong(const std::vector<std::string>& arguments) {
    Walk walk;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "-l" || TakeWalkOption(arguments, i, walk)) {
            continue;
        }
        if (arguments[i] == "--mask") {
            return Usage("--mask needs a value such as .DLL.EXE");
        }
        walk.paths.push_back(arguments[i]);
    }
    if (walk.paths.empty()) {
        return Usage("list needs at least one PATH");
    }
    int status = kExitOk;
    for (const auto& file : CollectFiles(walk, status)) {
        const int count = icons::IconCount(file);
        for (int index = 0; index < count; ++index) {
            const auto group = icongroup::ReadIconGroup(file, index);
            if (!group || group->images.empty()) {
                std::cout << Printable(file) << '\t' << index << "\t-\t-\t-\t-\n";
                continue;
            }
            for (const auto& image : group->images) {
                std::cout << Printable(file) << '\t' << index << '\t' << image.width << 'x'
                          << image.height << '\t' << image.bitCount << '\t'
                          << (image.png ? "PNG" : "DIB") << '\t' << image.byteSize << '\n';
            }
        }
    }
    return status;
}

} // namespace glyptor::tools
