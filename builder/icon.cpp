#include "builder/icon.h"

namespace velt {

namespace {

const size_t kBitmapHeaderSize = 40;
const size_t kPaletteBytes = 256 * 4;
const size_t kPixelBytes = 32 * 32;               // 8 bits a pixel, rows of 32
const size_t kMaskBytes = 32 * 4;                 // 1 bit a pixel, rows padded to 4

} // namespace

std::optional<Bytes> IconImageFromIco(std::span<const uint8_t> ico, std::string& error)
{
    if (ico.size() < 6 || Load16(ico.data()) != 0 || Load16(ico.data() + 2) != 1) {
        error = "not an icon file (.ico)";
        return std::nullopt;
    }
    size_t count = Load16(ico.data() + 4);
    if (ico.size() < 6 + 16 * count) {
        error = "the icon file is truncated";
        return std::nullopt;
    }
    bool sawPng = false;
    for (size_t i = 0; i < count; i++) {
        const uint8_t* entry = ico.data() + 6 + 16 * i;
        uint32_t size = Load32(entry + 8), offset = Load32(entry + 12);
        if (entry[0] != 32 || entry[1] != 32 || offset > ico.size() || size > ico.size() - offset
            || size < kBitmapHeaderSize)
            continue;
        const uint8_t* bmp = ico.data() + offset;
        if (Load32(bmp) == 0x474E5089u) {         // "\x89PNG"
            sawPng = true;
            continue;
        }
        if (Load32(bmp) != kBitmapHeaderSize || Load32(bmp + 4) != 32 || Load32(bmp + 8) != 64
            || Load16(bmp + 14) != 8 || Load32(bmp + 16) != 0)
            continue;
        uint32_t colours = Load32(bmp + 32);
        if (colours == 0 || colours > 256)
            colours = 256;
        size_t need = kBitmapHeaderSize + colours * 4 + kPixelBytes + kMaskBytes;
        if (size < need)
            continue;
        Bytes image(bmp, bmp + kBitmapHeaderSize);
        Store32(image.data() + 20, (uint32_t)(kPixelBytes + kMaskBytes));   // biSizeImage
        Store32(image.data() + 32, 0);                                      // all 256 colours
        image.insert(image.end(), bmp + kBitmapHeaderSize, bmp + kBitmapHeaderSize + colours * 4);
        image.resize(kBitmapHeaderSize + kPaletteBytes, 0);
        const uint8_t* rest = bmp + kBitmapHeaderSize + colours * 4;
        image.insert(image.end(), rest, rest + kPixelBytes + kMaskBytes);
        return image;
    }
    error = sawPng ? "the icon's 32x32 image is PNG-compressed; a 256-colour bitmap image is needed"
                   : "the icon file has no 32x32 image with 256 colours";
    return std::nullopt;
}

} // namespace velt
