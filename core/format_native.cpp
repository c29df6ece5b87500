// The local time of the host, for the native build of the formatting code.
#include <time.h>

#include "core/format.h"

DateTime LocalDateTimeNow()
{
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    DateTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    result.second = local.tm_sec;
    return result;
}
