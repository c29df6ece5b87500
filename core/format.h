#pragma once
// Numbers and dates as text: byte sizes for the user, ordinals, numbers in
// English words, calendar dates with day numbers and format masks, the
// current date and time, and a few small integer helpers. Plain and
// grouped integers and doubles are String::FromInt, FromInt64Grouped and
// FromDouble. Portable: the file-time conversions of DateTime exist only in
// the Win32 build (core/format_win32.cpp).

#include <stdint.h>

#include "core/string.h"

struct _SYSTEMTIME;
struct _FILETIME;

// The date and time of a file and of the archive, in local time. Its 24
// bytes are stored as they are in the archive and in file records.
struct DateTime {
    int32_t year = 0;       // full year, e.g. 2001
    int32_t month = 0;      // 1..12; 0 means no time is set
    int32_t day = 0;        // 1..31
    int32_t hour = 0;       // 0..23
    int32_t minute = 0;     // 0..59
    int32_t second = 0;     // 0..59

    // -1 or 1 at the first of year, month, day, hour, minute that differs;
    // otherwise this second minus the other's (so 0 when equal).
    int32_t Compare(const DateTime& other) const;
    bool operator==(const DateTime&) const = default;

#ifdef _WIN32
    // Milliseconds and the day of the week are dropped.
    void SetFromSystemTime(const _SYSTEMTIME& time);
    // From a file time as it is (UTC), or converted to local time first when
    // toLocal. False when a conversion fails; the record is then unchanged.
    bool SetFromFileTime(const _FILETIME& time, bool toLocal);
    // Through a system time with milliseconds 0 and no day of the week.
    // False when the fields are no valid time.
    bool ToFileTime(_FILETIME* time) const;
#endif
};
static_assert(sizeof(DateTime) == 24, "DateTime is stored as 24 bytes");

// The local date and time of the system now.
DateTime LocalDateTimeNow();

// Calendar helpers. Names are empty texts outside 1..12 / 1..7 (1 = Sunday).
const char* MonthName(int32_t month);
const char* WeekdayName(int32_t weekday);
// Before 1582 every fourth year; from then on the Gregorian rule.
bool IsLeapYear(int32_t year);
// 0 for a month outside 1..12.
int32_t DaysInMonth(int32_t month, int32_t year);
// 0 -> 12, 1..12 as they are, 13..23 -> 1..11.
int32_t Hour12(int32_t hour);
bool IsAm(int32_t hour);

// Masks used when Format gets none: "m/d/y", "m/d/y h:ii:ssap", "h:ii:ssap".
extern const char DefaultDateMask[];
extern const char DefaultDateTimeMask[];
extern const char DefaultTimeMask[];

// A calendar date with its Julian day number and weekday.
struct CalendarDate {
    int32_t dayNumber = 0;  // Julian day count; 0 when unset
    int32_t month = 0;      // 1..12
    int32_t day = 0;        // 1..31
    int32_t year = 0;       // full year; negative years lie before year 1
    int32_t weekday = 0;    // 1 = Sunday .. 7 = Saturday; 0 when unset

    // Stores the fields and computes day number and weekday (the Julian
    // calendar before 15 October 1582). A month <= 0 leaves day number and
    // weekday as they were.
    void Set(int32_t month, int32_t day, int32_t year);
    // Set from the local date of the system.
    void Today();
    // True when month, weekday or day is out of range for this date (29
    // February counts only in leap years).
    bool IsInvalid() const;
    // The mask read left to right; a letter or a doubled letter is replaced,
    // anything else copied:
    //   d dd   day "%d" / "%02d"           D DD  3rd / Third
    //   m mm   month "%d" / "%02d"         M MM  Mar / March
    //   w ww   weekday "%d" / "%02d"       W WW  Wed / Wednesday
    //   y yy   year % 100 "%02d" / "%04d"  Y YY  Oh One / Twenty Oh One
    // A null or empty mask is DefaultDateMask.
    String Format(const char* mask) const;
};

// A calendar date with a time of day.
struct CalendarDateTime : CalendarDate {
    int32_t hour = 0;       // 0..23
    int32_t minute = 0;     // 0..59
    int32_t second = 0;     // 0..59

    // Hour outside 0..23, or minute or second outside 0..59.
    bool IsTimeInvalid() const;
    // The date letters of CalendarDate::Format and:
    //   h hh   hour 1..12 "%d" / "%02d"    H HH  hour 0..23 "%d" / "%02d"
    //   i ii   minute "%d" / "%02d"        s ss  second "%d" / "%02d"
    //   ap     a or p                      AP    a.m. or p.m.
    // A null or empty mask is DefaultDateTimeMask.
    String Format(const char* mask) const;
};

// "m/d/yyyy", "h:mm:ssa" (12-hour clock, a or p) and both with a blank,
// all in local time.
String DateNowText();
String TimeNowText();
String DateTimeNowText();

// "512 bytes", "1.50 KB", "12.50 MB", "1.00 GB", "1.00 TB" (two decimals
// from KB on). Negative values are shown as bytes.
String FormatByteSize(int64_t n);

// A pseudo-random value in 0..n-1; 0 when n < 2.
int32_t RandomBelow(int32_t n);
// v rounded up to a multiple of m; v itself when m < 2.
int64_t RoundUpToMultiple(int64_t v, int32_t m);
// Divides value by divisor (not 0) in place and returns the remainder. It
// works bit by bit: a 64-bit division in 32-bit code would link the
// compiler's helper routines, with tables of their own, into the stub.
uint32_t DivideInPlace(uint64_t& value, uint32_t divisor);

// "1st", "2nd", "3rd", "4th", "11th", "12th", "13th", "21st", "111th".
String OrdinalSuffix(int32_t n);
// "First", "Twelfth", "Twenty First", "One Hundred Thirteenth".
String OrdinalWords(int32_t n);

// How NumberToWords writes the part after the point.
enum NumberWordsMode {
    WordsPoint = -1,        // One Point Two Five
    WordsWhole = 0,         // whole part only
    WordsCheque = 1,        // Twelve and 50/100, Three and No/100
    WordsFraction = 2,      // Two and Three Fourths, One and 333/1000
};
// x in English words ("One Thousand Nine Hundred Ninety Nine"). Another
// mode, or an x that is not finite, gives an empty text.
String NumberToWords(double x, int mode);

// Spreads total over `steps` calls of Next: the results differ by at most
// one and add up to total. Zero steps is a programming error and stops the
// program; negative steps negate both numbers.
class IntegerStepper {
public:
    IntegerStepper(int32_t total, int32_t steps);
    int32_t Next();

private:
    bool negative;          // the total is below zero: steps go down
    int32_t quotient;       // total / steps
    int32_t remainder;      // |total % steps|, spread one at a time
    int32_t accumulator;    // remainders gathered, below steps
    int32_t steps;          // positive
};
