#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/RegistryDump.h"
#include "host/FileHandle.h"
#include "host/Registry.h"
#include "support/TestEnv.h"

using namespace testenv;
using T = host::RegType;

namespace {

const char* const kProduct = "SOFTWARE/Kestrav Systems";

host::RegValue raw(int code, const std::string& bytes) {
    return {T::Raw, "", 0, {}, code, bytes};
}

class RegistryDumpTest : public ::testing::Test {
  protected:
    void set(const std::string& key, const std::string& name, const host::RegValue& v) {
        ASSERT_TRUE(host::writeRegValue(root_ + "/" + key + "/" + name, v));
    }
    std::string dump(long id = 0) {
        std::vector<std::string> files;
        EXPECT_EQ(getOrvionRegistryInfo(out_.path().c_str(), files, id), 0);
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : readFile(files[0]);
    }
    TempDir dir_{"regdump"};
    std::string root_ = dir_.mkdir("registry");
    ScopedEnv rootEnv_{"ORVION_REGISTRY_ROOT", root_};
    ScopedEnv logEnv_{"SENDLOGS_LOG_FILE", dir_.file("library.log")};
    ScopedEnv levelEnv_{"SENDLOGS_LOG_LEVEL", "10"};
    TempDir out_{"regdump-out"};
};

TEST_F(RegistryDumpTest, TreeWithEveryValueKind) {
    const std::string a = std::string(kProduct) + "/A", b = std::string(kProduct) + "/B";
    set(a, "s", regValue(T::String, "hello"));
    set(a, "n", regValue(T::Number, "", 5));
    set(a + "/Deep", "only", regValue(T::String, "x"));
    set(a + "/Z", "v", regValue(T::String, "y"));
    set(b, "SWYPWDV5ENCKEY", regValue(T::String, "topsecret"));
    set(b, "e", regValue(T::ExpandString, "%HOME%/x"));
    set(b, "be", regValue(T::DWordBigEndian, "", 258));
    set(b, "big", regValue(T::Number, "", 5000000000LL));
    set(b, "q", regValue(T::QWord, "", -7));
    set(b, "bin", raw(3, "\x01\x02\x03"));
    set(b, "link", raw(6, "ab"));
    set(b, "res", raw(8, "abcd"));
    set(b, "none", raw(0, ""));
    set(b, "odd", raw(9, "ab"));
    set(b, "m", regValue(T::MultiString, "", 0, {"b", "a", "b", ""}));
    set(b, "emptymulti", regValue(T::MultiString));
    set("SOFTWARE/ODBC", "Driver", regValue(T::String, "x"));

    EXPECT_EQ(dump(),
              "Listing Registry contents of [SOFTWARE\\Kestrav Systems]:\n"
              "A:\n"
              "|- n: REG_DWORD: Data 5\n"
              "|- s: REG_SZ: Data [hello] Length 6\n"
              "|- Deep:\n"
              "|  `- only: REG_SZ: Data [x] Length 2\n"
              "`- Z:\n"
              "   `- v: REG_SZ: Data [y] Length 2\n"
              "B:\n"
              "|- SWYPWDV5ENCKEY: REG_SZ: Data [xxx]\n"
              "|- be: REG_DWORD_BIG_ENDIAN: Data 258\n"
              "|- big: REG_QWORD: Data 5000000000\n"
              "|- bin: REG_BINARY: Length 3\n"
              "|- e: REG_EXPAND_SZ: Data [%HOME%/x] Length 9\n"
              "|- emptymulti: REG_MULTI_SZ: Length 0\n"
              "|- link: REG_LINK: Length 2\n"
              "|- m: REG_MULTI_SZ: Length 8\n"
              "a\n"
              "b\n"
              "|- none: REG_NONE: Length 0\n"
              "|- odd: |- q: REG_QWORD: Data -7\n"
              "|- res: REG_RESOURCE_LIST: Length 4\n"
              "\n"
              "Listing Registry contents of [SOFTWARE\\ODBC]:\n"
              "Driver: REG_SZ: Data [x] Length 2\n");
}

TEST_F(RegistryDumpTest, EncryptionKeyNeverPrintedInAnyForm) {
    const std::string key = std::string(kProduct) + "/K";
    set(key + "/1", "sWyPwdV5EncKey", regValue(T::String, "topsecret-1"));
    set(key + "/2", "swypwdv5enckey", regValue(T::ExpandString, "topsecret-2"));
    set(key + "/3", "SWYPWDV5ENCKEY", regValue(T::MultiString, "", 0, {"topsecret-3"}));
    set(key + "/4", "sWyPwdV5EncKey", regValue(T::QWord, "", 987654321));
    const std::string text = dump();
    EXPECT_FALSE(contains(text, "topsecret")) << text;
    EXPECT_FALSE(contains(text, "987654321")) << text;
    EXPECT_TRUE(contains(text, "sWyPwdV5EncKey: REG_SZ: Data [xxx]\n"));
    EXPECT_TRUE(contains(text, "swypwdv5enckey: REG_EXPAND_SZ: Data [xxx]\n"));
}

TEST_F(RegistryDumpTest, LongValueIsReadAgainInAGrownBuffer) {
    const std::string text(2000, 'v');
    set("SOFTWARE/ODBC", "long", regValue(T::String, text));
    EXPECT_TRUE(contains(dump(), "long: REG_SZ: Data [" + text + "] Length 2001\n"));
}

TEST_F(RegistryDumpTest, FileNameCarriesAPositiveId) {
    std::vector<std::string> files;
    for (long id : {0L, -3L, 42L})
        EXPECT_EQ(getOrvionRegistryInfo(out_.path().c_str(), files, id), 0);
    EXPECT_EQ(files, (std::vector<std::string>{out_.file("OrvionRegistry.txt"),
                                               out_.file("OrvionRegistry.txt"),
                                               out_.file("42_OrvionRegistry.txt")}));
    // Missing subtrees leave their reason in the file, which still counts as written.
    EXPECT_TRUE(contains(readFile(files[0]), "getRegSubKeysFromAbsPath failed\n"));
}

TEST_F(RegistryDumpTest, DepthLimitStopsTheWalkOfThatRootOnly) {
    std::string key = kProduct;
    for (int i = 0; i < 1030; ++i) key += "/k";
    set(key, "v", regValue(T::String, "x"));
    set("SOFTWARE/ODBC", "Driver", regValue(T::String, "x"));
    // Walks in a child, so that a crash still leaves this process to remove the 1 030 levels.
    const std::string walkOut = out_.file("walk");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char flags[1024];
        std::memset(flags, 1, sizeof flags);
        std::vector<std::string> files;
        FILE* out = fopen(walkOut.c_str(), "w");
        const bool deeper = out != nullptr && RecurseDumpReg(out, kProduct, 0, flags);
        if (out != nullptr) fclose(out);
        _exit(getOrvionRegistryInfo(out_.path().c_str(), files, 0) != 0 ? 3 : deeper ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the walk crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: the walk went on past the limit; 3: no dump";
    const std::string text = readFile(out_.file("OrvionRegistry.txt"));
    size_t limit = text.find("Reached the maximum depth of registry keys [1024]\n");
    ASSERT_NE(limit, std::string::npos);
    EXPECT_FALSE(contains(text, "v: REG_SZ"));
    EXPECT_LT(limit, text.find("Listing Registry contents of [SOFTWARE\\ODBC]:\nDriver:"));
}

TEST_F(RegistryDumpTest, UnwritableOutputIsAnErrorAndNotListed) {
    std::vector<std::string> files;
    EXPECT_EQ(getOrvionRegistryInfo(out_.file("missing").c_str(), files, 0), ENOENT);
    host::io::injectWriteFault(ENOSPC);
    EXPECT_EQ(getOrvionRegistryInfo(out_.path().c_str(), files, 0), ENOSPC);
    host::io::clearFaults();
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(exists(out_.file("OrvionRegistry.txt"))) << "no half dump is left";
}

}  // namespace
