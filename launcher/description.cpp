// Reading the installation description into the process-wide settings.
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
    AdoptMessageTable(Description.messages, Description.messageCount,
                      Description.languageCount);
    Description.messages = nullptr;
}

}  // namespace

int ReadDescriptionSettings(ByteStream& stream, uint32_t descriptionKey)
{
    int error = ReadDescriptionFields(stream, descriptionKey, Description);
    // The flag word is read first of all; every group of fields read before
    // a failed check takes effect as it would have on the way.
    if (ProductFlags & PfAutomatic)
        AutomaticMode = 1;
    StandardExitCodes = (ProductFlags & PfStandardExitCodes) != 0;
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
