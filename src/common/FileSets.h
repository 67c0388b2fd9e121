// Listing of log directories with the inclusion rules of log collection: which files of a
// folder are collected, by name, age, kind and readability.
#pragma once

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "host/Export.h"

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
