// Shows one of the installer's dialogs over a background window, with a
// message table of recognisable texts: message n is "m<n>" in language 0
// and "m<n>-<l>" in language l. What the dialog returned goes to a file.
//
//   dialog_probe CASE RESULT_FILE [ARGUMENT]
//     language            the language dialog with Lang0, Lang1, Lang2
//     license, readme     the text dialogs with a two-line text
//     choosedir           ChooseDirectory on "C:\Start Dir"
//     progress ALLOW      the progress dialog (ALLOW 0: no Cancel), some
//                         status texts and positions; then RESULT_FILE.shown
//                         is made and messages are pumped until a close
//                         comes or a question was asked and answered (and
//                         the installation went on)
//     welcome             WelcomePrompt with "<PRODUCT>" and "<os>"
//     cancel              ConfirmCancel
//
// Result lines: "result: N", "language: N", "directory: TEXT",
// "frame: L T R B" and "bar: L T R B" (client coordinates of the progress
// dialog), "ended: closed", "ended: asked" or, when neither came for two
// minutes (a hang), "ended: timeout".
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ui/background.h"
#include "ui/dialog_ids.h"
#include "ui/dialogs.h"
#include "ui/messages.h"
#include "ui/program_windows.h"

namespace {

const int kMessages = 60;
const int kLanguages = 3;
const DWORD kHangMs = 120000;

FILE* Result = nullptr;
const char* ResultPath = nullptr;
int QuestionsAsked = 0;         // dialogs made since the progress dialog

// Counts the dialogs made once the progress dialog is up: the question
// that its Cancel button asks is modal, so once the pumping loop runs
// again, a question that was made has been answered.
LRESULT CALLBACK CountQuestions(int code, WPARAM wParam, LPARAM lParam)
{
    char name[16] = "";
    if (code == HCBT_CREATEWND && GetClassNameA((HWND)wParam, name, sizeof name)
        && strcmp(name, "#32770") == 0)
        QuestionsAsked++;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

void MakeFile(const String& path)
{
    FILE* file = fopen(path.CStr(), "w");
    if (file)
        fclose(file);
}

void FillMessageTable()
{
    ResizeMessageTable(kMessages, kLanguages, String("Tool"));
    for (int n = 0; n < kMessages; n++)
        for (int language = 0; language < kLanguages; language++)
            SetMessage(n, language,
                       language == 0 ? String::Formatted("m%d", n)
                                     : String::Formatted("m%d-%d", n, language));
}

void WriteRect(const char* name, HWND dialog, HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(NULL, dialog, (POINT*)&rect, 2);
    fprintf(Result, "%s: %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
}

HWND FindBar(HWND dialog)
{
    return FindWindowExA(dialog, NULL, "msctls_progress32", NULL);
}

void RunProgress(uint8_t allowCancel)
{
    SetProgress(5);                 // no dialog yet: only pumps
    OpenProgressDialog(allowCancel, 1);
    WriteRect("frame", ProgressDialog, GetDlgItem(ProgressDialog, IDC_BAR_FRAME));
    if (HWND bar = FindBar(ProgressDialog))
        WriteRect("bar", ProgressDialog, bar);
    fflush(Result);
    SetStatusText("Reading %s", "archive");
    SetProgress(40);
    SetStatusText("Copying %s (%d)", "file.txt", 2);
    SetProgress(60);
    HHOOK hook = SetWindowsHookExA(WH_CBT, CountQuestions, NULL, GetCurrentThreadId());
    if (!allowCancel) {
        // The button's own click must not ask anything.
        HWND cancel = GetDlgItem(ProgressDialog, IDC_STOP);
        SendMessageA(ProgressDialog, WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), (LPARAM)cancel);
    }
    // The texts and the position are shown: the robot may look now.
    MakeFile(String::Formatted("%s.shown", ResultPath));
    const char* ended = "timeout";
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kHangMs) {
        if (SetProgress(60)) {
            ended = "closed";
            break;
        }
        if (QuestionsAsked > 0) {
            ended = "asked";
            break;
        }
        Sleep(20);
    }
    UnhookWindowsHookEx(hook);
    fprintf(Result, "ended: %s\n", ended);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 3)
        return 2;
    const char* which = __argv[1];
    ResultPath = __argv[2];
    Result = fopen(ResultPath, "w");
    if (!Result)
        return 3;
    OwnFatalBoxes(1);
    FillMessageTable();
    BackgroundWindow = CreateBackgroundWindow(instance, NULL);

    INT_PTR result = -100;
    if (strcmp(which, "language") == 0) {
        String names[] = {"Lang0", "Lang1", "Lang2"};
        result = ShowLanguageDialog(names, 3);
    } else if (strcmp(which, "license") == 0) {
        result = ShowLicenseDialog("Licence line 1\r\nLicence line 2");
    } else if (strcmp(which, "readme") == 0) {
        result = ShowReadmeDialog("Readme line 1\r\nReadme line 2");
    } else if (strcmp(which, "choosedir") == 0) {
        String directory = "C:\\Start Dir";
        result = ChooseDirectory(directory);
        fprintf(Result, "directory: %s\n", directory.CStr());
    } else if (strcmp(which, "progress") == 0) {
        RunProgress(__argc > 3 ? (uint8_t)atoi(__argv[3]) : 1);
        result = 0;
    } else if (strcmp(which, "welcome") == 0) {
        result = WelcomePrompt(BackgroundWindow, "Welcome to <PRODUCT> in <os>.", String("Tool"));
    } else if (strcmp(which, "cancel") == 0) {
        result = ConfirmCancel(1);
    }
    fprintf(Result, "result: %d\nlanguage: %d\n", (int)result, MessageLanguage());
    fclose(Result);
    return 0;
}
