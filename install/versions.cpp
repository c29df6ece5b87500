#include "install/versions.h"

#include <windows.h>

#include "core/containers.h"
#include "system/registry.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Larger parts are held at this value, so that differences stay in range.
constexpr int kLargestVersionPart = 999999999;

struct VersionParts {
    Vector<int> numbers;
    char suffix = 0;
};

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One number per run of digits; a "." before the first number counts as a
// 0; the last letter anywhere is the suffix.
VersionParts SplitVersion(const char* text)
{
    VersionParts parts;
    for (const char* c = text; *c; c++) {
        if (*c >= '0' && *c <= '9') {
            int value = 0;
            for (; *c >= '0' && *c <= '9'; c++)
                value = value > (kLargestVersionPart - 9) / 10 ? kLargestVersionPart
                                                                : value * 10 + (*c - '0');
            parts.numbers.AddTail(value);
            c--;
        } else if (*c == '.' && parts.numbers.IsEmpty()) {
            parts.numbers.AddTail(0);
        } else if (IsLetter(*c)) {
            parts.suffix = *c;
        }
    }
    return parts;
}

}  // namespace

bool ProductIsInstalled(const char* name, String& location)
{
    String key = String(kUninstallKey) + name;
    if (!RegistryOpenKey(HKEY_LOCAL_MACHINE, key.CStr(), RegOpenOnly))
        return false;
    bool installed = RegistryValueExists("UninstallString") ||
                     RegistryValueExists("QuietUninstallString");
    if (installed)
        location = RegistryGetString("InstallLocation", "", 0);
    RegistryCloseKey();
    return installed;
}

int CompareVersions(const char* a, const char* b)
{
    VersionParts first = SplitVersion(a ? a : "");
    VersionParts second = SplitVersion(b ? b : "");
    for (int i = 0;; i++) {
        bool firstEnded = i >= first.numbers.Count();
        bool secondEnded = i >= second.numbers.Count();
        if (firstEnded && secondEnded)
            return (unsigned char)first.suffix - (unsigned char)second.suffix;
        if (firstEnded)
            return -1;
        if (secondEnded)
            return 1;
        if (first.numbers[i] != second.numbers[i])
            return first.numbers[i] - second.numbers[i];
    }
}
