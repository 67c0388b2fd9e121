// Local wall-clock times to seconds since the epoch, one way for requests and log lines alike.
#pragma once

#include <ctime>

namespace common {

// The instant of a local wall-clock time (fields out of range are normalised first, as
// mktime does). A time that occurs twice, in the hour repeated when daylight-saving time
// ends, is taken at its first occurrence (still daylight-saving time). A time that never
// occurs, in the hour skipped when it begins, is read with the offset in force before the
// change, so it lands as far after the change as it lies after the skipped hour's start;
// exists (when given) is then false. mktime alone answers an ambiguous time by whatever it
// answered last, which made a request and the lines it selects disagree.
time_t localTimeToEpoch(int year, int month, int day, int hour, int minute, int second,
                        bool* exists = nullptr);

}  // namespace common
