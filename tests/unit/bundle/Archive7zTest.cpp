// 7z archives checked with the 7z program; job results and certificates with their exclusions.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <set>

#include "bundle/Archive7z.h"
#include "bundle/ScrubbedArchive.h"
#include "host/Archive.h"
#include "host/Log.h"
#include "scrub/BitMap.h"
#include "support/SevenZip.h"
#include "support/TestEnv.h"

using testenv::exists;
using testenv::writeFile;

namespace {

class Archives : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testenv::sevenZip().empty()) GTEST_SKIP() << "no 7z program";
        host::setLogFilePath(dir_.file("library.log"));
        home_ = registry_.makeDir("home");
        base_ = registry_.makeDir("base");
        jobResults_ = registry_.makeDir("jobresults");
        out_ = registry_.makeDir("out");
        registry_.setString("Base", "dORVIONHOME", home_);
        registry_.setString("Base", "dBASEHOME", base_);
        registry_.setString("Base", "dJOBRESULTSDIR", jobResults_);
        registry_.setString("Base", "sPhysicalMachine", "client01");
    }
    void TearDown() override { host::resetLogSettings(); }
    std::string logText() const { return testenv::readFile(dir_.file("library.log")); }

    testenv::RegistryFixture registry_;
    testenv::TempDir dir_;
    std::string home_, base_, jobResults_, out_;
};

TEST_F(Archives, CompressionLevelFromRegistry) {
    EXPECT_EQ(1u, ReadCompressionLevel());  // absent
    const long long values[] = {3, 5, 7, 9, 4, 10, 0, -9};
    const unsigned levels[] = {3, 5, 7, 9, 1, 1, 1, 1};
    for (size_t i = 0; i < std::size(values); ++i) {
        registry_.setNumber("EventManager", "nLogCompLevel", values[i]);
        EXPECT_EQ(levels[i], ReadCompressionLevel()) << "value " << values[i];
    }
    registry_.setString("EventManager", "nLogCompLevel", "high");
    EXPECT_EQ(1u, ReadCompressionLevel());
}

TEST_F(Archives, CreateArchiveOfFilesAndFoldersInVolumesOrWithFullPaths) {
    writeFile(dir_.file("in/a.log"), "alpha\n");
    writeFile(dir_.file("in/tree/b.log"), "beta\n");
    std::vector<std::string> items{dir_.file("in/a.log"), dir_.file("in/tree")};
    std::string archive = out_ + "/list.7z";
    ASSERT_TRUE(createArchive(&archive[0], items, 0, false));
    EXPECT_EQ((std::set<std::string>{"a.log", "tree", "tree/b.log"}),
              testenv::sevenZipMembers(archive));
    ASSERT_TRUE(testenv::sevenZipExtract(archive, dir_.file("x")));
    EXPECT_EQ("beta\n", testenv::readFile(dir_.file("x/tree/b.log")));

    std::string fullPaths = out_ + "/full.7z";
    ASSERT_TRUE(createArchive(&fullPaths[0], items, 0, true));
    EXPECT_TRUE(testenv::sevenZipMembers(fullPaths).count(dir_.file("in/a.log").substr(1)));

    // 2.5 MiB of noise: three volumes of at most 1 MiB, and no fourth.
    std::string noise;
    for (unsigned i = 0, v = 7; i < (5u << 20) / 2; ++i)
        noise += static_cast<char>((v = v * 1103515245u + 12345u) >> 16);
    writeFile(dir_.file("big/big.bin"), noise);
    std::vector<std::string> big{dir_.file("big")};
    std::string volumes = out_ + "/vol.7z";
    ASSERT_TRUE(createArchive(&volumes[0], big, 1, false));
    EXPECT_FALSE(exists(volumes));
    for (const char* part : {".001", ".002", ".003"})
        EXPECT_LE(std::filesystem::file_size(volumes + part), 1u << 20) << part;
    EXPECT_FALSE(exists(volumes + ".004"));
    ASSERT_TRUE(testenv::sevenZipExtract(volumes + ".001", dir_.file("v")));
    EXPECT_EQ(noise, testenv::readFile(dir_.file("v/big/big.bin")));
    // A second part that cannot be made: the archive stays whole and no part is left.
    std::string whole = out_ + "/whole.7z";
    std::filesystem::create_directories(whole + ".002");
    createArchive(&whole[0], big, 1, false);
    EXPECT_TRUE(exists(whole));
    EXPECT_FALSE(exists(whole + ".001"));

    std::vector<std::string> missing{dir_.file("missing.log")};
    std::string none = out_ + "/none.7z";
    EXPECT_FALSE(createArchive(&none[0], missing, 0, false));
    EXPECT_FALSE(createArchive(nullptr, missing, 0, false));
}

// A folder excluded on its own leaves only its entry out; a recursive exclusion takes its tree.
TEST_F(Archives, FolderExcludedAloneKeepsItsContents) {
    writeFile(dir_.file("in/tree/own/a.log"), "a\n");
    writeFile(dir_.file("in/tree/gone/b.log"), "b\n");
    C7zip zip(nullptr, 2);
    ASSERT_LE(zip.Initialize().GetErrorCode(), 1);
    zip.AddExcludeList("tree/own", true, false);
    zip.AddExcludeList("tree/gone", true, true);
    std::map<std::wstring, std::wstring> failures;
    const std::string archive = out_ + "/excl.7z";
    ASSERT_LE(zip.AddFilesToArchive(archive, {dir_.file("in/tree")}, failures).GetErrorCode(), 1);
    EXPECT_EQ((std::set<std::string>{"tree", "tree/own/a.log"}), testenv::sevenZipMembers(archive));
}

// Staging folders match in any case; a cache outside the archived folder excludes nothing.
TEST_F(Archives, JobResultsWithoutStagingLeftoversAndCache) {
    writeFile(jobResults_ + "/keep.txt", "k\n");
    writeFile(jobResults_ + "/Support_1_2_3/old.tar", "s\n");
    writeFile(jobResults_ + "/sendLogFiles_9/x.log", "s\n");
    writeFile(jobResults_ + "/cache/data.idx", "c\n");
    writeFile(jobResults_ + "/WY_JobResults/2/0/77/result.xml", "r\n");
    registry_.setString("DM2WebSearchServer", "sZCACHEDATAFILESPATH", jobResults_ + "/cache");
    std::vector<std::string> archives{"earlier.7z"};
    ASSERT_TRUE(getJobResultsDirectory(out_.c_str(), archives, 0));
    ASSERT_EQ((std::vector<std::string>{"earlier.7z", out_ + "/JobResults.7z"}), archives);
    const std::set<std::string> names = testenv::sevenZipMembers(archives[1]);
    EXPECT_TRUE(names.count("jobresults/keep.txt"));
    EXPECT_TRUE(names.count("jobresults/WY_JobResults/2/0/77/result.xml"));
    for (const std::string& name : names)
        for (const char* left : {"upport_", "sendLogFiles_", "cache"})
            EXPECT_FALSE(testenv::contains(name, left)) << name;
    registry_.setString("DM2WebSearchServer", "sZCACHEDATAFILESPATH", dir_.file("cache"));
    archives.clear();
    ASSERT_TRUE(getJobResultsDirectory(out_.c_str(), archives, 0));
    EXPECT_TRUE(testenv::sevenZipMembers(archives.at(0)).count("jobresults/cache/data.idx"));

    registry_.setString("Base", "dJOBRESULTSDIR", "");
    archives.clear();
    EXPECT_FALSE(getJobResultsDirectory(out_.c_str(), archives, 0));
    EXPECT_TRUE(archives.empty());
    EXPECT_TRUE(testenv::contains(
        logText(), "Could not retrieve job results directory for client [client01]"));
}

TEST_F(Archives, JobResultsOfOneJob) {
    writeFile(jobResults_ + "/keep.txt", "k\n");
    writeFile(jobResults_ + "/WY_JobResults/2/0/77/result.xml", "r\n");
    writeFile(jobResults_ + "/WY_JobResults/2/0/77/support_1/x", "s\n");
    writeFile(jobResults_ + "/WY_JobResults/2/0/78/other.xml", "o\n");
    std::vector<std::string> archives;
    ASSERT_TRUE(getJobResultsDirectory(out_.c_str(), archives, 77));
    EXPECT_EQ((std::set<std::string>{"77", "77/result.xml"}),
              testenv::sevenZipMembers(archives.at(0)));
    // A job id of one digit names a folder of one character: its leftovers go too.
    writeFile(jobResults_ + "/WY_JobResults/2/0/7/result.xml", "r\n");
    writeFile(jobResults_ + "/WY_JobResults/2/0/7/support_1/x", "s\n");
    writeFile(jobResults_ + "/WY_JobResults/2/0/7/sendLogFiles_3/y", "s\n");
    archives.clear();
    ASSERT_TRUE(getJobResultsDirectory(out_.c_str(), archives, 7));
    EXPECT_EQ((std::set<std::string>{"7", "7/result.xml"}),
              testenv::sevenZipMembers(archives.at(0)));
}

TEST_F(Archives, CertificatesWithoutPrivateKeys) {
    writeFile(base_ + "/certificates/client.pem", "cert\n");
    writeFile(base_ + "/certificates/client_key.pem", "KEY\n");
    writeFile(base_ + "/certificates/ca/root.pem", "root\n");
    writeFile(base_ + "/certificates/ca/root_key.pem", "KEY\n");
    writeFile(base_ + "/certificates/ca/root_key.pem.txt", "not a key name\n");
    writeFile(base_ + "/certificates/a_key-pem", "KEY\n");
    std::vector<std::string> archives;
    ASSERT_TRUE(getCertificatesFolder(out_.c_str(), archives));
    ASSERT_EQ(1u, archives.size());
    std::set<std::string> files;
    for (const std::string& name : testenv::sevenZipMembers(archives[0]))  // below a temp folder
        if (name.find('/') != std::string::npos) files.insert(name.substr(name.find('/') + 1));
    EXPECT_EQ((std::set<std::string>{"client.pem", "ca", "ca/root.pem", "ca/root_key.pem.txt"}),
              files);
    EXPECT_EQ("", testenv::output("ls -A '" + jobResults_ + "'")) << "the filtered copy is gone";
    registry_.setString("Base", "dBASEHOME", "");  // no base directory, no certificates
    EXPECT_FALSE(getCertificatesFolder(out_.c_str(), archives));
}

TEST_F(Archives, CopyFilesToDirRules) {
    writeFile(dir_.file("src/a.txt"), "a\n");
    writeFile(dir_.file("src/sub/b.txt"), "b\n");
    const std::string flat = dir_.mkdir("flat");
    copyFilestoDir(flat, dir_.file("src"), false, "");
    EXPECT_TRUE(exists(flat + "/a.txt"));
    EXPECT_FALSE(exists(flat + "/sub"));
    copyFilestoDir("/", dir_.file("src"), true, "");
    EXPECT_TRUE(testenv::contains(logText(), "Too short argument lengths. destDir[1]"));
    copyFilestoDir(dir_.file("nope"), dir_.file("src"), true, "");
    EXPECT_TRUE(testenv::contains(logText(), "does not exist."));
    // A pattern that does not compile copies nothing and is logged.
    const std::string none = dir_.mkdir("none");
    copyFilestoDir(none, dir_.file("src"), true, "([");
    EXPECT_EQ("", testenv::output("ls -A '" + none + "'"));
}

TEST_F(Archives, CertificatesIntoTarBundle) {
    if (!testenv::haveProgram("tar")) GTEST_SKIP() << "no tar";
    writeFile(base_ + "/certificates/client.pem", "cert\n");
    writeFile(base_ + "/certificates/client_key.pem", "KEY\n");
    writeFile(base_ + "/certificates/odd name *.pem", "odd\n");
    // Any one character between "_key" and "pem" makes a key name.
    writeFile(base_ + "/certificates/a_key-pem", "KEY\n");
    writeFile(base_ + "/certificates/b_keyXpem", "KEY\n");
    writeFile(dir_.file("first.txt"), "x\n");
    const std::string bundle = out_ + "/bundle.tar";
    ASSERT_EQ(0, testenv::runShell("tar cf '" + bundle + "' -C '" + dir_.path() + "' first.txt"));
    ASSERT_TRUE(GetCertificatesFolder(bundle.c_str()));
    const std::string certs = (base_ + "/certificates/").substr(1);
    const auto listing = testenv::splitLines(testenv::output("tar tf '" + bundle + "'"));
    const std::set<std::string> names(listing.begin(), listing.end());
    EXPECT_EQ((std::set<std::string>{"first.txt", certs + "client.pem", certs + "odd name *.pem"}),
              names);
    EXPECT_FALSE(GetCertificatesFolder(""));
    registry_.setString("Base", "sPhysicalMachine", "");  // no client name: nothing is added
    EXPECT_FALSE(GetCertificatesFolder(bundle.c_str()));
    registry_.setString("Base", "sPhysicalMachine", "client01");
    registry_.setString("Base", "dBASEHOME", dir_.file("nobase"));
    EXPECT_FALSE(GetCertificatesFolder(bundle.c_str()));
}

TEST_F(Archives, ArchiveOfScrubbedCopies) {
    writeFile(dir_.file("logs/app.log"), "user jsmith on host1\n");
    writeFile(dir_.file("logs/tree/deep.log"), "host1 again\n");
    ScrubRuleList rules{{"host1", createIgnoreCaseScrubPatternConfig("host1", false)}};
    ReplacementMap map{{"jsmith", "Masked_User"}};
    rules.emplace_back("jsmith", createIgnoreCaseScrubPatternConfig("jsmith", false));
    std::string archive = out_ + "/app.7z";
    ASSERT_TRUE(archiveFileList(&archive[0], dir_.file("logs").c_str(), {"app.log", "tree"}, true,
                                &rules, &map, "App"));
    ASSERT_TRUE(testenv::sevenZipExtract(archive, dir_.file("x")));
    const std::string all = testenv::output("cat $(find '" + dir_.file("x") + "' -type f)");
    EXPECT_FALSE(testenv::contains(all, "host1")) << all;
    EXPECT_FALSE(testenv::contains(all, "jsmith")) << all;
    EXPECT_TRUE(testenv::contains(all, "user Masked_User on MaskedData1")) << all;
    EXPECT_EQ("", testenv::output("ls -A '" + jobResults_ + "'"))
        << "the scrubbed copies are removed";

    std::vector<std::string> plainItems{dir_.file("logs/app.log")};
    std::string plain = out_ + "/plain.7z";
    ASSERT_TRUE(archiveFileList(&plain[0], nullptr, plainItems, false, &rules, &map, nullptr));
    EXPECT_EQ((std::set<std::string>{"app.log"}), testenv::sevenZipMembers(plain));
}

TEST_F(Archives, ArchiveOfNothingScrubbedIsAFailure) {
    ScrubRuleList rules;
    ReplacementMap map;
    std::string archive = out_ + "/none.7z";
    EXPECT_FALSE(archiveFileList(&archive[0], nullptr, {dir_.file("missing.log")}, true, &rules,
                                 &map, "Missing"));
    EXPECT_FALSE(exists(archive));
    EXPECT_TRUE(testenv::contains(logText(), "No files found in scrubbed Missing logs."));
    registry_.setString("Base", "dJOBRESULTSDIR", "");
    EXPECT_FALSE(archiveFileList(&archive[0], nullptr, {dir_.file("missing.log")}, true, &rules,
                                 &map, "Missing"));
}

}  // namespace
