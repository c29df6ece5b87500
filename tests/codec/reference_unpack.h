#pragma once
// The decoder read off its rules one bit at a time, through BitReader and
// ByteStream, with nothing made fast. Unpack must agree with it on every
// input: the tests and the fuzz target compare the two.

#include "core/byte_stream.h"
#include "archive/codec.h"

#include <cstdint>
#include <cstring>
#include <vector>

struct ReferenceResult {
    bool ok = false;
    std::vector<uint8_t> output;    // the expansion when ok
    int64_t bitsRead = 0;           // where the reader stood at the end
};

inline ReferenceResult ReferenceUnpack(const uint8_t* data, size_t size)
{
    ReferenceResult result;
    if (data == nullptr || size <= 4 || size < 8 || size > 0x7fffffff)
        return result;
    uint32_t magic, word;
    memcpy(&magic, data, 4);
    memcpy(&word, data + 4, 4);
    int32_t length = (int32_t)word;
    if (magic != 0x9EC72BA1u || length < 0 || length > String::MaxLength)
        return result;

    BitReader in;
    in.Attach(data, (int32_t)size);
    in.SeekBit(64);
    ByteStream out;
    out.SetLength(length);
    // Any stop fails, even one after the position already reached the
    // length: a literal run advances before its bytes are read.
    bool stopped = true;
    for (;;) {
        if (out.Position() >= length) {
            stopped = false;
            break;
        }
        // A token running past the length fails before it writes.
        uint32_t room = (uint32_t)(length - out.Position());
        if (in.ReadBit() == 0) {
            uint32_t n;
            if (!in.ReadNumber(n, 2, 2))
                break;
            uint32_t count = n + 1;
            if (count == 0 || count > room)
                break;
            char* area = out.Advance((int32_t)count);
            if (!in.ReadBits(area, (int64_t)count * 8))
                break;
        } else if (in.ReadBit() == 1) {
            uint8_t value = 0;
            in.ReadBits(&value, 8);             // missing bits leave the 0
            uint32_t n;
            if (!in.ReadNumber(n, 1, 1))
                break;
            uint32_t count = n + 3;
            if (count > room || !out.Fill(value, (int32_t)count))
                break;
        } else {
            uint32_t count, distance;
            if (!in.ReadNumber(count, 2, 1) || !in.ReadNumber(distance, 12, 2))
                break;
            count += 4;
            distance += 4;
            int64_t source = (int64_t)out.Position() - (int64_t)distance;
            if (count > room || source < 0 || !out.CopyWithin((int32_t)source, (int32_t)count))
                break;
        }
    }
    result.bitsRead = in.BitPosition();
    if (stopped || out.Position() != length)
        return result;
    result.ok = true;
    result.output.assign(out.CStr(), out.CStr() + length);
    return result;
}
