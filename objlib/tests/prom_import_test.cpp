// History imported from the real Debian prometheus, started on a local port with a store of its own
// and scraping a real node_exporter: a known query over a known range gives its series and points
// as static channels that save and load like any chart, through the interface and through late
// binding as a script calls it; a refused query and too many series are errors that say why. The
// tests skip, saying why, where either program is not installed.

#include "ChannelProbes.h"

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynPromImport.h"
#include "objlib/ZynRecords.h"

#include "com/bstr.h"
#include "com/ccombstr.h"
#include "com/errorinfo.h"
#include "net/host_settings.h"
#include "net/prometheus_api.h"
#include "testing/PrometheusProcesses.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using zyn::test::ExporterProcess;
using zyn::test::PrometheusProcess;

std::u16string U16(const std::string& s) {
    return {s.begin(), s.end()};
}

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string LastError() {
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    CComBSTR text;
    info->GetDescription(&text);
    return zyn::com::Utf16ToUtf8(text.View());
}

class PrometheusImportTest : public ::testing::Test {
protected:
    // One exporter and one server for the whole suite; the range imported lies in the history the
    // server has kept since its first scrape.
    static void SetUpTestSuite() {
        s_exporter = new ExporterProcess;
        s_prometheus = new PrometheusProcess;
        if (!s_exporter->Start()) {
            s_why = s_exporter->Why();
            return;
        }
        if (!s_prometheus->Start({s_exporter->Machine()}, 1)) {
            s_why = s_prometheus->Why();
            return;
        }
        // The first scrape's time, to the step's grid: the earliest point a range query returns.
        const double asked = std::floor(NowSeconds());
        for (int i = 0; i < 100 && s_first == 0; ++i) {
            zyn::net::PromRangeQuery q{s_prometheus->Url(), "up", asked - 30, asked + 30, 1};
            const zyn::net::PromResult r = zyn::net::QueryRange(q);
            if (r.ok && !r.series.empty() && !r.series[0].points.empty())
                s_first = r.series[0].points.front().first;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (s_first == 0) {
            s_why = "prometheus kept no sample of the exporter";
            return;
        }
        // Half a step after it, so that no rounding of the range puts its first point before the scrape.
        s_start = s_first + 0.5;
        // The range must be history: wait until its end has passed.
        const double wait = s_start + kRangeSeconds + 0.2 - NowSeconds();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
    static void TearDownTestSuite() {
        delete s_prometheus;
        delete s_exporter;
        s_prometheus = nullptr;
        s_exporter = nullptr;
    }

    void SetUp() override {
        if (!s_why.empty()) GTEST_SKIP() << s_why;
        m_app = zyn::com::MakeObject<CZynApp>();
        ASSERT_EQ(m_app->QueryInterface(IZynApp2::kIID, reinterpret_cast<void**>(&m_app2)), S_OK);
    }

    HRESULT Import(const char16_t* query, double step, CComPtr<IZynChart>& chart) {
        return m_app2->ImportPrometheus(
            CComBSTR(U16(s_prometheus->Url()).c_str()), CComBSTR(query),
            CComVariant::Date(zyn::obj::DateFromUnixSeconds(s_start)),
            CComVariant::Date(zyn::obj::DateFromUnixSeconds(s_start + kRangeSeconds)), step, &chart);
    }

    static constexpr double kRangeSeconds = 2;
    static constexpr double kStep = 0.5; // five points
    static inline ExporterProcess* s_exporter = nullptr;
    static inline PrometheusProcess* s_prometheus = nullptr;
    static inline std::string s_why;
    static inline double s_first = 0;
    static inline double s_start = 0;

    zyn::test::TempSettingsStore m_store;
    CComPtr<CZynApp> m_app;
    CComPtr<IZynApp2> m_app2;
};

TEST_F(PrometheusImportTest, AKnownQueryOverAKnownRangeGivesItsSeriesAndPoints) {
    // A token kept for the server goes with the query and never into the chart.
    zyn::net::HostSettings settings;
    settings.credentials.bearerToken = "prometheus-secret-token";
    ASSERT_TRUE(zyn::net::SaveHostSettings("127.0.0.1:" + std::to_string(s_prometheus->Port()), settings));

    CComPtr<IZynChart> up;
    ASSERT_EQ(Import(u"up{job=\"node\"}", kStep, up), S_OK) << LastError();
    LONG count = 0;
    up->get_ChannelCount(&count);
    ASSERT_EQ(count, 1);
    CComPtr<IZynChannelIter> it;
    up->get_Channels(&it);
    CComPtr<IZynChannel> channel;
    it->GetNext(&channel);
    EXPECT_EQ(TypeOf(channel), typeStatic);
    CComBSTR name;
    channel->get_Name(&name);
    EXPECT_EQ(std::u16string(name.View()),
              u"up{instance=\"" + U16(s_exporter->Machine()) + u"\",job=\"node\"}");
    EXPECT_EQ(Values(channel), std::vector<double>(5, 1.0));
    const std::vector<double> times = Times(channel);
    ASSERT_EQ(times.size(), 5u);
    EXPECT_NEAR(times.front(), zyn::obj::DateFromUnixSeconds(s_start), 1e-8);
    EXPECT_NEAR((times.back() - times.front()) * 86400.0, kRangeSeconds, 1e-3);

    // One series per CPU the exporter sees: as many as this machine has online.
    CComPtr<IZynChart> idle;
    ASSERT_EQ(Import(u"node_cpu_seconds_total{mode=\"idle\"}", kStep, idle), S_OK) << LastError();
    const auto cpus = static_cast<LONG>(sysconf(_SC_NPROCESSORS_ONLN));
    idle->get_ChannelCount(&count);
    EXPECT_EQ(count, cpus);
    for (CZynChannel* c : static_cast<CZynChart*>(idle.p)->int_Channels())
        EXPECT_EQ(Count(c), 5);

    // The chart saves and loads back whole, and nothing of the token is in it.
    CComBSTR saved;
    ASSERT_EQ(idle->SaveChartAsString(&saved), S_OK);
    CZynGrowBuff records;
    ASSERT_EQ(zyn::obj::UnpackString(saved, records, CLSID_App, zyn::obj::RecordKind::Chart), S_OK);
    const std::string bytes(reinterpret_cast<const char*>(records.GetBuffer()), records.GetSize());
    EXPECT_EQ(bytes.find("prometheus-secret-token"), std::string::npos);
    const std::u16string wide = u"prometheus-secret-token";
    EXPECT_EQ(bytes.find(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)),
              std::string::npos);
    CComPtr<IZynChart> loaded;
    ASSERT_EQ(m_app->LoadChartFromString(saved, &loaded), S_OK);
    loaded->get_ChannelCount(&count);
    EXPECT_EQ(count, cpus);

    // Through late binding, as a script calls it (arguments last to first).
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_app->QueryInterface(IDispatch::kIID, reinterpret_cast<void**>(&dispatch)), S_OK);
    LPOLESTR member[] = {const_cast<LPOLESTR>(u"importprometheus")};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID{}, member, 1, 0, &id), S_OK);
    CComVariant args[] = {CComVariant(kStep), CComVariant::Date(zyn::obj::DateFromUnixSeconds(s_start + 1)),
                          CComVariant::Date(zyn::obj::DateFromUnixSeconds(s_start)), CComVariant(u"up"),
                          CComVariant(U16(s_prometheus->Url()).c_str())};
    DISPPARAMS params{args, nullptr, 5, 0};
    CComVariant result;
    ASSERT_EQ(dispatch->Invoke(id, IID{}, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    CComPtr<IZynChart> scripted;
    ASSERT_EQ(result.pdispVal->QueryInterface(IZynChart::kIID, reinterpret_cast<void**>(&scripted)), S_OK);
    scripted->get_ChannelCount(&count);
    ASSERT_EQ(count, 1);
    // Every chart imported belongs to the application object, named as its other charts are.
    CComPtr<IZynChartIter> charts;
    m_app->get_Charts(&charts);
    LONG adopted = 0;
    charts->get_Count(&adopted);
    EXPECT_EQ(adopted, 4); // up, idle, the loaded copy and the scripted one
}

TEST_F(PrometheusImportTest, ARefusedQueryTooManySeriesOrABadRangeIsAnErrorThatSaysWhy) {
    const auto import = [&](const char16_t* query, double step) {
        CComPtr<IZynChart> chart;
        const HRESULT hr = Import(query, step, chart);
        EXPECT_FALSE(chart);
        return std::make_pair(hr, LastError());
    };
    auto [hr, text] = import(u"rate(up[", kStep);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(text.rfind("Prometheus refused the query: ", 0), 0u) << text;
    // More series than a chart takes: every metric of the exporter.
    std::tie(hr, text) = import(u"{job=\"node\"}", kStep);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_NE(text.find("more than 500 series"), std::string::npos) << text;
    std::tie(hr, text) = import(u"up", 0);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(text.empty());
    CComPtr<IZynChartIter> it;
    m_app->get_Charts(&it);
    LONG charts = -1;
    it->get_Count(&charts);
    EXPECT_EQ(charts, 0);
}

} // namespace

// Dates both ways without a server: whole and fractional seconds come back to the millisecond, and
// what is not a date is refused before any query is made.
TEST(PrometheusImportDates, RoundTripToTheMillisecondAndRefuseWhatIsNotADate) {
    for (const double seconds : {0.0, 1700000000.0, 1700000000.25, 1733650000.999, 4102444800.5}) {
        const double date = zyn::obj::DateFromUnixSeconds(seconds);
        ASSERT_TRUE(std::isfinite(date)) << seconds;
        EXPECT_DOUBLE_EQ(zyn::obj::UnixSecondsFromDate(date), seconds);
    }
    EXPECT_TRUE(std::isnan(zyn::obj::UnixSecondsFromDate(std::nan(""))));
    EXPECT_TRUE(std::isnan(zyn::obj::UnixSecondsFromDate(INFINITY)));
    EXPECT_TRUE(std::isnan(zyn::obj::UnixSecondsFromDate(1e12))); // past 9999
    EXPECT_TRUE(std::isnan(zyn::obj::DateFromUnixSeconds(std::nan(""))));

    zyn::obj::PromImportArgs args;
    args.serverUrl = u"http://127.0.0.1:1";
    args.query = u"up";
    args.start = std::nan("");
    args.end = zyn::obj::DateFromUnixSeconds(1700000000.0);
    args.stepSeconds = 1;
    std::u16string error;
    EXPECT_FALSE(zyn::obj::ImportPrometheusChart(args, error));
    EXPECT_EQ(error, u"The start and the end of the range must be dates.");
}
