// DateTime's conversions to and from the system's time records, and the
// local time of the system.
#include <windows.h>

#include "core/format.h"

void DateTime::SetFromSystemTime(const SYSTEMTIME& time)
{
    year = time.wYear;
    month = time.wMonth;
    day = time.wDay;
    hour = time.wHour;
    minute = time.wMinute;
    second = time.wSecond;
}

bool DateTime::SetFromFileTime(const FILETIME& time, bool toLocal)
{
    FILETIME source = time;
    if (toLocal && !FileTimeToLocalFileTime(&time, &source))
        return false;
    SYSTEMTIME system;
    if (!FileTimeToSystemTime(&source, &system))
        return false;
    SetFromSystemTime(system);
    return true;
}

bool DateTime::ToFileTime(FILETIME* time) const
{
    SYSTEMTIME system = {};
    system.wYear = (WORD)year;
    system.wMonth = (WORD)month;
    system.wDay = (WORD)day;
    system.wHour = (WORD)hour;
    system.wMinute = (WORD)minute;
    system.wSecond = (WORD)second;
    return SystemTimeToFileTime(&system, time) != 0;
}

DateTime LocalDateTimeNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    DateTime result;
    result.SetFromSystemTime(now);
    return result;
}
