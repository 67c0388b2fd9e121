// Generated shell scripts and the tar operands they use. A script gets a name no other
// request can take, is written whole or not at all, and is removed by its owner.
#pragma once

#include <string>
#include <vector>

namespace diag {

// 'r' when the bundle already opens for reading and writing, else 'c' (tar creates it).
char tarCreateOrAppend(const std::string& bundle);
// Each path quoted for the shell and followed by one blank.
std::string quotedList(const std::vector<std::string>& paths);

// A script file created exclusively as "<dir>/<stem>XXXXXX.sh" (the X's random), so two
// requests never share one. Removed when the object goes away unless keep() was called.
class ScriptFile {
  public:
    ScriptFile() = default;
    ~ScriptFile();
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;

    // Creates the file and writes text into it; then closes it and sets mode 0755. False
    // (logged under tag, nothing left behind) when any of that failed: a script that was not
    // written whole must not run. createFailure is the message when the file cannot be
    // created; a "%s" in it receives the path.
    bool write(const std::string& dir, const std::string& stem, const std::string& text,
               const char* tag, const char* createFailure = "can't open an batch file.");
    const std::string& path() const { return path_; }
    // Runs the script through the shell and returns its status (-1: it did not run).
    int run() const;
    // Deletes the script now; false (logged under tag) when that failed.
    bool remove(const char* tag);
    void keep() { path_.clear(); }

  private:
    std::string path_;
};

}  // namespace diag
