// Runs single collection steps against a fresh sandbox, in a collector started as a request would.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "collector/infoNLogsCollector.h"
#include "support/DescriptorLeakCheck.h"
#include "support/RequestHarness.h"
#include "support/TarListing.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"
#include "tooling/SandboxDiagnostics.h"

struct CollectorTestAccess {
    static void setBundle(infoNLogsCollector& c, const std::string& bundle) {
        c.bundleFile = bundle;
    }
    static time_t startTime(const infoNLogsCollector& c) { return c.startTime; }
};

namespace steptest {

struct StepRequest {
    unsigned clientId = 0;
    unsigned long options = 0, extraOptions = 0;
    std::string cassandraFiles;
    const MsgInternetOptions* internetOptions = nullptr;
};

struct StepResult {
    std::vector<std::string> members;  // of the bundle after the step
    std::string bundle;                // its path (gone after teardown)
    time_t startTime = 0;
};

class StepTest : public ::testing::Test {
  protected:
    void enable(const std::string& name) { sandbox_.enable(name); }
    std::string path(const std::string& relative) const { return dir_ + "/" + relative; }
    std::string log() const { return sandbox_.log(); }

    // Runs step in a fresh collector and lists its bundle; inspect sees it before teardown.
    StepResult run(void (infoNLogsCollector::*step)(), const StepRequest& request,
                   const std::function<void(const std::string&)>& inspect = nullptr) {
        StepResult result;
        CTeSocket libraryEnd, requesterEnd;
        EXPECT_FALSE(CTeSocket::createPair(libraryEnd, requesterEnd).IsError());
        CWyNetwork network(libraryEnd);
        const std::string patterns = scratch_.file("patterns");
        infoNLogsCollector collector(&libraryEnd, 0, request.clientId, 0, {}, 0, 0, request.options,
                                     request.extraOptions, {}, {}, {}, {}, {}, {}, "client01", 0,
                                     "", &network, patterns.c_str(), request.internetOptions,
                                     request.cassandraFiles);
        collector.init();
        result.startTime = CollectorTestAccess::startTime(collector);
        result.bundle = collector.supportDir() + "/logFiles_" +
                        std::to_string(static_cast<int>(result.startTime)) + ".tar";
        CollectorTestAccess::setBundle(collector, result.bundle);
        (collector.*step)();
        result.members = tartest::members(result.bundle);
        if (inspect) inspect(result.bundle);
        collector.uninitialize();
        return result;
    }

    harness::Sandbox sandbox_{{}, 64 << 10};
    const testenv::TempDir& scratch_ = sandbox_.scratch;
    const std::string dir_ = sandbox_.root;
};

}  // namespace steptest
