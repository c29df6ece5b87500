#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/format.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// -------------------------------------------------------------------------
// Integers, doubles and byte sizes.

TEST(NumberText, FromIntAndGroupedSizes)
{
    EXPECT_STREQ("0", String::FromInt(0).CStr());
    EXPECT_STREQ("-42", String::FromInt(-42).CStr());
    EXPECT_STREQ("-2147483648", String::FromInt(INT32_MIN).CStr());

    struct Case {
        long long n;
        const char* text;
    };
    static const Case kCases[] = {
        {0, "0"},
        {1000, "1000"},             // four digits are never grouped
        {9999, "9999"},
        {10000, "10,000"},
        {12345, "12,345"},
        {123456, "123,456"},
        {1234567, "1,234,567"},
        {1099511627776LL, "1,099,511,627,776"},     // past 32 bits
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.text, String::FromInt64Grouped(c.n).CStr());
    }
}

TEST(NumberText, FromDoubleWithFixedOrShortestDecimals)
{
    struct Case {
        double x;
        int decimals;
        const char* text;
    };
    static const Case kCases[] = {
        {2.5, -1, "2.5"},
        {3.0, -1, "3"},
        {100.0, -1, "100"},         // zeros before the point stay
        {0.125, -1, "0.125"},
        {-1.5, -1, "-1.5"},
        {12.345, 1, "12.3"},
        {2.0, 2, "2.00"},
        {7.25, 0, "7"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.text, String::FromDouble(c.x, c.decimals).CStr());
    }
}

TEST(FormatByteSize, PicksTheUnitByMagnitude)
{
    struct Case {
        int64_t n;
        const char* text;
    };
    static const Case kCases[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1572864, "1.50 MB"},
        {13107200, "12.50 MB"},
        {1073741824, "1.00 GB"},
        {(1LL << 40) - 1, "1024.00 GB"},
        {1LL << 40, "1.00 TB"},
        {5LL << 40, "5.00 TB"},
        {-5, "-5 bytes"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.text, FormatByteSize(c.n).CStr());
    }
}

TEST(IntegerHelpers, RoundUpToMultiple)
{
    struct Case {
        int64_t v;
        int32_t m;
        int64_t expected;
    };
    static const Case kCases[] = {
        {10, 0, 10},                // multiples below 2 leave the value alone
        {10, 1, 10},
        {10, -4096, 10},
        {10, 4, 12},
        {12, 4, 12},
        {0, 4096, 0},
        {1, 4096, 4096},
        {4097, 4096, 8192},
        {5000000001LL, 4096, 5000003584LL},
        {-10, 4, -8},               // a negative value rounds toward zero
        {-5000000001LL, 4096, -4999999488LL},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.v << " to " << c.m);
        EXPECT_EQ(c.expected, RoundUpToMultiple(c.v, c.m));
    }
}

TEST(IntegerHelpers, DivideInPlaceMatchesTheDivisionOperator)
{
    static const uint64_t kValues[] = {0, 1, 9, 10, 4294967295ULL, 4294967296ULL,
                                       12345678901234567890ULL, 0xFFFFFFFFFFFFFFFFULL};
    static const uint32_t kDivisors[] = {1, 2, 10, 4096, 65537, 0x80000000u, 0xFFFFFFFFu};
    for (uint64_t value : kValues) {
        for (uint32_t divisor : kDivisors) {
            SCOPED_TRACE(testing::Message() << value << " / " << divisor);
            uint64_t quotient = value;
            uint32_t rest = DivideInPlace(quotient, divisor);
            EXPECT_EQ(value / divisor, quotient);
            EXPECT_EQ(value % divisor, rest);
        }
    }
}

TEST(IntegerHelpers, RandomBelowStaysInRange)
{
    for (int32_t n : {-5, 0, 1})
        EXPECT_EQ(0, RandomBelow(n));
    bool seen[7] = {};
    for (int i = 0; i < 2000; i++) {
        int32_t r = RandomBelow(7);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 7);
        seen[r] = true;
    }
    for (bool s : seen)
        EXPECT_TRUE(s);
}

// -------------------------------------------------------------------------
// Ordinals and words.

TEST(Ordinals, SuffixFollowsTheLastTwoDigits)
{
    struct Case {
        int32_t n;
        const char* text;
    };
    static const Case kCases[] = {
        {0, "0th"}, {1, "1st"}, {2, "2nd"}, {3, "3rd"}, {4, "4th"},
        {11, "11th"}, {12, "12th"}, {13, "13th"}, {20, "20th"}, {21, "21st"},
        {22, "22nd"}, {23, "23rd"}, {100, "100th"}, {101, "101st"}, {104, "104th"},
        {111, "111th"}, {112, "112th"}, {1002, "1002nd"}, {-1, "-1st"}, {-12, "-12th"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.text, OrdinalSuffix(c.n).CStr());
    }
}

TEST(Ordinals, Words)
{
    struct Case {
        int32_t n;
        const char* text;
    };
    static const Case kCases[] = {
        {1, "First"},
        {9, "Ninth"},
        {10, "Tenth"},
        {11, "Eleventh"},
        {12, "Twelfth"},
        {13, "Thirteenth"},
        {21, "Twenty First"},
        {30, "Thirtieth"},
        {99, "Ninety Ninth"},
        {100, "One Hundredth"},
        {101, "One Hundred First"},
        {112, "One Hundred Twelfth"},
        {113, "One Hundred Thirteenth"},
        {230, "Two Hundred Thirtieth"},
        {1000, "One Thousandth"},
        {1012, "One Thousand Twelfth"},
        {-3, "Negative Third"},
        {INT32_MIN, "Negative Two Thousand One Hundred Forty Seven Million Four Hundred Eighty "
                    "Three Thousand Six Hundred Forty Eighth"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(c.text, OrdinalWords(c.n).CStr());
    }
}

TEST(NumberToWords, EveryMode)
{
    struct Case {
        double x;
        int mode;
        const char* text;
    };
    static const Case kCases[] = {
        {0, WordsWhole, "Zero"},
        {7, WordsWhole, "Seven"},
        {19, WordsWhole, "Nineteen"},
        {20, WordsWhole, "Twenty"},
        {35, WordsWhole, "Thirty Five"},
        {100, WordsWhole, "One Hundred"},
        {110, WordsWhole, "One Hundred Ten"},
        {1999, WordsWhole, "One Thousand Nine Hundred Ninety Nine"},
        {1000000, WordsWhole, "One Million"},
        {1000001, WordsWhole, "One Million One"},
        {2000000000, WordsWhole, "Two Thousand Million"},
        {-5, WordsWhole, "Negative Five"},
        {12.5, WordsWhole, "Twelve"},
        {12.5, WordsCheque, "Twelve and 50/100"},
        {3, WordsCheque, "Three and No/100"},
        {1000.07, WordsCheque, "One Thousand and 7/100"},
        {2.75, WordsFraction, "Two and Three Fourths"},
        {0.125, WordsFraction, "Zero and One Eighth"},
        {5.5, WordsFraction, "Five and One Half"},
        {1.1, WordsFraction, "One and 100/1000"},
        {4, WordsFraction, "Four"},
        {1.25, WordsPoint, "One Point Two Five"},
        {0.5, WordsPoint, "Zero Point Five"},
        {3.104, WordsPoint, "Three Point One Zero Four"},
        {2, WordsPoint, "Two"},
        {-1.5, WordsPoint, "Negative One Point Five"},
        {12, 3, ""},                // unknown modes write nothing
        {12, -2, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.x << " mode " << c.mode);
        EXPECT_STREQ(c.text, NumberToWords(c.x, c.mode).CStr());
    }
}

TEST(NumberToWords, NumbersWithoutWordsGiveEmptyText)
{
    for (double x : {(double)INFINITY, -(double)INFINITY, (double)NAN, 1e300}) {
        SCOPED_TRACE(x);
        EXPECT_STREQ("", NumberToWords(x, WordsCheque).CStr());
    }
}

// -------------------------------------------------------------------------
// Calendar.

TEST(Calendar, LeapYearsAndMonthLengths)
{
    struct Case {
        int32_t year;
        bool leap;
    };
    static const Case kCases[] = {
        {1500, true},               // before 1582 every fourth year
        {1501, false},
        {1600, true},
        {1700, false},
        {1900, false},
        {2000, true},
        {2024, true},
        {2100, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.year);
        EXPECT_EQ(c.leap, IsLeapYear(c.year));
        EXPECT_EQ(c.leap ? 29 : 28, DaysInMonth(2, c.year));
    }
    EXPECT_EQ(31, DaysInMonth(1, 2001));
    EXPECT_EQ(30, DaysInMonth(4, 2001));
    EXPECT_EQ(31, DaysInMonth(12, 2001));
    EXPECT_EQ(0, DaysInMonth(0, 2001));
    EXPECT_EQ(0, DaysInMonth(13, 2001));
}

TEST(Calendar, NamesAndClock)
{
    EXPECT_STREQ("January", MonthName(1));
    EXPECT_STREQ("December", MonthName(12));
    EXPECT_STREQ("", MonthName(0));
    EXPECT_STREQ("", MonthName(13));
    EXPECT_STREQ("Sunday", WeekdayName(1));
    EXPECT_STREQ("Saturday", WeekdayName(7));
    EXPECT_STREQ("", WeekdayName(8));

    struct Case {
        int32_t hour;
        int32_t hour12;
        bool am;
    };
    static const Case kCases[] = {
        {0, 12, true}, {1, 1, true}, {11, 11, true}, {12, 12, false}, {13, 1, false}, {23, 11, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.hour);
        EXPECT_EQ(c.hour12, Hour12(c.hour));
        EXPECT_EQ(c.am, IsAm(c.hour));
    }
}

TEST(CalendarDate, DayNumberAndWeekday)
{
    struct Case {
        int32_t month, day, year;
        int32_t dayNumber;
        int32_t weekday;            // 1 = Sunday
    };
    static const Case kCases[] = {
        {1, 1, 2000, 2451544, 7},
        {3, 7, 2001, 2451975, 4},
        {2, 29, 2000, 2451603, 3},
        {1, 1, 1970, 2440587, 5},
        {12, 31, 2024, 2460675, 3},
        {3, 1, 1600, 2305507, 4},
        {10, 15, 1582, 2299160, 6}, // the first Gregorian day follows
        {10, 4, 1582, 2299159, 5},  // the last Julian one
        {1, 1, 1, 1721423, 7},
        {12, 31, -1, 1721422, 6},   // there is no year 0
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.month << "/" << c.day << "/" << c.year);
        CalendarDate date;
        date.Set(c.month, c.day, c.year);
        EXPECT_EQ(c.dayNumber, date.dayNumber);
        EXPECT_EQ(c.weekday, date.weekday);
        EXPECT_EQ(c.month, date.month);
        EXPECT_EQ(c.day, date.day);
        EXPECT_EQ(c.year, date.year);
        EXPECT_FALSE(date.IsInvalid());
    }
}

TEST(CalendarDate, MonthZeroKeepsTheDayNumber)
{
    CalendarDate date;
    date.Set(1, 1, 2000);
    date.Set(0, 5, 1999);
    EXPECT_EQ(2451544, date.dayNumber);
    EXPECT_EQ(7, date.weekday);
    EXPECT_EQ(0, date.month);
    EXPECT_EQ(5, date.day);
    EXPECT_TRUE(date.IsInvalid());
}

TEST(CalendarDate, YearsBeyondAnyCalendarGetNoDayNumber)
{
    for (int32_t year : {INT32_MAX, INT32_MIN}) {
        for (int32_t month : {1, 3}) {
            SCOPED_TRACE(::testing::Message() << month << "/1/" << year);
            CalendarDate date;
            date.Set(month, 1, year);
            EXPECT_EQ(0, date.dayNumber);
            EXPECT_EQ(0, date.weekday);
            EXPECT_TRUE(date.IsInvalid());
        }
    }
}

TEST(CalendarDate, Validity)
{
    struct Case {
        int32_t month, day, year;
        bool invalid;
    };
    static const Case kCases[] = {
        {2, 29, 1900, true},        // 1900 is no leap year
        {2, 29, 2000, false},
        {2, 29, 1500, false},
        {2, 30, 2000, true},
        {4, 31, 2001, true},
        {12, 31, 1999, false},
        {1, 0, 2000, true},
        {13, 1, 2000, true},
        {-1, 1, 2000, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.month << "/" << c.day << "/" << c.year);
        CalendarDate date;
        date.Set(c.month, c.day, c.year);
        EXPECT_EQ(c.invalid, date.IsInvalid());
    }
    CalendarDate unset;
    EXPECT_TRUE(unset.IsInvalid());
}

TEST(CalendarDate, FormatMasks)
{
    CalendarDate date;
    date.Set(3, 7, 2001);
    struct Case {
        const char* mask;
        const char* text;
    };
    static const Case kCases[] = {
        {"MM D, yy", "March 7th, 2001"},
        {"WW", "Wednesday"},
        {"m/d/y", "3/7/01"},
        {"mm/dd/yy", "03/07/2001"},
        {"M W", "Mar Wed"},
        {"DD", "Seventh"},
        {"w ww", "4 04"},
        {"Y", "Oh One"},
        {"YY", "Twenty Oh One"},
        {"ddd", "077"},             // a doubled letter, then a single one
        {"h:ii:ss ap AP", "h:ii:ss ap AP"},  // time letters mean nothing here
        {"100%d", "100%7"},         // other characters are copied
        {"", "3/7/01"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.mask);
        EXPECT_STREQ(c.text, date.Format(c.mask).CStr());
    }
    EXPECT_STREQ("3/7/01", date.Format(nullptr).CStr());

    date.Set(12, 22, 1999);
    EXPECT_STREQ("Nineteen Ninety Nine", date.Format("YY").CStr());
    EXPECT_STREQ("99 Dec Twenty Second", date.Format("y M DD").CStr());
    date.Set(1, 1, 2009);
    EXPECT_STREQ("09 Oh Nine", date.Format("y Y").CStr());
}

TEST(CalendarDateTime, FormatMasks)
{
    struct Case {
        int32_t hour, minute, second;
        const char* mask;
        const char* text;
    };
    static const Case kCases[] = {
        {12, 5, 9, "h:ii:ssap", "12:05:09p"},
        {0, 5, 9, "h:ii:ssap", "12:05:09a"},
        {23, 59, 0, "hh:ii:ss AP", "11:59:00 p.m."},
        {9, 3, 4, "H:i:s AP", "9:3:4 a.m."},
        {0, 5, 9, "m/d/yy HH:ii:ss", "3/7/2001 00:05:09"},
        {15, 0, 0, "a A p", "a A p"},   // a lone a or A is copied
        {15, 30, 0, nullptr, "3/7/01 3:30:00p"},
        {15, 30, 0, "", "3/7/01 3:30:00p"},
        {15, 30, 0, "MM D, yy", "March 7th, 2001"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        CalendarDateTime when;
        when.Set(3, 7, 2001);
        when.hour = c.hour;
        when.minute = c.minute;
        when.second = c.second;
        EXPECT_STREQ(c.text, when.Format(c.mask).CStr());
    }
    EXPECT_STREQ("m/d/y", DefaultDateMask);
    EXPECT_STREQ("m/d/y h:ii:ssap", DefaultDateTimeMask);
    EXPECT_STREQ("h:ii:ssap", DefaultTimeMask);
}

TEST(CalendarDateTime, TimeValidity)
{
    struct Case {
        int32_t hour, minute, second;
        bool invalid;
    };
    static const Case kCases[] = {
        {0, 0, 0, false}, {23, 59, 59, false}, {24, 0, 0, true}, {-1, 0, 0, true},
        {12, 60, 0, true}, {12, 0, 60, true}, {12, 0, -1, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.hour << ":" << c.minute << ":" << c.second);
        CalendarDateTime when;
        when.hour = c.hour;
        when.minute = c.minute;
        when.second = c.second;
        EXPECT_EQ(c.invalid, when.IsTimeInvalid());
    }
}

TEST(DateTime, ComparesFieldByField)
{
    const DateTime base = {2001, 3, 7, 12, 5, 9};
    struct Case {
        DateTime other;
        int32_t expected;           // base.Compare(other)
    };
    static const Case kCases[] = {
        {{2001, 3, 7, 12, 5, 9}, 0},
        {{2002, 1, 1, 0, 0, 0}, -1},        // the year decides, whatever follows
        {{1990, 12, 31, 23, 59, 59}, 1},
        {{2001, 4, 7, 12, 5, 9}, -1},
        {{2001, 3, 6, 12, 5, 9}, 1},
        {{2001, 3, 7, 13, 0, 0}, -1},
        {{2001, 3, 7, 12, 4, 59}, 1},
        {{2001, 3, 7, 12, 5, 2}, 7},        // seconds give their difference
        {{2001, 3, 7, 12, 5, 30}, -21},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, base.Compare(c.other));
    }
}

// -------------------------------------------------------------------------
// Now.

TEST(Now, TextsHaveTheirShapes)
{
    DateTime now = LocalDateTimeNow();
    EXPECT_GE(now.year, 2020);
    CalendarDate today;
    today.Today();
    EXPECT_FALSE(today.IsInvalid());

    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char half = 0;
    String date = DateNowText();
    ASSERT_EQ(3, sscanf(date.CStr(), "%d/%d/%d", &month, &day, &year)) << date.CStr();
    EXPECT_GE(month, 1);
    EXPECT_LE(month, 12);
    EXPECT_GE(year, 2020);
    String time = TimeNowText();
    ASSERT_EQ(4, sscanf(time.CStr(), "%d:%2d:%2d%c", &hour, &minute, &second, &half)) << time.CStr();
    EXPECT_GE(hour, 1);
    EXPECT_LE(hour, 12);
    EXPECT_TRUE(half == 'a' || half == 'p');
    EXPECT_EQ(8, time.Length() - (hour >= 10 ? 1 : 0)) << "minutes and seconds take two digits";
    String both = DateTimeNowText();
    EXPECT_GT(both.FindChar(' '), 0) << both.CStr();
}

// -------------------------------------------------------------------------
// Integer stepper.

TEST(IntegerStepper, SpreadsTheTotalEvenly)
{
    struct Case {
        int32_t total, steps;
        std::vector<int32_t> expected;
    };
    const Case kCases[] = {
        {10, 4, {2, 3, 2, 3}},
        {-10, 4, {-2, -3, -2, -3}},
        {10, -4, {-2, -3, -2, -3}},     // negative steps negate both
        {-10, -4, {2, 3, 2, 3}},
        {3, 5, {0, 1, 0, 1, 1}},
        {8, 4, {2, 2, 2, 2}},
        {0, 3, {0, 0, 0}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c.total << " over " << c.steps);
        IntegerStepper stepper(c.total, c.steps);
        std::vector<int32_t> got;
        for (size_t i = 0; i < c.expected.size(); i++)
            got.push_back(stepper.Next());
        EXPECT_EQ(c.expected, got);
    }
}

TEST(IntegerStepper, AddsUpOverLongRuns)
{
    // A colour component falling over the height of a screen, and extremes.
    const int32_t kCases[][2] = {{255, 224}, {-200, 7}, {1, 1000}, {INT32_MAX, 3}, {INT32_MIN, 5}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::Message() << c[0] << " over " << c[1]);
        IntegerStepper stepper(c[0], c[1]);
        int64_t sum = 0;
        int32_t low = INT32_MAX, high = INT32_MIN;
        for (int32_t i = 0; i < c[1]; i++) {
            int32_t step = stepper.Next();
            sum += step;
            low = step < low ? step : low;
            high = step > high ? step : high;
        }
        EXPECT_EQ(c[0], sum);
        EXPECT_LE(high - low, 1);
    }
}

#ifndef _WIN32
TEST(IntegerStepperDeathTest, ZeroStepsStop)
{
    EXPECT_EXIT(IntegerStepper(10, 0), ::testing::ExitedWithCode(1),
                ::testing::Matcher<const std::string&>(std::string("Core32 7561\n")));
}
#endif

// -------------------------------------------------------------------------
// Win32 conversions.

#ifdef _WIN32
TEST(DateTime, FileTimeRoundTrip)
{
    const DateTime kTimes[] = {
        {2001, 3, 7, 13, 5, 9},
        {1980, 1, 1, 0, 0, 0},
        {2038, 1, 19, 3, 14, 8},
        {2000, 2, 29, 23, 59, 59},
    };
    for (const DateTime& t : kTimes) {
        SCOPED_TRACE(t.year);
        FILETIME file = {};
        ASSERT_TRUE(t.ToFileTime(&file));
        DateTime back;
        ASSERT_TRUE(back.SetFromFileTime(file, false));
        EXPECT_EQ(0, memcmp(&t, &back, sizeof t));
    }
}

TEST(DateTime, FileTimeConversions)
{
    const DateTime millennium = {2000, 1, 1, 0, 0, 0};
    FILETIME file = {};
    ASSERT_TRUE(millennium.ToFileTime(&file));
    EXPECT_EQ(125911584000000000ULL, ((uint64_t)file.dwHighDateTime << 32) | file.dwLowDateTime);

    const DateTime badMonth = {2000, 13, 1, 0, 0, 0};
    EXPECT_FALSE(badMonth.ToFileTime(&file));

    SYSTEMTIME system = {2001, 3, 3, 7, 13, 5, 9, 999};
    DateTime fromSystem;
    fromSystem.SetFromSystemTime(system);
    const DateTime expected = {2001, 3, 7, 13, 5, 9};
    EXPECT_EQ(0, fromSystem.Compare(expected)) << "milliseconds are dropped";

    // To local time: the same instant the system's own conversion gives.
    FILETIME local = {};
    ASSERT_TRUE(millennium.ToFileTime(&file));
    ASSERT_TRUE(FileTimeToLocalFileTime(&file, &local));
    DateTime viaLocal, expectedLocal;
    ASSERT_TRUE(viaLocal.SetFromFileTime(file, true));
    ASSERT_TRUE(expectedLocal.SetFromFileTime(local, false));
    EXPECT_EQ(0, viaLocal.Compare(expectedLocal));
}
#endif

} // namespace
