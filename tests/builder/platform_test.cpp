// The builder's system layer, run natively and under Wine with TZ set to
// Europe/Berlin (ctest does): local times on both sides of the clock
// changes, file times set and read back, and UTF-8 file names.
#include "builder/platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;
using namespace velt;

namespace {

std::string Text(const DateTime& t)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

struct LocalCase {
    int64_t seconds;
    const char* local;
};

TEST(Platform, LocalDateTimeFollowsTheZoneAndItsClockChanges)
{
    static const LocalCase kCases[] = {
        {0, "1970-01-01 01:00:00"},
        {-1, "1970-01-01 00:59:59"},             // before 1970 too
        {1700000000, "2023-11-14 23:13:20"},     // winter: UTC+1
        {1688212800, "2023-07-01 14:00:00"},     // summer: UTC+2
        {1679792399, "2023-03-26 01:59:59"},     // the second before the change
        {1679792400, "2023-03-26 03:00:00"},     // 02:00 to 02:59 never happen
        {1667089800, "2022-10-30 02:30:00"},     // the hour that comes twice:
        {1667093400, "2022-10-30 02:30:00"},     // once in summer, once in winter
    };
    for (const LocalCase& c : kCases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(c.local, Text(LocalDateTime(c.seconds)));
    }
}

class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Builds in other directories may run this test at the same time.
        dir_ = fs::temp_directory_path() / ("veltpack-platform-" + std::to_string(std::random_device()()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST_F(PlatformFiles, ModifiedTimeSetAndReadBack)
{
    fs::path file = dir_ / "file.txt";
    std::ofstream(file) << "x";
    struct TimeCase {
        DateTime local;
        int64_t seconds;
    };
    static const TimeCase kCases[] = {
        {{2023, 7, 1, 14, 0, 0}, 1688212800},
        {{2023, 1, 15, 9, 30, 5}, 1673771405},
        {{1969, 12, 31, 23, 0, 0}, -7200},      // before 1970 too
    };
    for (const TimeCase& c : kCases) {
        SCOPED_TRACE(Text(c.local));
        ASSERT_TRUE(SetFileModifiedTime(file, c.local));
        EXPECT_EQ(c.seconds, FileModifiedTime(file));
        EXPECT_EQ(Text(c.local), Text(LocalDateTime(*FileModifiedTime(file))));
    }
    EXPECT_EQ(std::nullopt, FileModifiedTime(dir_ / "missing.txt"));
    EXPECT_FALSE(SetFileModifiedTime(dir_ / "missing.txt", {2023, 7, 1, 14, 0, 0}));
}

TEST_F(PlatformFiles, NamesAreUtf8BothWays)
{
    const std::string name = "Preis \xE2\x82\xAC \xC3\x9C" "ber.txt";      // "Preis € Über.txt"
    fs::path path = PathFromUtf8(name);
    EXPECT_EQ(u"Preis \u20AC \u00DCber.txt", path.u16string());
    EXPECT_EQ(name, PathToUtf8(path));

    std::ofstream(dir_ / path) << "x";
    ASSERT_TRUE(SetFileModifiedTime(dir_ / path, {2023, 7, 1, 14, 0, 0}));
    EXPECT_EQ(1688212800, FileModifiedTime(dir_ / path));
    int found = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(name, PathToUtf8(entry.path().filename()));
        found++;
    }
    EXPECT_EQ(1, found);
}

} // namespace
