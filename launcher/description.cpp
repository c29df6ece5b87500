// Reading the installation description into the process-wide settings, and
// the message table.
#include "launcher/description.h"

#include "core/byte_stream.h"
#include "core/checksum.h"
#include "core/directory.h"
#include "core/paths.h"
#include "launcher/report.h"
#include "launcher/state.h"
#include "system/shell.h"
#include "ui/background.h"

uint32_t ProductFlags = 0;
DateTime ArchiveDate;
int32_t FileCount = 0;
int32_t* StoredSizes = nullptr;
int32_t PayloadSize = 0;
uint32_t PayloadChecksum = 0;
String Publisher;
String SharedDirectory;
String StartMenuFolder;
String DefaultDirectory;
String DisplayVersion;
String ProductRegistry;
String LicenseText;
String ReadmeText;
String UninstallSubdir;
String DisplayName;
String VolumeBaseName;
String UninstallerName;
String MasterProduct;
String PreInstallBatch;
String PostInstallBatch;
String FinalBatch;
String UninstallBatch1;
String UninstallBatch2;
int32_t IconOffset = 0;
String UninstallerIcon;
int AssociationCount = 0;
FileAssociation* Associations = nullptr;
int LanguageCount = 0;
String* LanguageNames = nullptr;

namespace {

// Corrupt-archive codes of the description's checks.
enum DescriptionError {
    kVolumeNameBlank = 21,
    kIconOffsetRange = 23,
    kDescriptionChecksum = 25,
    kFileCountRange = 27,
    kStoredSizeNegative = 28,
    kPayloadSizeRange = 29,
    kNoLanguages = 30,
    kMessageCountRange = 31,
    kEndMarkerMissing = 32,
    kUninstallerNameBlank = 33,
};

// The message table, message-major: entry n * TableLanguages + language.
String* Messages = nullptr;
uint8_t* MessageReplaced = nullptr;    // the replacements are made once
int TableMessages = 0;
int TableLanguages = 0;

void ReadDefaultDirectory(ByteStream& stream)
{
    DefaultDirectory = stream.ReadText();
    if (DefaultDirectory.IsEmpty())
        DefaultDirectory = ProductName;
    else
        DefaultDirectory.ReplaceAll("<os>", GetWindowsDirectoryString().CStr(), String::FindNoCase);
    // "<master>" stands for the master product's directory, found later.
    if (DefaultDirectory.Compare("<master>", false) != 0)
        MakeAbsolute(DefaultDirectory, ProgramFilesFolder().CStr());
}

// Fields 7 to 18: the product's texts and directories.
int ReadProductTexts(ByteStream& stream)
{
    Publisher = stream.ReadText();
    if (ProductFlags & PfUninstallSupport) {
        SharedDirectory = PathJoin(CommonFilesFolder().CStr(), Publisher.CStr());
        CreateDirectoryPath(SharedDirectory.CStr());
    }
    String name = stream.ReadText();
    if (ProductName.IsEmpty())
        ProductName = name;
    StartMenuFolder = stream.ReadText();
    if (StartMenuFolder.IsEmpty()) {
        if (!Publisher.IsEmpty())
            StartMenuFolder = Publisher + "\\";
        StartMenuFolder += ProductName;
    }
    ReadDefaultDirectory(stream);
    DisplayVersion = stream.ReadText();
    ProductRegistry = stream.ReadText();
    LicenseText = stream.ReadText();
    ReadmeText = stream.ReadText();
    UninstallSubdir = stream.ReadText();
    DisplayName = stream.ReadText();
    if (DisplayName.IsEmpty())
        DisplayName = ProductName;
    VolumeBaseName = stream.ReadText();
    if (VolumeBaseName.IsBlank())
        return kVolumeNameBlank;
    UninstallerName = stream.ReadText();
    if (UninstallerName.IsBlank())
        return kUninstallerNameBlank;
    return 0;
}

// Fields 19 to 21: colours and the background picture.
int ReadBackground(ByteStream& stream)
{
    COLORREF title = (COLORREF)stream.ReadInt();
    COLORREF top = (COLORREF)stream.ReadInt();
    COLORREF bottom = (COLORREF)stream.ReadInt();
    if (ProductFlags & PfCustomColors) {
        TitleColor = title;
        TopColor = top;
        BottomColor = bottom;
        if (top != bottom)
            MonoColor = 0;
    }
    int32_t pictureSize = stream.ReadInt();
    if (pictureSize > stream.Remaining())
        return kEndMarkerMissing;           // the rest cannot hold the picture
    if (pictureSize > 0) {
        TitleColor = title;
        String picture;
        picture.Reset(pictureSize);
        stream.ReadBytes(picture.Data(), pictureSize);
        BackgroundImage.SetBytes(picture.CStr(), picture.Length());
    }
    RedrawBackground();
    return 0;
}

// Fields 22 to 30: master product, batch texts, date and the icon.
int ReadInstallTexts(ByteStream& stream)
{
    if (ProductFlags & PfNeedsMaster)
        MasterProduct = stream.ReadText();
    PreInstallBatch = stream.ReadText();
    PostInstallBatch = stream.ReadText();
    FinalBatch = stream.ReadText();
    UninstallBatch1 = stream.ReadText();
    UninstallBatch2 = stream.ReadText();
    char buildDate[4];                      // a calendar date nobody uses
    stream.ReadBytes(buildDate, sizeof buildDate);
    IconOffset = stream.ReadInt();
    if (IconOffset < 0 || IconOffset > kMaxIconOffset)
        return kIconOffsetRange;
    if (IconOffset > 0) {
        UninstallerIcon.Reset(kUninstallerIconSize);
        stream.ReadBytes(UninstallerIcon.Data(), kUninstallerIconSize);
    }
    return 0;
}

int ReadAssociations(ByteStream& stream)
{
    int32_t count = stream.ReadInt();
    // A record takes at least an int and six terminators; a count the rest
    // cannot hold is damage, caught here before it costs memory.
    if (count > stream.Remaining() / 10)
        return kEndMarkerMissing;
    delete[] Associations;
    Associations = nullptr;
    AssociationCount = count > 0 ? count : 0;
    if (AssociationCount > 0)
        Associations = new FileAssociation[AssociationCount];
    for (int i = 0; i < AssociationCount; i++) {
        FileAssociation& a = Associations[i];
        a.flags = stream.ReadInt();
        a.extension = stream.ReadText();
        a.fileType = stream.ReadText();
        a.description = stream.ReadText();
        a.verb = stream.ReadText();
        a.command = stream.ReadText();
        a.language = stream.ReadText();
    }
    return 0;
}

// Fields 33 to 36: the languages and the message table.
int ReadMessages(ByteStream& stream)
{
    int languages = stream.ReadByte();
    if (languages == 0)
        return kNoLanguages;
    int32_t messages = stream.ReadInt();
    if (messages < 1 || messages > kMaxMessageCount)
        return kMessageCountRange;
    delete[] LanguageNames;
    LanguageCount = languages;
    LanguageNames = new String[languages];
    for (int i = 0; i < languages; i++)
        LanguageNames[i] = stream.ReadText();
    // Each text takes at least its terminator.
    if ((long long)messages * languages > stream.Remaining())
        return kEndMarkerMissing;
    ResizeMessageTable(messages, languages);
    for (int n = 0; n < messages; n++)
        for (int language = 0; language < languages; language++)
            Messages[n * languages + language] = stream.ReadText();
    return 0;
}

}  // namespace

int ReadDescriptionFields(ByteStream& stream, uint32_t descriptionKey)
{
    ProductFlags = (uint32_t)stream.ReadInt();
    if (ProductFlags & PfAutomatic)
        AutomaticMode = 1;
    if ((ProductFlags & PfChecksums)
        && Checksum((const uint8_t*)stream.CStr(), stream.Length()) != descriptionKey)
        return kDescriptionChecksum;
    ArchiveDate.year = stream.ReadInt();
    ArchiveDate.month = stream.ReadInt();
    ArchiveDate.day = stream.ReadInt();
    ArchiveDate.hour = stream.ReadInt();
    ArchiveDate.minute = stream.ReadInt();
    ArchiveDate.second = stream.ReadInt();
    FileCount = stream.ReadInt();
    if (FileCount < 1 || FileCount > stream.Remaining() / 4)
        return kFileCountRange;
    delete[] StoredSizes;
    StoredSizes = new int32_t[FileCount];
    for (int i = 0; i < FileCount; i++) {
        StoredSizes[i] = stream.ReadInt();
        if (StoredSizes[i] < 0)
            return kStoredSizeNegative;
    }
    PayloadSize = stream.ReadInt();
    if (PayloadSize < 1)
        return kPayloadSizeRange;
    PayloadChecksum = (uint32_t)stream.ReadInt();
    int error = ReadProductTexts(stream);
    if (!error)
        error = ReadBackground(stream);
    if (!error)
        error = ReadInstallTexts(stream);
    if (!error)
        error = ReadAssociations(stream);
    if (!error)
        error = ReadMessages(stream);
    if (!error && (uint32_t)stream.ReadInt() != kDescriptionEndMarker)
        error = kEndMarkerMissing;
    return error;
}

void ReadDescription(ByteStream& stream, uint32_t descriptionKey)
{
    int error = ReadDescriptionFields(stream, descriptionKey);
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
