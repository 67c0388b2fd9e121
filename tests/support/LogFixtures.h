// Small builders for hand-made product logs and a dump file to extract into.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

#include "support/TestEnv.h"

namespace lstest {

// A nine-line header block whose lines 6 and 7 carry the year.
inline std::string header(int year) {
    std::string date = "* Date       : " + std::to_string(year) + "/01/01 00:00:00";
    return "* ====\n* Service    : test\n* Hubmaster  : -\n* Machine    : m\n* IP Addrs   : -\n" +
           date + " Log started\n" + date + " Log file created\n* MACHINE name : m\n* ====\n";
}

// One entry line: pid tid date time job 1 Main tag message, with its newline.
inline std::string entry(const std::string& pid, const std::string& tid, const std::string& date,
                         const std::string& time, const std::string& job,
                         const std::string& tag = "[A:0]", const std::string& message = "text") {
    return pid + " " + tid + " " + date + " " + time + " " + job + " 1 Main " + tag + " " +
           message + "\n";
}

inline time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm parts = {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

// The code of its lifetime runs in another time zone (TZ set, tzset called).
class ScopedZone {
  public:
    explicit ScopedZone(const std::string& zone) : env_("TZ", zone) { tzset(); }

  private:
    struct Reread {
        ~Reread() { tzset(); }  // once env_, destroyed first, has restored TZ
    } reread_;
    testenv::ScopedEnv env_;
};

inline int thisYear() {
    time_t now = time(nullptr);
    struct tm parts;
    localtime_r(&now, &parts);
    return parts.tm_year + 1900;
}

// A dump file in its own temporary folder.
class Dump {
  public:
    Dump() : path_(dir_.file("dump.log")), file_(fopen(path_.c_str(), "w+")) {}
    ~Dump() {
        if (file_) fclose(file_);
    }
    FILE* file() { return file_; }
    std::string text() {
        fflush(file_);
        return testenv::readFile(path_);
    }

  private:
    testenv::TempDir dir_{"ls-dump"};
    std::string path_;
    FILE* file_;
};

inline std::string banner(const std::string& machine, const std::string& file) {
    const std::string rule(60, '@');
    return "\n\n\n" + rule + "\nMachine : " + machine + "\nFile    : " + file + "\n" + rule +
           "\n\n";
}

inline size_t count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) ++n;
    return n;
}

}  // namespace lstest
