// The message table, through which every user-visible text is fetched, and
// the two settings its texts depend on: the chosen language and the
// product name. The description (or the uninstaller's record) fills the
// table; the dialogs read it and set the language.
#pragma once

#include "archive/messages.h"
#include "core/string.h"

extern String ProductName;              // /n:, /u: or the description's
extern int SelectedLanguage;            // index into the languages, 0 until chosen

// The message table: one entry per message number, one text per language.
// The uninstaller fills it from its record instead of a description.
void ResizeMessageTable(int messages, int languages);
// Takes over a whole table of messages * languages texts, message-major
// (entry n * languages + language), allocated with new[].
void AdoptMessageTable(String* texts, int messages, int languages);
void SetMessage(int number, int language, const String& text);
int MessageCount();
// Message n in the selected language, with every "<product>" replaced by
// the product name and then every "<os>" by the Windows directory (letter
// case ignored). Empty when n or the language is outside the table. The
// replacement is stored, so it happens once; the pointer stays valid until
// the table changes.
const char* MessageText(int n);

// Message n formatted with arguments of the given conversions ("s", "cs"
// ...). A damaged or hostile message that does not fit them
// (String::FormatFits) is returned as it stands. Every message that is
// formatted goes through here.
String MessageFormatted(int n, const char* conversions, ...);
