#include "builder/description.h"

#include "core/checksum.h"

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
    w.Int(kDescriptionEnd);
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
    if (d.iconOffset > 0 && d.uninstallerIcon.size() != kIconImageSize)
        return "the uninstaller icon is not a 2216-byte image";
    if (d.languageNames.empty())
        return "no languages are given";
    if (d.languageNames.size() > 255)
        return "more than 255 languages are given";
    if (d.messages.empty() || d.messages.size() > (size_t)kMaxMessages)
        return "the message table needs 1 to 10000 messages";
    for (const std::vector<std::string>& texts : d.messages)
        if (texts.size() != d.languageNames.size())
            return "a message lacks a text for some language";
    return "";
}

ArchiveFault ReadDescription(std::span<const uint8_t> bytes, uint32_t descriptionKey,
                             Description& d)
{
    d = Description();
    ByteReader r(bytes);
    d.productFlags = r.Int();
    if ((d.productFlags & PfChecksums)
        && Checksum(bytes.data(), (int32_t)bytes.size()) != descriptionKey)
        return {25, "the description's checksum does not match the header's key"};
    d.archiveDate = r.Date();
    int32_t fileCount = (int32_t)r.Int();
    if (fileCount < 1)
        return {27, "the description lists no files"};
    // A hostile count cannot make us allocate more than the data holds; the
    // stub reads zeros past the end, and so does the reader.
    for (int32_t i = 0; i < fileCount; i++) {
        int32_t size = (int32_t)r.Int();
        if (size < 0)
            return {28, "file " + std::to_string(i) + " has a negative stored size"};
        d.storedSizes.push_back(size);
        if (r.Overrun())
            break;
    }
    if (r.Overrun())
        return {29, "the description ends inside its list of file sizes"};
    d.payloadSize = (int32_t)r.Int();
    if (d.payloadSize < 1)
        return {29, "the file data's size is not positive"};
    d.payloadChecksum = r.Int();
    for (std::string* s : {&d.publisher, &d.productName, &d.startMenuFolder,
                           &d.defaultDirectory, &d.displayVersion, &d.productRegistry,
                           &d.licenseText, &d.readmeText, &d.uninstallSubdir,
                           &d.displayName, &d.volumeBaseName})
        *s = r.Text();
    if (IsBlank(d.volumeBaseName))
        return {21, "the volume name is blank"};
    d.uninstallerName = r.Text();
    if (IsBlank(d.uninstallerName))
        return {33, "the uninstaller's file name is blank"};
    d.titleColor = r.Int();
    d.topColor = r.Int();
    d.bottomColor = r.Int();
    int32_t bitmapSize = (int32_t)r.Int();
    if (bitmapSize > 0)
        d.backgroundBitmap = r.Raw(std::min<size_t>((size_t)bitmapSize, r.Remaining() + 1));
    if (d.productFlags & PfNeedsMaster)
        d.masterProduct = r.Text();
    for (std::string* s : {&d.preInstallBatch, &d.postInstallBatch, &d.finalBatch,
                           &d.uninstallBatch1, &d.uninstallBatch2})
        *s = r.Text();
    d.buildDay = r.Byte();
    d.buildMonth = r.Byte();
    d.buildYear = r.Word();
    d.iconOffset = (int32_t)r.Int();
    if (d.iconOffset < 0 || d.iconOffset > kMaxIconOffset)
        return {23, "the icon offset " + std::to_string(d.iconOffset) + " is out of range"};
    if (d.iconOffset > 0)
        d.uninstallerIcon = r.Raw(kIconImageSize);
    int32_t associationCount = (int32_t)r.Int();
    for (int32_t i = 0; i < associationCount && !r.Overrun(); i++) {
        Association a;
        a.flags = (int32_t)r.Int();
        for (std::string* s : {&a.extension, &a.fileType, &a.description, &a.verb,
                               &a.command, &a.language})
            *s = r.Text();
        d.associations.push_back(std::move(a));
    }
    uint8_t languageCount = r.Byte();
    if (languageCount == 0)
        return {30, "the description has no languages"};
    int32_t messageCount = (int32_t)r.Int();
    if (messageCount < 1 || messageCount > kMaxMessages)
        return {31, "the message count " + std::to_string(messageCount) + " is outside 1..10000"};
    for (int i = 0; i < languageCount; i++)
        d.languageNames.push_back(r.Text());
    d.messages.resize((size_t)messageCount);
    for (std::vector<std::string>& texts : d.messages)
        for (int i = 0; i < languageCount; i++)
            texts.push_back(r.Text());
    if (r.Int() != kDescriptionEnd)
        return {32, "the description's end marker is missing"};
    return {};
}

} // namespace velt
