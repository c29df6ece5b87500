#include "core/format.h"

#include <stdlib.h>

#include "core/fatal.h"

namespace {

const char* const kMonthNames[] = {
    "January", "February", "March", "April", "May", "June", "July",
    "August", "September", "October", "November", "December",
};
const char* const kWeekdayNames[] = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
};
const int32_t kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

const char* const kUnitWords[] = {
    "Zero", "One", "Two", "Three", "Four", "Five", "Six", "Seven", "Eight", "Nine",
    "Ten", "Eleven", "Twelve", "Thirteen", "Fourteen", "Fifteen", "Sixteen",
    "Seventeen", "Eighteen", "Nineteen",
};
const char* const kTensWords[] = {
    "Twenty", "Thirty", "Forty", "Fifty", "Sixty", "Seventy", "Eighty", "Ninety",
};
const char* const kOrdinalUnitWords[] = {
    "First", "Second", "Third", "Fourth", "Fifth", "Sixth", "Seventh", "Eighth", "Ninth",
};
const char* const kOrdinalTensWords[] = {
    "Tenth", "Twentieth", "Thirtieth", "Fortieth", "Fiftieth", "Sixtieth",
    "Seventieth", "Eightieth", "Ninetieth",
};
// Fractions NumberToWords names, in eighths: 1/8 .. 7/8.
const char* const kEighthWords[] = {
    "One Eighth", "One Fourth", "Three Eighths", "One Half", "Five Eighths",
    "Three Fourths", "Seven Eighths",
};

struct Scale {
    double size;
    const char* word;
};
const Scale kScales[] = {
    {1000000.0, " Million"},
    {1000.0, " Thousand"},
    {100.0, " Hundred"},
};

// x without its fraction (toward zero); |x| must stay below 2^63.
double Truncated(double x)
{
    return (double)(int64_t)x;
}

// Year modulo 100 in words, "Oh " before single digits ("Oh Five").
String YearWords(int32_t year)
{
    int32_t v = year % 100;
    String words = NumberToWords(v, WordsWhole);
    return v < 10 ? "Oh " + words : words;
}

// The first three letters of a month or weekday name; "" stays "".
String ShortName(const char* name)
{
    return String(name).Mid(0, 3);
}

// Appends the text of the date letter at *mask and advances mask past it;
// false (nothing consumed) when it is no date letter.
bool AppendDateLetter(String& out, const CalendarDate& date, const char*& mask)
{
    char letter = mask[0];
    bool doubled = mask[1] == letter;
    switch (letter) {
    case 'd':
        out.AppendFormat(doubled ? "%02d" : "%d", date.day);
        break;
    case 'D':
        out += doubled ? OrdinalWords(date.day) : OrdinalSuffix(date.day);
        break;
    case 'm':
        out.AppendFormat(doubled ? "%02d" : "%d", date.month);
        break;
    case 'M':
        out += doubled ? String(MonthName(date.month)) : ShortName(MonthName(date.month));
        break;
    case 'w':
        out.AppendFormat(doubled ? "%02d" : "%d", date.weekday);
        break;
    case 'W':
        out += doubled ? String(WeekdayName(date.weekday)) : ShortName(WeekdayName(date.weekday));
        break;
    case 'y':
        if (doubled)
            out.AppendFormat("%04d", date.year);
        else
            out.AppendFormat("%02d", date.year % 100);
        break;
    case 'Y':
        if (doubled) {
            out += NumberToWords(date.year / 100, WordsWhole);
            out += ' ';
        }
        out += YearWords(date.year);
        break;
    default:
        return false;
    }
    mask += doubled ? 2 : 1;
    return true;
}

// The same for the time letters; ap and AP must come as a pair.
bool AppendTimeLetter(String& out, const CalendarDateTime& time, const char*& mask)
{
    char letter = mask[0];
    bool doubled = mask[1] == letter;
    int32_t value;
    switch (letter) {
    case 'h':
        value = Hour12(time.hour);
        break;
    case 'H':
        value = time.hour;
        break;
    case 'i':
        value = time.minute;
        break;
    case 's':
        value = time.second;
        break;
    case 'a':
    case 'A':
        if (mask[1] != (letter == 'a' ? 'p' : 'P'))
            return false;
        if (letter == 'a')
            out += IsAm(time.hour) ? 'a' : 'p';
        else
            out += IsAm(time.hour) ? "a.m." : "p.m.";
        mask += 2;
        return true;
    default:
        return false;
    }
    out.AppendFormat(doubled ? "%02d" : "%d", value);
    mask += doubled ? 2 : 1;
    return true;
}

String FormatWithMask(const CalendarDate& date, const CalendarDateTime* time, const char* mask)
{
    String out;
    while (*mask != 0) {
        if (AppendDateLetter(out, date, mask))
            continue;
        if (time != 0 && AppendTimeLetter(out, *time, mask))
            continue;
        out += *mask++;
    }
    return out;
}

} // namespace

const char DefaultDateMask[] = "m/d/y";
const char DefaultDateTimeMask[] = "m/d/y h:ii:ssap";
const char DefaultTimeMask[] = "h:ii:ssap";

int32_t DateTime::Compare(const DateTime& other) const
{
    const int32_t mine[] = {year, month, day, hour, minute};
    const int32_t theirs[] = {other.year, other.month, other.day, other.hour, other.minute};
    for (int i = 0; i < 5; i++) {
        if (mine[i] != theirs[i])
            return mine[i] < theirs[i] ? -1 : 1;
    }
    return second - other.second;
}

const char* MonthName(int32_t month)
{
    return month >= 1 && month <= 12 ? kMonthNames[month - 1] : "";
}

const char* WeekdayName(int32_t weekday)
{
    return weekday >= 1 && weekday <= 7 ? kWeekdayNames[weekday - 1] : "";
}

bool IsLeapYear(int32_t year)
{
    if (year < 1582)
        return year % 4 == 0;
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int32_t DaysInMonth(int32_t month, int32_t year)
{
    if (month < 1 || month > 12)
        return 0;
    if (month == 2 && IsLeapYear(year))
        return 29;
    return kDaysInMonth[month - 1];
}

int32_t Hour12(int32_t hour)
{
    if (hour == 0)
        return 12;
    return hour <= 12 ? hour : hour - 12;
}

bool IsAm(int32_t hour)
{
    return hour < 12;
}

// The astronomers' day count: months from March, so February's length
// does not matter, and the Gregorian correction from 15 October 1582. The
// products are taken in double precision and truncated, as the constants
// 30.6001 and 365.25 are meant to be used.
void CalendarDate::Set(int32_t newMonth, int32_t newDay, int32_t newYear)
{
    month = newMonth;
    day = newDay;
    year = newYear;
    if (month <= 0)
        return;
    // y stays inside int32: +1 only for negative years, -1 only after that
    // or for years >= 0. The reform test is taken in double, where y * 10000
    // cannot overflow.
    int32_t y = year < 0 ? year + 1 : year;
    int32_t m = month;
    if (m < 3) {
        y -= 1;
        m += 12;
    }
    int32_t b = 0;
    if ((double)m * 100 + day + (double)y * 10000 >= 15821015.0) {
        int32_t a = y / 100;
        b = 2 - a + a / 4;
    }
    double number = Truncated((double)(m + 1) * 30.6001) + day + Truncated((double)y * 365.25)
                  + b + 1720994.0;
    // Years far outside any calendar would not fit; they get no day number.
    dayNumber = number > -2147483647.0 && number < 2147483647.0 ? (int32_t)number : 0;
    weekday = dayNumber != 0 ? (dayNumber + 2) % 7 + 1 : 0;
}

void CalendarDate::Today()
{
    DateTime now = LocalDateTimeNow();
    Set(now.month, now.day, now.year);
}

bool CalendarDate::IsInvalid() const
{
    return month < 1 || month > 12 || weekday < 1 || weekday > 7 || day < 1
        || day > DaysInMonth(month, year);
}

String CalendarDate::Format(const char* mask) const
{
    if (mask == 0 || *mask == 0)
        mask = DefaultDateMask;
    return FormatWithMask(*this, 0, mask);
}

bool CalendarDateTime::IsTimeInvalid() const
{
    return hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59;
}

String CalendarDateTime::Format(const char* mask) const
{
    if (mask == 0 || *mask == 0)
        mask = DefaultDateTimeMask;
    return FormatWithMask(*this, this, mask);
}

String DateNowText()
{
    DateTime now = LocalDateTimeNow();
    return String::Formatted("%d/%d/%d", now.month, now.day, now.year);
}

String TimeNowText()
{
    DateTime now = LocalDateTimeNow();
    return String::Formatted("%d:%02d:%02d%c", Hour12(now.hour), now.minute, now.second,
                             IsAm(now.hour) ? 'a' : 'p');
}

String DateTimeNowText()
{
    return DateNowText() + " " + TimeNowText();
}

String FormatByteSize(int64_t n)
{
    if (n < 1024)
        return String::Formatted("%d bytes", (int)n);
    if (n < 1048576)
        return String::Formatted("%.2f KB", (double)n / 1024.0);
    if (n < 1073741824)
        return String::Formatted("%.2f MB", (double)n / 1048576.0);
    if ((n >> 32) < 256)
        return String::Formatted("%.2f GB", (double)n / 1073741824.0);
    return String::Formatted("%.2f TB", (double)n / 1099511627776.0);
}

int32_t RandomBelow(int32_t n)
{
    return n < 2 ? 0 : rand() % n;
}

int64_t RoundUpToMultiple(int64_t v, int32_t m)
{
    if (m < 2)
        return v;
    uint64_t magnitude = v < 0 ? 0 - (uint64_t)v : (uint64_t)v;
    int64_t rest = DivideInPlace(magnitude, (uint32_t)m);
    if (rest == 0)
        return v;
    if (v < 0)
        rest = -rest;
    return v > 0 ? v + (m - rest) : v - rest;  // a negative rest rounds toward zero
}

uint32_t DivideInPlace(uint64_t& value, uint32_t divisor)
{
    uint64_t quotient = 0;
    uint64_t rest = 0;
    for (int bit = 63; bit >= 0; bit--) {
        rest = (rest << 1) | ((value >> bit) & 1);
        quotient <<= 1;
        if (rest >= divisor) {
            rest -= divisor;
            quotient |= 1;
        }
    }
    value = quotient;
    return (uint32_t)rest;
}

String OrdinalSuffix(int32_t n)
{
    // The suffix depends on the magnitude, so -1 reads -1st like 1st.
    uint32_t magnitude = n < 0 ? 0u - (uint32_t)n : (uint32_t)n;
    uint32_t lastTwo = magnitude % 100;
    const char* suffix = "th";
    if (lastTwo < 4 || lastTwo > 20) {
        switch (magnitude % 10) {
        case 1: suffix = "st"; break;
        case 2: suffix = "nd"; break;
        case 3: suffix = "rd"; break;
        }
    }
    return String::Formatted("%d%s", n, suffix);
}

String OrdinalWords(int32_t n)
{
    String out;
    if (n < 0)
        out += "Negative ";
    uint32_t v = n < 0 ? 0u - (uint32_t)n : (uint32_t)n;  // INT32_MIN too
    uint32_t lastTwo = v % 100;
    uint32_t lastDigit = v % 10;
    if (lastTwo == 0 || (lastTwo >= 10 && lastTwo <= 19)) {
        if (lastTwo == 12) {
            if (v > 12) {
                out += NumberToWords(v - 12, WordsWhole);
                out += ' ';
            }
            out += "Twelfth";
        } else {
            out += NumberToWords(v, WordsWhole);
            out += "th";
        }
    } else if (lastDigit == 0) {
        uint32_t hundreds = v / 100 * 100;
        if (hundreds != 0) {
            out += NumberToWords(hundreds, WordsWhole);
            out += ' ';
        }
        out += kOrdinalTensWords[lastTwo / 10 - 1];
    } else {
        if (v > lastDigit) {
            out += NumberToWords(v - lastDigit, WordsWhole);
            out += ' ';
        }
        out += kOrdinalUnitWords[lastDigit - 1];
    }
    return out;
}

String NumberToWords(double x, int mode)
{
    String out;
    // Not finite, or beyond the whole numbers a double holds exactly: no
    // words (this also keeps the recursion below finite).
    if (mode < WordsPoint || mode > WordsFraction || !(x > -1e15 && x < 1e15))
        return out;
    if (x < 0) {
        out += "Negative ";
        x = -x;
    }
    bool wholeDone = false;
    for (const Scale& scale : kScales) {
        if (x >= scale.size) {
            double times = Truncated(Truncated(x) / scale.size);
            out += NumberToWords(times, WordsWhole);
            out += scale.word;
            x -= times * scale.size;
            if (Truncated(x) == 0) {
                wholeDone = true;
                break;
            }
            out += ' ';
        }
    }
    if (!wholeDone && x >= 20) {
        int tens = (int)(Truncated(x) - 20) / 10;
        out += kTensWords[tens];
        x -= (tens + 2) * 10;
        if (Truncated(x) == 0)
            wholeDone = true;
        else
            out += ' ';
    }
    if (!wholeDone)
        out += kUnitWords[(int)Truncated(x)];

    double fraction = x - Truncated(x);
    if (mode == WordsWhole)
        return out;
    if (fraction == 0) {
        if (mode == WordsCheque)
            out += " and No/100";
        return out;
    }
    if (mode == WordsPoint) {
        out += " Point";
        String digits = String::Formatted("%.3f", fraction);
        int point = digits.FindChar('.');
        // Each digit in words, until only zeros are left.
        int end = digits.Length();
        while (end > point + 1 && digits.CharAt(end - 1) == '0')
            end--;
        for (int i = point + 1; i < end; i++) {
            out += ' ';
            out += kUnitWords[digits.CharAt(i) - '0'];
        }
    } else if (mode == WordsCheque) {
        out.AppendFormat(" and %.0f/100", fraction * 100);
    } else {
        out += " and ";
        double eighths = fraction * 8;
        if (eighths == Truncated(eighths))
            out += kEighthWords[(int)eighths - 1];
        else
            out.AppendFormat("%.0f/1000", fraction * 1000);
    }
    return out;
}

IntegerStepper::IntegerStepper(int32_t total, int32_t steps)
{
    if (steps == 0)
        AssertionStop("Core32", 7561);
    if (steps < 0) {    // negated without overflow, INT32_MIN stays itself
        total = (int32_t)(0u - (uint32_t)total);
        steps = (int32_t)(0u - (uint32_t)steps);
    }
    negative = total < 0;
    quotient = total / steps;
    remainder = total % steps;
    if (remainder < 0)
        remainder = -remainder;
    accumulator = 0;
    this->steps = steps;
}

int32_t IntegerStepper::Next()
{
    int64_t gathered = (int64_t)accumulator + remainder;   // may pass INT32_MAX
    if (gathered >= steps) {
        accumulator = (int32_t)(gathered - steps);
        return negative ? quotient - 1 : quotient + 1;
    }
    accumulator = (int32_t)gathered;
    return quotient;
}
