// The product log bundle: the script's text, and a real run that leaves no temporary file.
#include <gtest/gtest.h>

#include <algorithm>

#include "bundle/TarBundles.h"
#include "common/OptionBits.h"
#include "host/Log.h"
#include "host/Process.h"
#include "support/TestEnv.h"

namespace {

TEST(BundleScript, WithoutScrubbingCreatesFromTheIncludeListThenAppendsTheLogDirectory) {
    bundle::BundleScript s;
    s.bundleFile = "/s/logFiles_7.tar";
    s.sourceDir = "/opt/x/Log Files";
    s.excludeFile = "/opt/x/exclude_7_AbC123";
    s.includeList = {"/etc/KestravRegistry", "/b/FwConfig.txt"};
    EXPECT_EQ(bundle::composeBundleScript(s),
              "touch /s/logFiles_7.tar\n"
              "tar -cvf /s/logFiles_7.tar /etc/KestravRegistry /b/FwConfig.txt \n"
              "cd  '/opt/x/Log Files' || exit 1\n"
              "tar -rvf /s/logFiles_7.tar -X /opt/x/exclude_7_AbC123 ./");

    s.includeList.clear();  // the create line then names no file; the append still runs
    EXPECT_EQ(0u, bundle::composeBundleScript(s).rfind(
                      "touch /s/logFiles_7.tar\ntar -cvf /s/logFiles_7.tar \ncd  ", 0));
}

// Scrubbed, the include list is not used: the second line is empty.
TEST(BundleScript, ScrubbedExtraFilesAndNamesAreQuotedAndPatternsStayPatterns) {
    bundle::BundleScript s;
    s.bundleFile = "/s/b.tar";
    s.sourceDir = "/l";
    s.excludeFile = "/e";
    s.scrubbed = true;
    s.includeList = {"/etc/KestravRegistry"};
    const std::vector<std::string> files = {"/var/log/my app.log", "plain.log",
                                            "/" + std::string(1100, 'x')};
    const std::vector<std::string> names = {"a b", "it's \"q\"", "Group*", "$(id)", "bad\nname"};
    s.extraFiles = &files;
    s.extraNames = &names;
    EXPECT_EQ(bundle::composeBundleScript(s),
              "touch /s/b.tar\n\ncd  /l || exit 1\ntar -rvf /s/b.tar -X /e ./\n"
              "cd /var/log || exit 1\ntar -rvf /s/b.tar 'my app.log'\n"
              "tar -rvf /s/b.tar plain.log"
              " a\\ b it\\'s\\ \\\"q\\\" Group* \\$\\(id\\)");
}

class LogBundleRun : public ::testing::Test {
  protected:
    void SetUp() override {
        host::setLogFilePath(registry_.dir().file("library.log"));
        logDir_ = registry_.makeDir("inst/Log_Files");
        base_ = registry_.makeDir("inst/base");
        registry_.makeDir("inst/base/Temp");
        registry_.setString("Base", "dBASEHOME", base_);
        registry_.setString("Base", "sPhysicalMachine", "client01");
        testenv::writeFile(logDir_ + "/wyd.log", "line\n");
        testenv::writeFile(logDir_ + "/locks/wyd.lock", "1\n");
        testenv::writeFile(base_ + "/FwConfig.txt", "[outgoing]\n");
    }
    void TearDown() override { host::resetLogSettings(); }
    std::vector<std::string> members(const std::string& bundle) {
        return testenv::splitLines(testenv::output("tar -tf " + host::shellQuote(bundle)));
    }

    testenv::RegistryFixture registry_;
    std::string logDir_, base_;
};

TEST_F(LogBundleRun, PacksTheLogDirectoryWithoutLocksAndLeavesNoTemporaryFile) {
    // Files named as another request of the same second would name them: left alone.
    const std::string oldScript = base_ + "/Temp/bundles_42.sh";
    const std::string oldExclude = registry_.dir().file("inst/exclude_42");
    testenv::writeFile(oldScript, "other request\n");
    testenv::writeFile(oldExclude, "./wyd.log");
    const std::string bundle = registry_.makeDir("staging") + "/logFiles_42.tar";

    ASSERT_TRUE(bundleLogs(42, logDir_.c_str(), bundle, nullptr, nullptr, OPT_PRODUCT_LOGS, nullptr,
                           nullptr));
    const std::vector<std::string> names = members(bundle);
    EXPECT_NE(std::find(names.begin(), names.end(), "./wyd.log"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "./locks/"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), base_.substr(1) + "/FwConfig.txt"),
              names.end());
    EXPECT_EQ("other request\n", testenv::readFile(oldScript));
    EXPECT_EQ("./wyd.log", testenv::readFile(oldExclude));
    const std::string left = testenv::output("ls " + host::shellQuote(base_ + "/Temp") + " " +
                                             host::shellQuote(registry_.dir().file("inst")));
    EXPECT_FALSE(testenv::contains(left, "_42_")) << left;

    EXPECT_EQ(testenv::errorLines(testenv::readFile(registry_.dir().file("library.log"))), "");

    EXPECT_FALSE(bundleLogs(42, logDir_.c_str(), "", nullptr, nullptr, 0, nullptr, nullptr));
}

}  // namespace
