// Where the archive's writers put their bytes, with the format's units on
// top: little-endian words and zero-terminated texts. The builder supplies
// the buffer; the stub writes no archive. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "archive/format.h"
#include "core/format.h"
#include "core/string.h"

class ArchiveSink {
public:
    virtual void Write(const void* bytes, size_t count) = 0;

    void Int(uint32_t value)
    {
        uint8_t b[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16),
                        (uint8_t)(value >> 24)};
        Write(b, 4);
    }
    void Word(uint16_t value)
    {
        uint8_t b[2] = {(uint8_t)value, (uint8_t)(value >> 8)};
        Write(b, 2);
    }
    void Byte(uint8_t value) { Write(&value, 1); }
    // A text with its terminator; the text holds no zero itself.
    void Text(const char* text, size_t length) { Write(text, length); Byte(0); }
    void Text(const String& text) { Text(text.CStr(), (size_t)text.Length()); }
    void Raw(const String& bytes) { Write(bytes.CStr(), (size_t)bytes.Length()); }
    void Date(const DateTime& date)
    {
#define VELT_WRITE_WORD_(name) Int((uint32_t)date.name);
        VELT_DATE_WORDS(VELT_WRITE_WORD_)
#undef VELT_WRITE_WORD_
    }

protected:
    ~ArchiveSink() = default;
};
