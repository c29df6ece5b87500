// Path texts: splitting, joining and checking Windows paths as plain text.
//
// Paths are byte texts in the ANSI code page. The separator is the
// backslash; a drive is a letter and a colon. The last separator of a path
// is its last backslash, or, when it has none, its first colon (so "C:name"
// splits after the colon); a path with neither has no directory part.
//
// Nothing here touches the file system. A null text is treated as empty.
//
// Portable: this header includes no windows.h.
#pragma once

#include "core/string.h"

// The nine characters a directory name typed by the user may not contain
// (the backslash is allowed: it separates the levels).
extern const char kInvalidPathChars[];

// Index of the last separator (rule above), or -1.
int PathLastSeparator(const char* path);
// Where the file name starts: PathLastSeparator + 1, 0 without a separator.
int PathNameStart(const char* path);

// The directory part: the text before the last separator, keeping the
// separator when it is the drive's colon or the backslash right after it,
// so a drive root stays a root. "C:\a\b" -> "C:\a", "C:\a" -> "C:\",
// "C:a" -> "C:", "C:\" -> "C:\", "name" -> "".
String PathDirectory(const char* path);
// The text after the last separator; the whole path when there is none.
String PathFileName(const char* path);
// Cuts path just after its last separator (which stays). False, and no
// change, when there is no separator.
bool PathRemoveFileName(String& path);

// "C:\" for "C:\x", "C:" for "C:x"; empty unless path starts with a letter
// and a colon.
String PathDriveRoot(const char* path);
// The drive letter in upper case, or 0 when path does not start with one.
char PathDriveLetter(const char* path);

// dir and name with exactly the separator they need: "C:\" + "a" -> "C:\a",
// "C:" + "a" -> "C:a" (drive-relative stays so), "C:\x\" + "\y" -> "C:\x\y".
// An empty side gives the other one.
String PathJoin(const char* dir, const char* name);
// Appends ext (with a '.' before it unless it starts with one) when the
// file name (after the last backslash) has no '.' yet. False when it has
// one: the path is left as it was.
bool PathAddExtension(String& path, const char* ext);

// Equal apart from trailing backslashes and the case of ASCII letters.
bool PathsEqual(const char* a, const char* b);

// After leading blanks: "\\" (a network path) or a drive with a backslash
// ("C:\"). Empty text is not absolute.
bool IsAbsolutePath(const char* text);
// Makes a relative path absolute against the absolute directory base:
//   "sub"   against "C:\base" -> "C:\base\sub"
//   "\top"  against "C:\base" -> "C:\top"   (against "\\srv\share\base":
//                                            "\\srv\share\top")
//   "D:rel" against "C:\base" -> "D:\base\rel" (the base's directories on
//                                            the path's own drive)
// Returns true when path was changed. False, path unchanged, when path is
// empty, already absolute ("C:\x"), base is not absolute, or path names a
// drive while base is a network path (no directory to borrow).
bool MakeAbsolute(String& path, const char* base);

// A directory name the user typed: one pair of surrounding double quotes
// and the colon of a drive letter are allowed, none of kInvalidPathChars
// otherwise. Empty names (also "" in quotes) are not valid.
bool IsValidPathName(const char* path);

// The path without the forms that name the same place in other words:
// "\\?\C:\x" and "\\.\C:\x" -> "C:\x", "\\?\UNC\srv\share" ->
// "\\srv\share", and an administrative share "\\srv\C$\x" -> "C:\x"
// (the drive that share is, on whichever computer).
String PathPlainForm(const char* path);
// A drive root ("C:\", "C:", or any text of 3 characters or fewer) or the
// root of a share ("\\srv", "\\srv\share"), trailing backslashes apart.
bool PathIsRoot(const char* path);
