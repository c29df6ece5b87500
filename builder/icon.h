// The uninstaller's icon: the 32x32 256-colour image of a .ico file.
#pragma once

#include "builder/bytes.h"

#include <optional>
#include <span>
#include <string>

namespace velt {

// The 2216-byte 32x32 8-bit image of an icon file (header, 256-entry
// palette, pixels, mask). A shorter palette is widened to 256 entries.
// nullopt with `error` set when the file is no icon or lacks that image.
std::optional<Bytes> IconImageFromIco(std::span<const uint8_t> ico, std::string& error);

} // namespace velt
