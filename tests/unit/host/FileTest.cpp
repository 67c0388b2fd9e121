#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/File.h"
#include "host/FileHandle.h"
#include "support/TestEnv.h"

using namespace testenv;

TEST(Files, RecursiveRemoveDoesNotFollowLinks) {
    TempDir dir;
    writeFile(dir.file("outside/keep.txt"), "precious");
    writeFile(dir.file("tree/a/b/file.txt"), "x");
    ASSERT_EQ(symlink(dir.file("outside").c_str(), dir.file("tree/a/link").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("outside/keep.txt").c_str(), dir.file("tree/filelink").c_str()), 0);
    EXPECT_FALSE(CTeDirectory::Remove(dir.file("tree"), true, false).IsError());
    EXPECT_FALSE(exists(dir.file("tree")));
    EXPECT_EQ(readFile(dir.file("outside/keep.txt")), "precious");

    // A link given as the top folder is removed as a link.
    ASSERT_EQ(symlink(dir.file("outside").c_str(), dir.file("top").c_str()), 0);
    EXPECT_FALSE(CTeDirectory::Remove(dir.file("top"), true, false).IsError());
    EXPECT_TRUE(exists(dir.file("outside/keep.txt")));

    EXPECT_TRUE(CTeDirectory::Remove(dir.file("missing"), true, false).IsError());
    EXPECT_TRUE(CTeDirectory::Remove(dir.file("outside"), false, false).IsError());  // not empty
    EXPECT_FALSE(CTeDirectory::Remove(dir.mkdir("empty"), false, false).IsError());
    EXPECT_TRUE(CTeDirectory::Remove("/", true, false).IsError());
}

TEST(Files, CreateFolders) {
    TempDir dir;
    EXPECT_TRUE(CTeDirectory::Create(dir.file("a/b"), false).IsError());
    EXPECT_FALSE(CTeDirectory::Create(dir.file("a/b/c"), true).IsError());
    EXPECT_TRUE(CTeDirectory::Create(dir.file("a/b/c"), false).IsError());
    writeFile(dir.file("plain"), "");
    EXPECT_TRUE(CTeDirectory::Create(dir.file("plain"), true).IsError());
}

TEST(Files, MatchingFilesAndIterator) {
    TempDir dir;
    for (const char* name : {"wyd_2.log", "wyd.log", "b.txt", ".hidden.log", "sub/inner.log"})
        writeFile(dir.file(name), "");
    ASSERT_EQ(symlink("/", dir.file("rootlink").c_str()), 0);
    std::vector<std::string> found;
    EXPECT_FALSE(FXFile::GetMatchingFiles(dir.path(), "*.log", found, false).IsError());
    EXPECT_EQ(found, (std::vector<std::string>{dir.file(".hidden.log"), dir.file("wyd.log"),
                                               dir.file("wyd_2.log")}));
    found.clear();
    EXPECT_FALSE(FXFile::GetMatchingFiles(dir.path(), "*inner*", found, true).IsError());
    EXPECT_EQ(found, (std::vector<std::string>{dir.file("sub/inner.log")}));
    EXPECT_TRUE(FXFile::GetMatchingFiles(dir.file("missing"), "*", found, false).IsError());

    CSimpleFolderTreeIterator it;
    ASSERT_FALSE(it.Open(dir.path()).IsError());
    std::vector<std::string> folders, others;
    CSimpleFolderTreeIterator::Item item;
    while (!it.GetNextItem(item).IsError()) (item.isFolder ? folders : others).push_back(item.name);
    EXPECT_EQ(folders, (std::vector<std::string>{"sub"}));
    EXPECT_EQ(others, (std::vector<std::string>{".hidden.log", "b.txt", "rootlink", "wyd.log",
                                                "wyd_2.log"}));
}

TEST(Files, PathsAndStrings) {
    EXPECT_EQ(FXPath::Append("/a/", "/b", 0), "/a/b");
    EXPECT_EQ(FXPath::Append("/a", "b/c", 2), "/a/b/c");
    EXPECT_EQ(FXPath::Append("/", "x", 0), "/x");
    EXPECT_EQ(FXPath::Append("", "x", 0), "x");
    EXPECT_EQ(CTePath::GetBaseName("/var/log/wyd.log"), "wyd.log");
    EXPECT_EQ(CTePath::GetBaseName("wyd.log"), "wyd.log");
    EXPECT_EQ(CTePath::GetDirName("/var/log/wyd.log"), "/var/log");
    EXPECT_EQ(CTePath::GetDirName("/wyd.log"), "/");
    EXPECT_NE(FXString::FindString("Masked_Clientname_3", "CLIENTNAME", true), 0);
    EXPECT_EQ(FXString::FindString("Masked_Clientname_3", "CLIENTNAME", false), 0);
    EXPECT_TRUE(FXString::CompareLeft("* Hubmaster : x", "* Hubmaster"));
    EXPECT_EQ(FXString::Format("%s", std::string(5000, 'z').c_str()).size(), 5000u);
}

TEST(Files, CopySizeAndOpen) {
    TempDir dir;
    std::string data(200000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    writeFile(dir.file("src.bin"), data);
    chmod(dir.file("src.bin").c_str(), 0640);
    EXPECT_FALSE(CTeFile::Copy(dir.file("src.bin"), dir.file("dst.bin")).IsError());
    EXPECT_EQ(readFile(dir.file("dst.bin")), data);
    struct stat st;
    ASSERT_EQ(stat(dir.file("dst.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    unsigned long long size = 0;
    EXPECT_FALSE(FXFile::WYGetFileSize(dir.file("dst.bin"), size).IsError());
    EXPECT_EQ(size, data.size());

    EXPECT_TRUE(CTeFile::Copy(dir.file("nope"), dir.file("dst2")).IsError());
    EXPECT_FALSE(exists(dir.file("dst2")));
    EXPECT_TRUE(CTeFile::Copy(dir.path(), dir.file("dst3")).IsError());
    EXPECT_EQ(FXFile::WYCreateFile(dir.file("never")), nullptr);
    EXPECT_FALSE(exists(dir.file("never")));
    EXPECT_TRUE(FXFile::DoesFileExist(dir.file("dst.bin")));
    EXPECT_FALSE(FXFile::DoesFileExist(dir.path()));
    EXPECT_TRUE(FXFolder::DoesFolderExist(dir.path()));
}

TEST(Errors, BuildersCarryReasonAndNeverSucceed) {
    CTeError e = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, ENOENT, "cannot open [%s]", "x");
    EXPECT_EQ(e.GetErrorCode(), ENOENT);
    EXPECT_EQ(e.AsString(), "cannot open [x]: No such file or directory");
    EXPECT_TRUE(testenv::contains(e.Location(), "FileTest.cpp:"));
    EXPECT_TRUE(FXErrorUtil::ErrorErrNo("", 0, "errno was not set").IsError());
    EXPECT_TRUE(FXErrorUtil::ErrorWin32("", 0, "zero").IsError());
    EXPECT_EQ(FXErrorUtil::ErrorWin32("", 1, "warn %d", 1).GetErrorCode(), 1);
}

// The write and close seam: short writes, interrupted writes and a full disk.
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
    const host::FileHandle full = host::FileHandle::open("/dev/full", "w");
    EXPECT_FALSE(full && host::io::writeFd(fileno(full.get()), "x", 1));  // the descriptor path
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
