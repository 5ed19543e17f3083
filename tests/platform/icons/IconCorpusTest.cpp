// The icon source against genuine Windows files installed from Debian packages (Wine's PE
// modules, the NSIS stubs), with icoutils as the independent reader: counts equal wrestool's
// list of group icons, each extracted icon is made of exactly the images wrestool finds in the
// group, and our DIB decoder agrees with icotool's. Skips when the files or tools are absent.
#include "IconFileBuilder.h"
#include "platform/icons/IconDecode.h"
#include "platform/icons/IconSource.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace glyptor::icons {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> CorpusFolders() {
    if (const char* env = std::getenv("GLYPTOR_ICON_CORPUS")) {
        std::vector<std::string> folders;
        std::stringstream list(env);
        for (std::string folder; std::getline(list, folder, ':');) {
            folders.push_back(folder);
        }
        return folders;
    }
    return {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
            "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
            "/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/share/nsis/Stubs"};
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Regular files of the corpus folders that start like a Windows module.
const std::vector<std::string>& CorpusFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> found;
        for (const auto& folder : CorpusFolders()) {
            std::error_code error;
            for (fs::directory_iterator it(folder, error), end; !error && it != end;
                 it.increment(error)) {
                if (!it->is_regular_file(error)) {
                    continue;
                }
                std::ifstream in(it->path(), std::ios::binary);
                char magic[2] = {};
                if (in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z') {
                    found.push_back(it->path().string());
                }
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }();
    return files;
}

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

class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/glyptor-corpus-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~Scratch() {
        std::error_code error;
        fs::remove_all(path, error);
    }
    fs::path path;
};

struct GroupName {
    std::string name;
    std::string language;
};

// The icon groups wrestool lists, one per name (a name in several languages is one group).
std::vector<GroupName> WrestoolGroups(const std::string& file, const fs::path& scratch) {
    const fs::path out = scratch / "list.txt";
    std::system(
        ("wrestool -l --type=14 " + Quote(file) + " > " + out.string() + " 2>/dev/null").c_str());
    std::vector<GroupName> groups;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto nameAt = line.find("--name=");
        const auto langAt = line.find(" --language=");
        if (nameAt == std::string::npos || langAt == std::string::npos) {
            continue;
        }
        std::string name = line.substr(nameAt + 7, langAt - nameAt - 7);
        if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'') {
            name = name.substr(1, name.size() - 2);
        }
        const auto langEnd = line.find(' ', langAt + 12);
        const std::string language = line.substr(langAt + 12, langEnd - langAt - 12);
        if (std::none_of(groups.begin(), groups.end(),
                         [&](const GroupName& g) { return g.name == name; })) {
            groups.push_back({name, language});
        }
    }
    return groups;
}

TEST(IconCorpus, CountsEqualWrestoolsGroupIcons) {
    if (CorpusFiles().empty() || !HaveTool("wrestool")) {
        GTEST_SKIP() << "no Windows modules (install wine64 and nsis) or no wrestool (icoutils)";
    }
    Scratch scratch;
    int withIcons = 0;
    for (const auto& file : CorpusFiles()) {
        const auto groups = WrestoolGroups(file, scratch.path);
        EXPECT_EQ(IconCount(file), static_cast<int>(groups.size())) << file;
        withIcons += groups.empty() ? 0 : 1;
    }
    std::cout << CorpusFiles().size() << " modules, " << withIcons << " with icons\n";
}

// Group directory entries: the RT_ICON ids a raw RT_GROUP_ICON resource names.
std::vector<std::uint16_t> GroupIds(const Bytes& group) {
    std::vector<std::uint16_t> ids;
    if (group.size() < 6) {
        return ids;
    }
    const std::size_t count = group[4] | group[5] << 8;
    for (std::size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        const std::size_t at = 6 + 14 * i + 12;
        ids.push_back(static_cast<std::uint16_t>(group[at] | group[at + 1] << 8));
    }
    return ids;
}

// The file wrestool wrote for one resource: BASE_TYPE_NAME, with _LANGUAGE when the language is
// not the default one, and .ico for a group.
std::optional<fs::path> FindRaw(const fs::path& folder, const std::string& prefix) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name == prefix || (name.size() > prefix.size() && name.rfind(prefix, 0) == 0 &&
                               (name[prefix.size()] == '.' || name[prefix.size()] == '_'))) {
            return entry.path();
        }
    }
    return std::nullopt;
}

bool SamePixels(const IconImage& a, const IconImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels && a.mask == b.mask &&
           a.monochrome == b.monochrome;
}

TEST(IconCorpus, IconsAreMadeOfTheImagesWrestoolFindsInTheGroup) {
    if (CorpusFiles().empty() || !HaveTool("wrestool")) {
        GTEST_SKIP() << "no Windows modules (install wine64 and nsis) or no wrestool (icoutils)";
    }
    int compared = 0;
    for (const auto& file : CorpusFiles()) {
        Scratch scratch;
        const auto groups = WrestoolGroups(file, scratch.path);
        if (groups.empty()) {
            continue;
        }
        const fs::path raw = scratch.path / "raw";
        fs::create_directories(raw);
        for (const char* type : {"3", "14"}) {
            std::system(("wrestool -x --raw --type=" + std::string(type) + " -o " + raw.string() +
                         " " + Quote(file) + " 2>/dev/null")
                            .c_str());
        }
        const std::string base = fs::path(file).filename().string();
        // Every group of small modules; a sample of the big ones keeps the run short.
        const std::size_t step = groups.size() > 24 ? groups.size() / 12 : 1;
        for (std::size_t g = 0; g < groups.size(); g += step) {
            SCOPED_TRACE(file + " group " + groups[g].name);
            const auto groupFile = FindRaw(raw, base + "_14_" + groups[g].name);
            ASSERT_TRUE(groupFile);
            std::vector<ImageCandidate> candidates;
            std::vector<Bytes> images;
            for (const auto id : GroupIds(ReadAll(*groupFile))) {
                const auto iconFile = FindRaw(raw, base + "_3_" + std::to_string(id));
                if (!iconFile) {
                    continue;
                }
                images.push_back(ReadAll(*iconFile));
                const auto& bytes = images.back();
                const auto info =
                    ProbeIconImage(std::span(bytes).first(std::min(bytes.size(), kIconProbeBytes)));
                if (info) {
                    candidates.push_back({*info, {}});
                } else {
                    images.pop_back();
                }
            }
            std::optional<IconImage> expected;
            for (const auto i : RankForSize(candidates, kStandardIconSize)) {
                if (auto image = DecodeIconImage(images[i])) {
                    expected =
                        image->width == kStandardIconSize && image->height == kStandardIconSize
                            ? *image
                            : ScaleIcon(*image, kStandardIconSize);
                    break;
                }
            }
            const auto actual = ExtractIcon(file, static_cast<int>(g));
            ASSERT_EQ(actual.has_value(), expected.has_value());
            if (actual) {
                EXPECT_TRUE(SamePixels(*actual, *expected));
                ++compared;
            }
        }
    }
    std::cout << compared << " icons compared\n";
    EXPECT_GT(compared, 0);
}

TEST(IconCorpus, DecoderAgreesWithIcotool) {
    if (CorpusFiles().empty() || !HaveTool("wrestool") || !HaveTool("icotool")) {
        GTEST_SKIP() << "no Windows modules or no icoutils";
    }
    Scratch scratch;
    std::map<int, int> comparedByDepth;
    for (const auto& file : CorpusFiles()) {
        if (IconCount(file) < 1) {
            continue;
        }
        // Every icon image of the module, alone in a fresh .ico that icotool decodes.
        const fs::path raw = scratch.path / "raw";
        fs::remove_all(raw);
        fs::create_directories(raw);
        std::system(
            ("wrestool -x --raw --type=3 -o " + raw.string() + " " + Quote(file) + " 2>/dev/null")
                .c_str());
        for (const auto& entry : fs::directory_iterator(raw)) {
            const Bytes bytes = ReadAll(entry.path());
            const auto ours = DecodeIconImage(bytes);
            const auto info =
                ProbeIconImage(std::span(bytes).first(std::min(bytes.size(), kIconProbeBytes)));
            if (!ours || !info || info->png || comparedByDepth[info->bitCount] >= 40) {
                continue;
            }
            const fs::path ico = scratch.path / "one.ico";
            const fs::path png = scratch.path / "one.png";
            fs::remove(png);
            const Bytes icoBytes = testing::MakeIco({bytes});
            std::ofstream(ico, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(icoBytes.data()),
                       static_cast<std::streamsize>(icoBytes.size()));
            std::system(
                ("icotool -x -o " + png.string() + " " + ico.string() + " 2>/dev/null").c_str());
            QImage reference(QString::fromStdString(png.string()));
            if (reference.isNull()) {
                continue; // icotool refuses some images (for example a short AND mask)
            }
            reference = reference.convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(reference.width(), ours->width) << entry.path();
            for (int y = 0; y < ours->height; ++y) {
                for (int x = 0; x < ours->width; ++x) {
                    const std::uint32_t want = reference.pixel(x, y);
                    const std::uint32_t got =
                        ours->pixels[static_cast<std::size_t>(y) * ours->width + x];
                    // Fully transparent pixels may keep any colour.
                    if ((want >> 24) == 0) {
                        ASSERT_EQ(got >> 24, 0u) << entry.path() << " at " << x << "," << y;
                    } else if (!ours->monochrome) {
                        ASSERT_EQ(got, want) << entry.path() << " at " << x << "," << y;
                    }
                }
            }
            ++comparedByDepth[info->bitCount];
        }
    }
    for (const auto& [depth, count] : comparedByDepth) {
        std::cout << count << " images at " << depth << " bits agree with icotool\n";
    }
    EXPECT_FALSE(comparedByDepth.empty());
}

// Mutated copies of real modules: bytes changed at random, mostly in the headers and around
// the resources, sometimes cut short. Nothing may crash, hang or trip a sanitizer.
TEST(IconCorpus, MutatedRealFilesAreSurvived) {
    std::vector<std::pair<Bytes, ContainerIndex>> seeds;
    for (const auto& file : CorpusFiles()) {
        if (fs::file_size(file) > 400 * 1024 || IconCount(file) < 1) {
            continue;
        }
        Bytes bytes = ReadAll(file);
        SpanSource source(bytes);
        auto index = IndexContainer(source);
        seeds.emplace_back(std::move(bytes), std::move(index));
    }
    if (seeds.empty()) {
        GTEST_SKIP() << "no Windows modules with icons (install wine64 and nsis)";
    }
    const char* env = std::getenv("GLYPTOR_ICON_MUTANTS");
    const int mutants = env ? std::atoi(env) : 10000;
    std::mt19937_64 random(20261207);
    int withIcons = 0;
    for (int n = 0; n < mutants; ++n) {
        const auto& [original, originalIndex] = seeds[static_cast<std::size_t>(n) % seeds.size()];
        Bytes bytes = original;
        const std::uint64_t resources = originalIndex.groups.front().offset;
        const int changes = 1 + static_cast<int>(random() % 16);
        for (int c = 0; c < changes; ++c) {
            std::uint64_t at = 0;
            switch (random() % 3) {
            case 0:
                at = random() % std::min<std::uint64_t>(bytes.size(), 1024);
                break;
            case 1: {
                // The resource directory and group data lie around the first group.
                const std::uint64_t from = resources > 8192 ? resources - 8192 : 0;
                at = from + random() % 16384;
                break;
            }
            default:
                at = random() % bytes.size();
            }
            at %= bytes.size();
            bytes[at] = random() % 4 == 0 ? 0xFF : static_cast<std::uint8_t>(random());
        }
        if (random() % 10 == 0) {
            bytes.resize(random() % bytes.size());
        }
        SpanSource source(bytes);
        auto index = IndexContainer(source);
        const int count = index.Count();
        ASSERT_LE(count, 1 << 16);
        withIcons += count > 0 ? 1 : 0;
        for (const int group : {0, count - 1, count > 0 ? static_cast<int>(random() % count) : 0}) {
            if (const auto icon = ExtractFromContainer(source, index, group, kStandardIconSize)) {
                ASSERT_TRUE(icon->IsValid());
            }
        }
    }
    std::cout << mutants << " mutants of " << seeds.size() << " modules, " << withIcons
              << " still with icons\n";
}

} // namespace
} // namespace glyptor::icons
