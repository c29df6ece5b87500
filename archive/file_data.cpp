#include "archive/file_data.h"

#include <string.h>

#include "archive/codec.h"
#include "archive/corrupt.h"
#include "archive/format.h"
#include "archive/sink.h"
#include "core/checksum.h"

int CheckFileDataSum(const uint8_t* block, int32_t size, uint32_t payloadChecksum)
{
    return Checksum(block, size) == payloadChecksum ? 0 : kCorruptPayloadChecksum;
}

int ExpandFileData(const uint8_t* block, int32_t size, String& expanded)
{
    // Unpack leaves its input alone, so a mapped block can be its input.
    uint8_t* data = (uint8_t*)block;
    int32_t length = size;
    if (!Unpack(data, length))
        return kCorruptPayloadUnpack;
    expanded.Adopt(data, length);
    return 0;
}

int CheckFileData(const uint8_t* block, int32_t size, uint32_t payloadChecksum,
                  uint32_t productFlags, String& expanded)
{
    if (int code = CheckFileDataSum(block, size, payloadChecksum))
        return code;
    return productFlags & PfCompressed ? ExpandFileData(block, size, expanded) : 0;
}

namespace {

// A bounded reader of the block: a read that would cross the end leaves
// the cursor where it was and marks the record as running past it.
struct RecordReader {
    const uint8_t*& cursor;
    const uint8_t* end;
    bool overrun;

    const uint8_t* Take(int64_t count)
    {
        if (overrun || count < 0 || count > end - cursor) {
            overrun = true;
            return nullptr;
        }
        const uint8_t* at = cursor;
        cursor += count;
        return at;
    }

    int32_t Int()
    {
        const uint8_t* p = Take(4);
        return p ? (int32_t)((uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16)
                             | ((uint32_t)p[3] << 24))
                 : 0;
    }

    const char* Text()
    {
        const uint8_t* zero =
            overrun || cursor >= end ? nullptr : (const uint8_t*)memchr(cursor, 0, end - cursor);
        if (!zero) {
            overrun = true;
            return "";
        }
        const char* text = (const char*)cursor;
        cursor = zero + 1;
        return text;
    }
};

}  // namespace

int ReadFileRecord(const uint8_t*& cursor, const uint8_t* end, int32_t storedSize,
                   uint32_t productFlags, FileRecordFields& record)
{
    RecordReader in = {cursor, end, false};
    record = FileRecordFields();
    record.name = in.Text();
    if (!in.overrun && !*record.name)
        return kCorruptFileNameEmpty;
    record.kind = in.Int();
    record.flags = in.Int();
    record.size = storedSize;
    record.data = in.Take(storedSize);
    record.checksum = (uint32_t)in.Int();
#define VELT_ADDRESS_(name) &record.time.name,
    int32_t* time[] = {VELT_DATE_WORDS(VELT_ADDRESS_)};
#undef VELT_ADDRESS_
    for (int32_t* field : time)
        *field = in.Int();
    record.text = in.Text();
    if (record.flags & (FfDesktopShortcut | FfProgramsShortcut))
        record.icon = in.Text();
    if (in.overrun)
        return kCorruptPayloadLength;
    if ((productFlags & PfChecksums) && Checksum(record.data, record.size) != record.checksum)
        return kCorruptFileChecksum;
    if (!IsDestKind(record.kind))
        return kCorruptDestKind;
    if ((record.flags & FfOverwriteMask) == 0x04)
        return kCorruptOverwriteMode;
    return 0;
}

void WriteFileRecord(ArchiveSink& out, const FileRecordFields& record)
{
    out.Text(record.name, strlen(record.name));
    out.Int((uint32_t)record.kind);
    out.Int((uint32_t)record.flags);
    out.Write(record.data, (size_t)record.size);
    out.Int(record.checksum);
    out.Date(record.time);
    out.Text(record.text, strlen(record.text));
    if (record.flags & (FfDesktopShortcut | FfProgramsShortcut))
        out.Text(record.icon, strlen(record.icon));
}
