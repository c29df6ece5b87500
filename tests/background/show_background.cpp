// Shows the background window with a gradient and a title for a few
// seconds, for a person to look at (see screenshot.sh):
//   show_background.exe [SECONDS [TITLE]]
#include <windows.h>

#include <stdlib.h>

#include "launcher/report.h"
#include "ui/background.h"

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 5;
    DisplayTitle = argc > 2 ? argv[2] : "Tally 2.1 Setup";
    TitleColor = RGB(255, 255, 255);
    TopColor = RGB(11, 93, 59);
    BottomColor = RGB(0, 0, 0);
    MonoColor = 0;
    BackgroundWindow = CreateBackgroundWindow(GetModuleHandleA(NULL), NULL);
    RedrawBackground();
    DWORD end = GetTickCount() + seconds * 1000;
    while (GetTickCount() < end) {
        PumpMessages();
        Sleep(50);
    }
    DestroyWindow(BackgroundWindow);
    return 0;
}
