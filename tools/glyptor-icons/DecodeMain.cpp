// glyptor-icons-decode: the commands of glyptor-icons that decode pictures (list, extract,
// export), with exactly the code the program's grid uses. glyptor-icons starts it in its own
// place with the same arguments, so that a count never loads the toolkit this one needs.
#include "CommandLine.h"
#include "ExportCommands.h"
#include "Outputs.h"

#include "browser/ScanPool.h"
#include "formats/IconContainer.h"
#include "platform/icons/FileSource.h"
#include "platform/icons/IconSource.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace glyptor;
using tools::kExitOk;
using tools::kExitUnreadable;
using tools::ParseNumber;
using tools::Printable;
using tools::ThreadsOption;
using tools::Upper;
using tools::Usage;

bool Readable(const std::string& path) {
    return icons::FileSource::Open(path).has_value();
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
    // Over a file size limit a write should fail and be reported, and its temporary file go,
    // rather than the signal killing the program halfway and leaving that file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    return tools::RunCommandLine(
        argc, argv, [](const std::string& command, const std::vector<std::string>& arguments) {
            if (command == "list") {
                return tools::IsLongList(arguments) ? tools::ListLong(arguments) : List(arguments);
            }
            if (command == "extract") {
                return tools::IsExportExtract(arguments) ? tools::ExportExtract(arguments)
                                                         : Extract(arguments);
            }
            return tools::Export(arguments);
        });
}
