// Unpacking received bundles: placement, refusals, whole-bundle failures leaving nothing.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "host/BundleUnpack.h"
#include "host/Log.h"
#include "support/TestEnv.h"

namespace fs = std::filesystem;

namespace {

struct Member {
    std::string name;
    unsigned type;
    std::string data{}, link{};  // link: symbolic link target, or hard link original
    bool hard = false;
};

void writeBundle(const std::string& path, const std::vector<Member>& members, bool gzip = true) {
    struct archive* out = archive_write_new();
    archive_write_set_format_pax_restricted(out);
    if (gzip) archive_write_add_filter_gzip(out);
    ASSERT_EQ(archive_write_open_filename(out, path.c_str()), ARCHIVE_OK);
    for (const Member& m : members) {
        struct archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, m.name.c_str());
        archive_entry_set_filetype(e, m.type);
        archive_entry_set_perm(e, 04755);
        archive_entry_set_mtime(e, 1500000000, 0);
        if (m.type == AE_IFCHR) archive_entry_set_rdev(e, makedev(1, 3));
        if (m.hard)
            archive_entry_set_hardlink(e, m.link.c_str());
        else if (m.type == AE_IFLNK)
            archive_entry_set_symlink(e, m.link.c_str());
        archive_entry_set_size(e, m.type == AE_IFREG && !m.hard ? m.data.size() : 0);
        ASSERT_EQ(archive_write_header(out, e), ARCHIVE_OK) << m.name;
        if (!m.data.empty() && !m.hard) archive_write_data(out, m.data.data(), m.data.size());
        archive_entry_free(e);
    }
    ASSERT_EQ(archive_write_close(out), ARCHIVE_OK);
    archive_write_free(out);
}

class BundleUnpackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::setLogFilePath("");
        fs::create_directories(dir_.file("proxyClient"));
    }
    void TearDown() override { host::resetLogSettings(); }

    // Keeps "./" members in place, puts "srv/jr/..." under "results", leaves the rest out.
    bool unpack(const std::vector<Member>& members, bool gzip = true) {
        writeBundle(bundle_, members, gzip);
        return unpackFile(bundle_);
    }
    bool unpackFile(const std::string& file) {
        auto place = [](const host::BundleMember& m) -> std::string {
            if (m.stored.compare(0, 2, "./") == 0) return m.path;
            if (m.path.compare(0, 7, "srv/jr/") == 0) return "results/" + m.path.substr(7);
            return "";
        };
        error_.clear();
        return host::unpackBundle(file, out_, place, stats_, error_);
    }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names = testenv::folderEntries(dir_.path());
        names.erase(std::remove(names.begin(), names.end(), "bundle.tar.gz"), names.end());
        return names;
    }

    testenv::TempDir dir_{"unpack"};
    std::string bundle_ = dir_.file("bundle.tar.gz");
    std::string out_ = dir_.file("proxyClient/5F00");
    host::UnpackStats stats_;
    std::string error_;
};

TEST_F(BundleUnpackTest, PlacesMembersPrivatelyWithTheirTimes) {
    fs::create_directories(out_);  // an empty folder is replaced
    ASSERT_EQ(::chmod(out_.c_str(), 0755), 0);
    ASSERT_TRUE(unpack({{"./", AE_IFDIR},
                        {"./wyd.log", AE_IFREG, "line 1\n"},
                        {"./sub/JobManager.log", AE_IFREG, "line 2\n"},
                        {"./current", AE_IFLNK, "", "sub/JobManager.log"},
                        {"./copy.log", AE_IFREG, "", "./wyd.log", true},
                        {"srv/jr/WY_JobResults/2/0/7/backup.out", AE_IFREG, "rman\n"},
                        {"srv/registry/value", AE_IFREG, "secret"}}))
        << error_;
    for (const auto& [name, text] :
         {std::pair{"wyd.log", "line 1\n"}, {"current", "line 2\n"}, {"copy.log", "line 1\n"}})
        EXPECT_EQ(testenv::readFile(out_ + "/" + name), text);
    EXPECT_EQ(testenv::readFile(out_ + "/results/WY_JobResults/2/0/7/backup.out"), "rman\n");
    EXPECT_FALSE(testenv::exists(out_ + "/srv"));
    EXPECT_EQ(std::vector<uint64_t>({stats_.files, stats_.links, stats_.leftOut, stats_.refused}),
              std::vector<uint64_t>({3, 2, 1, 0}));  // files, links, left out, refused

    struct stat st {};
    ASSERT_EQ(::stat((out_ + "/wyd.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "no set-user-id or group bits of the sender";
    EXPECT_EQ(st.st_mtime, 1500000000);
    ASSERT_EQ(::stat(out_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(leftovers() == std::vector<std::string>{"proxyClient"});
}

// Links out of the folder and special files are left out; the rest arrives.
TEST_F(BundleUnpackTest, RefusesLinksOutAndSpecialFiles) {
    ASSERT_TRUE(unpack({{"./wyd.log", AE_IFREG, "kept\n"},
                        {"./passwd", AE_IFLNK, "", "/etc/passwd"},
                        {"./up", AE_IFLNK, "", "../../outside"},
                        {"./null", AE_IFCHR},
                        {"./pipe", AE_IFIFO},
                        {"./again", AE_IFREG, "", "srv/registry/value", true}}))
        << error_;
    EXPECT_EQ(testenv::readFile(out_ + "/wyd.log"), "kept\n");
    EXPECT_EQ(stats_.refused, 5u);
    for (const char* name : {"passwd", "up", "null", "pipe", "again"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(out_ + "/" + name))) << name;
}

// A bundle no sane sender makes fails as a whole: nothing is left, inside or beside.
TEST_F(BundleUnpackTest, HostileNamesFailTheWholeBundle) {
    const std::vector<std::vector<Member>> hostile = {
        {{"./wyd.log", AE_IFREG, "x"}, {"/tmp/evil", AE_IFREG, "x"}},
        {{"./wyd.log", AE_IFREG, "x"}, {"./../evil", AE_IFREG, "x"}},
        {{"./a/../../evil", AE_IFREG, "x"}},
        {{"./sub/", AE_IFDIR}, {"./dir", AE_IFLNK, "", "sub"}, {"./dir/evil", AE_IFREG, "x"}},
        {{"./wyd.log", AE_IFREG, "x"}, {"./wyd.log/evil", AE_IFREG, "x"}},
        {{"./sub/x", AE_IFREG, "x"}, {"./sub", AE_IFREG, "x"}},
        {{"./copy", AE_IFREG, "", "../../etc/passwd", true}},
    };
    for (size_t i = 0; i < hostile.size(); ++i) {
        EXPECT_FALSE(unpack(hostile[i])) << i;
        EXPECT_FALSE(error_.empty()) << i;
        EXPECT_FALSE(testenv::exists(out_)) << i << ": " << error_;
        EXPECT_FALSE(testenv::exists(dir_.file("evil"))) << i;
        EXPECT_EQ(leftovers(), std::vector<std::string>{"proxyClient"}) << i;
        EXPECT_TRUE(fs::is_empty(dir_.file("proxyClient"))) << i;
    }
}

TEST_F(BundleUnpackTest, DamagedOrTruncatedBundlesFail) {
    std::string big;
    for (int i = 0; big.size() < (1 << 20); ++i) big += "line " + std::to_string(i * 7919) + "\n";
    writeBundle(bundle_, {{"./a.log", AE_IFREG, big}, {"./b.log", AE_IFREG, big}});
    const std::string whole = testenv::readFile(bundle_);
    ASSERT_TRUE(unpackFile(bundle_)) << error_;
    fs::remove_all(out_);

    std::string damaged = whole;
    damaged[damaged.size() / 2] ^= 0x55;
    for (const std::string& bytes : {whole.substr(0, whole.size() / 2), damaged,
                                     std::string("not a bundle at all"), std::string()}) {
        const std::string file = dir_.file("bad");
        testenv::writeFile(file, bytes);
        EXPECT_FALSE(unpackFile(file)) << bytes.size();
        EXPECT_FALSE(testenv::exists(out_));
        fs::remove(file);
    }
    EXPECT_EQ(leftovers(), std::vector<std::string>{"proxyClient"});

    // A plain tar is accepted too; a folder that is not empty is never replaced.
    ASSERT_TRUE(unpack({{"./a.log", AE_IFREG, "x"}}, false)) << error_;
    EXPECT_FALSE(unpack({{"./b.log", AE_IFREG, "y"}}));
    EXPECT_EQ(testenv::readFile(out_ + "/a.log"), "x");
    EXPECT_FALSE(testenv::exists(out_ + "/b.log"));
}

}  // namespace
