// STAND-IN for the test program only, linked while
// install/uninstall_record.cpp is not in the tree: the uninstall list as
// the installer keeps it (files as lines, directories once, with "~").
#include "install/uninstall_record.h"

#include "core/containers.h"

namespace {

String ListText;
Vector<String> ListedDirectories;

bool IsListed(const String& key)
{
    for (int32_t i = 0; i < ListedDirectories.Count(); ++i)
        if (ListedDirectories[i] == key)
            return true;
    return false;
}

}  // namespace

String AssociationRecords;

void ClearUninstallList()
{
    ListText.Clear();
    ListedDirectories.Clear();
}

void RecordForUninstall(const char* path, int kind)
{
    if (kind == 0) {
        ListText.AppendFormat("%s\r\n", path);
        return;
    }
    String key = path;
    key.MakeUpper();
    if (IsListed(key))
        return;
    ListedDirectories.AddTail(key);
    ListText.AppendFormat("%s%s\r\n", kind == 1 ? "~" : "!", path);
}

const String& UninstallListText()
{
    return ListText;
}
