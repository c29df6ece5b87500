// STAND-IN for the test program only, linked while install/versions.cpp is
// not in the tree: CompareVersions as the version rules expect it.
#include "install/versions.h"

namespace {

struct VersionParts {
    long long numbers[32];  // one per run of digits
    int count = 0;
    char suffix = 0;        // the last letter, 0 for none
};

VersionParts SplitVersion(const char* text)
{
    VersionParts parts;
    for (const char* p = text; *p;) {
        char c = *p;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            parts.suffix = c;
        if (c >= '0' && c <= '9') {
            long long value = 0;
            while (*p >= '0' && *p <= '9')
                value = value * 10 + (*p++ - '0');
            if (parts.count < 32)
                parts.numbers[parts.count++] = value;
            continue;
        }
        if (c == '.' && parts.count == 0)
            parts.numbers[parts.count++] = 0;
        ++p;
    }
    return parts;
}

}  // namespace

bool ProductIsInstalled(const char*, String& location)
{
    location.Clear();
    return false;
}

int CompareVersions(const char* a, const char* b)
{
    VersionParts left = SplitVersion(a);
    VersionParts right = SplitVersion(b);
    for (int i = 0;; ++i) {
        if (i == left.count && i == right.count)
            return left.suffix - right.suffix;
        if (i == left.count)
            return -1;
        if (i == right.count)
            return 1;
        if (left.numbers[i] != right.numbers[i])
            return left.numbers[i] < right.numbers[i] ? -1 : 1;
    }
}
