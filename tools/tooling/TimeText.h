// The time forms a person types for a request's window, read into seconds since the epoch:
//   1700000000                      seconds since the epoch
//   2024-01-31, 2024-01-31 13:45, 2024-01-31 13:45:10     local time
//   2024-01-31T13:45:10Z, 2024-01-31T13:45+01:00          ISO 8601 with its own zone
//   now, today, yesterday           (today and yesterday: their local midnight)
//   -2h, -30m, -90s, -3d, -1w, +1h  relative to now
// A local time that does not exist (30 February, an hour skipped by daylight-saving time) is
// refused rather than moved.
#pragma once

#include <ctime>
#include <string>

namespace tooling {

bool parseTimeText(const std::string& text, time_t now, time_t& out, std::string& error);

// What the forms are, for help texts and errors.
extern const char* const kTimeFormsHelp;

}  // namespace tooling
