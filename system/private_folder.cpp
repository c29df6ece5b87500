#include "system/private_folder.h"

#include <windows.h>

#include <string.h>

#include "core/directory.h"
#include "core/system_calls.h"

namespace {

// Names tried before giving up: some may be taken, or the temporary
// folder may refuse new folders for a moment.
constexpr int kFolderAttempts = 100;

// The well-known accounts as the system stores them: revision 1, the count
// of sub-authorities, the NT authority (5), then the sub-authorities.
const DWORD kAdministrators[] = {0x0201, 0x05000000, 32, 544};    // S-1-5-32-544
const DWORD kLocalSystem[] = {0x0101, 0x05000000, 18};            // S-1-5-18

// The access list, built by hand into `list` (room for three entries with
// the largest account ids), which keeps the advapi32 functions it would
// take out of the import table: each entry gives full control of the
// folder and of everything made in it. The running account is left out
// when its token cannot be read; on Windows 9x, which has no access lists,
// the system ignores the whole list.
void BuildAccessList(ACL* list, DWORD size)
{
    DWORD user[32];
    const void* accounts[] = {kAdministrators, kLocalSystem, NULL};
    int count = 2;
    DWORD length;
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, user, sizeof user, &length))
            accounts[count++] = ((TOKEN_USER*)user)->User.Sid;
        CloseHandle(token);
    }
    *list = {ACL_REVISION, 0, (WORD)size, (WORD)count, 0};
    BYTE* at = (BYTE*)(list + 1);
    for (int i = 0; i < count; i++) {
        int sidLength = 8 + 4 * ((const BYTE*)accounts[i])[1];
        ACCESS_ALLOWED_ACE* entry = (ACCESS_ALLOWED_ACE*)at;
        entry->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
        entry->Header.AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        entry->Header.AceSize = (WORD)(8 + sidLength);
        entry->Mask = FILE_ALL_ACCESS;
        memcpy(&entry->SidStart, accounts[i], sidLength);
        at += 8 + sidLength;
    }
}

}  // namespace

String MakePrivateFolder(char tag)
{
    DWORD list[128];
    BuildAccessList((ACL*)list, sizeof list);
    // Present and protected: the temporary folder's entries are not
    // inherited (C:\Windows\Temp lets every user create files).
    SECURITY_DESCRIPTOR descriptor = {SECURITY_DESCRIPTOR_REVISION, 0,
                                      SE_DACL_PRESENT | SE_DACL_PROTECTED, NULL, NULL, NULL,
                                      (ACL*)list};
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    // The temporary folder's path ends with a backslash.
    String folder = GetTempDirectoryString();
    int end = folder.Length();
    DWORD name = GetTickCount();
    for (int attempt = 0; end > 0 && attempt < kFolderAttempts; attempt++) {
        folder.Truncate(end);
        folder.AppendFormat("QDT%c%08lX", tag, name);
        // Only a folder made here and now will do: one that is there
        // already could have been prepared by anyone.
        if (Sys.CreateDirectoryA(folder.CStr(), &attributes))
            return folder;
        name = name * 69069 + 1;
    }
    folder.Clear();
    return folder;
}
