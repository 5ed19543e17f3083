// glyptor-icons count: hands the paths or the folder walk to the scanner's reader pool and prints
// each file's count in input order as the pool finishes it.
#include "Counting.h"

#include "CommandLine.h"

#include "browser/ScanPool.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <iostream>
#include <string_view>
#include <sys/stat.h>

namespace glyptor::tools {

namespace {

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
    const std::string& folder = part.Folder();
    const std::string prefix = folder.empty() ? "" : (folder == "/" ? "" : folder) + "/";
    // Each line is made whole and written at once: a count of a few hundred files is over in
    // milliseconds, and the stream's own work for each piece of a line was a good part of them.
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        int count = 0;
        while (part.WaitAt(i, std::chrono::seconds(1), count) ==
               scan::FolderCounts::State::Pending) {
        }
        if (count < 0) {
            std::cerr << "glyptor-icons: cannot read " << Printable(prefix + names[i]) << "\n";
            readable = false;
        }
        if (count > 0 || everyFile) {
            line.clear();
            line += std::to_string(std::max(0, count));
            line += '\t';
            AppendPrintable(line, prefix);
            AppendPrintable(line, names[i]);
            line += '\n';
            std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
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

// The non-empty lines of `in`, read in large parts: taken a line at a time, the standard
// input (kept in step with C's) costs a call per byte.
std::vector<std::string> ReadLines(std::istream& in) {
    std::vector<std::string> lines;
    std::string line;
    std::vector<char> buffer(64 * 1024);
    for (std::streamsize got;
         (got = in.rdbuf()->sgetn(buffer.data(), static_cast<std::streamsize>(buffer.size()))) >
         0;) {
        std::string_view rest(buffer.data(), static_cast<std::size_t>(got));
        for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;
             rest.remove_prefix(end + 1)) {
            line.append(rest.substr(0, end));
            if (!line.empty()) {
                lines.push_back(std::move(line));
                line.clear();
            }
        }
        line.append(rest);
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace

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
        paths = ReadLines(std::cin);
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

} // namespace glyptor::tools
