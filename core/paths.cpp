// Path texts. See paths.h for the separator rule every function shares.
#include "core/paths.h"

#include <string.h>

const char kInvalidPathChars[] = "/\"<>|*?:;";

namespace {

const char* OrEmpty(const char* text)
{
    return text ? text : "";
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char FoldToLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool StartsWithDrive(const char* path)
{
    return IsAsciiLetter(path[0]) && path[1] == ':';
}

bool IsNetworkPath(const char* path)
{
    return path[0] == '\\' && path[1] == '\\';
}

// Length of the root of a network path "\\server\share": up to, not
// including, the backslash after the share name.
int NetworkRootLength(const char* path)
{
    const char* server = path + 2;
    const char* share = strchr(server, '\\');
    if (!share)
        return (int)strlen(path);
    const char* end = strchr(share + 1, '\\');
    return end ? (int)(end - path) : (int)strlen(path);
}

// Length without trailing backslashes.
int LengthWithoutTrailingSeparators(const char* path)
{
    int n = (int)strlen(path);
    while (n > 0 && path[n - 1] == '\\')
        --n;
    return n;
}

} // namespace

bool String::ContainsOneOf(const char* set) const
{
    return FindOneOf(set, 0) >= 0;
}

int PathLastSeparator(const char* path)
{
    path = OrEmpty(path);
    const char* backslash = strrchr(path, '\\');
    if (backslash)
        return (int)(backslash - path);
    const char* colon = strchr(path, ':');
    return colon ? (int)(colon - path) : -1;
}

int PathNameStart(const char* path)
{
    return PathLastSeparator(path) + 1;
}

String PathDirectory(const char* path)
{
    path = OrEmpty(path);
    int separator = PathLastSeparator(path);
    if (separator < 0)
        return String();
    // A root ("C:", "C:\") keeps its separator, or it would turn into a
    // drive-relative path or a bare drive.
    bool keepSeparator = path[separator] == ':'
                         || (separator > 0 && path[separator - 1] == ':');
    return String(path, keepSeparator ? separator + 1 : separator);
}

String PathFileName(const char* path)
{
    path = OrEmpty(path);
    return String(path + PathNameStart(path));
}

bool PathRemoveFileName(String& path)
{
    int separator = PathLastSeparator(path.CStr());
    if (separator < 0)
        return false;
    path.Truncate(separator + 1);
    return true;
}

String PathDriveRoot(const char* path)
{
    path = OrEmpty(path);
    if (!StartsWithDrive(path))
        return String();
    return String(path, path[2] == '\\' ? 3 : 2);
}

char PathDriveLetter(const char* path)
{
    path = OrEmpty(path);
    if (!StartsWithDrive(path))
        return 0;
    return (path[0] >= 'a') ? (char)(path[0] - 'a' + 'A') : path[0];
}

String PathJoin(const char* dir, const char* name)
{
    dir = OrEmpty(dir);
    name = OrEmpty(name);
    if (!*dir)
        return String(name);
    if (!*name)
        return String(dir);
    String joined(dir);
    if (name[0] == '\\')
        joined.StripTrailing('\\');
    else if (!joined.LastIs(':') && !joined.LastIs('\\'))
        joined.Append('\\');
    joined.Append(name);
    return joined;
}

bool PathAddExtension(String& path, const char* ext)
{
    ext = OrEmpty(ext);
    int nameStart = path.ReverseFindChar('\\') + 1;
    if (path.FindChar('.', nameStart) >= 0)
        return false;
    if (ext[0] != '.')
        path.Append('.');
    path.Append(ext);
    return true;
}

bool PathsEqual(const char* a, const char* b)
{
    a = OrEmpty(a);
    b = OrEmpty(b);
    int length = LengthWithoutTrailingSeparators(a);
    if (length != LengthWithoutTrailingSeparators(b))
        return false;
    for (int i = 0; i < length; ++i) {
        if (FoldToLower(a[i]) != FoldToLower(b[i]))
            return false;
    }
    return true;
}

bool IsAbsolutePath(const char* text)
{
    text = OrEmpty(text);
    while (IsBlank(*text))
        ++text;
    if (!*text)
        return false;
    return IsNetworkPath(text) || (text[1] == ':' && text[2] == '\\');
}

bool MakeAbsolute(String& path, const char* base)
{
    if (path.IsEmpty() || !IsAbsolutePath(base))
        return false;
    // IsAbsolutePath accepts leading blanks; they are no part of the drive.
    while (IsBlank(*base))
        ++base;
    bool hasDrive = path.CharAt(1) == ':';
    String result;
    if (!hasDrive && !path.FirstIs('\\')) {
        result.Assign(base);
        result.EnsureTrailing('\\');
        result.Append(path);
    } else if (!hasDrive) {
        // Rooted on the base's drive, or on its share for a network base;
        // the share's "\\server\share" is what "C:" is to a drive.
        int rootLength = IsNetworkPath(base) ? NetworkRootLength(base) : 2;
        result.Assign(base, rootLength);
        result.Append(path);
    } else if (path.CharAt(2) == '\\') {
        return false;
    } else {
        // "D:rel": the base's directories, moved to the path's drive. A
        // network base has no directories that could live on a drive.
        if (IsNetworkPath(base))
            return false;
        result.Assign(path.CStr(), 2);
        result.Append(StartsWithDrive(base) ? base + 2 : base);
        result.EnsureTrailing('\\');
        result.Append(path.CStr() + 2);
    }
    path = result;
    return true;
}

bool IsValidPathName(const char* path)
{
    if (!path || !*path)
        return false;
    String name(path);
    if (name.Length() >= 2)
        name.Unquote('"');
    if (name.CharAt(1) == ':')
        name.Delete(1, 1);
    return !name.IsEmpty() && !name.ContainsOneOf(kInvalidPathChars);
}

String PathPlainForm(const char* path)
{
    String plain(path);
    if (IsNetworkPath(plain.CStr()) && (plain.CharAt(2) == '?' || plain.CharAt(2) == '.')
        && plain.CharAt(3) == '\\') {
        bool unc = String("UNC\\").IsPrefixOfNoCase(plain.CStr() + 4);
        plain.Delete(unc ? 1 : 0, unc ? 6 : 4);     // "\\?\UNC\" keeps one "\"
    }
    const char* text = plain.CStr();
    if (IsNetworkPath(text)) {
        int share = plain.FindChar('\\', 2) + 1;
        if (share > 0 && IsAsciiLetter(text[share]) && text[share + 1] == '$'
            && (text[share + 2] == '\\' || text[share + 2] == 0)) {
            plain.Delete(0, share);
            plain.SetAt(1, ':');
        }
    }
    return plain;
}

bool PathIsRoot(const char* path)
{
    path = OrEmpty(path);
    int length = LengthWithoutTrailingSeparators(path);
    return IsNetworkPath(path) ? NetworkRootLength(path) >= length : length <= 3;
}
