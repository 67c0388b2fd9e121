// The filter of SAP archive-log folders among the additional folders: only recent files,
// never the database files themselves.
#pragma once

#include <ctime>
#include <string>
#include <vector>

// For a folder whose name holds "SAPBACKUP_" or "SAPARCH_": appends "<dir>/<file>" for each
// file directly in dir (no folders, no ".dbf", ".arc" or ".data" names, in either case) that
// was created within the configured number of days ("OracleSapAgent" /
// "nExcludeSAPLogsOlderThanNDays", default 7, above 30 means 7) when fromTime and toTime are
// both 0, else last written within the window widened by seven days on each side. 1 when the
// filter applied (even selecting nothing), 0 for another folder or one that cannot be listed.
int applySAPSpecificFilter(const std::string& name, const std::string& dir,
                           std::vector<std::string>& selected, long fromTime, long toTime);

namespace collector {
// The same as of the time now.
int applySapFilterAt(const std::string& name, const std::string& dir,
                     std::vector<std::string>& selected, long fromTime, long toTime, time_t now);
}  // namespace collector
