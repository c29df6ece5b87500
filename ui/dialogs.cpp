// The installer's dialogs. Every text but the language dialog's own comes
// from the message table, so the dialogs speak the chosen language; all of
// them are owned by the background window and centred on the screen.
#include "ui/dialogs.h"

#include <stdarg.h>
#include <commctrl.h>
#include <shlobj.h>

#include "core/directory.h"
#include "system/library.h"
#include "ui/dialog_ids.h"
#include "ui/messages.h"
#include "ui/program_windows.h"

namespace {

constexpr int kMaxDirectoryLength = 259;    // what the directory field takes
constexpr int kMyComputerFolder = 17;       // the folder browser's root
constexpr UINT kSetProgressPosition = 0x0402;
constexpr double kUtilityVersion = 6.2;

// The dialog procedures' state, process-wide: the system calls the
// procedures with its own arguments, so what they show and where they
// write it waits here from the call that opens a dialog to its end.

// The language dialog's list and the names it shows.
HWND LanguageList = NULL;
const String* LanguageChoices = nullptr;
int LanguageChoiceCount = 0;

// The caller's directory while the directory dialog is open.
String* EditedDirectory = nullptr;

// The progress dialog's bar (NULL until created, or when the common
// controls are missing), whether its Cancel button works, and the exit code
// of a confirmed Cancel.
HWND ProgressBar = NULL;
uint8_t CancelAllowed = 1;
UINT CancelExitCode = 1;

HINSTANCE ProgramModule()
{
    return GetModuleHandleA(NULL);
}

void SetItemMessage(HWND dialog, int item, int message)
{
    SetDlgItemTextA(dialog, item, MessageText(message));
}

// A button's WM_COMMAND: its id, and a click.
bool IsClick(WPARAM wParam, int id)
{
    return LOWORD(wParam) == id && HIWORD(wParam) == BN_CLICKED;
}

String ItemText(HWND dialog, int item)
{
    HWND control = GetDlgItem(dialog, item);
    String text;
    int length = GetWindowTextLengthA(control);
    if (length > 0) {
        text.Reset(length);
        text.SetLength(GetWindowTextA(control, text.Data(), length + 1));
    }
    return text;
}

// The progress bar's class lives in the common controls library, which is
// linked at run time from the system directory (a copy beside the
// installer must never be loaded). Without it the dialog has no bar.
void LinkCommonControls()
{
    static uint8_t linked = 0;
    if (linked)
        return;
    linked = 1;
    typedef BOOL(WINAPI * InitExProc)(const INITCOMMONCONTROLSEX*);
    typedef void(WINAPI * InitProc)();
    FARPROC initEx = NULL;
    FARPROC init = NULL;
    const LinkEntry table[] = {
        {"InitCommonControlsEx", &initEx, 1},
        {"InitCommonControls", &init, 1},
        {nullptr, nullptr, 0},
    };
    if (!LinkFunctionTable("comctl32.dll", table))
        return;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    if (initEx)
        ((InitExProc)(void*)initEx)(&classes);
    else if (init)
        ((InitProc)(void*)init)();
}

// The licence and the readme dialog: a heading, the text, two buttons.
struct TextDialogMessages {
    int caption, heading, go, stop;
};

INT_PTR TextDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                   const TextDialogMessages& texts)
{
    if (message == WM_INITDIALOG) {
        SetWindowTextA(dialog, MessageText(texts.caption));
        SetItemMessage(dialog, IDC_HEADING, texts.heading);
        SetDlgItemTextA(dialog, IDC_TEXT, (const char*)lParam);
        SetItemMessage(dialog, IDC_CONTINUE, texts.go);
        SetItemMessage(dialog, IDC_STOP, texts.stop);
        CenterWindow(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && IsClick(wParam, IDC_CONTINUE))
        EndDialog(dialog, IDC_CONTINUE);
    else if (message == WM_COMMAND && IsClick(wParam, IDC_STOP))
        EndDialog(dialog, IDC_STOP);
    return FALSE;
}

void ChooseLanguage(HWND dialog)
{
    int chosen = (int)SendMessageA(LanguageList, LB_GETCURSEL, 0, 0);
    if (chosen >= LanguageChoiceCount)
        chosen = LanguageChoiceCount - 1;
    SelectMessageLanguage(chosen < 0 ? 0 : chosen);
    EndDialog(dialog, IDC_CONTINUE);
}

// The buttons speak the language as soon as it is selected.
void PreviewLanguage(HWND dialog)
{
    int selected = (int)SendMessageA(LanguageList, LB_GETCURSEL, 0, 0);
    SelectMessageLanguage(selected);
    if (selected < 0 || selected >= LanguageChoiceCount)
        return;
    SetItemMessage(dialog, IDC_CONTINUE, MsgOk);
    SetItemMessage(dialog, IDC_STOP, MsgCancel);
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM path)
{
    if (message == BFFM_INITIALIZED) {
        CenterWindow(window);
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, path);
    }
    return 0;
}

void FreeItemList(LPITEMIDLIST list)
{
    IMalloc* allocator = nullptr;
    if (list && SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
}

}  // namespace

void CenterWindow(HWND window)
{
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left + 1;
    int height = rect.bottom - rect.top + 1;
    if (width > screenWidth)
        width = screenWidth;
    if (height > screenHeight)
        height = screenHeight;
    int x = (screenWidth - width) >> 1;
    int y = (screenHeight - height) >> 1;
    MoveWindow(window, x < 0 ? 0 : x, y < 0 ? 0 : y, width, height, FALSE);
}

// ---------------------------------------------------------------- procedures

INT_PTR CALLBACK LanguageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        LanguageList = GetDlgItem(dialog, IDC_LANGUAGES);
        for (int i = 0; i < LanguageChoiceCount; i++)
            SendMessageA(LanguageList, LB_ADDSTRING, 0, (LPARAM)LanguageChoices[i].CStr());
        SendMessageA(LanguageList, LB_SETCURSEL, 0, 0);
        CenterWindow(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (IsClick(wParam, IDC_CONTINUE))
        ChooseLanguage(dialog);
    else if (IsClick(wParam, IDC_STOP))
        EndDialog(dialog, IDC_STOP);
    else if (LOWORD(wParam) == IDC_LANGUAGES && HIWORD(wParam) == LBN_SELCHANGE)
        PreviewLanguage(dialog);
    else if (LOWORD(wParam) == IDC_LANGUAGES && HIWORD(wParam) == LBN_DBLCLK)
        ChooseLanguage(dialog);
    return FALSE;
}

INT_PTR CALLBACK LicenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const TextDialogMessages texts = {MsgLicenseCaption, MsgLicenseHeading, MsgLicenseAccept,
                                             MsgLicenseDecline};
    return TextDialog(dialog, message, wParam, lParam, texts);
}

INT_PTR CALLBACK ReadmeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const TextDialogMessages texts = {MsgReadmeCaption, MsgReadmeHeading, MsgOk,
                                             MsgCancel};
    return TextDialog(dialog, message, wParam, lParam, texts);
}

INT_PTR CALLBACK ChooseDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        EditedDirectory = (String*)lParam;
        CenterWindow(dialog);
        SetWindowTextA(dialog, MessageText(MsgDestinationCaption));
        SetItemMessage(dialog, IDC_HEADING, MsgChooseDirPrompt);
        SetDlgItemTextA(dialog, IDC_DIRECTORY, EditedDirectory->CStr());
        SetItemMessage(dialog, IDC_BROWSE, MsgBrowse);
        SetItemMessage(dialog, IDC_CONTINUE, MsgOk);
        SetItemMessage(dialog, IDC_STOP, MsgCancel);
        SendDlgItemMessageA(dialog, IDC_DIRECTORY, EM_LIMITTEXT, kMaxDirectoryLength, 0);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (IsClick(wParam, IDC_CONTINUE)) {
        *EditedDirectory = ItemText(dialog, IDC_DIRECTORY);
        EndDialog(dialog, 1);
    } else if (IsClick(wParam, IDC_STOP)) {
        EndDialog(dialog, 0);
    } else if (IsClick(wParam, IDC_BROWSE)) {
        String path = ItemText(dialog, IDC_DIRECTORY);
        if (BrowseForFolder(dialog, path))
            SetDlgItemTextA(dialog, IDC_DIRECTORY, path.CStr());
    }
    return FALSE;
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CenterWindow(dialog);
        // The bar covers the frame and its one-pixel border.
        WINDOWPLACEMENT frame = {};
        frame.length = sizeof frame;
        GetWindowPlacement(GetDlgItem(dialog, IDC_BAR_FRAME), &frame);
        const RECT& place = frame.rcNormalPosition;
        ProgressBar = CreateWindowExA(0, "msctls_progress32", NULL, WS_CHILD | WS_VISIBLE,
                                      place.left - 1, place.top - 1,
                                      place.right - place.left + 3, place.bottom - place.top + 3,
                                      dialog, NULL, ProgramModule(), NULL);
        SetWindowTextA(dialog, MessageText(MsgProgressCaption));
        SetItemMessage(dialog, IDC_HEADING, MsgProgressHeading);
        SetItemMessage(dialog, IDC_STOP, MsgCancel);
        if (!CancelAllowed)
            EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
        return TRUE;
    }
    // Only the button itself cancels, and only when cancelling is allowed.
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_STOP && lParam != 0
        && (HWND)lParam == GetDlgItem(dialog, IDC_STOP) && CancelAllowed)
        ConfirmCancel(CancelExitCode);
    return FALSE;
}

// ---------------------------------------------------------------- callers

INT_PTR ShowLanguageDialog(const String* names, int count)
{
    LanguageChoices = names;
    LanguageChoiceCount = count;
    return DialogBoxParamA(ProgramModule(), "LanguageDlg", BackgroundWindow, LanguageDialogProc,
                           0);
}

INT_PTR ShowLicenseDialog(const char* text)
{
    return DialogBoxParamA(ProgramModule(), "LicenseDlg", BackgroundWindow, LicenseDialogProc,
                           (LPARAM)text);
}

INT_PTR ShowReadmeDialog(const char* text)
{
    return DialogBoxParamA(ProgramModule(), "ReadmeDlg", BackgroundWindow, ReadmeDialogProc,
                           (LPARAM)text);
}

uint8_t ChooseDirectory(String& directory)
{
    return DialogBoxParamA(ProgramModule(), "ChooseDirDlg", BackgroundWindow, ChooseDirDialogProc,
                           (LPARAM)&directory)
           == 1;
}

uint8_t BrowseForFolder(HWND owner, String& path)
{
    LPITEMIDLIST root = NULL;
    if (FAILED(SHGetSpecialFolderLocation(owner, kMyComputerFolder, &root)) || root == NULL)
        return 0;
    char displayName[MAX_PATH];
    BROWSEINFOA request = {};
    request.hwndOwner = owner;
    request.pidlRoot = root;
    request.pszDisplayName = displayName;
    request.lpszTitle = MessageText(MsgChooseDirPrompt);
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    request.lpfn = BrowseCallback;
    request.lParam = (LPARAM)path.CStr();
    LPITEMIDLIST picked = SHBrowseForFolderA(&request);
    if (picked == NULL) {
        FreeItemList(root);
        return 0;
    }
    char chosen[MAX_PATH];
    BOOL hasPath = SHGetPathFromIDListA(picked, chosen);
    FreeItemList(picked);
    FreeItemList(root);
    if (!hasPath)
        return 0;
    path = chosen;
    return 1;
}

void OpenProgressDialog(uint8_t allowCancel, UINT cancelExitCode)
{
    CancelAllowed = allowCancel;
    CancelExitCode = cancelExitCode;
    LinkCommonControls();
    ProgressDialog = CreateDialogParamA(ProgramModule(), "ProgressDlg", BackgroundWindow,
                                        ProgressDialogProc, 0);
}

uint8_t SetStatusText(const char* format, ...)
{
    String text;
    va_list args;
    va_start(args, format);
    text.AppendFormatV(format, args);
    va_end(args);
    if (ProgressDialog != NULL) {
        SetDlgItemTextA(ProgressDialog, IDC_STATUS, text.CStr());
        UpdateWindow(ProgressDialog);
    }
    return PumpMessages();
}

uint8_t SetProgress(int position)
{
    if (ProgressBar != NULL)
        PostMessageA(ProgressBar, kSetProgressPosition, position, 0);
    return PumpMessages();
}

int ConfirmCancel(UINT exitCode)
{
    int answer = MessageBoxA(BackgroundWindow, MessageText(MsgCancelQuestion),
                             MessageText(MsgQuestionCaption), MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES)
        ExitProgram(exitCode);
    return answer;
}

uint8_t WelcomePrompt(HWND owner, const String& text, const String& productName)
{
    String shown = text;
    ReplaceMessageMacros(shown, productName.CStr(), GetWindowsDirectoryString().CStr());
    String caption = String::Formatted("Veltpack Utility v%.1f", kUtilityVersion);
    return MessageBoxA(owner, shown.CStr(), caption.CStr(), MB_YESNO | MB_ICONINFORMATION)
           != IDYES;
}
