// PdhGetCounterInfoW: the size protocol and the contents stored after the struct.

#include "snapshot_fixture.h"

#include "pdh/catalog.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace zyn::pdh::test {
namespace {

TEST(CounterInfo, SizeProtocolAndContents) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER c = nullptr;
    ASSERT_EQ(PdhAddCounterW(query.Handle(), u"\\processor(1)\\% processor time", 42, &c), ERROR_SUCCESS);

    DWORD size = 0;
    ASSERT_EQ(PdhGetCounterInfoW(c, TRUE, &size, nullptr), PDH_MORE_DATA);
    ASSERT_GT(size, sizeof(PDH_COUNTER_INFO_W));
    std::vector<std::uint64_t> storage(size / 8 + 2);
    auto* info = reinterpret_cast<PDH_COUNTER_INFO_W*>(storage.data());
    DWORD small = size - 1;
    EXPECT_EQ(PdhGetCounterInfoW(c, TRUE, &small, info), PDH_MORE_DATA);
    EXPECT_EQ(small, size);
    ASSERT_EQ(PdhGetCounterInfoW(c, TRUE, &size, info), ERROR_SUCCESS);

    const auto* begin = reinterpret_cast<const char*>(info);
    auto inside = [&](const void* p) { return p >= begin + sizeof(PDH_COUNTER_INFO_W) && p < begin + size; };
    EXPECT_EQ(info->dwLength, size);
    EXPECT_EQ(info->dwType, PERF_100NSEC_TIMER);
    EXPECT_EQ(info->lDefaultScale, 0);
    EXPECT_EQ(info->dwUserData, 42u);
    EXPECT_EQ(info->dwQueryUserData, 7u);
    ASSERT_TRUE(inside(info->szFullPath));
    EXPECT_EQ(std::u16string(info->szFullPath),
              u"\\\\" + LocalMachineName() + u"\\Processor(1)\\% Processor Time");
    EXPECT_EQ(std::u16string(info->CounterPath.szMachineName), u"\\\\" + LocalMachineName());
    EXPECT_EQ(std::u16string(info->CounterPath.szObjectName), u"Processor");
    EXPECT_EQ(std::u16string(info->CounterPath.szInstanceName), u"1");
    EXPECT_EQ(info->CounterPath.szParentInstance, nullptr);
    EXPECT_EQ(info->CounterPath.dwInstanceIndex, 0u);
    EXPECT_EQ(std::u16string(info->CounterPath.szCounterName), u"% Processor Time");
    ASSERT_TRUE(inside(info->szExplainText));
    EXPECT_NE(std::u16string(info->szExplainText).find(u"How busy"), std::u16string::npos);

    DWORD withoutExplain = 0;
    ASSERT_EQ(PdhGetCounterInfoW(c, FALSE, &withoutExplain, nullptr), PDH_MORE_DATA);
    EXPECT_LT(withoutExplain, size);
    ASSERT_EQ(PdhGetCounterInfoW(c, FALSE, &withoutExplain, info), ERROR_SUCCESS);
    EXPECT_EQ(info->szExplainText, nullptr);
}

TEST(CounterInfo, ScaleOfAByteCounterAndBadArguments) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER c = query.Add(u"\\Memory\\Available Bytes");
    DWORD size = 0;
    ASSERT_EQ(PdhGetCounterInfoW(c, FALSE, &size, nullptr), PDH_MORE_DATA);
    std::vector<std::uint64_t> storage(size / 8 + 1);
    auto* info = reinterpret_cast<PDH_COUNTER_INFO_W*>(storage.data());
    ASSERT_EQ(PdhGetCounterInfoW(c, FALSE, &size, info), ERROR_SUCCESS);
    EXPECT_EQ(info->lDefaultScale, -6);
    EXPECT_EQ(info->CounterPath.szInstanceName, nullptr);
    EXPECT_EQ(PdhGetCounterInfoW(c, FALSE, nullptr, info), PDH_INVALID_ARGUMENT);
    EXPECT_EQ(PdhGetCounterInfoW(nullptr, FALSE, &size, info), PDH_INVALID_HANDLE);
}

bool Says(const std::u16string& text, std::u16string_view words) {
    return text.find(words) != std::u16string::npos;
}

// Charts read percentages capped at 100. A counter whose value can go past 100 (the processor time
// of a process or a group on several processors) must say how that shows, and no explain text may
// promise a value the chart never shows or speak of formatting flags the user never sees.
TEST(CounterInfo, ExplainTextsMatchTheCappedValuesChartsShow) {
    CSnapshotRoot root;
    root.Apply("snap1");
    for (const char16_t* object : {u"Process", u"Control Group"}) {
        for (const char16_t* counter :
             {u"% Processor Time", u"% User Time", u"% Privileged Time", u"% System Time"}) {
            for (const CounterDescription& c : ListCounters(object, PERF_DETAIL_WIZARD)) {
                if (c.name != counter) continue;
                EXPECT_TRUE(Says(c.explainText, u"at most 100"))
                    << std::string(c.name.begin(), c.name.end()) << " of an object on several processors";
            }
        }
    }
    int percentages = 0;
    for (const ObjectDescription& o : ListObjects(PERF_DETAIL_WIZARD, root.Config())) {
        EXPECT_FALSE(o.explainText.empty());
        for (const CounterDescription& c : ListCounters(o.name, PERF_DETAIL_WIZARD)) {
            const std::string name(c.name.begin(), c.name.end());
            EXPECT_FALSE(c.explainText.empty()) << name;
            EXPECT_FALSE(Says(c.explainText, u"PDH_FMT")) << name;
            const bool percent = c.type == PERF_100NSEC_TIMER || c.type == PERF_RAW_FRACTION;
            percentages += percent;
            for (const std::u16string_view promise :
                 {u"pass 100", u"exceed 100", u"over 100", u"above 100"}) {
                if (percent && Says(c.explainText, promise)) {
                    EXPECT_TRUE(Says(c.explainText, u"at most 100"))
                        << name << ": " << std::string(promise.begin(), promise.end());
                }
            }
        }
    }
    EXPECT_GT(percentages, 20);
}

// The explain texts are read by system administrators in the counter browser: they say what a
// counter measures in their words. Where the numbers come from and how they are combined belongs
// in the code's comments; a file path, a formula or a kernel field name in the dialog is noise.
TEST(CounterInfo, ExplainTextsSpeakPlainLanguage) {
    const std::regex jargon("/proc|/sys|\u0394|\u00b7|[\\^=+`]|" // paths, formulas, markup
                            "\\b[a-z]+_[a-z_]+\\b|"              // fields: procs_blocked, guest_nice
                            "\\b[A-Z][a-z]{2,}[A-Z]\\w*|\\b[A-Z][a-z][A-Z]{2,}|" // MemAvailable, VmRSS
                            "\\b[a-z]+\\.(current|max|stat)\\b|"                 // control files: memory.max
                            "PDH_|Windows");
    int texts = 0;
    const auto check = [&](std::string_view owner, std::string_view text) {
        ++texts;
        const std::string t(text);
        std::smatch m;
        EXPECT_FALSE(std::regex_search(t, m, jargon)) << owner << ": \"" << m.str() << "\" in: " << t;
    };
    for (const detail::ObjectDef* o : detail::AllObjects()) {
        check(o->name, o->explain);
        for (const detail::CounterDef& c : o->counters)
            check(std::string(o->name) + "\\" + std::string(c.name), c.explain);
    }
    EXPECT_GT(texts, 100);
}

} // namespace
} // namespace zyn::pdh::test
