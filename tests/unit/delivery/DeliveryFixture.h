// Delivery tests' set-up: a registry, the library log in a file, a recording gateway, no sleeps.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Gateway.h"
#include "host/Sleep.h"
#include "support/DescriptorLeakCheck.h"
#include "support/TestEnv.h"

namespace deliverytest {

constexpr size_t kMiB = 1024 * 1024;

struct Call {
    std::string name;
    std::vector<std::string> args;
};

class DeliveryTest : public ::testing::Test {
  protected:
    DeliveryTest()
        : logFile_(dir_.file("library.log")),
          logEnv_("SENDLOGS_LOG_FILE", logFile_),
          levelEnv_("SENDLOGS_LOG_LEVEL", "10") {
        host::testing::interceptSleeps([this](unsigned long ms) { sleeps_.push_back(ms); });
    }
    ~DeliveryTest() override {
        host::testing::interceptSleeps(nullptr);
        host::gateway::setRecorderForTests(nullptr);
    }

    // Records gateway calls; fail(name, n, argPart) fails the next n calls of name holding argPart.
    void record() {
        host::gateway::setRecorderForTests(
            [this](const std::string& name,
                   const std::vector<std::string>& args) -> std::optional<host::gateway::Answer> {
                calls_.push_back({name, args});
                for (auto& f : failures_) {
                    if (f.name != name || f.count == 0 ||
                        (!f.argPart.empty() && args.at(0).find(f.argPart) == std::string::npos))
                        continue;
                    --f.count;
                    return host::gateway::Answer{-1, 7, "arranged failure", f.message};
                }
                return host::gateway::Answer{};
            });
    }
    void fail(const std::string& name, int count, const std::string& message = "",
              const std::string& argPart = "") {
        failures_.push_back({name, count, message, argPart});
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& c : calls_) out.push_back(c.name);
        return out;
    }
    int count(const std::string& name) const {
        int n = 0;
        for (const auto& c : calls_) n += c.name == name;
        return n;
    }
    std::string log() const {
        return testenv::exists(logFile_) ? testenv::readFile(logFile_) : std::string();
    }

    testenv::RegistryFixture registry_;
    testenv::TempDir dir_{"delivery"};
    std::string logFile_;
    testenv::ScopedEnv logEnv_, levelEnv_;
    std::vector<Call> calls_;
    std::vector<unsigned long> sleeps_;

  private:
    struct Failure {
        std::string name;
        int count;
        std::string message, argPart;
    };
    std::vector<Failure> failures_;
};

// An internet options record for the given protocol (0 HTTP, 1 FTP).
inline MsgInternetOptions options(int protocol, const std::string& url, int partMb,
                                  const std::string& password = "pw") {
    MsgInternetOptions o{};
    o.protocol = protocol;
    o.ftpPassive = 1;
    o.partSizeMb = partMb;
    snprintf(o.httpServerHandler, sizeof o.httpServerHandler, "%s", "upload");
    snprintf(o.corvaneId, sizeof o.corvaneId, "%s", "corvane7");
    snprintf(o.uploadUrl, sizeof o.uploadUrl, "%s", url.c_str());
    snprintf(o.uploadUser, sizeof o.uploadUser, "%s", "uploader");
    snprintf(o.uploadPassword, sizeof o.uploadPassword, "%s", password.c_str());
    return o;
}

inline std::string makeFile(const std::string& path, size_t size) {
    std::string data(size, '\0');
    uint32_t x = 2463534242u;
    for (auto& c : data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    testenv::writeFile(path, data);
    return data;
}

}  // namespace deliverytest
