#include "common/LocalTime.h"

namespace common {
namespace {

bool sameWallClock(time_t t, const struct tm& wall) {
    struct tm back;
    return t != static_cast<time_t>(-1) && localtime_r(&t, &back) != nullptr &&
           back.tm_year == wall.tm_year && back.tm_mon == wall.tm_mon &&
           back.tm_mday == wall.tm_mday && back.tm_hour == wall.tm_hour &&
           back.tm_min == wall.tm_min && back.tm_sec == wall.tm_sec;
}

}  // namespace

time_t localTimeToEpoch(int year, int month, int day, int hour, int minute, int second,
                        bool* exists) {
    struct tm wall = {};
    wall.tm_year = year - 1900;
    wall.tm_mon = month - 1;
    wall.tm_mday = day;
    wall.tm_hour = hour;
    wall.tm_min = minute;
    wall.tm_sec = second;
    // Normalise the fields without any time zone, so they can be compared afterwards.
    timegm(&wall);

    struct tm standard = wall;
    standard.tm_isdst = 0;
    const time_t asStandard = mktime(&standard);
    struct tm summer = wall;
    summer.tm_isdst = 1;
    const time_t asSummer = mktime(&summer);

    const bool standardFits = sameWallClock(asStandard, wall);
    const bool summerFits = sameWallClock(asSummer, wall);
    if (exists) *exists = standardFits || summerFits;
    if (standardFits && summerFits) return asStandard < asSummer ? asStandard : asSummer;
    if (standardFits) return asStandard;
    if (summerFits) return asSummer;
    // Skipped: the earlier offset is the smaller one, which gives the later instant.
    return asStandard > asSummer ? asStandard : asSummer;
}

}  // namespace common
