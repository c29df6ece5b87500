// The installation description as the archive holds it: read front to
// back, field by field, with every check of the installer and none of the
// effects it gives the fields (the launcher applies those). Portable.
#pragma once

#include <stdint.h>

#include "core/byte_stream.h"
#include "core/format.h"
#include "core/string.h"

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

// The groups of fields, in stream order. A reading that stops at a check
// has read every group before the one it stopped in, and the product's
// texts as a whole (their checks follow the last of them).
enum DescriptionPart {
    kDescriptionNothing,        // the flag word only
    kDescriptionHead,           // date, file sizes, the file data's size and checksum
    kDescriptionTexts,          // publisher .. uninstaller name
    kDescriptionLook,           // colours and the background picture
    kDescriptionInstallTexts,   // master product, batch texts, date, icon
    kDescriptionAssociations,
    kDescriptionMessages,       // languages and the message table
    kDescriptionComplete,       // the end marker checked
};

// Every field, in stream order. The arrays belong to the record; a record
// read again replaces them, and keeps the fields the new description does
// not hold (the master product, the icon, the picture).
struct DescriptionFields {
    DescriptionFields() = default;
    DescriptionFields(const DescriptionFields&) = delete;
    DescriptionFields& operator=(const DescriptionFields&) = delete;
    ~DescriptionFields();

    DescriptionPart partsRead = kDescriptionNothing;
    uint32_t productFlags = 0;
    DateTime archiveDate;               // the uninstaller's file time
    int32_t fileCount = 0;
    int32_t* storedSizes = nullptr;     // fileCount entries: each file's data length
    int32_t payloadSize = 0;            // length of the whole file-data block
    uint32_t payloadChecksum = 0;
    String publisher, productName, startMenuFolder, defaultDirectory;
    String displayVersion, productRegistry, licenseText, readmeText;
    String uninstallSubdir, displayName, volumeBaseName, uninstallerName;
    uint32_t titleColor = 0, topColor = 0, bottomColor = 0;   // 0x00BBGGRR
    String backgroundBitmap;            // a bitmap file image, or empty
    String masterProduct;               // only with PfNeedsMaster
    String preInstallBatch, postInstallBatch, finalBatch;
    String uninstallBatch1, uninstallBatch2;
    uint8_t buildDay = 0, buildMonth = 0;   // a calendar date nobody uses
    int16_t buildYear = 0;
    int32_t iconOffset = 0;             // 0: the uninstaller keeps the stub's icon
    String uninstallerIcon;             // kUninstallerIconSize bytes when iconOffset > 0
    int associationCount = 0;
    FileAssociation* associations = nullptr;
    int languageCount = 0;
    String* languageNames = nullptr;    // in dialog order
    int messageCount = 0;
    String* messages = nullptr;         // message-major: n * languageCount + language
};

// Reads the unpacked description from its first byte. `descriptionKey` is
// the archive header's key, which is also the checksum of the unpacked
// description. Reading past the end yields zeros, as everywhere in the
// format; the checks that find a short description are the ones below.
// Returns 0 when the description is sound, else the corrupt-archive code
// of the first failed check (25, 27, 28, 29, 21, 33, 32, 23, 30, 31).
int ReadDescriptionFields(ByteStream& stream, uint32_t descriptionKey, DescriptionFields& fields);
