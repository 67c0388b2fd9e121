// The configuration registry dump: the product's subtree and the ODBC subtree written as an
// indented text tree into one file that joins the collected files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host/Export.h"

// Writes "<directory>/OrvionRegistry.txt" ("<directory>/<id>_OrvionRegistry.txt" for a
// positive id) and appends its path to files. 0 on success, else the system error number
// (the file could not be created or written; nothing is appended then).
SL_API int getOrvionRegistryInfo(const char* directory, std::vector<std::string>& files, long id);

// Writes the values and sub-keys of keyPath at depth into out and walks down. flags holds
// 1024 continuation flags, one per depth. True when the subtree was written completely;
// false on a registry or write error and at the depth limit.
bool RecurseDumpReg(FILE* out, std::string keyPath, unsigned int depth, char* flags);
