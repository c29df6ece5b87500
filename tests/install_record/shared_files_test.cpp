// The shared-file list as the placement writes it and the next installation
// and the uninstaller read it.
#include "product/shared_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, bool>>;   // path, only counted

Entries ReadAll(const char* text)
{
    String list(text);
    Entries entries;
    String path;
    bool countOnly;
    while (PopSharedFile(list, path, countOnly))
        entries.push_back({std::string(path.CStr(), path.Length()), countOnly});
    return entries;
}

TEST(SharedFileList, WrittenAsTheRegistrationKeepsIt)
{
    String list;
    AppendSharedFile(list, SharedFileEntry("C:\\Shared\\two.dll", false));
    AppendSharedFile(list, SharedFileEntry("C:\\Windows\\system32\\one.dll", true));
    EXPECT_STREQ("\"C:\\Shared\\two.dll\";\"C:\\Windows\\system32\\one.dll \"", list.CStr());
    EXPECT_STREQ("C:\\Windows\\system32\\one.dll",
                 SharedFilePath(SharedFileEntry("C:\\Windows\\system32\\one.dll", true)).CStr());
    EXPECT_STREQ("C:\\Shared\\two.dll", SharedFilePath("C:\\Shared\\two.dll").CStr());

    EXPECT_EQ((Entries{{"C:\\Shared\\two.dll", false}, {"C:\\Windows\\system32\\one.dll", true}}),
              ReadAll(list.CStr()));
}

TEST(SharedFileList, ReadingStopsWhereTheListDoesNotGoOn)
{
    struct Case {
        const char* text;
        Entries entries;
    };
    const Case kCases[] = {
        {"", {}},
        {" \t\r\n\"a\";\r\n \"b \"", {{"a", false}, {"b", true}}},  // blanks before an entry
        {"\"a\" ;\"b\"", {{"a", false}}},          // but not before its ";"
        {"\"a\";;\"b\"", {{"a", false}}},           // one ";" is dropped, the second ends it
        {"\"a\";b;\"c\"", {{"a", false}}},          // an unquoted entry ends the list
        {"\"a\";\"\";\"c\"", {{"a", false}}},       // so does an empty one
        {"\"a\";\" \";\"c\"", {{"a", false}}},      // and one of a blank alone
        {"\"a\";\"b", {{"a", false}, {"b", false}}},   // without its closing quote: the rest
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.entries, ReadAll(c.text));
    }
}

}  // namespace
