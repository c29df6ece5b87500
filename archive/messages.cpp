#include "archive/messages.h"

#include "core/string.h"

void ReplaceMessageMacros(String& text, const char* productName, const char* windowsDirectory)
{
    text.ReplaceAll("<product>", productName, String::FindNoCase);
    text.ReplaceAll("<os>", windowsDirectory, String::FindNoCase);
}
