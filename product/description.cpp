// Reading the installation description into the run.
#include "product/description.h"

#include "core/directory.h"
#include "core/paths.h"
#include "product/report.h"
#include "system/shell.h"
#include "ui/background.h"
#include "ui/messages.h"

namespace {

// Fields 7 to 18 take effect: the shared directory, the product name and
// the defaults of the texts that have one.
void ApplyTexts(DescriptionFields& d, ProductRun& run)
{
    if (d.productFlags & PfUninstallSupport) {
        run.sharedDirectory = PathJoin(CommonFilesFolder().CStr(), d.publisher.CStr());
        CreateDirectoryPath(run.sharedDirectory.CStr());
    }
    if (run.productName.IsEmpty())
        run.productName = d.productName;
    if (d.startMenuFolder.IsEmpty()) {
        if (!d.publisher.IsEmpty())
            d.startMenuFolder = d.publisher + "\\";
        d.startMenuFolder += run.productName;
    }
    if (d.defaultDirectory.IsEmpty())
        d.defaultDirectory = run.productName;
    else
        d.defaultDirectory.ReplaceAll("<os>", GetWindowsDirectoryString().CStr(),
                                      String::FindNoCase);
    // "<master>" stands for the master product's directory, found later.
    if (d.defaultDirectory.Compare("<master>", false) != 0)
        MakeAbsolute(d.defaultDirectory, ProgramFilesFolder().CStr());
    if (d.displayName.IsEmpty())
        d.displayName = run.productName;
}

// Fields 19 to 21: the colours and the picture go to the background.
void ApplyLook(const DescriptionFields& d)
{
    if (d.productFlags & PfCustomColors) {
        Background.titleColor = d.titleColor;
        Background.topColor = d.topColor;
        Background.bottomColor = d.bottomColor;
        if (d.topColor != d.bottomColor)
            Background.monoColor = 0;
    }
    if (!d.backgroundBitmap.IsEmpty()) {
        Background.titleColor = d.titleColor;
        Background.image.SetBytes(d.backgroundBitmap.CStr(), d.backgroundBitmap.Length());
    }
    RedrawBackground();
}

// Fields 35 and 36: the texts become the message table.
void ApplyMessages(DescriptionFields& d, const ProductRun& run)
{
    AdoptMessageTable(d.messages, d.messageCount, d.languageCount, run.productName);
    d.messages = nullptr;
}

}  // namespace

int ReadDescriptionSettings(ByteStream& stream, uint32_t descriptionKey,
                            DescriptionFields& description, ProductRun& run)
{
    int error = ReadDescriptionFields(stream, descriptionKey, description);
    // The flag word is read first of all; every group of fields read before
    // a failed check takes effect as it would have on the way.
    if (description.productFlags & PfAutomatic)
        run.automaticMode = 1;
    SetExitCodes(run, (description.productFlags & PfStandardExitCodes) != 0);
    if (description.partsRead >= kDescriptionTexts)
        ApplyTexts(description, run);
    if (description.partsRead >= kDescriptionLook)
        ApplyLook(description);
    if (description.partsRead >= kDescriptionMessages)
        ApplyMessages(description, run);
    return error;
}

void ReadDescription(ByteStream& stream, uint32_t descriptionKey, DescriptionFields& description,
                     ProductRun& run)
{
    int error = ReadDescriptionSettings(stream, descriptionKey, description, run);
    if (error)
        ArchiveCorrupt(error);
}
