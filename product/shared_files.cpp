#include "product/shared_files.h"

String SharedFileEntry(const String& path, bool countOnly)
{
    return countOnly ? path + " " : path;
}

String SharedFilePath(const String& entry)
{
    String path = entry;
    path.StripTrailing(' ');
    return path;
}

void AppendSharedFile(String& list, const String& entry)
{
    if (!list.IsEmpty())
        list += ";";
    list.AppendFormat("\"%s\"", entry.CStr());
}

bool PopSharedFile(String& list, String& path, bool& countOnly)
{
    list.TrimLeft(" \t\r\n");
    path = list.PopQuoted('"');
    countOnly = path.StripTrailing(' ');
    if (path.IsEmpty())
        return false;
    list.StripLeading(';');
    return true;
}
