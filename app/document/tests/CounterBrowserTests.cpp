#include "document/CounterBrowser.h"

#include "pdh/pdh.h"

#include <gtest/gtest.h>

namespace {

QString Machine() {
    return QStringLiteral("\\\\") + QString::fromStdU16String(zyn::pdh::LocalMachineName());
}

TEST(CounterBrowser, BuildsOnePathPerCounterAndInstanceInListOrder) {
    QStringList handed;
    CounterBrowseConfig config;
    config.callback = [&](const QStringList& paths) {
        handed += paths;
        return 0;
    };
    CCounterBrowser browser(config);
    EXPECT_EQ(browser.windowTitle(), QStringLiteral("Add Channels to Chart"));
    ASSERT_TRUE(browser.SelectObject(QStringLiteral("Processor")));
    ASSERT_TRUE(browser.Instances().contains(QStringLiteral("_Total")));
    ASSERT_TRUE(browser.SelectCounters({QStringLiteral("% Processor Time"), QStringLiteral("% User Time")}));
    EXPECT_FALSE(browser.ExplainText().isEmpty()) << "the current counter's explain text shows";
    ASSERT_TRUE(browser.SelectInstances({QStringLiteral("_Total")}));
    browser.AddSelected();
    const QString p = Machine() + QStringLiteral("\\Processor(_Total)\\");
    EXPECT_EQ(handed,
              QStringList({p + QStringLiteral("% Processor Time"), p + QStringLiteral("% User Time")}));
    for (const QString& path : handed) {
        EXPECT_EQ(PdhValidatePathW(reinterpret_cast<LPCWSTR>(path.utf16())), PDH_CSTATUS_VALID_DATA)
            << path.toStdString();
    }

    handed.clear();
    browser.SetAllInstances(true);
    ASSERT_TRUE(browser.SelectCounters({QStringLiteral("% Processor Time")}));
    browser.AddSelected();
    EXPECT_EQ(handed.size(), browser.Instances().size()) << "every instance, _Total included";
}

TEST(CounterBrowser, ObjectsWithoutInstancesAndDetailFiltering) {
    QStringList handed;
    CounterBrowseConfig config;
    config.callback = [&](const QStringList& paths) {
        handed += paths;
        return 0;
    };
    CCounterBrowser browser(config);
    ASSERT_TRUE(browser.SelectObject(QStringLiteral("Memory")));
    EXPECT_TRUE(browser.Instances().isEmpty());
    ASSERT_TRUE(browser.SelectCounters({QStringLiteral("Available MBytes")}));
    browser.AddSelected();
    EXPECT_EQ(handed, QStringList({Machine() + QStringLiteral("\\Memory\\Available MBytes")}));

    const QStringList wizard = browser.Counters();
    CounterBrowseConfig novice;
    novice.detailLevel = PERF_DETAIL_NOVICE;
    CCounterBrowser small(novice);
    ASSERT_TRUE(small.SelectObject(QStringLiteral("Memory")));
    EXPECT_LE(small.Counters().size(), wizard.size());
    for (const QString& c : small.Counters())
        EXPECT_TRUE(wizard.contains(c));
}

} // namespace
