#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include "host/Process.h"
#include "support/TestEnv.h"

using namespace testenv;

TEST(Process, BigOutputOnBothPipesDoesNotDeadlock) {
    // stderr is filled first: a runner that reads only stdout until EOF would block forever.
    std::string out, err;
    int rc = WyProcess::system(
        "head -c 3000000 /dev/zero | tr '\\0' e >&2; head -c 2500000 /dev/zero | tr '\\0' o", &out,
        &err);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, std::string(2500000, 'o'));
    EXPECT_EQ(err, std::string(3000000, 'e'));
}

TEST(Process, ExitStatusesAndSignals) {
    std::string out;
    EXPECT_EQ(WyProcess::system("exit 3", nullptr, nullptr), 3);
    EXPECT_EQ(WyProcess::system("kill -9 $$", nullptr, nullptr), 128 + SIGKILL);
    EXPECT_EQ(WyProcess::system("no-such-program-xyz 2>/dev/null", nullptr, nullptr), 127);
    EXPECT_EQ(WyProcess::system("printf 'a b'", &out, nullptr), 0);
    EXPECT_EQ(out, "a b");
    EXPECT_EQ(WyProcess::system(nullptr, &out, nullptr), -1);
}

TEST(Process, TimeLimitKillsTheWholeGroup) {
    auto start = std::chrono::steady_clock::now();
    std::string out, err;
    // The background sleep keeps the output pipe open: only a group kill ends the wait.
    EXPECT_EQ(WyProcess::system("sleep 30 & echo started; wait", &out, &err, 1), -1);
    EXPECT_EQ(err, "timedout");
    EXPECT_EQ(out, "started\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A started process is waited for, with or without a limit, and killed and reaped with it.
TEST(Process, StartedProcessIsWaitedForAndReapedOnDestruction) {
    pid_t pid;
    {
        WyProcess child;
        char error[64];
        int code = 0;
        std::string text;
        ASSERT_TRUE(child.StartProcess("exit 5", error, sizeof error));
        ASSERT_TRUE(child.WaitForProcessToEnd(0, code, text));
        EXPECT_EQ(code, 5);
        ASSERT_TRUE(child.StartProcess("sleep 30", error, sizeof error));
        pid = child.GetPid();
        EXPECT_FALSE(child.WaitForProcessToEnd(1, code, text));
        EXPECT_EQ(text, "timedout");
        EXPECT_EQ(kill(pid, 0), -1) << "killed and reaped by the wait";
        ASSERT_TRUE(child.StartProcess("sleep 30", error, sizeof error));
        pid = child.GetPid();
    }
    // Killed and reaped: the pid no longer names a process (not even a zombie).
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(Process, NoDescriptorLeaksEitherWay) {
    int leaky = open("/dev/null", O_RDONLY);  // deliberately inheritable
    ASSERT_GE(leaky, 0);
    int before = countOpenFds();
    std::string out;
    for (int i = 0; i < 20; ++i) WyProcess::system("true", &out, &out);
    EXPECT_EQ(countOpenFds(), before);

    ASSERT_EQ(WyProcess::system("ls /proc/$$/fd", &out, nullptr), 0);
    EXPECT_EQ(splitLines(out), (std::vector<std::string>{"0", "1", "2"})) << out;
    close(leaky);
}

// With no descriptor left for the pipes the command does not run, and that is reported.
TEST(Process, NoDescriptorsForThePipesIsAFailure) {
    const int before = countOpenFds();
    const int lowest = open("/dev/null", O_RDONLY);
    close(lowest);
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = lowest + 2;  // room for /dev/null, not for a pipe beside it
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::string out;
    const int rc = WyProcess::system("echo ran", &out, nullptr);
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(countOpenFds(), before);
}

TEST(Process, QuotingKeepsHostileNamesOneWord) {
    TempDir dir;
    for (const std::string name :
         {"$(touch pwned)", "`touch pwned`", "it's", "a b  c", "line\nbreak", "-rf", "*", "\\", "",
          "~user", "x;touch pwned", "\"dq\"", "plain_name.log"}) {
        std::string out;
        ASSERT_EQ(WyProcess::system(("printf %s " + host::shellQuote(name)).c_str(), &out, nullptr),
                  0);
        EXPECT_EQ(out, name);
        if (name.empty()) continue;
        WyProcess::system(
            ("cd " + host::shellQuote(dir.path()) + " && touch -- " + host::shellQuote(name))
                .c_str(),
            nullptr, nullptr);
        EXPECT_TRUE(exists(dir.file(name))) << name;
    }
    EXPECT_FALSE(exists(dir.file("pwned")));
}
