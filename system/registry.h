// Registry access through keys the caller holds.
//
// The functions report by their results and the Win32 reason; none shows
// a box or stops the program. A caller that decides a failure is the
// user's business reports it with ShowRegistryError or
// StopForMissingRegistryValue (registry_report.cpp).
//
// An open fills a RegistryKey of the caller's, and every value and key
// operation names the key it works on; a relative open names its parent.
// RegistryCloseKey closes one key and leaves it closed, so a second close
// does nothing; a key still open when it goes out of scope is closed then.
// An open into a key that is still open replaces it, and a failed open
// leaves the key closed. No registry state is kept besides the callers'
// keys.
//
// Registry functions return their Win32 reason codes instead of setting the
// thread's last error; the wrappers here store a failing code with
// SetLastError so that callers can read it.
#pragma once

#include <windows.h>

#include "core/containers.h"
#include "core/format.h"
#include "core/string.h"

// Option bits of the registry functions (RegistryFlags).
typedef DWORD RegistryFlags;
enum : DWORD {
    RegEmptyDeletes = 0x08, // writing "" or 0 deletes the value instead
    RegOnlyIfEmpty = 0x20,  // delete a key only when it has no subkeys or values
    RegOpenOnly = 0x40,     // an open never creates the key
};

// Results of RegistryOpenKey and its variants.
enum : DWORD {
    RegOpenFailed = 0,
    RegOpenedExisting = 1,
    RegCreatedNew = 2,
};

// What a RegistryValue holds (its tag).
enum : DWORD {
    RegValueNothing = 0,
    RegValueInteger = 6,
    RegValueBytes = 11,
    RegValueText = 12,
    RegValueDate = 13,
    RegValueDateTime = 14,
    RegValueTime = 15,
};

// How a RegistryValue stores it (its kind); any other kind is the
// date-and-time part.
enum : DWORD {
    RegKindNone = 0,
    RegKindInteger = 1,
    RegKindReal = 2,
    RegKindText = 3,
    RegKindDateTime = 4,
};

// The result of a raw value read. Registry reads only produce integers,
// bytes and texts; the real and date-and-time forms exist for the
// conversions.
struct RegistryValue {
    DWORD tag = RegValueNothing;    // what the value is (RegValue...)
    DWORD kind = RegKindNone;       // where it is stored (RegKind...)
    DWORD integer = 0;              // for RegKindInteger
    double real = 0;                // for RegKindReal
    String text;                    // for RegKindText: text or raw bytes
    CalendarDateTime dateTime;      // for the date and time tags

    BYTE ToBool() const;            // non-zero, non-empty, or a set date/time
    DWORD ToInt() const;            // texts are parsed as [+-]digits
    String ToText() const;          // numbers in decimal, dates as m/d/yy
};

// A key the caller holds open; closed (a null handle) until an open
// succeeds and after RegistryCloseKey. Not copied: one close per open.
struct RegistryKey {
    HKEY handle = nullptr;      // the open key, null when closed

    RegistryKey() = default;
    ~RegistryKey();             // closes the key if it is still open
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
};

// Opening and closing. An open returns RegOpenFailed (0), RegOpenedExisting
// (1) or RegCreatedNew (2); on success `key` is open until closed.
DWORD RegistryOpenKey(RegistryKey& key, HKEY root, const char* subkey, RegistryFlags flags);
// The same relative to `parent`, which may be `key` itself; 0 when the
// parent is closed.
DWORD RegistryOpenSubkey(RegistryKey& key, const RegistryKey& parent, const char* subkey,
                         RegistryFlags flags);
// "Software\" + path under HKEY_CURRENT_USER (user true) or
// HKEY_LOCAL_MACHINE (user false).
DWORD RegistryOpenSoftwareKey(RegistryKey& key, const char* path, BYTE user,
                              RegistryFlags flags);
// Closes `key` when it is open; a closed key stays as it is.
void RegistryCloseKey(RegistryKey& key);
// The display path of root\subkey, the root by its name
// ("HKEY_LOCAL_MACHINE\Software\..."), as the fatal message of a missing
// required value names the key; a root that is no predefined key adds
// nothing of its own.
String RegistryDisplayPath(HKEY root, const char* subkey);

// Reading values of `key`. A read that fails returns the default, with the
// reason in GetLastError() (ERROR_FILE_NOT_FOUND for a missing value); a
// closed key reads nothing.
BYTE RegistryQueryValue(const RegistryKey& key, const char* name, RegistryValue& value,
                        RegistryFlags flags);
String RegistryGetString(const RegistryKey& key, const char* name, const String& fallback,
                         RegistryFlags flags);
DWORD RegistryGetInt(const RegistryKey& key, const char* name, DWORD fallback,
                     RegistryFlags flags);
BYTE RegistryGetBool(const RegistryKey& key, const char* name, BYTE fallback,
                     RegistryFlags flags);
BYTE RegistryValueExists(const RegistryKey& key, const char* name);
// The system's type of the value (REG_SZ, REG_NONE, ...), RegNoValue when
// it is missing or the key is closed.
constexpr DWORD RegNoValue = 0xFFFFFFFF;
DWORD RegistryValueType(const RegistryKey& key, const char* name);
// Reads one value named by a whole path such as "Software\A\B\Value" (the
// key is created when missing). The default comes back only when the path
// names no value or the key cannot be opened; a missing value reads as "".
String RegistryReadPath(HKEY root, const char* fullPath, const String& fallback,
                        RegistryFlags flags);

// Writing values of `key`; each returns 1 on success and 0 on failure or
// when the key is closed.
BYTE RegistrySetString(const RegistryKey& key, const char* name, const String& value,
                       RegistryFlags flags);
BYTE RegistrySetInt(const RegistryKey& key, const char* name, DWORD value, RegistryFlags flags);
BYTE RegistrySetBool(const RegistryKey& key, const char* name, BYTE value);
// An empty value of no type (REG_NONE): a mark that holds no data.
BYTE RegistrySetEmpty(const RegistryKey& key, const char* name);
// Copies the value `from` onto `to` ("" is the default value) with its
// type and bytes; an empty text (REG_SZ or REG_EXPAND_SZ) deletes `to`
// instead. 0 when `from` is missing or the write fails.
BYTE RegistryCopyValue(const RegistryKey& key, const char* from, const char* to);
// 0 for a null or empty name.
BYTE RegistryDeleteValue(const RegistryKey& key, const char* name);

// Keys. RegistryDeleteKey removes a subkey of `parent` with all its
// subkeys; an empty subkey name removes `parent` itself. A subkey that
// does not exist counts as deleted.
// report, when given, hears of each failure on the way (opening a key to
// empty it, deleting a key) with its Win32 reason.
typedef void (*RegistryFailureReport)(DWORD code);
BYTE RegistryDeleteKey(const RegistryKey& parent, const char* subkey, RegistryFlags flags,
                       RegistryFailureReport report = nullptr);
// Opens root\parentPath (creating it when missing), deletes name under it,
// closes it again.
BYTE RegistryDeleteKeyUnder(HKEY root, const char* parentPath, const char* name,
                            RegistryFlags flags);
// Splits path at its last backslash into parent and name; a path ending in
// a backslash deletes the parent itself.
BYTE RegistryDeleteKeyPath(HKEY root, const char* path, RegistryFlags flags);
BYTE RegistryDeleteSoftwareKey(const char* path, BYTE user, RegistryFlags flags);
BYTE RegistryDeleteSoftwareSubkey(const char* parentPath, const char* name, BYTE user,
                                  RegistryFlags flags);
// Does "Software\" + path exist?
BYTE RegistrySoftwareKeyExists(const char* path, BYTE user);
// Appends the names of the key's direct subkeys; returns how many.
int RegistryEnumSubkeys(const RegistryKey& key, Array<String>* names);
int RegistrySubkeyCount(const RegistryKey& key);    // -1 for a closed key
BYTE RegistryHasSubkeys(const RegistryKey& key);
// True also when the key is closed or cannot be queried.
BYTE RegistryKeyIsEmpty(const RegistryKey& key);
// Opens (creating) the subkey of `parent` and tests it; true when it cannot
// be opened.
BYTE RegistrySubkeyIsEmpty(const RegistryKey& parent, const char* subkey);

// Reports for the callers. A "Registry Error" box (no owner) with the
// system's text for code; nothing for 0 or a code without a text. The
// last error is code afterwards.
void ShowRegistryError(DWORD code);
// The fatal stop for a required value that is missing: names the program,
// the key by its display path (RegistryDisplayPath) and the value.
[[noreturn]] void StopForMissingRegistryValue(const String& keyPath, const char* name);
