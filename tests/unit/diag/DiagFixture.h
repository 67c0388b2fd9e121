// A small product installation for the diagnostics tests: the request harness's installation
// with a core analyser that records its arguments, and temporary and core folders.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/DescriptorLeakCheck.h"
#include "support/RequestHarness.h"

namespace diagtest {

class Installation : public harness::Installation {
  public:
    Installation()
        : home(registry.makeDir("home")),
          temp(registry.makeDir("tmp")),
          cores(registry.makeDir("cores")),
          results(jobResultsDir) {
        registry.setString("Base", "dORVIONTEMPDIR", temp);
        registry.setString("Base", "dCOREDIR", cores);
        // The analyser leaves one file per core it was given, named after the core.
        testenv::writeFile(home + "/Base/wysnapcore",
                           "#!/bin/sh\n"
                           "while [ $# -gt 0 ]; do case \"$1\" in -c) c=\"$2\"; shift;; "
                           "-d) d=\"$2\"; shift;; esac; shift; done\n"
                           "echo \"analysis of $c\" > \"$d/$(basename \"$c\").txt\"\n");
        ::chmod((home + "/Base/wysnapcore").c_str(), 0755);
        EXPECT_EQ(::symlink("/bin/sh", (home + "/ksh").c_str()), 0);
    }
    // Names in folder (sorted), "." and ".." left out.
    static std::vector<std::string> entries(const std::string& folder) {
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

    std::string home, temp, cores, results;
};

}  // namespace diagtest
