// The icon containers a file can be: a PE or NE module with icon group resources, an .ico file
// or a .bmp file. IndexContainer reads only headers and the resource directory (what a count
// needs); the group and image functions read the few further bytes an extraction needs. All of
// them work on a ByteSource, so tests and fuzzers feed them memory and the icon source a file.
// Decoding the chosen images (PNG among them) and scaling them is platform/icons/IconDecode.h.
#pragma once

#include "formats/IconImage.h"
#include "formats/IconImages.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace glyptor::icons {

enum class ContainerKind { None, Pe, Ne, Ico, Bmp };

// Why a file has no icons. Offsets are file offsets of the structure at fault, except for
// ResourceOutOfFile in a PE module, whose offset is the RVA that maps to no bytes of the file.
enum class RefusalKind {
    None,                  // the file has icons
    NotAContainer,         // not a PE or NE module, an .ico or a .bmp file
    TruncatedHeader,       // a header or table runs past the end of the file
    UnsupportedHeader,     // an MZ file with neither PE nor NE header, or an unknown PE header
    NoResources,           // a module without a resource directory or table
    ResourceOutOfFile,     // a resource directory or its data lies outside the file
    ResourceDirectoryLoop, // a resource directory points back at one already walked
    TooManyResources,      // more resource entries than any real module has
    NoIconGroups,          // resources, but no usable icon group among them
    NoIconImages,          // an icon directory that names no image inside the file
    BadBitmap,             // a .bmp file whose headers are refused (DescribeDibRefusal says how)
    OutOfMemory,
};

struct ContainerRefusal {
    RefusalKind kind = RefusalKind::None;
    std::uint64_t offset = 0;
    formats::DibRefusal bitmap = formats::DibRefusal::None; // for BadBitmap
};

// A short English phrase for the kind of refusal.
const char* DescribeRefusal(RefusalKind kind);

// A byte range of the file holding one resource.
struct ResourceSpan {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

// What decoding the images of one file may cost in all. Hostile files name one large image
// from thousands of groups, or thousands of times from one group; once a file has used its
// budget, its remaining icons are "no icon". Real files stay far below both: a library lists a
// few thousand images at most, and its icons are mostly 32 x 32 or smaller.
inline constexpr std::uint32_t kMaxDecodeAttempts = 65536;
inline constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{64} << 20;

// The decoding done for one file: attempts and pixels spent, the images that failed (so that
// each distinct image is tried once), and the latest image decoded (groups that share one image
// follow each other).
struct DecodeLedger {
    std::uint32_t attempts = 0;
    std::uint64_t pixels = 0;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> failed; // offset and size, sorted
    std::pair<std::uint64_t, std::uint32_t> lastKey{};
    std::shared_ptr<const IconImage> last;
};

// Where a file's icons are. For PE and NE: the RT_GROUP_ICON resources in directory order, and
// (once IndexIcons ran) the RT_ICON resources by id. For .ico: one group, the icon directory.
// For .bmp: one group, the whole file.
struct ContainerIndex {
    ContainerKind kind = ContainerKind::None;
    std::vector<ResourceSpan> groups;
    bool iconsIndexed = false;
    std::vector<std::pair<std::uint32_t, ResourceSpan>> icons; // sorted by id, ids unique
    DecodeLedger decoding;
    // Set when the index found no groups.
    ContainerRefusal refusal;

    int Count() const { return static_cast<int>(groups.size()); }
};

// Recognises the container by content and lists its icon groups; kind None (count 0) for
// anything unrecognised or damaged. A count of 0 comes with the reason in `refusal`.
// `withIcons` indexes the module's images too (as IndexIcons would), in the same walk of its
// resource directory: cheaper than a second walk when the groups' images are wanted anyway.
ContainerIndex IndexContainer(ByteSource& source, bool withIcons = false);

// Fills index.icons for PE and NE containers (a no-op for the others or when done already).
void IndexIcons(ByteSource& source, ContainerIndex& index);

// One image of a group: what its header says, and where its bytes are.
struct ImageCandidate {
    IconImageInfo info;
    ResourceSpan data;
};

// The images of group `group` whose headers could be read, in the group's order, each image
// once. Entries that name a missing or unreadable image are left out.
std::vector<ImageCandidate> GroupImages(ByteSource& source, ContainerIndex& index, int group);

// Candidates in the order Windows would prefer them for an icon of `size` x `size`: an exact
// match of the highest depth, else the smallest larger image, else the largest smaller one.
std::vector<std::size_t> RankForSize(const std::vector<ImageCandidate>& candidates, int size);

// The bytes of a .bmp container, up to what the largest accepted bitmap can need: a huge file
// with a small bitmap header is not read whole.
std::optional<Bytes> ReadBitmapBytes(ByteSource& source);
// How many bytes ReadBitmapBytes reads.
std::uint64_t BitmapBytesLength(const ByteSource& source);

} // namespace glyptor::icons
