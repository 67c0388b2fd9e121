// Reconstruction of an entry line's time from its month, day and time fields and a year.
// mktime is costly, so the result for one minute is cached and the seconds are added.
#pragma once

#include <ctime>

#include "common/LocalTime.h"

namespace logselect {

class LineClock {
  public:
    // Seconds since the epoch of the local time year/month/day hour:minute:second. Values
    // out of range are normalised as mktime does. Daylight-saving time is decided by the
    // line's own date, so lines written in summer and read in winter keep their true time;
    // the repeated hour of its end is read as its first occurrence, as for a request.
    time_t at(int year, int month, int day, int hour, int minute, int second) {
        if (!valid_ || year != year_ || month != month_ || day != day_ || hour != hour_ ||
            minute != minute_) {
            minuteStart_ = common::localTimeToEpoch(year, month, day, hour, minute, 0);
            year_ = year;
            month_ = month;
            day_ = day;
            hour_ = hour;
            minute_ = minute;
            valid_ = true;
        }
        return minuteStart_ + second;
    }

    static int currentYear() {
        time_t now = time(nullptr);
        struct tm parts;
        localtime_r(&now, &parts);
        return parts.tm_year + 1900;
    }

  private:
    bool valid_ = false;
    int year_ = 0, month_ = 0, day_ = 0, hour_ = 0, minute_ = 0;
    time_t minuteStart_ = 0;
};

}  // namespace logselect
