// The commands of glyptor-zip that change an archive: a (add or replace an entry) and d (delete
// entries). The archive is rebuilt in memory by the component's writer and then replaces the
// file through a temporary file in the same folder and a rename, so a failure at any point
// leaves the old archive intact. check-theme, for theme authors, reads a theme archive the way
// the program's skin code will and reports what would fail or be left out.
#include "Commands.h"

#include "archive/ZipErrors.h"
#include "archive/ZipWriter.h"
#include "formats/DibHeader.h"
#include "theme/gy3Store.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace glyptor::tools {

using namespace glyptor::archive;
using glyptor::DecodeThemeBitmap;
using glyptor::ParseLayoutInteger;
using glyptor::Tgy3Store;
using glyptor::TStringList;

namespace {

int Fail(const std::string& message) {
    std::cerr << "glyptor-zip: " << message << '\n';
    return 1;
}

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// The temporary file of a rewrite in progress, for the signal handler to remove. These stay at
// namespace scope because a signal handler is given nothing but the signal number; the name is
// a fixed buffer, since the handler may only read memory that is never reallocated.
char PendingTemp[4096] = {};
volatile sig_atomic_t HavePendingTemp = 0;

void RemovePendingTempAndDie(int signal) {
    if (HavePendingTemp)
        unlink(PendingTemp);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The file a path names: a symbolic link is followed to its target, so that updating an
// archive through a link updates the archive and keeps the link.
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        throw std::runtime_error(SystemError("cannot follow the link", path));
    std::string target = real;
    std::free(real);
    return target;
}

// Writes bytes to a new file beside path and renames it over path; the old file stays as it
// was unless the rename itself succeeds. An existing file keeps its permissions.
void ReplaceFile(const std::string& linkPath, const std::vector<uint8_t>& bytes) {
    namespace fs = std::filesystem;
    const std::string path = ResolvedTarget(linkPath);
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    if (temp.size() >= sizeof PendingTemp)
        throw std::runtime_error("path too long: " + path);
    // Signals that end the process would leave the temporary file behind: they remove it
    // first. (A file size limit ends nothing: main ignores SIGXFSZ, and the write fails.)
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signal, RemovePendingTempAndDie);
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        throw std::runtime_error(SystemError("cannot create a temporary file for", path));
    std::memcpy(PendingTemp, temp.c_str(), temp.size() + 1);
    HavePendingTemp = 1;
    const auto forget = [&temp] {
        unlink(temp.c_str());
        HavePendingTemp = 0;
    };
    try {
        struct stat old {};
        const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error(SystemError("cannot write", temp));
            done += static_cast<size_t>(n);
        }
        if (fchmod(fd, mode) != 0 || fsync(fd) != 0)
            throw std::runtime_error(SystemError("cannot finish", temp));
        if (close(fd) != 0) {
            forget();
            throw std::runtime_error(SystemError("cannot finish", temp));
        }
    } catch (...) {
        close(fd);
        forget();
        throw;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const std::string message = SystemError("cannot replace", path);
        forget();
        throw std::runtime_error(message);
    }
    HavePendingTemp = 0;
}

std::unique_ptr<TZipWriter> OpenWriter(const std::string& path, bool mayBeNew) {
    auto writer = std::make_unique<TZipWriter>();
    std::vector<uint8_t> bytes;
    if (!mayBeNew || std::filesystem::exists(path))
        bytes = ReadWholeFile(path);
    writer->SetArchiveStream(std::make_unique<TMemoryStream>(std::move(bytes)));
    writer->DoProcessMessages = false;
    return writer;
}

std::vector<uint8_t> ArchiveBytes(const TZipWriter& writer) {
    return static_cast<const TMemoryStream*>(writer.ArchiveStream())->Data();
}

// Takes "-0" .. "-9" out of args; returns the last level given, or -1.
int TakeLevelOption(std::vector<std::string>& args) {
    int level = -1;
    for (size_t i = 0; i < args.size();) {
        const std::string& a = args[i];
        if (a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '9') {
            level = a[1] - '0';
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return level;
}

int RunAdd(std::vector<std::string> args) {
    std::string password;
    TakePasswordOption(args, password);
    const int level = TakeLevelOption(args);
    if (args.size() != 2 && args.size() != 3)
        return Fail("a needs an archive, an entry name and optionally a file or -");
    const std::string& archivePath = args[0];
    const std::string& name = args[1];
    const std::string source = args.size() == 3 ? args[2] : name;
    try {
        std::vector<uint8_t> data;
        if (source == "-") {
            data = ReadCapped(STDIN_FILENO, "standard input");
        } else {
            data = ReadWholeFile(source);
        }
        auto writer = OpenWriter(archivePath, true);
        writer->Password = password;
        if (level >= 0)
            writer->PackLevel = level;
        TMemoryStream input(std::move(data));
        if (writer->AddFromStream(input, name) != 1)
            return Fail(archivePath + ": " + name + " was not added");
        ReplaceFile(archivePath, ArchiveBytes(*writer));
        return 0;
    } catch (const std::exception& error) {
        return Fail(archivePath + ": " + error.what());
    }
}

int RunDelete(std::vector<std::string> args) {
    if (args.size() < 2)
        return Fail("d needs an archive and at least one name or pattern");
    const std::string archivePath = args[0];
    try {
        auto writer = OpenWriter(archivePath, false);
        writer->ReadDirectory();
        const int before = writer->EntryCount();
        writer->FilesList.assign(args.begin() + 1, args.end());
        writer->DeleteListed();
        const int deleted = before - writer->EntryCount();
        if (deleted == 0)
            return Fail(archivePath + ": no entry matches; archive left unchanged");
        ReplaceFile(archivePath, ArchiveBytes(*writer));
        std::printf("%d %s deleted\n", deleted, deleted == 1 ? "entry" : "entries");
        return 0;
    } catch (const std::exception& error) {
        return Fail(archivePath + ": " + error.what());
    }
}

// Theme checks -------------------------------------------------------------------------------

// Entry names as the theme store compares them: trimmed of control characters and blanks,
// upper-cased in ASCII only.
std::string NormalisedName(const std::string& name) {
    size_t first = 0;
    size_t last = name.size();
    while (first < last && static_cast<unsigned char>(name[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(name[last - 1]) <= 32)
        --last;
    std::string result = name.substr(first, last - first);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return result;
}

// Why the bytes would not decode as the BMP file the skin code expects; empty when they would.
// The store decides with the same validator, so the report and the skin agree.
std::string BitmapProblem(const std::vector<uint8_t>& bmp) {
    using glyptor::formats::DibRefusal;
    const auto check =
        glyptor::formats::CheckBitmapFile(bmp, bmp.size(), glyptor::formats::DibUse::ThemePicture);
    const auto& why = check.problem;
    switch (why.kind) {
    case DibRefusal::None:
        return "";
    case DibRefusal::HeaderSize:
        return "bitmap header of " + std::to_string(why.value) + " bytes";
    case DibRefusal::Compression:
        return "compression " + std::to_string(why.value) + " is not supported";
    case DibRefusal::Depth:
        return std::to_string(why.value) + " bits per pixel";
    default:
        return glyptor::formats::DescribeDibRefusal(why.kind);
    }
}

struct TThemeReport {
    int Errors = 0;
    int Warnings = 0;
    void Error(const std::string& text) {
        ++Errors;
        std::printf("ERROR   %s\n", text.c_str());
    }
    void Warning(const std::string& text) {
        ++Warnings;
        std::printf("WARNING %s\n", text.c_str());
    }
    void Ok(const std::string& text) { std::printf("OK      %s\n", text.c_str()); }
};

void CheckLayout(const Tgy3Store& store, TThemeReport& report) {
    if (!store.EntryExists("gy3layout.txt")) {
        report.Error("gy3layout.txt is missing from the top level: the theme fails at panel.color");
        return;
    }
    const TStringList* layout = store.Layout();
    if (!layout || layout->empty())
        report.Warning("gy3layout.txt is empty or does not extract intact");
    const auto valueOf = [layout](const std::string& key) -> std::optional<std::string> {
        if (!layout)
            return std::nullopt;
        for (const std::string& l : *layout) {
            const size_t equals = l.find('=');
            // Keys match without regard to case, and nothing around them is trimmed.
            if (equals != std::string::npos && LowerAscii(l.substr(0, equals)) == key)
                return l.substr(equals + 1);
        }
        return std::nullopt;
    };
    static const char* const integerKeys[] = {
        "panel.color",           "browser.color",      "iconbox.color",    "splitter.color",
        "statuslabel.fontcolor", "browser.fontcolor",  "browser.fontsize", "iconbox.3d",
        "panelright.width",      "panelbottom.height", "paneltop.height"};
    for (const char* key : integerKeys) {
        const auto value = valueOf(key);
        int32_t number = 0;
        if (!value)
            report.Error(std::string(key) + " is missing: '' is not a valid integer value");
        else if (!ParseLayoutInteger(*value, number))
            report.Error(std::string(key) + ": '" + Printable(*value) +
                         "' is not a valid integer value");
        else
            report.Ok(std::string(key) + "=" + Printable(*value));
    }
    const auto font = valueOf("browser.fontname");
    if (!font)
        report.Warning("browser.fontname is missing: the folder tree gets an empty font name");
    else
        report.Ok("browser.fontname=" + Printable(*font));
}

void CheckPictures(Tgy3Store& store, TThemeReport& report) {
    static const char* const keys[] = {
        "gy_tool1",    "gy_tool2",  "gy_tool3",  "gy_tool4",  "gy_max",   "gy_min",
        "gy_logo",     "gy_title1", "gy_title2", "gy_tile1",  "gy_tile2", "gy_options1",
        "gy_options2", "gy_scan1",  "gy_scan2",  "gy_tools1", "gy_exit1", "gy_exit2",
        "gy_resize1",  "gy_about1", "gy_about2", "gy_www1",   "gy_www2"};
    for (const char* key : keys) {
        const std::string wanted = NormalisedName(key);
        // The store answers with the key itself when no entry contains it.
        const std::string name = store.FindEntryName(key);
        if (!store.EntryExists(name)) {
            report.Warning(std::string(key) + ": no entry, the picture stays as it was");
            continue;
        }
        const std::string shown = Printable(name);
        const std::string upper = NormalisedName(name);
        const size_t dot = upper.find_last_of('.');
        const size_t slash = upper.find_last_of("\\:");
        const std::string extension =
            dot == std::string::npos || (slash != std::string::npos && dot < slash)
                ? ""
                : upper.substr(dot);
        if (extension != ".BMP") {
            report.Warning(std::string(key) + ": " + shown + " is no .bmp entry and is not used");
            continue;
        }
        const std::string stem = upper.substr(slash == std::string::npos ? 0 : slash + 1);
        if (stem != wanted + ".BMP")
            report.Warning(std::string(key) + " resolves to " + shown +
                           ", the first entry whose name contains it");
        // The bytes come from the store's own bounded extraction, and are judged by its own
        // decoder, so the checker accepts exactly what the program will show.
        TMemoryStream stream;
        try {
            store.ReadStream(name, &stream);
        } catch (const std::exception& error) {
            report.Error(std::string(key) + ": " + shown + ": " + error.what());
            continue;
        }
        const std::vector<uint8_t>& bytes = stream.Data();
        if (bytes.empty()) {
            report.Warning(std::string(key) + ": " + shown +
                           " is empty or does not extract intact, and empties the picture");
            continue;
        }
        try {
            DecodeThemeBitmap(bytes);
            report.Ok(std::string(key) + ": " + shown);
        } catch (const std::exception& error) {
            const std::string problem = BitmapProblem(bytes);
            report.Error(std::string(key) + ": " + shown + ": " + error.what() +
                         (problem.empty() ? "" : " (" + problem + ")"));
        }
    }
}

int RunCheckTheme(std::vector<std::string> args) {
    // The program has no password for themes, so an encrypted entry fails here as it would
    // there; the option is accepted and has no effect.
    std::string password;
    TakePasswordOption(args, password);
    if (args.size() != 1)
        return Fail("check-theme needs one theme archive");
    Tgy3Store store;
    try {
        store.SetThemeFile(args[0]);
    } catch (const std::exception& error) {
        return Fail(args[0] + ": the program cannot open this theme: " + error.what());
    }
    try {
        TThemeReport report;
        // Two entries of one name make every later update of the archive fail.
        std::vector<std::string> names;
        for (const std::string& name : store.EntryNames())
            names.push_back(LowerAscii(name));
        std::sort(names.begin(), names.end());
        for (size_t i = 1; i < names.size(); ++i)
            if (names[i] == names[i - 1] && (i + 1 == names.size() || names[i + 1] != names[i]))
                report.Warning("more than one entry named " + Printable(names[i]) +
                               ": the archive cannot be updated");
        CheckLayout(store, report);
        CheckPictures(store, report);
        std::printf("%d errors, %d warnings\n", report.Errors, report.Warnings);
        return report.Errors == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        return Fail(args[0] + ": " + error.what());
    }
}

} // namespace

int RunUpdateCommand(const std::string& cmd, std::vector<std::string> args) {
    if (cmd == "a")
        return RunAdd(std::move(args));
    if (cmd == "d")
        return RunDelete(std::move(args));
    if (cmd == "check-theme")
        return RunCheckTheme(std::move(args));
    return -1;
}

} // namespace glyptor::tools
