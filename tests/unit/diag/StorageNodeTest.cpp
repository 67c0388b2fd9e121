// The storage node's script file: fresh, unpredictable, its owner's alone to change; owner lookup.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "diag/StorageNode.h"
#include "support/TestEnv.h"

namespace {

std::string userName(uid_t uid) {
    struct passwd* entry = getpwuid(uid);
    return entry ? entry->pw_name : "";
}

TEST(StorageNode, ScriptFileIsFreshPrivateAndOwnedByTheTargetUser) {
    const std::string name = "kolvra_test_" + std::to_string(getpid());
    // Something already at the old fixed name is neither used nor changed.
    testenv::writeFile("/tmp/" + name, "planted\n");
    const bool root = geteuid() == 0 && getpwnam("nobody") != nullptr;
    const std::string owner = root ? "nobody" : userName(geteuid());

    const std::string path = diag::writeCollectionScript(owner, name);
    ASSERT_EQ(path.rfind("/tmp/" + name + "_", 0), 0u) << path;
    EXPECT_EQ(path.size(), ("/tmp/" + name + "_XXXXXX").size());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0500u);
    EXPECT_EQ(userName(st.st_uid), owner);
    EXPECT_EQ(testenv::readFile(path), diag::collectionScript);
    EXPECT_EQ(testenv::readFile("/tmp/" + name), "planted\n");
    ::unlink(path.c_str());
    ::unlink(("/tmp/" + name).c_str());

    EXPECT_EQ(diag::writeCollectionScript("no-such-user-here", name), "");
}

TEST(StorageNode, OwnerName) {
    testenv::TempDir dir("owner");
    EXPECT_EQ(getOwnerName(dir.path()), userName(geteuid()));
    EXPECT_EQ(getOwnerName(dir.file("missing")), "");
}

}  // namespace
