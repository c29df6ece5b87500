#include "install/versions.h"

#include <windows.h>

#include "system/registry.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Larger parts are held at this value, so that differences stay in range.
constexpr int kLargestVersionPart = 999999999;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The last letter anywhere in the text, 0 when it has none.
unsigned char VersionSuffix(const char* text)
{
    unsigned char suffix = 0;
    for (; *text; text++)
        if (IsLetter(*text))
            suffix = (unsigned char)*text;
    return suffix;
}

// Reads the next number of a version at `cursor`, one per run of digits;
// a "." before the first number counts as a 0. False when none is left.
bool NextVersionPart(const char*& cursor, bool first, int& value)
{
    for (; *cursor && !IsDigit(*cursor); cursor++) {
        if (first && *cursor == '.') {
            cursor++;
            value = 0;
            return true;
        }
    }
    if (!*cursor)
        return false;
    for (value = 0; IsDigit(*cursor); cursor++)
        value = value > (kLargestVersionPart - 9) / 10 ? kLargestVersionPart
                                                        : value * 10 + (*cursor - '0');
    return true;
}

}  // namespace

bool ProductIsInstalled(const char* name, String& location)
{
    String key = String(kUninstallKey) + name;
    RegistryKey registration;
    if (!RegistryOpenKey(registration, HKEY_LOCAL_MACHINE, key.CStr(), RegOpenOnly))
        return false;
    bool installed = RegistryValueExists(registration, "UninstallString") ||
                     RegistryValueExists(registration, "QuietUninstallString");
    if (installed)
        location = RegistryGetString(registration, "InstallLocation", "", 0);
    RegistryCloseKey(registration);
    return installed;
}

int CompareVersions(const char* a, const char* b)
{
    a = a ? a : "";
    b = b ? b : "";
    const char* first = a;
    const char* second = b;
    for (bool start = true;; start = false) {
        int x = 0, y = 0;
        bool firstEnded = !NextVersionPart(first, start, x);
        bool secondEnded = !NextVersionPart(second, start, y);
        if (firstEnded && secondEnded)
            return VersionSuffix(a) - VersionSuffix(b);
        if (firstEnded)
            return -1;
        if (secondEnded)
            return 1;
        if (x != y)
            return x - y;
    }
}
