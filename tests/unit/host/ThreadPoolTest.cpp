#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

#include "host/Log.h"
#include "host/ThreadPool.h"

namespace {

std::atomic<int> g_done{0};

void* count(void*) {
    ++g_done;
    return nullptr;
}

void* throwing(void*) {
    throw std::runtime_error("worker failure");
}

void* blockOn(void* arg) {
    static_cast<std::shared_future<void>*>(arg)->wait();
    ++g_done;
    return nullptr;
}

}  // namespace

TEST(ThreadPool, RunsEverythingAndSurvivesThrowingWork) {
    host::setLogFilePath("");  // the failures are logged; keep the test output clean
    g_done = 0;
    WyThreadPool pool;
    EXPECT_FALSE(pool.doWork(count, nullptr));  // not started yet
    ASSERT_TRUE(pool.initThreadPool("test", 0, 1, 4, 0));
    EXPECT_EQ(pool.threadCount(), 4);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(pool.doWork(count, nullptr));
        if (i % 10 == 0) {
            ASSERT_TRUE(pool.doWork(throwing, nullptr));
        }
    }
    EXPECT_TRUE(pool.waitForAllThreads(true, true, true, 0));
    EXPECT_EQ(g_done, 1000);
    host::resetLogSettings();
}

// A wait times out while work is busy; destruction still finishes the queued work.
TEST(ThreadPool, WaitTimesOutWhileWorkIsBusyAndDestructionFinishesTheQueue) {
    g_done = 0;
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    {
        WyThreadPool pool;
        ASSERT_TRUE(pool.initThreadPool("test", 0, 1, 1, 0));
        ASSERT_TRUE(pool.doWork(blockOn, &gate));
        for (int i = 0; i < 50; ++i) ASSERT_TRUE(pool.doWork(count, nullptr));
        EXPECT_FALSE(pool.waitForAllThreads(true, true, true, 1));
        release.set_value();
    }
    EXPECT_EQ(g_done, 51);
}
