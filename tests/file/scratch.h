// A scratch directory of its own for each test, on the prefix's C: drive,
// made in SetUp and removed with everything in it in TearDown.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "core/directory.h"
#include "core/file.h"
#include "core/paths.h"

class ScratchTest : public testing::Test {
protected:
    void SetUp() override
    {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        dir_ = PathJoin(temp, String::Formatted("velt-%s-%s-%lu", info->test_suite_name(),
                                                info->name(), GetCurrentProcessId()).CStr());
        RemoveDirectoryTree(dir_.CStr());
        ASSERT_TRUE(CreateDirectoryA(dir_.CStr(), NULL)) << dir_.CStr();
    }

    void TearDown() override
    {
        if (!dir_.IsEmpty()) {
            EXPECT_TRUE(RemoveDirectoryTree(dir_.CStr())) << dir_.CStr();
        }
    }

    // Full path of name inside the scratch directory.
    String Path(const char* name) const { return PathJoin(dir_.CStr(), name); }

    // Creates name with exactly content (may hold zero bytes).
    String MakeFile(const char* name, const String& content) const
    {
        String path = Path(name);
        EXPECT_TRUE(WriteFileFromString(path.CStr(), content)) << path.CStr();
        return path;
    }

    // The file's bytes, or "<missing>" when it cannot be read.
    static String Contents(const String& path)
    {
        String content;
        if (!ReadFileToString(path.CStr(), content))
            return String("<missing>");
        return content;
    }

    static bool Exists(const String& path)
    {
        return GetFileAttributesA(path.CStr()) != INVALID_FILE_ATTRIBUTES;
    }

    String dir_;
};

// Lets gtest print String values in failure messages.
inline void PrintTo(const String& s, std::ostream* out)
{
    *out << '"' << std::string(s.CStr(), (size_t)s.Length()) << '"';
}
