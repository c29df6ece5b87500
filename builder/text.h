// Texts: the project is UTF-8, the installer holds Windows-1252 bytes.
#pragma once

#include <optional>
#include <string>

namespace velt {

// Windows-1252 bytes of a UTF-8 text. nullopt when the text is not valid
// UTF-8 or holds a character that code page lacks (`bad` names it).
std::optional<std::string> Utf8ToCp1252(const std::string& utf8, std::string* bad = nullptr);

// UTF-8 for showing archive texts; the five bytes 1252 leaves undefined
// become U+FFFD.
std::string Cp1252ToUtf8(const std::string& text);

// Line ends made uniform: every CR LF, lone CR or lone LF becomes `eol`.
std::string NormaliseLineEnds(const std::string& text, const char* eol);

} // namespace velt
