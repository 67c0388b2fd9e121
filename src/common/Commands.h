// Shell command lines: the one logged runner of single commands, and the escaping of names
// that the shell should still expand as patterns.
#pragma once

#include <string>

#include "host/Export.h"

// Runs command through the shell (no output captured). True when it ran and exited with 0;
// otherwise logs under caller (null: this function's own signature) and returns false.
SL_API bool runCommand(const char* command, const char* caller);

namespace common {

// Escapes text for a shell command line while leaving the glob characters "*", "?", "[" and
// "]" active, so "Group*" still names every matching file: every other character that is not
// a letter, a digit or one of "_./-:,+@%=" gets a backslash. False, out untouched, when the
// text holds a control character (a backslash cannot make a line end inert).
bool escapeShellPattern(const std::string& text, std::string& out);

}  // namespace common
