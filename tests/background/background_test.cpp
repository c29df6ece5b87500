// The background window's painting, checked pixel by pixel in a memory
// device context; the picture's header rules.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/file.h"
#include "ui/background.h"

namespace {

// A 32-bit top-down DIB section selected into a memory DC, so pixels can be
// read straight from memory.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(NULL);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, (void**)&bits_, NULL, 0);
        previous_ = SelectObject(dc_, bitmap_);
        Fill(RGB(1, 2, 3));
    }
    ~Canvas()
    {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    void Fill(COLORREF colour)
    {
        GdiFlush();
        DWORD pixel = GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
        for (int i = 0; i < width_ * height_; i++)
            bits_[i] = pixel;
    }
    COLORREF At(int x, int y)
    {
        GdiFlush();
        DWORD p = bits_[y * width_ + x];
        return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
    }
    HDC Dc() const { return dc_; }
    RECT Rect() const { return RECT{0, 0, width_, height_}; }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    DWORD* bits_ = nullptr;
};

void ResetLook()
{
    Background.image.Clear();
    Background.displayTitle.Clear();
    Background.monoColor = 1;
    Background.topColor = RGB(0, 0, 0);
    Background.bottomColor = RGB(0, 0, 0);
    Background.titleColor = RGB(0, 0, 0);
}

// A bottom-up 24-bit picture of 2x2 pixels: bottom row blue, green; top
// row red, white. Without the 14-byte file header.
std::string TwoByTwo()
{
    std::string b(40, '\0');
    b[0] = 40;
    b[4] = 2;
    b[8] = 2;
    b[12] = 1;
    b[14] = 24;
    const unsigned char rows[] = {255, 0, 0, 0, 255, 0, 0, 0,        // blue, green, pad
                                  0, 0, 255, 255, 255, 255, 0, 0};   // red, white, pad
    b.append((const char*)rows, sizeof rows);
    return b;
}

TEST(EraseBackground, FlatColourFillsEverything)
{
    ResetLook();
    Background.topColor = RGB(10, 20, 30);
    Background.bottomColor = RGB(200, 200, 200);           // not used with one colour
    Canvas canvas(50, 40);
    RECT rect = canvas.Rect();
    EraseBackground(canvas.Dc(), rect);
    for (int y : {0, 20, 39})
        for (int x : {0, 25, 49})
            EXPECT_EQ(RGB(10, 20, 30), canvas.At(x, y)) << x << "," << y;
}

TEST(EraseBackground, PictureIsStretchedOverTheWindow)
{
    ResetLook();
    Background.topColor = RGB(10, 20, 30);
    std::string picture = TwoByTwo();
    ASSERT_EQ(1, Background.image.SetBytes(picture.data(), (int)picture.size()));
    Canvas canvas(40, 40);
    RECT rect = canvas.Rect();
    EraseBackground(canvas.Dc(), rect);
    EXPECT_EQ(RGB(255, 0, 0), canvas.At(5, 5));
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(35, 5));
    EXPECT_EQ(RGB(0, 0, 255), canvas.At(5, 35));
    EXPECT_EQ(RGB(0, 255, 0), canvas.At(35, 35));
}

TEST(PaintBandedGradient, StepsOneLevelPerBand)
{
    // 255 rows: bands of one pixel; black to white rises by exactly one per
    // band, and the first band is already one step on.
    Canvas canvas(8, 256);
    RECT rect = {0, 0, 8, 254};
    PaintBandedGradient(canvas.Dc(), rect, RGB(0, 0, 0), RGB(255, 255, 255));
    for (int y = 0; y < 254; y++)
        ASSERT_EQ(RGB(y + 1, y + 1, y + 1), canvas.At(3, y)) << y;
    EXPECT_EQ(RGB(1, 2, 3), canvas.At(3, 254));   // the bottom edge is not painted
}

TEST(PaintBandedGradient, BandHeightFollowsTheWindowHeight)
{
    struct BandCase {
        int bottom;             // client rectangle 0..bottom
        int band;               // expected rows per band
    };
    static const BandCase kCases[] = {{600, 2}, {100, 1}, {900, 3}, {2000, 3}};
    for (const BandCase& c : kCases) {
        SCOPED_TRACE(c.bottom);
        Canvas canvas(4, c.bottom);
        RECT rect = {0, 0, 4, c.bottom};
        PaintBandedGradient(canvas.Dc(), rect, RGB(0, 0, 0), RGB(255, 0, 0));
        // The total is spread evenly over height / band steps, so band i
        // (from 1) has reached i * 255 / bands.
        int bands = (c.bottom + 1) / c.band;
        for (int y = 0; y < c.bottom; y++) {
            int band = y / c.band + 1;
            ASSERT_EQ(RGB(band * 255 / bands, 0, 0), canvas.At(1, y)) << y;
        }
    }
}

TEST(PaintLinkedGradient, RunsFromTopToBottomColour)
{
    Canvas canvas(16, 200);
    RECT rect = canvas.Rect();
    ASSERT_EQ(1, PaintLinkedGradient(canvas.Dc(), rect, RGB(0, 0, 200), RGB(200, 0, 0)));
    COLORREF first = canvas.At(8, 0), last = canvas.At(8, 199);
    EXPECT_LE(GetRValue(first), 2);
    EXPECT_GE(GetBValue(first), 198);
    EXPECT_GE(GetRValue(last), 196);
    EXPECT_LE(GetBValue(last), 4);
    for (int y = 1; y < 200; y++) {
        ASSERT_GE(GetRValue(canvas.At(8, y)), GetRValue(canvas.At(8, y - 1))) << y;
        ASSERT_EQ(canvas.At(0, y), canvas.At(15, y)) << y;     // rows are flat
    }
}

TEST(BackgroundWindow, ErasesWithTheGradientAndKeepsTheClass)
{
    ResetLook();
    Background.monoColor = 0;
    Background.topColor = RGB(0, 0, 0);
    Background.bottomColor = RGB(0, 0, 250);
    HWND window = CreateBackgroundWindow(GetModuleHandleA(NULL), NULL);
    ASSERT_NE((HWND)NULL, window);
    char name[64];
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ("VLT Window Class", name);
    EXPECT_EQ((LONG)WS_POPUP, GetWindowLongA(window, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_BORDER));
    RECT client;
    GetClientRect(window, &client);
    ASSERT_GT(client.bottom, 100);
    Canvas canvas(client.right, client.bottom);
    EXPECT_EQ(1, SendMessageA(window, WM_ERASEBKGND, (WPARAM)canvas.Dc(), 0));
    EXPECT_LE(GetBValue(canvas.At(5, 0)), 2);
    EXPECT_GE(GetBValue(canvas.At(5, client.bottom - 1)), 240);
    // A second window reuses the registered class.
    HWND second = CreateBackgroundWindow(GetModuleHandleA(NULL), window);
    EXPECT_NE((HWND)NULL, second);
    DestroyWindow(second);
    DestroyWindow(window);
}

TEST(PaintTitle, WritesOnlyAVisibleTitle)
{
    ResetLook();
    Background.titleColor = RGB(0, 0, 0);
    for (const char* title : {"", "  \t", "Veltpack Setup", "A title far too long to fit at any size "
                                                         "above six points in this narrow window"}) {
        SCOPED_TRACE(title);
        Background.displayTitle = title;
        Canvas canvas(120, 60);
        canvas.Fill(RGB(255, 255, 255));
        RECT rect = canvas.Rect();
        PaintTitle(canvas.Dc(), rect);
        int dark = 0;
        for (int y = 0; y < 60; y++)
            for (int x = 0; x < 120; x++)
                dark += canvas.At(x, y) == RGB(0, 0, 0);
        if (Background.displayTitle.IsBlank())
            EXPECT_EQ(0, dark);
        else
            EXPECT_GT(dark, 20);
    }
}

struct HeaderCase {
    const char* name;
    std::string bytes;
    BYTE accepted;
    int32_t width, height;
    uint32_t colours, bitsOffset;
    uint16_t bitCount;
};

std::string Header40(int32_t width, int32_t height, uint16_t bitCount, uint32_t used, int extra)
{
    std::string b(40, '\0');
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            b[at + i] = (char)(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, (uint32_t)width);
    put32(8, (uint32_t)height);
    b[12] = 1;
    b[14] = (char)bitCount;
    put32(32, used);
    return b + std::string(extra, '\x55');
}

std::string Header12(uint16_t width, uint16_t height, uint16_t bitCount, int extra)
{
    std::string b(12, '\0');
    b[0] = 12;
    b[4] = (char)width;
    b[6] = (char)height;
    b[8] = 1;
    b[10] = (char)bitCount;
    return b + std::string(extra, '\x55');
}

TEST(DibImage, ParsesCoreAndInfoHeaders)
{
    const HeaderCase kCases[] = {
        {"8-bit, colours from the bit count", Header40(4, 4, 8, 0, 1024 + 16), 1, 4, 4, 256, 1064, 8},
        {"8-bit, colours used", Header40(4, 4, 8, 16, 64 + 16), 1, 4, 4, 16, 104, 8},
        {"24-bit top-down", Header40(2, -2, 24, 0, 16), 1, 2, -2, 0, 40, 24},
        {"core header, 4-bit", Header12(8, 2, 4, 48 + 8), 1, 8, 2, 16, 60, 4},
        {"too short", std::string(12, '\x0c'), 0, 0, 0, 0, 0, 0},
        {"unknown header size", Header40(2, 2, 24, 0, 16).replace(0, 1, "\x14"), 0, 0, 0, 0, 0, 0},
        {"pixels missing", Header40(100, 100, 24, 0, 16), 0, 0, 0, 0, 0, 0},
        {"colour table past the end", Header40(1, 1, 8, 0x40000000, 16), 0, 0, 0, 0, 0, 0},
    };
    for (const HeaderCase& c : kCases) {
        SCOPED_TRACE(c.name);
        DibImage image;
        EXPECT_EQ(c.accepted, image.SetBytes(c.bytes.data(), (int)c.bytes.size()));
        EXPECT_EQ(!c.accepted, image.IsEmpty());
        EXPECT_EQ(c.width, image.Width());
        EXPECT_EQ(c.height, image.Height());
        EXPECT_EQ(c.colours, image.Colours());
        EXPECT_EQ(c.bitsOffset, image.BitsOffset());
        EXPECT_EQ(c.bitCount, image.BitCount());
    }
    DibImage image;
    EXPECT_EQ(0, image.SetBytes(NULL, 10));
    EXPECT_EQ(0, image.SetBytes("BM", 0));
}

TEST(DibImage, SavesAndLoadsBmpFiles)
{
    std::string picture = TwoByTwo();
    DibImage image;
    ASSERT_EQ(1, image.SetBytes(picture.data(), (int)picture.size()));
    ASSERT_EQ(1, image.SaveFile("dib_test.bmp"));
    String file;
    ASSERT_TRUE(ReadFileToString("dib_test.bmp", file));
    ASSERT_EQ(14 + (int)picture.size(), file.Length());
    EXPECT_EQ('B', file.CharAt(0));
    EXPECT_EQ('M', file.CharAt(1));
    EXPECT_EQ(14u + picture.size(), file.ReadU32(2));
    EXPECT_EQ(0u, file.ReadU32(6));
    EXPECT_EQ(54u, file.ReadU32(10));

    DibImage loaded;
    ASSERT_EQ(1, loaded.LoadFile("dib_test.bmp"));
    EXPECT_TRUE(loaded.Bytes() == image.Bytes());
    EXPECT_EQ(2, loaded.Width());

    ASSERT_TRUE(WriteFileFromString("dib_test.bmp", String("MZ") + file.Mid(2)));
    EXPECT_EQ(0, loaded.LoadFile("dib_test.bmp"));
    EXPECT_EQ(1, loaded.IsEmpty());
    EXPECT_EQ(0, loaded.LoadFile("no such file.bmp"));
    DeleteFileA("dib_test.bmp");
}

}  // namespace
