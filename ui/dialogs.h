// The installer's dialogs: the templates of stub resources, shown modal
// over the background window, the modeless progress dialog, and the
// questions asked in message boxes.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/string.h"

// Moves a window to the centre of the screen.
void CenterWindow(HWND window);

// The procedures of the dialog templates (ui/dialogs.rc). The licence and
// readme dialogs take their text as the creation parameter, the directory
// dialog the address of the caller's String.
INT_PTR CALLBACK LanguageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LicenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReadmeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ChooseDirDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The modal dialogs; each returns 1001 (go on) or 1003 (stop). The
// language dialog selects the message table's language (ui/messages.h).
INT_PTR ShowLanguageDialog(const String* names, int count);
INT_PTR ShowLicenseDialog(const char* text);
INT_PTR ShowReadmeDialog(const char* text);
// The directory question; `directory` is edited in place. False on Cancel.
uint8_t ChooseDirectory(String& directory);
// The shell's folder browser, starting at `path`. True when a folder with
// a file-system path was picked; it is then in `path`.
uint8_t BrowseForFolder(HWND owner, String& path);

// Creates the progress dialog (ProgressDialog) over the background window.
// `allowCancel` 0 disables its Cancel button; a confirmed Cancel ends the
// program with `cancelExitCode`.
void OpenProgressDialog(uint8_t allowCancel, UINT cancelExitCode);
// The progress dialog's status line and bar; each pumps the message queue
// and returns 1 when a destroy, close or quit message went through.
uint8_t SetStatusText(const char* format, ...) VELT_PRINTF_FORMAT(1, 2);
uint8_t SetProgress(int position);
// "Cancel the installation?": Yes ends the program with `exitCode`, else
// the answer (IDNO) comes back.
int ConfirmCancel(UINT exitCode);
// The welcome question; 1 when the answer is not Yes.
uint8_t WelcomePrompt(HWND owner, const String& text, const String& productName);
