// The full-screen background window and its helpers: the picture kept as a
// device-independent bitmap and the gradient fill.
//
// The window is created at start with the system's colours; the installation
// description or the uninstall registration later sets the title, colours
// and picture below, then calls RedrawBackground().
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/string.h"

// A device-independent bitmap held as one buffer: the information header,
// the colour table and the pixel bits, as in a BMP file without its 14-byte
// file header. Width 0 means empty.
class DibImage {
public:
    // Reads a BMP file ("BM" mark and file header first). Returns 1 when the
    // file opened and its header was accepted; otherwise 0 and the image is
    // empty.
    BYTE LoadFile(const char* path);
    // Takes a copy of a BMP without its file header. Returns 0 for a null
    // pointer, a count below 1 or a rejected header (the image is then empty).
    BYTE SetBytes(const void* bytes, int count);
    // Writes the image as a BMP file. Returns 0 when the file cannot be created.
    BYTE SaveFile(const char* path) const;
    BYTE IsEmpty() const { return width_ == 0; }
    void Clear();
    // Stretches the whole image over rect (both edges inclusive).
    void Paint(HDC dc, const RECT& rect, DWORD rasterOperation) const;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    uint32_t BitsOffset() const { return bitsOffset_; }
    uint32_t Colours() const { return colours_; }
    uint16_t BitCount() const { return bitCount_; }
    const String& Bytes() const { return buffer_; }

private:
    // Takes the fields from the header in buffer_; a header that is not a
    // 12- or 40-byte one empties the image. Returns 1 when accepted.
    BYTE ParseHeader();

    String buffer_;             // header, colour table and pixel bits
    int32_t width_ = 0;         // pixels; 0 = empty
    int32_t height_ = 0;        // pixels as stored; negative = top-down
    uint32_t bitsOffset_ = 0;   // offset of the pixel bits in buffer_
    uint32_t colours_ = 0;      // colour-table entries
    uint16_t bitCount_ = 0;     // bits per pixel
};

// The look of the background, set before RedrawBackground().
struct BackgroundLook {
    String displayTitle;            // written at the top left unless blank
    COLORREF titleColor = 0;        // title text
    COLORREF topColor = 0;          // gradient top, and the flat colour
    COLORREF bottomColor = 0;       // gradient bottom
    BYTE monoColor = 1;             // non-zero: flat topColor, no gradient
    DibImage image;                 // painted instead of any colour when set
};
// The look the window paints. Process-wide: the window procedure paints it
// whenever the system asks, from inside the system's calls, where no run
// can be handed to it. The entry sets the start colours; the description
// or the uninstall registration then sets the product's.
extern BackgroundLook Background;

// Registers "VLT Window Class" once and creates the maximised pop-up window.
// Failure is fatal. Returns the window.
HWND CreateBackgroundWindow(HINSTANCE instance, HWND owner);
// Repaints the whole background window (erase included), if it exists.
void RedrawBackground();

// The erase step of the window: picture, flat colour or gradient over rect.
void EraseBackground(HDC dc, const RECT& rect);
// The title step: writes Background.displayTitle in the largest size from
// 26 points down to 6 that fits the width of rect.
void PaintTitle(HDC dc, const RECT& rect);

// Vertical gradient from top (first row) to bottom (last row) over rect.
// Uses GradientFill when the system offers it, else coloured bands.
void PaintGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
// The two ways PaintGradient works, callable on their own. The first returns
// 0 when GradientFill is not available (nothing is painted then).
BYTE PaintLinkedGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
void PaintBandedGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
