// Group .ico files and PNG export against icoutils on Wine's genuine PE modules: every icon
// group we rebuild equals what `wrestool -x --type=14` writes for it, and the PNG of the largest
// image equals icotool's extraction of that image, alpha included. Skips when the modules or
// the tools are absent.
#include "export/IconGroup.h"
#include "export/IconPng.h"
#include "platform/icons/IconSource.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <stdlib.h>

namespace glyptor {
namespace {

namespace fs = std::filesystem;
using icons::Bytes;

const char* const kFolders[] = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                                "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
                                "/usr/lib/i386-linux-gnu/wine/i386-windows"};

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char ch : text) {
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    }
    return quoted + "'";
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> ModulesWithIcons() {
    std::vector<std::string> found;
    for (const char* folder : kFolders) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file(error) && icons::IconCount(it->path().string()) > 0) {
                found.push_back(it->path().string());
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/glyptor-oracle-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~Scratch() {
        std::error_code error;
        fs::remove_all(path, error);
    }
    fs::path path;
};

// The largest image of the group, the deepest among equals: the one a PNG of the icon's
// largest size is made from without scaling.
std::size_t LargestImage(const icongroup::IconGroupInfo& group) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < group.images.size(); ++i) {
        const auto& a = group.images[i];
        const auto& b = group.images[best];
        if (a.width * a.height > b.width * b.height ||
            (a.width * a.height == b.width * b.height && a.bitCount > b.bitCount)) {
            best = i;
        }
    }
    return best;
}

TEST(IconGroupOracle, GroupsEqualWrestoolAndLargestPngEqualsIcotool) {
    const auto modules = ModulesWithIcons();
    if (modules.empty() || !HaveTool("wrestool") || !HaveTool("icotool")) {
        GTEST_SKIP() << "no Wine modules (install wine64) or no icoutils";
    }
    ::setenv("LC_ALL", "C.UTF-8", 1);
    Scratch scratch;
    const fs::path ours = scratch.path / "ours.ico";
    const fs::path theirs = scratch.path / "theirs.ico";
    const fs::path png = scratch.path / "icotool.png";
    int groups = 0;
    for (const auto& file : modules) {
        const int count = icons::IconCount(file);
        for (int index = 0; index < count; ++index) {
            SCOPED_TRACE(file + " #" + std::to_string(index));
            const auto group = icongroup::ReadIconGroup(file, index);
            ASSERT_TRUE(group && group->hasKey);
            const auto bytes = icongroup::BuildGroupIconFile(file, index);
            ASSERT_TRUE(bytes);
            const std::string name = group->named ? group->name : std::to_string(group->id);
            fs::remove(theirs);
            std::system(("wrestool -x --type=14 --name=" + Quote(name) +
                         " --language=" + std::to_string(group->language) + " -o " +
                         Quote(theirs.string()) + " " + Quote(file) + " 2>/dev/null")
                            .c_str());
            const Bytes expected = ReadAll(theirs);
            if (expected.empty()) {
                continue; // wrestool could not take this group apart
            }
            // wrestool follows the last image with as many bytes of uninitialised memory as
            // the group directory resource has; everything before them must be equal.
            ASSERT_EQ(expected.size(), bytes->size() + group->groupBytes);
            ASSERT_TRUE(std::equal(bytes->begin(), bytes->end(), expected.begin()));
            ++groups;

            const std::size_t largest = LargestImage(*group);
            std::ofstream(ours, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes->data()),
                       static_cast<std::streamsize>(bytes->size()));
            fs::remove(png);
            std::system(("icotool -x -i " + std::to_string(largest + 1) + " -o " +
                         Quote(png.string()) + " " + Quote(ours.string()) + " 2>/dev/null")
                            .c_str());
            const QImage reference =
                QImage(QString::fromStdString(png.string())).convertToFormat(QImage::Format_ARGB32);
            ASSERT_FALSE(reference.isNull());
            const auto rendered = iconpng::RenderPng(file, index);
            ASSERT_TRUE(rendered);
            const QImage picture =
                QImage::fromData(rendered->data(), static_cast<int>(rendered->size()), "PNG")
                    .convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(picture.size(), reference.size());
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x) {
                    ASSERT_EQ(picture.pixel(x, y), reference.pixel(x, y)) << x << "," << y;
                }
            }
        }
    }
    EXPECT_GT(groups, 0);
    std::cout << "[ oracle   ] " << groups << " groups of " << modules.size()
              << " modules equal wrestool's\n";
}

} // namespace
} // namespace glyptor
