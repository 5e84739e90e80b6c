// The counter browser's machine field against a real node_exporter: a remote machine's lists, the
// paths it hands over, the machines it remembers, and a machine that cannot be reached.

#include "document/CommonCounters.h"
#include "document/CounterBrowser.h"
#include "document/RememberedMachines.h"

#include "pdh/pdh.h"
#include "testing/PrometheusProcesses.h"
#include "testing/TempSettingsStore.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString LocalMachine() {
    return QStringLiteral("\\\\") + QString::fromStdU16String(zyn::pdh::LocalMachineName());
}

bool WaitForMachine(const CCounterBrowser& browser) {
    for (int waited = 0; waited < 15000 && !browser.MachineReady(); waited += 20)
        QTest::qWait(20);
    return browser.MachineReady();
}

// A local port on which nothing listens (bound, then closed).
int ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    ::close(s);
    // Port 1 (a privileged one no test machine serves) when the system would not lend one.
    return bound ? ntohs(a.sin_port) : 1;
}

class MachineBrowser : public zyn::test::SettingsStoreTest {};

TEST_F(MachineBrowser, ARemoteMachineListsItsExporterAndIsRemembered) {
    zyn::test::ExporterProcess exporter;
    if (!exporter.Start()) GTEST_SKIP() << exporter.Why();
    const QString remote = QStringLiteral("\\\\") + QString::fromStdString(exporter.Machine());

    QStringList handed, common;
    CounterBrowseConfig config;
    config.callback = [&](const QStringList& paths) {
        handed += paths;
        return 0;
    };
    config.commonCallback = [&](const QStringList& paths) {
        common = paths;
        return 0;
    };
    CCounterBrowser browser(config);
    EXPECT_EQ(browser.MachineChoices(), QStringList({LocalMachine()}))
        << "this machine first, nothing remembered";
    EXPECT_EQ(browser.Machine(), LocalMachine());

    // Typed as a user does: Return takes the machine and presses nothing else (Add is the default).
    browser.show();
    auto* field = browser.findChild<QComboBox*>(QStringLiteral("Machine"));
    ASSERT_NE(field, nullptr);
    field->lineEdit()->selectAll();
    // Keys go to the field, which has the focus, as they come from the keyboard.
    QTest::keyClicks(field, QString::fromStdString(exporter.Machine()) + QStringLiteral("  "));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(browser.MachineReady()) << "a remote machine is read off the GUI thread";
    EXPECT_TRUE(handed.isEmpty()) << "Return in the machine field added counters";
    ASSERT_TRUE(WaitForMachine(browser));
    EXPECT_EQ(browser.MachineProblem(), QString());
    EXPECT_EQ(browser.Machine(), remote);
    for (const char* object : {"Processor", "Memory", "PhysicalDisk", "Network Interface"})
        EXPECT_TRUE(browser.Objects().contains(QLatin1String(object))) << object;
    EXPECT_FALSE(browser.Objects().contains(QStringLiteral("Process")))
        << "the exporter has no per-process counters: the object is absent, not empty";

    ASSERT_TRUE(browser.SelectObject(QStringLiteral("Processor")));
    ASSERT_TRUE(browser.Instances().contains(QStringLiteral("_Total")));
    ASSERT_TRUE(browser.SelectCounters({QStringLiteral("% Processor Time")}));
    ASSERT_TRUE(browser.SelectInstances({QStringLiteral("_Total"), QStringLiteral("0")}));
    EXPECT_FALSE(browser.ExplainText().isEmpty());
    browser.AddSelected();
    ASSERT_EQ(handed.size(), 2);
    EXPECT_TRUE(handed.contains(remote + QStringLiteral("\\Processor(_Total)\\% Processor Time")));
    EXPECT_TRUE(handed.contains(remote + QStringLiteral("\\Processor(0)\\% Processor Time")));
    for (const QString& path : handed)
        EXPECT_EQ(PdhValidatePathW(reinterpret_cast<LPCWSTR>(path.utf16())), PDH_CSTATUS_VALID_DATA)
            << path.toStdString();

    // The common counters are the remote machine's own: its disks and interfaces, not ours.
    browser.AddCommonCounters();
    ASSERT_GE(common.size(), 2);
    EXPECT_EQ(common[0], remote + QStringLiteral("\\Processor(_Total)\\% Processor Time"));
    for (const QString& path : common)
        EXPECT_TRUE(path.startsWith(remote + u'\\')) << path.toStdString();

    // Reached once, offered first after this machine by every later browser.
    EXPECT_EQ(RememberedMachines(), QStringList({remote}));
    CCounterBrowser later(config);
    EXPECT_EQ(later.MachineChoices(), QStringList({LocalMachine(), remote}));

    // Back to this machine by any of its names: its own lists again.
    browser.SetMachine(QStringLiteral("localhost"));
    ASSERT_TRUE(browser.MachineReady());
    EXPECT_EQ(browser.Machine(), LocalMachine());
    EXPECT_TRUE(browser.Objects().contains(QStringLiteral("Process")));
}

TEST_F(MachineBrowser, AnUnreachableMachineIsReportedInWordsAndNotRemembered) {
    const QString typed = QStringLiteral("127.0.0.1:%1").arg(ClosedPort());
    QStringList handed;
    CounterBrowseConfig config;
    config.callback = [&](const QStringList& paths) {
        handed += paths;
        return 0;
    };
    config.commonCallback = config.callback;
    CCounterBrowser browser(config);
    browser.SetMachine(typed);
    ASSERT_TRUE(WaitForMachine(browser));
    const QString problem = browser.MachineProblem();
    EXPECT_TRUE(problem.contains(typed)) << problem.toStdString();
    EXPECT_TRUE(problem.startsWith(QStringLiteral("The counters of \\\\") + typed +
                                   QStringLiteral(" cannot be read: ")))
        << problem.toStdString();
    EXPECT_TRUE(browser.Objects().isEmpty());
    EXPECT_TRUE(browser.Counters().isEmpty());
    browser.AddSelected();
    browser.AddCommonCounters();
    EXPECT_TRUE(handed.isEmpty()) << "no path names a machine whose counters are unknown";
    EXPECT_TRUE(RememberedMachines().isEmpty());

    // Trying the same machine again reads it again rather than keeping the old answer.
    browser.SetMachine(typed);
    EXPECT_FALSE(browser.MachineReady());
    ASSERT_TRUE(WaitForMachine(browser));
    EXPECT_FALSE(browser.MachineProblem().isEmpty());

    browser.SetMachine(QStringLiteral("\\\\."));
    EXPECT_EQ(browser.MachineProblem(), QString());
    EXPECT_TRUE(browser.Objects().contains(QStringLiteral("Processor")));

    // What is not a machine name at all is said so, without a network round.
    browser.SetMachine(QStringLiteral("no such host:port"));
    ASSERT_TRUE(WaitForMachine(browser));
    EXPECT_TRUE(browser.MachineProblem().contains(QStringLiteral("is not a machine name")))
        << browser.MachineProblem().toStdString();
}

TEST_F(MachineBrowser, RememberedMachinesKeepTheTenLatestOnceEach) {
    EXPECT_EQ(MachinePathName(QStringLiteral(" host:9200 ")), QStringLiteral("\\\\host:9200"));
    EXPECT_EQ(MachinePathName(QStringLiteral("\\\\\\host")), QStringLiteral("\\\\host"));
    EXPECT_EQ(MachinePathName(QStringLiteral(" \\\\ ")), QString());

    for (int i = 1; i <= 12; ++i)
        RememberMachine(QStringLiteral("\\\\m%1").arg(i));
    QStringList expected;
    for (int i = 12; i >= 3; --i)
        expected << QStringLiteral("\\\\m%1").arg(i);
    EXPECT_EQ(RememberedMachines(), expected);

    RememberMachine(QStringLiteral("\\\\M5"));
    const QStringList after = RememberedMachines();
    EXPECT_EQ(after.size(), kRememberedMachineLimit);
    EXPECT_EQ(after.front(), QStringLiteral("\\\\M5"));
    EXPECT_EQ(after.count(QStringLiteral("\\\\m5")) + after.count(QStringLiteral("\\\\M5")), 1);
}

} // namespace
