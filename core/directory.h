// Directories, drives and the program's own location, on the Win32 API.
//
// Every function reports failure by its result (false, -1 or an empty
// text); none stops the program and none leaves the current directory
// changed. The path texts themselves are in core/paths.h.
#pragma once

#include "core/string.h"

// The prefix of every temporary file the program makes.
extern const char kTempFilePrefix[];

// path names an existing directory. False for a null or empty path.
bool DirectoryExists(const char* path);
// Creates path and each missing parent (never a drive root or other parent
// of fewer than 4 characters). True when path exists as a directory
// afterwards; a root counts as existing.
bool CreateDirectoryPath(const char* path);
// Removes the empty directory path (one trailing backslash allowed).
// False for fewer than 4 characters.
bool RemoveDirectoryOnly(const char* path);
// Removes path with everything in it, read-only files too; goes on past
// entries it cannot remove and then returns false. Refuses, deleting
// nothing, a path of fewer than 4 characters, a root, a path inside the
// Windows directory, and a path that holds the Windows directory (judged
// by CanonicalPath). Junctions and links are removed as links, never
// walked into, and so is what the system resolves to a place outside the
// directory holding it.
bool RemoveDirectoryTree(const char* path);
// path lies inside folder, not folder itself, both compared as places
// (CanonicalPath: "." and "..", slashes, short names and links resolved;
// ASCII case ignored). False when either is empty.
bool PathLiesInside(const char* path, const char* folder);
// The place path names, for comparing places: absolute, in plain form
// (PathPlainForm), its deepest existing part as the system resolves it
// through a handle (links followed, long names; before Vista, where the
// system cannot say, its short name), the rest as written; no trailing
// backslash, so a drive root is "C:".
String CanonicalPath(const char* path);
// Deletes name even when it is read-only. On failure the read-only flag is
// put back as it was.
bool DeleteFileForced(const char* name);
// Creates the one directory path, whose parent must exist. False, with the
// reason in GetLastError() (ERROR_ALREADY_EXISTS when it was there), when
// the system made nothing.
bool CreateDirectoryOnly(const char* path);
String GetCurrentDirectoryString();

// The program's own file: full path, directory, file name, drive letter,
// and a name in the same directory.
String GetModulePath();
String GetModuleDirectory();
String GetModuleFileTitle();
char GetModuleDrive();
String PathNextToModule(const char* name);

String GetWindowsDirectoryString();
String GetSystemDirectoryString();
// The 8.3 form of path; path itself when the system has none. "" for "".
String GetShortPath(const char* path);
// Makes a new empty file "QDTxxxx.tmp" in dir and returns its name; empty
// when that fails.
String MakeTempFileName(const char* dir);
// The user's temporary folder, ending with a backslash; "" when the system
// names none that fits MAX_PATH.
String GetTempDirectoryString();

// Drives are given by letter ('C' or 'c').
bool DriveExists(char letter);
// Free bytes for the caller on the drive; -1 for a non-letter or failure.
long long DiskFreeSpace(char letter);
// The same for a root text such as "C:\".
long long DiskFreeSpaceOfRoot(const char* root);
// Bytes per cluster of the drive; -1 for a non-letter or failure.
int ClusterSize(char letter);

// Opens path with its associated program (working directory: the
// program's own). True when the system started it.
bool ShellOpen(const char* path);
