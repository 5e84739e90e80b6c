// The report built from charts with known contents: every field computed by hand, the masks,
// NoEmpty rows, shared sections, events that run, stop early or end after the data.

#include "ReportTestChart.h"
#include "display/ChartSettings.h"
#include "document/AppContext.h"
#include "report/ReportBuilder.h"
#include "report/ReportTemplate.h"
#include "report/ReportText.h"

#include <gtest/gtest.h>

using namespace reporttest;

namespace {

const CReportSection* Find(const CReportSection& parent, const QString& text) {
    for (const auto& c : parent.Children())
        if (c->Text() == text) return c.get();
    return nullptr;
}

// label -> value of every row, in order, as "label=value".
QStringList RowsOf(const CReportSection& s) {
    QStringList out;
    for (const auto& r : s.Rows())
        out << r->Label() + u'=' + r->Value();
    return out;
}

QStringList TitlesOf(const CReportSection& s) {
    QStringList out;
    for (const auto& c : s.Children())
        out << c->Text();
    return out;
}

Counter DiskCounter() {
    return {u"\\\\HOST\\PhysicalDisk(0 C:)\\Disk Read Bytes/sec",
            u"\\\\HOST",
            u"PhysicalDisk",
            u"0 C:",
            u"",
            u"Bytes read per second",
            u"Disk Read Bytes/sec"};
}

// Channel values on a one-second time base from 12:00:00 on 15 March 2023.
Chart KnownChart() {
    Chart c;
    c.comment = u"night run";
    c.times = Seconds(11);
    c.channels.push_back({u"Disk",
                          u"first disk",
                          u"Disk Read Bytes/sec",
                          u"bytes",
                          true,
                          0.0,
                          100.0,
                          {10, 30, 20, 50, 50, 5, 5, 40, 25, 60, 15},
                          DiskCounter()});
    c.channels.push_back({u"Hidden", u"", u"Hidden counter", u"x", false, 0.0, 1.0, {1, 2, 3}, {}});
    c.channels.push_back({u"Empty",
                          u"",
                          u"Empty counter",
                          u"bytes",
                          true,
                          0.0,
                          10.0,
                          {},
                          {u"\\Empty\\Counter", u"", u"Empty", u"", u"", u"", u"Empty counter name"}});
    c.channels.push_back({u"Short",
                          u"",
                          u"Ops counter",
                          u"ops",
                          true,
                          0.0,
                          10.0,
                          {1, 2, 3, 4, 5, 6},
                          {u"\\Ops(a/b)\\Ops", u"", u"Ops", u"b", u"a", u"Operations done", u"Ops"}});
    c.events.push_back({u"Load", u"burst", kStart + 2.4 * kSecond, kStart + 7.2 * kSecond});
    c.events.push_back({u"Running", u"", kStart + 1 * kSecond, 0.0});
    c.events.push_back({u"Backwards", u"", kStart + 5 * kSecond, kStart + 3 * kSecond});
    c.events.push_back({u"Tail", u"", kStart + 3.4 * kSecond, kStart + 30 * kSecond});
    return c;
}

class ReportBuilderTest : public ::testing::Test {
protected:
    ReportBuildResult Build(const Chart& c) {
        chart = LoadChart(ctx.App(), c);
        EXPECT_TRUE(chart);
        ReportInputs in;
        in.chart = chart;
        in.settings = &settings;
        in.reportTime = kStart + 1; // a day later
        return BuildReport(root, fields, in);
    }

    CAppContext ctx;
    ChartSettings settings;
    CComPtr<IZynChart> chart;
    CReportSection root;
    CReportFieldMap fields;
};

} // namespace

TEST_F(ReportBuilderTest, EveryFieldOfAKnownChart) {
    ASSERT_EQ(Build(KnownChart()), ReportBuildResult::Built);
    ASSERT_EQ(TitlesOf(root),
              QStringList({"Test chart", "Load (1)", "Running (2)", "Tail (4)", "Counter Summary"}))
        << "the event that stops before it starts is left out, and the numbers count it";

    const CReportSection& chartSection = *Find(root, "Test chart");
    EXPECT_EQ(chartSection.Level(), 1);
    EXPECT_EQ(chartSection.FontSize(), 220);
    const QStringList chartRows = RowsOf(chartSection);
    ASSERT_EQ(chartRows.size(), 8);
    EXPECT_EQ(chartRows.mid(0, 6),
              QStringList({"Comment: night run=", "Report was created on=12:00:00  03/16/23",
                           "Current sample rate=1,000.00 milliSeconds", "Chart start time=12:00:00  03/15/23",
                           "Chart stop time=12:00:10  03/15/23", "Chart duration=10 seconds"}));
    EXPECT_TRUE(chartRows[6].startsWith("Chart identifier={")) << chartRows[6].toStdString();
    EXPECT_EQ(chartRows[6].size(), QString("Chart identifier=").size() + 38);
    EXPECT_EQ(chartRows[7], "Number of channels=4");
    EXPECT_TRUE(chartSection.Rows()[0]->FullWidth());

    // The hidden channel has no section.
    EXPECT_EQ(TitlesOf(chartSection),
              QStringList({"Disk : Disk Read Bytes/sec", "Empty : Empty counter", "Short : Ops counter"}));
    const CReportSection& disk = *Find(chartSection, "Disk : Disk Read Bytes/sec");
    EXPECT_EQ(disk.Level(), 2);
    EXPECT_EQ(disk.FontSize(), 180);
    QStringList diskRows = RowsOf(disk);
    ASSERT_EQ(diskRows.size(), 18) << "no parent, so no parent row";
    EXPECT_TRUE(diskRows[2].startsWith("Channel Identifier={"));
    diskRows.removeAt(2);
    EXPECT_EQ(diskRows,
              QStringList({"Comment=first disk", "Type of channel=Static",
                           "Full counter path=\\\\HOST\\PhysicalDisk(0 C:)\\Disk Read Bytes/sec",
                           "Counter machine name=\\\\HOST", "Counter object name=PhysicalDisk",
                           "Counter Instance Name=0 C:", "Counter Name=Disk Read Bytes/sec",
                           "Minimum scaling=0.00 bytes", "Maximum scaling=100 bytes",
                           "Number of data points=11", "Start value=10.0 bytes", "Stop value=15.0 bytes",
                           "Maximum value=60.0 bytes at 12:00:09  03/15/23 (0:09 from start)",
                           "Minimum value=5.00 bytes at 12:00:05  03/15/23 (0:05 from start)",
                           "Average value=28.2 bytes", "Difference=5.00 bytes",
                           "Rate of change=30.0 bytes/minute"}));

    // A channel without samples: its fixed fields, empty figures.
    const QStringList empty = RowsOf(*Find(chartSection, "Empty : Empty counter"));
    EXPECT_TRUE(empty.contains("Number of data points= 0")) << empty.join('|').toStdString();
    EXPECT_TRUE(empty.contains("Start value= bytes"));
    EXPECT_TRUE(empty.contains("Maximum value= bytes at  ( from start)"));
    EXPECT_TRUE(empty.contains("Rate of change="));
    EXPECT_TRUE(empty.contains("Full counter path=\\Empty\\Counter"));

    const QStringList shortRows = RowsOf(*Find(chartSection, "Short : Ops counter"));
    EXPECT_TRUE(shortRows.contains("Counter's Parent Name=a"));
    EXPECT_TRUE(shortRows.contains("Counter Instance Name=b"));
    EXPECT_TRUE(shortRows.contains("Rate of change=60.0 ops/minute")) << "5 over 5 seconds";

    // An event over part of the data, with a channel whose samples end inside it.
    const CReportSection& load = *Find(root, "Load (1)");
    EXPECT_EQ(load.FontSize(), 180);
    QStringList loadRows = RowsOf(load);
    ASSERT_EQ(loadRows.size(), 5);
    EXPECT_TRUE(loadRows[4].startsWith("Event identifier={"));
    EXPECT_EQ(loadRows.mid(0, 4),
              QStringList({"Comment: burst=", "Event start time=12:00:02  03/15/23",
                           "Event stop time=12:00:07  03/15/23", "Event duration=4 seconds"}));
    EXPECT_EQ(TitlesOf(load), QStringList({"Disk : Disk Read Bytes/sec", "Short : Ops counter"}))
        << "no samples, no section";
    EXPECT_EQ(
        RowsOf(*Find(load, "Disk : Disk Read Bytes/sec")),
        QStringList({"Number of data points in event= 6", "Value when event started=50.0 bytes",
                     "Value when event ended=25.0 bytes",
                     "Maximum event value=50.0 bytes at 12:00:03  03/15/23",
                     "Minimum event value=5.00 bytes at 12:00:05  03/15/23", "Average event value=29.2 bytes",
                     "Difference during event=-25.0 bytes", "Rate of change=5.21 bytes/second"}));
    EXPECT_EQ(
        RowsOf(*Find(load, "Short : Ops counter")),
        QStringList({"Number of data points in event= 3", "Value when event started=4.00 ops",
                     "Value when event ended=6.00 ops", "Maximum event value=6.00 ops at 12:00:05  03/15/23",
                     "Minimum event value=4.00 ops at 12:00:03  03/15/23", "Average event value=5.00 ops",
                     "Difference during event=2.00 ops", "Rate of change=25.0 ops/minute"}));

    const CReportSection& running = *Find(root, "Running (2)");
    EXPECT_TRUE(RowsOf(running).contains("Event stop time=Unknown - Event still running"));
    EXPECT_TRUE(RowsOf(running).contains("Event duration=Unknown - Event still running"));
    EXPECT_TRUE(running.Children().empty());

    // An event that ends after the data: the window ends at each channel's last sample.
    const CReportSection& tail = *Find(root, "Tail (4)");
    EXPECT_TRUE(RowsOf(tail).contains("Event duration=26 seconds"));
    EXPECT_EQ(
        RowsOf(*Find(tail, "Disk : Disk Read Bytes/sec")),
        QStringList({"Number of data points in event= 7", "Value when event started=50.0 bytes",
                     "Value when event ended=15.0 bytes",
                     "Maximum event value=60.0 bytes at 12:00:09  03/15/23",
                     "Minimum event value=5.00 bytes at 12:00:05  03/15/23", "Average event value=28.6 bytes",
                     "Difference during event=-35.0 bytes", "Rate of change=78.9 bytes/minute"}));
    const QStringList tailShort = RowsOf(*Find(tail, "Short : Ops counter"));
    EXPECT_TRUE(tailShort.contains("Number of data points in event= 2")) << tailShort.join('|').toStdString();
    EXPECT_TRUE(tailShort.contains("Average event value=5.50 ops"));
    EXPECT_TRUE(tailShort.contains("Rate of change=2.26 ops/minute"));

    const CReportSection& summary = *Find(root, "Counter Summary");
    EXPECT_EQ(summary.FontSize(), 220);
    EXPECT_EQ(RowsOf(summary),
              QStringList({"The following counters are currently being displayed in this chart="}));
    EXPECT_TRUE(summary.Rows()[0]->FullWidth());
    EXPECT_EQ(TitlesOf(summary), QStringList({"Disk Read Bytes/sec", "Empty counter name", "Ops"}));
    EXPECT_EQ(Find(summary, "Disk Read Bytes/sec")->FontSize(), 160);
    EXPECT_EQ(RowsOf(*Find(summary, "Disk Read Bytes/sec")),
              QStringList({"Counter Description: Bytes read per second="}))
        << "the page-numbers row never shows";
    EXPECT_EQ(RowsOf(*Find(summary, "Empty counter name")), QStringList({"Counter Description: ="}));
}

TEST_F(ReportBuilderTest, FieldMasksChooseTheRows) {
    settings.reportFieldMasks = {0x2 | 0x80, 0x0, 0x2 | 0x200, 0x0};
    ASSERT_EQ(Build(KnownChart()), ReportBuildResult::Built);
    const CReportSection& chartSection = *Find(root, "Test chart");
    EXPECT_EQ(RowsOf(chartSection),
              QStringList({"Report was created on=12:00:00  03/16/23", "Number of channels=4"}));
    // Sections stay, with their titles only.
    EXPECT_EQ(chartSection.Children().size(), 3u);
    EXPECT_TRUE(chartSection.Children()[0]->Rows().empty());
    const CReportSection& load = *Find(root, "Load (1)");
    EXPECT_EQ(RowsOf(load), QStringList({"Event start time=12:00:02  03/15/23"}));
    EXPECT_EQ(RowsOf(*Find(load, "Disk : Disk Read Bytes/sec")),
              QStringList({"Value when event started=50.0 bytes"}));
    EXPECT_TRUE(Find(*Find(root, "Counter Summary"), "Ops")->Rows().empty());
}

TEST_F(ReportBuilderTest, ChannelsOfOneNameShareASectionAndItsFirstRows) {
    Chart c;
    c.times = Seconds(3);
    c.channels.push_back({u"Twin", u"one", u"Same", u"u", true, 0, 10, {1, 2, 3}, {}});
    c.channels.push_back({u"Twin", u"two", u"Same", u"u", true, 0, 10, {7, 8}, {}});
    ASSERT_EQ(Build(c), ReportBuildResult::Built);
    const CReportSection& chartSection = *Find(root, "Test chart");
    ASSERT_EQ(TitlesOf(chartSection), QStringList({"Twin : Same"}));
    const QStringList rows = RowsOf(*chartSection.Children()[0]);
    EXPECT_TRUE(rows.contains("Comment=one"));
    EXPECT_TRUE(rows.contains("Number of data points= 3"));
    EXPECT_FALSE(rows.contains("Comment=two"));
}

TEST_F(ReportBuilderTest, FieldTextsAreNeverReadAsFields) {
    Chart c;
    c.name = u"Secret";
    c.times = Seconds(2);
    c.channels.push_back(
        {u"#ChartName#", u"#ChannelName#", u"#DataUnits#", u"#ReportTime#", true, 0, 1, {1, 2}, {}});
    ASSERT_EQ(Build(c), ReportBuildResult::Built);
    const CReportSection& chartSection = *Find(root, "Secret");
    ASSERT_EQ(TitlesOf(chartSection), QStringList({"#ChartName# : #DataUnits#"}));
    EXPECT_TRUE(RowsOf(*chartSection.Children()[0]).contains("Comment=#ChannelName#"));
    EXPECT_TRUE(RowsOf(*chartSection.Children()[0]).contains("Start value=1.00 #ReportTime#"));
}

TEST_F(ReportBuilderTest, AChartThatNeverRanHasNoTimes) {
    Chart c; // no time-base entries: no start
    c.channels.push_back({u"Idle", u"", u"Idle counter", u"", true, 0, 1, {}, {}});
    ASSERT_EQ(Build(c), ReportBuildResult::Built);
    const QStringList rows = RowsOf(*Find(root, "Test chart"));
    EXPECT_TRUE(rows.contains("Chart start time=")) << rows.join('|').toStdString();
    EXPECT_TRUE(rows.contains("Chart stop time="));
    EXPECT_TRUE(rows.contains("Chart duration="));
    EXPECT_FALSE(rows.contains(QStringLiteral("Comment: "))) << "no comment, no row, no prefix";
}

TEST_F(ReportBuilderTest, WithoutATemplateTheReportIsEmpty) {
    chart = LoadChart(ctx.App(), KnownChart());
    ReportInputs in;
    in.chart = chart;
    in.settings = &settings;
    root.AddSection("left over");
    EXPECT_EQ(BuildReport(root, fields, in, nullptr), ReportBuildResult::NoTemplate);
    EXPECT_TRUE(root.IsEmpty());
    // A template without a chart section builds nothing; one without events lacks them.
    const auto noChart =
        ParseReportTemplate(u"<?xml version=\"1.0\"?><Event><Header>#EventName#</Header></Event>");
    EXPECT_EQ(BuildReport(root, fields, in, noChart.get()), ReportBuildResult::Built);
    EXPECT_TRUE(root.IsEmpty());
    const auto chartOnly =
        ParseReportTemplate(u"<?xml version=\"1.0\"?><Chart><Header FontSize=5>#ChartName#</Header>"
                            u"<Item Bit=0x1 FontSize=10 Value=\"#ChartChannelCount#\">N</Item>"
                            u"<Item Value=\"never\">No bit</Item></Chart>");
    EXPECT_EQ(BuildReport(root, fields, in, chartOnly.get()), ReportBuildResult::Built);
    ASSERT_EQ(TitlesOf(root), QStringList({"Test chart"}));
    EXPECT_EQ(root.Children()[0]->FontSize(), 100) << "a size of 10 or less is ignored";
    EXPECT_EQ(RowsOf(*root.Children()[0]), QStringList({"N=4"}));
    EXPECT_EQ(root.Children()[0]->Rows()[0]->FontSize(), 100);
}

TEST(ReportRateOfChange, PicksTheFirstUnitBetweenOneAndAHundred) {
    EXPECT_EQ(RateOfChange(100 * kSecond, 0, 50, "units"), "30.0 units/minute") << "0.5 per second";
    EXPECT_EQ(RateOfChange(2 * kSecond, 0, 1000, "units"), "500 units/second");
    EXPECT_EQ(RateOfChange(1.0 / 24, 10, 11, "u"), "24.0 u/day");
    EXPECT_EQ(RateOfChange(1.0 / 24, 0, 120, "u"), "2.00 u/minute") << "per hour 120 is too much";
    EXPECT_EQ(RateOfChange(1.0 / 24, 100, 50, "u"), "50.0 u/hour") << "the size of the change, not its sign";
    EXPECT_EQ(RateOfChange(10 * kSecond, 5, 5, "u"), "0.0");
    EXPECT_EQ(RateOfChange(0, 1, 2, "u"), "0.0");
    EXPECT_EQ(RateOfChange(-1, 1, 2, "u"), "0.0");
}

TEST(ReportTree, SectionsAndRowsOfEqualTextAreOne) {
    CReportSection root;
    CReportSection* a = root.AddSection("A");
    EXPECT_EQ(root.AddSection("A"), a);
    EXPECT_NE(root.AddSection("a"), a);
    EXPECT_EQ(a->Level(), 1);
    EXPECT_EQ(a->AddSection("B")->Level(), 2);
    CReportRow* row = a->AddRow("label", "first", 150);
    EXPECT_EQ(a->AddRow("label", "second", 100, true), row);
    EXPECT_EQ(row->Value(), "first");
    EXPECT_EQ(row->FontSize(), 150);
    EXPECT_FALSE(row->FullWidth());
    EXPECT_EQ(row->Parent(), a);
}

TEST(ReportFieldMap, SubstitutesEveryKnownFieldOnce) {
    CReportFieldMap m;
    m.Set("#A#", "x#B#");
    m.Set("#B#", "y");
    EXPECT_EQ(m.Substitute("#A# and #B#, #C# ##B# #"), "x#B# and y, #C# #y #");
    EXPECT_EQ(m.Substitute("#A##B#"), "x#B#y");
    EXPECT_EQ(m.Substitute(""), "");
}

TEST_F(ReportBuilderTest, CopyTextOfASmallChartWrittenOutByHand) {
    chart = LoadChart(ctx.App(), SmallChart());
    ASSERT_TRUE(chart);
    ReportInputs in;
    in.chart = chart;
    in.settings = &settings;
    in.reportTime = kStart;
    ASSERT_EQ(BuildReport(root, fields, in), ReportBuildResult::Built);

    // The identifiers are made when the chart loads.
    const auto id = [](auto* object) {
        CComBSTR text;
        object->get_Identifier(&text);
        return QString::fromUtf16(text.View().data(), qsizetype(text.View().size()));
    };
    CComPtr<IZynChannelIter> channels;
    CComPtr<IZynEventIter> events;
    chart->get_Channels(&channels);
    chart->get_Events(&events);
    CComPtr<IZynChannel> channel;
    CComPtr<IZynEvent> event;
    channels->GetNext(&channel);
    events->GetNext(&event);

    QString expected =
        QStringLiteral("Small\r\n"
                       "\tReport was created on\t12:00:00  03/15/23\r\n"
                       "\tCurrent sample rate\t1,000.00 milliSeconds\r\n"
                       "\tChart start time\t12:00:00  03/15/23\r\n"
                       "\tChart stop time\t12:00:04  03/15/23\r\n"
                       "\tChart duration\t4 seconds\r\n"
                       "\tChart identifier\t%CHART%\r\n"
                       "\tNumber of channels\t1\r\n"
                       "\r\n"
                       "\tLoad : Load counter\r\n"
                       "\t\tType of channel\tStatic\r\n"
                       "\t\tChannel Identifier\t%CHANNEL%\r\n"
                       "\t\tFull counter path\t\\Load\r\n"
                       "\t\tCounter machine name\r\n"
                       "\t\tCounter object name\tLoad\r\n"
                       "\t\tCounter Instance Name\r\n"
                       "\t\tCounter Name\tLoad\r\n"
                       "\t\tMinimum scaling\t0.00 %\r\n"
                       "\t\tMaximum scaling\t100 %\r\n"
                       "\t\tNumber of data points\t 5\r\n"
                       "\t\tStart value\t1.00 %\r\n"
                       "\t\tStop value\t2.00 %\r\n"
                       "\t\tMaximum value\t5.00 % at 12:00:01  03/15/23 (0:01 from start)\r\n"
                       "\t\tMinimum value\t1.00 % at 12:00:00  03/15/23 (0:00 from start)\r\n"
                       "\t\tAverage value\t3.00 %\r\n"
                       "\t\tDifference\t1.00 %\r\n"
                       "\t\tRate of change\t15.0 %/minute\r\n"
                       "\r\n"
                       "Peak (1)\r\n"
                       "\tEvent start time\t12:00:01  03/15/23\r\n"
                       "\tEvent stop time\t12:00:03  03/15/23\r\n"
                       "\tEvent duration\t2 seconds\r\n"
                       "\tEvent identifier\t%EVENT%\r\n"
                       "\r\n"
                       "\tLoad : Load counter\r\n"
                       "\t\tNumber of data points in event\t 3\r\n"
                       "\t\tValue when event started\t5.00 %\r\n"
                       "\t\tValue when event ended\t4.00 %\r\n"
                       "\t\tMaximum event value\t5.00 % at 12:00:01  03/15/23\r\n"
                       "\t\tMinimum event value\t3.00 % at 12:00:02  03/15/23\r\n"
                       "\t\tAverage event value\t4.00 %\r\n"
                       "\t\tDifference during event\t-1.00 %\r\n"
                       "\t\tRate of change\t30.0 %/minute\r\n"
                       "\r\n"
                       "Counter Summary\r\n"
                       "\tThe following counters are currently being displayed in this chart\r\n"
                       "\r\n"
                       "\tLoad\r\n"
                       "\t\tCounter Description: How busy\r\n");
    expected.replace("%CHART%", id(chart.p))
        .replace("%CHANNEL%", id(channel.p))
        .replace("%EVENT%", id(event.p));
    EXPECT_EQ(ReportText(root), expected);
}
