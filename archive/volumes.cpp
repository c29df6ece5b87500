#include "archive/volumes.h"

#include "archive/corrupt.h"
#include "archive/file_data.h"

String VolumeFileName(const char* baseName, int number)
{
    return String::Formatted("%s%d.VLT", baseName, number);
}

int JoinVolumes(String& block, int32_t payloadSize, VolumeReader& volumes)
{
    for (int number = kFirstVolumeNumber; block.Length() < payloadSize; number++) {
        int32_t assembled = block.Length();
        if (!volumes.Open(number, assembled))
            return kVolumeMissing;
        int64_t size = volumes.Size();
        if (size <= 0)
            return kVolumeEmpty;
        // A volume that holds more than the block misses can only end in
        // code 53; it is not read into memory first.
        if (size > payloadSize - assembled)
            return kCorruptPayloadLength;
        char* room = block.Grow((int)size);
        if (!volumes.Read(room, (int32_t)size))
            return kCorruptVolumeUnreadable;
    }
    return block.Length() == payloadSize ? 0 : kCorruptPayloadLength;
}

int AssembleFileDataBlock(const uint8_t* sectionPart, int32_t inSection, int32_t payloadSize,
                          uint32_t payloadChecksum, VolumeReader& volumes, String& joined,
                          const uint8_t*& block)
{
    block = sectionPart;
    if (inSection < payloadSize) {
        joined.Assign(sectionPart, inSection);
        if (int code = JoinVolumes(joined, payloadSize, volumes))
            return code;
        block = (const uint8_t*)joined.CStr();
    }
    return CheckFileDataSum(block, payloadSize, payloadChecksum);
}
