// Calls one reporting routine, for the end-to-end tests to look at the box:
//   report_probe.exe error|automatic|corrupt|fatal [TEXT]
// "error" and "automatic" call ShowError("%s", TEXT) (the second in
// automatic mode) and then end normally; "corrupt" stops with code 77, with
// TEXT (when given) as the message table's corrupt-archive text 13;
// "fatal" stops through FatalError in automatic mode.
#include <string.h>

#include "core/fatal.h"
#include "product/report.h"
#include "product/run.h"
#include "ui/background.h"
#include "ui/messages.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const char* text = argc > 2 ? argv[2] : "";
    ProductRun run;
    OwnFatalBoxes(1);
    BackgroundWindow = CreateBackgroundWindow(GetModuleHandleA(NULL), NULL);
    if (strcmp(argv[1], "automatic") == 0 || strcmp(argv[1], "fatal") == 0)
        run.automaticMode = 1;
    if (strcmp(argv[1], "corrupt") == 0) {
        if (*text) {
            ResizeMessageTable(MsgCorruptArchive + 1, 1, String());
            SetMessage(MsgCorruptArchive, 0, String(text));
        }
        ArchiveCorrupt(77);
    }
    if (strcmp(argv[1], "fatal") == 0)
        FatalError("%s", text);
    ShowError(run, "%s", text);
    ShowError(run, "shown %d", 2);
    ExitProgram(1);
}
