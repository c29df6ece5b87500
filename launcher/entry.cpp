// The program's entry point, in place of the C runtime's start-up code.
//
// The stub is a static executable that lives on system DLLs only; it uses
// no C runtime features that need the runtime's own start-up (no threads of
// the runtime, no command-line globals, no exit handlers: it always ends
// through ExitProcess). The runtime's start-up code would cost several
// kilobytes of every installer, so the entry does what little is needed
// itself: run the constructors of global objects and call WinMain with the
// arguments Windows programs expect.
#include <windows.h>

// The constructors of global objects, gathered by the linker: an entry
// that is not a function, the functions, a null.
typedef void (*Constructor)();
extern "C" Constructor __CTOR_LIST__[];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int show);

namespace {

// The command line after the program's name and the blanks that follow it,
// as the runtime's start-up hands it to WinMain: a name in quotes ends at
// the closing quote, any other at the first blank.
char* ArgumentsAfterProgramName(char* line)
{
    // Bytes of 128 and above are letters of the code page, not blanks.
    auto isBlank = [](char c) { return c != 0 && (unsigned char)c <= ' '; };
    if (*line == '"') {
        line++;
        while (*line != 0 && *line != '"')
            line++;
        if (*line == '"')
            line++;
    } else {
        while (*line != 0 && !isBlank(*line))
            line++;
    }
    while (isBlank(*line))
        line++;
    return line;
}

// Runs the constructors last to first, as the runtime's start-up does.
void RunConstructors()
{
    int count = 1;
    while (__CTOR_LIST__[count] != nullptr)
        count++;
    while (--count > 0)
        __CTOR_LIST__[count]();
}

}  // namespace

// The program always ends through ExitProcess, which runs no exit handlers
// (the runtime's start-up kept them for exit(), which nothing calls), so
// the handlers that global objects register are dropped here.
extern "C" int atexit(void (*)(void))
{
    return 0;
}

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void VeltEntry()
{
    RunConstructors();
    // WinMain takes no notice of the show state: its windows choose their own.
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL,
                              ArgumentsAfterProgramName(GetCommandLineA()), SW_SHOWDEFAULT));
}
