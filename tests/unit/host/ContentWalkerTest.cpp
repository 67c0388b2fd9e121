// Walking a result: nested archives are read through copies that never outlive the walk.
#include <gtest/gtest.h>

#include <map>

#include "host/ContentWalker.h"
#include "host/Process.h"
#include "support/TestEnv.h"

namespace {

struct Collected : host::ContentSink {
    std::map<std::string, std::string> contents;
    void onContent(const std::string& name, host::ByteSource& bytes) override {
        char buffer[4096];
        for (long got; (got = bytes.read(buffer, sizeof buffer)) > 0;)
            contents[name].append(buffer, static_cast<size_t>(got));
    }
    void onUnreadable(const std::string& name, const std::string&) override {
        contents[name] = "<unreadable>";
    }
};

TEST(ContentWalker, NestedArchivesAreReadAndTheirCopiesRemoved) {
    testenv::TempDir dir, tmp;
    testenv::ScopedEnv tmpdir("TMPDIR", tmp.path());
    testenv::writeFile(dir.file("in/inner.txt"), "secret inside\n");
    const auto q = [](const std::string& s) { return host::shellQuote(s); };
    ASSERT_EQ(testenv::runShell("tar -czf " + q(dir.mkdir("r") + "/nested.tar.gz") + " -C " +
                                q(dir.file("in")) + " inner.txt && tar -cf " +
                                q(dir.file("r/outer.tar")) + " -C " + q(dir.file("r")) +
                                " nested.tar.gz && rm " + q(dir.file("r/nested.tar.gz"))),
              0);
    Collected sink;
    host::walkContents(dir.file("r"), sink);
    EXPECT_EQ(sink.contents, (std::map<std::string, std::string>{
                                 {"outer.tar!nested.tar.gz!inner.txt", "secret inside\n"}}));
    EXPECT_EQ(testenv::output("ls -A " + q(tmp.path())), "");
}

}  // namespace
