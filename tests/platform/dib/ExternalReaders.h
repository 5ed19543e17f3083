// Independent readers of the files our writers produce: ImageMagick, Python's PIL and icoutils,
// run as separate programs. Each is optional; tests skip with a message when one is missing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace glyptor::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "glyptor-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

// Runs a shell command, capturing standard output (standard error goes to the test log).
inline CommandResult Run(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture as a reader decoded it: 0xAARRGGBB, rows top to bottom.
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;

    std::uint32_t At(int x, int y) const {
        return argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)];
    }
};

inline std::vector<std::uint32_t> FromRgba(const std::string& bytes) {
    std::vector<std::uint32_t> argb(bytes.size() / 4);
    for (std::size_t i = 0; i < argb.size(); ++i) {
        const auto byte = [&](std::size_t k) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i * 4 + k]));
        };
        argb[i] = byte(3) << 24 | byte(0) << 16 | byte(1) << 8 | byte(2);
    }
    return argb;
}

inline bool HaveCommand(const std::string& name) {
    return Run("command -v " + name + " >/dev/null 2>&1").exitCode == 0;
}

inline bool HaveImageMagick() {
    return HaveCommand("convert") && HaveCommand("identify");
}

// The first image of the file through ImageMagick, as 8-bit RGBA.
inline std::optional<DecodedImage> ReadWithImageMagick(const std::string& path) {
    const std::string source = Quote(path + "[0]");
    const CommandResult size = Run("identify -format '%w %h' " + source);
    DecodedImage image;
    std::istringstream sizes(size.output);
    if (size.exitCode != 0 || !(sizes >> image.width >> image.height)) {
        return std::nullopt;
    }
    const CommandResult pixels = Run("convert " + source + " -depth 8 rgba:-");
    if (pixels.exitCode != 0 ||
        pixels.output.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        return std::nullopt;
    }
    image.argb = FromRgba(pixels.output);
    return image;
}

// A Python interpreter that has PIL, or empty.
inline std::string PythonWithPil() {
    static const std::string found = [] {
        for (const char* candidate : {"python3", "/usr/bin/python3"}) {
            if (Run(std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1").exitCode == 0) {
                return std::string(candidate);
            }
        }
        return std::string();
    }();
    return found;
}

// The file through PIL (for icon files, the largest image), as RGBA.
inline std::optional<DecodedImage> ReadWithPil(const std::string& path) {
    const std::string script = "import sys\n"
                               "from PIL import Image\n"
                               "im = Image.open(sys.argv[1])\n"
                               "im.load()\n"
                               "im = im.convert('RGBA')\n"
                               "sys.stdout.write('%d %d\\n' % im.size)\n"
                               "sys.stdout.flush()\n"
                               "sys.stdout.buffer.write(im.tobytes())\n";
    const CommandResult result = Run(PythonWithPil() + " -c " + Quote(script) + " " + Quote(path));
    const std::size_t newline = result.output.find('\n');
    DecodedImage image;
    std::istringstream sizes(result.output.substr(0, newline));
    if (result.exitCode != 0 || newline == std::string::npos ||
        !(sizes >> image.width >> image.height)) {
        return std::nullopt;
    }
    const std::string pixels = result.output.substr(newline + 1);
    if (pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        return std::nullopt;
    }
    image.argb = FromRgba(pixels);
    return image;
}

} // namespace glyptor::testing
