// The line scrubber on the documented examples and on hand-made tricky lines.
#include <gtest/gtest.h>

#include "scrub/ScrubConstants.h"
#include "scrub/ScrubLogLine.h"
#include "support/ScrubTestRules.h"

using scrubtest::addLiteral;
using scrubtest::addRegex;
using scrubtest::entryLine;

namespace {

std::string scrubbed(std::string line, ScrubRuleList& rules, ReplacementMap* map) {
    EXPECT_EQ(0, scrubLogLine(line, &rules, map));
    return line;
}

TEST(LineScrubber, WholeWordLiteralAndRegexWithHint) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "host1");
    addRegex(rules, "10\\.[0-9]+\\.[0-9]+\\.[0-9]+", "10.");
    EXPECT_EQ("Connected MaskedData0 to MaskedData0.corp via MaskedData1 and xhost1",
              scrubbed("Connected host1 to Host1.corp via 10.1.2.3 and xhost1", rules, &map));
    EXPECT_EQ("MaskedData0", map["host1"]);
    EXPECT_EQ("MaskedData1", map["10.1.2.3"]);
}

TEST(LineScrubber, UrlEscapeBeforeValueIsBoundary) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "host1");
    EXPECT_EQ("GET /a?u=user%40MaskedData0&x=1",
              scrubbed("GET /a?u=user%40host1&x=1", rules, &map));
    // Not an escape: "%4g" and "x40" leave a word character before the value.
    EXPECT_EQ("a%4ghost1 x40host1", scrubbed("a%4ghost1 x40host1", rules, &map));
    EXPECT_EQ("%2FMaskedData0", scrubbed("%2Fhost1", rules, &map));
}

TEST(LineScrubber, MaskedNameIsBoundaryOnBothSides) {
    ScrubRuleList rules;
    ReplacementMap map;
    addRegex(rules, "[0-9]+");
    addLiteral(rules, "node");
    EXPECT_EQ("MaskedData1MaskedData0x MaskedData1", scrubbed("node42x node", rules, &map));

    // A masked name ending right before the value is a start boundary too.
    ScrubRuleList rules2;
    ReplacementMap map2;
    addRegex(rules2, "ab");
    addLiteral(rules2, "cd");
    EXPECT_EQ("MaskedData0MaskedData1", scrubbed("abcd", rules2, &map2));
}

TEST(LineScrubber, HeaderLinesAreMaskedAfterTheRules) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "acme");
    EXPECT_EQ("* HubmasterMasked_CustomData\n", scrubbed("* Hubmaster  : acme01", rules, &map));
    // The rule passed its bitmap test, so acme took a name though nothing was replaced.
    EXPECT_EQ("MaskedData0", map["acme"]);
    EXPECT_EQ("* Hubmaster  : Masked_Clientname_3",
              scrubbed("* Hubmaster  : Masked_Clientname_3", rules, &map));
    // The first prefix that matches decides: "* MACHINE name" never gets past "* Machine"?
    // No: prefixes compare case-sensitively, so it reaches its own entry.
    EXPECT_EQ("* MACHINE nameMasked_CustomData\n", scrubbed("* MACHINE name : x", rules, &map));
    EXPECT_EQ("* IP Addrs   : Masked_7", scrubbed("* IP Addrs   : Masked_7", rules, &map));
    EXPECT_EQ("* Machine    : Masked_ClientNethostname_1",
              scrubbed("* Machine    : Masked_ClientNethostname_1", rules, &map));
}

TEST(LineScrubber, EntryLinePrefixIsOutsideTheTestText) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "67890");  // occurs only in the prefix (thread id)
    const std::string line = entryLine("nothing here");
    EXPECT_EQ(line, scrubbed(line, rules, &map));
    EXPECT_TRUE(map.empty()) << "the rule must not even pass the bitmap test";

    // Once the message holds the characters, the rule runs on the whole line, prefix too.
    EXPECT_EQ("12345 MaskedData0 03/15 10:22:33 ids 0,6,7,8,9",
              scrubbed(entryLine("ids 0,6,7,8,9"), rules, &map));

    const std::string bare = "12345 67890 03/15 10:22:33";
    ASSERT_EQ(26u, bare.size());
    EXPECT_EQ(bare + " ", scrubbed(bare + " ", rules, &map));  // exactly 27 bytes
    EXPECT_EQ("", scrubbed("", rules, &map));
}

TEST(LineScrubber, OverlapWithMaskedNameIsNeverReplaced) {
    ScrubRuleList rules;
    ReplacementMap map;
    addRegex(rules, "a-b");
    addLiteral(rules, "b");
    // "b" inside the masked "a-b" is left alone even though "-" and " " surround it.
    EXPECT_EQ("MaskedData0 MaskedData1", scrubbed("a-b b", rules, &map));
}

TEST(LineScrubber, LiteralRulesNeverMatchInsideMaskedNames) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "alpha");
    addLiteral(rules, "maskeddata0");  // the first name handed out
    EXPECT_EQ("MaskedData0 MaskedData1", scrubbed("alpha maskeddata0", rules, &map));
}

TEST(LineScrubber, NullMapDeletesMatches) {
    ScrubRuleList rules;
    addLiteral(rules, "secret");
    addRegex(rules, "[0-9]+");
    EXPECT_EQ("a  b c", scrubbed("a secret b 42c", rules, nullptr));
}

TEST(LineScrubber, NamedMasksFromTheMapAreUsed) {
    ScrubRuleList rules;
    ReplacementMap map{{"jsmith", "Masked_User_7"}};
    addLiteral(rules, "jsmith");
    addLiteral(rules, "other");
    EXPECT_EQ("user Masked_User_7 logged in, MaskedData1",
              scrubbed("user JSmith logged in, OTHER", rules, &map));
}

TEST(LineScrubber, RegexAnchorsSeeEachContinuedSearchAsTextStart) {
    ScrubRuleList rules;
    ReplacementMap map;
    addRegex(rules, "^x");
    // After the first match the search restarts at the second x, which "^" then accepts.
    EXPECT_EQ("MaskedData0MaskedData0y", scrubbed("xxy", rules, &map));
}

TEST(LineScrubber, BrokenRegexDoesNotStopLaterRules) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "alpha");
    addRegex(rules, "([unclosed");
    addLiteral(rules, "omega");
    EXPECT_EQ("MaskedData0 to MaskedData1", scrubbed("alpha to omega", rules, &map));
    EXPECT_EQ("MaskedData1 again", scrubbed("omega again", rules, &map));
}

// An empty match masks nothing and the search ends; but after an empty match the same
// place is tried again for a non-empty one before the search moves on, so the alternative
// that matches text is not lost.
TEST(LineScrubber, EmptyMatchesMaskNothingAndHideNoLongerAlternative) {
    ScrubRuleList rules;
    ReplacementMap map;
    addRegex(rules, "x*");
    addRegex(rules, "\\b");
    EXPECT_EQ("aMaskedData0b", scrubbed("axxb", rules, &map));
    EXPECT_EQ(1u, map.size());

    ScrubRuleList alternatives;
    ReplacementMap names;
    addRegex(alternatives, "x*|jsmith");
    addRegex(alternatives, "(?:[0-9]+-)?|secret");
    EXPECT_EQ("user MaskedData0 here", scrubbed("user jsmith here", alternatives, &names));
    EXPECT_EQ("pw MaskedData1 MaskedData2MaskedData1",
              scrubbed("pw secret 12-secret", alternatives, &names));
}

// A byte of 0x80 and above belongs to a multi-byte character and separates words; control
// bytes below 0x20 too. The rule's own bitmap still reduces bytes to seven bits.
TEST(LineScrubber, NonAsciiBytesSeparateWords) {
    ScrubRuleList rules;
    ReplacementMap map;
    addLiteral(rules, "jsmith");
    EXPECT_EQ(
        "MaskedData0\xE2\x80\x99s MaskedData0\xC3\xA9 MaskedData0\xC2\xA0x \xC1MaskedData0",
        scrubbed("jsmith\xE2\x80\x99s jsmith\xC3\xA9 jsmith\xC2\xA0x \xC1jsmith", rules, &map));
    EXPECT_EQ("xjsmith MaskedData0\x01", scrubbed("xjsmith jsmith\x01", rules, &map));
}

TEST(SearchContent, CaseInsensitiveContainment) {
    EXPECT_TRUE(SearchContent("Job 4711 started", "JOB 4711"));
    EXPECT_TRUE(SearchContent("anything", ""));
    EXPECT_TRUE(SearchContent("", ""));
    EXPECT_FALSE(SearchContent("Job 4711", "4712"));
    EXPECT_FALSE(SearchContent("", "x"));
}

TEST(IncludeLogLineHeader, FixedColumns) {
    EXPECT_TRUE(includeLogLineHeader("12345 67890 03/15 10:22:33 "));
    EXPECT_TRUE(includeLogLineHeader("aaaaa bbbbb cc/dd ee:ff:gg x"));
    EXPECT_FALSE(includeLogLineHeader("12345 67890 03/15 10:22:33"));  // 26 bytes
    EXPECT_FALSE(includeLogLineHeader("12345 67890 03-15 10:22:33 x"));
    EXPECT_FALSE(includeLogLineHeader("12345 67890 03/15 10.22:33 x"));
}

}  // namespace
