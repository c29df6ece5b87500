// The PE headers of the stub and of installers: reading them, appending the
// archive section, and finding the stub's icon and a file's version text.
#pragma once

#include "builder/bytes.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velt {

struct PeSection {
    std::string name;                 // up to 8 bytes, NULs dropped
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
    uint32_t characteristics = 0;
    size_t entryOffset = 0;           // file offset of the 40-byte entry
};

// The machines a stub is built for: a 32-bit (PE32, i386) or a 64-bit
// (PE32+, x86-64) Windows program.
enum class Arch { X86, X64 };

const char* ArchName(Arch arch);                        // "x86", "x64"
std::optional<Arch> ArchFromName(const std::string& name);

struct PeHeaders {
    uint32_t peOffset = 0;            // the DOS header's pointer
    uint16_t machine = 0;             // COFF machine: 0x14C i386, 0x8664 x86-64, ...
    bool pe32Plus = false;            // the optional header is PE32+ (64-bit)
    size_t optionalOffset = 0;        // file offset of the optional header
    uint16_t optionalSize = 0;
    size_t tableOffset = 0;           // file offset of the section table
    uint32_t sectionAlignment = 0, fileAlignment = 0;
    uint32_t sizeOfHeaders = 0, sizeOfImage = 0, sizeOfInitializedData = 0;
    std::vector<PeSection> sections;
};

// Parses a PE32 or PE32+ image. Returns nullopt and sets `error` when the
// headers are not those of a Windows program.
std::optional<PeHeaders> ParsePe(std::span<const uint8_t> image, std::string& error);

// The architecture of an image that a stub may have: PE32 for i386 or
// PE32+ for x86-64; nullopt for any other machine.
std::optional<Arch> StubArch(const PeHeaders& pe);

// "x86 (PE32, i386)", "x64 (PE32+, x86-64)", or the raw fields of another
// machine, for messages and inspect.
std::string MachineText(const PeHeaders& pe);

// File offset of a relative virtual address, or -1 when no section maps it.
int64_t RvaToOffset(const PeHeaders& pe, uint32_t rva);

// Where the archive section lands in an installer.
struct AppendedSection {
    uint32_t rawOffset = 0;           // R: file offset of the section's data
    uint32_t rawSize = 0;             // Z: archive padded to SectionAlignment
};

// Appends `archive` as the section ".velt" to the stub image `image`.
// Returns nullopt and sets `error` when the stub has no room for one more
// section entry or its headers do not allow the append.
std::optional<AppendedSection> AppendArchiveSection(Bytes& image, std::span<const uint8_t> archive,
                                                    std::string& error);

// File offset of the stub's 32x32 256-colour icon image (an RT_ICON
// resource of 2216 bytes), or -1 when it has none.
int64_t FindStubIcon(std::span<const uint8_t> image);

// The "FileVersion" text of a program's version resource (U.S. English,
// code page 1252; else the fixed file version as a.b.c.d); "" when the file
// is no PE image or has no version resource.
std::string FileVersionText(std::span<const uint8_t> image);

} // namespace velt
