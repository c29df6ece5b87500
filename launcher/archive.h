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

#include "archive/header.h"
#include "archive/section.h"
#include "core/byte_stream.h"
#include "core/file.h"
#include "core/string.h"

// The header words, read by LoadDescription.
extern ArchiveHeader ArchiveInfo;
// The archive section as the loader mapped it, and how much of it the
// image holds.
extern const uint8_t* ArchiveSectionBase;
extern int32_t ArchiveSectionLength;

// The archive cursor: after AssembleFileData and ExpandAssembledFileData,
// the first byte of the complete, expanded file-data block, from which the
// file records are read, and the end of that block.
extern const uint8_t* ArchiveCursor;
extern const uint8_t* ArchiveEnd;

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
// the loader mapped it. A file without an archive section ends with the
// "no installation archive" text.
ArchiveSection LocateArchive(File& file);

// Reads the header from the mapped section and returns the unpacked
// description.
void LoadDescription(ByteStream& description);

// The uninstaller image from the program's file. Returns 0 or a
// corrupt-archive code (35, 40, 42).
int BuildUninstallerImageFields(File& file, const ArchiveSection& section, String& image);
String BuildUninstallerImage(File& file, const ArchiveSection& section);

// Called with the progress bar position before each volume is read; set by
// the install sequence once its progress dialog exists.
extern void (*ArchiveProgress)(int position);

// Puts the complete and checked file-data block behind the cursor, joining
// the volume files when the section holds only its start.
void AssembleFileData();
// With PfCompressed, expands the block behind the cursor in its place.
void ExpandAssembledFileData();
