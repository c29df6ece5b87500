#include "builder/pe.h"

#include <algorithm>
#include <cstdio>

namespace velt {

namespace {

const uint16_t kPe32Magic = 0x10B;
const uint16_t kPe32PlusMagic = 0x20B;
const uint16_t kMachineI386 = 0x14C;
const uint16_t kMachineAmd64 = 0x8664;
const size_t kSectionEntrySize = 40;
const uint32_t kSectionCharacteristics = 0x40000040;   // initialised data, readable
const uint32_t kResourceIcon = 3;
const uint32_t kResourceVersion = 16;

uint32_t AlignUp(uint64_t value, uint32_t alignment)
{
    return (uint32_t)((value + alignment - 1) / alignment * alignment);
}

bool Fits(std::span<const uint8_t> image, uint64_t offset, uint64_t size)
{
    return offset <= image.size() && size <= image.size() - offset;
}

// Offsets inside the optional header, the same in PE32 and PE32+.
const size_t kOptSizeOfInitializedData = 8;
const size_t kOptSectionAlignment = 32;
const size_t kOptFileAlignment = 36;
const size_t kOptSizeOfImage = 56;
const size_t kOptSizeOfHeaders = 60;
const size_t kOptCheckSum = 64;
// The 64-bit ImageBase and stack and heap sizes of PE32+ move what
// follows them 16 bytes on.
const size_t kOptNumberOfRvaAndSizes32 = 92;
const size_t kOptNumberOfRvaAndSizes64 = 108;

size_t NumberOfRvaAndSizesOffset(const PeHeaders& pe)
{
    return pe.pe32Plus ? kOptNumberOfRvaAndSizes64 : kOptNumberOfRvaAndSizes32;
}

size_t DataDirectoriesOffset(const PeHeaders& pe)
{
    return NumberOfRvaAndSizesOffset(pe) + 4;
}

// The data directory entry `index` (RVA, size); {0, 0} when absent.
std::pair<uint32_t, uint32_t> DataDirectory(std::span<const uint8_t> image, const PeHeaders& pe,
                                            uint32_t index)
{
    const uint8_t* opt = image.data() + pe.optionalOffset;
    size_t directories = DataDirectoriesOffset(pe);
    if (Load32(opt + NumberOfRvaAndSizesOffset(pe)) <= index
        || directories + 8 * (index + 1) > pe.optionalSize)
        return {0, 0};
    return {Load32(opt + directories + 8 * index), Load32(opt + directories + 8 * index + 4)};
}

// One leaf of the resource tree.
struct ResourceLeaf {
    uint32_t type = 0;                // numeric type, 0 for named types
    int64_t offset = -1;              // file offset of the data
    uint32_t size = 0;
};

// Every leaf of the three-level resource tree (type, name, language).
// Nesting deeper than three levels or loops end the walk.
std::vector<ResourceLeaf> ResourceLeaves(std::span<const uint8_t> image, const PeHeaders& pe)
{
    std::vector<ResourceLeaf> leaves;
    auto [rva, size] = DataDirectory(image, pe, 2);
    int64_t base = rva ? RvaToOffset(pe, rva) : -1;
    if (base < 0)
        return leaves;
    auto walk = [&](auto& self, uint64_t dir, int depth, uint32_t type) -> void {
        if (depth > 2 || !Fits(image, base + dir, 16))
            return;
        const uint8_t* d = image.data() + base + dir;
        uint32_t entries = (uint32_t)Load16(d + 12) + Load16(d + 14);
        for (uint32_t i = 0; i < entries; i++) {
            uint64_t e = base + dir + 16 + 8 * (uint64_t)i;
            if (!Fits(image, e, 8))
                return;
            uint32_t id = Load32(image.data() + e);
            uint32_t target = Load32(image.data() + e + 4);
            uint32_t entryType = depth == 0 ? ((id & 0x80000000u) ? 0 : id) : type;
            if (target & 0x80000000u) {
                self(self, target & 0x7FFFFFFFu, depth + 1, entryType);
            } else if (Fits(image, base + target, 16)) {
                const uint8_t* leaf = image.data() + base + target;
                leaves.push_back({entryType, RvaToOffset(pe, Load32(leaf)), Load32(leaf + 4)});
            }
        }
    };
    walk(walk, 0, 0, 0);
    return leaves;
}

std::u16string ReadUtf16(std::span<const uint8_t> block, size_t& pos)
{
    std::u16string s;
    while (pos + 2 <= block.size()) {
        char16_t c = Load16(block.data() + pos);
        pos += 2;
        if (c == 0)
            break;
        s.push_back(c);
    }
    return s;
}

// A version-resource node: key, value bytes and child nodes.
struct VersionNode {
    std::u16string key;
    std::span<const uint8_t> value;
    std::span<const uint8_t> children;
    bool text = false;                // wType 1: the value is UTF-16
};

bool ReadVersionNode(std::span<const uint8_t> block, VersionNode& node)
{
    if (block.size() < 6)
        return false;
    size_t length = Load16(block.data());
    size_t valueLength = Load16(block.data() + 2);
    node.text = Load16(block.data() + 4) == 1;
    if (length < 6 || length > block.size())
        return false;
    block = block.first(length);
    size_t pos = 6;
    node.key = ReadUtf16(block, pos);
    pos = (pos + 3) & ~(size_t)3;
    size_t valueBytes = node.text ? valueLength * 2 : valueLength;
    if (pos > block.size() || valueBytes > block.size() - pos)
        valueBytes = pos > block.size() ? 0 : block.size() - pos;
    node.value = pos <= block.size() ? block.subspan(pos, valueBytes) : std::span<const uint8_t>();
    pos = (pos + valueBytes + 3) & ~(size_t)3;
    node.children = pos < block.size() ? block.subspan(pos) : std::span<const uint8_t>();
    return true;
}

// Calls `visit` for each child node of `children`.
template <class Visit>
void ForEachVersionChild(std::span<const uint8_t> children, Visit visit)
{
    size_t pos = 0;
    while (pos + 6 <= children.size()) {
        size_t length = Load16(children.data() + pos);
        if (length < 6)
            return;
        VersionNode node;
        if (!ReadVersionNode(children.subspan(pos), node))
            return;
        visit(node);
        pos = (pos + length + 3) & ~(size_t)3;
    }
}

bool EqualsAscii(const std::u16string& s, const char* ascii, bool foldCase)
{
    size_t n = std::char_traits<char>::length(ascii);
    if (s.size() != n)
        return false;
    for (size_t i = 0; i < n; i++) {
        char16_t a = s[i], b = (unsigned char)ascii[i];
        if (foldCase) {
            if (a >= 'a' && a <= 'z') a -= 32;
            if (b >= 'a' && b <= 'z') b -= 32;
        }
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

std::optional<PeHeaders> ParsePe(std::span<const uint8_t> image, std::string& error)
{
    PeHeaders pe;
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        error = "not a Windows program (no MZ header)";
        return std::nullopt;
    }
    pe.peOffset = Load32(image.data() + 0x3C);
    if (!Fits(image, pe.peOffset, 24) || Load32(image.data() + pe.peOffset) != 0x00004550) {
        error = "not a Windows program (no PE header)";
        return std::nullopt;
    }
    const uint8_t* h = image.data() + pe.peOffset;
    pe.machine = Load16(h + 4);
    uint16_t count = Load16(h + 6);
    pe.optionalSize = Load16(h + 0x14);
    pe.optionalOffset = pe.peOffset + 0x18;
    uint16_t magic = Fits(image, pe.optionalOffset, 2) ? Load16(image.data() + pe.optionalOffset) : 0;
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        error = "not a Windows program (its optional header is neither PE32 nor PE32+)";
        return std::nullopt;
    }
    pe.pe32Plus = magic == kPe32PlusMagic;
    if (pe.optionalSize < DataDirectoriesOffset(pe) || !Fits(image, pe.optionalOffset, pe.optionalSize)) {
        error = "the optional header is cut short";
        return std::nullopt;
    }
    const uint8_t* opt = image.data() + pe.optionalOffset;
    pe.sizeOfInitializedData = Load32(opt + kOptSizeOfInitializedData);
    pe.sectionAlignment = Load32(opt + kOptSectionAlignment);
    pe.fileAlignment = Load32(opt + kOptFileAlignment);
    pe.sizeOfImage = Load32(opt + kOptSizeOfImage);
    pe.sizeOfHeaders = Load32(opt + kOptSizeOfHeaders);
    pe.tableOffset = pe.optionalOffset + pe.optionalSize;
    if (!Fits(image, pe.tableOffset, (uint64_t)count * kSectionEntrySize)) {
        error = "the section table runs past the end of the file";
        return std::nullopt;
    }
    if (pe.sectionAlignment == 0 || pe.fileAlignment == 0) {
        error = "the section or file alignment is zero";
        return std::nullopt;
    }
    for (uint16_t i = 0; i < count; i++) {
        const uint8_t* e = image.data() + pe.tableOffset + i * kSectionEntrySize;
        PeSection s;
        s.name.assign((const char*)e, strnlen((const char*)e, 8));
        s.virtualSize = Load32(e + 8);
        s.virtualAddress = Load32(e + 12);
        s.rawSize = Load32(e + 16);
        s.rawOffset = Load32(e + 20);
        s.characteristics = Load32(e + 36);
        s.entryOffset = pe.tableOffset + i * kSectionEntrySize;
        pe.sections.push_back(s);
    }
    return pe;
}

const char* ArchName(Arch arch)
{
    return arch == Arch::X64 ? "x64" : "x86";
}

std::optional<Arch> ArchFromName(const std::string& name)
{
    if (name == "x86")
        return Arch::X86;
    if (name == "x64")
        return Arch::X64;
    return std::nullopt;
}

std::optional<Arch> StubArch(const PeHeaders& pe)
{
    if (!pe.pe32Plus && pe.machine == kMachineI386)
        return Arch::X86;
    if (pe.pe32Plus && pe.machine == kMachineAmd64)
        return Arch::X64;
    return std::nullopt;
}

std::string MachineText(const PeHeaders& pe)
{
    if (std::optional<Arch> arch = StubArch(pe))
        return *arch == Arch::X64 ? "x64 (PE32+, x86-64)" : "x86 (PE32, i386)";
    char text[48];
    std::snprintf(text, sizeof text, "%s for machine 0x%04X", pe.pe32Plus ? "PE32+" : "PE32",
                  pe.machine);
    return text;
}

int64_t RvaToOffset(const PeHeaders& pe, uint32_t rva)
{
    for (const PeSection& s : pe.sections) {
        uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            uint32_t delta = rva - s.virtualAddress;
            return delta < s.rawSize ? (int64_t)s.rawOffset + delta : -1;
        }
    }
    return -1;
}

std::optional<AppendedSection> AppendArchiveSection(Bytes& image, std::span<const uint8_t> archive,
                                                    std::string& error)
{
    std::optional<PeHeaders> parsed = ParsePe(image, error);
    if (!parsed)
        return std::nullopt;
    const PeHeaders& pe = *parsed;
    // The stub finds its header with a 16-bit read and accepts 4..99 sections.
    if (pe.peOffset < 0x40 || pe.peOffset > 0x1000) {
        error = "the stub's PE header lies outside file offsets 0x40..0x1000";
        return std::nullopt;
    }
    if (pe.sections.size() < 3 || pe.sections.size() > 98) {
        error = "the stub has " + std::to_string(pe.sections.size())
              + " sections; an installer needs 4 to 99 with its own";
        return std::nullopt;
    }
    for (const PeSection& s : pe.sections)
        if (s.name == kArchiveSectionName) {
            error = "the stub already holds a .velt section (is it an installer?)";
            return std::nullopt;
        }
    if (DataDirectory(image, pe, 4).first != 0) {
        error = "the stub is signed; sign the installer after building it instead";
        return std::nullopt;
    }
    // The new entry must fit below the headers' end and the first section's
    // data, in bytes that are zero now.
    size_t entry = pe.tableOffset + pe.sections.size() * kSectionEntrySize;
    uint64_t limit = pe.sizeOfHeaders;
    for (const PeSection& s : pe.sections)
        if (s.rawSize != 0)
            limit = std::min<uint64_t>(limit, s.rawOffset);
    bool room = entry + kSectionEntrySize <= limit && Fits(image, entry, kSectionEntrySize)
             && std::all_of(image.begin() + entry, image.begin() + entry + kSectionEntrySize,
                            [](uint8_t b) { return b == 0; });
    if (!room) {
        error = "the stub has no room in its headers for one more section entry "
                "(40 zero bytes after the section table are needed)";
        return std::nullopt;
    }
    uint64_t imageEnd = 0;
    for (const PeSection& s : pe.sections)
        imageEnd = std::max<uint64_t>(imageEnd, (uint64_t)s.virtualAddress
                                                + std::max(s.virtualSize, s.rawSize));
    uint32_t virtualAddress = AlignUp(imageEnd, pe.sectionAlignment);
    if (pe.sizeOfImage != virtualAddress) {
        error = "the stub's SizeOfImage does not end at its last section";
        return std::nullopt;
    }
    uint64_t rawOffset = AlignUp(image.size(), pe.fileAlignment);
    uint64_t rawSize = AlignUp(archive.size(), pe.sectionAlignment);
    if (rawOffset + rawSize > 0x7FFFFFFF || (uint64_t)pe.sizeOfImage + rawSize > 0x7FFFFFFF) {
        error = "the installer would be larger than 2 GiB";
        return std::nullopt;
    }

    uint8_t* e = image.data() + entry;
    std::copy(std::begin(kArchiveSectionName), std::end(kArchiveSectionName) - 1, e);
    Store32(e + 8, (uint32_t)rawSize);
    Store32(e + 12, virtualAddress);
    Store32(e + 16, (uint32_t)rawSize);
    Store32(e + 20, (uint32_t)rawOffset);
    Store32(e + 36, kSectionCharacteristics);
    uint8_t* h = image.data() + pe.peOffset;
    Store16(h + 6, (uint16_t)(pe.sections.size() + 1));
    uint8_t* opt = image.data() + pe.optionalOffset;
    Store32(opt + kOptSizeOfImage, pe.sizeOfImage + (uint32_t)rawSize);
    Store32(opt + kOptSizeOfInitializedData, pe.sizeOfInitializedData + (uint32_t)rawSize);
    // The header checksum lies inside the bytes the stub checksum covers and
    // nothing on Windows checks it for programs, so it is left at zero.
    Store32(opt + kOptCheckSum, 0);

    image.resize(rawOffset, 0);
    image.insert(image.end(), archive.begin(), archive.end());
    image.resize(rawOffset + rawSize, 0);
    return AppendedSection{(uint32_t)rawOffset, (uint32_t)rawSize};
}

int64_t FindStubIcon(std::span<const uint8_t> image)
{
    std::string error;
    std::optional<PeHeaders> pe = ParsePe(image, error);
    if (!pe)
        return -1;
    for (const ResourceLeaf& leaf : ResourceLeaves(image, *pe)) {
        if (leaf.type != kResourceIcon || leaf.size != (uint32_t)kUninstallerIconSize || leaf.offset < 0
            || !Fits(image, leaf.offset, kUninstallerIconSize))
            continue;
        const uint8_t* bmp = image.data() + leaf.offset;
        if (Load32(bmp) == 40 && Load32(bmp + 4) == 32 && Load32(bmp + 8) == 64
            && Load16(bmp + 14) == 8)
            return leaf.offset;
    }
    return -1;
}

std::string FileVersionText(std::span<const uint8_t> image)
{
    std::string error;
    std::optional<PeHeaders> pe = ParsePe(image, error);
    if (!pe)
        return "";
    for (const ResourceLeaf& leaf : ResourceLeaves(image, *pe)) {
        if (leaf.type != kResourceVersion || leaf.offset < 0 || !Fits(image, leaf.offset, leaf.size))
            continue;
        VersionNode root;
        if (!ReadVersionNode(image.subspan(leaf.offset, leaf.size), root))
            continue;
        std::u16string found;
        ForEachVersionChild(root.children, [&](const VersionNode& info) {
            if (!EqualsAscii(info.key, "StringFileInfo", false))
                return;
            ForEachVersionChild(info.children, [&](const VersionNode& table) {
                if (!EqualsAscii(table.key, "040904E4", true))
                    return;
                ForEachVersionChild(table.children, [&](const VersionNode& s) {
                    if (EqualsAscii(s.key, "FileVersion", false)) {
                        size_t pos = 0;
                        found = ReadUtf16(s.value, pos);
                    }
                });
            });
        });
        std::string text;
        for (char16_t c : found)
            text.push_back(c < 0x100 ? (char)c : '?');
        if (!text.empty())
            return text;
        if (root.value.size() >= 16 && Load32(root.value.data()) == 0xFEEF04BDu) {
            uint32_t ms = Load32(root.value.data() + 8), ls = Load32(root.value.data() + 12);
            return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "."
                 + std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
        }
    }
    return "";
}

} // namespace velt
