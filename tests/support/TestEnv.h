// Shared test helpers: temporary folders, environment overrides, files and registry trees.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Log.h"
#include "host/Registry.h"

namespace testenv {

// A test whose library log goes nowhere: random inputs make log lines of no interest.
class QuietLogTest : public ::testing::Test {
  protected:
    void SetUp() override { host::setLogFilePath(""); }
    void TearDown() override { host::resetLogSettings(); }
};

// A fresh folder (mkdtemp under $TMPDIR or /tmp), removed with its tree (links not followed).
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "sendlogs-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path()/name (name may hold "/"; nothing is created).
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Creates path()/name and its parents.
    std::string mkdir(const std::string& name) const;

  private:
    std::string path_;
};

// Removes a tree without following symbolic links. True when the path is gone afterwards.
bool removeTree(const std::string& path);

// Sets (or removes) an environment variable for the object's lifetime.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const std::string& value);
    explicit ScopedEnv(const std::string& name);  // unsets it
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Writes (creating parent folders) or reads a whole file; throws std::runtime_error on failure.
void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Splits text into lines (without their "\n"); a final line without "\n" counts too.
std::vector<std::string> splitLines(const std::string& text);
// Names of the entries of folder in name order; none when it cannot be listed.
std::vector<std::string> folderEntries(const std::string& folder);
int countOpenFds();
bool haveProgram(const std::string& name);  // on $PATH
// A shell command's exit status (-1 when it could not run), or its standard output.
int runShell(const std::string& command);
std::string output(const std::string& command);
inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
// The error lines of a library log ("" when there is none).
inline std::string errorLines(const std::string& log) {
    std::string errors;
    for (const std::string& line : splitLines(log))
        if (contains(line, " ERROR ")) errors += line + "\n";
    return errors;
}

inline host::RegValue regValue(host::RegType type, const std::string& text = "",
                               long long number = 0, const std::vector<std::string>& strings = {}) {
    return {type, text, number, strings, 0, ""};
}

// A registry tree in <dir>/registry, with ORVION_REGISTRY_ROOT and ORVION_INSTANCE set to it.
class RegistryFixture {
  public:
    explicit RegistryFixture(const std::string& instance = "Instance001");

    const std::string& root() const { return root_; }
    const TempDir& dir() const { return dir_; }
    // <root>/SOFTWARE/Kestrav Systems/Orvion/<instance>/<key>
    std::string keyPath(const std::string& key) const;

    void setString(const std::string& key, const std::string& name, const std::string& value);
    void setNumber(const std::string& key, const std::string& name, long long value);
    // A folder beside the registry tree for the product's directories (log dir, home ...).
    std::string makeDir(const std::string& name) const { return dir_.mkdir(name); }

  private:
    TempDir dir_;
    std::string root_;
    std::string instance_;
    ScopedEnv rootEnv_;
    ScopedEnv instanceEnv_;
};

}  // namespace testenv
