// Included once by each fuzz target: checks that abort (so that the fuzzer keeps the input)
// and a start-up that discards the library's log, to which most inputs would add lines.
#pragma once

#include <cstdlib>

#include "host/Log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    host::setLogFilePath("");
    return 0;
}

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace
