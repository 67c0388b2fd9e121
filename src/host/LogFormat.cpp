// The product log file's entry-line and header formats.
#include <cstdio>
#include <ctime>

#include "host/Log.h"

namespace host {

namespace {

struct tm localTime(time_t when) {
    struct tm parts {};
    localtime_r(&when, &parts);
    return parts;
}

std::string dateTime(time_t when) {
    struct tm t = localTime(when);
    char text[80];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

}  // namespace

std::string formatEntryLine(long pid, unsigned long tid, time_t when, const std::string& jobField,
                            const std::string& field6, const std::string& field7,
                            const std::string& tagField, const std::string& message) {
    struct tm t = localTime(when);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%05ld %05lu %02d/%02d %02d:%02d:%02d ", pid, tid,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string line(prefix);
    line.reserve(line.size() + jobField.size() + field6.size() + field7.size() + tagField.size() +
                 message.size() + 4);
    line += jobField;
    line += ' ';
    line += field6;
    line += ' ';
    line += field7;
    line += ' ';
    line += tagField;
    line += ' ';
    line += message;
    return line;
}

std::string formatLogFileHeader(const std::string& serviceName, const std::string& machine,
                                time_t started) {
    return formatLogFileHeader(serviceName, machine, started, "-", "-");
}

std::string formatLogFileHeader(const std::string& serviceName, const std::string& machine,
                                time_t started, const std::string& hubmaster,
                                const std::string& ipAddrs) {
    const std::string rule = "* " + std::string(62, '=') + "\n";
    const std::string date = dateTime(started);
    std::string header;
    header += rule;                                    // 1
    header += "* Service    : " + serviceName + "\n";  // 2
    header += "* Hubmaster  : " + hubmaster + "\n";    // 3
    header += "* Machine    : " + machine + "\n";      // 4
    header += "* IP Addrs   : " + ipAddrs + "\n";      // 5
    // Readers take the year from line 6 or line 7, so both carry it.
    header += "* Date       : " + date + " Log started\n";       // 6
    header += "* Date       : " + date + " Log file created\n";  // 7
    header += "* MACHINE name : " + machine + "\n";              // 8
    header += rule;                                              // 9
    return header;
}

}  // namespace host
