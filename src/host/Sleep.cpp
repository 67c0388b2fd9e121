// The host's sleep and its test-only interception.
#include "host/Sleep.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {
std::mutex g_mutex;
host::testing::SleepObserver g_observer;
}  // namespace

void TESLEEP_InTeRnAl(unsigned long milliseconds, const char* file, int line) {
    host::testing::SleepObserver observer;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        observer = g_observer;
    }
    if (observer) {
        observer(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace host {
namespace testing {
void interceptSleeps(SleepObserver observer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_observer = std::move(observer);
}
}  // namespace testing
}  // namespace host
