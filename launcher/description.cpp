// Reading the installation description into the process-wide settings, and
// the message table.
#include "launcher/description.h"

#include "core/directory.h"
#include "core/paths.h"
#include "launcher/report.h"
#include "launcher/state.h"
#include "system/shell.h"
#include "ui/background.h"

DescriptionFields Description;
String SharedDirectory;

namespace {

// The message table, message-major: entry n * TableLanguages + language.
String* Messages = nullptr;
uint8_t* MessageReplaced = nullptr;    // the replacements are made once
int TableMessages = 0;
int TableLanguages = 0;

// Fields 7 to 18 take effect: the shared directory, the product name and
// the defaults of the texts that have one.
void ApplyTexts()
{
    if (ProductFlags & PfUninstallSupport) {
        SharedDirectory = PathJoin(CommonFilesFolder().CStr(), Publisher.CStr());
        CreateDirectoryPath(SharedDirectory.CStr());
    }
    if (ProductName.IsEmpty())
        ProductName = Description.productName;
    if (StartMenuFolder.IsEmpty()) {
        if (!Publisher.IsEmpty())
            StartMenuFolder = Publisher + "\\";
        StartMenuFolder += ProductName;
    }
    if (DefaultDirectory.IsEmpty())
        DefaultDirectory = ProductName;
    else
        DefaultDirectory.ReplaceAll("<os>", GetWindowsDirectoryString().CStr(), String::FindNoCase);
    // "<master>" stands for the master product's directory, found later.
    if (DefaultDirectory.Compare("<master>", false) != 0)
        MakeAbsolute(DefaultDirectory, ProgramFilesFolder().CStr());
    if (DisplayName.IsEmpty())
        DisplayName = ProductName;
}

// Fields 19 to 21: the colours and the picture go to the background.
void ApplyLook()
{
    const DescriptionFields& d = Description;
    if (ProductFlags & PfCustomColors) {
        TitleColor = d.titleColor;
        TopColor = d.topColor;
        BottomColor = d.bottomColor;
        if (d.topColor != d.bottomColor)
            MonoColor = 0;
    }
    if (!d.backgroundBitmap.IsEmpty()) {
        TitleColor = d.titleColor;
        BackgroundImage.SetBytes(d.backgroundBitmap.CStr(), d.backgroundBitmap.Length());
    }
    RedrawBackground();
}

// Fields 35 and 36: the texts become the message table.
void ApplyMessages()
{
    ResizeMessageTable(0, 0);
    TableMessages = Description.messageCount;
    TableLanguages = Description.languageCount;
    Messages = Description.messages;
    Description.messages = nullptr;
    MessageReplaced = new uint8_t[TableMessages * TableLanguages]();
}

}  // namespace

int ReadDescriptionSettings(ByteStream& stream, uint32_t descriptionKey)
{
    int error = ReadDescriptionFields(stream, descriptionKey, Description);
    // The flag word is read first of all; every group of fields read before
    // a failed check takes effect as it would have on the way.
    if (ProductFlags & PfAutomatic)
        AutomaticMode = 1;
    if (Description.partsRead >= kDescriptionTexts)
        ApplyTexts();
    if (Description.partsRead >= kDescriptionLook)
        ApplyLook();
    if (Description.partsRead >= kDescriptionMessages)
        ApplyMessages();
    return error;
}

void ReadDescription(ByteStream& stream, uint32_t descriptionKey)
{
    int error = ReadDescriptionSettings(stream, descriptionKey);
    if (error)
        ArchiveCorrupt(error);
}

// ------------------------------------------------------------ message table

void ResizeMessageTable(int messages, int languages)
{
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

const char* MessageText(int n)
{
    if (n < 0 || n >= TableMessages || SelectedLanguage < 0 || SelectedLanguage >= TableLanguages)
        return "";
    int index = n * TableLanguages + SelectedLanguage;
    String& text = Messages[index];
    if (!MessageReplaced[index]) {
        text.ReplaceAll("<product>", ProductName.CStr(), String::FindNoCase);
        text.ReplaceAll("<os>", GetWindowsDirectoryString().CStr(), String::FindNoCase);
        MessageReplaced[index] = 1;
    }
    return text.CStr();
}
