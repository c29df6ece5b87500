#include "product/uninstall_data.h"

#include "archive/messages.h"

const int kUninstallMessages[12] = {
    MsgUninstallErrors, MsgUninstallCompleteCaption, MsgQuestionCaption, MsgUninstallRecordNote,
    MsgUninstallComplete, MsgSharedFileCaption, MsgUninstallConfirm, MsgUninstallConfirmCaption,
    MsgFontQuestion, MsgFontCaption, MsgUninstallErrorPrefix, MsgSharedFileQuestion};

namespace {

const char kStringsMarker[] = "[Strings]";
const char kAssociationsMarker[] = "[Associations]";
const char kFieldSeparator[] = "~!~";

// ------------------------------------------------------------------ writing

void AppendMessages(String& text, UninstallMessageGetter messageText)
{
    for (int number : kUninstallMessages) {
        const char* message = messageText ? messageText(number) : nullptr;
        text.AppendFormat("~%d\r\n", number);
        text.Append(message ? message : "");
        text.Append("\r\n");
    }
}

// ------------------------------------------------------------------ reading

// Lines of one region, [pos, end) of a text. A line ends at CR LF, LF CR,
// a lone CR or LF, or a zero byte, as String::PopLine has it; the last line
// may have no end.
class LineCursor {
public:
    LineCursor(const String& text, int start, int end) : text_(text), pos_(start), end_(end) {}

    bool AtEnd() const { return pos_ >= end_; }

    // The next line without its end, and its end's length in `endLength`.
    String Next(int& endLength)
    {
        const char* data = text_.CStr();
        int start = pos_;
        int stop = start;
        while (stop < end_ && data[stop] != '\r' && data[stop] != '\n' && data[stop] != 0)
            stop++;
        endLength = 0;
        if (stop < end_) {
            endLength = 1;
            char first = data[stop];
            if (first != 0 && stop + 1 < end_ && (data[stop + 1] == '\r' || data[stop + 1] == '\n')
                && data[stop + 1] != first)
                endLength = 2;
        }
        pos_ = stop + endLength;
        return String(data + start, stop - start);
    }

    String Next()
    {
        int endLength;
        return Next(endLength);
    }

    // Position of the line Next would return.
    int Position() const { return pos_; }

private:
    const String& text_;
    int pos_;               // start of the next line
    int end_;               // end of the region
};

void ReadRemovalList(const String& text, int end, const UninstallRecordVisitor& visitor)
{
    LineCursor lines(text, 0, end);
    while (!lines.AtEnd()) {
        String line = lines.Next();
        if (line.IsEmpty())
            continue;
        UninstallItem item;
        if (line.First() == '~')
            item.kind = UiDirectory;
        else if (line.First() == '!')
            item.kind = UiKey;
        if (item.kind != UiFile)
            line.ChopLeft(1);
        item.path = line;
        visitor.item(visitor.context, item);
    }
}

// The message number of a header line ("~" first): its first run of
// digits, commas ignored; 0 when it has none.
int HeaderNumber(const String& line)
{
    return line.Mid(1).ToInt();
}

void ReadMessages(const String& text, int start, int end, const UninstallRecordVisitor& visitor)
{
    LineCursor lines(text, start, end);
    // Text lines before the first header belong to no message.
    while (!lines.AtEnd() && text.CharAt(lines.Position()) != '~')
        lines.Next();
    int headers = 0;
    while (!lines.AtEnd() && headers < kMaxUninstallRecordLines) {
        String header = lines.Next();
        headers++;
        int textStart = lines.Position();
        while (!lines.AtEnd() && text.CharAt(lines.Position()) != '~')
            lines.Next();
        int number = HeaderNumber(header);
        if (number < 1 || number > kMaxUninstallMessageNumber)
            continue;
        UninstallMessage message;
        message.number = number;
        message.text = text.Mid(textStart, lines.Position() - textStart);
        message.text.TrimRight(" \t\r\n");
        visitor.message(visitor.context, message);
    }
}

// Cuts the first field off `rest` at the separator; the whole rest when it
// has none.
String PopField(String& rest)
{
    int at = rest.Find(kFieldSeparator);
    if (at < 0)
        return rest.Extract(0);
    String field = rest.Mid(0, at);
    rest.Delete(0, at + (int)sizeof kFieldSeparator - 1);
    return field;
}

void ReadAssociations(const String& text, int start, int end,
                      const UninstallRecordVisitor& visitor)
{
    LineCursor lines(text, start, end);
    for (int count = 0; !lines.AtEnd() && count < kMaxUninstallRecordLines; count++) {
        String rest = lines.Next();
        if (rest.IsBlank())
            continue;
        // A line of fewer than three fields leaves a blank one.
        UninstallAssociation association;
        association.extension = PopField(rest);
        association.fileType = PopField(rest);
        association.verb = PopField(rest);
        association.marked = !rest.IsEmpty();
        association.command = PopField(rest);
        association.description = PopField(rest);
        association.defaultVerb = PopField(rest);
        if (association.extension.IsBlank() || association.fileType.IsBlank()
            || association.verb.IsBlank())
            continue;
        visitor.association(visitor.context, association);
    }
}

}  // namespace

String UninstallDataText(const String& removalList, UninstallMessageGetter messageText,
                         const String& associations)
{
    String text(removalList);
    text.Append("\r\n\r\n");
    text.Append(kStringsMarker);
    text.Append("\r\n");
    AppendMessages(text, messageText);
    if (!associations.IsEmpty()) {
        text.Append("\r\n\r\n");
        text.Append(kAssociationsMarker);
        text.Append("\r\n");
        text.Append(associations);
    }
    return text;
}

String UninstallItemLine(const char* path, int kind)
{
    String line;
    if (kind == UiDirectory)
        line.Append('~');
    else if (kind != UiFile)
        line.Append('!');
    line.Append(path);
    line.Append("\r\n");
    return line;
}

bool UninstallRecordListsFile(const String& record, const char* path)
{
    String text = "\n" + record;
    int at = text.Find(("\n" + String(path) + "\r").CStr(), 0, String::FindNoCase);
    int strings = text.Find(kStringsMarker, 0, String::FindNoCase);
    return at >= 0 && (strings < 0 || at < strings);
}

void ReadUninstallRecord(const String& text, const UninstallRecordVisitor& visitor)
{
    const int markerLength = (int)sizeof kStringsMarker - 1;
    const int associationsLength = (int)sizeof kAssociationsMarker - 1;
    int strings = text.Find(kStringsMarker, 0, String::FindNoCase);
    int listEnd = strings < 0 ? text.Length() : strings;
    int stringsStart = strings < 0 ? text.Length() : strings + markerLength;
    // Without "[Strings]" the associations are still looked for, from the
    // start; the removal list then is the whole text, as the format says.
    int associations = text.Find(kAssociationsMarker, strings < 0 ? 0 : stringsStart,
                                 String::FindNoCase);
    int stringsEnd = associations < 0 ? text.Length() : associations;
    if (stringsEnd < stringsStart)
        stringsEnd = stringsStart;

    if (visitor.item)
        ReadRemovalList(text, listEnd, visitor);
    if (visitor.message)
        ReadMessages(text, stringsStart, stringsEnd, visitor);
    if (visitor.association && associations >= 0)
        ReadAssociations(text, associations + associationsLength, text.Length(), visitor);
}

void ReadUninstallData(const String& text, UninstallData& out)
{
    out.items.Clear();
    out.messages.Clear();
    out.associations.Clear();
    UninstallRecordVisitor visitor;
    visitor.context = &out;
    visitor.item = [](void* data, const UninstallItem& item) {
        static_cast<UninstallData*>(data)->items.AddTail(item);
    };
    visitor.message = [](void* data, const UninstallMessage& message) {
        static_cast<UninstallData*>(data)->messages.AddTail(message);
    };
    visitor.association = [](void* data, const UninstallAssociation& association) {
        static_cast<UninstallData*>(data)->associations.AddTail(association);
    };
    ReadUninstallRecord(text, visitor);
}
