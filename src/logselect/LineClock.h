// Reconstruction of an entry line's time from its month, day and time fields and a year.
// mktime is costly, so the result for one minute is cached and the seconds are added.
#pragma once

#include <ctime>

namespace logselect {

class LineClock {
  public:
    // Seconds since the epoch of the local time year/month/day hour:minute:second. Values
    // out of range are normalised as mktime does. The daylight-saving flag is left to mktime
    // (-1), so lines written in summer and read in winter keep their true time.
    time_t at(int year, int month, int day, int hour, int minute, int second) {
        if (!valid_ || year != year_ || month != month_ || day != day_ || hour != hour_ ||
            minute != minute_) {
            struct tm parts = {};
            parts.tm_year = year - 1900;
            parts.tm_mon = month - 1;
            parts.tm_mday = day;
            parts.tm_hour = hour;
            parts.tm_min = minute;
            parts.tm_sec = 0;
            parts.tm_isdst = -1;
            minuteStart_ = mktime(&parts);
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
