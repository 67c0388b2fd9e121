// Absolute paths in tar command lines: the member is stored relative to "/" by changing to
// the root directory first and dropping the path's leading slash.
#pragma once

#include <string>

// " -C / " for a non-empty path that begins with "/", otherwise "".
const char* changeToRoot(const std::string& path);
// The path without its first character when that is "/" (one slash only).
std::string convertToRelativePath(std::string path);
