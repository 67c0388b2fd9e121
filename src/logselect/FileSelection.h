// Listing of log directories with the inclusion rules, and small file utilities.
#pragma once

#include <ctime>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "host/export.h"
#include "scrub/ScrubTypes.h"

SL_API bool getLogFilesList(const char* directory, std::vector<std::string>& result,
                            std::vector<std::string>* names, int mode, time_t fromTime,
                            time_t toTime, bool includeDumps, bool includeArchives,
                            std::set<std::string>* exclude);
SL_API bool getFilesList(std::vector<std::string>& result, const char* directory,
                         const char* pattern, bool fullPath, time_t fromTime, time_t toTime,
                         bool includeDumps, bool includeArchives, std::set<std::string>* exclude,
                         bool filesOnly);
SL_API bool canIncludeFile(const std::string& path, time_t fromTime, time_t toTime,
                           bool includeDumps, bool includeArchives, std::set<std::string>* exclude);
bool IsFolder(const std::string& path);
int updateFileRecord(const std::string& path);
bool getOldLogs(const std::string& directory, std::vector<std::string>& result);
int checkOlderLogs(std::string& fileName, std::vector<std::string> names);
bool compareFileMTime(const std::string& a, const std::string& b);
// User profile logs are not collected on this platform: logs why, leaves result unchanged.
void collectUserSpecificLogs(const char* destDir, std::vector<std::string>& result, bool scrub,
                             ScrubRuleList* scrubRules, ReplacementMap* replacements);
