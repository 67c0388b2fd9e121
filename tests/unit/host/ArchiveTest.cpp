#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <random>

#include "host/Archive.h"
#include "host/ContentWalker.h"
#include "host/File.h"
#include "host/Process.h"
#include "support/TestEnv.h"

using namespace testenv;

namespace {

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(gen());
    return data;
}

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

}  // namespace

TEST(Archive, UnreadableItemsAreReportedWithWarningOrFailure) {
    TempDir dir;
    writeFile(dir.file("single.log"), "single\n");
    C7zip zip(nullptr, 2);
    ASSERT_FALSE(zip.Initialize().IsError());
    std::map<std::wstring, std::wstring> failures;
    std::string archive = dir.file("part.7z");
    // The failure names the item in wide characters: UTF-8 of 1 to 4 bytes, and a non-UTF-8 byte.
    const std::string name = "missing-\u00fc\u20ac\U0001F600\xff";
    CTeError e = zip.AddFilesToArchive(archive, {dir.file("single.log"), dir.file(name)}, failures);
    EXPECT_EQ(e.GetErrorCode(), 1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures.begin()->first, std::wstring(dir.path().begin(), dir.path().end()) +
                                           L"/missing-\u00fc\u20ac\U0001F600\xFFFD");
    EXPECT_EQ(failures.begin()->second, L"No such file or directory");
    EXPECT_TRUE(exists(archive));

    failures.clear();
    std::string none = dir.file("none.7z");
    e = zip.AddFilesToArchive(none, {dir.file("missing"), dir.file("gone")}, failures);
    EXPECT_EQ(e.GetErrorCode(), 2);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_FALSE(exists(none));
    EXPECT_EQ(C7zip(nullptr, 1).Initialize().GetErrorCode(), 2);
}

TEST(Decompress, Bzip2AndGzipFromTheRealTools) {
    if (!haveProgram("bzip2") || !haveProgram("gzip")) GTEST_SKIP() << "no bzip2/gzip";
    TempDir dir, tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "12345 00042 07/14 09:03:27 4711 a b [A:99] line\n";
    writeFile(dir.file("wyd_3.log"), text);
    writeFile(dir.file("other.log"), text);
    ASSERT_EQ(runShell("bzip2 " + host::shellQuote(dir.file("wyd_3.log"))), 0);
    ASSERT_EQ(runShell("gzip " + host::shellQuote(dir.file("other.log"))), 0);

    std::string path = dir.file("wyd_3.log.bz2");
    C7zip zip(nullptr, 2);
    ASSERT_FALSE(DeCompressLogFile(dir.path(), "wyd_3.log.bz2", path, &zip, nullptr).IsError());
    EXPECT_EQ(CTePath::GetBaseName(path), "wyd_3.log");
    EXPECT_EQ(CTePath::GetDirName(CTePath::GetDirName(path)), tmp.path());
    EXPECT_EQ(readFile(path), text);
    struct stat st;
    ASSERT_EQ(stat(CTePath::GetDirName(path).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    std::string gz = dir.file("other.log.gz");
    ASSERT_FALSE(
        DeCompressLogFile(dir.path(), "other.log.gz", gz, nullptr, "7_other.log").IsError());
    EXPECT_EQ(CTePath::GetBaseName(gz), "7_other.log");
    EXPECT_EQ(readFile(gz), text);
    // Without a copy name the copy is the file's name without ".gz", however short.
    ASSERT_EQ(runShell("cp " + host::shellQuote(dir.file("other.log.gz")) + " " +
                       host::shellQuote(dir.file("a.gz"))),
              0);
    gz = dir.file("a.gz");
    ASSERT_FALSE(DeCompressLogFile(dir.path(), "a.gz", gz, nullptr, nullptr).IsError());
    EXPECT_EQ(CTePath::GetBaseName(gz), "a");
}

TEST(Decompress, CorruptInputLeavesNothingBehind) {
    if (!haveProgram("bzip2")) GTEST_SKIP() << "no bzip2";
    TempDir dir, tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    writeFile(dir.file("x.log"), randomBytes(50000, 3));
    ASSERT_EQ(runShell("bzip2 " + host::shellQuote(dir.file("x.log"))), 0);
    std::string data = readFile(dir.file("x.log.bz2"));
    writeFile(dir.file("cut.log.bz2"), data.substr(0, data.size() / 2));
    std::string bad = data;
    bad[bad.size() / 2] ^= 0x55;
    writeFile(dir.file("flip.log.bz2"), bad);
    // Not bzip2 under a bzip2 name is refused, never passed through; a FIFO without waiting.
    writeFile(dir.file("plain.log.bz2"), "12345 00042 07/14 09:03:27 4711 a b [A:99] line\n");
    ASSERT_EQ(runShell("gzip -c " + host::shellQuote(dir.file("x.log.bz2")) + " > " +
                       host::shellQuote(dir.file("gzip.log.bz2"))),
              0);
    ASSERT_EQ(mkfifo(dir.file("fifo.log.bz2").c_str(), 0600), 0);
    for (const char* name : {"cut.log.bz2", "flip.log.bz2", "absent.log.bz2", "plain.log.bz2",
                             "gzip.log.bz2", "fifo.log.bz2"}) {
        std::string path = dir.file(name);
        EXPECT_TRUE(DeCompressLogFile(dir.path(), name, path, nullptr, nullptr).IsError()) << name;
        EXPECT_EQ(path, dir.file(name));
    }
    std::string path = dir.file("x.log.bz2");
    EXPECT_TRUE(DeCompressLogFile(dir.path(), "x.log.bz2", path, nullptr, "../escape").IsError());
    EXPECT_EQ(output("ls -A " + host::shellQuote(tmp.path())), "");
}

// A killed process's decompression folder is removed by the next one; running ones' stay.
TEST(Decompress, FoldersOfProcessesThatAreGoneAreRemoved) {
    TempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string gone = "sendlogs-decompress-" + std::to_string(child) + "-a1b2c3";
    const std::string alive = "sendlogs-decompress-" + std::to_string(getppid()) + "-d4e5f6";
    writeFile(tmp.file(gone + "/copy.log"), "left behind\n");
    writeFile(tmp.file(alive + "/copy.log"), "in use\n");
    const std::string foreign = "sendlogs-decompress-" + std::to_string(child) + "x/copy.log";
    writeFile(tmp.file(foreign), "not a name this library makes\n");
    host::removeStaleDecompressFolders();
    EXPECT_FALSE(exists(tmp.file(gone)));
    EXPECT_TRUE(exists(tmp.file(alive + "/copy.log")));
    EXPECT_TRUE(exists(tmp.file(foreign)));
}

TEST(GzCompress, CopiesTheWholeStream) {
    if (!haveProgram("gzip")) GTEST_SKIP() << "no gzip";
    TempDir dir;
    std::string data = randomBytes(300000, 11);
    writeFile(dir.file("in.bin"), data);
    FILE* in = std::fopen(dir.file("in.bin").c_str(), "rb");
    gzFile out = gzopen(dir.file("out.gz").c_str(), "wb6f");
    ASSERT_TRUE(in && out);
    EXPECT_NE(gz_compress(in, out), 0);
    std::fclose(in);
    gzclose(out);
    EXPECT_EQ(output("gzip -dc " + host::shellQuote(dir.file("out.gz"))), data);
    EXPECT_EQ(gz_compress(nullptr, nullptr), 0);
}

// Nested archives are read through copies that never outlive the walk.
TEST(ContentWalker, NestedArchivesAreReadAndTheirCopiesRemoved) {
    TempDir dir, tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path());
    writeFile(dir.file("in/inner.txt"), "secret inside\n");
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

// Archives nested eight deep are read; one level more is reported, not opened.
TEST(ContentWalker, NestingStopsAfterEightArchives) {
    TempDir dir;
    writeFile(dir.file("d/0"), "x\n");
    std::string chain = "0";  // names are numbers: "9!8!...!1!0"
    for (int n = 1; n <= 9; ++n) {
        const std::string in = std::to_string(n - 1), out = std::to_string(n);
        ASSERT_EQ(0, testenv::runShell("cd " + host::shellQuote(dir.file("d")) + " && tar -cf " +
                                       out + " " + in + " && rm " + in));
        chain = out + "!" + chain;
        if (n < 8) continue;
        Collected sink;
        host::walkContents(dir.file("d"), sink);
        EXPECT_EQ(n == 8 ? "x\n" : "<unreadable>",
                  sink.contents[n == 8 ? chain : chain.substr(0, chain.size() - 2)]);
    }
}
