// The patterns file checks: each finding on its line, and a clean file staying clean.
#include <gtest/gtest.h>

#include "tooling/PatternLint.h"

namespace {

TEST(PatternLint, FindsBrokenExpressionsUnnamedHintsAndNameClashes) {
    const std::string file =
        "client01\n"                           // 1 clean literal
        "backupadmin&#*#&Masked_User\n"        // 2 clean named literal
        "\\d+\\.\\d+&#*#&##isregexmagic##.\n"  // 3 clean expression
        "(unclosed&#*#&##isregexmagic##(\n"    // 4 does not compile
        "[0-9]{4}&#*#&##isregexmagic##evil\n"  // 5 hint the expression never names
        "hubmaster&#*#&Masked_User\n"          // 6 name of line 2 again
        "CLIENT01\n"                           // 7 value of line 1 again
        "&#*#&Masked_Empty\n";                 // 8 empty value
    const std::vector<tooling::PatternFinding> findings = tooling::lintPatterns(file);
    ASSERT_EQ(findings.size(), 5u);
    const struct {
        size_t line;
        bool error;
        const char* words;
    } expected[] = {{4, true, "does not compile"},
                    {5, false, "\"evil\""},
                    {6, true, "line 2"},
                    {7, false, "line 1"},
                    {8, true, "empty value"}};
    for (size_t i = 0; i < findings.size(); ++i) {
        EXPECT_EQ(findings[i].line, expected[i].line) << findings[i].message;
        EXPECT_EQ(findings[i].error, expected[i].error) << findings[i].message;
        EXPECT_NE(findings[i].message.find(expected[i].words), std::string::npos)
            << findings[i].message;
    }
}

}  // namespace
