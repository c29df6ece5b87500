// Little-endian byte building and reading for the archive formats.
#pragma once

#include "builder/format.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace velt {

using Bytes = std::vector<uint8_t>;

inline uint32_t Load32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint16_t Load16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline void Store32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}
inline void Store16(uint8_t* p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }

// Appends fields to a growing buffer.
class ByteWriter {
public:
    void Int(uint32_t v) { uint8_t b[4]; Store32(b, v); Raw(b, 4); }
    void Word(uint16_t v) { uint8_t b[2]; Store16(b, v); Raw(b, 2); }
    void Byte(uint8_t v) { out_.push_back(v); }
    // A zero-terminated text; the text must not hold a zero itself.
    void Text(const std::string& s) { Raw(s.data(), s.size()); out_.push_back(0); }
    void Raw(const void* p, size_t n)
    {
        const uint8_t* b = (const uint8_t*)p;
        out_.insert(out_.end(), b, b + n);
    }
    void Raw(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void Date(const DateTime& d)
    {
        for (int32_t v : {d.year, d.month, d.day, d.hour, d.minute, d.second})
            Int((uint32_t)v);
    }
    Bytes& Out() { return out_; }
    size_t Size() const { return out_.size(); }

private:
    Bytes out_;
};

// Reads fields the way the stub does: past the end every byte reads as zero
// and a text ends at the end of the buffer. `Overrun()` tells whether any
// read crossed the end, which the stub itself cannot see.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    uint8_t Byte()
    {
        if (pos_ < data_.size())
            return data_[pos_++];
        overrun_ = true;
        return 0;
    }
    uint32_t Int()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++)
            v |= (uint32_t)Byte() << (8 * i);
        return v;
    }
    int16_t Word() { uint16_t lo = Byte(); return (int16_t)(lo | (Byte() << 8)); }
    std::string Text()
    {
        std::string s;
        while (pos_ < data_.size()) {
            uint8_t c = data_[pos_++];
            if (c == 0)
                return s;
            s.push_back((char)c);
        }
        overrun_ = true;
        return s;
    }
    Bytes Raw(size_t n)
    {
        Bytes out(n, 0);
        size_t have = pos_ < data_.size() ? std::min(n, data_.size() - pos_) : 0;
        if (have)
            std::memcpy(out.data(), data_.data() + pos_, have);
        if (have < n)
            overrun_ = true;
        pos_ += have;
        return out;
    }
    DateTime Date()
    {
        DateTime d;
        for (int32_t* f : {&d.year, &d.month, &d.day, &d.hour, &d.minute, &d.second})
            *f = (int32_t)Int();
        return d;
    }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
    bool Overrun() const { return overrun_; }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

} // namespace velt
