// The message table.
#include "ui/messages.h"

#include <stdarg.h>
#include <stdint.h>

#include "core/directory.h"

namespace {

// The message table, message-major: entry n * TableLanguages + language.
// Process-wide: see ui/messages.h.
String* Messages = nullptr;
uint8_t* MessageReplaced = nullptr;    // the replacements are made once
int TableMessages = 0;
int TableLanguages = 0;
int SelectedLanguage = 0;              // index into the languages
String TableProductName;               // what "<product>" stands for

}  // namespace

void ResizeMessageTable(int messages, int languages, const String& productName)
{
    TableProductName = productName;
    delete[] Messages;
    delete[] MessageReplaced;
    Messages = nullptr;
    MessageReplaced = nullptr;
    TableMessages = TableLanguages = 0;
    if (messages < 1 || languages < 1)
        return;
    Messages = new String[messages * languages];
    MessageReplaced = new uint8_t[messages * languages]();
    TableMessages = messages;
    TableLanguages = languages;
}

void AdoptMessageTable(String* texts, int messages, int languages, const String& productName)
{
    ResizeMessageTable(0, 0, productName);
    if (texts == nullptr || messages < 1 || languages < 1) {
        delete[] texts;
        return;
    }
    Messages = texts;
    MessageReplaced = new uint8_t[messages * languages]();
    TableMessages = messages;
    TableLanguages = languages;
}

void SetMessage(int number, int language, const String& text)
{
    if (number < 0 || number >= TableMessages || language < 0 || language >= TableLanguages)
        return;
    Messages[number * TableLanguages + language] = text;
    MessageReplaced[number * TableLanguages + language] = 0;
}

int MessageCount()
{
    return TableMessages;
}

void SelectMessageLanguage(int language)
{
    SelectedLanguage = language;
}

int MessageLanguage()
{
    return SelectedLanguage;
}

const char* MessageText(int n)
{
    if (n < 0 || n >= TableMessages || SelectedLanguage < 0 || SelectedLanguage >= TableLanguages)
        return "";
    int index = n * TableLanguages + SelectedLanguage;
    String& text = Messages[index];
    if (!MessageReplaced[index]) {
        ReplaceMessageMacros(text, TableProductName.CStr(), GetWindowsDirectoryString().CStr());
        MessageReplaced[index] = 1;
    }
    return text.CStr();
}

String MessageFormatted(int n, const char* conversions, ...)
{
    String result;
    va_list args;
    va_start(args, conversions);
    result.AppendCheckedFormatV(MessageText(n), conversions, args);
    va_end(args);
    return result;
}
