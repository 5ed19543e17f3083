// The reading commands of glyptor-zip: l (list), t (test) and p (print).
#include "Commands.h"

#include "archive/ZipErrors.h"
#include "archive/ZipReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace glyptor::tools {

using namespace glyptor::archive;

namespace {

// A stream that only counts what is written, so testing needs no memory for the data.
class TCountingStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        Written += count;
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return Written; }
    int64_t Size() const override { return Written; }
    void SetSize(int64_t) override {}
    int64_t Written = 0;
};

// Standard output as a stream.
class TStdoutStream : public TCountingStream {
public:
    int64_t Write(const void* buffer, int64_t count) override {
        size_t n = std::fwrite(buffer, 1, static_cast<size_t>(count), stdout);
        Written += static_cast<int64_t>(n);
        return static_cast<int64_t>(n);
    }
};

std::string MethodName(uint16_t method) {
    static const char* const names[] = {"Stored",   "Shrunk",   "Reduced1",  "Reduced2", "Reduced3",
                                        "Reduced4", "Imploded", "Tokenized", "Deflated"};
    return method < 9 ? names[method] : "Method" + std::to_string(method);
}

std::string DosDate(uint32_t dos) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980 + (dos >> 25),
                  (dos >> 21) & 15, (dos >> 16) & 31, (dos >> 11) & 31, (dos >> 5) & 63);
    return text;
}

// Opens the archive named by args[0] with its directory read; the caller checks args first.
std::unique_ptr<TZipReader> OpenReader(const std::string& path, const std::string& password) {
    auto reader = std::make_unique<TZipReader>();
    auto bytes = ReadWholeFile(path);
    reader->SetArchiveStream(std::make_unique<TMemoryStream>(std::move(bytes)));
    reader->Password = password;
    reader->ReadDirectory();
    return reader;
}

int Fail(const std::string& message) {
    std::cerr << "glyptor-zip: " << message << '\n';
    return 1;
}

} // namespace

bool TakePasswordOption(std::vector<std::string>& args, std::string& password) {
    bool found = false;
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "-P" && i + 1 < args.size()) {
            password = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    // Only a regular file is read, and it must still be one once it is open: a FIFO would block
    // and a device would never end. O_NONBLOCK keeps the open itself from blocking on a FIFO.
    struct stat before {};
    if (stat(path.c_str(), &before) != 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(before.st_mode))
        throw std::runtime_error(path + " is not a regular file");
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    try {
        struct stat after {};
        if (fstat(fd, &after) != 0 || !S_ISREG(after.st_mode) || after.st_dev != before.st_dev ||
            after.st_ino != before.st_ino)
            throw std::runtime_error(path + " is not a regular file");
        bytes = ReadCapped(fd, path);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
    return bytes;
}

std::vector<uint8_t> ReadCapped(int fd, const std::string& shownName) {
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            throw std::runtime_error("cannot read " + shownName + ": " + std::strerror(errno));
        }
        if (n == 0)
            return bytes;
        if (static_cast<int64_t>(bytes.size()) + n > MaxInputSize)
            throw std::runtime_error(shownName + " is larger than " + std::to_string(MaxInputSize) +
                                     " bytes");
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

std::string Printable(const std::string& name) {
    std::string out;
    char code[8];
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        // C1 controls of UTF-8 names come as C2 80 .. C2 9F.
        const bool c1 = c == 0xC2 && i + 1 < name.size() &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        } else if (c1) {
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned char>(name[++i]));
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

int RunList(std::vector<std::string> args) {
    std::string password;
    TakePasswordOption(args, password);
    if (args.size() != 1)
        return Fail("l needs one archive");
    try {
        auto reader = OpenReader(args[0], password);
        std::printf("%-9s %10s %10s %-8s %-16s %s\n", "Method", "Packed", "Size", "CRC-32",
                    "Modified", "Name");
        for (int i = 0; i < reader->EntryCount(); ++i) {
            const TZipHeaderInfo& e = reader->Entry(i);
            std::printf("%-9s %10u %10u %08x %-16s %s%s\n", MethodName(e.CompressionMethod).c_str(),
                        static_cast<uint32_t>(e.CompressedSize),
                        static_cast<uint32_t>(e.UncompressedSize), e.Crc32,
                        DosDate(e.ModifiedDateTime).c_str(), Printable(e.FullName()).c_str(),
                        (e.Flags & FlagEncrypted) ? " (encrypted)" : "");
        }
        std::printf("%d entries%s\n", reader->EntryCount(),
                    reader->Rebuilt() ? " (rebuilt from local headers)" : "");
        return 0;
    } catch (const std::exception& error) {
        return Fail(args[0] + ": " + error.what());
    }
}

int RunTest(std::vector<std::string> args) {
    std::string password;
    TakePasswordOption(args, password);
    if (args.size() != 1)
        return Fail("t needs one archive");
    std::unique_ptr<TZipReader> reader;
    try {
        reader = OpenReader(args[0], password);
    } catch (const std::exception& error) {
        return Fail(args[0] + ": " + error.what());
    }
    int count = reader->EntryCount();
    std::vector<std::string> verdict(static_cast<size_t>(count));
    int current = -1;
    int resumeAfter = -1;
    reader->DoAll = true;
    reader->OnStartUnZip = [&](TZipReader*, int index, const std::string&, bool& skip) {
        skip = index <= resumeAfter;
        if (!skip)
            current = index;
    };
    reader->OnEndUnZip = [&](TZipReader*, int index, const std::string&) {
        if (verdict[static_cast<size_t>(index)].empty())
            verdict[static_cast<size_t>(index)] = "OK";
    };
    reader->OnBadCRC = [&](TZipReader* sender, uint32_t, uint32_t, int index) {
        if (verdict[static_cast<size_t>(index)].empty())
            verdict[static_cast<size_t>(index)] = sender->EntryProblem();
    };
    reader->OnSkippingFile = [&](TZipReader*, TSkipReason, int index) {
        verdict[static_cast<size_t>(index)] = "wrong password";
    };
    reader->UserInterface.MessageBox = [&](const std::string& text, const std::string&) {
        if (current >= 0)
            verdict[static_cast<size_t>(current)] = text;
    };
    // An error that ends the call marks the entry being read and the run resumes after it.
    for (;;) {
        TCountingStream sink;
        try {
            reader->ExtractToStream(sink, "*");
            break;
        } catch (const std::exception& error) {
            if (current < 0 || current <= resumeAfter) {
                return Fail(args[0] + ": " + error.what());
            }
            verdict[static_cast<size_t>(current)] = error.what();
            resumeAfter = current;
        }
    }
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const std::string& v = verdict[static_cast<size_t>(i)];
        bool ok = v == "OK";
        failed += !ok;
        std::printf("%-6s %s%s%s\n", ok ? "OK" : "FAILED", Printable(reader->EntryName(i)).c_str(),
                    ok ? "" : ": ", ok ? "" : (v.empty() ? "not extracted" : v.c_str()));
    }
    std::printf("%d entries tested, %d failed\n", count, failed);
    return failed == 0 ? 0 : 1;
}

int RunPrint(std::vector<std::string> args) {
    std::string password;
    TakePasswordOption(args, password);
    if (args.size() != 2)
        return Fail("p needs an archive and an entry name");
    try {
        auto reader = OpenReader(args[0], password);
        TStdoutStream out;
        int count = reader->ExtractToStream(out, args[1]);
        std::fflush(stdout);
        if (count <= 0)
            return Fail("no intact entry matches " + Printable(args[1]));
        return 0;
    } catch (const std::exception& error) {
        return Fail(args[0] + ": " + error.what());
    }
}

} // namespace glyptor::tools
