// The archive container as the running installer meets it: its own file,
// the `.velt` section as the system loader mapped it, the header and the
// packed description, the file-data block (from the section and the volume
// files), and the uninstaller image, which is the program's file with the
// archive section cut out.
//
// The archive's format and its checks are archive/'s, shared with the
// builder; here every check that finds damage ends the program with the
// corrupt-archive report (ArchiveCorrupt). The ...Fields/Walk... forms
// return the code instead, for callers that must not end.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "archive/description.h"
#include "archive/header.h"
#include "archive/section.h"
#include "core/byte_stream.h"
#include "core/file.h"
#include "core/string.h"

// The archive as the running program opened it.
struct OpenedArchive {
    ArchiveHeader header;               // the header words, read by LoadDescription
    const uint8_t* sectionBase = nullptr;   // the section as the loader mapped it
    int32_t sectionLength = 0;          // how much of it the image holds
    String fileDataBlock;               // joined or expanded file data, when not in place
};

// The archive cursor: after AssembleFileData and ExpandAssembledFileData,
// the next file record of the complete, expanded file-data block, and the
// end of that block.
struct ArchiveCursor {
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;
};

// The program's path as the process command line gives it: the quoted
// first word, or the text up to the first space, with ".EXE" added when
// the file name has no full stop.
String OwnPathFromCommandLine(const char* commandLine);
// Opens the program's own file for reading. Failure is fatal.
void OpenOwnFile(File& file);

// The PE walk of `file` to its archive section. Returns 0, a
// corrupt-archive code (43, 44, 9, 10), or kNoArchiveSection.
int WalkToArchiveSection(File& file, ArchiveSection& section);
// WalkToArchiveSection on the program's file, then finds the section as
// the loader mapped it (archive.sectionBase and sectionLength). A file
// without an archive section ends with the "no installation archive" text.
ArchiveSection LocateArchive(File& file, OpenedArchive& archive);

// Reads the header from the mapped section into archive.header and returns
// the unpacked description.
void LoadDescription(OpenedArchive& archive, ByteStream& description);

// The uninstaller image from the program's file, checked against the
// header's stub checksum, with the description's icon. Returns 0 or a corrupt-archive code (35, 40, 42).
int BuildUninstallerImageFields(File& file, const ArchiveSection& section,
                                const OpenedArchive& archive,
                                const DescriptionFields& description, String& image);
String BuildUninstallerImage(File& file, const ArchiveSection& section,
                             const OpenedArchive& archive, const DescriptionFields& description);

// Reading the file-data block: the archive, its description, and how a
// volume that is asked for shows.
struct FileDataSource {
    OpenedArchive& archive;
    const DescriptionFields& description;
    void (*progress)(int position);     // the bar position before each volume is read
    UINT cancelExitCode;                // the code of a confirmed Cancel at a volume prompt
};
// Puts the complete and checked file-data block behind the cursor, joining
// the volume files when the section holds only its start.
void AssembleFileData(const FileDataSource& source, ArchiveCursor& cursor);
// With PfCompressed, expands the block behind the cursor in its place.
void ExpandAssembledFileData(const FileDataSource& source, ArchiveCursor& cursor);
