// Application instances of a client as the registry records them (an instance's own values
// are read by the Sybase step's tests).
#include <gtest/gtest.h>

#include "host/Applications.h"
#include "support/TestEnv.h"

namespace {

TEST(Applications, InstancesOfOneTypeAndClientInIdOrder) {
    testenv::RegistryFixture registry;
    registry.setString("Base", "sPhysicalMachine", "client01");
    registry.setString("Clients/1", "sClientName", "other");  // listed first, another machine
    registry.setString("Clients/2", "sClientName", "client01");
    auto instance = [&](const char* id, long long client, long long type, const char* name) {
        const std::string key = std::string("Applications/") + id;
        registry.setNumber(key, "nClientId", client);
        registry.setNumber(key, "nAppType", type);
        registry.setString(key, "sInstanceName", name);
    };
    instance("12", 2, 5, "SYB2");
    instance("9", 2, 5, "SYB1");
    instance("10", 2, 3, "ORA1");  // another application type
    instance("11", 7, 5, "SYB7");  // another client

    ClientApplicationList list;
    std::vector<unsigned long> ids;
    std::vector<std::string> names;
    ASSERT_EQ(list.getInstanceList(0, 5, ids, names, nullptr, 1), 0);  // 0: this machine
    EXPECT_EQ(ids, (std::vector<unsigned long>{9, 12}));
    EXPECT_EQ(names, (std::vector<std::string>{"SYB1", "SYB2"}));
    ids.clear();
    names.clear();
    ASSERT_EQ(list.getInstanceList(7, 5, ids, names, nullptr, 1), 0);
    EXPECT_EQ(ids, std::vector<unsigned long>{11});
}

}  // namespace
