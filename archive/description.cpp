#include "archive/description.h"

#include "archive/corrupt.h"
#include "archive/format.h"
#include "archive/sink.h"
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
#define VELT_ADDRESS_(name) &d.archiveDate.name,
    int32_t* date[] = {VELT_DATE_WORDS(VELT_ADDRESS_)};
#undef VELT_ADDRESS_
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
#define VELT_ADDRESS_(name) &d.name,
    String* texts[] = {VELT_PRODUCT_TEXTS(VELT_ADDRESS_)};
#undef VELT_ADDRESS_
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
#define VELT_ADDRESS_(name) &d.name,
    String* batches[] = {VELT_BATCH_TEXTS(VELT_ADDRESS_)};
#undef VELT_ADDRESS_
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
#define VELT_ADDRESS_(name) &a.name,
        String* texts[] = {VELT_ASSOCIATION_TEXTS(VELT_ADDRESS_)};
#undef VELT_ADDRESS_
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

// ------------------------------------------------------------------ writer

void WriteDescriptionFields(ArchiveSink& out, const DescriptionFields& d)
{
#define VELT_WRITE_TEXT_(name) out.Text(d.name);
    out.Int(d.productFlags);
    out.Date(d.archiveDate);
    out.Int((uint32_t)d.fileCount);
    for (int i = 0; i < d.fileCount; i++)
        out.Int((uint32_t)d.storedSizes[i]);
    out.Int((uint32_t)d.payloadSize);
    out.Int(d.payloadChecksum);
    VELT_PRODUCT_TEXTS(VELT_WRITE_TEXT_)
    out.Int(d.titleColor);
    out.Int(d.topColor);
    out.Int(d.bottomColor);
    out.Int((uint32_t)d.backgroundBitmap.Length());
    out.Raw(d.backgroundBitmap);
    if (d.productFlags & PfNeedsMaster)
        out.Text(d.masterProduct);
    VELT_BATCH_TEXTS(VELT_WRITE_TEXT_)
    out.Byte(d.buildDay);
    out.Byte(d.buildMonth);
    out.Word((uint16_t)d.buildYear);
    out.Int((uint32_t)d.iconOffset);
    if (d.iconOffset > 0)
        out.Raw(d.uninstallerIcon);
    out.Int((uint32_t)d.associationCount);
    for (int i = 0; i < d.associationCount; i++) {
        const FileAssociation& a = d.associations[i];
        out.Int((uint32_t)a.flags);
#define VELT_WRITE_ASSOCIATION_TEXT_(name) out.Text(a.name);
        VELT_ASSOCIATION_TEXTS(VELT_WRITE_ASSOCIATION_TEXT_)
#undef VELT_WRITE_ASSOCIATION_TEXT_
    }
    out.Byte((uint8_t)d.languageCount);
    out.Int((uint32_t)d.messageCount);
    for (int i = 0; i < d.languageCount; i++)
        out.Text(d.languageNames[i]);
    for (int i = 0; i < d.messageCount * d.languageCount; i++)
        out.Text(d.messages[i]);
    out.Int(kDescriptionEndMarker);
#undef VELT_WRITE_TEXT_
}
