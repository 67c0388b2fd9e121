// The host's sleep: blocks the calling thread for a number of milliseconds. The caller's
// source position travels along for the host's diagnostics.
#pragma once

#include <functional>

void TESLEEP_InTeRnAl(unsigned long milliseconds, const char* file, int line);
#define TESLEEP(milliseconds) TESLEEP_InTeRnAl((milliseconds), __FILE__, __LINE__)

namespace host {
namespace testing {
// Test-only: while set, every sleep of the process is handed to the observer instead of
// blocking (a test of retries checks the waits asked for without spending them). Empty:
// sleeps block again. Never set outside tests.
using SleepObserver = std::function<void(unsigned long milliseconds)>;
void interceptSleeps(SleepObserver observer);
}  // namespace testing
}  // namespace host
