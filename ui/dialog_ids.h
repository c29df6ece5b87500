// The ids of the dialogs' controls. Plain macros: the resource compiler
// reads this file too (ui/dialogs.rc).
#pragma once

#define IDC_CONTINUE 1001       // default button: go on (OK)
#define IDC_STOP 1003           // the other button: stop (Cancel, Abort)
#define IDC_TEXT 1005           // licence or readme text
#define IDC_BAR_FRAME 1007      // where the progress bar goes
#define IDC_HEADING 1009        // the label at the top
#define IDC_STATUS 1011         // the progress dialog's status line
#define IDC_BROWSE 1013         // opens the folder browser
#define IDC_DIRECTORY 1015      // the destination directory
#define IDC_LANGUAGES 1017      // the language list
