#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "exchange/CsvTime.h"

#include "com/bstr.h"
#include "com/ccombstr.h"
#include "com/variant.h"
#include "testing/SystemTimes.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynTime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

using namespace zyn::csv;

namespace {

using zyn::test::OleDate;

class CsvTest : public zyn::test::SettingsStoreTest {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C.UTF-8");
        m_app = zyn::test::NewApp();
        ASSERT_TRUE(m_app);
        ASSERT_EQ(m_app->AddChart(&m_chart), S_OK);
    }
    void TearDown() override {
        if (m_chart) m_chart->Detach();
    }

    CComPtr<IZynChannel> AddChannel(const char16_t* name) {
        CComPtr<IZynChannel> c;
        EXPECT_EQ(m_chart->AddStaticChannel(&c), S_OK);
        c->put_Name(CComBSTR(name));
        return c;
    }
    void SetStart(double t) {
        CComVariant v(t);
        ASSERT_EQ(m_chart->put_StartTime(v), S_OK);
    }
    LONG ChannelCount() {
        LONG n = -1;
        m_chart->get_ChannelCount(&n);
        return n;
    }
    std::vector<CComPtr<IZynChannel>> Channels() {
        std::vector<CComPtr<IZynChannel>> out;
        CComPtr<IZynChannelIter> it;
        m_chart->get_Channels(&it);
        for (;;) {
            CComPtr<IZynChannel> c;
            if (it->GetNext(&c) != S_OK || !c) break;
            out.push_back(c);
        }
        return out;
    }
    static std::vector<std::pair<double, double>> Points(IZynChannel* c) {
        CComPtr<IZynDataSet> data;
        c->get_Data(&data);
        LONG n = 0;
        data->get_Count(&n);
        std::vector<std::pair<double, double>> out;
        for (LONG i = 0; i < n; ++i) {
            CComVariant t;
            double v = 0;
            data->GetTimeAt(i, &t);
            data->GetValueAt(i, &v);
            out.emplace_back(t.date, v);
        }
        return out;
    }
    static std::string Name(IZynChannel* c) {
        CComBSTR n;
        c->get_Name(&n);
        return n.ToUtf8();
    }

    CComPtr<IZynApp> m_app;
    CComPtr<IZynChart> m_chart;
};

} // namespace

TEST_F(CsvTest, ExportWritesEveryDistinctTimeWithNearestValues) {
    SetStart(OleDate(2024, 1, 2, 10, 0, 0));
    auto a = AddChannel(u"CPU");
    auto b = AddChannel(u"Disk, C:");
    LONG n = 0;
    a->AddValueRelTime(1.5, 0, &n);
    a->AddValueRelTime(2.25, 1000, &n);
    a->AddValueRelTime(3, 2000, &n);
    b->AddValueRelTime(-4, 1000, &n);
    std::string text;
    ASSERT_TRUE(WriteChartCsv(m_chart, text));
    // The second channel has no value before its first sample and one value at its only time.
    EXPECT_EQ(text, "Time,CPU,\"Disk, C:\"\r\n"
                    "10:00:00  01/02/24,1.500000,\r\n"
                    "10:00:01  01/02/24,2.250000,-4.000000\r\n"
                    "10:00:02  01/02/24,3.000000,\r\n");
}

TEST_F(CsvTest, ExportMergesInterleavedTimesAndShowsEditedValues) {
    SetStart(OleDate(2024, 1, 2, 10, 0, 0));
    auto a = AddChannel(u"A");
    auto b = AddChannel(u"B");
    LONG n = 0;
    a->AddValueRelTime(1, 0, &n);
    a->AddValueRelTime(2, 2000, &n);
    a->AddValueRelTime(3, 4000, &n);
    b->AddValueRelTime(10, 1000, &n);
    b->AddValueRelTime(20, 2000, &n);
    b->AddValueRelTime(30, 5000, &n);
    // A row between a channel's times shows the value the data set finds for it.
    // An edited value is what the chart shows, and so what the text shows.
    CComPtr<IZynDataSet> data;
    ASSERT_EQ(a->get_Data(&data), S_OK);
    ASSERT_EQ(data->SetValueAt(1, 2.5), S_OK);
    std::string text;
    ASSERT_TRUE(WriteChartCsv(m_chart, text));
    EXPECT_EQ(text, "Time,A,B\r\n"
                    "10:00:00  01/02/24,1.000000,\r\n"
                    "10:00:01  01/02/24,2.500000,10.000000\r\n"
                    "10:00:02  01/02/24,2.500000,20.000000\r\n"
                    "10:00:04  01/02/24,3.000000,30.000000\r\n"
                    "10:00:05  01/02/24,,30.000000\r\n");
}

TEST_F(CsvTest, ExportOfAChartWithoutSamplesFails) {
    std::string text;
    EXPECT_FALSE(WriteChartCsv(m_chart, text));
    AddChannel(u"Empty");
    EXPECT_FALSE(WriteChartCsv(m_chart, text));
    const auto path = std::filesystem::temp_directory_path() / "csv-empty-test.csv";
    EXPECT_FALSE(SaveCsv(path.string(), m_chart));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CsvTest, SaveNamesTheChartAndRoundTripsQuotedNames) {
    SetStart(OleDate(2024, 3, 4, 23, 59, 58));
    auto a = AddChannel(u"say \"hi\", twice");
    auto b = AddChannel(u"Plain");
    LONG n = 0;
    for (int i = 0; i < 4; ++i) {
        a->AddValueRelTime(i * 0.125, i * 1000, &n);
        b->AddValueRelTime(-i * 1e6, i * 1000, &n);
    }
    const auto path = std::filesystem::temp_directory_path() / "roundtrip.csv";
    ASSERT_TRUE(SaveCsv(path.string(), m_chart));
    CComBSTR name;
    m_chart->get_Name(&name);
    EXPECT_EQ(name.ToUtf8(), "roundtrip");

    CComPtr<IZynChart> other;
    ASSERT_EQ(m_app->AddChart(&other), S_OK);
    ASSERT_TRUE(LoadCsv(path.string(), other));
    std::filesystem::remove(path);
    CComPtr<IZynChannelIter> it;
    other->get_Channels(&it);
    std::vector<CComPtr<IZynChannel>> back;
    for (;;) {
        CComPtr<IZynChannel> c;
        if (it->GetNext(&c) != S_OK || !c) break;
        back.push_back(c);
    }
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(Name(back[0]), "say \"hi\", twice");
    EXPECT_EQ(Name(back[1]), "Plain");
    // Across midnight: the dates in the text carry the day over.
    const auto pa = Points(back[0]), pb = Points(back[1]), oa = Points(a);
    ASSERT_EQ(pa.size(), 4u);
    ASSERT_EQ(pb.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(pa[i].first, oa[i].first, 1e-9) << i;
        EXPECT_EQ(pa[i].second, oa[i].second);
        EXPECT_EQ(pb[i].second, -double(i) * 1e6);
    }
    other->Detach();
}

TEST_F(CsvTest, ImportWithHeaderCreatesNamedChannelsDatedToday) {
    const double today = OleDate(2030, 6, 1);
    ImportOptions options;
    options.today = today;
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(m_chart, u"Time,CPU,Disk\n10:00:00,1,2\n10:00:01,3,4\n", options, &created));
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(Name(created[0]), "CPU");
    EXPECT_EQ(Name(created[1]), "Disk");
    OLE_COLOR colour = 0;
    created[1]->get_Color(&colour);
    EXPECT_EQ(colour, 0x00FF00u);
    CComVariant start;
    m_chart->get_StartTime(&start);
    EXPECT_NEAR(start.vt == VT_R8 ? start.dblVal : start.date, today + 10.0 / 24, 1e-9);
    const auto p = Points(created[0]);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_NEAR((p[1].first - p[0].first) * 86400000.0, 1000.0, 1e-3);
    EXPECT_EQ(p[0].second, 1.0);
    EXPECT_EQ(Points(created[1])[1].second, 4.0);
}

TEST_F(CsvTest, ImportWithoutHeaderReadsTheFirstLineAsData) {
    ImportOptions options;
    options.today = OleDate(2030, 6, 1);
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(m_chart, u"5,10:00:00,7\r\n6,10:00:02,8\r\n", options, &created));
    ASSERT_EQ(created.size(), 2u);
    EXPECT_NE(Name(created[0]), "5") << "default names, not the first line's values";
    const auto p = Points(created[1]);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].second, 7.0);
    EXPECT_NEAR((p[1].first - p[0].first) * 86400000.0, 2000.0, 1e-3);
}

// A first line whose time cannot be read is passed over; the next one must not add a second set of
// channels for the same columns.
TEST_F(CsvTest, ImportMakesOneChannelPerColumnWhenTheFirstLinesAreUnreadable) {
    ImportOptions options;
    options.today = OleDate(2030, 6, 1);
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(m_chart, u"5,x:y,7\n6,10:00:02,8\n6,10:00:03,9\n", options, &created));
    ASSERT_EQ(created.size(), 2u);
    LONG count = 0;
    ASSERT_TRUE(SUCCEEDED(m_chart->get_ChannelCount(&count)));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Points(created[1]).size(), 2u);
}

TEST_F(CsvTest, ImportDropsTheUnendedLastLineAndEmptyCells) {
    ImportOptions options;
    options.today = OleDate(2030, 6, 1);
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(
        ImportText(m_chart, u"Time,A,B\n10:00:00,1,\n\n10:00:01,,4\n10:00:02,9,9", options, &created));
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(Points(created[0]).size(), 1u);
    EXPECT_EQ(Points(created[1]).size(), 1u);
    EXPECT_EQ(Points(created[1])[0].second, 4.0);
}

// A long text reaches the channels in runs: every value lands once, in order, at its own time, across
// the ends of the runs, with the gaps of empty cells where they were.
TEST_F(CsvTest, LongImportsKeepEveryValueAcrossTheirRuns) {
    ImportOptions options;
    options.today = OleDate(2030, 6, 1);
    const int lines = 80000; // a whole run and a partial one, within a day
    std::u16string text = u"Time,A,B\n";
    for (int i = 0; i < lines; ++i) {
        const int s = i;
        char line[64];
        std::snprintf(line, sizeof line, "%02d:%02d:%02d,%d,%s\n", s / 3600, s / 60 % 60, s % 60, i,
                      i % 3 ? "1" : "");
        for (const char* c = line; *c; ++c)
            text += char16_t(*c);
    }
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(m_chart, text, options, &created));
    ASSERT_EQ(created.size(), 2u);
    const auto a = Points(created[0]);
    ASSERT_EQ(a.size(), std::size_t(lines));
    for (int i = 0; i < lines; ++i) {
        ASSERT_EQ(a[std::size_t(i)].second, double(i)) << i;
        ASSERT_NEAR((a[std::size_t(i)].first - a[0].first) * 86400.0, double(i), 1e-3) << i;
    }
    EXPECT_EQ(Points(created[1]).size(), std::size_t(lines - (lines + 2) / 3));
}

TEST_F(CsvTest, ImportReadsQuotedAndUnusualNumbersAsWritten) {
    ImportOptions options;
    options.today = OleDate(2030, 6, 1);
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(m_chart,
                           u"Time,A,B,C\r\n"
                           u"10:00:00,\"3\",1e3, -2.5 \r\n"
                           u"10:00:01,-0.125,\"x,y\",7\r\n"
                           u"10:00:02,1.5.5,-,0012.50\r\n"
                           u"10:00:03,0.1000000000000000055511151231257827021181583404541015625,+4,.5\r\n",
                           options, &created));
    ASSERT_EQ(created.size(), 3u);
    auto values = [&](std::size_t i) {
        std::vector<double> out;
        for (const auto& p : Points(created[i]))
            out.push_back(p.second);
        return out;
    };
    // Anything but a plain decimal takes the forgiving reader, which has always read "1e3" as 13.
    EXPECT_EQ(values(0), (std::vector<double>{3.0, -0.125, 1.55, 0.1}));
    EXPECT_EQ(values(1), (std::vector<double>{13.0, 0.0, 0.0, 4.0}));
    EXPECT_EQ(values(2), (std::vector<double>{-2.5, 7.0, 12.5, 0.5}));
}

TEST_F(CsvTest, RejectedTextsLeaveTheChartAsItWas) {
    const char16_t* bad[] = {
        u"",
        u"Time,A,B",                   // no line end
        u"Time\n10:00:00\n10:00:01\n", // one column
        u"Time,A,B\n1,2,3\n",          // no ':' in the second line
        u"Time,A,B\n10:00:00,1,2",     // the only data line has no line end
        u"Time,A,B\n10:00:00,1,2\r",   // read, but its time is not (no line end after)
        u"1,10:00:00,3\n",             // one data row without header
    };
    for (const char16_t* text : bad) {
        EXPECT_FALSE(ImportText(m_chart, text)) << zyn::com::Utf16ToUtf8(text);
        EXPECT_EQ(ChannelCount(), 0) << zyn::com::Utf16ToUtf8(text);
        CComVariant start;
        m_chart->get_StartTime(&start);
        EXPECT_EQ(start.vt == VT_R8 ? start.dblVal : start.date, 0.0) << zyn::com::Utf16ToUtf8(text);
    }
    std::u16string thirty = u"Time";
    for (int i = 1; i < 30; ++i)
        thirty += u",C" + std::u16string(1, char16_t(u'A' + i % 26));
    EXPECT_FALSE(ImportText(m_chart, thirty + u"\n10:00:00\n10:00:01\n"));
    std::u16string twentyNine = u"Time";
    for (int i = 1; i < 29; ++i)
        twentyNine += u",C";
    EXPECT_TRUE(ImportText(m_chart, twentyNine + u"\n10:00:00\n10:00:01\n"));
    EXPECT_EQ(ChannelCount(), 28);
}

TEST(CsvFields, QuotedFieldsAndTrimming) {
    std::vector<std::u16string> f;
    SplitFields(u" a , \"b,\"\"c\"\" \" ,d", f);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0], u"a");
    EXPECT_EQ(f[1], u"b,\"c\"");
    EXPECT_EQ(f[2], u"d");
    SplitFields(u"\"unterminated,x", f);
    ASSERT_EQ(f.size(), 1u);
    SplitFields(u"1,2,3,4", f, 2);
    EXPECT_EQ(f.size(), 2u);
    SplitFields(u"a,", f);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1], u"");
}

TEST(CsvValues, MatchPrintfInTheCLocale) {
    std::setlocale(LC_ALL, "C.UTF-8");
    const double values[] = {0.0,
                             -0.0,
                             1.5,
                             -1.5,
                             1e-7,
                             0.0000005,
                             0.0000015,
                             123456789.123456789,
                             1e300,
                             -2.5e-300,
                             3.14159265358979,
                             1.0 / 3,
                             5e15,
                             NAN,
                             -NAN,
                             INFINITY,
                             -INFINITY};
    for (double v : values) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%lf", v);
        std::string got;
        AppendValue(got, v);
        EXPECT_EQ(got, expected);
    }
}

TEST(CsvTimes, WriterMatchesTheLocaleTextOfEverySecond) {
    std::setlocale(LC_ALL, "C.UTF-8");
    CCsvTimeWriter writer;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(OleDate(2000, 1, 1), OleDate(2040, 1, 1));
    for (int i = 0; i < 2000; ++i) {
        const double t = i < 1000 ? OleDate(2024, 1, 1) + i * 0.4 / 86400 : dist(rng);
        char16_t expected[128];
        const int n = GetLocaleTimeDate(t, expected, 128);
        ASSERT_GT(n, 0);
        std::string got;
        ASSERT_TRUE(writer.Append(t, got));
        EXPECT_EQ(got, zyn::com::Utf16ToUtf8(std::u16string_view(expected, std::size_t(n)))) << t;
    }
}

TEST(CsvTimes, StringToTimeRules) {
    std::setlocale(LC_ALL, "C.UTF-8");
    CCsvTimeReader reader;
    const double today = OleDate(2031, 2, 3);
    reader.SetToday(today);
    EXPECT_EQ(reader.Parse(u""), 0.0);
    EXPECT_EQ(reader.Parse(u"not a time"), 0.0);
    EXPECT_EQ(reader.Parse(u"25:00:00"), 0.0);
    // Found by the fuzzer: one AM/PM letter at the end made the date reader step past the text.
    EXPECT_NEAR(reader.Parse(u"10:00A"), today + 10.0 / 24, 1e-9);
    EXPECT_NEAR(reader.Parse(u"10:00:00"), today + 10.0 / 24, 1e-9);
    EXPECT_NEAR(reader.Parse(u" 10:30 "), today + 10.5 / 24, 1e-9);
    EXPECT_NEAR(reader.Parse(u"10:00:00  01/02/24"), OleDate(2024, 1, 2, 10), 1e-9);
    EXPECT_NEAR(reader.Parse(u"10:00:01  01/02/24"), OleDate(2024, 1, 2, 10, 0, 1), 1e-9) << "cached date";
    EXPECT_NEAR(reader.Parse(u"2024-01-02 10:00:00"), OleDate(2024, 1, 2, 10), 1e-9);
    EXPECT_NEAR(reader.Parse(u"1/2/2024 10:00:00 PM"), OleDate(2024, 1, 2, 22), 1e-9);
    // Dates before 28 November 2004 are taken as times of today.
    EXPECT_NEAR(reader.Parse(u"06:00:00  11/27/04"), today + 0.25, 1e-9);
    EXPECT_NEAR(reader.Parse(u"06:00:00  11/28/04"), 38319.25, 1e-9);
}

// A chart sampled five times a second: the default text has one-second times (as other programs
// expect them) and says how many rows repeat the time before; the millisecond form keeps every
// sample's own time, and the import reads it back to the millisecond.
TEST_F(CsvTest, SubSecondSamplesSurviveARoundTripInMilliseconds) {
    SetStart(OleDate(2024, 5, 6, 7, 8, 9));
    auto a = AddChannel(u"Fast");
    LONG n = 0;
    for (int i = 0; i < 50; ++i)
        a->AddValueRelTime(i, i * 200, &n);

    std::string seconds;
    CsvReport report;
    ASSERT_TRUE(WriteChartCsv(m_chart, seconds, {}, &report));
    EXPECT_EQ(report.rows, 50u);
    // The time text rounds to the nearest second: 50 samples over 9.8 s show 11 distinct texts.
    EXPECT_EQ(report.rowsSharingATime, 39u);
    EXPECT_NE(seconds.find("\r\n07:08:09  05/06/24,0.000000\r\n07:08:09  05/06/24,1.000000\r\n"),
              std::string::npos);

    CsvOptions ms;
    ms.milliseconds = true;
    std::string text;
    ASSERT_TRUE(WriteChartCsv(m_chart, text, ms, &report));
    EXPECT_EQ(report.rowsSharingATime, 0u);
    EXPECT_EQ(text.rfind(
                  "Time,Fast\r\n2024-05-06 07:08:09.000,0.000000\r\n2024-05-06 07:08:09.200,1.000000\r\n", 0),
              0u)
        << text.substr(0, 100);

    CComPtr<IZynChart> other;
    ASSERT_EQ(m_app->AddChart(&other), S_OK);
    std::u16string wide(text.begin(), text.end());
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(other, wide, {}, &created));
    ASSERT_EQ(created.size(), 1u);
    const auto points = Points(created[0]);
    ASSERT_EQ(points.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(points[std::size_t(i)].second, double(i));
        EXPECT_EQ(std::llround((points[std::size_t(i)].first - points[0].first) * 86400000.0), i * 200LL)
            << i;
    }
    EXPECT_EQ(std::llround(points[0].first * 86400000.0),
              std::llround(OleDate(2024, 5, 6, 7, 8, 9) * 86400000.0));
    other->Detach();
}

TEST_F(CsvTest, MillisecondTimesReadExactlyAndRefuseWhatTheyDoNotSay) {
    CCsvTimeReader reader;
    const double day = OleDate(2030, 6, 1, 0, 0, 0);
    EXPECT_EQ(std::llround((reader.Parse(u"2030-06-01 12:34:56.789") - day) * 86400000.0), 45296789LL);
    EXPECT_EQ(std::llround((reader.Parse(u"2030-06-01T00:00:00.5") - day) * 86400000.0), 500LL);
    EXPECT_EQ(std::llround((reader.Parse(u"  2030-06-01 23:59:59.999  ") - day) * 86400000.0), 86399999LL);
    EXPECT_EQ(reader.Parse(u"2030-06-01 24:00:00.000"), 0.0);
    EXPECT_EQ(reader.Parse(u"2030-02-30 10:00:00.000"), 0.0);
    EXPECT_EQ(reader.Parse(u"2030-06-01 10:00:00.1234"), 0.0);
    std::string out;
    EXPECT_TRUE(CCsvTimeWriter::AppendMilliseconds(day + 0.9999999999, out));
    EXPECT_EQ(out, "2030-06-02 00:00:00.000") << "rounding up to midnight moves to the next day";
    out.clear();
    EXPECT_FALSE(CCsvTimeWriter::AppendMilliseconds(std::nan(""), out));
    EXPECT_FALSE(CCsvTimeWriter::AppendMilliseconds(1e300, out));
    EXPECT_TRUE(out.empty());
}

// A channel takes relative times up to the largest LONG in milliseconds (about 24.8 days): a row
// further away would wrap onto a wrong time, so the text is refused and the chart left as it was.
TEST_F(CsvTest, ImportRefusesRowsBeyondTheReachOfAChannelsTimes) {
    ImportOptions options;
    options.today = OleDate(2030, 6, 1);
    const std::u16string within = u"Time,A,B\n2030-06-01 00:00:00.000,1,2\n2030-06-25 00:00:00.000,3,4\n";
    const std::u16string beyond = u"Time,A,B\n2030-06-01 00:00:00.000,1,2\n2030-06-26 00:00:00.000,3,4\n";
    EXPECT_FALSE(ImportText(m_chart, beyond, options));
    EXPECT_EQ(ChannelCount(), 0);
    std::vector<CComPtr<IZynChannel>> created;
    ASSERT_TRUE(ImportText(m_chart, within, options, &created));
    const auto points = Points(created[0]);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_NEAR(points[1].first - points[0].first, 24.0, 1e-6);
}

// An export names why it failed: the text, or the file.
TEST_F(CsvTest, ExportFailuresCarryTheirReason) {
    CsvReport report;
    std::string text;
    AddChannel(u"Empty");
    EXPECT_FALSE(WriteChartCsv(m_chart, text, {}, &report));
    EXPECT_EQ(report.error, "the chart has no samples");

    SetStart(OleDate(2024, 1, 2, 10, 0, 0));
    LONG n = 0;
    Channels()[0]->AddValueRelTime(1, 0, &n);
    const auto missing = std::filesystem::temp_directory_path() / "no-such-folder-here" / "x.csv";
    EXPECT_FALSE(SaveCsv(missing.string(), m_chart, {}, &report));
    EXPECT_EQ(report.error, std::strerror(ENOENT));
}
