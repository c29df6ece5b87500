// Uninstall.DAT as bytes: the installation writes it, the uninstaller reads
// it back (and writes it again with what it could not remove), so both
// directions live here, side by side.
//
// The file is text with CR LF line ends and no terminating zero:
//
//   <removal list: one path a line; "~path" a directory, "!path" a key>
//   (empty line)
//   [Strings]
//   ~10
//   <message 10, possibly several lines>
//   ~15
//   ...                                   (the numbers of kUninstallMessages)
//   (empty line)                          only with associations:
//   [Associations]
//   extension~!~type~!~verb~!~command~!~description~!~default verb
//
// (Records of earlier versions end their association lines after the
// verb; the last two fields are missing when the type's key could not be
// opened, the last when its "shell" could not.)
//
// Portable: this header includes no windows.h, so the format is tested on
// the host.
#pragma once

#include <stdint.h>

#include "core/containers.h"
#include "core/string.h"

// The messages the uninstaller needs, copied into the record in this order
// in the language of the installation.
extern const int kUninstallMessages[12];
constexpr int kUninstallMessageCount = 12;

// The reader's limits: message numbers outside 1..kMaxUninstallMessageNumber
// are skipped, and at most kMaxUninstallRecordLines header lines of the
// strings region and lines of the associations region are looked at.
constexpr int kMaxUninstallMessageNumber = 1000;
constexpr int kMaxUninstallRecordLines = 500;

// Kinds of the removal list's lines; the same numbers as the kinds of
// RecordForUninstall.
enum UninstallItemKind : int {
    UiFile = 0,         // a plain path: a file or shortcut
    UiDirectory = 1,    // "~" + path: a directory the installation created
    UiKey = 2,          // "!" + path: a key under HKEY_CLASSES_ROOT
};

// One line of the removal list.
struct UninstallItem {
    int kind = UiFile;      // UninstallItemKind
    String path;            // without the "~" or "!"
};
VELT_TYPE_NAME(UninstallItem, "struct UninstallItem");

// One "~N" entry of the strings region.
struct UninstallMessage {
    int number = 0;         // 1..kMaxUninstallMessageNumber
    String text;            // its lines, trailing blanks and line ends removed
};
VELT_TYPE_NAME(UninstallMessage, "struct UninstallMessage");

// One line of the associations region.
struct UninstallAssociation {
    String extension;       // the extension's key under HKEY_CLASSES_ROOT
    String fileType;        // the file type's key
    String verb;            // the verb's key under the type's "shell"
    String command;         // the verb's command as the installation wrote it
    String description;     // the type's default as the installation left it
    String defaultVerb;     // the default of the type's "shell" as it left it
    // The line has these two fields: the installation marked the keys it
    // created and kept what it replaced, so the uninstaller removes only
    // those and puts back only values that are still the installation's.
    uint8_t marked = 0;
};
VELT_TYPE_NAME(UninstallAssociation, "struct UninstallAssociation");

// What ReadUninstallData finds in a record.
struct UninstallData {
    Vector<UninstallItem> items;                // removal list, in file order
    Vector<UninstallMessage> messages;          // in file order; a later repeat wins
    Vector<UninstallAssociation> associations;  // in file order
};

// The callbacks of ReadUninstallRecord, each given `context`; a null one
// skips its region. Entries come in file order.
struct UninstallRecordVisitor {
    void* context = nullptr;
    void (*item)(void* context, const UninstallItem& item) = nullptr;
    void (*message)(void* context, const UninstallMessage& message) = nullptr;
    void (*association)(void* context, const UninstallAssociation& association) = nullptr;
};

// The message texts the record carries: text of message n (null reads as
// empty).
typedef const char* (*UninstallMessageGetter)(int n);

// The whole record: `removalList` as it stands (the UninstallList text),
// the messages of kUninstallMessages through `messageText`, and, only when
// `associations` is not empty, the associations section with those lines
// as they stand.
String UninstallDataText(const String& removalList, UninstallMessageGetter messageText,
                         const String& associations);

// One removal-list line as it is written: "~" + path for a directory,
// "!" + path for a key, the path alone for a file; ended by CR LF.
String UninstallItemLine(const char* path, int kind);

// The removal list of `record` has the file line `path` (ASCII case
// ignored).
bool UninstallRecordListsFile(const String& record, const char* path);

// Splits a record into its three regions and reads them:
//   - removal list: everything before the first "[Strings]" (any letter
//     case), the whole text without one; empty lines skipped;
//   - strings: after "[Strings]" up to the first "[Associations]" (any
//     case) or the end. A line starting with "~" is a header whose number
//     is the first run of digits after it (commas ignored); the message
//     text is every following line up to the next "~" line, with trailing
//     spaces, tabs and line ends removed. Headers outside 1..1000 are
//     skipped with their text; at most 500 header lines are looked at;
//   - associations: after "[Associations]"; at most 500 lines (blank ones
//     included); each line of fields split at "~!~" (extension, file
//     type, verb, then command, description and default verb) is kept
//     unless one of the first three is blank.
// Each entry goes to its callback. Never fails: damaged text gives fewer
// entries. (The uninstaller reads a region at a time through this; a list
// type per kind of entry would cost the program more than the reading.)
void ReadUninstallRecord(const String& text, const UninstallRecordVisitor& visitor);
// The same into lists; `out` is replaced.
void ReadUninstallData(const String& text, UninstallData& out);
