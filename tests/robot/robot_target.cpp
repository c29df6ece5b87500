// A small GUI program for the robot's tests. The first word of its
// arguments chooses what it does:
//   box          a Yes/No/Cancel message box; exits with the answer
//   dialog       a dialog with an edit control and a list box; OK shows
//                what arrived in a second box and exits with 10 + the
//                selected entry, Cancel exits with 2; "More..." opens a
//                box owned by the dialog, which stays open
//   blank        an OK box with an empty caption and an empty text
//   unread       the dialog, modeless, while the program handles only sent
//                messages: once another program tries to read its label,
//                the dialog is hidden and closed, and the program exits
//                with 2
//   cmdline      a box showing its module path and its command line
//   child ARGS   starts itself with ARGS and exits with 3 at once
//   sleep        waits forever without a window
//   exit N       exits with N
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "robot_target.h"

namespace {

int g_notifiedSelection = -1;   // selection reported by LBN_SELCHANGE

void ShowResult(HWND dialog)
{
    wchar_t name[100] = L"";
    GetDlgItemTextW(dialog, IDC_NAME, name, 100);
    int selected = (int)SendDlgItemMessageW(dialog, IDC_COLOURS, LB_GETCURSEL, 0, 0);
    wchar_t colour[100] = L"";
    if (selected >= 0)
        SendDlgItemMessageW(dialog, IDC_COLOURS, LB_GETTEXT, selected, (LPARAM)colour);
    wchar_t text[300];
    swprintf(text, 300, L"typed <%ls>, picked <%ls>, notified %d", name, colour,
             g_notifiedSelection);
    MessageBoxW(dialog, text, L"Robot Result", MB_OK);
    EndDialog(dialog, 10 + selected);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        static const wchar_t* const kColours[] = {L"red", L"green", L"blue"};
        for (const wchar_t* colour : kColours)
            SendDlgItemMessageW(dialog, IDC_COLOURS, LB_ADDSTRING, 0, (LPARAM)colour);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_COLOURS:
        if (HIWORD(wParam) == LBN_SELCHANGE)
            g_notifiedSelection = (int)SendDlgItemMessageW(dialog, IDC_COLOURS,
                                                           LB_GETCURSEL, 0, 0);
        else if (HIWORD(wParam) == LBN_DBLCLK)
            ShowResult(dialog);
        return TRUE;
    case IDC_MORE:
        MessageBoxW(dialog, L"More details", L"Robot More", MB_OK);
        return TRUE;
    case IDOK:
        ShowResult(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

// The arguments after the program's own name.
const char* Arguments()
{
    const char* line = GetCommandLineA();
    bool quoted = false;
    while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
        if (*line == '"')
            quoted = !quoted;
        ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

bool StartsWith(const char* text, const char* word)
{
    size_t length = strlen(word);
    return strncmp(text, word, length) == 0 && (text[length] == '\0' || text[length] == ' ');
}

bool g_readTried = false;   // another program asked for the label's text
WNDPROC g_labelProc = NULL;  // the label's own window procedure

// Hides the dialog at the first read of its label by another program: the
// read is answered, but the box is no longer visible when it ends. The
// label, not the caption, is watched: the system itself may read a
// top-level window's caption (for a task list, say), never a control's.
LRESULT CALLBACK UnreadLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == WM_GETTEXTLENGTH || message == WM_GETTEXT) && InSendMessage()) {
        ShowWindow(GetParent(label), SW_HIDE);
        g_readTried = true;
    }
    return CallWindowProcW(g_labelProc, label, message, wParam, lParam);
}

// Shows the dialog and handles only messages sent to it until another
// program tries to read it, then closes it: the reader never sees the
// whole box while it is visible.
int ShowUnread(HINSTANCE instance)
{
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_ROBOT_DIALOG), NULL,
                                     DialogProc, 0);
    if (dialog == NULL)
        return 4;
    g_labelProc = (WNDPROC)SetWindowLongPtrW(GetDlgItem(dialog, IDC_LABEL), GWLP_WNDPROC,
                                             (LONG_PTR)UnreadLabelProc);
    const DWORD kHangMs = 120000;
    DWORD start = GetTickCount();
    while (!g_readTried && GetTickCount() - start < kHangMs) {
        MSG message;
        // Dispatches sent messages only; posted ones stay queued.
        PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (!g_readTried)
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_SENDMESSAGE);
    }
    DestroyWindow(dialog);
    return 2;
}

int StartChild(const char* arguments)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    char line[2 * MAX_PATH];
    snprintf(line, sizeof line, "\"%s\" %s", path, arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(path, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started))
        return 4;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 3;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const char* arguments = Arguments();
    if (StartsWith(arguments, "box"))
        return MessageBoxW(NULL, L"Pick one\r\nof three", L"Robot Target",
                           MB_YESNOCANCEL | MB_ICONQUESTION);
    if (StartsWith(arguments, "blank"))
        return MessageBoxW(NULL, L"", L"", MB_OK);
    if (StartsWith(arguments, "unread"))
        return ShowUnread(instance);
    if (StartsWith(arguments, "dialog"))
        return (int)DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ROBOT_DIALOG), NULL,
                                    DialogProc, 0);
    if (StartsWith(arguments, "cmdline")) {
        wchar_t module[MAX_PATH];
        GetModuleFileNameW(NULL, module, MAX_PATH);
        wchar_t text[3 * MAX_PATH];
        swprintf(text, 3 * MAX_PATH, L"module=%ls\nline=%ls", module, GetCommandLineW());
        MessageBoxW(NULL, text, L"Robot Command", MB_OK);
        return 0;
    }
    if (StartsWith(arguments, "child"))
        return StartChild(arguments + 5);
    if (StartsWith(arguments, "sleep"))
        Sleep(INFINITE);
    if (StartsWith(arguments, "exit"))
        return atoi(arguments + 4);
    return 99;
}
