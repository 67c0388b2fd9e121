// A small product installation for the diagnostics tests: registry, home folder with a core
// analyser that records its arguments, temporary, core and job results folders, and the
// library log in a file.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace diagtest {

class Installation {
  public:
    Installation()
        : home(registry.makeDir("home")),
          temp(registry.makeDir("tmp")),
          cores(registry.makeDir("cores")),
          results(registry.makeDir("jobResults")),
          logFile(registry.dir().file("library.log")),
          logEnv_("SENDLOGS_LOG_FILE", logFile) {
        registry.setString("Base", "dORVIONHOME", home);
        registry.setString("Base", "dORVIONTEMPDIR", temp);
        registry.setString("Base", "dCOREDIR", cores);
        registry.setString("Base", "sPhysicalMachine", "client01");
        registry.setString("Base", "dJOBRESULTSDIR", results);
        // The analyser leaves one file per core it was given, named after the core.
        testenv::writeFile(home + "/Base/wysnapcore",
                           "#!/bin/sh\n"
                           "while [ $# -gt 0 ]; do case \"$1\" in -c) c=\"$2\"; shift;; "
                           "-d) d=\"$2\"; shift;; esac; shift; done\n"
                           "echo \"analysis of $c\" > \"$d/$(basename \"$c\").txt\"\n");
        ::chmod((home + "/Base/wysnapcore").c_str(), 0755);
        EXPECT_EQ(::symlink("/bin/sh", (home + "/ksh").c_str()), 0);
    }
    std::string log() const {
        return testenv::exists(logFile) ? testenv::readFile(logFile) : std::string();
    }
    // Names in folder (sorted), "." and ".." left out.
    static std::vector<std::string> entries(const std::string& folder);

    testenv::RegistryFixture registry;
    std::string home, temp, cores, results, logFile;

  private:
    testenv::ScopedEnv logEnv_;
};

inline std::vector<std::string> Installation::entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (struct dirent* e = readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace diagtest
