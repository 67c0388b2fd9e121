// The line scrubber on the documented examples and on hand-made tricky lines.
#include <gtest/gtest.h>

#include "scrub/ScrubConstants.h"
#include "scrub/ScrubLogLine.h"
#include "support/ScrubTestRules.h"

namespace {

// A rule as the examples give it: kind 'l' (literal) or 'r' (regex), text and regex hint.
struct Rule {
    char kind;
    const char* text;
    const char* hint = "";
};

using Lines = std::vector<std::pair<std::string, std::string>>;

// Scrubs (line, result) pairs in order with one rule list and a fresh map; returns the map.
ReplacementMap expectScrubs(const std::vector<Rule>& list, const Lines& lines, bool useMap = true) {
    ScrubRuleList rules;
    for (const Rule& r : list)
        r.kind == 'r' ? scrubtest::addRegex(rules, r.text, r.hint)
                      : scrubtest::addLiteral(rules, r.text);
    ReplacementMap map;
    for (auto [line, expected] : lines) {
        EXPECT_EQ(0, scrubLogLine(line, &rules, useMap ? &map : nullptr)) << expected;
        EXPECT_EQ(expected, line);
    }
    return map;
}

TEST(LineScrubber, DocumentedExamples) {
    EXPECT_EQ(
        (ReplacementMap{{"host1", "MaskedData0"}, {"10.1.2.3", "MaskedData1"}}),
        expectScrubs({{'l', "host1"}, {'r', "10\\.[0-9]+\\.[0-9]+\\.[0-9]+", "10."}},
                     {{"Connected host1 to Host1.corp via 10.1.2.3 and xhost1",
                       "Connected MaskedData0 to MaskedData0.corp via MaskedData1 and xhost1"},
                      // A URL escape before the value is a boundary; "%4g" and "x40" are not.
                      {"GET /a?u=user%40host1&x=1", "GET /a?u=user%40MaskedData0&x=1"},
                      {"a%4ghost1 x40host1", "a%4ghost1 x40host1"},
                      {"%2Fhost1", "%2FMaskedData0"}}));
    // A masked name is a boundary on both sides.
    expectScrubs({{'r', "[0-9]+"}, {'l', "node"}},
                 {{"node42x node", "MaskedData1MaskedData0x MaskedData1"}});
    expectScrubs({{'r', "ab"}, {'l', "cd"}}, {{"abcd", "MaskedData0MaskedData1"}});

    // Header lines are masked after the rules, prefixes case-sensitive; acme passed its bitmap
    // test, so took a name though nothing was replaced.
    EXPECT_EQ(
        (ReplacementMap{{"acme", "MaskedData0"}}),
        expectScrubs({{'l', "acme"}},
                     {{"* Hubmaster  : acme01", "* HubmasterMasked_CustomData\n"},
                      {"* Hubmaster  : Masked_Clientname_3", "* Hubmaster  : Masked_Clientname_3"},
                      {"* MACHINE name : x", "* MACHINE nameMasked_CustomData\n"},
                      {"* IP Addrs   : Masked_7", "* IP Addrs   : Masked_7"},
                      {"* Machine    : Masked_ClientNethostname_1",
                       "* Machine    : Masked_ClientNethostname_1"}}));

    // "b" inside the masked "a-b" is left alone even though "-" and " " surround it.
    expectScrubs({{'r', "a-b"}, {'l', "b"}}, {{"a-b b", "MaskedData0 MaskedData1"}});
    // Without a map, matches are deleted.
    expectScrubs({{'l', "secret"}, {'r', "[0-9]+"}}, {{"a secret b 42c", "a  b c"}}, false);
}

TEST(LineScrubber, EntryLinePrefixIsOutsideTheTestText) {
    const std::string bare = "12345 67890 03/15 10:22:33";
    ASSERT_EQ(26u, bare.size());
    // "67890" only in the prefix: the bitmap test fails; once the message holds its
    // characters, the rule runs on the whole line.
    EXPECT_TRUE(expectScrubs({{'l', "67890"}}, {{scrubtest::entryLine("nothing here"),
                                                 scrubtest::entryLine("nothing here")},
                                                {bare + " ", bare + " "},  // exactly 27 bytes
                                                {"", ""}})
                    .empty());
    expectScrubs({{'l', "67890"}}, {{scrubtest::entryLine("ids 0,6,7,8,9"),
                                     "12345 MaskedData0 03/15 10:22:33 ids 0,6,7,8,9"}});
}

// Bytes from 0x80 and control bytes separate words; the bitmap still folds to seven bits.
TEST(LineScrubber, NonAsciiAndControlBytesSeparateWords) {
    expectScrubs(
        {{'l', "jsmith"}},
        {{"jsmith\xE2\x80\x99s jsmith\xC3\xA9 jsmith\xC2\xA0x \xC1jsmith",
          "MaskedData0\xE2\x80\x99s MaskedData0\xC3\xA9 MaskedData0\xC2\xA0x \xC1MaskedData0"},
         {"xjsmith jsmith\x01", "xjsmith MaskedData0\x01"}});
}

// An empty match masks nothing, but the same place is retried for a non-empty alternative.
TEST(LineScrubber, EmptyMatchesMaskNothingAndHideNoLongerAlternative) {
    EXPECT_EQ(1u, expectScrubs({{'r', "x*"}, {'r', "\\b"}}, {{"axxb", "aMaskedData0b"}}).size());
    expectScrubs({{'r', "x*|jsmith"}, {'r', "(?:[0-9]+-)?|secret"}},
                 {{"user jsmith here", "user MaskedData0 here"},
                  {"pw secret 12-secret", "pw MaskedData1 MaskedData2MaskedData1"}});
}

TEST(SearchContentAndHeaderShape, CaseInsensitiveContainmentAndFixedColumns) {
    EXPECT_TRUE(SearchContent("Job 4711 started", "JOB 4711"));
    EXPECT_TRUE(SearchContent("anything", ""));
    EXPECT_TRUE(SearchContent("", ""));
    EXPECT_FALSE(SearchContent("Job 4711", "4712"));
    EXPECT_FALSE(SearchContent("", "x"));
    EXPECT_TRUE(includeLogLineHeader("12345 67890 03/15 10:22:33 "));
    EXPECT_TRUE(includeLogLineHeader("aaaaa bbbbb cc/dd ee:ff:gg x"));
    EXPECT_FALSE(includeLogLineHeader("12345 67890 03/15 10:22:33"));  // 26 bytes
    EXPECT_FALSE(includeLogLineHeader("12345 67890 03-15 10:22:33 x"));
    EXPECT_FALSE(includeLogLineHeader("12345 67890 03/15 10.22:33 x"));
}

}  // namespace
