#include "builder/text.h"

#include <cstdint>

namespace velt {

namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the five undefined bytes.
const char32_t kHighControls[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

bool DecodeUtf8(const std::string& s, size_t& i, char32_t& c)
{
    unsigned char b = (unsigned char)s[i];
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size())
        return false;
    c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; k++) {
        unsigned char t = (unsigned char)s[i + k];
        if ((t & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (t & 0x3F);
    }
    static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;                               // overlong or not a character
    i += extra + 1;
    return true;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back((char)c);
    } else if (c < 0x800) {
        out.push_back((char)(0xC0 | (c >> 6)));
        out.push_back((char)(0x80 | (c & 0x3F)));
    } else {
        out.push_back((char)(0xE0 | (c >> 12)));
        out.push_back((char)(0x80 | ((c >> 6) & 0x3F)));
        out.push_back((char)(0x80 | (c & 0x3F)));
    }
}

} // namespace

std::optional<std::string> Utf8ToCp1252(const std::string& utf8, std::string* bad)
{
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t start = i;
        char32_t c;
        if (!DecodeUtf8(utf8, i, c)) {
            if (bad)
                *bad = "invalid UTF-8";
            return std::nullopt;
        }
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back((char)c);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; k++)
            if (kHighControls[k] == c)
                found = k;
        if (found < 0) {
            if (bad)
                *bad = "the character \"" + utf8.substr(start, i - start)
                     + "\" has no Windows-1252 code";
            return std::nullopt;
        }
        out.push_back((char)(0x80 + found));
    }
    return out;
}

std::string Cp1252ToUtf8(const std::string& text)
{
    std::string out;
    for (unsigned char b : text) {
        char32_t c = b;
        if (b >= 0x80 && b < 0xA0)
            c = kHighControls[b - 0x80] ? kHighControls[b - 0x80] : 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::string NormaliseLineEnds(const std::string& text, const char* eol)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                i++;
            out += eol;
        } else if (text[i] == '\n') {
            out += eol;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

} // namespace velt
