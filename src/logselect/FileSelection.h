// Rotated copies of a log, their ordering by age, and the user-profile logs step.
#pragma once

#include <ctime>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "common/FileSets.h"
#include "host/Export.h"
#include "scrub/ScrubRule.h"

bool getOldLogs(const std::string& directory, std::vector<std::string>& result);
int checkOlderLogs(std::string& fileName, std::vector<std::string> names);
bool compareFileMTime(const std::string& a, const std::string& b);
// User profile logs are not collected on this platform: logs why, leaves result unchanged.
void collectUserSpecificLogs(const char* destDir, std::vector<std::string>& result, bool scrub,
                             ScrubRuleList* scrubRules, ReplacementMap* replacements);
