// The reporting routines that need no box: the last-error text, the
// platform test and the message pump.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <string.h>

#include "product/report.h"

namespace {

TEST(LastErrorText, GivesTheSystemTextOrNothing)
{
    SetLastError(0);
    EXPECT_STREQ("", LastErrorText());
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::string first = LastErrorText();
    EXPECT_FALSE(first.empty());
    SetLastError(ERROR_ACCESS_DENIED);
    std::string second = LastErrorText();           // the buffer is replaced
    EXPECT_FALSE(second.empty());
    EXPECT_NE(first, second);
    SetLastError(0x2FFFFFFF);                       // a code without a text
    EXPECT_STREQ("", LastErrorText());
    // A system text with an insert comes back as it stands: nothing tries
    // to fill %1 from arguments that are not there.
    SetLastError(ERROR_BAD_EXE_FORMAT);
    EXPECT_NE(nullptr, strstr(LastErrorText(), "%1")) << LastErrorText();
}

TEST(IsWindowsNT, MatchesTheVersionRecord)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId == VER_PLATFORM_WIN32_NT, IsWindowsNT() == 1);
}

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_USER)
        ++*(int*)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (message == WM_CLOSE)
        return 0;                                   // stays open
    return DefWindowProcA(window, message, w, l);
}

TEST(PumpMessages, DispatchesAllAndReportsClosing)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProcedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "PumpTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("PumpTestWindow", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    ASSERT_NE((HWND)NULL, window);
    int seen = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)&seen);
    PumpMessages();                                 // whatever creation queued

    EXPECT_EQ(0, PumpMessages());                   // an empty queue: no wait
    for (int i = 0; i < 3; i++)
        PostMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(0, PumpMessages());
    EXPECT_EQ(3, seen);

    PostMessageA(window, WM_CLOSE, 0, 0);
    PostMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(1, PumpMessages());                   // stops at the close
    EXPECT_EQ(3, seen);
    EXPECT_EQ(0, PumpMessages());                   // the rest is still there
    EXPECT_EQ(4, seen);

    PostQuitMessage(0);
    EXPECT_EQ(1, PumpMessages());
    DestroyWindow(window);
}

}  // namespace
