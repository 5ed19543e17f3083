// glyptor-icons: the icon source on the command line, for batch work and scripts. It counts,
// lists and extracts icons with exactly the code the program's scanner and grid use.
#include "ExportCommands.h"
#include "Outputs.h"

#include "browser/ScanPool.h"
#include "formats/IconContainer.h"
#include "platform/icons/FileSource.h"
#include "platform/icons/IconSource.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace glyptor;

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;

const char* const kHelp =
    R"(Usage: glyptor-icons COMMAND [OPTIONS] ARGUMENTS

Commands:
  count [-j N] [--index] FILE...
                       print COUNT<TAB>PATH for each file (0 when it holds no icons);
                       with "-" the paths are read from standard input, one per line
  count -r [-a] [-j N] [--index] FOLDER...
                       count every file below the folders as the program's scanner walks
                       them (hidden folders, links to folders and special files skipped),
                       one line per file that holds icons, or per file with -a
                       -j N counts with N reader threads (default: from the cores; -j 1
                       reads one file at a time), in input order all the same; --index
                       takes the counts of unchanged files from the program's scan index
                       and records the others
  list [-r] [-v] [-j N] [--mask .DLL.EXE...] PATH...
                       print PATH<TAB>INDEX<TAB>WIDTHxHEIGHT<TAB>BITS for every icon of the
                       files and folders given; -r descends into subfolders; --mask keeps
                       files whose upper-cased extension occurs in the mask, as the
                       program's type filter does (.CUR and .ANI files are never read);
                       -v prints PATH<TAB>no icons: REASON at offset N for files without
                       icons; -j N reads with N threads (default: from the cores), in order
  list -l [-r] [--mask ...] PATH...
                       one line per image of each icon's group:
                       PATH<TAB>INDEX<TAB>WIDTHxHEIGHT<TAB>BITS<TAB>PNG|DIB<TAB>BYTES
  extract [--size N | --all-sizes] [--depth N] FILE INDEX OUT
                       write icon INDEX (from 0) of FILE as a 32 x 32 picture; --size N
                       writes the icon's own N x N image instead (for a .png OUT: the
                       N x N image, else the nearest larger one scaled, with alpha),
                       --all-sizes each of its images as OUT_WxH_BITS with OUT's
                       extension (OUT_WxH_BITS_2 ... for a further image of the same size
                       and depth); --depth 32 writes an .ico with alpha. A negative
                       INDEX names a resource id, as in "shell32.dll,-16"
  extract --group FILE INDEX OUT.ico
                       write the icon's whole group, every image as the file stores it
  export [-r] [--mask ...] [--png SIZE | --group] DIR PATH...
                       write every icon of the files and folders into DIR as
                       FILE_INDEX.ico (groups, the default) or FILE_INDEX.png (SIZE x SIZE,
                       0 for each icon's largest image); existing files are never
                       replaced, a taken name becomes NAME (2).EXT and so on; exit
                       status 1 when any icon failed
  --help               show this text

Exit status: 0 on success, 1 when a file could not be read or has no such icon,
2 on bad usage.
)";

int Usage(const std::string& message) {
    std::cerr << "glyptor-icons: " << message << "\nTry 'glyptor-icons --help'.\n";
    return kExitUsage;
}

using tools::Printable;

bool Readable(const std::string& path) {
    return icons::FileSource::Open(path).has_value();
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    });
    return text;
}

std::optional<int> ParseNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// The thread count after "-j" at arguments[i] (i moves onto it); none when it is missing or
// below 1.
std::optional<int> ThreadsOption(const std::vector<std::string>& arguments, std::size_t& i) {
    const auto value = i + 1 < arguments.size() ? ParseNumber(arguments[++i]) : std::nullopt;
    return value && *value >= 1 ? value : std::nullopt;
}

// ASCII letters without regard to case, the order in which the program's tree lists folders.
bool FolderBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

// Prints the counts of one part of the pool's work in its order; false once a file was
// unreadable.
bool PrintCounts(scan::FolderCounts& part, bool everyFile) {
    bool readable = true;
    const auto names = part.Names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        int count = 0;
        while (part.WaitAt(i, std::chrono::seconds(1), count) ==
               scan::FolderCounts::State::Pending) {
        }
        const std::string path = part.Folder().empty()
                                     ? names[i]
                                     : (part.Folder() == "/" ? "" : part.Folder()) + "/" + names[i];
        if (count < 0) {
            std::cerr << "glyptor-icons: cannot read " << Printable(path) << "\n";
            readable = false;
        }
        if (count > 0 || everyFile) {
            std::cout << std::max(0, count) << '\t' << Printable(path) << '\n';
        }
    }
    return readable;
}

// Hands the pool's parts to PrintCounts until the walk or the list is done.
bool PrintAll(scan::ScanPool& pool, bool everyFile) {
    bool readable = true;
    for (;;) {
        bool finished = false;
        auto part = pool.TakeNext(std::chrono::seconds(1), finished);
        if (part) {
            readable = PrintCounts(*part, everyFile) && readable;
        } else if (finished) {
            return readable;
        }
    }
}

int Count(const std::vector<std::string>& arguments) {
    bool recursive = false;
    bool everyFile = false;
    bool useIndex = false;
    int threads = 0;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& a = arguments[i];
        if (a == "-r") {
            recursive = true;
        } else if (a == "-a") {
            everyFile = true;
        } else if (a == "--index") {
            useIndex = true;
        } else if (a == "-j") {
            const auto value = ThreadsOption(arguments, i);
            if (!value) {
                return Usage("-j needs a number of threads");
            }
            threads = *value;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() == 1 && paths[0] == "-" && !recursive) {
        paths.clear();
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty()) {
                paths.push_back(line);
            }
        }
    } else if (paths.empty()) {
        return Usage(recursive ? "count -r needs at least one FOLDER"
                               : "count needs at least one FILE");
    }
    scan::IndexSettings index;
    if (useIndex) {
        index.folder = platform::DefaultScanIndexFolder();
    }
    scan::ScanPool pool(threads, index);
    bool readable = true;
    if (!recursive) {
        pool.StartPaths(paths);
        // Without -r every file named gets its line, as it always did.
        readable = PrintAll(pool, true);
    } else {
        for (const auto& folder : paths) {
            struct stat info {};
            if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                std::cerr << "glyptor-icons: not a folder: " << Printable(folder) << "\n";
                readable = false;
                continue;
            }
            scan::WalkRules rules;
            rules.folderBefore = FolderBefore;
            pool.StartWalk(folder, rules);
            readable = PrintAll(pool, everyFile) && readable;
        }
    }
    pool.Stop();
    return readable ? kExitOk : kExitUnreadable;
}

// Why the file at the native path has no icons, as -v prints it.
std::string RefusalOf(const std::string& path) {
    auto file = icons::FileSource::Open(path);
    if (!file) {
        return "not a regular file that can be opened";
    }
    const icons::ContainerRefusal refusal = icons::IndexContainer(*file).refusal;
    std::string text = icons::DescribeRefusal(refusal.kind);
    if (refusal.kind == icons::RefusalKind::BadBitmap) {
        text += std::string(" (") + formats::DescribeDibRefusal(refusal.bitmap) + ")";
    }
    return text + " at offset " + std::to_string(refusal.offset);
}

void ListFile(icons::IconSourceCache& cache, const std::string& path, bool verbose,
              std::ostream& out) {
    const int count = icons::IconCount(cache, path);
    if (verbose && count <= 0) {
        out << Printable(path) << "\tno icons: " << RefusalOf(path) << '\n';
    }
    for (int index = 0; index < count; ++index) {
        icons::IconImageInfo chosen;
        out << Printable(path) << '\t' << index << '\t';
        if (icons::ExtractIcon(cache, path, index, icons::kStandardIconSize, &chosen)) {
            out << chosen.width << 'x' << chosen.height << '\t'
                << (chosen.png ? std::string("png") : std::to_string(chosen.bitCount));
        } else {
            out << "-\t-";
        }
        out << '\n';
    }
}

// Lists the files with `threads` threads, printing each file's lines in the given order. The
// files go in parts, so that the first lines come out before the last file is read.
void ListFiles(const std::vector<std::string>& files, int threads, bool verbose) {
    constexpr std::size_t kPart = 256;
    if (threads <= 1) {
        icons::IconSourceCache cache;
        for (const auto& file : files) {
            ListFile(cache, file, verbose, std::cout);
        }
        return;
    }
    std::vector<icons::IconSourceCache> caches(static_cast<std::size_t>(threads));
    for (std::size_t start = 0; start < files.size(); start += kPart) {
        const std::size_t end = std::min(files.size(), start + kPart);
        std::vector<std::string> outputs(end - start);
        std::size_t next = start;
        std::mutex mutex;
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (;;) {
                    std::size_t mine = 0;
                    {
                        std::lock_guard lock(mutex);
                        if (next == end) {
                            return;
                        }
                        mine = next++;
                    }
                    std::ostringstream out;
                    ListFile(caches[static_cast<std::size_t>(t)], files[mine], verbose, out);
                    outputs[mine - start] = std::move(out).str();
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (const auto& output : outputs) {
            std::cout << output;
        }
    }
}

int List(const std::vector<std::string>& arguments) {
    bool recursive = false;
    int threads = scan::DefaultReaderThreads();
    bool verbose = false;
    std::string mask;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "-r") {
            recursive = true;
        } else if (arguments[i] == "-j") {
            const auto value = ThreadsOption(arguments, i);
            if (!value) {
                return Usage("-j needs a number of threads");
            }
            threads = *value;
        } else if (arguments[i] == "-v") {
            verbose = true;
        } else if (arguments[i] == "--mask") {
            if (++i == arguments.size()) {
                return Usage("--mask needs a value such as .DLL.EXE");
            }
            mask = Upper(arguments[i]);
        } else {
            paths.push_back(arguments[i]);
        }
    }
    if (paths.empty()) {
        return Usage("list needs at least one PATH");
    }
    int status = kExitOk;
    for (const auto& path : paths) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            std::vector<std::string> files;
            error = tools::CollectFolderFiles(path, recursive, mask, files);
            if (error) {
                std::cerr << "glyptor-icons: cannot read folder " << Printable(path) << ": "
                          << error.message() << "\n";
                status = kExitUnreadable;
            }
            ListFiles(files, threads, verbose);
        } else if (!Readable(path)) {
            std::cerr << "glyptor-icons: cannot read " << Printable(path) << "\n";
            status = kExitUnreadable;
        } else {
            ListFiles({path}, 1, verbose);
        }
    }
    return status;
}

bool SupportedOutput(const std::string& out) {
    for (const auto& ext : tools::OutputExtensions()) {
        if (out.size() > ext.size() && Upper(out.substr(out.size() - ext.size())) == Upper(ext)) {
            return true;
        }
    }
    return false;
}

int Extract(const std::vector<std::string>& arguments) {
    std::optional<int> size;
    bool allSizes = false;
    tools::OutputOptions options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& a = arguments[i];
        if (a == "--size" || a == "--depth") {
            if (i + 1 == arguments.size() || !ParseNumber(arguments[i + 1])) {
                return Usage(a + " needs a number");
            }
            const int value = *ParseNumber(arguments[++i]);
            if (a == "--size") {
                size = value;
            } else {
                options.depth = value;
            }
        } else if (a == "--all-sizes") {
            allSizes = true;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) {
        return Usage("extract needs FILE INDEX OUT");
    }
    if (size && allSizes) {
        return Usage("--size and --all-sizes exclude each other");
    }
    const auto& file = positional[0];
    const auto index = ParseNumber(positional[1]);
    const auto& out = positional[2];
    if (!index) {
        return Usage("INDEX must be a number from 0: " + positional[1]);
    }
    if (!SupportedOutput(out)) {
        std::string known;
        for (const auto& ext : tools::OutputExtensions()) {
            known += " " + ext;
        }
        return Usage("OUT must end in one of:" + known);
    }
    if (!Readable(file)) {
        std::cerr << "glyptor-icons: cannot read " << Printable(file) << "\n";
        return kExitUnreadable;
    }
    const auto fail = [&](const std::string& message) {
        std::cerr << "glyptor-icons: " << Printable(message) << "\n";
        return kExitUnreadable;
    };
    if (!size && !allSizes) {
        const auto icon = icons::ExtractIcon(file, *index);
        if (!icon) {
            return fail("no icon " + positional[1] + " in " + file);
        }
        const auto error = tools::WriteIconFile(*icon, out, options);
        return error.empty() ? kExitOk : fail(error);
    }
    const auto images = icons::ExtractSourceImages(file, *index);
    if (images.empty()) {
        return fail("no icon " + positional[1] + " in " + file);
    }
    if (size) {
        // The deepest image of that size, as the icon itself would choose among equals.
        const icons::SourceImage* best = nullptr;
        for (const auto& image : images) {
            if (image.info.width == *size && image.info.height == *size &&
                (!best || image.info.bitCount > best->info.bitCount)) {
                best = &image;
            }
        }
        if (!best) {
            return fail("icon " + positional[1] + " of " + file + " has no " +
                        std::to_string(*size) + " x " + std::to_string(*size) + " image");
        }
        const auto error = tools::WriteIconFile(best->image, out, options);
        return error.empty() ? kExitOk : fail(error);
    }
    const fs::path outPath(out);
    const std::string stem = (outPath.parent_path() / outPath.stem()).string();
    // Two images of one size and depth get names _2, _3 ... after the first: a second write
    // under one name would silently replace a picture this run has just written.
    std::set<std::string> written;
    for (const auto& image : images) {
        const std::string base =
            stem + "_" + std::to_string(image.info.width) + "x" +
            std::to_string(image.info.height) + "_" +
            (image.info.png ? std::string("png") : std::to_string(image.info.bitCount));
        std::string name = base + outPath.extension().string();
        for (int copy = 2; written.count(name) != 0; ++copy) {
            name = base + "_" + std::to_string(copy) + outPath.extension().string();
        }
        written.insert(name);
        const auto error = tools::WriteIconFile(image.image, name, options);
        if (!error.empty()) {
            return fail(error);
        }
        std::cout << Printable(name) << '\n';
    }
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        std::vector<std::string> arguments(argv + 1, argv + argc);
        if (arguments.empty()) {
            return Usage("no command given");
        }
        const std::string command = arguments.front();
        arguments.erase(arguments.begin());
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kHelp;
            return kExitOk;
        }
        if (std::find(arguments.begin(), arguments.end(), "--help") != arguments.end()) {
            std::cout << kHelp;
            return kExitOk;
        }
        if (command == "count") {
            return Count(arguments);
        }
        if (command == "list") {
            return tools::IsLongList(arguments) ? tools::ListLong(arguments) : List(arguments);
        }
        if (command == "extract") {
            return tools::IsExportExtract(arguments) ? tools::ExportExtract(arguments)
                                                     : Extract(arguments);
        }
        if (command == "export") {
            return tools::Export(arguments);
        }
        return Usage("unknown command '" + command + "'");
    } catch (const std::exception& e) {
        std::cerr << "glyptor-icons: " << e.what() << "\n";
        return kExitUnreadable;
    }
}
