#include "utils/ZynIdentifier.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>

namespace {

std::string Narrow(const char16_t* s) {
    std::string out;
    while (*s)
        out.push_back(static_cast<char>(*s++));
    return out;
}

TEST(CreateIdentifier, BracedGuidWithLowerCaseThirdGroup) {
    std::set<std::string> seen;
    const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    for (int i = 0; i < 200; ++i) {
        char16_t buf[128];
        ASSERT_TRUE(CreateIdentifier(buf, 128));
        std::string id = Narrow(buf);
        ASSERT_EQ(id.size(), 38u);
        EXPECT_TRUE(std::regex_match(id, form)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(CreateIdentifier, NeedsRoomForTheTerminator) {
    char16_t buf[64];
    EXPECT_FALSE(CreateIdentifier(buf, 37));
    EXPECT_FALSE(CreateIdentifier(buf, 38));
    EXPECT_FALSE(CreateIdentifier(nullptr, 128));
    buf[39] = u'#';
    EXPECT_TRUE(CreateIdentifier(buf, 39));
    EXPECT_EQ(buf[38], u'\0');
    EXPECT_EQ(buf[39], u'#');
}

TEST(CreateIdentifier, FallbackBytesDifferBetweenCalls) {
    int salt = 0;
    auto a = zyn::utils::int_FallbackIdentifierBytes(&salt);
    auto b = zyn::utils::int_FallbackIdentifierBytes(&salt);
    EXPECT_FALSE(a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3);
}

TEST(SetThreadName, LabelsTheCallingThread) {
    std::string comm;
    std::thread([&] {
        SetThreadName("ChrtNtfy", 0xFFFFFFFF);
        SetThreadName(nullptr, 0xFFFFFFFF); // ignored
        std::ifstream("/proc/thread-self/comm") >> comm;
    }).join();
    EXPECT_EQ(comm, "ChrtNtfy");
}

} // namespace
