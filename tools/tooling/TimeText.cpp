// Reading of the request window's time forms.
#include "tooling/TimeText.h"

#include <cctype>
#include <cstdlib>

#include "common/LocalTime.h"

namespace tooling {

const char* const kTimeFormsHelp =
    "epoch seconds, \"YYYY-MM-DD[ HH:MM[:SS]]\" (local time), ISO 8601 with a zone "
    "(\"2024-01-31T13:45:00Z\", \"...+01:00\"), \"now\", \"today\", \"yesterday\", or relative "
    "to now (\"-2h\", \"-30m\", \"-3d\", \"-1w\")";

namespace {

struct Fields {
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool zoned = false;
    long offset = 0;  // seconds east of UTC
};

// Reads exactly count digits at text[pos].
bool digits(const std::string& text, size_t& pos, int count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool expect(const std::string& text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

bool readZone(const std::string& text, size_t& pos, Fields& f) {
    if (expect(text, pos, 'Z') || expect(text, pos, 'z')) {
        f.zoned = true;
        return true;
    }
    if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return true;
    const int sign = text[pos++] == '-' ? -1 : 1;
    int hours = 0, minutes = 0;
    if (!digits(text, pos, 2, hours)) return false;
    expect(text, pos, ':');
    if (!digits(text, pos, 2, minutes) || hours > 23 || minutes > 59) return false;
    f.zoned = true;
    f.offset = sign * (hours * 3600L + minutes * 60L);
    return true;
}

bool readDate(const std::string& text, Fields& f) {
    size_t pos = 0;
    if (!digits(text, pos, 4, f.year) || !expect(text, pos, '-') ||
        !digits(text, pos, 2, f.month) || !expect(text, pos, '-') || !digits(text, pos, 2, f.day))
        return false;
    if (pos == text.size()) return true;
    const bool iso = text[pos] == 'T' || text[pos] == 't';
    if (!iso && text[pos] != ' ') return false;
    ++pos;
    if (!digits(text, pos, 2, f.hour) || !expect(text, pos, ':') || !digits(text, pos, 2, f.minute))
        return false;
    if (expect(text, pos, ':') && !digits(text, pos, 2, f.second)) return false;
    if (iso && pos < text.size() && text[pos] == '.') {  // fractions of a second are ignored
        ++pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    }
    if (iso && !readZone(text, pos, f)) return false;
    return pos == text.size();
}

// The instant of the fields; false when they name no real time.
bool toEpoch(const Fields& f, time_t& out) {
    struct tm asked {};
    asked.tm_year = f.year - 1900;
    asked.tm_mon = f.month - 1;
    asked.tm_mday = f.day;
    asked.tm_hour = f.hour;
    asked.tm_min = f.minute;
    asked.tm_sec = f.second;
    struct tm back {};
    time_t seconds;
    if (f.zoned) {
        struct tm copy = asked;
        seconds = ::timegm(&copy);
        if (::gmtime_r(&seconds, &back) == nullptr) return false;
        seconds -= f.offset;
    } else {
        // The repeated hour at the end of daylight-saving time is read as log lines read it.
        seconds = common::localTimeToEpoch(f.year, f.month, f.day, f.hour, f.minute, f.second);
        if (seconds == static_cast<time_t>(-1) || ::localtime_r(&seconds, &back) == nullptr)
            return false;
    }
    // A day or hour that does not exist was moved to one that does: that was a mistake.
    if (back.tm_year != asked.tm_year || back.tm_mon != asked.tm_mon ||
        back.tm_mday != asked.tm_mday || back.tm_hour != asked.tm_hour ||
        back.tm_min != asked.tm_min || back.tm_sec != asked.tm_sec)
        return false;
    out = seconds;
    return true;
}

time_t localMidnight(time_t now, int daysBack) {
    struct tm t {};
    ::localtime_r(&now, &t);
    return common::localTimeToEpoch(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday - daysBack, 0, 0, 0);
}

bool readRelative(const std::string& text, time_t now, time_t& out) {
    if (text.size() < 3 || (text[0] != '-' && text[0] != '+')) return false;
    const std::string number = text.substr(1, text.size() - 2);
    if (number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long long unit;
    switch (text.back()) {
        case 's':
            unit = 1;
            break;
        case 'm':
            unit = 60;
            break;
        case 'h':
            unit = 3600;
            break;
        case 'd':
            unit = 86400;
            break;
        case 'w':
            unit = 7 * 86400;
            break;
        default:
            return false;
    }
    const long long delta = std::atoll(number.c_str()) * unit;
    out = now + static_cast<time_t>(text[0] == '-' ? -delta : delta);
    return true;
}

}  // namespace

bool parseTimeText(const std::string& text, time_t now, time_t& out, std::string& error) {
    if (!text.empty() && text.size() <= 18 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        out = static_cast<time_t>(std::strtoll(text.c_str(), nullptr, 10));
        return true;
    }
    if (text == "now") {
        out = now;
        return true;
    }
    if (text == "today" || text == "yesterday") {
        out = localMidnight(now, text == "today" ? 0 : 1);
        return true;
    }
    if (readRelative(text, now, out)) return true;
    Fields fields;
    if (!readDate(text, fields)) {
        error = "invalid time \"" + text + "\": give " + kTimeFormsHelp;
        return false;
    }
    if (!toEpoch(fields, out)) {
        error = "time \"" + text + "\" does not exist" + (fields.zoned ? "" : " in local time");
        return false;
    }
    return true;
}

}  // namespace tooling
