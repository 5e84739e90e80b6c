// Enumeration for the counter browser: detail levels, instances and the multi-string protocol.

#include "snapshot_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zyn::pdh::test {
namespace {

std::vector<std::u16string> SplitMulti(const std::u16string& buffer) {
    std::vector<std::u16string> out;
    std::size_t i = 0;
    while (i < buffer.size() && buffer[i] != u'\0') {
        const std::size_t end = buffer.find(u'\0', i);
        out.push_back(buffer.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

bool Contains(const std::vector<std::u16string>& list, const std::u16string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

TEST(Enumeration, CountersFollowTheDetailLevel) {
    auto names = [](DWORD level) {
        std::vector<std::u16string> out;
        for (const auto& c : ListCounters(u"Processor", level)) {
            EXPECT_LE(c.detailLevel, level);
            EXPECT_FALSE(c.explainText.empty()) << std::string(c.name.begin(), c.name.end());
            out.push_back(c.name);
        }
        return out;
    };
    const auto novice = names(PERF_DETAIL_NOVICE);
    const auto wizard = names(PERF_DETAIL_WIZARD);
    EXPECT_TRUE(Contains(novice, u"% Processor Time"));
    EXPECT_FALSE(Contains(novice, u"% Steal Time"));
    EXPECT_TRUE(Contains(wizard, u"% Steal Time"));
    EXPECT_LT(novice.size(), wizard.size());
    EXPECT_TRUE(ListCounters(u"No Such Object", PERF_DETAIL_WIZARD).empty());
}

TEST(Enumeration, InstancesOfTheSnapshot) {
    CSnapshotRoot root;
    root.Apply("snap1");
    EXPECT_EQ(ListInstances(u"Processor", root.Config()),
              (std::vector<std::u16string>{u"0", u"1", u"_Total"}));
    EXPECT_TRUE(ListInstances(u"Memory", root.Config()).empty());
    const auto objects = ListObjects(PERF_DETAIL_WIZARD, root.Config());
    ASSERT_GE(objects.size(), 3u);
    EXPECT_EQ(objects[0].name, u"Processor");
    EXPECT_TRUE(objects[0].hasInstances);
    EXPECT_FALSE(objects[0].explainText.empty());
}

TEST(Enumeration, MultiStringSizeProtocol) {
    DWORD size = 0;
    ASSERT_EQ(PdhEnumObjectsW(nullptr, nullptr, nullptr, &size, PERF_DETAIL_WIZARD, FALSE), PDH_MORE_DATA);
    std::u16string buffer(size, u'?');
    DWORD small = size - 1;
    EXPECT_EQ(PdhEnumObjectsW(nullptr, nullptr, buffer.data(), &small, PERF_DETAIL_WIZARD, FALSE),
              PDH_MORE_DATA);
    ASSERT_EQ(PdhEnumObjectsW(nullptr, nullptr, buffer.data(), &size, PERF_DETAIL_WIZARD, FALSE),
              ERROR_SUCCESS);
    EXPECT_EQ(buffer[size - 1], u'\0');
    EXPECT_EQ(buffer[size - 2], u'\0');
    const auto objects = SplitMulti(buffer);
    EXPECT_TRUE(Contains(objects, u"Processor"));
    EXPECT_TRUE(Contains(objects, u"Memory"));

    DWORD counterSize = 0, instanceSize = 0;
    ASSERT_EQ(PdhEnumObjectItemsW(nullptr, nullptr, u"Processor", nullptr, &counterSize, nullptr,
                                  &instanceSize, PERF_DETAIL_NOVICE, 0),
              PDH_MORE_DATA);
    std::u16string counters(counterSize, u'?'), instances(instanceSize, u'?');
    ASSERT_EQ(PdhEnumObjectItemsW(nullptr, nullptr, u"Processor", counters.data(), &counterSize,
                                  instances.data(), &instanceSize, PERF_DETAIL_NOVICE, 0),
              ERROR_SUCCESS);
    EXPECT_TRUE(Contains(SplitMulti(counters), u"% Processor Time"));
    EXPECT_FALSE(Contains(SplitMulti(counters), u"% Steal Time"));
    EXPECT_TRUE(Contains(SplitMulti(instances), u"_Total"));

    counterSize = instanceSize = 0;
    EXPECT_EQ(PdhEnumObjectItemsW(nullptr, nullptr, u"No Such", nullptr, &counterSize, nullptr, &instanceSize,
                                  PERF_DETAIL_NOVICE, 0),
              PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(PdhEnumObjectsW(nullptr, u"\\\\elsewhere-zyn", nullptr, &size, PERF_DETAIL_WIZARD, FALSE),
              PDH_CSTATUS_NO_MACHINE);
}

} // namespace
} // namespace zyn::pdh::test
