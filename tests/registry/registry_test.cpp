// The registry module against Wine's real registry. Each test owns a
// scratch key under HKEY_CURRENT_USER\Software\VeltpackTest, opened into
// the fixture's key in SetUp and removed in TearDown. Values are planted
// and checked with the raw API, so a fault of the module cannot hide
// behind another fault of the module.
#include "system/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/registry/key_watch.h"

namespace {

const char kTestRoot[] = "Software\\VeltpackTest";

// Removes a key with all its subkeys through the raw API.
void DeleteTree(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char name[256];
        while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS)
            DeleteTree(key, name);
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, path.c_str());
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(HKEY root, const std::string& path)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegCloseKey(key);
}

void SetRaw(HKEY root, const std::string& path, const char* name, DWORD type,
            const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE*)data, size));
    RegCloseKey(key);
}

// The raw value: its type and bytes; type REG_NONE with no bytes when it
// is missing.
struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool exists = false;
};

RawValue GetRaw(HKEY root, const std::string& path, const char* name)
{
    RawValue value;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    char buffer[1024];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, name, nullptr, &value.type, (BYTE*)buffer, &size)
        == ERROR_SUCCESS) {
        value.exists = true;
        value.bytes.assign(buffer, size);
    }
    RegCloseKey(key);
    return value;
}

std::string Text(const String& s)
{
    return std::string(s.CStr(), s.Length());
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        scratch = std::string(kTestRoot) + "\\" + info->name();
        DeleteTree(root, scratch);
        ASSERT_EQ(RegCreatedNew, RegistryOpenKey(key, root, scratch.c_str(), 0));
        handle = key.handle;
        watch = new KeyWatch;
    }

    void TearDown() override
    {
        ExpectBalanced();
        delete watch;
        RegistryCloseKey(key);
        EXPECT_EQ(nullptr, key.handle);
        DeleteTree(root, scratch);
        DeleteTree(root, kTestRoot);
    }

    // After every operation each key it opened must be closed again, and
    // the test's own key must be the one it was.
    void ExpectBalanced()
    {
        EXPECT_EQ(0, watch->StillOpen());
        EXPECT_EQ(handle, key.handle);
    }

    std::string Sub(const char* name) const { return scratch + "\\" + name; }

    HKEY root = HKEY_CURRENT_USER;
    std::string scratch;        // the test's own key, below root
    RegistryKey key;            // open on scratch
    HKEY handle = nullptr;      // key's handle after SetUp
    KeyWatch* watch = nullptr;  // the keys opened after SetUp
};

TEST(RegistryDisplayPath, NamesThePredefinedRootAndTheSubkey)
{
    struct {
        HKEY root;
        const char* expected;
    } const kCases[] = {
        {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT\\Software\\A"},
        {HKEY_CURRENT_USER, "HKEY_CURRENT_USER\\Software\\A"},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\Software\\A"},
        {HKEY_USERS, "HKEY_USERS\\Software\\A"},
        {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG\\Software\\A"},
    };
    for (const auto& c : kCases)
        EXPECT_STREQ(c.expected, RegistryDisplayPath(c.root, "Software\\A").CStr());
    // The subkey text as it is, without a separator added.
    EXPECT_STREQ("HKEY_CURRENT_USER\\", RegistryDisplayPath(HKEY_CURRENT_USER, "").CStr());
    // A key of the program's own has no name of its own.
    HKEY own;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &own));
    EXPECT_STREQ("Sub", RegistryDisplayPath(own, "Sub").CStr());
    RegCloseKey(own);
}

TEST_F(RegistryTest, KeysOpenSideBySideAndCloseOneByOne)
{
    std::string x = Sub("X");
    RegistryKey outer, inner;
    ASSERT_EQ(RegCreatedNew, RegistryOpenKey(outer, HKEY_LOCAL_MACHINE, x.c_str(), 0));
    ASSERT_TRUE(RegistrySetString(outer, "outer", "1", 0));

    ASSERT_EQ(RegCreatedNew, RegistryOpenSubkey(inner, outer, "Y", 0));
    EXPECT_EQ(2, watch->StillOpen());
    EXPECT_FALSE(RegistryValueExists(inner, "outer"));
    EXPECT_TRUE(RegistryValueExists(outer, "outer"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, x + "\\Y"));
    ASSERT_TRUE(RegistrySetString(inner, "inner", "2", 0));
    EXPECT_TRUE(GetRaw(HKEY_LOCAL_MACHINE, x + "\\Y", "inner").exists);

    // The outer key first: the inner one stays usable.
    RegistryCloseKey(outer);
    EXPECT_EQ(nullptr, outer.handle);
    EXPECT_EQ(1, watch->StillOpen());
    EXPECT_TRUE(RegistryValueExists(inner, "inner"));
    EXPECT_FALSE(RegistryValueExists(outer, "outer"));      // a closed key reads nothing
    RegistryCloseKey(inner);
    RegistryCloseKey(inner);                                // a second close does nothing
    EXPECT_EQ(nullptr, inner.handle);
    ExpectBalanced();
    DeleteTree(HKEY_LOCAL_MACHINE, x);
    DeleteTree(HKEY_LOCAL_MACHINE, kTestRoot);
}

TEST_F(RegistryTest, OpenOnlyFailsOnMissingKeyThenCreateThenOpen)
{
    std::string missing = Sub("Missing");
    RegistryKey other;
    EXPECT_EQ(RegOpenFailed, RegistryOpenKey(other, root, missing.c_str(), RegOpenOnly));
    EXPECT_EQ(nullptr, other.handle);
    ExpectBalanced();
    EXPECT_FALSE(KeyExists(root, missing));

    EXPECT_EQ(RegCreatedNew, RegistryOpenKey(other, root, missing.c_str(), 0));
    RegistryCloseKey(other);
    EXPECT_EQ(RegOpenedExisting, RegistryOpenKey(other, root, missing.c_str(), 0));
    RegistryCloseKey(other);
    EXPECT_EQ(RegOpenedExisting, RegistryOpenKey(other, root, missing.c_str(), RegOpenOnly));
    RegistryCloseKey(other);
    ExpectBalanced();
}

// A key left open is closed when it goes; an open into a key that is open
// replaces it, its own subkey included; a failed open leaves it closed.
TEST_F(RegistryTest, NoKeyIsLeftOpen)
{
    CreateKey(root, Sub("A\\B"));
    {
        RegistryKey forgotten;
        ASSERT_EQ(RegOpenedExisting, RegistryOpenKey(forgotten, root, Sub("A").c_str(), 0));
        EXPECT_EQ(1, watch->StillOpen());
    }
    EXPECT_EQ(0, watch->StillOpen());

    RegistryKey reused;
    ASSERT_EQ(RegOpenedExisting, RegistryOpenKey(reused, root, Sub("A").c_str(), 0));
    ASSERT_EQ(RegOpenedExisting, RegistryOpenSubkey(reused, reused, "B", RegOpenOnly));
    SetRaw(root, Sub("A\\B"), "b", REG_SZ, "x", 2);
    EXPECT_TRUE(RegistryValueExists(reused, "b"));          // now the subkey
    EXPECT_EQ(1, watch->StillOpen());
    EXPECT_EQ(RegOpenFailed, RegistryOpenSubkey(reused, reused, "Missing", RegOpenOnly));
    EXPECT_EQ(nullptr, reused.handle);
    EXPECT_EQ(3, watch->Opened());
    ExpectBalanced();
}

TEST_F(RegistryTest, OpenSubkeyOfAClosedKeyFails)
{
    RegistryKey closed, child;
    EXPECT_EQ(RegOpenFailed, RegistryOpenSubkey(child, closed, "Anything", 0));
    EXPECT_EQ(nullptr, child.handle);
    EXPECT_EQ(0, watch->Opened());                          // the system was not asked
}

TEST_F(RegistryTest, SoftwareKeysAreUnderTheChosenRoot)
{
    std::string below = std::string("VeltpackTest\\") + ::testing::UnitTest::GetInstance()
                                                            ->current_test_info()->name();
    SetRaw(root, scratch, "marker", REG_SZ, "m", 2);
    RegistryKey software;
    ASSERT_EQ(RegOpenedExisting, RegistryOpenSoftwareKey(software, below.c_str(), 1, RegOpenOnly));
    EXPECT_TRUE(RegistryValueExists(software, "marker"));   // the scratch key itself
    RegistryCloseKey(software);
    EXPECT_TRUE(RegistrySoftwareKeyExists(below.c_str(), 1));
    EXPECT_FALSE(RegistrySoftwareKeyExists(below.c_str(), 0));     // not under the machine
    EXPECT_FALSE(RegistrySoftwareKeyExists((below + "\\Missing").c_str(), 1));
    EXPECT_FALSE(KeyExists(root, Sub("Missing")));                 // the test creates nothing
    EXPECT_FALSE(RegistrySoftwareKeyExists("", 1));
    EXPECT_FALSE(RegistrySoftwareKeyExists(nullptr, 1));
    ExpectBalanced();
}

struct ReadCase {
    const char* label;
    DWORD type;             // REG_NONE: no value is planted
    std::string data;       // the raw bytes planted
    bool read;              // the raw read succeeds
    std::string text;       // RegistryGetString with the default "default"
    DWORD integer;          // RegistryGetInt with the default 99
};

std::string Bytes(const char* text, size_t size)
{
    return std::string(text, size);
}

TEST_F(RegistryTest, TypedReadsOfEachTypeAndSize)
{
    const DWORD seven = 7;
    const DWORD minusFive = (DWORD)-5;
    const std::string x31(31, 'x'), x32(32, 'x'), x99(99, 'x'), e49(49, 'e'), e19(19, 'e');
    const ReadCase kCases[] = {
        {"dword 7", REG_DWORD, Bytes((const char*)&seven, 4), true, "7", 7},
        {"dword -5", REG_DWORD, Bytes((const char*)&minusFive, 4), true, "-5", minusFive},
        {"dword of 2 bytes", REG_DWORD, Bytes("\x07\x00", 2), false, "default", 99},
        {"missing", REG_NONE, "", false, "default", 99},
        {"sz 42", REG_SZ, Bytes("42", 3), true, "42", 42},
        {"sz -12abc", REG_SZ, Bytes("-12abc", 7), true, "-12abc", (DWORD)-12},
        {"sz abc", REG_SZ, Bytes("abc", 4), true, "abc", 0},
        {"sz of 0 bytes", REG_SZ, "", true, "", 0},
        {"sz of 1 byte", REG_SZ, Bytes("", 1), true, "", 0},
        {"sz of 32 bytes", REG_SZ, x31 + '\0', true, x31, 0},           // fits the first query
        {"sz of 33 bytes", REG_SZ, x32 + '\0', true, x32, 0},           // second query
        {"sz of 100 bytes", REG_SZ, x99 + '\0', true, x99, 0},
        {"binary", REG_BINARY, Bytes("12\0z", 4), true, Bytes("12\0z", 4), 12},
        {"binary of 40 bytes", REG_BINARY, std::string(40, '\x01'), true,
         std::string(40, '\x01'), 0},
        {"multi-sz short", REG_MULTI_SZ, Bytes("a\0b\0\0", 5), true, Bytes("a\0b\0\0", 5), 0},
        {"multi-sz long", REG_MULTI_SZ, x32 + '\0' + "b" + '\0' + '\0',
         true, x32 + '\0' + "b" + '\0', 0},                             // one zero less
        {"expand-sz short", REG_EXPAND_SZ, e19 + '\0', false, "default", 99},
        {"expand-sz long", REG_EXPAND_SZ, e49 + '\0', true, e49 + '\0', 0},  // raw bytes
    };
    for (const ReadCase& c : kCases) {
        SCOPED_TRACE(c.label);
        if (c.type != REG_NONE)
            SetRaw(root, scratch, c.label, c.type, c.data.data(), (DWORD)c.data.size());
        RegistryValue value;
        EXPECT_EQ(c.read, RegistryQueryValue(key, c.label, value, 0) != 0);
        EXPECT_EQ(c.text, Text(RegistryGetString(key, c.label, "default", 0)));
        EXPECT_EQ(c.integer, RegistryGetInt(key, c.label, 99, 0));
        ExpectBalanced();
    }
}

TEST_F(RegistryTest, ReadsTagTheValue)
{
    const DWORD one = 1;
    SetRaw(root, scratch, "dword", REG_DWORD, &one, 4);
    SetRaw(root, scratch, "text", REG_SZ, "t", 2);
    SetRaw(root, scratch, "long text", REG_SZ, std::string(40, 't').c_str(), 41);
    SetRaw(root, scratch, "bytes", REG_BINARY, "b", 1);
    SetRaw(root, scratch, "long bytes", REG_EXPAND_SZ, std::string(40, 'e').c_str(), 41);
    struct {
        const char* name;
        DWORD tag;
        DWORD kind;
    } const kCases[] = {
        {"dword", RegValueInteger, RegKindInteger},
        {"text", RegValueText, RegKindText},
        {"long text", RegValueText, RegKindText},
        {"bytes", RegValueBytes, RegKindText},
        {"long bytes", RegValueBytes, RegKindText},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        RegistryValue value;
        ASSERT_TRUE(RegistryQueryValue(key, c.name, value, 0));
        EXPECT_EQ(c.tag, value.tag);
        EXPECT_EQ(c.kind, value.kind);
    }
}

// A copy keeps the value's type and bytes whatever its length; an empty
// text stands for no value and deletes the target; a missing source
// changes nothing.
TEST_F(RegistryTest, CopyValueKeepsTypeAndBytes)
{
    const std::string e19 = "%SystemRoot%\\a.exe", e49 = std::string(49, 'e');
    const DWORD seven = 7;
    struct {
        const char* label;
        DWORD type;
        std::string bytes;      // the source's, the target's after the copy
    } const kCases[] = {
        {"expand-sz short", REG_EXPAND_SZ, e19 + '\0'},
        {"expand-sz long", REG_EXPAND_SZ, e49 + '\0'},
        {"sz", REG_SZ, std::string("text") + '\0'},
        {"dword", REG_DWORD, std::string((const char*)&seven, 4)},
        {"mark", REG_NONE, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        SetRaw(root, scratch, c.label, c.type, c.bytes.data(), (DWORD)c.bytes.size());
        EXPECT_EQ(c.type, RegistryValueType(key, c.label));
        SetRaw(root, scratch, "", REG_SZ, "old", 4);
        EXPECT_TRUE(RegistryCopyValue(key, c.label, ""));
        RawValue copy = GetRaw(root, scratch, "");
        EXPECT_TRUE(copy.exists);
        EXPECT_EQ(c.type, copy.type);
        EXPECT_EQ(c.bytes, copy.bytes);
    }
    // Empty texts of no bytes and of their terminator alone.
    for (DWORD size = 0; size < 2; size++) {
        SetRaw(root, scratch, "empty", REG_EXPAND_SZ, "", size);
        SetRaw(root, scratch, "", REG_SZ, "old", 4);
        EXPECT_TRUE(RegistryCopyValue(key, "empty", ""));
        EXPECT_FALSE(GetRaw(root, scratch, "").exists);
    }
    SetRaw(root, scratch, "", REG_SZ, "old", 4);
    EXPECT_FALSE(RegistryCopyValue(key, "missing", ""));
    EXPECT_EQ("old", Text(RegistryGetString(key, "", String(), 0)));
    EXPECT_EQ(RegNoValue, RegistryValueType(key, "missing"));
    EXPECT_TRUE(RegistrySetEmpty(key, "new mark"));
    RawValue mark = GetRaw(root, scratch, "new mark");
    EXPECT_TRUE(mark.exists && mark.type == REG_NONE && mark.bytes.empty());
}

TEST_F(RegistryTest, BoolReads)
{
    const DWORD zero = 0, two = 2;
    SetRaw(root, scratch, "zero", REG_DWORD, &zero, 4);
    SetRaw(root, scratch, "two", REG_DWORD, &two, 4);
    SetRaw(root, scratch, "empty", REG_SZ, "", 1);
    SetRaw(root, scratch, "text", REG_SZ, "no", 3);     // any text is true
    EXPECT_EQ(0, RegistryGetBool(key, "zero", 1, 0));
    EXPECT_EQ(1, RegistryGetBool(key, "two", 0, 0));
    EXPECT_EQ(0, RegistryGetBool(key, "empty", 1, 0));       // read, so not the default
    EXPECT_EQ(1, RegistryGetBool(key, "text", 0, 0));
    EXPECT_EQ(1, RegistryGetBool(key, "missing", 1, 0));
    EXPECT_EQ(0, RegistryGetBool(key, "missing", 0, 0));
}

TEST(RegistryClosedKey, OperationsOnAClosedKeyFail)
{
    RegistryKey closed;
    KeyWatch watch;
    RegistryValue value;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RegistryQueryValue(closed, "x", value, 0));
    EXPECT_EQ(RegValueNothing, value.tag);
    EXPECT_STREQ("d", RegistryGetString(closed, "x", "d", 0).CStr());
    EXPECT_EQ(5u, RegistryGetInt(closed, "x", 5, 0));
    EXPECT_FALSE(RegistryValueExists(closed, "x"));
    EXPECT_FALSE(RegistrySetString(closed, "x", "v", 0));
    EXPECT_FALSE(RegistrySetString(closed, "x", "", RegEmptyDeletes));
    EXPECT_FALSE(RegistrySetInt(closed, "x", 1, 0));
    EXPECT_FALSE(RegistrySetInt(closed, "x", 0, RegEmptyDeletes));
    EXPECT_FALSE(RegistrySetBool(closed, "x", 1));
    EXPECT_FALSE(RegistryDeleteValue(closed, "x"));
    EXPECT_FALSE(RegistryDeleteKey(closed, "x", 0));
    EXPECT_EQ(-1, RegistrySubkeyCount(closed));
    EXPECT_FALSE(RegistryHasSubkeys(closed));
    EXPECT_TRUE(RegistryKeyIsEmpty(closed));
    EXPECT_TRUE(RegistrySubkeyIsEmpty(closed, "x"));
    Array<String> names;
    EXPECT_EQ(0, RegistryEnumSubkeys(closed, &names));
    EXPECT_EQ(0, watch.Opened());                          // the system was not asked
}

TEST_F(RegistryTest, WrittenTextsReadBackUnchanged)
{
    const std::string kTexts[] = {"hello", "", std::string(31, 'a'), std::string(32, 'b'),
                                  std::string(300, 'c')};
    for (const std::string& text : kTexts) {
        SCOPED_TRACE(text.size());
        ASSERT_TRUE(RegistrySetString(key, "v", String(text.c_str()), 0));
        EXPECT_EQ(text, Text(RegistryGetString(key, "v", "default", 0)));
        RawValue raw = GetRaw(root, scratch, "v");
        EXPECT_EQ((DWORD)REG_SZ, raw.type);
        EXPECT_EQ(text + '\0', raw.bytes);      // stored with its terminating zero
    }
    ExpectBalanced();
}

TEST_F(RegistryTest, IntWritesAreFourByteDwords)
{
    ASSERT_TRUE(RegistrySetInt(key, "n", 0x01020304, 0));
    RawValue raw = GetRaw(root, scratch, "n");
    EXPECT_EQ((DWORD)REG_DWORD, raw.type);
    EXPECT_EQ(Bytes("\x04\x03\x02\x01", 4), raw.bytes);
    ASSERT_TRUE(RegistrySetBool(key, "b", 7));
    EXPECT_EQ(Bytes("\x01\0\0\0", 4), GetRaw(root, scratch, "b").bytes);
    ASSERT_TRUE(RegistrySetBool(key, "b", 0));
    EXPECT_EQ(Bytes("\0\0\0\0", 4), GetRaw(root, scratch, "b").bytes);
    ASSERT_TRUE(RegistrySetInt(key, "zero", 0, 0));      // without the flag 0 is written
    EXPECT_TRUE(GetRaw(root, scratch, "zero").exists);
}

TEST_F(RegistryTest, EmptyDeletesRemovesInsteadOfWriting)
{
    SetRaw(root, scratch, "s", REG_SZ, "x", 2);
    SetRaw(root, scratch, "n", REG_SZ, "x", 2);
    EXPECT_TRUE(RegistrySetString(key, "s", "", RegEmptyDeletes));
    EXPECT_FALSE(GetRaw(root, scratch, "s").exists);
    EXPECT_FALSE(RegistrySetString(key, "s", "", RegEmptyDeletes));     // nothing left to delete
    EXPECT_TRUE(RegistrySetInt(key, "n", 0, RegEmptyDeletes));
    EXPECT_FALSE(GetRaw(root, scratch, "n").exists);
    EXPECT_TRUE(RegistrySetInt(key, "never", 0, RegEmptyDeletes));      // true all the same
    EXPECT_TRUE(RegistrySetString(key, "s", "kept", RegEmptyDeletes));
    EXPECT_EQ(Bytes("kept", 5), GetRaw(root, scratch, "s").bytes);
    ExpectBalanced();
}

TEST_F(RegistryTest, DeleteValue)
{
    SetRaw(root, scratch, "v", REG_SZ, "x", 2);
    SetRaw(root, scratch, "", REG_SZ, "default value", 14);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RegistryDeleteValue(key, ""));
    EXPECT_FALSE(RegistryDeleteValue(key, nullptr));
    EXPECT_EQ(0xdeadbeefu, GetLastError());         // the system was not asked
    EXPECT_TRUE(GetRaw(root, scratch, "").exists);
    EXPECT_TRUE(RegistryValueExists(key, "v"));
    EXPECT_TRUE(RegistryDeleteValue(key, "v"));
    EXPECT_FALSE(RegistryValueExists(key, "v"));
    EXPECT_FALSE(RegistryDeleteValue(key, "v"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    ExpectBalanced();
}

TEST_F(RegistryTest, ValueExistsWithoutReadingData)
{
    SetRaw(root, scratch, "big", REG_BINARY, std::string(500, 'b').data(), 500);
    SetRaw(root, scratch, "odd", REG_DWORD, "\1\2", 2);     // unreadable, but there
    EXPECT_TRUE(RegistryValueExists(key, "big"));
    EXPECT_TRUE(RegistryValueExists(key, "odd"));
    EXPECT_FALSE(RegistryValueExists(key, "missing"));
}

void PlantTree(HKEY root, const std::string& top)
{
    SetRaw(root, top, "v1", REG_SZ, "1", 2);
    SetRaw(root, top + "\\B", "v2", REG_SZ, "2", 2);
    SetRaw(root, top + "\\B\\C", "v3", REG_SZ, "3", 2);
    CreateKey(root, top + "\\B\\C2");
    CreateKey(root, top + "\\B2");
}

TEST_F(RegistryTest, DeleteKeyRemovesEveryLevel)
{
    PlantTree(root, Sub("A"));
    CreateKey(root, Sub("Sibling"));
    EXPECT_TRUE(RegistryDeleteKey(key, "A", 0));
    ExpectBalanced();
    EXPECT_FALSE(KeyExists(root, Sub("A")));
    EXPECT_TRUE(KeyExists(root, Sub("Sibling")));
}

TEST_F(RegistryTest, DeleteKeyOfMissingKeySucceedsAndLeavesNothing)
{
    EXPECT_TRUE(RegistryDeleteKey(key, "Missing", 0));
    ExpectBalanced();
    EXPECT_FALSE(KeyExists(root, Sub("Missing")));
    EXPECT_FALSE(RegistryDeleteKey(key, nullptr, 0));
}

TEST_F(RegistryTest, OnlyIfEmptyKeepsKeysWithValuesOrSubkeys)
{
    SetRaw(root, Sub("WithValue"), "v", REG_SZ, "x", 2);
    CreateKey(root, Sub("WithSubkey\\Child"));
    CreateKey(root, Sub("Empty"));
    EXPECT_FALSE(RegistryDeleteKey(key, "WithValue", RegOnlyIfEmpty));
    EXPECT_FALSE(RegistryDeleteKey(key, "WithSubkey", RegOnlyIfEmpty));
    EXPECT_TRUE(RegistryDeleteKey(key, "Empty", RegOnlyIfEmpty));
    ExpectBalanced();
    EXPECT_TRUE(GetRaw(root, Sub("WithValue"), "v").exists);
    EXPECT_TRUE(KeyExists(root, Sub("WithSubkey\\Child")));
    EXPECT_FALSE(KeyExists(root, Sub("Empty")));
}

TEST_F(RegistryTest, DeleteKeyUnderAndPath)
{
    PlantTree(root, Sub("Parent\\A"));
    EXPECT_TRUE(RegistryDeleteKeyUnder(root, Sub("Parent").c_str(), "A", 0));
    ExpectBalanced();
    EXPECT_FALSE(KeyExists(root, Sub("Parent\\A")));
    EXPECT_TRUE(KeyExists(root, Sub("Parent")));

    PlantTree(root, Sub("Parent\\A"));
    EXPECT_TRUE(RegistryDeleteKeyPath(root, Sub("Parent\\A").c_str(), 0));
    ExpectBalanced();
    EXPECT_FALSE(KeyExists(root, Sub("Parent\\A")));
    EXPECT_TRUE(KeyExists(root, Sub("Parent")));

    // A missing parent is created and stays.
    EXPECT_TRUE(RegistryDeleteKeyUnder(root, Sub("NewParent").c_str(), "A", 0));
    EXPECT_TRUE(KeyExists(root, Sub("NewParent")));
    EXPECT_FALSE(RegistryDeleteKeyPath(root, "", 0));
    EXPECT_FALSE(RegistryDeleteKeyPath(root, nullptr, 0));
    ExpectBalanced();
}

// A path ending in a backslash names no subkey: the parent itself goes,
// and with RegOnlyIfEmpty only when it is empty.
TEST_F(RegistryTest, EmptySubkeyNameDeletesTheParent)
{
    PlantTree(root, Sub("Whole"));
    EXPECT_TRUE(RegistryDeleteKeyPath(root, (Sub("Whole") + "\\").c_str(), 0));
    ExpectBalanced();
    EXPECT_FALSE(KeyExists(root, Sub("Whole")));

    SetRaw(root, Sub("Full"), "v", REG_SZ, "x", 2);
    EXPECT_FALSE(RegistryDeleteKeyPath(root, (Sub("Full") + "\\").c_str(), RegOnlyIfEmpty));
    EXPECT_TRUE(GetRaw(root, Sub("Full"), "v").exists);
    CreateKey(root, Sub("Branch\\Leaf"));
    EXPECT_FALSE(RegistryDeleteKeyPath(root, (Sub("Branch") + "\\").c_str(), RegOnlyIfEmpty));
    EXPECT_TRUE(KeyExists(root, Sub("Branch\\Leaf")));

    CreateKey(root, Sub("Empty"));
    EXPECT_TRUE(RegistryDeleteKeyPath(root, (Sub("Empty") + "\\").c_str(), RegOnlyIfEmpty));
    EXPECT_FALSE(KeyExists(root, Sub("Empty")));
    ExpectBalanced();
}

TEST_F(RegistryTest, SoftwareDeletions)
{
    std::string below = std::string("VeltpackTest\\") + ::testing::UnitTest::GetInstance()
                                                            ->current_test_info()->name();
    PlantTree(root, Sub("A"));
    PlantTree(root, Sub("B"));
    EXPECT_TRUE(RegistryDeleteSoftwareKey((below + "\\A").c_str(), 1, 0));
    EXPECT_FALSE(KeyExists(root, Sub("A")));
    EXPECT_TRUE(RegistryDeleteSoftwareSubkey(below.c_str(), "B", 1, 0));
    EXPECT_FALSE(KeyExists(root, Sub("B")));
    ExpectBalanced();
}

TEST_F(RegistryTest, SubkeyQueries)
{
    EXPECT_EQ(0, RegistrySubkeyCount(key));
    EXPECT_FALSE(RegistryHasSubkeys(key));
    EXPECT_TRUE(RegistryKeyIsEmpty(key));

    SetRaw(root, scratch, "v", REG_SZ, "x", 2);
    EXPECT_FALSE(RegistryKeyIsEmpty(key));             // a value is enough

    CreateKey(root, Sub("one"));
    CreateKey(root, Sub("two\\deeper"));
    SetRaw(root, Sub("three"), "v", REG_SZ, "x", 2);
    EXPECT_EQ(3, RegistrySubkeyCount(key));
    EXPECT_TRUE(RegistryHasSubkeys(key));

    Array<String> names;
    names.AddTail(String("kept"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(3, RegistryEnumSubkeys(key, &names));
    EXPECT_EQ(0u, GetLastError());                  // the end of the list is no error
    ASSERT_EQ(4, names.Count());
    EXPECT_STREQ("kept", names.At(0)->CStr());     // appended, not replaced
    std::string all;
    for (int i = 1; i < 4; i++)
        all += std::string(names.At(i)->CStr()) + ";";
    for (const char* name : {"one;", "two;", "three;"})
        EXPECT_NE(std::string::npos, all.find(name)) << all;
    EXPECT_EQ(0, RegistryEnumSubkeys(key, nullptr));

    EXPECT_TRUE(RegistrySubkeyIsEmpty(key, "one"));
    EXPECT_FALSE(RegistrySubkeyIsEmpty(key, "two"));
    EXPECT_FALSE(RegistrySubkeyIsEmpty(key, "three"));
    EXPECT_TRUE(RegistrySubkeyIsEmpty(key, "four"));     // opened with create semantics
    EXPECT_TRUE(KeyExists(root, Sub("four")));
    ExpectBalanced();
}

TEST_F(RegistryTest, ReadPathReadsOneValueByWholePath)
{
    SetRaw(root, Sub("K"), "Value", REG_SZ, "found", 6);
    SetRaw(root, Sub("K"), "Empty", REG_SZ, "", 1);
    struct {
        std::string path;
        const char* expected;
    } const kCases[] = {
        {Sub("K\\Value"), "found"},
        {Sub("K\\Empty"), ""},
        {Sub("K\\Missing"), ""},            // a missing value is not the default
        {Sub("NewKey\\Missing"), ""},       // the key is created on the way
        {Sub("K\\"), "default"},            // no value name
        {"", "default"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(c.expected, RegistryReadPath(root, c.path.c_str(), "default", 0).CStr());
        ExpectBalanced();
    }
    EXPECT_TRUE(KeyExists(root, Sub("NewKey")));
}

TEST_F(RegistryTest, ReadPathWithoutBackslashReadsTheRootKey)
{
    const char kName[] = "VeltpackTestRootValue";
    SetRaw(root, "", kName, REG_SZ, "at the root", 12);
    String text = RegistryReadPath(root, kName, "default", 0);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, nullptr, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, kName);
    RegCloseKey(key);
    EXPECT_STREQ("at the root", text.CStr());
    ExpectBalanced();
}

// A missing value is reported, never fatal: the caller that needs it
// stops (StopForMissingRegistryValue) on ERROR_FILE_NOT_FOUND.
TEST_F(RegistryTest, MissingValueIsReportedToTheCaller)
{
    SetRaw(root, scratch, "v", REG_SZ, "here", 5);
    EXPECT_STREQ("here", RegistryGetString(key, "v", "", 0).CStr());
    RegistryValue value;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RegistryQueryValue(key, "missing", value, 0));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_STREQ("fallback", RegistryGetString(key, "missing", "fallback", 0).CStr());
}

TEST(RegistryValueConversions, RealAndDateForms)
{
    RegistryValue real;
    real.kind = RegKindReal;
    real.real = -2.75;
    EXPECT_EQ((DWORD)-2, real.ToInt());             // toward zero
    EXPECT_STREQ("-2.75", real.ToText().CStr());
    EXPECT_EQ(1, real.ToBool());
    real.real = 0;
    EXPECT_EQ(0, real.ToBool());

    RegistryValue date;
    date.kind = RegKindDateTime;
    date.tag = RegValueDate;
    date.dateTime.Set(3, 7, 2001);
    EXPECT_STREQ("3/7/2001", date.ToText().CStr());
    EXPECT_EQ(2451975u, date.ToInt());             // the day number
    EXPECT_EQ(1, date.ToBool());

    struct {
        DWORD tag;
        bool date;
        bool time;
        const char* text;
        BYTE set;
    } const kDateCases[] = {
        {RegValueDateTime, true, true, "3/7/2001 13:05:09", 1},
        {RegValueDateTime, true, false, "3/7/2001", 0},
        {RegValueDateTime, false, true, "13:05:09", 0},
        {RegValueDateTime, false, false, "", 0},
        {RegValueTime, false, true, "13:05:09", 1},
        {RegValueTime, true, false, "", 0},
        {RegValueDate, false, true, "", 0},
    };
    for (const auto& c : kDateCases) {
        SCOPED_TRACE(c.text);
        RegistryValue value;
        value.kind = RegKindDateTime;
        value.tag = c.tag;
        if (c.date)
            value.dateTime.Set(3, 7, 2001);
        if (c.time) {
            value.dateTime.hour = 13;
            value.dateTime.minute = 5;
            value.dateTime.second = 9;
        }
        EXPECT_STREQ(c.text, value.ToText().CStr());
        EXPECT_EQ(c.set, value.ToBool());
    }

    RegistryValue empty;
    EXPECT_EQ(0, empty.ToBool());
    EXPECT_EQ(0u, empty.ToInt());
    EXPECT_STREQ("", empty.ToText().CStr());
}

}  // namespace
