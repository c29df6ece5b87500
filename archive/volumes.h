// The volume files: an installer built with a volume size holds only the
// start of the file-data block in its section; the rest follows in volume
// files beside it, numbered from 2 (<volume base name>2.VLT, 3.VLT, ...),
// each but the last as long as the volume size. Here are their names and
// how the block is joined from them and checked; where a volume's bytes
// come from is the caller's (the installer asks the user for a missing
// one, veltpack verify reports it). Portable.
#pragma once

#include <stdint.h>

#include "core/string.h"

// The number of the first volume file; the installer itself is the first
// part of the block.
constexpr int kFirstVolumeNumber = 2;

// Volume `number`'s file name: the description's volume base name, the
// number in decimal and ".VLT".
String VolumeFileName(const char* baseName, int number);

// The volumes as JoinVolumes reads them, one after the other.
class VolumeReader {
public:
    // Opens volume `number` when `assembled` bytes of the block are joined;
    // no when it is missing.
    virtual bool Open(int number, int32_t assembled) = 0;
    // The open volume's length in bytes; 0 or less when it is empty or its
    // length cannot be had.
    virtual int64_t Size() = 0;
    // Reads the whole open volume, `size` bytes, into `into`.
    virtual bool Read(void* into, int32_t size) = 0;

protected:
    ~VolumeReader() = default;
};

// Findings of JoinVolumes that are no corrupt-archive code: the volume
// that was opened last is missing, or is empty.
constexpr int kVolumeMissing = -3;
constexpr int kVolumeEmpty = -4;

// Appends volumes 2, 3, ... to `block`, which holds the section's part of
// the file-data block, until it is `payloadSize` long. Each volume is
// checked before it is read: empty (kVolumeEmpty), or holding more than
// the block still misses (code 53; it is not read); a volume that cannot
// be read gives code 50. Returns 0 or the first finding.
int JoinVolumes(String& block, int32_t payloadSize, VolumeReader& volumes);

// The complete file-data block, checked: in place at `sectionPart` when
// the section holds all of it (`inSection` of `payloadSize` bytes), else
// those bytes joined with the volumes in `joined`. `block` then points at
// it, and its checksum is checked against `payloadChecksum` (code 55).
// Returns 0 or the first finding.
int AssembleFileDataBlock(const uint8_t* sectionPart, int32_t inSection, int32_t payloadSize,
                          uint32_t payloadChecksum, VolumeReader& volumes, String& joined,
                          const uint8_t*& block);
