#include "core/error_text.h"

#include <windows.h>

String SystemErrorText(unsigned long code)
{
    String text;
    if (code == 0)
        return text;
    // Without IGNORE_INSERTS the system would fill a text's %1 from an
    // argument list that is not there.
    char* buffer = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, LANG_USER_DEFAULT, (LPSTR)&buffer, 0, NULL);
    if (buffer != NULL) {
        text = buffer;
        LocalFree(buffer);
    }
    return text;
}
