#include "builder/description.h"

#include "archive/corrupt.h"
#include "archive/description.h"
#include "core/byte_stream.h"

namespace velt {

namespace {

bool IsBlank(const std::string& s)
{
    return s.find_first_not_of(" \r\n\t") == std::string::npos;
}

} // namespace

Bytes WriteDescription(const Description& d)
{
    ByteWriter w;
    w.Int(d.productFlags);
    w.Date(d.archiveDate);
    w.Int((uint32_t)d.storedSizes.size());
    for (int32_t size : d.storedSizes)
        w.Int((uint32_t)size);
    w.Int((uint32_t)d.payloadSize);
    w.Int(d.payloadChecksum);
    for (const std::string* s : {&d.publisher, &d.productName, &d.startMenuFolder,
                                 &d.defaultDirectory, &d.displayVersion, &d.productRegistry,
                                 &d.licenseText, &d.readmeText, &d.uninstallSubdir,
                                 &d.displayName, &d.volumeBaseName, &d.uninstallerName})
        w.Text(*s);
    w.Int(d.titleColor);
    w.Int(d.topColor);
    w.Int(d.bottomColor);
    w.Int((uint32_t)d.backgroundBitmap.size());
    w.Raw(d.backgroundBitmap);
    if (d.productFlags & PfNeedsMaster)
        w.Text(d.masterProduct);
    for (const std::string* s : {&d.preInstallBatch, &d.postInstallBatch, &d.finalBatch,
                                 &d.uninstallBatch1, &d.uninstallBatch2})
        w.Text(*s);
    w.Byte(d.buildDay);
    w.Byte(d.buildMonth);
    w.Word((uint16_t)d.buildYear);
    w.Int((uint32_t)d.iconOffset);
    if (d.iconOffset > 0)
        w.Raw(d.uninstallerIcon);
    w.Int((uint32_t)d.associations.size());
    for (const Association& a : d.associations) {
        w.Int((uint32_t)a.flags);
        for (const std::string* s : {&a.extension, &a.fileType, &a.description, &a.verb,
                                     &a.command, &a.language})
            w.Text(*s);
    }
    w.Byte((uint8_t)d.languageNames.size());
    w.Int((uint32_t)d.messages.size());
    for (const std::string& name : d.languageNames)
        w.Text(name);
    for (const std::vector<std::string>& texts : d.messages)
        for (const std::string& text : texts)
            w.Text(text);
    w.Int(kDescriptionEndMarker);
    return std::move(w.Out());
}

std::string CheckDescription(const Description& d)
{
    if (d.storedSizes.empty())
        return "the installer holds no files";
    if (d.payloadSize < 1)
        return "the file data is empty";
    if (IsBlank(d.volumeBaseName))
        return "the volume name is blank";
    if (IsBlank(d.uninstallerName))
        return "the uninstaller's file name is blank";
    if (d.iconOffset < 0 || d.iconOffset > kMaxIconOffset)
        return "the stub's icon lies beyond file offset 999998";
    if (d.iconOffset > 0 && d.uninstallerIcon.size() != (size_t)kUninstallerIconSize)
        return "the uninstaller icon is not a 2216-byte image";
    if (d.languageNames.empty())
        return "no languages are given";
    if (d.languageNames.size() > 255)
        return "more than 255 languages are given";
    if (d.messages.empty() || d.messages.size() > (size_t)kMaxMessageCount)
        return "the message table needs 1 to 10000 messages";
    for (const std::vector<std::string>& texts : d.messages)
        if (texts.size() != d.languageNames.size())
            return "a message lacks a text for some language";
    return "";
}

namespace {

std::string Text(const String& text)
{
    return std::string(text.CStr(), (size_t)text.Length());
}

std::vector<uint8_t> Raw(const String& bytes)
{
    const uint8_t* data = (const uint8_t*)bytes.CStr();
    return std::vector<uint8_t>(data, data + bytes.Length());
}

// The fields as the stub's reader left them, as far as it got.
void TakeFields(const DescriptionFields& f, Description& d)
{
    d.productFlags = f.productFlags;
    d.archiveDate = f.archiveDate;
    if (f.storedSizes)
        d.storedSizes.assign(f.storedSizes, f.storedSizes + f.fileCount);
    d.payloadSize = f.payloadSize;
    d.payloadChecksum = f.payloadChecksum;
    const std::pair<std::string*, const String*> texts[] = {
        {&d.publisher, &f.publisher}, {&d.productName, &f.productName},
        {&d.startMenuFolder, &f.startMenuFolder}, {&d.defaultDirectory, &f.defaultDirectory},
        {&d.displayVersion, &f.displayVersion}, {&d.productRegistry, &f.productRegistry},
        {&d.licenseText, &f.licenseText}, {&d.readmeText, &f.readmeText},
        {&d.uninstallSubdir, &f.uninstallSubdir}, {&d.displayName, &f.displayName},
        {&d.volumeBaseName, &f.volumeBaseName}, {&d.uninstallerName, &f.uninstallerName},
        {&d.masterProduct, &f.masterProduct}, {&d.preInstallBatch, &f.preInstallBatch},
        {&d.postInstallBatch, &f.postInstallBatch}, {&d.finalBatch, &f.finalBatch},
        {&d.uninstallBatch1, &f.uninstallBatch1}, {&d.uninstallBatch2, &f.uninstallBatch2}};
    for (auto [to, from] : texts)
        *to = Text(*from);
    d.titleColor = f.titleColor;
    d.topColor = f.topColor;
    d.bottomColor = f.bottomColor;
    d.backgroundBitmap = Raw(f.backgroundBitmap);
    d.buildDay = f.buildDay;
    d.buildMonth = f.buildMonth;
    d.buildYear = f.buildYear;
    d.iconOffset = f.iconOffset;
    d.uninstallerIcon = Raw(f.uninstallerIcon);
    for (int i = 0; i < f.associationCount; i++) {
        const FileAssociation& a = f.associations[i];
        d.associations.push_back({a.flags, Text(a.extension), Text(a.fileType), Text(a.description),
                                  Text(a.verb), Text(a.command), Text(a.language)});
    }
    for (int i = 0; i < f.languageCount && f.languageNames; i++)
        d.languageNames.push_back(Text(f.languageNames[i]));
    for (int n = 0; n < f.messageCount && f.messages; n++) {
        std::vector<std::string> row;
        for (int i = 0; i < f.languageCount; i++)
            row.push_back(Text(f.messages[n * f.languageCount + i]));
        d.messages.push_back(std::move(row));
    }
}

} // namespace

ArchiveFault ArchiveFault::Of(int finding)
{
    if (finding == 0)
        return {};
    return {finding > 0 ? finding : 0, CorruptCodeText(finding)};
}

ArchiveFault ReadDescription(std::span<const uint8_t> bytes, uint32_t descriptionKey,
                             Description& d)
{
    ByteStream stream;
    stream.Assign(bytes.data(), (int)bytes.size());
    DescriptionFields fields;
    int code = ReadDescriptionFields(stream, descriptionKey, fields);
    d = Description();
    TakeFields(fields, d);
    return ArchiveFault::Of(code);
}

} // namespace velt
