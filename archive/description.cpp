#include "archive/description.h"

#include "archive/corrupt.h"
#include "archive/format.h"
#include "core/checksum.h"

DescriptionFields::~DescriptionFields()
{
    delete[] storedSizes;
    delete[] associations;
    delete[] languageNames;
    delete[] messages;
}

namespace {

// Fields 2 to 6: the date, the files' sizes and the file data's.
int ReadHead(ByteStream& stream, DescriptionFields& d)
{
    int32_t* date[] = {&d.archiveDate.year, &d.archiveDate.month, &d.archiveDate.day,
                       &d.archiveDate.hour, &d.archiveDate.minute, &d.archiveDate.second};
    for (int32_t* field : date)
        *field = stream.ReadInt();
    d.fileCount = stream.ReadInt();
    // A count the rest cannot hold is damage, caught before it costs memory.
    if (d.fileCount < 1 || d.fileCount > stream.Remaining() / 4)
        return kCorruptFileCount;
    delete[] d.storedSizes;
    d.storedSizes = new int32_t[d.fileCount];
    for (int i = 0; i < d.fileCount; i++) {
        d.storedSizes[i] = stream.ReadInt();
        if (d.storedSizes[i] < 0)
            return kCorruptStoredSize;
    }
    d.payloadSize = stream.ReadInt();
    if (d.payloadSize < 1)
        return kCorruptPayloadSize;
    d.payloadChecksum = (uint32_t)stream.ReadInt();
    return 0;
}

// Fields 7 to 18: the product's texts and directories.
int ReadTexts(ByteStream& stream, DescriptionFields& d)
{
    String* texts[] = {&d.publisher, &d.productName, &d.startMenuFolder, &d.defaultDirectory,
                       &d.displayVersion, &d.productRegistry, &d.licenseText, &d.readmeText,
                       &d.uninstallSubdir, &d.displayName, &d.volumeBaseName, &d.uninstallerName};
    for (String* text : texts)
        *text = stream.ReadText();
    d.partsRead = kDescriptionTexts;
    if (d.volumeBaseName.IsBlank())
        return kCorruptVolumeNameBlank;
    if (d.uninstallerName.IsBlank())
        return kCorruptUninstallerNameBlank;
    return 0;
}

// Fields 19 to 21: the colours and the background picture.
int ReadLook(ByteStream& stream, DescriptionFields& d)
{
    d.titleColor = (uint32_t)stream.ReadInt();
    d.topColor = (uint32_t)stream.ReadInt();
    d.bottomColor = (uint32_t)stream.ReadInt();
    int32_t pictureSize = stream.ReadInt();
    if (pictureSize > stream.Remaining())
        return kCorruptEndMarker;           // the rest cannot hold the picture
    d.backgroundBitmap.Clear();
    if (pictureSize > 0) {
        d.backgroundBitmap.Reset(pictureSize);
        stream.ReadBytes(d.backgroundBitmap.Data(), pictureSize);
    }
    return 0;
}

// Fields 22 to 30: master product, batch texts, the date and the icon.
int ReadInstallTexts(ByteStream& stream, DescriptionFields& d)
{
    if (d.productFlags & PfNeedsMaster)
        d.masterProduct = stream.ReadText();
    String* batches[] = {&d.preInstallBatch, &d.postInstallBatch, &d.finalBatch,
                         &d.uninstallBatch1, &d.uninstallBatch2};
    for (String* batch : batches)
        *batch = stream.ReadText();
    d.buildDay = stream.ReadByte();
    d.buildMonth = stream.ReadByte();
    d.buildYear = (int16_t)(stream.ReadByte() | (stream.ReadByte() << 8));
    d.iconOffset = stream.ReadInt();
    if (d.iconOffset < 0 || d.iconOffset > kMaxIconOffset)
        return kCorruptIconOffset;
    if (d.iconOffset > 0) {
        d.uninstallerIcon.Reset(kUninstallerIconSize);
        stream.ReadBytes(d.uninstallerIcon.Data(), kUninstallerIconSize);
    }
    return 0;
}

int ReadAssociations(ByteStream& stream, DescriptionFields& d)
{
    int32_t count = stream.ReadInt();
    // A record takes at least an int and six terminators; a count the rest
    // cannot hold is damage, caught here before it costs memory.
    if (count > stream.Remaining() / 10)
        return kCorruptEndMarker;
    delete[] d.associations;
    d.associations = nullptr;
    d.associationCount = count > 0 ? count : 0;
    if (d.associationCount > 0)
        d.associations = new FileAssociation[d.associationCount];
    for (int i = 0; i < d.associationCount; i++) {
        FileAssociation& a = d.associations[i];
        a.flags = stream.ReadInt();
        String* texts[] = {&a.extension, &a.fileType, &a.description, &a.verb, &a.command,
                           &a.language};
        for (String* text : texts)
            *text = stream.ReadText();
    }
    return 0;
}

// Fields 33 to 36: the languages and the message table.
int ReadMessages(ByteStream& stream, DescriptionFields& d)
{
    int languages = stream.ReadByte();
    if (languages == 0)
        return kCorruptNoLanguages;
    int32_t messages = stream.ReadInt();
    if (messages < 1 || messages > kMaxMessageCount)
        return kCorruptMessageCount;
    delete[] d.languageNames;
    d.languageCount = languages;
    d.languageNames = new String[languages];
    for (int i = 0; i < languages; i++)
        d.languageNames[i] = stream.ReadText();
    // Each text takes at least its terminator.
    if ((int64_t)messages * languages > stream.Remaining())
        return kCorruptEndMarker;
    delete[] d.messages;
    d.messageCount = messages;
    d.messages = new String[messages * languages];
    for (int i = 0; i < messages * languages; i++)
        d.messages[i] = stream.ReadText();
    return 0;
}

}  // namespace

int ReadDescriptionFields(ByteStream& stream, uint32_t descriptionKey, DescriptionFields& d)
{
    d.partsRead = kDescriptionNothing;
    d.productFlags = (uint32_t)stream.ReadInt();
    if ((d.productFlags & PfChecksums)
        && Checksum((const uint8_t*)stream.CStr(), stream.Length()) != descriptionKey)
        return kCorruptDescriptionChecksum;
    typedef int (*PartReader)(ByteStream&, DescriptionFields&);
    const PartReader parts[] = {ReadHead, ReadTexts, ReadLook, ReadInstallTexts,
                                ReadAssociations, ReadMessages};
    for (int i = 0; i < (int)(sizeof parts / sizeof parts[0]); i++) {
        if (int code = parts[i](stream, d))
            return code;
        d.partsRead = (DescriptionPart)(kDescriptionHead + i);
    }
    if ((uint32_t)stream.ReadInt() != kDescriptionEndMarker)
        return kCorruptEndMarker;
    d.partsRead = kDescriptionComplete;
    return 0;
}
