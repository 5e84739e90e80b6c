#include "document/NumberedSettings.h"

#include <gtest/gtest.h>

TEST(NumberedSettings, AbsentNumbersReadTheirDefaults) {
    CNumberedSettings s;
    EXPECT_EQ(s.Get(CNumberedSettings::kBroadcastSelection), 1u);
    EXPECT_EQ(s.Get(CNumberedSettings::kRecentFileCount), 8u);
    EXPECT_EQ(s.Get(CNumberedSettings::kCounterDetail), 2u);
    EXPECT_EQ(s.Get(CNumberedSettings::kExpertMode), 0u);
    EXPECT_EQ(s.Get(CNumberedSettings::kMajorTickLength), 0u); // no default: 0
    s.Set(CNumberedSettings::kCounterDetail, 3);
    EXPECT_EQ(s.Get(CNumberedSettings::kCounterDetail), 3u);
    EXPECT_EQ(s.Increment(CNumberedSettings::kAddChannelUses), 1u);
    EXPECT_EQ(s.Increment(CNumberedSettings::kAddChannelUses), 2u);
    s.Close();
    EXPECT_EQ(s.Get(CNumberedSettings::kCounterDetail), 2u) << "a closed store reads defaults only";
}

TEST(NumberedSettings, PackedFormRoundTripsAndDamagedFormsLeaveValuesAlone) {
    CNumberedSettings a;
    a.Set(122, 1);
    a.Set(10005, 14);
    a.Set(0xFFFFFFFF, 0x80000000);
    const auto bytes = a.Pack();
    ASSERT_EQ(bytes.size(), 4u + 3 * 8);
    CNumberedSettings b;
    ASSERT_TRUE(b.Unpack(bytes.data(), bytes.size()));
    EXPECT_EQ(b.Get(122), 1u);
    EXPECT_EQ(b.Get(10005), 14u);
    EXPECT_EQ(b.Get(0xFFFFFFFF), 0x80000000u);

    CNumberedSettings c;
    c.Set(123, 0);
    EXPECT_FALSE(c.Unpack(bytes.data(), bytes.size() - 1)) << "cut short";
    std::vector<std::uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_FALSE(c.Unpack(huge.data(), huge.size())) << "announces more than it holds";
    EXPECT_FALSE(c.Unpack(nullptr, 0));
    EXPECT_EQ(c.Get(123), 0u);
}

TEST(NumberedSettings, SurviveARestartThroughTheSettingsStore) {
    {
        CNumberedSettings s;
        s.Set(CNumberedSettings::kExpertMode, 1);
        s.Set(CNumberedSettings::kAddChannelUses, 42);
        ASSERT_TRUE(s.Save());
    }
    CNumberedSettings t;
    ASSERT_TRUE(t.Load());
    EXPECT_EQ(t.Get(CNumberedSettings::kExpertMode), 1u);
    EXPECT_EQ(t.Get(CNumberedSettings::kAddChannelUses), 42u);
    CNumberedSettings().Save(); // leave an empty store for other tests
}
