// Path syntax, parsing, making and validation.

#include "snapshot_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace zyn::pdh::test {
namespace {

struct Parsed {
    PDH_STATUS status;
    std::u16string machine, object, instance, parent, counter;
    DWORD index = 0;
};

Parsed Parse(const std::u16string& path) {
    Parsed out{};
    DWORD size = 0;
    out.status = PdhParseCounterPathW(path.c_str(), nullptr, &size, 0);
    if (out.status != PDH_MORE_DATA) return out;
    std::vector<std::uint64_t> storage(size / 8 + 1);
    auto* e = reinterpret_cast<PDH_COUNTER_PATH_ELEMENTS_W*>(storage.data());
    out.status = PdhParseCounterPathW(path.c_str(), e, &size, 0);
    auto s = [](LPCWSTR p) { return p ? std::u16string(p) : std::u16string(u"<null>"); };
    out.machine = s(e->szMachineName);
    out.object = s(e->szObjectName);
    out.instance = s(e->szInstanceName);
    out.parent = s(e->szParentInstance);
    out.counter = s(e->szCounterName);
    out.index = e->dwInstanceIndex;
    return out;
}

TEST(CounterPath, ParsesEveryPart) {
    const Parsed p = Parse(u"\\\\" + LocalMachineName() + u"\\Process(parent/bash#2)\\% Processor Time");
    ASSERT_EQ(p.status, ERROR_SUCCESS);
    EXPECT_EQ(p.machine, u"\\\\" + LocalMachineName());
    EXPECT_EQ(p.object, u"Process");
    EXPECT_EQ(p.parent, u"parent");
    EXPECT_EQ(p.instance, u"bash");
    EXPECT_EQ(p.index, 2u);
    EXPECT_EQ(p.counter, u"% Processor Time");
}

TEST(CounterPath, MachineIsOptionalAndCounterNamesKeepSlashes) {
    const Parsed p = Parse(u"\\PhysicalDisk(_Total)\\Disk Read Bytes/sec");
    ASSERT_EQ(p.status, ERROR_SUCCESS);
    EXPECT_EQ(p.machine, u"\\\\" + LocalMachineName());
    EXPECT_EQ(p.instance, u"_Total");
    EXPECT_EQ(p.parent, u"<null>");
    EXPECT_EQ(p.index, 0u);
    EXPECT_EQ(p.counter, u"Disk Read Bytes/sec");
    EXPECT_EQ(Parse(u"\\Memory\\Available MBytes").instance, u"<null>");
}

TEST(CounterPath, MalformedPathsAreBadCounterNames) {
    for (const char16_t* bad :
         {u"", u"Memory\\Available MBytes", u"\\Memory", u"\\\\\\Memory\\X",
          u"\\Processor(0\\% Processor Time", u"\\Processor()\\% Processor Time",
          u"\\Process(bash#x)\\Thread Count", u"\\Processor(*)\\% Processor Time", u"\\Memory\\"}) {
        EXPECT_EQ(Parse(bad).status, PDH_CSTATUS_BAD_COUNTERNAME);
    }
}

TEST(CounterPath, MakeNeverWritesIndexZeroAndRoundTrips) {
    std::u16string object = u"Process", instance = u"bash", counter = u"Thread Count";
    PDH_COUNTER_PATH_ELEMENTS_W e{};
    e.szObjectName = object.data();
    e.szInstanceName = instance.data();
    e.szCounterName = counter.data();
    e.dwInstanceIndex = 0;
    DWORD size = 0;
    ASSERT_EQ(PdhMakeCounterPathW(&e, nullptr, &size, 0), PDH_MORE_DATA);
    std::u16string buffer(size, u'?');
    ASSERT_EQ(PdhMakeCounterPathW(&e, buffer.data(), &size, 0), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(buffer.c_str()), u"\\Process(bash)\\Thread Count");
    e.dwInstanceIndex = 3;
    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(PdhMakeCounterPathW(&e, buffer.data(), &size, 0), PDH_MORE_DATA) << "one character longer";
    buffer.assign(size, u'?');
    ASSERT_EQ(PdhMakeCounterPathW(&e, buffer.data(), &size, 0), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(buffer.c_str()), u"\\Process(bash#3)\\Thread Count");
}

class ValidateOnSnapshot : public ::testing::Test {
protected:
    void SetUp() override { root.Apply("snap1"); }
    PDH_STATUS Validate(const std::u16string& path) { return ValidatePath(path, root.Config()); }
    CSnapshotRoot root;
};

TEST_F(ValidateOnSnapshot, ReportsWhatIsWrong) {
    EXPECT_EQ(Validate(u"\\Processor(_Total)\\% Processor Time"), PDH_CSTATUS_VALID_DATA);
    EXPECT_EQ(Validate(u"\\processor(1)\\% processor time"), PDH_CSTATUS_VALID_DATA) << "names ignore case";
    EXPECT_EQ(Validate(u"\\\\" + LocalMachineName() + u"\\Memory\\Available MBytes"), PDH_CSTATUS_VALID_DATA);
    EXPECT_EQ(Validate(u"\\\\localhost\\Memory\\Available MBytes"), PDH_CSTATUS_VALID_DATA);
    EXPECT_EQ(Validate(u"\\\\no-such-host-zyn\\Memory\\Available MBytes"), PDH_CSTATUS_NO_MACHINE);
    EXPECT_EQ(Validate(u"\\Nothing\\Available MBytes"), PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(Validate(u"\\Memory\\Nothing"), PDH_CSTATUS_NO_COUNTER);
    EXPECT_EQ(Validate(u"\\Processor(7)\\% Processor Time"), PDH_CSTATUS_NO_INSTANCE);
    EXPECT_EQ(Validate(u"\\Processor\\% Processor Time"), PDH_CSTATUS_NO_INSTANCE);
    EXPECT_EQ(Validate(u"\\Memory(x)\\Available MBytes"), PDH_CSTATUS_NO_INSTANCE);
    EXPECT_EQ(Validate(u"Memory"), PDH_CSTATUS_BAD_COUNTERNAME);
}

TEST(Validate, CApiUsesTheProcessWideRoots) {
    EXPECT_EQ(PdhValidatePathW(u"\\Memory\\Available MBytes"), PDH_CSTATUS_VALID_DATA);
    EXPECT_EQ(PdhValidatePathW(u"\\Memory\\No Such Counter"), PDH_CSTATUS_NO_COUNTER);
    EXPECT_EQ(PdhValidatePathW(nullptr), PDH_INVALID_ARGUMENT);
}

} // namespace
} // namespace zyn::pdh::test
