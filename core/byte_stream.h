// The positioned byte buffer of the foundation. Portable: no windows.h.
#pragma once

#include "core/string.h"

#include <stdint.h>

// A String with a read/write position. The decoder writes through Advance,
// Fill, CopyWithin and Write; the description reader and in-memory files
// read through ReadInt, ReadByte, ReadText and ReadBytes, where reading past
// the end yields zero bytes (it never fails, and never moves the position
// beyond the end).
class ByteStream : public String {
public:
    ByteStream() = default;
    explicit ByteStream(const String& content) : String(content) {}

    int32_t Position() const { return position_; }
    // Any position >= 0, also beyond the end (a write there extends the
    // content). False for a negative position.
    bool Seek(int32_t position);
    int32_t Remaining() const;                  // bytes from the position to the end, >= 0
    void CutAtPosition() { SetLength(position_); }

    // Moves the position n bytes on, raising the length to the new position
    // when it lies beyond it, and returns the n bytes that end there. Null
    // (nothing changed) for n < 0 or a position beyond String::MaxLength.
    char* Advance(int32_t n);
    // n copies of b at the position. False for n < 1.
    bool Fill(uint8_t b, int32_t n);
    // Copies the n bytes at src to the position. False unless 0 <= src,
    // n >= 1, src + n <= position <= length: the source never overlaps the
    // bytes written.
    bool CopyWithin(int32_t src, int32_t n);
    // False for n < 1 or null bytes.
    bool Write(const void* bytes, int32_t n);

    int32_t ReadInt();                          // little-endian, signed
    uint8_t ReadByte();
    String ReadText();                          // up to a zero byte, which is consumed
    // Copies n bytes to out, zeros where the content ends; returns the
    // number of bytes that came from the content.
    int32_t ReadBytes(void* out, int32_t n);

private:
    int32_t position_ = 0;                      // next byte read or written
};
