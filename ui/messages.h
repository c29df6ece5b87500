// The message table, through which every user-visible text is fetched, with
// the two settings its texts depend on: the selected language and the
// product name that "<product>" stands for. The run fills the table from
// the description (or the uninstaller from its record) and gives it the
// product name; the language dialog selects the language.
//
// The table is the program's one process-wide store of texts: the dialog
// procedures and the fatal stops fetch their texts from inside the
// system's calls, where no run can be handed to them.
#pragma once

#include "archive/messages.h"
#include "core/string.h"

// The message table: one entry per message number, one text per language.
// The uninstaller fills it from its record instead of a description.
// `productName` replaces "<product>" in every text.
void ResizeMessageTable(int messages, int languages, const String& productName);
// Takes over a whole table of messages * languages texts, message-major
// (entry n * languages + language), allocated with new[].
void AdoptMessageTable(String* texts, int messages, int languages, const String& productName);
void SetMessage(int number, int language, const String& text);
int MessageCount();
// The language MessageText speaks: an index into the languages, 0 until one
// is selected.
void SelectMessageLanguage(int language);
int MessageLanguage();
// Message n in the selected language, with every "<product>" replaced by
// the table's product name and then every "<os>" by the Windows directory
// (letter case ignored). Empty when n or the language is outside the table. The
// replacement is stored, so it happens once; the pointer stays valid until
// the table changes.
const char* MessageText(int n);

// Message n formatted with arguments of the given conversions ("s", "cs"
// ...). A damaged or hostile message that does not fit them
// (String::FormatFits) is returned as it stands. Every message that is
// formatted goes through here.
String MessageFormatted(int n, const char* conversions, ...);
