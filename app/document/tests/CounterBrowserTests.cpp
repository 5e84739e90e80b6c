#include "document/CommonCounters.h"
#include "document/CounterBrowser.h"
#include "document/CounterInstances.h"

#include "pdh/pdh.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

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

// The name this process has among the Process instances.
QString OwnProcessName() {
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
}

bool Validates(const QString& path) {
    return PdhValidatePathW(reinterpret_cast<LPCWSTR>(path.utf16())) == PDH_CSTATUS_VALID_DATA;
}

TEST(CounterBrowser, SearchNarrowsObjectsCountersAndInstancesAsOneTypes) {
    QStringList handed;
    CounterBrowseConfig config;
    config.callback = [&](const QStringList& paths) {
        handed += paths;
        return 0;
    };
    CCounterBrowser browser(config);
    const QStringList everything = browser.Objects();
    ASSERT_TRUE(everything.contains(QStringLiteral("Network Interface")));

    // A counter's name finds its object, and the counter list keeps only what holds the text.
    browser.SearchBox()->setText(QStringLiteral("bytes total/SEC"));
    EXPECT_TRUE(browser.Objects().contains(QStringLiteral("Network Interface")));
    EXPECT_FALSE(browser.Objects().contains(QStringLiteral("Processor")));
    ASSERT_TRUE(browser.SelectObject(QStringLiteral("Network Interface")));
    EXPECT_EQ(browser.Counters(), QStringList({QStringLiteral("Bytes Total/sec")}));
    EXPECT_FALSE(browser.ExplainText().isEmpty()) << "the visible counter's text";

    // An instance's name finds its object: this process among the processes, shown with its id
    // while the path names it as counter paths do.
    const QString own = OwnProcessName();
    ASSERT_FALSE(own.isEmpty());
    browser.SearchBox()->setText(own);
    EXPECT_TRUE(browser.Objects().contains(QStringLiteral("Process")));
    ASSERT_TRUE(browser.SelectObject(QStringLiteral("Process")));
    ASSERT_FALSE(browser.Instances().isEmpty());
    for (const QString& instance : browser.Instances())
        EXPECT_TRUE(instance.contains(own, Qt::CaseInsensitive)) << instance.toStdString();
    const QString withPid = QStringLiteral("(PID %1)").arg(::getpid());
    const QStringList texts = browser.InstanceTexts();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const QString& t) {
        return t.startsWith(own) && t.endsWith(withPid);
    })) << texts.join(u',').toStdString();
    EXPECT_GT(browser.Counters().size(), 1) << "no counter holds the text, so all are offered";
    ASSERT_TRUE(browser.SelectCounters({QStringLiteral("% Processor Time")}));
    ASSERT_TRUE(browser.SelectInstances({browser.Instances().front()}));
    browser.AddSelected();
    ASSERT_EQ(handed.size(), 1);
    EXPECT_TRUE(handed.front().endsWith(QStringLiteral("\\Process(") + browser.Instances().front() +
                                        QStringLiteral(")\\% Processor Time")))
        << handed.front().toStdString();
    EXPECT_TRUE(Validates(handed.front())) << handed.front().toStdString();

    // Text nothing holds leaves nothing to add; clearing the box brings everything back.
    browser.SearchBox()->setText(QStringLiteral("no such thing 7f3a"));
    EXPECT_TRUE(browser.Objects().isEmpty());
    browser.SearchBox()->clear();
    EXPECT_EQ(browser.Objects(), everything);
    EXPECT_TRUE(browser.Instances().isEmpty() || browser.Instances().contains(QStringLiteral("_Total")));
}

TEST(CounterBrowser, ProcessesAreListedByNameWithTheTotalFirst) {
    QStringList names = {QStringLiteral("zsh"),    QStringLiteral("bash#10"), QStringLiteral("_Total"),
                         QStringLiteral("bash#2"), QStringLiteral("Bash"),    QStringLiteral("bash"),
                         QStringLiteral("apt")};
    std::sort(names.begin(), names.end(), ProcessInstanceBefore);
    EXPECT_EQ(names, QStringList({QStringLiteral("_Total"), QStringLiteral("apt"), QStringLiteral("Bash"),
                                  QStringLiteral("bash"), QStringLiteral("bash#2"), QStringLiteral("bash#10"),
                                  QStringLiteral("zsh")}));

    CounterBrowseConfig config;
    CCounterBrowser browser(config);
    ASSERT_TRUE(browser.SelectObject(QStringLiteral("Process")));
    const QStringList listed = browser.Instances();
    ASSERT_GT(listed.size(), 2);
    EXPECT_EQ(listed.front(), QStringLiteral("_Total"));
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end(), ProcessInstanceBefore));
}

TEST(CounterBrowser, CommonCountersCoverTheProcessorsMemoryEveryDiskAndInterface) {
    const QString machine = Machine();
    const QStringList paths = CommonCounterPaths(machine);
    ASSERT_GE(paths.size(), 2);
    EXPECT_EQ(paths[0], machine + QStringLiteral("\\Processor(_Total)\\% Processor Time"));
    EXPECT_EQ(paths[1], machine + QStringLiteral("\\Memory\\Available MBytes"));
    for (const QString& path : paths)
        EXPECT_TRUE(Validates(path)) << path.toStdString();
    const auto count = [&](const QString& part) {
        return std::count_if(paths.begin(), paths.end(), [&](const QString& p) { return p.contains(part); });
    };
    for (const std::u16string& disk : zyn::pdh::ListInstances(u"PhysicalDisk")) {
        const QString name = QString::fromStdU16String(disk);
        EXPECT_EQ(count(QStringLiteral("\\PhysicalDisk(%1)\\Disk Bytes/sec").arg(name)),
                  name == QLatin1String("_Total") ? 0 : 1)
            << name.toStdString();
    }
    for (const std::u16string& nic : zyn::pdh::ListInstances(u"Network Interface")) {
        const QString name = QString::fromStdU16String(nic);
        EXPECT_EQ(count(QStringLiteral("\\Network Interface(%1)\\Bytes Total/sec").arg(name)),
                  name == QLatin1String("lo") || name == QLatin1String("_Total") ? 0 : 1)
            << name.toStdString();
    }

    // The dialog's button hands them over; a dialog without a receiver has no such button.
    QStringList handed;
    CounterBrowseConfig config;
    config.commonCallback = [&](const QStringList& common) {
        handed = common;
        return 0;
    };
    CCounterBrowser browser(config);
    auto* button = browser.findChild<QPushButton*>(QStringLiteral("AddCommonCounters"));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(handed, paths);
    CounterBrowseConfig plain;
    CCounterBrowser without(plain);
    EXPECT_EQ(without.findChild<QPushButton*>(QStringLiteral("AddCommonCounters")), nullptr);
}

} // namespace
