// The background window: a borderless maximised pop-up that erases itself
// with a picture, a flat colour or a vertical gradient, and writes the
// product's title at its top left.
#include "ui/background.h"

#include <string.h>

#include "core/fatal.h"
#include "core/file.h"
#include "core/format.h"
#include "system/library.h"
#include "ui/program_windows.h"

BackgroundLook Background;

namespace {

const char kWindowClass[] = "VLT Window Class";
const char kTitleFace[] = "Times New Roman";
constexpr double kLargestTitlePoints = 26.0;
constexpr double kSmallestTitlePoints = 6.0;
constexpr int kFileHeaderSize = 14;

uint16_t Read16(const char* p)
{
    const unsigned char* b = (const unsigned char*)p;
    return (uint16_t)(b[0] | (b[1] << 8));
}

uint32_t Read32(const char* p)
{
    const unsigned char* b = (const unsigned char*)p;
    return b[0] | (b[1] << 8) | (b[2] << 16) | ((uint32_t)b[3] << 24);
}

void Write16(char* p, uint16_t v)
{
    p[0] = (char)v;
    p[1] = (char)(v >> 8);
}

void Write32(char* p, uint32_t v)
{
    Write16(p, (uint16_t)v);
    Write16(p + 2, (uint16_t)(v >> 16));
}

}  // namespace

// ---------------------------------------------------------------- DibImage

void DibImage::Clear()
{
    buffer_.Clear();
    width_ = height_ = 0;
    bitsOffset_ = colours_ = 0;
    bitCount_ = 0;
}

BYTE DibImage::ParseHeader()
{
    const int length = buffer_.Length();
    const char* p = buffer_.CStr();
    int32_t width = 0, height = 0;
    uint32_t colours = 0;
    uint16_t bitCount = 0;
    uint64_t bitsOffset = 0;
    uint32_t compression = BI_RGB;
    uint32_t imageSize = 0;
    uint32_t headerSize = length > 12 ? Read32(p) : 0;
    if (headerSize == 12) {
        width = Read16(p + 4);
        height = Read16(p + 6);
        bitCount = Read16(p + 10);
        colours = bitCount < 24 ? 1u << (bitCount & 31) : 0;
        bitsOffset = 12 + 3ull * colours;
    } else if (headerSize == 40 && length >= 40) {
        width = (int32_t)Read32(p + 4);
        height = (int32_t)Read32(p + 8);
        bitCount = Read16(p + 14);
        compression = Read32(p + 16);
        imageSize = Read32(p + 20);
        colours = Read32(p + 32);
        if (colours == 0 && bitCount < 24)
            colours = 1u << (bitCount & 31);
        bitsOffset = 40 + 4ull * colours;
    } else {
        Clear();
        return 0;
    }
    // The picture may come from a damaged archive or file and is handed to
    // the system's stretch routine, which trusts the header: the pixel bits
    // the header promises must lie inside the buffer.
    uint64_t available = bitsOffset <= (uint64_t)length ? length - bitsOffset : 0;
    uint64_t needed = 0;
    bool sane = width > 0 && height != 0 && height != INT32_MIN && bitsOffset <= (uint64_t)length;
    switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: sane = false;
    }
    if (sane) {
        if (compression == BI_RGB || compression == BI_BITFIELDS) {
            uint64_t stride = (((uint64_t)width * bitCount + 31) / 32) * 4;
            needed = stride * (uint64_t)(height < 0 ? -(int64_t)height : height);
            if (compression == BI_BITFIELDS)
                needed += 12;
        } else if (compression == BI_RLE8 || compression == BI_RLE4) {
            needed = imageSize;
            sane = imageSize > 0;
        } else {
            sane = false;
        }
    }
    if (!sane || needed > available) {
        Clear();
        return 0;
    }
    width_ = width;
    height_ = height;
    bitCount_ = bitCount;
    colours_ = colours;
    bitsOffset_ = (uint32_t)bitsOffset;
    return 1;
}

BYTE DibImage::SetBytes(const void* bytes, int count)
{
    if (!bytes || count < 1) {
        Clear();
        return 0;
    }
    buffer_.Assign(bytes, count);
    return ParseHeader();
}

BYTE DibImage::LoadFile(const char* path)
{
    Clear();
    File file;
    char header[kFileHeaderSize];
    if (!file.OpenForRead(path, false) || !file.Read(header, kFileHeaderSize)
        || header[0] != 'B' || header[1] != 'M')
        return 0;
    int32_t count = (int32_t)Read32(header + 2) - kFileHeaderSize;
    int size = file.Size();
    if (count < 1 || count > size - kFileHeaderSize)
        return 0;
    buffer_.Reset(count);
    if (!file.Read(buffer_.Data(), count)) {
        Clear();
        return 0;
    }
    return ParseHeader();
}

BYTE DibImage::SaveFile(const char* path) const
{
    File file;
    if (!file.Create(path, false))
        return 0;
    char header[kFileHeaderSize];
    header[0] = 'B';
    header[1] = 'M';
    Write32(header + 2, buffer_.Length() + kFileHeaderSize);
    Write32(header + 6, 0);
    Write32(header + 10, bitsOffset_ + kFileHeaderSize);
    return file.Write(header, kFileHeaderSize) && file.Write(buffer_.CStr(), buffer_.Length());
}

void DibImage::Paint(HDC dc, const RECT& rect, DWORD rasterOperation) const
{
    if (!dc || IsEmpty())
        return;
    StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left + 1, rect.bottom - rect.top + 1,
                  0, 0, width_, height_, buffer_.CStr() + bitsOffset_,
                  (const BITMAPINFO*)buffer_.CStr(), DIB_RGB_COLORS, rasterOperation);
}

// ---------------------------------------------------------------- painting

namespace {

typedef BOOL(WINAPI* GradientFillProc)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);
enum GradientLink : BYTE { GradientUntried, GradientLinked, GradientMissing };
GradientLink GradientState = GradientUntried;   // tried once per process
GradientFillProc GradientFillFunction = NULL;

void FillSolid(HDC dc, const RECT& rect, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

}  // namespace

BYTE PaintLinkedGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom)
{
    if (GradientState == GradientUntried) {
        FARPROC function;
        GradientState = LinkFunction("msimg32.dll", "GradientFill", &function) ? GradientLinked
                                                                               : GradientMissing;
        GradientFillFunction = (GradientFillProc)(void*)function;
    }
    if (GradientState != GradientLinked)
        return 0;
    TRIVERTEX vertices[2] = {
        {rect.left, rect.top, (COLOR16)(GetRValue(top) << 8), (COLOR16)(GetGValue(top) << 8),
         (COLOR16)(GetBValue(top) << 8), 0},
        {rect.right, rect.bottom, (COLOR16)(GetRValue(bottom) << 8),
         (COLOR16)(GetGValue(bottom) << 8), (COLOR16)(GetBValue(bottom) << 8), 0},
    };
    GRADIENT_RECT joint = {0, 1};
    GradientFillFunction(dc, vertices, 2, &joint, 1, GRADIENT_FILL_RECT_V);
    return 1;
}

void PaintBandedGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom)
{
    int height = rect.bottom - rect.top + 1;
    int band = height / 224;
    if (band < 1)
        band = 1;
    if (band > 3)
        band = 3;
    int bands = height / band;
    int red = GetRValue(top), green = GetGValue(top), blue = GetBValue(top);
    IntegerStepper redStep(red - GetRValue(bottom), bands);
    IntegerStepper greenStep(green - GetGValue(bottom), bands);
    IntegerStepper blueStep(blue - GetBValue(bottom), bands);
    RECT strip = rect;
    strip.right += 1;
    for (int y = rect.top; y < rect.bottom; y += band) {
        strip.top = y;
        strip.bottom = y + band;
        red -= redStep.Next();
        green -= greenStep.Next();
        blue -= blueStep.Next();
        FillSolid(dc, strip, RGB(red & 255, green & 255, blue & 255));
    }
}

void PaintGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom)
{
    if (!PaintLinkedGradient(dc, rect, top, bottom))
        PaintBandedGradient(dc, rect, top, bottom);
}

void EraseBackground(HDC dc, const RECT& rect)
{
    if (!Background.image.IsEmpty())
        Background.image.Paint(dc, rect, SRCCOPY);
    else if (Background.monoColor)
        FillSolid(dc, rect, Background.topColor);
    else
        PaintGradient(dc, rect, Background.topColor, Background.bottomColor);
}

namespace {

HFONT CreateTitleFont(HDC dc, double points)
{
    int height = -(int)(GetDeviceCaps(dc, LOGPIXELSY) * points / 72.0);
    return CreateFontA(height, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, kTitleFace);
}

// The largest size that fits the width, at 6 points however long the title.
HFONT ChooseTitleFont(HDC dc, const RECT& rect)
{
    for (double points = kLargestTitlePoints;; points -= 1.0) {
        HFONT font = CreateTitleFont(dc, points);
        if (points <= kSmallestTitlePoints)
            return font;
        HGDIOBJ previous = SelectObject(dc, font);
        SIZE extent = {0, 0};
        const String& title = Background.displayTitle;
        GetTextExtentPoint32A(dc, title.CStr(), title.Length(), &extent);
        SelectObject(dc, previous);
        if (extent.cx < rect.right)
            return font;
        DeleteObject(font);
    }
}

}  // namespace

void PaintTitle(HDC dc, const RECT& rect)
{
    if (Background.displayTitle.IsBlank())
        return;
    HFONT font = ChooseTitleFont(dc, rect);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Background.titleColor);
    TextOutA(dc, 0, 0, Background.displayTitle.CStr(), Background.displayTitle.Length());
    SelectObject(dc, previous);
    DeleteObject(font);
}

// ------------------------------------------------------------------ window

namespace {

LRESULT OnEraseBackground(HWND window, HDC dc)
{
    RECT rect;
    GetClientRect(window, &rect);
    EraseBackground(dc, rect);
    return 1;
}

LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT rect;
    GetClientRect(window, &rect);
    PaintTitle(dc, rect);
    EndPaint(window, &paint);
    return 0;
}

LRESULT CALLBACK BackgroundProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return OnEraseBackground(window, (HDC)wParam);
    case WM_PAINT:
        return OnPaint(window);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

BYTE ClassRegistered = 0;

}  // namespace

HWND CreateBackgroundWindow(HINSTANCE instance, HWND owner)
{
    if (!ClassRegistered) {
        WNDCLASSA windowClass;
        memset(&windowClass, 0, sizeof windowClass);
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = BackgroundProcedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        if (!RegisterClassA(&windowClass))
            FatalError("%s %d", "background.cpp", 145);
        ClassRegistered = 1;
    }
    HWND window = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, owner, NULL,
                                  instance, NULL);
    if (!window)
        FatalError("%s %d", "background.cpp", 150);
    ShowWindow(window, SW_SHOWMAXIMIZED);
    return window;
}

void RedrawBackground()
{
    if (!BackgroundWindow)
        return;
    InvalidateRect(BackgroundWindow, NULL, TRUE);
    UpdateWindow(BackgroundWindow);
}
