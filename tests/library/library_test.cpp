// Run-time linking from the system directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "system/library.h"

namespace {

TEST(LinkFunction, LinksFromTheSystemDirectory)
{
    FARPROC function = (FARPROC)1;
    EXPECT_EQ(1, LinkFunction("kernel32.dll", "GetTickCount", &function));
    EXPECT_NE((FARPROC)NULL, function);
    EXPECT_EQ(0, LinkFunction("kernel32.dll", "NoSuchFunctionAnywhere", &function));
    EXPECT_EQ((FARPROC)NULL, function);
    EXPECT_EQ(0, LinkFunction(NULL, "GetTickCount", &function));
    EXPECT_EQ(0, LinkFunction("no-such-library.dll", "GetTickCount", &function));

    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    std::string expected = std::string(system) + "\\msimg32.dll";
    EXPECT_STREQ(expected.c_str(), SystemLibraryPath("msimg32.dll").CStr());
}

TEST(LinkFunctionTable, FillsEveryEntryAndReportsRequiredGaps)
{
    FARPROC fill = NULL, missing = (FARPROC)1;
    const LinkEntry optionalGap[] = {{"GradientFill", &fill, 0},
                                     {"NoSuchFunction", &missing, 1},
                                     {NULL, NULL, 0}};
    EXPECT_EQ(1, LinkFunctionTable("msimg32.dll", optionalGap));
    EXPECT_NE((FARPROC)NULL, fill);
    EXPECT_EQ((FARPROC)NULL, missing);

    const LinkEntry requiredGap[] = {{"NoSuchFunction", &missing, 0}, {NULL, NULL, 0}};
    EXPECT_EQ(0, LinkFunctionTable("msimg32.dll", requiredGap));
    fill = (FARPROC)1;
    const LinkEntry noLibrary[] = {{"GradientFill", &fill, 0}, {NULL, NULL, 0}};
    EXPECT_EQ(0, LinkFunctionTable("no-such-library.dll", noLibrary));
    EXPECT_EQ((FARPROC)1, fill);                    // nothing linked
}

}  // namespace
