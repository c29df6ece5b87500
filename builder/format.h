// The builder's view of the archive: the installation description and the
// file records as standard C++ values, and the names of flags and
// destinations in project files and listings. The format's constants, bits
// and readers are the stub's own (archive/), which the builder shares.
#pragma once

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

// Association record, in stream order.
struct Association {
    int32_t flags = 0;                // 0x01: the verb becomes the default
    std::string extension;            // with or without the leading "."
    std::string fileType;             // empty: the extension's present type
    std::string description;          // display name of the file type
    std::string verb;                 // key under the type's "shell"
    std::string command;              // may hold %InstallDir% and friends
    std::string language;             // empty: every language
    bool operator==(const Association&) const = default;
};

// The whole installation description. Texts are Windows-1252 bytes.
struct Description {
    uint32_t productFlags = 0;
    DateTime archiveDate;
    std::vector<int32_t> storedSizes;           // one per file record
    int32_t payloadSize = 0;                    // bytes of the file-data block
    uint32_t payloadChecksum = 0;
    std::string publisher, productName, startMenuFolder, defaultDirectory;
    std::string displayVersion, productRegistry, licenseText, readmeText;
    std::string uninstallSubdir, displayName, volumeBaseName, uninstallerName;
    uint32_t titleColor = 0, topColor = 0, bottomColor = 0;   // 0x00BBGGRR
    std::vector<uint8_t> backgroundBitmap;      // a .bmp file image or empty
    std::string masterProduct;                  // stored only with PfNeedsMaster
    std::string preInstallBatch, postInstallBatch, finalBatch;
    std::string uninstallBatch1, uninstallBatch2;
    uint8_t buildDay = 0, buildMonth = 0;       // calendar date, not used by the stub
    int16_t buildYear = 0;
    int32_t iconOffset = 0;                     // file offset of the stub's icon
    std::vector<uint8_t> uninstallerIcon;       // 2216 bytes when iconOffset > 0
    std::vector<Association> associations;
    std::vector<std::string> languageNames;
    // messages[n][language]; every entry has languageNames.size() texts.
    std::vector<std::vector<std::string>> messages;
    bool operator==(const Description&) const = default;
};

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
