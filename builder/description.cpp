#include "builder/description.h"

#include "archive/corrupt.h"
#include "archive/description.h"
#include "core/byte_stream.h"

#include <algorithm>

namespace velt {

namespace {

bool IsBlank(const std::string& s)
{
    return s.find_first_not_of(" \r\n\t") == std::string::npos;
}

} // namespace

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

String FromText(const std::string& text)
{
    return String(text.data(), (int)text.size());
}

String FromRaw(const std::vector<uint8_t>& bytes)
{
    return String((const char*)bytes.data(), (int)bytes.size());
}

// The fields as the stub's reader left them, as far as it got.
void TakeFields(const DescriptionFields& f, Description& d)
{
#define VELT_TAKE_VALUE_(type, name) d.name = f.name;
#define VELT_TAKE_TEXT_(name) d.name = Text(f.name);
#define VELT_TAKE_BYTES_(name) d.name = Raw(f.name);
    VELT_DESCRIPTION_FIELDS(VELT_TAKE_VALUE_, VELT_TAKE_TEXT_, VELT_TAKE_BYTES_)
    if (f.storedSizes)
        d.storedSizes.assign(f.storedSizes, f.storedSizes + f.fileCount);
    for (int i = 0; i < f.associationCount; i++) {
        const FileAssociation& a = f.associations[i];
        Association& to = d.associations.emplace_back();
        to.flags = a.flags;
#define VELT_TAKE_ASSOCIATION_TEXT_(name) to.name = Text(a.name);
        VELT_ASSOCIATION_TEXTS(VELT_TAKE_ASSOCIATION_TEXT_)
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

// The stub's record of `d`, for the archive's writer. Every message has a
// text for each language (CheckDescription); a row that lacks one is
// written with empty texts.
void GiveFields(const Description& d, DescriptionFields& f)
{
#define VELT_GIVE_VALUE_(type, name) f.name = d.name;
#define VELT_GIVE_TEXT_(name) f.name = FromText(d.name);
#define VELT_GIVE_BYTES_(name) f.name = FromRaw(d.name);
    VELT_DESCRIPTION_FIELDS(VELT_GIVE_VALUE_, VELT_GIVE_TEXT_, VELT_GIVE_BYTES_)
    f.fileCount = (int32_t)d.storedSizes.size();
    f.storedSizes = new int32_t[d.storedSizes.size()];
    std::copy(d.storedSizes.begin(), d.storedSizes.end(), f.storedSizes);
    f.associationCount = (int)d.associations.size();
    f.associations = new FileAssociation[d.associations.size()];
    for (size_t i = 0; i < d.associations.size(); i++) {
        const Association& a = d.associations[i];
        FileAssociation& to = f.associations[i];
        to.flags = a.flags;
#define VELT_GIVE_ASSOCIATION_TEXT_(name) to.name = FromText(a.name);
        VELT_ASSOCIATION_TEXTS(VELT_GIVE_ASSOCIATION_TEXT_)
    }
    f.languageCount = (int)d.languageNames.size();
    f.languageNames = new String[d.languageNames.size()];
    for (size_t i = 0; i < d.languageNames.size(); i++)
        f.languageNames[i] = FromText(d.languageNames[i]);
    f.messageCount = (int)d.messages.size();
    f.messages = new String[d.messages.size() * d.languageNames.size()];
    for (size_t n = 0; n < d.messages.size(); n++)
        for (size_t i = 0; i < d.languageNames.size() && i < d.messages[n].size(); i++)
            f.messages[n * d.languageNames.size() + i] = FromText(d.messages[n][i]);
}

} // namespace

Bytes WriteDescription(const Description& d)
{
    DescriptionFields fields;
    GiveFields(d, fields);
    ByteWriter out;
    WriteDescriptionFields(out, fields);
    return std::move(out.Out());
}

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
