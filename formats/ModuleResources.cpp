// PE32 / PE32+ and NE modules: finding the icon group and icon resources. Only the headers, the
// section table and the resource directory are read; resource data stays on disk until an
// extraction asks for it.
#include "formats/ModuleResources.h"

#include <algorithm>
#include <unordered_set>

namespace glyptor::icons {

namespace {

constexpr std::uint32_t RT_ICON = 3;
constexpr std::uint32_t RT_GROUP_ICON = 14;
constexpr std::uint16_t kNeTypeIcon = 0x8003;
constexpr std::uint16_t kNeTypeGroupIcon = 0x800E;

// Bounds the work a hostile resource directory can cause: no real module comes near.
constexpr std::uint32_t kMaxResourceEntries = 1u << 16;

struct IMAGE_FILE_HEADER {
    std::uint16_t Machine = 0;
    std::uint16_t NumberOfSections = 0;
    std::uint32_t TimeDateStamp = 0;
    std::uint32_t PointerToSymbolTable = 0;
    std::uint32_t NumberOfSymbols = 0;
    std::uint16_t SizeOfOptionalHeader = 0;
    std::uint16_t Characteristics = 0;
};

struct IMAGE_SECTION_HEADER {
    std::uint32_t VirtualSize = 0;
    std::uint32_t VirtualAddress = 0;
    std::uint32_t SizeOfRawData = 0;
    std::uint32_t PointerToRawData = 0;
};

struct IMAGE_RESOURCE_DIRECTORY_ENTRY {
    std::uint32_t Name = 0;         // high bit: offset of a name string, else an integer id
    std::uint32_t OffsetToData = 0; // high bit: offset of a subdirectory, else of a data entry
    bool IsNamed() const { return (Name & 0x80000000u) != 0; }
    bool IsDirectory() const { return (OffsetToData & 0x80000000u) != 0; }
    std::uint32_t Target() const { return OffsetToData & 0x7FFFFFFFu; }
};

struct IMAGE_RESOURCE_DATA_ENTRY {
    std::uint32_t OffsetToData = 0; // an RVA, not a directory offset
    std::uint32_t Size = 0;
    std::uint32_t CodePage = 0;
    std::uint32_t Reserved = 0;
};

// The parts of a PE file needed to turn resource RVAs into file offsets.
class PeImage {
public:
    static std::optional<PeImage> Parse(ByteSource& source, std::uint32_t peOffset,
                                        ContainerRefusal& why);

    // File offset of `length` bytes at `rva`, when they lie in one section's raw data.
    std::optional<std::uint64_t> RvaToOffset(std::uint32_t rva, std::uint64_t length) const;

    std::uint32_t resourceRva = 0;

private:
    std::vector<IMAGE_SECTION_HEADER> sections_;
    std::uint64_t fileSize_ = 0;
};

std::optional<PeImage> PeImage::Parse(ByteSource& source, std::uint32_t peOffset,
                                      ContainerRefusal& why) {
    // Each range is decoded before the next is asked for: a look is good until the next read.
    Bytes storage;
    const auto header = source.Look(peOffset, 4 + 20, storage);
    if (!header) {
        why = {RefusalKind::TruncatedHeader, peOffset};
        return std::nullopt;
    }
    ByteCursor c(*header);
    c.Skip(4); // "PE\0\0", checked by the caller
    IMAGE_FILE_HEADER file;
    file.Machine = c.ReadU16();
    file.NumberOfSections = c.ReadU16();
    file.TimeDateStamp = c.ReadU32();
    file.PointerToSymbolTable = c.ReadU32();
    file.NumberOfSymbols = c.ReadU32();
    file.SizeOfOptionalHeader = c.ReadU16();
    file.Characteristics = c.ReadU16();

    const std::uint64_t optionalOffset = std::uint64_t{peOffset} + 24;
    const auto optional = source.Look(optionalOffset, file.SizeOfOptionalHeader, storage);
    if (!optional) {
        why = {RefusalKind::TruncatedHeader, optionalOffset};
        return std::nullopt;
    }
    ByteCursor o(*optional);
    const std::uint16_t magic = o.ReadU16();
    std::size_t countPosition = 0;
    if (magic == 0x10B) {
        countPosition = 92; // PE32: NumberOfRvaAndSizes
    } else if (magic == 0x20B) {
        countPosition = 108; // PE32+
    } else {
        why = {RefusalKind::UnsupportedHeader, optionalOffset};
        return std::nullopt;
    }
    o.Seek(countPosition);
    const std::uint32_t directoryCount = o.ReadU32();
    // IMAGE_DIRECTORY_ENTRY_RESOURCE is the third data directory.
    o.Skip(2 * 8);
    PeImage image;
    image.resourceRva = o.ReadU32();
    const std::uint32_t resourceSize = o.ReadU32();
    if (!o.Ok()) {
        why = {RefusalKind::TruncatedHeader, optionalOffset};
        return std::nullopt;
    }
    if (directoryCount < 3 || image.resourceRva == 0 || resourceSize == 0) {
        why = {RefusalKind::NoResources, optionalOffset + countPosition};
        return std::nullopt;
    }

    const std::uint64_t sectionBytes = std::uint64_t{file.NumberOfSections} * 40;
    const auto table =
        source.Look(optionalOffset + file.SizeOfOptionalHeader, sectionBytes, storage);
    if (!table) {
        why = {RefusalKind::TruncatedHeader, optionalOffset + file.SizeOfOptionalHeader};
        return std::nullopt;
    }
    ByteCursor s(*table);
    image.sections_.reserve(file.NumberOfSections);
    for (std::uint16_t i = 0; i < file.NumberOfSections; ++i) {
        s.Skip(8); // Name
        IMAGE_SECTION_HEADER section;
        section.VirtualSize = s.ReadU32();
        section.VirtualAddress = s.ReadU32();
        section.SizeOfRawData = s.ReadU32();
        section.PointerToRawData = s.ReadU32();
        s.Skip(16); // relocations, line numbers, their counts, Characteristics
        image.sections_.push_back(section);
    }
    if (!s.Ok()) {
        why = {RefusalKind::TruncatedHeader, optionalOffset + file.SizeOfOptionalHeader};
        return std::nullopt;
    }
    image.fileSize_ = source.Size();
    return image;
}

std::optional<std::uint64_t> PeImage::RvaToOffset(std::uint32_t rva, std::uint64_t length) const {
    for (const auto& section : sections_) {
        if (rva < section.VirtualAddress) {
            continue;
        }
        const std::uint64_t delta = rva - section.VirtualAddress;
        // Linkers of the 1990s wrote VirtualSize 0; the raw size then tells the extent.
        const std::uint64_t extent =
            section.VirtualSize == 0 ? section.SizeOfRawData : section.VirtualSize;
        if (delta >= extent) {
            continue;
        }
        if (delta > section.SizeOfRawData || length > section.SizeOfRawData - delta) {
            return std::nullopt; // the bytes would be in the zero-filled tail, not in the file
        }
        const std::uint64_t offset = section.PointerToRawData + delta;
        if (offset > fileSize_ || length > fileSize_ - offset) {
            return std::nullopt;
        }
        return offset;
    }
    return std::nullopt;
}

// Walks one resource directory tree level by level. Each directory is visited at most once, so
// a directory that points back at itself or an ancestor ends the walk instead of looping.
class ResourceWalker {
public:
    ResourceWalker(ByteSource& source, const PeImage& pe) : source_(source), pe_(pe) {}

    // The entries of the directory at `offset` (relative to the resource root), named entries
    // first, as stored. Nothing for a directory already visited or out of the file.
    std::vector<IMAGE_RESOURCE_DIRECTORY_ENTRY> Entries(std::uint32_t offset);
    // The data of the first language below a name entry.
    std::optional<ResourceSpan> FirstLanguageData(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) {
        const auto found = FirstLanguage(entry);
        return found ? std::optional<ResourceSpan>(found->first) : std::nullopt;
    }
    // The same, with the language id it is stored under.
    std::optional<std::pair<ResourceSpan, std::uint32_t>>
    FirstLanguage(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry);
    // The name string of a named entry (UTF-16 narrowed to UTF-8), empty when unreadable.
    std::string NameOf(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry);
    // The first damage met on the walk, if any.
    const ContainerRefusal& Problem() const { return problem_; }

private:
    void Note(RefusalKind kind, std::uint64_t offset) {
        if (problem_.kind == RefusalKind::None) {
            problem_ = {kind, offset};
        }
    }

    ByteSource& source_;
    const PeImage& pe_;
    std::unordered_set<std::uint32_t> visited_;
    std::uint32_t entriesRead_ = 0;
    ContainerRefusal problem_;
};

std::vector<IMAGE_RESOURCE_DIRECTORY_ENTRY> ResourceWalker::Entries(std::uint32_t offset) {
    const std::uint64_t rva = std::uint64_t{pe_.resourceRva} + offset;
    if (!visited_.insert(offset).second) {
        const auto at =
            rva <= UINT32_MAX ? pe_.RvaToOffset(static_cast<std::uint32_t>(rva), 16) : std::nullopt;
        Note(RefusalKind::ResourceDirectoryLoop, at.value_or(rva));
        return {};
    }
    if (rva > UINT32_MAX) {
        Note(RefusalKind::ResourceOutOfFile, rva);
        return {};
    }
    const auto at = pe_.RvaToOffset(static_cast<std::uint32_t>(rva), 16);
    Bytes storage;
    const auto head = at ? source_.Look(*at, 16, storage) : std::nullopt;
    if (!head) {
        Note(RefusalKind::ResourceOutOfFile, rva);
        return {};
    }
    ByteCursor c(*head);
    c.Skip(12); // Characteristics, TimeDateStamp, MajorVersion, MinorVersion
    const std::uint32_t named = c.ReadU16();
    const std::uint32_t ids = c.ReadU16();
    const std::uint32_t count = named + ids;
    if (count > kMaxResourceEntries - std::min(entriesRead_, kMaxResourceEntries)) {
        Note(RefusalKind::TooManyResources, *at + 12);
        return {};
    }
    entriesRead_ += count;
    // The entries follow the header; a count larger than the section can hold is damage.
    const auto entriesAt = pe_.RvaToOffset(static_cast<std::uint32_t>(rva), 16 + count * 8);
    const auto bytes = entriesAt ? source_.Look(*entriesAt + 16, count * 8, storage) : std::nullopt;
    if (!bytes) {
        Note(RefusalKind::ResourceOutOfFile, *at + 16);
        return {};
    }
    ByteCursor e(*bytes);
    std::vector<IMAGE_RESOURCE_DIRECTORY_ENTRY> entries(count);
    for (auto& entry : entries) {
        entry.Name = e.ReadU32();
        entry.OffsetToData = e.ReadU32();
    }
    return entries;
}

std::optional<std::pair<ResourceSpan, std::uint32_t>>
ResourceWalker::FirstLanguage(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) {
    if (!entry.IsDirectory()) {
        return std::nullopt;
    }
    const auto languages = Entries(entry.Target());
    if (languages.empty() || languages.front().IsDirectory()) {
        return std::nullopt;
    }
    const std::uint64_t rva = std::uint64_t{pe_.resourceRva} + languages.front().Target();
    const auto at =
        rva <= UINT32_MAX ? pe_.RvaToOffset(static_cast<std::uint32_t>(rva), 16) : std::nullopt;
    Bytes storage;
    const auto bytes = at ? source_.Look(*at, 16, storage) : std::nullopt;
    if (!bytes) {
        Note(RefusalKind::ResourceOutOfFile, rva);
        return std::nullopt;
    }
    ByteCursor c(*bytes);
    IMAGE_RESOURCE_DATA_ENTRY data;
    data.OffsetToData = c.ReadU32();
    data.Size = c.ReadU32();
    data.CodePage = c.ReadU32();
    data.Reserved = c.ReadU32();
    const auto offset = pe_.RvaToOffset(data.OffsetToData, data.Size);
    if (!offset || data.Size == 0) {
        Note(RefusalKind::ResourceOutOfFile, data.OffsetToData);
        return std::nullopt;
    }
    return std::pair{ResourceSpan{*offset, data.Size}, languages.front().Name};
}

std::string ResourceWalker::NameOf(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) {
    const std::uint64_t rva = std::uint64_t{pe_.resourceRva} + (entry.Name & 0x7FFFFFFFu);
    const auto at =
        rva <= UINT32_MAX ? pe_.RvaToOffset(static_cast<std::uint32_t>(rva), 2) : std::nullopt;
    const auto head = at ? source_.Read(*at, 2) : std::nullopt;
    if (!head) {
        return {};
    }
    const std::uint32_t length = ByteCursor(*head).ReadU16();
    const auto chars = pe_.RvaToOffset(static_cast<std::uint32_t>(rva), 2 + 2 * length);
    const auto bytes = chars ? source_.Read(*chars + 2, 2 * length) : std::nullopt;
    if (!bytes) {
        return {};
    }
    std::string name;
    ByteCursor c(*bytes);
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint32_t unit = c.ReadU16();
        // Resource names are plain identifiers; anything past Latin-1 is kept as UTF-8 of the
        // single code unit, which is exact for the Basic Multilingual Plane.
        if (unit < 0x80) {
            name += static_cast<char>(unit);
        } else if (unit < 0x800) {
            name += static_cast<char>(0xC0 | unit >> 6);
            name += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            name += static_cast<char>(0xE0 | unit >> 12);
            name += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
            name += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return name;
}

void SortIcons(ContainerIndex& index) {
    // The first of two resources with one id wins, as in a lookup that stops at the first match.
    std::stable_sort(index.icons.begin(), index.icons.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    index.icons.erase(std::unique(index.icons.begin(), index.icons.end(),
                                  [](const auto& a, const auto& b) { return a.first == b.first; }),
                      index.icons.end());
    index.iconsIndexed = true;
}

ContainerIndex IndexPeIcons(ByteSource& source, std::uint32_t peOffset, bool withIcons,
                            ContainerIndex index) {
    const auto pe = PeImage::Parse(source, peOffset, index.refusal);
    if (!pe) {
        return index;
    }
    ResourceWalker walker(source, *pe);
    const auto types = walker.Entries(0);
    std::optional<std::uint32_t> groupDirectory;
    std::optional<std::uint32_t> iconDirectory;
    for (const auto& type : types) {
        if (type.IsNamed() || !type.IsDirectory()) {
            continue;
        }
        if (type.Name == RT_GROUP_ICON && !groupDirectory) {
            groupDirectory = type.Target();
        } else if (type.Name == RT_ICON && !iconDirectory) {
            iconDirectory = type.Target();
        }
    }
    if (groupDirectory) {
        for (const auto& name : walker.Entries(*groupDirectory)) {
            if (const auto span = walker.FirstLanguageData(name)) {
                index.groups.push_back(*span);
            }
        }
    }
    if (withIcons && iconDirectory) {
        for (const auto& name : walker.Entries(*iconDirectory)) {
            if (name.IsNamed()) {
                continue; // groups refer to their images by number only
            }
            if (const auto span = walker.FirstLanguageData(name)) {
                index.icons.emplace_back(name.Name, *span);
            }
        }
    }
    if (withIcons) {
        SortIcons(index);
    }
    if (index.groups.empty()) {
        index.refusal = walker.Problem();
        if (index.refusal.kind == RefusalKind::None) {
            index.refusal = {RefusalKind::NoIconGroups,
                             pe->RvaToOffset(pe->resourceRva, 16).value_or(pe->resourceRva)};
        }
    }
    return index;
}

// NE resource table: an alignment shift, then TYPEINFO blocks each followed by its NAMEINFO
// records, ended by a type id of 0.
struct TYPEINFO {
    std::uint16_t rtTypeID = 0;
    std::uint16_t rtResourceCount = 0;
    std::uint32_t rtReserved = 0;
};

struct NAMEINFO {
    std::uint16_t rnOffset = 0; // in units of 1 << alignment shift
    std::uint16_t rnLength = 0;
    std::uint16_t rnFlags = 0;
    std::uint16_t rnID = 0; // high bit: an integer id, else a name offset
    std::uint16_t rnHandle = 0;
    std::uint16_t rnUsage = 0;
};

ContainerIndex IndexNeIcons(ByteSource& source, std::uint32_t neOffset, bool withIcons,
                            ContainerIndex index) {
    const auto header = source.Read(neOffset, 0x40);
    if (!header) {
        index.refusal = {RefusalKind::TruncatedHeader, neOffset};
        return index;
    }
    ByteCursor h(*header);
    h.Seek(0x24);
    const std::uint16_t resourceTable = h.ReadU16();
    const std::uint16_t residentNames = h.ReadU16();
    if (!h.Ok() || resourceTable == 0) {
        index.refusal = {RefusalKind::NoResources, std::uint64_t{neOffset} + 0x24};
        return index;
    }
    // The resource table ends where the resident name table begins; without that bound, read
    // what a table of the largest possible size would need.
    const std::uint64_t start = std::uint64_t{neOffset} + resourceTable;
    std::uint64_t length = residentNames > resourceTable ? residentNames - resourceTable : 0xFFFFu;
    if (start >= source.Size()) {
        index.refusal = {RefusalKind::ResourceOutOfFile, start};
        return index;
    }
    length = std::min<std::uint64_t>(length, source.Size() - start);
    const auto table = source.Read(start, length);
    if (!table) {
        index.refusal = {RefusalKind::ResourceOutOfFile, start};
        return index;
    }
    ByteCursor c(*table);
    const std::uint16_t shift = c.ReadU16();
    if (!c.Ok() || shift > 24) {
        index.refusal = {RefusalKind::UnsupportedHeader, start};
        return index;
    }
    std::uint32_t records = 0;
    while (c.Ok()) {
        TYPEINFO type;
        type.rtTypeID = c.ReadU16();
        if (!c.Ok() || type.rtTypeID == 0) {
            break;
        }
        type.rtResourceCount = c.ReadU16();
        type.rtReserved = c.ReadU32();
        records += type.rtResourceCount;
        if (records > kMaxResourceEntries) {
            ContainerIndex refused;
            refused.refusal = {RefusalKind::TooManyResources, start + c.Position() - 6};
            return refused;
        }
        for (std::uint16_t i = 0; i < type.rtResourceCount && c.Ok(); ++i) {
            NAMEINFO name;
            name.rnOffset = c.ReadU16();
            name.rnLength = c.ReadU16();
            name.rnFlags = c.ReadU16();
            name.rnID = c.ReadU16();
            name.rnHandle = c.ReadU16();
            name.rnUsage = c.ReadU16();
            if (!c.Ok()) {
                break;
            }
            const std::uint64_t offset = std::uint64_t{name.rnOffset} << shift;
            const std::uint64_t size = std::uint64_t{name.rnLength} << shift;
            if (size == 0 || size > UINT32_MAX) {
                continue;
            }
            // The length is rounded up to the alignment; the last resource may end early.
            if (offset >= source.Size()) {
                continue;
            }
            const ResourceSpan span{
                offset, static_cast<std::uint32_t>(std::min(size, source.Size() - offset))};
            if (type.rtTypeID == kNeTypeGroupIcon) {
                index.groups.push_back(span);
            } else if (withIcons && type.rtTypeID == kNeTypeIcon && (name.rnID & 0x8000u) != 0) {
                index.icons.emplace_back(name.rnID & 0x7FFFu, span);
            }
        }
    }
    if (withIcons) {
        SortIcons(index);
    }
    if (index.groups.empty()) {
        index.refusal = {RefusalKind::NoIconGroups, start};
    }
    return index;
}

std::vector<GroupKey> PeGroupKeys(ByteSource& source, std::uint32_t peOffset) {
    std::vector<GroupKey> keys;
    ContainerRefusal ignored;
    const auto pe = PeImage::Parse(source, peOffset, ignored);
    if (!pe) {
        return keys;
    }
    ResourceWalker walker(source, *pe);
    // The same walk as IndexPeIcons, so that keys and groups pair up one to one.
    for (const auto& type : walker.Entries(0)) {
        if (type.IsNamed() || !type.IsDirectory() || type.Name != RT_GROUP_ICON) {
            continue;
        }
        for (const auto& name : walker.Entries(type.Target())) {
            if (const auto found = walker.FirstLanguage(name)) {
                GroupKey key;
                key.named = name.IsNamed();
                key.id = key.named ? 0 : name.Name;
                key.name = key.named ? walker.NameOf(name) : std::string();
                key.language = found->second;
                keys.push_back(std::move(key));
            }
        }
        break;
    }
    return keys;
}

std::vector<GroupKey> NeGroupKeys(ByteSource& source, std::uint32_t neOffset) {
    std::vector<GroupKey> keys;
    const auto header = source.Read(neOffset, 0x40);
    if (!header) {
        return keys;
    }
    ByteCursor h(*header);
    h.Seek(0x24);
    const std::uint16_t resourceTable = h.ReadU16();
    const std::uint16_t residentNames = h.ReadU16();
    const std::uint64_t start = std::uint64_t{neOffset} + resourceTable;
    if (!h.Ok() || resourceTable == 0 || start >= source.Size()) {
        return keys;
    }
    std::uint64_t length = residentNames > resourceTable ? residentNames - resourceTable : 0xFFFFu;
    length = std::min<std::uint64_t>(length, source.Size() - start);
    const auto table = source.Read(start, length);
    if (!table) {
        return keys;
    }
    ByteCursor c(*table);
    const std::uint16_t shift = c.ReadU16();
    if (!c.Ok() || shift > 24) {
        return keys;
    }
    std::uint32_t records = 0;
    // The same filter as IndexNeIcons, so that keys and groups pair up one to one.
    while (c.Ok()) {
        const std::uint16_t typeId = c.ReadU16();
        if (!c.Ok() || typeId == 0) {
            break;
        }
        const std::uint16_t count = c.ReadU16();
        c.Skip(4);
        records += count;
        if (records > kMaxResourceEntries) {
            return {};
        }
        for (std::uint16_t i = 0; i < count && c.Ok(); ++i) {
            NAMEINFO name;
            name.rnOffset = c.ReadU16();
            name.rnLength = c.ReadU16();
            name.rnFlags = c.ReadU16();
            name.rnID = c.ReadU16();
            c.Skip(4);
            if (!c.Ok()) {
                break;
            }
            const std::uint64_t offset = std::uint64_t{name.rnOffset} << shift;
            const std::uint64_t size = std::uint64_t{name.rnLength} << shift;
            if (typeId != kNeTypeGroupIcon || size == 0 || size > UINT32_MAX ||
                offset >= source.Size()) {
                continue;
            }
            GroupKey key;
            key.named = (name.rnID & 0x8000u) == 0;
            if (key.named) {
                // A Pascal string at that offset from the start of the resource table.
                ByteCursor n(*table);
                if (n.Seek(name.rnID)) {
                    const std::uint8_t size8 = n.ReadU8();
                    const auto text = n.ReadBytes(size8);
                    if (n.Ok()) {
                        key.name.assign(text.begin(), text.end());
                    }
                }
            } else {
                key.id = name.rnID & 0x7FFFu;
            }
            keys.push_back(std::move(key));
        }
    }
    return keys;
}

} // namespace

std::vector<GroupKey> ModuleGroupKeys(ByteSource& source) {
    try {
        const auto dos = source.Read(0, 0x40);
        if (!dos) {
            return {};
        }
        ByteCursor c(*dos);
        const std::uint16_t e_magic = c.ReadU16();
        c.Seek(0x3C);
        const std::uint32_t e_lfanew = c.ReadU32();
        const auto signature =
            c.Ok() && e_magic == 0x5A4D ? source.Read(e_lfanew, 4) : std::nullopt;
        if (!signature) {
            return {};
        }
        const auto& s = *signature;
        if (s[0] == 'P' && s[1] == 'E' && s[2] == 0 && s[3] == 0) {
            return PeGroupKeys(source, e_lfanew);
        }
        if (s[0] == 'N' && s[1] == 'E') {
            return NeGroupKeys(source, e_lfanew);
        }
    } catch (const std::bad_alloc&) {
    }
    return {};
}

ContainerIndex IndexModule(ByteSource& source, bool withIcons) {
    ContainerIndex index;
    index.refusal = {RefusalKind::NotAContainer, 0};
    Bytes storage;
    const auto magic = source.Look(0, 2, storage);
    if (!magic || (*magic)[0] != 'M' || (*magic)[1] != 'Z') {
        return index;
    }
    const auto dos = source.Look(0, 0x40, storage);
    if (!dos) {
        index.refusal = {RefusalKind::TruncatedHeader, 0};
        return index;
    }
    ByteCursor c(*dos);
    c.Seek(0x3C);
    const std::uint32_t e_lfanew = c.ReadU32();
    const auto signature = source.Look(e_lfanew, 4, storage);
    if (!signature) {
        index.refusal = {RefusalKind::TruncatedHeader, 0x3C};
        return index;
    }
    const auto& s = *signature;
    if (s[0] == 'P' && s[1] == 'E' && s[2] == 0 && s[3] == 0) {
        index.kind = ContainerKind::Pe;
        index.refusal = {};
        return IndexPeIcons(source, e_lfanew, withIcons, std::move(index));
    }
    if (s[0] == 'N' && s[1] == 'E') {
        index.kind = ContainerKind::Ne;
        index.refusal = {};
        return IndexNeIcons(source, e_lfanew, withIcons, std::move(index));
    }
    index.refusal = {RefusalKind::UnsupportedHeader, e_lfanew};
    return index;
}

} // namespace glyptor::icons
