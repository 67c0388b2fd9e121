// The harness's installation with a recording core analyser, and temporary and core folders.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
          cores(registry.makeDir("cores")) {
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
    std::string home, temp, cores;
};

}  // namespace diagtest
