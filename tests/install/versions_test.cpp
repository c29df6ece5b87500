#include <gtest/gtest.h>

#include <windows.h>

#include "install/versions.h"

namespace {

int Sign(int n)
{
    return (n > 0) - (n < 0);
}

TEST(CompareVersions, ComparesNumberByNumberThenTheLastLetter)
{
    const struct { const char* a; const char* b; int order; } cases[] = {
        {"1.10", "1.9", 1},         // numbers, not text
        {"2.0", "2.00", 0},
        {"2.0", "2.0.1", -1},       // the shorter list is older
        {"3.1", "3", 1},
        {".5", "0.5", 0},           // a leading point is a 0
        {"1.2b", "1.2a", 1},        // then the suffix
        {"1.2", "1.2a", -1},        // no suffix counts as 0
        {"1a.2", "1.2", 1},         // the last letter anywhere
        {"v1-2 build 3", "1.2.3", 1},   // other characters only separate ("d" is the suffix)
        {"", "", 0},
        {"", "1", -1},
        {"99999999999999999999", "999999999", 0},   // huge parts are held, not wrapped
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sign(CompareVersions(c.a, c.b)), c.order) << c.a << " against " << c.b;
        EXPECT_EQ(Sign(CompareVersions(c.b, c.a)), -c.order) << c.b << " against " << c.a;
    }
    EXPECT_EQ(CompareVersions("1.10", "1.9"), 1);
}

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velt Versions Test";

void WriteRegistration(const char* value, const char* location)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, &key), ERROR_SUCCESS);
    if (value)
        RegSetValueExA(key, value, 0, REG_SZ, (const BYTE*)"x", 2);
    if (location)
        RegSetValueExA(key, "InstallLocation", 0, REG_SZ, (const BYTE*)location,
                       (DWORD)strlen(location) + 1);
    RegCloseKey(key);
}

TEST(ProductIsInstalled, NeedsAnUninstallCommand)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    String location = "unchanged";
    EXPECT_FALSE(ProductIsInstalled("Velt Versions Test", location));

    WriteRegistration(nullptr, "C:\\Somewhere");
    EXPECT_FALSE(ProductIsInstalled("Velt Versions Test", location));
    EXPECT_STREQ(location.CStr(), "unchanged");

    WriteRegistration("QuietUninstallString", nullptr);
    EXPECT_TRUE(ProductIsInstalled("Velt Versions Test", location));
    EXPECT_STREQ(location.CStr(), "C:\\Somewhere");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);

    WriteRegistration("UninstallString", nullptr);
    EXPECT_TRUE(ProductIsInstalled("Velt Versions Test", location));
    EXPECT_STREQ(location.CStr(), "");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

}  // namespace
