// Included anywhere in a test program, fails every test that leaves more descriptors open
// than it found, so a descriptor the code forgets to close shows at the test that leaked it.
#pragma once

#include <gtest/gtest.h>

#include "host/Log.h"
#include "support/TestEnv.h"

namespace testenv {

class DescriptorLeakCheck : public ::testing::EmptyTestEventListener {
    // Open descriptors once the library log, which stays open between messages, is closed.
    static int openDescriptors() {
        host::setLogFilePath("");
        host::logFilePath();
        host::resetLogSettings();
        return countOpenFds();
    }
    void OnTestStart(const ::testing::TestInfo&) override { before_ = openDescriptors(); }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const int after = openDescriptors();
        if (after > before_) ADD_FAILURE() << after - before_ << " descriptor(s) left open";
    }
    int before_ = 0;
};

inline const bool descriptorLeakCheck = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new DescriptorLeakCheck);
    return true;
}();

}  // namespace testenv
