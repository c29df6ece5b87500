// The archive container: the program's own file, the `.velt` section that
// holds the archive, its header and packed description, the file-data block
// (from the section and the volume files), and the uninstaller image, which
// is the program's file with the archive section cut out.
//
// The archive is read where the system loader mapped the section, never
// from the file. Every step that finds damage ends the program with a
// corrupt-archive report (ArchiveCorrupt); the ...Fields/Find... forms
// return the code instead, for callers that must not end.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/file.h"
#include "core/format.h"
#include "core/string.h"

class ByteStream;

constexpr uint32_t kArchiveMagic = 12345678;
constexpr int32_t kArchiveVersion = 620;        // format version x 100
constexpr int kArchiveHeaderSize = 24;
constexpr int kSectionEntrySize = 40;
extern const char kArchiveSectionName[];        // ".velt"

// The archive section as the PE walk found it.
struct ArchiveSection {
    int index = -1;                 // slot in the section table
    uint32_t peOffset = 0;          // h: offset of the PE signature
    int sectionCount = 0;           // entries in the section table
    uint32_t tableOffset = 0;       // file offset of the section table
    uint32_t virtualAddress = 0;    // relative to the image base
    uint32_t rawSize = 0;           // Z: the section's length in the file
    uint32_t rawOffset = 0;         // R: the section's offset in the file
};

// The header words, remembered by LoadDescription.
struct ArchiveHeader {
    int32_t descriptionSize = 0;    // bytes of the packed description
    uint32_t descriptionKey = 0;    // XOR key, and checksum of the unpacked description
    uint32_t stubChecksum = 0;      // checksum of the file's bytes [0, R)
    int32_t sectionDataSize = 0;    // end of this section's archive data
    const uint8_t* sectionBase = nullptr;   // the section as mapped
    int32_t sectionLength = 0;      // mapped bytes that belong to the archive
    int32_t dataOffset = 0;         // P: start of the file-data block in the section
};
extern ArchiveHeader ArchiveInfo;

// The archive cursor: the next byte to read, and the end of what may be
// read. A read that would cross the end ends the program with the
// corrupt-archive code given to SetArchiveCursor.
extern const uint8_t* ArchiveCursor;
extern const uint8_t* ArchiveEnd;
void SetArchiveCursor(const uint8_t* start, const uint8_t* end, int overrunCode);

int32_t ReadArchiveInt();
// The NUL-terminated text at the cursor, in place; the cursor moves past
// its NUL.
const char* ReadArchiveString();
void ReadArchiveBytes(String& out, int count);
void ReadArchiveDate(DateTime& out);

// The program's path as the process command line gives it: the quoted
// first word, or the text up to the first space, with ".EXE" added when
// the file name has no full stop.
String OwnPathFromCommandLine(const char* commandLine);
// Opens the program's own file for reading. Failure is fatal.
void OpenOwnFile(File& file);

// The PE walk to the archive section. Returns 0, or a corrupt-archive code
// (43, 44, 9, 10), or -1 when the file has no archive section.
int FindArchiveSection(File& file, ArchiveSection& section);
// FindArchiveSection, then points the cursor at the mapped section. A file
// without an archive section ends with the "no installation archive" text.
ArchiveSection LocateArchive(File& file);

// Reads the header at the cursor and returns the unpacked description.
void LoadDescription(ByteStream& description);

// The uninstaller image from the program's file. Returns 0 or a
// corrupt-archive code (35, 40, 42).
int BuildUninstallerImageFields(File& file, const ArchiveSection& section, String& image);
String BuildUninstallerImage(File& file, const ArchiveSection& section);

// Called with the progress bar position before each volume is read; set by
// the install sequence once its progress dialog exists.
extern void (*ArchiveProgress)(int position);

// Puts the complete, checked and expanded file-data block behind the
// cursor, joining the volume files when the section holds only its start.
void AssembleFileData();
// The file-data block after AssembleFileData and its length.
const uint8_t* FileDataStart();
int32_t FileDataLength();
