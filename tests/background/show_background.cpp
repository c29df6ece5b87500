// Shows the background window with a gradient and a title, for a person
// to look at (see screenshot.sh):
//   show_background.exe [SECONDS [TITLE [READY DONE]]]
// Once the window is drawn it makes the file READY; it ends when the file
// DONE exists or after SECONDS (default 5), a limit for a caller that
// never makes DONE.
#include <windows.h>

#include <stdlib.h>

#include "product/report.h"
#include "ui/background.h"

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 5;
    Background.displayTitle = argc > 2 ? argv[2] : "Tally 2.1 Setup";
    const char* ready = argc > 4 ? argv[3] : NULL;
    const char* done = argc > 4 ? argv[4] : NULL;
    Background.titleColor = RGB(255, 255, 255);
    Background.topColor = RGB(11, 93, 59);
    Background.bottomColor = RGB(0, 0, 0);
    Background.monoColor = 0;
    BackgroundWindow = CreateBackgroundWindow(GetModuleHandleA(NULL), NULL);
    RedrawBackground();
    // Wine hands a window's picture to the display when its program finds
    // no message waiting, as at the end of this pumping.
    PumpMessages();
    if (ready != NULL)
        CloseHandle(CreateFileA(ready, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL));
    DWORD end = GetTickCount() + seconds * 1000;
    while (GetTickCount() < end
           && (done == NULL || GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES)) {
        PumpMessages();
        Sleep(50);
    }
    DestroyWindow(BackgroundWindow);
    return 0;
}
