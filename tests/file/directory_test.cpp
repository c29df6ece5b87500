// Directories, drives and locations on the Wine prefix's real drives.
#include "tests/file/scratch.h"

#include <string.h>

namespace {

using DirectoryTest = ScratchTest;

TEST_F(DirectoryTest, DirectoryExistsLeavesTheCurrentDirectoryAlone)
{
    String file = MakeFile("f.txt", String("x"));
    String before = GetCurrentDirectoryString();
    struct ExistsCase {
        String path;
        bool exists;
    };
    const ExistsCase kCases[] = {
        {dir_,              true},
        {dir_ + "\\",       true},
        {file,              false},
        {Path("missing"),   false},
        {String(),          false},
    };
    for (const ExistsCase& c : kCases) {
        SCOPED_TRACE(c.path.CStr());
        EXPECT_EQ(c.exists, DirectoryExists(c.path.CStr()));
        EXPECT_EQ(before, GetCurrentDirectoryString());
    }
    EXPECT_FALSE(DirectoryExists(nullptr));
}

TEST_F(DirectoryTest, CreateDirectoryPathMakesEveryMissingLevel)
{
    String deepest = Path("a\\b\\c");
    EXPECT_TRUE(CreateDirectoryPath(deepest.CStr()));
    EXPECT_TRUE(DirectoryExists(Path("a").CStr()));
    EXPECT_TRUE(DirectoryExists(Path("a\\b").CStr()));
    EXPECT_TRUE(DirectoryExists(deepest.CStr()));
    EXPECT_TRUE(CreateDirectoryPath(deepest.CStr()));           // already there
    EXPECT_TRUE(CreateDirectoryPath(Path("x\\y\\").CStr()));    // trailing backslash
    EXPECT_TRUE(DirectoryExists(Path("x\\y").CStr()));
    EXPECT_TRUE(CreateDirectoryPath("C:\\"));                   // a root exists
    EXPECT_FALSE(CreateDirectoryPath(""));
    EXPECT_FALSE(CreateDirectoryPath(nullptr));
}

TEST_F(DirectoryTest, CreateDirectoryPathFailsWhereAFileStandsInTheWay)
{
    String file = MakeFile("f", String("data"));
    EXPECT_FALSE(CreateDirectoryPath(Path("f\\sub\\deeper").CStr()));
    EXPECT_FALSE(CreateDirectoryPath(file.CStr()));
    EXPECT_STREQ("data", Contents(file).CStr());
}

TEST_F(DirectoryTest, RemoveDirectoryOnlyRemovesEmptyDirectories)
{
    ASSERT_TRUE(CreateDirectoryPath(Path("full\\inner").CStr()));
    ASSERT_TRUE(CreateDirectoryPath(Path("empty").CStr()));
    EXPECT_FALSE(RemoveDirectoryOnly(Path("full").CStr()));
    EXPECT_TRUE(DirectoryExists(Path("full\\inner").CStr()));
    EXPECT_TRUE(RemoveDirectoryOnly((Path("empty") + "\\").CStr()));
    EXPECT_FALSE(DirectoryExists(Path("empty").CStr()));
    EXPECT_FALSE(RemoveDirectoryOnly("C:\\"));
    EXPECT_FALSE(RemoveDirectoryOnly(nullptr));
}

TEST_F(DirectoryTest, RemoveDirectoryTreeRemovesReadOnlyFilesAndSubdirectories)
{
    ASSERT_TRUE(CreateDirectoryPath(Path("tree\\sub\\deeper").CStr()));
    String readOnly = MakeFile("tree\\sub\\locked.txt", String("ro"));
    MakeFile("tree\\top.txt", String("top"));
    MakeFile("tree\\sub\\deeper\\leaf.bin", String("leaf"));
    ASSERT_TRUE(SetReadOnly(readOnly.CStr(), true));
    String keep = MakeFile("tree-sibling.txt", String("keep"));

    EXPECT_TRUE(RemoveDirectoryTree(Path("tree").CStr()));
    EXPECT_FALSE(Exists(Path("tree")));
    EXPECT_STREQ("keep", Contents(keep).CStr());    // "tree" is no prefix match
}

TEST_F(DirectoryTest, RemoveDirectoryTreeReportsWhatItCouldNotRemove)
{
    ASSERT_TRUE(CreateDirectoryPath(Path("tree\\sub").CStr()));
    String held = MakeFile("tree\\sub\\held.txt", String("held"));
    MakeFile("tree\\other.txt", String("other"));
    {
        File holder;
        ASSERT_TRUE(holder.Open(held.CStr(), FoOpenExisting));     // shares nothing
        EXPECT_FALSE(RemoveDirectoryTree(Path("tree").CStr()));
    }
    // It went on past the failure, and removed everything it could.
    EXPECT_FALSE(Exists(Path("tree\\other.txt")));
    EXPECT_STREQ("held", Contents(held).CStr());
    EXPECT_TRUE(RemoveDirectoryTree(Path("tree").CStr()));
    EXPECT_FALSE(RemoveDirectoryTree(Path("tree").CStr()));     // nothing to list
}

TEST_F(DirectoryTest, RemoveDirectoryTreeRefusesTheWindowsDirectoryAndRoots)
{
    String windows = GetWindowsDirectoryString();
    ASSERT_FALSE(windows.IsEmpty());
    String inside = PathJoin(windows.CStr(), String::Formatted("velt-keep-%lu", GetCurrentProcessId()).CStr());
    ASSERT_TRUE(CreateDirectoryPath(inside.CStr()));
    String keep = PathJoin(inside.CStr(), "keep.txt");
    ASSERT_TRUE(WriteFileFromString(keep.CStr(), String("keep")));

    String lower(inside);
    for (int i = 0; i < lower.Length(); ++i) {
        char c = lower.CharAt(i);
        if (c >= 'A' && c <= 'Z')
            lower.SetAt(i, (char)(c - 'A' + 'a'));
    }
    // The same directory reached through "..": the system goes there too.
    String roundabout = PathJoin(windows.CStr(), "system32\\..\\");
    roundabout.Append(PathFileName(inside.CStr()));
    const String kRefused[] = {inside, lower, roundabout, windows, String("C:\\."), String("C:\\\\"),
                               String("\\\\?\\") + inside, PathJoin(inside.CStr(), "..\\..")};
    for (const String& path : kRefused) {
        SCOPED_TRACE(path.CStr());
        EXPECT_FALSE(RemoveDirectoryTree(path.CStr()));
        EXPECT_STREQ("keep", Contents(keep).CStr());
    }
    EXPECT_FALSE(RemoveDirectoryTree("C:\\"));
    EXPECT_FALSE(RemoveDirectoryTree(nullptr));

    ASSERT_TRUE(DeleteFileForced(keep.CStr()));
    ASSERT_TRUE(RemoveDirectoryOnly(inside.CStr()));
}

TEST_F(DirectoryTest, CanonicalPathNamesThePlaceWhateverTheWords)
{
    String windows = CanonicalPath(GetWindowsDirectoryString().CStr());
    ASSERT_FALSE(windows.IsEmpty());
    String system = GetSystemDirectoryString();
    String same[] = {GetWindowsDirectoryString() + "\\", GetWindowsDirectoryString() + "\\.",
                     system + "\\..", String("\\\\?\\") + GetWindowsDirectoryString(),
                     String("\\\\localhost\\C$") + GetWindowsDirectoryString().Mid(2),
                     String("C:/") + GetWindowsDirectoryString().Mid(3)};
    for (const String& path : same)
        EXPECT_TRUE(PathsEqual(windows.CStr(), CanonicalPath(path.CStr()).CStr())) << path.CStr();
    // What does not exist keeps its words below the part that does.
    EXPECT_STREQ((windows + "\\No Such\\Place").CStr(),
                 CanonicalPath((system + "\\..\\No Such\\Place\\").CStr()).CStr());
    EXPECT_STREQ("C:", CanonicalPath("C:\\.").CStr());
    EXPECT_STREQ("\\\\srv\\share", CanonicalPath("\\\\?\\UNC\\srv\\share\\").CStr());
}

TEST_F(DirectoryTest, DeleteFileForcedDeletesReadOnlyFiles)
{
    String file = MakeFile("ro.txt", String("x"));
    ASSERT_TRUE(SetReadOnly(file.CStr(), true));
    EXPECT_FALSE(DeleteFileA(file.CStr()));     // what "forced" is for
    EXPECT_TRUE(DeleteFileForced(file.CStr()));
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(DeleteFileForced(file.CStr()));
    EXPECT_FALSE(DeleteFileForced(nullptr));
}

TEST_F(DirectoryTest, DeleteFileForcedPutsTheReadOnlyFlagBackWhenItFails)
{
    String file = MakeFile("ro.txt", String("x"));
    ASSERT_TRUE(SetReadOnly(file.CStr(), true));
    File holder;
    ASSERT_TRUE(holder.Open(file.CStr(), FoOpenExisting | FoNoWrite));  // shares nothing
    EXPECT_FALSE(DeleteFileForced(file.CStr()));
    holder.Close();
    EXPECT_TRUE(GetFileAttributesA(file.CStr()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFileForced(file.CStr()));
}

TEST_F(DirectoryTest, CurrentDirectoryOfAnyLength)
{
    String before = GetCurrentDirectoryString();
    ASSERT_FALSE(before.IsEmpty());
    // Longer than the first buffer, so the answer needs a second call.
    String longPath = Path("a-directory-name-long-enough-to-need-more-than-one-hundred-characters-in-all");
    ASSERT_TRUE(CreateDirectoryPath(longPath.CStr()));
    ASSERT_TRUE(SetCurrentDirectoryA(longPath.CStr()));
    EXPECT_TRUE(PathsEqual(longPath.CStr(), GetCurrentDirectoryString().CStr()))
        << GetCurrentDirectoryString().CStr();
    ASSERT_TRUE(SetCurrentDirectoryA(before.CStr()));
    EXPECT_EQ(before, GetCurrentDirectoryString());
}

TEST_F(DirectoryTest, ModuleLocation)
{
    String path = GetModulePath();
    ASSERT_TRUE(IsAbsolutePath(path.CStr())) << path.CStr();
    EXPECT_TRUE(Exists(path));
    EXPECT_STREQ("directory_test.exe", GetModuleFileTitle().CStr());
    EXPECT_EQ(PathJoin(GetModuleDirectory().CStr(), GetModuleFileTitle().CStr()), path);
    EXPECT_EQ(PathDriveLetter(path.CStr()), GetModuleDrive());
    EXPECT_EQ(PathJoin(GetModuleDirectory().CStr(), "x.dat"), PathNextToModule("x.dat"));
}

TEST_F(DirectoryTest, WindowsAndSystemDirectories)
{
    String windows = GetWindowsDirectoryString();
    String system = GetSystemDirectoryString();
    EXPECT_TRUE(DirectoryExists(windows.CStr())) << windows.CStr();
    EXPECT_TRUE(DirectoryExists(system.CStr())) << system.CStr();
    EXPECT_TRUE(windows.IsPrefixOfNoCase(system.CStr()));
}

TEST_F(DirectoryTest, ShortPathNamesTheSameFile)
{
    String longName = MakeFile("A Long File Name.text", String("same"));
    String shortName = GetShortPath(longName.CStr());
    EXPECT_LE(PathFileName(shortName.CStr()).Length(), 12) << shortName.CStr();
    EXPECT_LT(PathFileName(shortName.CStr()).FindChar(' '), 0) << shortName.CStr();
    EXPECT_STREQ("same", Contents(shortName).CStr());
    String missing = Path("No Such File.text");
    EXPECT_EQ(missing, GetShortPath(missing.CStr()));           // unchanged
    EXPECT_STREQ("", GetShortPath("").CStr());
}

TEST_F(DirectoryTest, MakeTempFileNameCreatesUniqueEmptyFiles)
{
    String first = MakeTempFileName(dir_.CStr());
    String second = MakeTempFileName(dir_.CStr());
    ASSERT_FALSE(first.IsEmpty());
    EXPECT_NE(first, second);
    for (const String& name : {first, second}) {
        SCOPED_TRACE(name.CStr());
        EXPECT_TRUE(PathsEqual(dir_.CStr(), PathDirectory(name.CStr()).CStr()));
        EXPECT_EQ(0, PathFileName(name.CStr()).Compare(kTempFilePrefix, true, 3));
        EXPECT_EQ(0, FileSizeByName(name.CStr()));
    }
    EXPECT_STREQ("", MakeTempFileName(Path("missing").CStr()).CStr());
    EXPECT_STREQ("", MakeTempFileName(nullptr).CStr());
}

TEST_F(DirectoryTest, DrivesAndFreeSpace)
{
    EXPECT_TRUE(DriveExists('C'));
    EXPECT_TRUE(DriveExists('c'));
    EXPECT_GT(DiskFreeSpace('C'), 0);
    EXPECT_GT(DiskFreeSpace('c'), 0);
    EXPECT_GT(DiskFreeSpaceOfRoot("C:\\"), 0);
    int cluster = ClusterSize('C');
    EXPECT_GT(cluster, 0);
    EXPECT_EQ(0, cluster & (cluster - 1)) << cluster;          // a power of two

    for (char notALetter : {'1', '\\', ':', '\0'}) {
        SCOPED_TRACE((int)notALetter);
        EXPECT_FALSE(DriveExists(notALetter));
        EXPECT_EQ(-1, DiskFreeSpace(notALetter));
        EXPECT_EQ(-1, ClusterSize(notALetter));
    }
    EXPECT_EQ(-1, DiskFreeSpaceOfRoot(nullptr));
    EXPECT_EQ(-1, DiskFreeSpaceOfRoot(Path("missing\\").CStr()));

    char unused = 0;
    for (char letter = 'Y'; letter > 'D' && !unused; --letter) {
        if (!DriveExists(letter))
            unused = letter;
    }
    ASSERT_NE(0, unused) << "every drive letter is in use";
    EXPECT_EQ(-1, DiskFreeSpace(unused));
    EXPECT_EQ(-1, ClusterSize(unused));
}

TEST_F(DirectoryTest, ShellOpenFailsWithoutADocument)
{
    EXPECT_FALSE(ShellOpen(nullptr));
    EXPECT_FALSE(ShellOpen(""));
    EXPECT_FALSE(ShellOpen(Path("missing.txt").CStr()));
}

} // namespace
