// Little-endian byte building for the archive formats.
#pragma once

#include "archive/sink.h"
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

// Appends fields to a growing buffer: the sink of the archive's writers.
class ByteWriter : public ArchiveSink {
public:
    void Write(const void* p, size_t n) override { Raw(p, n); }
    using ArchiveSink::Text;
    using ArchiveSink::Raw;
    // A zero-terminated text; the text must not hold a zero itself.
    void Text(const std::string& s) { Text(s.data(), s.size()); }
    void Raw(const void* p, size_t n)
    {
        const uint8_t* b = (const uint8_t*)p;
        out_.insert(out_.end(), b, b + n);
    }
    void Raw(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    Bytes& Out() { return out_; }
    size_t Size() const { return out_.size(); }

private:
    Bytes out_;
};

} // namespace velt
