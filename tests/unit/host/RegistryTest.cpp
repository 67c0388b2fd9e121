#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <tuple>

#include "host/Applications.h"
#include "host/Registry.h"
#include "support/TestEnv.h"

using namespace testenv;

namespace {

host::RegValue str(const std::string& text) {
    return regValue(host::RegType::String, text);
}

}  // namespace

TEST(Registry, TypedValuesRoundTripAndDamagedFilesAreNoValue) {
    RegistryFixture registry;
    using T = host::RegType;
    const host::RegValue raw{
        T::Raw, "", 0, {}, 3, std::string("\x00\xff\n#type 3", 10) + std::string(100, 'z')};
    // Texts that look like numbers or headers, and edge whitespace, keep their type and text.
    std::vector<host::RegValue> values = {raw, regValue(T::ExpandString, "%HOME%/x\n42"),
                                          regValue(T::DWordBigEndian, "", 258),
                                          regValue(T::QWord, "", 7)};
    for (const std::string text :
         {"", "plain", "42", "-7", "#multi", "#string", "a\nb", "ends\n", "\n", " 5 "})
        values.push_back(str(text));
    for (long long n : {0LL, -1LL, 1234567890123LL, LLONG_MIN, LLONG_MAX})
        values.push_back(regValue(T::Number, "", n));
    for (const auto& list : std::vector<std::vector<std::string>>{
             {}, {""}, {"a", "", "c"}, {"#multi", "42"}, {"/path one", "/path two"}})
        values.push_back(regValue(T::MultiString, "", 0, list));
    const std::string file = registry.keyPath("Test") + "/v";
    auto fields = [](const host::RegValue& r) {
        return std::tie(r.type, r.text, r.number, r.strings, r.bytes);
    };
    for (const host::RegValue& v : values) {
        ASSERT_TRUE(host::writeRegValue(file, v));
        host::RegValue back;
        ASSERT_TRUE(host::readRegValue(file, back));
        EXPECT_TRUE(fields(back) == fields(v)) << v.text;
    }
    EXPECT_FALSE(host::writeRegValue(file, regValue(T::MultiString, "", 0, {"two\nlines"})));
    // A marker whose content does not read is no value at all.
    for (const char* text :
         {"#type x\n00", "#type 3\n0g", "#type 3\nabc", "#dword-be\n99999999999"}) {
        writeFile(file, text);
        host::RegValue back;
        EXPECT_FALSE(host::readRegValue(file, back)) << text;
    }
}

TEST(Registry, HandWrittenFilesAreRead) {
    RegistryFixture registry;
    writeFile(registry.keyPath("Base") + "/nPlatformType", "2\n");
    writeFile(registry.keyPath("Base") + "/sProductVersion", "11.40");
    writeFile(registry.keyPath("FileSystemAgent") + "/mSIDBAccessPaths", "#multi\n/s1\n/s2");
    WYPlatformInfo info;
    EXPECT_EQ(info.getWYPlatformType(), 2u);
    WYPI_Base base;
    ASSERT_NE(base.getVersion(), nullptr);
    EXPECT_STREQ(base.getVersion(), "11.40");
    std::vector<std::string> paths;
    EXPECT_EQ(WYPI_FileSystemAgent().getAllSIDBAccessPath(paths), 0);
    EXPECT_EQ(paths, (std::vector<std::string>{"/s1", "/s2"}));
    writeFile(registry.keyPath("Base") + "/sEmpty", "\n");  // an empty text, not a number
    host::RegValue empty;
    ASSERT_TRUE(host::readRegValue(registry.keyPath("Base") + "/sEmpty", empty));
    EXPECT_EQ(empty.type, host::RegType::String);
    // A value that is a FIFO reads as missing, without waiting for a writer.
    ASSERT_EQ(mkfifo((registry.keyPath("Base") + "/sJobResultsDir").c_str(), 0600), 0);
    std::string text = "unchanged";
    EXPECT_FALSE(info.getString("Base", "sJobResultsDir", text));
}

TEST(Registry, InstanceFocus) {
    RegistryFixture registry("Instance001");
    registry.setString("Base", "sPhysicalMachine", "one");
    ASSERT_TRUE(host::setRegString("Instance002", "Base", "sPhysicalMachine", "two"));
    EXPECT_STREQ(WYPI_Focus::getFocus(), "Instance001");
    WYPlatformInfo info;
    EXPECT_STREQ(info.getPhysicalMachine(), "one");
    info.setFocus("Instance002");
    EXPECT_STREQ(info.getPhysicalMachine(), "two");
    info.setFocus("Instance003");
    EXPECT_EQ(info.getPhysicalMachine(), nullptr);

    ScopedEnv noInstance("ORVION_INSTANCE");
    EXPECT_STREQ(WYPI_Focus::getFocus(), "Instance001");  // the default
    writeFile(registry.root() + "/CurrentInstance", "Instance002 \t\n");
    EXPECT_STREQ(WYPI_Focus::getFocus(), "Instance002");
    writeFile(registry.root() + "/CurrentInstance", "../escape\n");
    EXPECT_STREQ(WYPI_Focus::getFocus(), "Instance001");
}

TEST(Registry, GetStringRespectsTheBufferAndReadsFresh) {
    RegistryFixture registry;
    registry.setString("Base", "dORVIONHOME", "123456789");
    WYPlatformInfo info;
    char buffer[10];
    int size = sizeof buffer;
    EXPECT_NE(info.getString("Base", "dORVIONHOME", buffer, size), 0);
    EXPECT_EQ(size, 9);
    EXPECT_STREQ(buffer, "123456789");

    registry.setString("Base", "dORVIONHOME", "1234567890");  // one byte too long
    size = sizeof buffer;
    EXPECT_EQ(info.getString("Base", "dORVIONHOME", buffer, size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_STREQ(buffer, "");

    std::string text;
    EXPECT_NE(info.getString("Base", "dORVIONHOME", text), 0);
    EXPECT_EQ(text, "1234567890");
    size = sizeof buffer;
    EXPECT_EQ(info.getString("Base", "missing", buffer, size), 0);
}

TEST(Registry, NumbersFromTextAndRangeChecks) {
    RegistryFixture registry;
    registry.setString("Session", "ScrubMaxThreadCount", "12");
    registry.setNumber("Session", "negative", -3);
    registry.setString("Session", "word", "twelve");
    WYPlatformInfo info;
    long n = 0;
    unsigned long u = 99;
    EXPECT_NE(info.getNumber("Session", "ScrubMaxThreadCount", n), 0);
    EXPECT_EQ(n, 12);
    EXPECT_NE(info.getNumber("Session", "negative", n), 0);
    EXPECT_EQ(n, -3);
    EXPECT_EQ(info.getNumber("Session", "negative", u), 0);
    EXPECT_EQ(u, 99u);
    EXPECT_EQ(info.getNumber("Session", "word", n), 0);
    registry.setNumber("Session", "lowest", LLONG_MIN);  // the range's ends are in it
    EXPECT_NE(info.getNumber("Session", "lowest", n), 0);
    EXPECT_EQ(n, LONG_MIN);
    // A number reads as text too; a list of texts does not, whatever the buffer.
    std::string text;
    EXPECT_NE(info.getString("Session", "negative", text), 0);
    EXPECT_EQ(text, "-3");
    ASSERT_TRUE(host::writeRegValue(registry.keyPath("Session") + "/list",
                                    regValue(host::RegType::MultiString, "", 0, {"a"})));
    char buffer[16];
    int size = sizeof buffer;
    EXPECT_EQ(info.getString("Session", "list", buffer, size), 0);
    EXPECT_EQ(info.getString("Session", "list", text), 0);
}

TEST(Registry, AbsolutePathsAcceptBothSeparatorsAndStayInside) {
    RegistryFixture registry;
    const std::string odbc = registry.root() + "/SOFTWARE/ODBC/";
    ASSERT_TRUE(host::writeRegValue(odbc + "ODBC.INI/dsn/Driver", str("/usr/lib/odbc.so")));
    ASSERT_TRUE(host::writeRegValue(odbc + "ODBCINST.INI/Count", str("3")));
    registry.setString("Base", "sPhysicalMachine", "me");
    WYPlatformInfo info;
    std::vector<std::string> keys;
    EXPECT_NE(info.getRegSubKeysFromAbsPath("SOFTWARE\\ODBC", keys), 0);
    EXPECT_EQ(keys, (std::vector<std::string>{"ODBC.INI", "ODBCINST.INI"}));
    EXPECT_NE(info.getRegSubKeysFromAbsPath("SOFTWARE/Kestrav Systems/Orvion", keys), 0);
    EXPECT_EQ(keys, (std::vector<std::string>{"Instance001"}));

    std::map<std::string, host::RegValue> values;
    EXPECT_NE(info.getRegValues("SOFTWARE/ODBC/ODBC.INI/dsn", values), 0);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values["Driver"].text, "/usr/lib/odbc.so");
    host::RegValue v;
    EXPECT_NE(info.getRegValue("\\SOFTWARE\\ODBC\\ODBCINST.INI", "Count", v), 0);
    EXPECT_EQ(v.type, host::RegType::String);

    EXPECT_EQ(info.getRegValues("SOFTWARE/../..", values), 0);
    EXPECT_EQ(info.getRegSubKeysFromAbsPath("SOFTWARE/missing", keys), 0);
    EXPECT_FALSE(host::setRegString("Instance001", "../../outside", "v", "x"));
}

TEST(Registry, ClientsAndPackages) {
    RegistryFixture registry;
    registry.setString("InstalledPackages", "1139", "");
    registry.setString("InstalledPackages", "2", "");
    std::vector<int> ids;
    EXPECT_EQ(WYPlatformInfo().GetListOfInstalledPackages(ids), 0);
    EXPECT_EQ(ids, (std::vector<int>{1139, 2}));  // in name order

    registry.setString("Base", "sPhysicalMachine", "me");
    registry.setString("Base", "sClientHostName", "me.example.test");
    registry.setString("Clients/other", "sClientHostName", "other.example.test");
    WYPlatformInfo info;
    EXPECT_EQ(info.getClientHostName("me"), "me.example.test");
    EXPECT_EQ(info.getClientHostName("other"), "other.example.test");
    EXPECT_EQ(info.getClientHostName("../Clients/other"), "");
}

// A client's application instances (an instance's own values: the Sybase step's tests).
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
