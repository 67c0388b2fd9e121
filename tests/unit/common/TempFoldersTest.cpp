// Temporary folders in the job results directory.
#include <gtest/gtest.h>

#include <ctime>

#include "common/TempFolders.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;

TEST(TempDirInJobResults, IsNamedByPrefixAndSecondsAndNeverShared) {
    Installation inst;
    time_t before = time(nullptr);
    std::string first = "Certs_", second = "Certs_";
    ASSERT_TRUE(getTempDirInJobResultsDir(first));
    ASSERT_TRUE(getTempDirInJobResultsDir(second));
    EXPECT_NE(first, second);
    std::string prefix = inst.jobResultsDir + "/Certs_";
    ASSERT_EQ(0u, first.rfind(prefix, 0));
    EXPECT_GE(std::stol(first.substr(prefix.size())), static_cast<long>(before));
    EXPECT_TRUE(testenv::exists(first) && testenv::exists(second));
    // Without a job results directory the name is left as it was.
    Installation without(false);
    std::string name = "x";
    EXPECT_FALSE(getTempDirInJobResultsDir(name));
    EXPECT_EQ("x", name);
}

}  // namespace
