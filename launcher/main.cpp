// Entry of the stub. For now it only ends; the installation road follows.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ExitProcess(1);
}
