// The file-data block: its checks once it is assembled, and the file
// records it holds. Portable.
#pragma once

#include <stdint.h>

#include "core/format.h"
#include "core/string.h"

class ArchiveSink;

// Checks the assembled block (code 55 when its checksum is not
// `payloadChecksum`) and, with PfCompressed in `productFlags`, expands it
// into `expanded` (code 60 when it does not unpack). Returns 0 or the code.
int CheckFileData(const uint8_t* block, int32_t size, uint32_t payloadChecksum,
                  uint32_t productFlags, String& expanded);

// The two halves of CheckFileData: the block's checksum (code 55), and its
// expansion (code 60).
int CheckFileDataSum(const uint8_t* block, int32_t size, uint32_t payloadChecksum);
int ExpandFileData(const uint8_t* block, int32_t size, String& expanded);

// One file record, read in place: the texts and the data point into the
// block, which must outlive the record.
struct FileRecordFields {
    const char* name = "";          // relative, with backslashes
    int32_t kind = 0;               // a DestKind
    int32_t flags = 0;              // FileFlag bits
    const uint8_t* data = nullptr;
    int32_t size = 0;               // the file's entry of the stored sizes
    uint32_t checksum = 0;          // as stored
    DateTime time;                  // month 0: no time
    const char* text = "";          // shortcut name, font name or version text
    const char* icon = "";          // only with a shortcut flag
};

// Reads the record at `cursor` (which moves past it, to at most `end`) and
// checks it in the installer's order: an empty name (code 70), a record
// running past the end of the block (code 53), with PfChecksums data that
// does not match its checksum (code 100), an unknown destination kind
// (code 110) and the overwrite mode 4 (code 112). Returns 0 or the code.
int ReadFileRecord(const uint8_t*& cursor, const uint8_t* end, int32_t storedSize,
                   uint32_t productFlags, FileRecordFields& record);

// Writes `record` in the layout ReadFileRecord reads: its data is the
// stored size's `size` bytes at `data`.
void WriteFileRecord(ArchiveSink& out, const FileRecordFields& record);
