// A small GUI program that reaches the registry module's two reports as a
// caller raises them, for the robot to answer:
//   registry_boxes required   a required value is missing: the fatal box,
//                             exit code 1
//   registry_boxes errors     a key that cannot be deleted, with the
//                             failures shown in boxes and without a
//                             report; exit code 40 when both deletions
//                             failed and the caller's key is still open
#include <windows.h>

#include <string.h>

#include "system/registry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    const char kSubkey[] = "Software\\";
    RegistryKey key;
    if (!RegistryOpenKey(key, HKEY_CURRENT_USER, kSubkey, RegOpenOnly))
        return 20;
    if (strcmp(commandLine, "required") == 0) {
        const char name[] = "VeltpackMissingValue";
        RegistryValue value;
        if (!RegistryQueryValue(key, name, value, 0)
            && (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_BADKEY))
            StopForMissingRegistryValue(RegistryDisplayPath(HKEY_CURRENT_USER, kSubkey), name);
        return 21;      // not reached: the program ends in the fatal box
    }
    if (strcmp(commandLine, "errors") == 0) {
        // Longer than a key name may be: the open and the deletion fail.
        char name[301];
        memset(name, 'k', 300);
        name[300] = 0;
        int shown = RegistryDeleteKey(key, name, 0, ShowRegistryError);
        int silent = RegistryDeleteKey(key, name, 0);
        bool open = key.handle != nullptr;
        RegistryCloseKey(key);
        return 40 + shown + 2 * silent + 4 * !open;
    }
    return 22;
}
