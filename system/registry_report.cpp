// What a caller shows when it decides that a registry failure is the
// user's business; the registry functions themselves only report.
#include "system/registry.h"

#include "core/error_text.h"
#include "core/fatal.h"

namespace {

const char kProgramTitle[] = "Veltpack";

}  // namespace

void ShowRegistryError(DWORD code)
{
    if (code == 0)
        return;
    String text = SystemErrorText(code);
    if (!text.IsEmpty())
        MessageBoxA(nullptr, text.CStr(), "Registry Error", MB_OK | MB_ICONERROR);
    SetLastError(code);
}

void StopForMissingRegistryValue(const String& keyPath, const char* name)
{
    FatalError("The following registry key is required by %s, but is invalid or does not "
               "exist:\n\n%s%s\n\nIf you have tried moving this program to a different "
               "computer by copying files, this will not work.  This program must be "
               "reinstalled.",
               kProgramTitle, keyPath.CStr(), name ? name : "");
}
