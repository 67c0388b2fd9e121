// Per fuzz target: an aborting check (the fuzzer keeps the input) and a start-up without a log.
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
