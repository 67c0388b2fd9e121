// Rule bitmaps, masked-name numbering, the patterns file loader and the exported constants.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "scrub/BitMap.h"
#include "scrub/MaskedNames.h"
#include "scrub/PatternFile.h"
#include "scrub/ScrubConstants.h"
#include "support/TestEnv.h"

namespace {

TEST(BitMap, IgnoreCaseAndSevenBitReduction) {
    EXPECT_EQ(createIgnoreCaseBitMap("ABC"), createIgnoreCaseBitMap("abc"));
    EXPECT_FALSE(createCaseBitMap("ABC") == createCaseBitMap("abc"));
    // 0xC1 falls onto 'A' (0x41) and is not folded to 'a'.
    EXPECT_EQ(createCaseBitMap("A"), createIgnoreCaseBitMap("\xC1"));
    EXPECT_FALSE(createIgnoreCaseBitMap("\xC1") == createIgnoreCaseBitMap("a"));
    EXPECT_EQ(BitMap_t(), createIgnoreCaseBitMap(""));
    BitMap_t reused = createCaseBitMap("xyz");
    _createBitMapFromString("a", false, reused);  // clears before setting
    EXPECT_EQ(createCaseBitMap("a"), reused);
    EXPECT_EQ("abc-xyz\xC1\xE1", toLowerStr("AbC-XYZ\xC1\xE1"));  // only ASCII letters
}

TEST(BitMap, SetOperations) {
    const BitMap_t abc = createCaseBitMap("abc"), ab = createCaseBitMap("ab"),
                   xy = createCaseBitMap("xy"), empty;
    EXPECT_TRUE(includeBitMap(abc, ab));
    EXPECT_FALSE(includeBitMap(ab, abc));
    EXPECT_TRUE(includeBitMap(empty, empty));
    EXPECT_TRUE(includeBitMap(xy, empty));
    EXPECT_TRUE(overlapBitMap(abc, ab));
    EXPECT_FALSE(overlapBitMap(abc, xy));
    EXPECT_TRUE(excludeBitMap(abc, xy));
    EXPECT_FALSE(excludeBitMap(abc, ab));
    // Codes in every word of the bitmap.
    EXPECT_TRUE(includeBitMap(createCaseBitMap("\x01 @~"), createCaseBitMap("~\x01")));
    EXPECT_TRUE(existRegexReservedChar(createCaseBitMap("a.b")));
    EXPECT_TRUE(existRegexReservedChar(createCaseBitMap("\\")));
    EXPECT_FALSE(existRegexReservedChar(createCaseBitMap("ab_c-1")));
}

// One name per value whatever its case, stored under the lower-case form.
TEST(MaskedNames, LookupIsCaseInsensitiveAndNeedsAMap) {
    ReplacementMap map{{"a", "N1"}};
    EXPECT_EQ("MaskedData1", searchAndUpdateReplaceStringMap("Host1", &map));
    EXPECT_EQ("MaskedData1", searchAndUpdateReplaceStringMap("HOST1", &map));
    EXPECT_EQ("N1", searchAndUpdateReplaceStringMap("A", &map));
    EXPECT_EQ((ReplacementMap{{"a", "N1"}, {"host1", "MaskedData1"}}), map);
    EXPECT_EQ("", searchAndUpdateReplaceStringMap("alpha", nullptr));
}

using Texts = std::vector<std::string>;

class PatternFile : public ::testing::Test {
  protected:
    int load(const std::string& text) {
        const std::string path = dir_.file("patterns.txt");
        testenv::writeFile(path, text);
        return populateScrubPatternsFromFile(path, rules_, map_);
    }
    Texts texts() const {
        Texts result;
        for (const auto& rule : rules_) result.push_back(rule.first);
        return result;
    }
    testenv::TempDir dir_;
    ScrubRuleList rules_;
    ReplacementMap map_;
};

TEST_F(PatternFile, FormsDuplicatesAndLineEnds) {
    map_["seeded"] = "Masked_S";
    ASSERT_EQ(0, load("alpha\r\n\r\nBeta&#*#&Masked_B\n10\\.[0-9]+&#*#&##isregexmagic##10.\n"
                      "Gamma&#*#&x&#*#&y\nBETA&#*#&Second\nseeded&#*#&Other\nlast\r"));
    // Literals lower-cased, expressions not; a repeated name keeps its first masked name but
    // lists the rule again. CRLF loses both; a lone CR ending the file stays.
    ASSERT_EQ((Texts{"alpha", "beta", "10\\.[0-9]+", "gamma", "beta", "seeded", "last\r"}),
              texts());
    EXPECT_FALSE(rules_[0].second.isRegex);
    EXPECT_EQ(createIgnoreCaseBitMap("alpha"), rules_[0].second.charSet);
    EXPECT_TRUE(rules_[2].second.isRegex);
    EXPECT_EQ(createIgnoreCaseBitMap("10."), rules_[2].second.charSet);
    // The masked name keeps its case; the second field may hold the separator.
    EXPECT_EQ((ReplacementMap{{"beta", "Masked_B"}, {"gamma", "x&#*#&y"}, {"seeded", "Masked_S"}}),
              map_);
}

TEST_F(PatternFile, EmptyValueAndOversizedRecordsAreRejected) {
    const std::string longField(1024, 'q');
    const std::string longLine(5000, 'z');
    ASSERT_EQ(0, load("&#*#&Masked\n&#*#&##isregexmagic##\n" + longField + "\nok\n" + longLine +
                      "\nv&#*#&" + longField + "\n" + std::string(1023, 'w') + "\n"));
    EXPECT_EQ((Texts{"ok", std::string(1023, 'w')}), texts());
    EXPECT_TRUE(map_.empty());
}

TEST_F(PatternFile, UnreadableInputKeepsContainers) {
    rules_.emplace_back("kept", ScrubPatternConfig_t());
    EXPECT_EQ(-1, populateScrubPatternsFromFile("", rules_, map_));
    EXPECT_EQ(-1, populateScrubPatternsFromFile(dir_.file("missing"), rules_, map_));
    // Only a regular file; a device or a FIFO never holds the loader.
    EXPECT_EQ(-1, populateScrubPatternsFromFile(dir_.path(), rules_, map_));
    EXPECT_EQ(-1, populateScrubPatternsFromFile("/dev/urandom", rules_, map_));
    ASSERT_EQ(0, mkfifo(dir_.file("fifo").c_str(), 0600));
    EXPECT_EQ(-1, populateScrubPatternsFromFile(dir_.file("fifo"), rules_, map_));
    // A read error is reported, not taken as the end of the file.
    EXPECT_EQ(-1, populateScrubPatternsFromFile("/proc/self/mem", rules_, map_));
    // The largest size is read (its NULs are one over-long line); one byte more is refused.
    testenv::writeFile(dir_.file("huge"), "alpha\n");
    ASSERT_EQ(0, truncate(dir_.file("huge").c_str(), scrub::kMaxPatternFileBytes));
    EXPECT_EQ(0, populateScrubPatternsFromFile(dir_.file("huge"), rules_, map_));
    ASSERT_EQ(0, truncate(dir_.file("huge").c_str(), scrub::kMaxPatternFileBytes + 1));
    EXPECT_EQ(-1, populateScrubPatternsFromFile(dir_.file("huge"), rules_, map_));
    EXPECT_EQ(2u, rules_.size());
}

TEST(ScrubConstants, DefaultExpressionWorksWithGrep) {
    if (!testenv::haveProgram("grep")) GTEST_SKIP() << "grep not installed";
    testenv::TempDir dir;
    const std::string input = dir.file("in.txt");
    testenv::writeFile(input, "plain words only\nvia 10.1.2.3\n");
    const std::string pattern = dir.file("expr.txt");
    testenv::writeFile(pattern, defaultScrubbingExpr + "\n");
    EXPECT_EQ(0, testenv::runShell("test \"$(grep -c -f '" + pattern + "' '" + input + "')\" = 1"));
}

}  // namespace
