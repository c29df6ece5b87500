#include "system/registry.h"

#include "core/system_calls.h"

namespace {

const char kSoftwarePrefix[] = "Software\\";

struct RootName {
    HKEY root;
    const char* prefix;
};

const RootName kRootNames[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT\\"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER\\"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\"},
    {HKEY_USERS, "HKEY_USERS\\"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG\\"},
};

// Display prefix of a predefined root, or null for a key of our own.
const char* RootPrefix(HKEY root)
{
    for (const RootName& name : kRootNames) {
        if (name.root == root)
            return name.prefix;
    }
    return nullptr;
}

HKEY SoftwareRoot(BYTE user)
{
    return user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

String SoftwarePath(const char* path)
{
    return String(kSoftwarePrefix) + path;
}

// Registry calls return their reason instead of setting it; keep it
// readable for the caller. Returns 1 for success.
BYTE Succeeded(LONG result)
{
    if (result == ERROR_SUCCESS)
        return 1;
    SetLastError((DWORD)result);
    return 0;
}

// Hands the last error to the caller's report, if any; the error stays
// readable afterwards.
void ReportFailure(RegistryFailureReport report)
{
    DWORD code = GetLastError();
    if (report)
        report(code);
    SetLastError(code);
}

// Splits a whole path at its last backslash: the parent keeps the
// backslash, the name is what follows; without a backslash the parent is
// empty and the whole path is the name.
void SplitKeyPath(const char* path, String& parent, String& name)
{
    String whole(path);
    int cut = whole.ReverseFindChar('\\') + 1;
    parent = whole.Mid(0, cut);
    name = whole.Mid(cut);
}

// The raw read of a value larger than the 32-byte first buffer. `size` is
// the size the first query reported.
BYTE QueryLongValue(HKEY key, const char* name, DWORD type, DWORD size, RegistryValue& value)
{
    value.tag = type == REG_SZ ? RegValueText : RegValueBytes;
    value.kind = RegKindText;
    // Text types count their terminating zero; the String keeps its own.
    int count = (int)size;
    if (type == REG_SZ || type == REG_MULTI_SZ)
        count--;
    value.text.Clear();
    if (count < 1)
        return 1;
    // The String always has a byte for its terminator behind the length,
    // so `size` bytes fit even when size is count + 1.
    value.text.Reset(count);
    DWORD got = size;
    if (!Succeeded(Sys.RegQueryValueExA(key, name, nullptr, nullptr, (BYTE*)value.text.Data(),
                                    &got))) {
        value.text.Clear();
        return 0;
    }
    // The value may have shrunk between the two queries.
    if (got < size) {
        int kept = (int)got;
        if (type == REG_SZ || type == REG_MULTI_SZ)
            kept--;
        value.text.SetLength(kept);
    }
    return 1;
}

}  // namespace

// Conversions of RegistryValue.

// A date is set when it has a day number; a time is set when it is not
// midnight's zero fields (the holder starts with every field 0).
static bool DateIsSet(const CalendarDateTime& value)
{
    return value.dayNumber != 0;
}

static bool TimeIsSet(const CalendarDateTime& value)
{
    return value.hour != 0 || value.minute != 0 || value.second != 0;
}

BYTE RegistryValue::ToBool() const
{
    switch (kind) {
    case RegKindNone:
        return 0;
    case RegKindInteger:
        return integer != 0;
    case RegKindReal:
        return real != 0;
    case RegKindText:
        return !text.IsEmpty();
    }
    switch (tag) {
    case RegValueDate:
        return DateIsSet(dateTime);
    case RegValueDateTime:
        return DateIsSet(dateTime) && TimeIsSet(dateTime);
    case RegValueTime:
        return TimeIsSet(dateTime);
    }
    return 0;
}

DWORD RegistryValue::ToInt() const
{
    switch (kind) {
    case RegKindInteger:
        return integer;
    case RegKindReal:
        return (DWORD)(long long)real;
    case RegKindText: {
        int pos = 0;
        int number = text.ParseInt(pos);
        return number == (int)0x80000000 ? 0 : (DWORD)number;
    }
    case RegKindDateTime:
        return (DWORD)dateTime.dayNumber;
    }
    return 0;
}

String RegistryValue::ToText() const
{
    switch (kind) {
    case RegKindNone:
        return String();
    case RegKindInteger:
        return String::FromInt((int)integer);
    case RegKindReal:
        return String::FromDouble(real, -1);
    case RegKindText:
        return text;
    }
    bool date = DateIsSet(dateTime);
    bool time = TimeIsSet(dateTime);
    switch (tag) {
    case RegValueDate:
        if (date)
            return dateTime.Format("m/d/yy");
        break;
    case RegValueDateTime:
        if (date && time)
            return dateTime.Format("m/d/yy HH:ii:ss");
        if (date)
            return dateTime.Format("m/d/yy");
        if (time)
            return dateTime.Format("HH:ii:ss");
        break;
    case RegValueTime:
        if (time)
            return dateTime.Format("HH:ii:ss");
        break;
    }
    return String();
}

// Opening and closing.

RegistryKey::~RegistryKey()
{
    RegistryCloseKey(*this);
}

DWORD RegistryOpenKey(RegistryKey& key, HKEY root, const char* subkey, RegistryFlags flags)
{
    HKEY handle = nullptr;
    DWORD result = RegOpenFailed;
    if (flags & RegOpenOnly) {
        if (Succeeded(Sys.RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &handle)))
            result = RegOpenedExisting;
    } else {
        DWORD disposition = 0;
        // A key that is open must be reported as open, or the caller would
        // never close it; so only a creation is told apart.
        if (Succeeded(Sys.RegCreateKeyExA(root, subkey, 0, (char*)"", REG_OPTION_NON_VOLATILE,
                                          KEY_ALL_ACCESS, nullptr, &handle, &disposition)))
            result = disposition == REG_CREATED_NEW_KEY ? RegCreatedNew : RegOpenedExisting;
    }
    // A key that was still open is closed after the open, not before: the
    // root may be that key's own handle.
    RegistryCloseKey(key);
    if (result != RegOpenFailed)
        key.handle = handle;
    return result;
}

DWORD RegistryOpenSubkey(RegistryKey& key, const RegistryKey& parent, const char* subkey,
                         RegistryFlags flags)
{
    if (parent.handle)
        return RegistryOpenKey(key, parent.handle, subkey, flags);
    RegistryCloseKey(key);
    return RegOpenFailed;
}

DWORD RegistryOpenSoftwareKey(RegistryKey& key, const char* path, BYTE user,
                              RegistryFlags flags)
{
    return RegistryOpenKey(key, SoftwareRoot(user), SoftwarePath(path).CStr(), flags);
}

void RegistryCloseKey(RegistryKey& key)
{
    if (key.handle) {
        RegCloseKey(key.handle);
        key.handle = nullptr;
    }
}

String RegistryDisplayPath(HKEY root, const char* subkey)
{
    String path(RootPrefix(root));
    path.Append(subkey);
    return path;
}

// Reading.

BYTE RegistryQueryValue(const RegistryKey& key, const char* name, RegistryValue& value,
                        RegistryFlags flags)
{
    if (!key.handle)
        return 0;
    BYTE buffer[32];
    DWORD type = 0;
    DWORD size = sizeof buffer;
    LONG result = Sys.RegQueryValueExA(key.handle, name, nullptr, &type, buffer, &size);
    if (result == ERROR_SUCCESS) {
        switch (type) {
        case REG_SZ:
            value.tag = RegValueText;
            value.kind = RegKindText;
            value.text.Assign(buffer, (int)size - 1);
            return 1;
        case REG_BINARY:
        case REG_MULTI_SZ:
            value.tag = RegValueBytes;
            value.kind = RegKindText;
            value.text.Assign(buffer, (int)size);
            return 1;
        case REG_DWORD:
            if (size != 4)
                return 0;
            value.tag = RegValueInteger;
            value.kind = RegKindInteger;
            CopyMemory(&value.integer, buffer, 4);
            return 1;
        }
        return 0;
    }
    if (result == ERROR_MORE_DATA)
        return QueryLongValue(key.handle, name, type, size, value);
    SetLastError((DWORD)result);
    return 0;
}

String RegistryGetString(const RegistryKey& key, const char* name, const String& fallback,
                         RegistryFlags flags)
{
    RegistryValue value;
    if (!RegistryQueryValue(key, name, value, flags))
        return fallback;
    // A read gives an integer, bytes or a text, never a real or a date, so
    // ToText's other forms (and the date formatting they would link into
    // the stub) are not needed here.
    return value.kind == RegKindInteger ? String::FromInt((int)value.integer) : value.text;
}

DWORD RegistryGetInt(const RegistryKey& key, const char* name, DWORD fallback,
                     RegistryFlags flags)
{
    RegistryValue value;
    if (!RegistryQueryValue(key, name, value, flags))
        return fallback;
    return value.ToInt();
}

BYTE RegistryGetBool(const RegistryKey& key, const char* name, BYTE fallback,
                     RegistryFlags flags)
{
    RegistryValue value;
    if (!RegistryQueryValue(key, name, value, flags))
        return fallback;
    return value.ToBool();
}

BYTE RegistryValueExists(const RegistryKey& key, const char* name)
{
    if (!key.handle)
        return 0;
    return Succeeded(Sys.RegQueryValueExA(key.handle, name, nullptr, nullptr, nullptr, nullptr));
}

DWORD RegistryValueType(const RegistryKey& key, const char* name)
{
    DWORD type = REG_NONE;
    if (!key.handle
        || !Succeeded(Sys.RegQueryValueExA(key.handle, name, nullptr, &type, nullptr, nullptr)))
        return RegNoValue;
    return type;
}

String RegistryReadPath(HKEY root, const char* fullPath, const String& fallback,
                        RegistryFlags flags)
{
    String keyPath, name;
    SplitKeyPath(fullPath, keyPath, name);
    if (name.IsEmpty())
        return fallback;
    RegistryKey key;
    if (!RegistryOpenKey(key, root, keyPath.CStr(), 0))
        return fallback;
    String text = RegistryGetString(key, name.CStr(), String(), flags);
    RegistryCloseKey(key);
    return text;
}

// Writing.

BYTE RegistrySetString(const RegistryKey& key, const char* name, const String& value,
                       RegistryFlags flags)
{
    if (!key.handle)
        return 0;
    if ((flags & RegEmptyDeletes) && value.IsEmpty())
        return RegistryDeleteValue(key, name);
    // The terminating zero is written too: the system counts it in the size
    // of a text value, and the read takes one byte off that size.
    return Succeeded(Sys.RegSetValueExA(key.handle, name, 0, REG_SZ, (const BYTE*)value.CStr(),
                                        (DWORD)value.Length() + 1));
}

BYTE RegistrySetEmpty(const RegistryKey& key, const char* name)
{
    return key.handle && Succeeded(Sys.RegSetValueExA(key.handle, name, 0, REG_NONE, nullptr, 0));
}

BYTE RegistryCopyValue(const RegistryKey& key, const char* from, const char* to)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (!key.handle
        || !Succeeded(Sys.RegQueryValueExA(key.handle, from, nullptr, &type, nullptr, &size)))
        return 0;
    String bytes;
    bytes.Reset((int)size);
    if (!Succeeded(Sys.RegQueryValueExA(key.handle, from, nullptr, &type, (BYTE*)bytes.Data(),
                                        &size)))
        return 0;
    // An empty text stands for a value that was not there.
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && size <= 1)
        return Succeeded(Sys.RegDeleteValueA(key.handle, to));
    return Succeeded(Sys.RegSetValueExA(key.handle, to, 0, type, (const BYTE*)bytes.Data(), size));
}

BYTE RegistrySetInt(const RegistryKey& key, const char* name, DWORD value, RegistryFlags flags)
{
    if (!key.handle)
        return 0;
    if ((flags & RegEmptyDeletes) && value == 0) {
        RegistryDeleteValue(key, name);     // a value that was not there is gone too
        return 1;
    }
    return Succeeded(Sys.RegSetValueExA(key.handle, name, 0, REG_DWORD, (const BYTE*)&value, 4));
}

BYTE RegistrySetBool(const RegistryKey& key, const char* name, BYTE value)
{
    return RegistrySetInt(key, name, value ? 1 : 0, 0);
}

BYTE RegistryDeleteValue(const RegistryKey& key, const char* name)
{
    if (!key.handle || !name || !*name)
        return 0;
    return Succeeded(Sys.RegDeleteValueA(key.handle, name));
}

// Keys.

BYTE RegistryDeleteKey(const RegistryKey& parent, const char* subkey, RegistryFlags flags,
                       RegistryFailureReport report)
{
    if (!parent.handle || !subkey)
        return 0;
    if ((flags & RegOnlyIfEmpty) && !RegistrySubkeyIsEmpty(parent, subkey))
        return 0;
    // The system deletes only keys without subkeys: empty the tree first.
    // The open creates a missing subkey, so deleting a key that is not
    // there succeeds and leaves nothing behind.
    RegistryKey key;
    if (RegistryOpenSubkey(key, parent, subkey, 0)) {
        // Deleting a child renumbers the rest: the next one to try keeps
        // the index of a child that stays.
        char child[199];
        DWORD index = 0;
        while (Sys.RegEnumKeyA(key.handle, index, child, sizeof child) == ERROR_SUCCESS)
            if (!RegistryDeleteKey(key, child, flags, report))
                index++;
        RegistryCloseKey(key);
    } else {
        ReportFailure(report);
    }
    // An empty name deletes the parent itself.
    if (!Succeeded(Sys.RegDeleteKeyA(parent.handle, subkey))) {
        ReportFailure(report);
        return 0;
    }
    return 1;
}

BYTE RegistryDeleteKeyUnder(HKEY root, const char* parentPath, const char* name,
                            RegistryFlags flags)
{
    RegistryKey parent;
    if (!RegistryOpenKey(parent, root, parentPath, 0))
        return 0;
    BYTE deleted = RegistryDeleteKey(parent, name, flags);
    DWORD error = GetLastError();
    RegistryCloseKey(parent);
    SetLastError(error);
    return deleted;
}

BYTE RegistryDeleteKeyPath(HKEY root, const char* path, RegistryFlags flags)
{
    if (!path || !*path)
        return 0;
    String parent, name;
    SplitKeyPath(path, parent, name);
    return RegistryDeleteKeyUnder(root, parent.CStr(), name.CStr(), flags);
}

BYTE RegistryDeleteSoftwareKey(const char* path, BYTE user, RegistryFlags flags)
{
    return RegistryDeleteKeyPath(SoftwareRoot(user), SoftwarePath(path).CStr(), flags);
}

BYTE RegistryDeleteSoftwareSubkey(const char* parentPath, const char* name, BYTE user,
                                  RegistryFlags flags)
{
    return RegistryDeleteKeyUnder(SoftwareRoot(user), SoftwarePath(parentPath).CStr(), name,
                                  flags);
}

BYTE RegistrySoftwareKeyExists(const char* path, BYTE user)
{
    if (!path || !*path)
        return 0;
    HKEY key = nullptr;
    if (!Succeeded(Sys.RegOpenKeyExA(SoftwareRoot(user), SoftwarePath(path).CStr(), 0,
                                     KEY_ALL_ACCESS, &key)))
        return 0;
    RegCloseKey(key);
    return 1;
}

int RegistryEnumSubkeys(const RegistryKey& key, Array<String>* names)
{
    if (!key.handle || !names)
        return 0;
    char name[199];
    int count = 0;
    for (;;) {
        LONG result = Sys.RegEnumKeyA(key.handle, (DWORD)count, name, sizeof name);
        if (result != ERROR_SUCCESS) {
            // The end of the list is no error; anything else (a name
            // longer than the buffer) stays readable.
            SetLastError(result == ERROR_NO_MORE_ITEMS ? 0 : (DWORD)result);
            break;
        }
        names->AddTail(String(name));
        count++;
    }
    return count;
}

int RegistrySubkeyCount(const RegistryKey& key)
{
    if (!key.handle)
        return -1;
    DWORD subkeys = 0;
    if (!Succeeded(Sys.RegQueryInfoKeyA(key.handle, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)))
        return -1;
    return (int)subkeys;
}

BYTE RegistryHasSubkeys(const RegistryKey& key)
{
    return RegistrySubkeyCount(key) > 0;
}

BYTE RegistryKeyIsEmpty(const RegistryKey& key)
{
    if (!key.handle)
        return 1;
    DWORD subkeys = 0, values = 0;
    if (!Succeeded(Sys.RegQueryInfoKeyA(key.handle, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                    nullptr, &values, nullptr, nullptr, nullptr, nullptr)))
        return 1;
    return subkeys == 0 && values == 0;
}

BYTE RegistrySubkeyIsEmpty(const RegistryKey& parent, const char* subkey)
{
    RegistryKey key;
    if (!RegistryOpenSubkey(key, parent, subkey, 0))
        return 1;
    BYTE empty = RegistryKeyIsEmpty(key);
    RegistryCloseKey(key);
    return empty;
}
