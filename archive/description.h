// The installation description as the archive holds it: read front to
// back, field by field, with every check of the installer and none of the
// effects it gives the fields (the launcher applies those). Portable.
#pragma once

#include <stdint.h>

#include "core/byte_stream.h"
#include "core/format.h"
#include "core/string.h"

class ArchiveSink;

// The description's fields, each list in stream order. The stub's record
// below, the builder's (builder/format.h), the reader and the writer
// (description.cpp) and the builder's conversion between the records all
// follow these lists, so that a field joins the format in one place; the
// checks between the groups are the reader's.
//
// Fields 7 to 18: the product's texts and directories.
#define VELT_PRODUCT_TEXTS(X) \
    X(publisher) X(productName) X(startMenuFolder) X(defaultDirectory) \
    X(displayVersion) X(productRegistry) X(licenseText) X(readmeText) \
    X(uninstallSubdir) X(displayName) X(volumeBaseName) X(uninstallerName)
// Fields 23 to 27: the batch texts.
#define VELT_BATCH_TEXTS(X) \
    X(preInstallBatch) X(postInstallBatch) X(finalBatch) X(uninstallBatch1) X(uninstallBatch2)
// An association record: its flag word, then these texts.
#define VELT_ASSOCIATION_TEXTS(X) \
    X(extension) X(fileType) X(description) X(verb) X(command) X(language)

// Every field of the record but the four arrays, in stream order, by how a
// record holds it: VALUE(type, name) the same in every record, TEXT(name)
// a text, BYTES(name) raw bytes (a String here, a byte vector in the
// builder). The arrays stand in the stream as follows: the file count and
// the stored sizes right after archiveDate; after the last field the
// association count and records, the language count (one byte), the
// message count, the language names, the messages, and the end marker.
// (The tests' Python reader takes this list from here: tests/lib.)
#define VELT_DESCRIPTION_FIELDS(VALUE, TEXT, BYTES) \
    VALUE(uint32_t, productFlags) \
    VALUE(DateTime, archiveDate)            /* the uninstaller's file time */ \
    VALUE(int32_t, payloadSize)             /* length of the whole file-data block */ \
    VALUE(uint32_t, payloadChecksum) \
    VELT_PRODUCT_TEXTS(TEXT) \
    VALUE(uint32_t, titleColor)             /* 0x00BBGGRR */ \
    VALUE(uint32_t, topColor) \
    VALUE(uint32_t, bottomColor) \
    BYTES(backgroundBitmap)                 /* a bitmap file image, or empty */ \
    TEXT(masterProduct)                     /* only with PfNeedsMaster */ \
    VELT_BATCH_TEXTS(TEXT) \
    VALUE(uint8_t, buildDay)                /* a calendar date nobody uses */ \
    VALUE(uint8_t, buildMonth) \
    VALUE(int16_t, buildYear) \
    VALUE(int32_t, iconOffset)              /* 0: the uninstaller keeps the stub's icon */ \
    BYTES(uninstallerIcon)                  /* kUninstallerIconSize bytes when iconOffset > 0 */

// One file association, in the description's field order.
struct FileAssociation {
    int32_t flags = 0;          // 0x01: the verb becomes the type's default
    // extension: with or without the leading "."; fileType: the key under
    // HKEY_CLASSES_ROOT, empty for the extension's own; description: the
    // type's display text; verb: the key under the type's "shell" key;
    // command: the command line, with the install-time macros; language:
    // non-empty for only this chosen language.
#define VELT_DECLARE_TEXT_(name) String name;
    VELT_ASSOCIATION_TEXTS(VELT_DECLARE_TEXT_)
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
#define VELT_DECLARE_VALUE_(type, name) type name{};
    VELT_DESCRIPTION_FIELDS(VELT_DECLARE_VALUE_, VELT_DECLARE_TEXT_, VELT_DECLARE_TEXT_)
#undef VELT_DECLARE_VALUE_
    // The arrays, each with its count.
    int32_t fileCount = 0;
    int32_t* storedSizes = nullptr;     // fileCount entries: each file's data length
    int associationCount = 0;
    FileAssociation* associations = nullptr;
    int languageCount = 0;
    String* languageNames = nullptr;    // in dialog order
    int messageCount = 0;
    String* messages = nullptr;         // message-major: n * languageCount + language
};
#undef VELT_DECLARE_TEXT_

// Reads the unpacked description from its first byte. `descriptionKey` is
// the archive header's key, which is also the checksum of the unpacked
// description. Reading past the end yields zeros, as everywhere in the
// format; the checks that find a short description are the ones below.
// Returns 0 when the description is sound, else the corrupt-archive code
// of the first failed check (25, 27, 28, 29, 21, 33, 32, 23, 30, 31).
int ReadDescriptionFields(ByteStream& stream, uint32_t descriptionKey, DescriptionFields& fields);

// Writes the fields in the order ReadDescriptionFields reads them, without
// its checks (the builder makes those first). The arrays are written as
// their counts say.
void WriteDescriptionFields(ArchiveSink& out, const DescriptionFields& fields);
