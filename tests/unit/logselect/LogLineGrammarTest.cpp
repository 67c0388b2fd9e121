#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "logselect/EntryFields.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/PieceReader.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"

namespace {

// The six fields callers read, joined by '|', or "-" when the line does not parse.
std::string parse(const std::string& line, int size = kLogFieldSize) {
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    char f[6][kLogFieldSize];
    if (!ParseLogLine(text.data(), f[0], size, f[1], size, f[2], size, f[3], size, f[4], size, f[5],
                      size))
        return "-";
    std::string fields = f[0];
    for (int i = 1; i < 6; ++i) fields += std::string("|") + f[i];
    return fields;
}

TEST(ParseLogLine, CutsTheEightFields) {
    EXPECT_EQ("12345|00042|07/14|09:03:27|4711|[A:99]",
              parse("12345 00042 07/14 09:03:27 4711 a b [A:99] text more\n"));
    // Runs of blanks separate fields; a tab is part of a field.
    EXPECT_EQ("1|2|3\t4|5|6|9", parse("   1  2 3\t4 5 6 7 8 9"));
    // An eighth field is needed; the newline is no separator, so after blanks it is one.
    EXPECT_EQ("-", parse("1 2 3 4 5 6 7\n"));
    EXPECT_EQ("-", parse(""));
    // Outputs the parser never reached come back empty, whatever they held.
    char empty[] = "", o[6][2] = {"?", "?", "?", "?", "?", "?"};
    EXPECT_FALSE(ParseLogLine(empty, o[0], 1, o[1], 1, o[2], 1, o[3], 1, o[4], 1, o[5], 1));
    EXPECT_EQ("", std::string(o[0]) + o[1] + o[2] + o[3] + o[4] + o[5]);
    EXPECT_EQ("1|2|3|4|5|\n", parse("1 2 3 4 5 6 7     \n"));
    EXPECT_EQ("1|2|3|4|5|8\n", parse("1 2 3 4 5 6 7 8\n"));
    // Over-long fields are cut to size - 1 characters without upsetting the field count.
    EXPECT_EQ(std::string(99, '7') + "|00042|07/14|09:03:27|4711|99",
              parse(std::string(150, '7') + " 00042 07/14 09:03:27 4711 a b 99 m"));
    EXPECT_EQ("12|00|07|09|47|[A", parse("12345 00042 07/14 09:03:27 4711 a b [A:99] m", 3));
}

// The fast field cutter must agree with ParseLogLine, whatever follows the piece in memory.
void expectSameCut(const std::string& buffer, size_t pieceSize, const std::string& expected,
                   size_t readable) {
    logselect::EntryFields f;
    const bool ok =
        logselect::cutEntryFields(buffer.data(), pieceSize, f, logselect::kAllFields, readable);
    auto text = [](const logselect::FieldView& v) { return std::string(v.data, v.size); };
    ASSERT_EQ(expected, !ok ? "-"
                            : text(f.processId()) + "|" + text(f.threadId()) + "|" +
                                  text(f.date()) + "|" + text(f.time()) + "|" + text(f.job()) +
                                  "|" + text(f.tag()));
}

TEST(EntryFields, AgreesWithParseLogLineOnRandomLines) {
    std::mt19937 rng(7);
    const char alphabet[] = {' ', ' ', ' ', 'a', '1', '#', '\t', '\n', '\0', '/', ':', '-'};
    auto randomText = [&](size_t length, bool longFields) {
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            char c = alphabet[rng() % sizeof alphabet];
            if (longFields && rng() % 40 != 0) c = 'x';
            text += c;
        }
        return text;
    };
    // Short fields between blank runs, so field edges fall on every one of the first 64 bytes.
    auto fieldedText = [&]() {
        std::string text(rng() % 3, ' ');
        size_t fields = 1 + rng() % 10;
        for (size_t i = 0; i < fields; ++i) {
            text += randomText(1 + rng() % 20, true);
            text += std::string(1 + rng() % 3, ' ');
        }
        return text;
    };
    for (int round = 0; round < 40000; ++round) {
        bool longFields = round % 97 == 0;
        std::string line =
            round % 2 ? fieldedText()
                      : randomText(longFields ? 100 + rng() % 300 : rng() % 140, longFields);
        const std::string expected = parse(line.substr(0, line.find('\0')));
        SCOPED_TRACE("line: [" + line + "]");
        expectSameCut(line, line.size(), expected, 0);
        // The next line's bytes behind the piece must not be taken for this one's.
        std::string padded = line + randomText(64, false);
        expectSameCut(padded, line.size(), expected, padded.size());
    }
}

TEST(EntryFields, ScansDatesAndTimesAsScanfWould) {
    for (const char* text : {"07/14", "1x/05", "7/", "+7/-3", "\t7/ 3", "/3", "07/14xyz", "7 /3",
                             "09:03:27", "09:03", "9:3:7\n", "a9:03:27"}) {
        const bool date = strchr(text, ':') == nullptr;
        const int count = date ? 2 : 3;
        int got[3] = {0, 0, 0}, want[3] = {0, 0, 0};
        const bool ok = logselect::scanSeparated(logselect::FieldView{text, strlen(text)},
                                                 date ? '/' : ':', got, count);
        const int n = date ? sscanf(text, "%d/%d", &want[0], &want[1])
                           : sscanf(text, "%d:%d:%d", &want[0], &want[1], &want[2]);
        EXPECT_EQ(ok, n == count) << text;
        EXPECT_TRUE(!ok || std::equal(got, got + count, want)) << text;
    }
}

// The block reader must hand out exactly the pieces a 16384-byte fgets buffer would.
TEST(PieceReader, YieldsTheSamePiecesAsFgets) {
    testenv::TempDir dir("ls-pieces");
    std::string path = dir.file("f.log");
    std::mt19937 rng(11);
    std::string content;
    for (int i = 0; i < 400; ++i) {
        size_t length = rng() % 5 == 0 ? rng() % 50000 : rng() % 200;
        if (i == 7) length = 16383;  // exactly one piece and then the newline alone
        if (i == 8) length = 16382;
        for (size_t k = 0; k < length; ++k) content += char('a' + rng() % 26);
        content += '\n';
    }
    content += "last line without a newline";
    testenv::writeFile(path, content);

    std::vector<std::string> expected;
    FILE* f = fopen(path.c_str(), "r");
    char buffer[kLogLineBufferSize];
    while (fgets(buffer, sizeof buffer, f)) expected.push_back(buffer);
    fclose(f);

    for (size_t block : {size_t(1) << 20, size_t(4096), size_t(1)}) {
        FILE* in = fopen(path.c_str(), "r");
        logselect::PieceReader reader(in, 0, block);
        logselect::Piece piece;
        size_t i = 0;
        long long offset = 0;
        while (reader.next(piece)) {
            ASSERT_LT(i, expected.size());
            ASSERT_EQ(std::string(piece.data, piece.size), expected[i]) << "piece " << i;
            ASSERT_EQ(piece.offset, offset);
            offset += (long long)piece.size;
            ++i;
        }
        EXPECT_EQ(i, expected.size());
        EXPECT_FALSE(reader.failed());
        fclose(in);
    }
}

TEST(IdStrings, IdJobInfoAndTokens) {
    // getIdStr needs a blank within ninety-nine characters.
    const std::pair<std::string, std::string> cases[] = {
        {"4711 rest", "4711"},
        {"4711", ""},
        {" 4711 x", ""},
        {std::string(99, 'a') + " x", std::string(99, 'a')},
        {std::string(100, 'a') + " x", ""}};
    for (const auto& [line, id] : cases) {
        char out[kLogFieldSize];
        getIdStr(line.c_str(), out);
        EXPECT_EQ(id, out) << line;
    }
    // getJobInfo reads fields one, two and five; a fifth field ending the line yields nothing.
    char job[kLogFieldSize], pid[kLogFieldSize], tid[kLogFieldSize];
    EXPECT_TRUE(getJobInfo("  12345  00042 07/14 09:03:27 4711 a b", job, pid, tid));
    EXPECT_EQ(std::string(pid) + "|" + tid + "|" + job, "12345|00042|4711");
    EXPECT_FALSE(getJobInfo("1 2 3 4", job, nullptr, nullptr));
    EXPECT_TRUE(getJobInfo("1 2 3 4 4711", job, nullptr, nullptr));
    EXPECT_STREQ(job, "");
    EXPECT_STREQ(GetToken("::a::bc:", 2, ':'), "bc:");
    EXPECT_EQ(GetToken("::a::bc:", 3, ':'), nullptr);
    EXPECT_EQ(GetToken("::a::bc:", 0, ':'), nullptr);
    EXPECT_EQ(GetToken(nullptr, 1, ':'), nullptr);
}

TEST(LogFileNames, TypesFollowThePrefixTable) {
    const std::pair<const char*, int> cases[] = {
        {"wyd.log", 1},   {"JobManager_2.log", 1},  {"evmgrc.log.bz2", 1}, {"wydiag.log", 1},
        {"WyFwd.log", 0}, {"CreateDB_1.log", 0},    {"sysinfo.log", 2},    {"WY", 2},
        {"", 2},          {"wyfilereplication", 1}, {"SIMHMx.log", 0},     {"xwyd.log", 2}};
    for (const auto& [name, type] : cases) EXPECT_EQ(FindLogType(name), type) << name;
}

TEST(LogFileNames, BaseNamesDropLogAndRotationSuffix) {
    const std::pair<const char*, const char*> cases[] = {
        {"wyd.log", "wyd"},  {"wyd_3.log", "wyd"},
        {"wyd_.log", "wyd"}, {"WYD_12.LOG", "WYD"},
        {"_1.log", "_1"},    {"a.log", "a"},
        {".log", ".log"},    {"wyd_1.log.bz2", "wyd_1.log.bz2"},
        {"12.log", "12"},    {"a_b_7.Log", "a_b"},
        {"x.txt", "x.txt"},  {"", ""}};
    char base[kLogFileNameSize];
    for (const auto& [name, expected] : cases) {
        GetBaseLogFileName(name, base);
        EXPECT_STREQ(base, expected) << name;
    }
    strcpy(base, "stale");
    GetBaseLogFileName(std::string(300, 'a').c_str(), base);
    EXPECT_STREQ(base, "");
}

TEST(LogFileNames, SplitFilePath) {
    char dir[kLogPathSize] = "untouched", name[kLogPathSize] = "untouched";
    EXPECT_TRUE(splitFilePath("/wyd.log", dir, name));
    EXPECT_EQ(std::string(dir) + "|" + name, "|wyd.log");
    EXPECT_TRUE(splitFilePath("/var/log/x/wyd.log", dir, nullptr));
    EXPECT_STREQ(dir, "/var/log/x");
    strcpy(dir, "untouched");
    EXPECT_FALSE(splitFilePath("wyd.log", dir, name));
    EXPECT_STREQ(dir, "untouched");
    EXPECT_FALSE(splitFilePath(("/" + std::string(2000, 'a')).c_str(), dir, name));
}

TEST(DumpBanner, NamesOnlyTheFileName) {
    lstest::Dump a, b;
    EXPECT_TRUE(PrintHeader(a.file(), "client01", "/var/log/x/wyd.log"));
    EXPECT_TRUE(PrintHeader(b.file(), "client01", "wyd.log"));
    EXPECT_EQ(a.text(), lstest::banner("client01", "wyd.log"));
    EXPECT_EQ(b.text(), a.text());
}

}  // namespace
