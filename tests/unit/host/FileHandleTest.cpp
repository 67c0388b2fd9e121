// The write and close seam: short writes, interrupted writes and a full disk.
#include <gtest/gtest.h>

#include <cerrno>

#include "host/FileHandle.h"
#include "support/TestEnv.h"

namespace {

TEST(FileHandle, InterruptedAndShortWritesAreFinishedFullDiskFails) {
    testenv::TempDir dir;
    const std::string path = dir.file("out");
    host::FileHandle file = host::FileHandle::open(path.c_str(), "w");
    ASSERT_TRUE(file);
    host::io::injectWriteFault(EINTR, 2);
    EXPECT_TRUE(file.write("abcdef", 6));  // two bytes, the signal, then the rest
    host::io::injectWriteFault(ENOSPC, 3);
    errno = 0;
    EXPECT_FALSE(file.write("ghijkl", 6));
    EXPECT_EQ(ENOSPC, errno);
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file);
    EXPECT_EQ("abcdefghi", testenv::readFile(path));
}

TEST(FileHandle, FailedCloseIsReportedAndTheStreamIsGone) {
    testenv::TempDir dir;
    host::FileHandle file = host::FileHandle::open(dir.file("out").c_str(), "w");
    ASSERT_TRUE(file.write("x", 1));
    host::io::injectCloseFault(EIO);
    EXPECT_FALSE(file.close());
    EXPECT_FALSE(file);
    EXPECT_FALSE(host::FileHandle::open(dir.file("no/such/dir").c_str(), "w"));
    host::io::clearFaults();
}

}  // namespace
