// The installer's archive as the stub reads it: constants, the installation
// description and the per-file records. Shared by the writer (build) and the
// readers (inspect, verify, extract), so both sides agree on every field.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velt {

inline constexpr uint32_t kArchiveMagic = 12345678;        // first header word
inline constexpr int32_t kFormatVersion = 620;             // version x 100
inline constexpr uint32_t kDescriptionEnd = 0xD3E82B97u;   // last description word
inline constexpr size_t kArchiveHeaderSize = 24;           // six words
inline constexpr size_t kIconImageSize = 2216;             // 32x32, 256 colours
inline constexpr int32_t kMaxIconOffset = 999998;
inline constexpr int32_t kMaxMessages = 10000;
inline constexpr int32_t kMaxStubString = 0x40000000;      // the stub's String limit
inline constexpr char kSectionName[] = ".velt";

// Product flags: one bit per setting of the installer.
enum ProductFlag : uint32_t {
    PfRefuseReinstall = 0x00000001,   // an existing installation stops the run
    PfHideBatch = 0x00000002,         // batch texts run hidden
    PfUninstallSupport = 0x00000004,  // register an uninstaller
    PfAskFonts = 0x00000010,          // the uninstaller asks before removing fonts
    PfCompressed = 0x00000020,        // the file-data block is one compressed block
    PfAlwaysLog = 0x00000040,         // write the log even without errors
    PfAskDirectory = 0x00000080,      // let the user choose the destination
    PfAutomatic = 0x00000100,         // install without questions
    PfQuietUninstall = 0x00000200,    // uninstall without questions
    PfNoUninstallList = 0x00000400,   // install-directory files are not removed
    PfChecksums = 0x00000800,         // verify description, stub and file sums
    PfEditPath = 0x00001000,          // add the directory to autoexec.bat's PATH
    PfCustomColors = 0x00002000,      // use the description's colours
    PfRebootNeeded = 0x00004000,      // set by the installer itself, never by us
    PfKeepBackground = 0x00008000,    // keep the picture for the uninstaller
    PfNeedsMaster = 0x00010000,       // add-on: MasterProduct is present
    PfAskSharedDelete = 0x00020000,   // ask before deleting an unused shared file
    PfVerifyWrites = 0x00040000,      // read back every written file
    PfClearAttributes = 0x00080000,   // clear read-only before retrying a write
    PfLogFileLines = 0x00100000,      // one log line per placed file
    PfNoCancel = 0x00200000,          // progress dialog without Cancel
};

// File-record flags.
enum FileFlag : int32_t {
    FfDesktopShortcut = 0x01,         // shortcut on the desktop
    FfProgramsShortcut = 0x02,        // shortcut in the start-menu folder
    FfOverwriteMask = 0x0C,           // overwrite mode; 0x04 is invalid
    FfUpdateOnly = 0x08,              // only replace an existing file
    FfKeepExisting = 0x0C,            // never replace an existing file
    FfPermanent = 0x20,               // never removed by the uninstaller
    FfToUninstallDir = 0x40,          // placed in the uninstall directory
};

// Destination kinds of a file record.
enum DestKind : int32_t {
    DestInstall = 0,
    DestShared = 1,
    DestFont = 4,
    DestInstallStartup = 5,
    DestSystem = 6,
};

// Readable names shared by the project file, inspect and extract.
struct NamedValue {
    const char* name;
    uint32_t value;
};
extern const NamedValue kFlagNames[];         // every flag a project may set
extern const size_t kFlagNameCount;
const char* DestKindName(int32_t kind);       // nullptr for unknown kinds
bool DestKindFromName(const std::string& name, int32_t& kind);

// Six-field local date and time; month 0 means "no time".
struct DateTime {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};

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
