// The installation description: the settings record of one installer, read
// once, front to back, right after the archive header; and the message
// table through which every user-visible text is fetched.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/format.h"
#include "core/string.h"
#include "launcher/product_flags.h"

class ByteStream;

// One file association, in the description's field order.
struct FileAssociation {
    int32_t flags = 0;          // 0x01: the verb becomes the type's default
    String extension;           // with or without the leading "."
    String fileType;            // key under HKEY_CLASSES_ROOT; empty: the extension's own
    String description;         // display text of the file type
    String verb;                // key under the type's "shell" key
    String command;             // command line, with the install-time macros
    String language;            // non-empty: only for this chosen language
};

// Size of the uninstaller's icon image: a 32x32 256-colour icon as stored
// in an executable's resources (header, palette, pixels, mask).
constexpr int kUninstallerIconSize = 2216;
// The last field of every description.
constexpr uint32_t kDescriptionEndMarker = 0xD3E82B97;
constexpr int kMaxMessageCount = 10000;
constexpr int kMaxIconOffset = 999998;

// Settings read from the description (fields in stream order).
extern uint32_t ProductFlags;
extern DateTime ArchiveDate;        // the uninstaller's file time
extern int32_t FileCount;
extern int32_t* StoredSizes;        // FileCount entries: each file's data field length
extern int32_t PayloadSize;         // length of the whole file-data block
extern uint32_t PayloadChecksum;
extern String Publisher;
extern String SharedDirectory;      // Common Files \ Publisher, with PfUninstallSupport
extern String StartMenuFolder;
extern String DefaultDirectory;
extern String DisplayVersion;
extern String ProductRegistry;
extern String LicenseText;
extern String ReadmeText;
extern String UninstallSubdir;
extern String DisplayName;
extern String VolumeBaseName;
extern String UninstallerName;
extern String MasterProduct;        // with PfNeedsMaster only
extern String PreInstallBatch;
extern String PostInstallBatch;
extern String FinalBatch;
extern String UninstallBatch1;
extern String UninstallBatch2;
extern int32_t IconOffset;          // 0: the uninstaller keeps the stub's icon
extern String UninstallerIcon;      // kUninstallerIconSize bytes when IconOffset > 0
extern int AssociationCount;
extern FileAssociation* Associations;
extern int LanguageCount;
extern String* LanguageNames;       // LanguageCount names, in dialog order

// Reads the description from its first byte and sets the settings above,
// the product name and automatic mode, the background's colours and
// picture. descriptionKey is the archive header's key, which is also the
// checksum of the unpacked description. Returns 0 when the description is
// sound, else the corrupt-archive code of the first failed check.
int ReadDescriptionFields(ByteStream& stream, uint32_t descriptionKey);
// ReadDescriptionFields, ending the program with the corrupt-archive report
// on a failed check.
void ReadDescription(ByteStream& stream, uint32_t descriptionKey);

// The message table: one entry per message number, one text per language.
// The uninstaller fills it from its record instead of a description.
void ResizeMessageTable(int messages, int languages);
void SetMessage(int number, int language, const String& text);
int MessageCount();
// Message n in the selected language, with every "<product>" replaced by
// the product name and then every "<os>" by the Windows directory (letter
// case ignored). Empty when n or the language is outside the table. The
// replacement is stored, so it happens once; the pointer stays valid until
// the table changes.
const char* MessageText(int n);
