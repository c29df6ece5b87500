// The builder's view of the archive: the installation description and the
// file records as standard C++ values, and the names of flags and
// destinations in project files and listings. The format's constants, bits
// and readers are the stub's own (archive/), which the builder shares.
#pragma once

#include "archive/description.h"
#include "archive/format.h"
#include "core/format.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velt {

// Readable names shared by the project file, inspect and extract.
struct NamedValue {
    const char* name;
    uint32_t value;
};
extern const NamedValue kFlagNames[];         // every flag a project may set
extern const size_t kFlagNameCount;
const char* DestKindName(int32_t kind);       // nullptr for unknown kinds
bool DestKindFromName(const std::string& name, int32_t& kind);

// Association record, in stream order (archive/description.h lists the
// fields): extension with or without the leading "."; fileType empty for
// the extension's present type; command may hold %InstallDir% and friends;
// language empty for every language.
struct Association {
    int32_t flags = 0;                // 0x01: the verb becomes the default
#define VELT_DECLARE_TEXT_(name) std::string name;
    VELT_ASSOCIATION_TEXTS(VELT_DECLARE_TEXT_)
    bool operator==(const Association&) const = default;
};

// The whole installation description, with the fields of the stub's
// record (archive/description.h) as standard values. Texts are
// Windows-1252 bytes.
struct Description {
#define VELT_DECLARE_VALUE_(type, name) type name{};
#define VELT_DECLARE_BYTES_(name) std::vector<uint8_t> name;
    VELT_DESCRIPTION_FIELDS(VELT_DECLARE_VALUE_, VELT_DECLARE_TEXT_, VELT_DECLARE_BYTES_)
#undef VELT_DECLARE_VALUE_
#undef VELT_DECLARE_BYTES_
    std::vector<int32_t> storedSizes;           // one per file record
    std::vector<Association> associations;
    std::vector<std::string> languageNames;
    // messages[n][language]; every entry has languageNames.size() texts.
    std::vector<std::vector<std::string>> messages;
    bool operator==(const Description&) const = default;
};
#undef VELT_DECLARE_TEXT_

// One file record of the file-data block.
struct FileRecord {
    std::string name;                           // relative, backslashes
    int32_t kind = DestInstall;
    int32_t flags = 0;
    std::vector<uint8_t> data;
    uint32_t checksum = 0;                      // as stored
    DateTime time;
    std::string text;                           // shortcut, font or version text
    std::string icon;                           // stored only when flags & 3
    bool operator==(const FileRecord&) const = default;
};

} // namespace velt
