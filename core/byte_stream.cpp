#include "core/byte_stream.h"

#include <string.h>

bool ByteStream::Seek(int32_t position)
{
    if (position < 0)
        return false;
    position_ = position;
    return true;
}

int32_t ByteStream::Remaining() const
{
    return position_ < Length() ? Length() - position_ : 0;
}

char* ByteStream::Advance(int32_t n)
{
    if (n < 0 || position_ < 0 || n > String::MaxLength - position_)
        return nullptr;
    int32_t end = position_ + n;
    if (end > Length())
        EnsureLength(end);
    position_ = end;
    return Data() + end - n;
}

bool ByteStream::Fill(uint8_t b, int32_t n)
{
    if (n < 1)
        return false;
    char* area = Advance(n);
    if (area == nullptr)
        return false;
    memset(area, b, (size_t)n);
    return true;
}

bool ByteStream::CopyWithin(int32_t src, int32_t n)
{
    // n > position_ - src is src + n > position_ without the overflow.
    if (src < 0 || n < 1 || position_ < 0 || position_ > Length() || n > position_ - src)
        return false;
    char* area = Advance(n);                // may move the block: take src after it
    if (area == nullptr)
        return false;
    memcpy(area, Data() + src, (size_t)n);
    return true;
}

bool ByteStream::Write(const void* bytes, int32_t n)
{
    if (n < 1 || bytes == nullptr)
        return false;
    char* area = Advance(n);
    if (area == nullptr)
        return false;
    memcpy(area, bytes, (size_t)n);
    return true;
}

int32_t ByteStream::ReadBytes(void* out, int32_t n)
{
    if (n < 1 || out == nullptr)
        return 0;
    int32_t available = Remaining();
    if (available > n)
        available = n;
    if (available > 0) {
        memcpy(out, Data() + position_, (size_t)available);
        position_ += available;
    }
    memset((char*)out + available, 0, (size_t)(n - available));
    return available;
}

int32_t ByteStream::ReadInt()
{
    uint8_t bytes[4];
    ReadBytes(bytes, 4);
    return (int32_t)((uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16)
                     | ((uint32_t)bytes[3] << 24));
}

uint8_t ByteStream::ReadByte()
{
    uint8_t b;
    ReadBytes(&b, 1);
    return b;
}

String ByteStream::ReadText()
{
    int32_t available = Remaining();
    if (available == 0)
        return String();
    const char* start = Data() + position_;
    const char* zero = (const char*)memchr(start, 0, (size_t)available);
    int32_t count = zero ? (int32_t)(zero - start) : available;
    position_ += zero ? count + 1 : count;
    return String(start, count);
}
