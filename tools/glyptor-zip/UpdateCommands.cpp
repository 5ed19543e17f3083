// The commands of glyptor-zip that change an archive: a (add or replace an entry) and d (delete
// entries). The archive is rebuilt in memory by the component's writer and then replaces the
// file through a temporary file in the same folder and a rename, so a failure at any point
// leaves the old archive intact.
#include "Commands.h"

#include "archive/ZipErrors.h"
#include "archive/ZipWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace glyptor::tools {

using namespace glyptor::archive;

namespace {

int Fail(const std::string& message) {
    std::cerr << "glyptor-zip: " << message << '\n';
    return 1;
}

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Writes bytes to a new file beside path and renames it over path; the old file stays as it
// was unless the rename itself succeeds. An existing file keeps its permissions.
void ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        throw std::runtime_error(SystemError("cannot create a temporary file for", path));
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
            unlink(temp.c_str());
            throw std::runtime_error(SystemError("cannot finish", temp));
        }
    } catch (...) {
        close(fd);
        unlink(temp.c_str());
        throw;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const std::string message = SystemError("cannot replace", path);
        unlink(temp.c_str());
        throw std::runtime_error(message);
    }
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
            std::cin >> std::noskipws;
            data.assign(std::istreambuf_iterator<char>(std::cin), {});
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

} // namespace

int RunUpdateCommand(const std::string& cmd, std::vector<std::string> args) {
    if (cmd == "a")
        return RunAdd(std::move(args));
    if (cmd == "d")
        return RunDelete(std::move(args));
    return -1;
}

} // namespace glyptor::tools
