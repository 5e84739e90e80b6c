// The reader of range-query answers and the query itself against a local server that plays a
// Prometheus server (the real one runs in the object library's import tests).

#include "net/host_settings.h"
#include "net/prometheus_api.h"

#include "testing/LocalHttpServer.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using zyn::net::PromLimits;
using zyn::net::ReadQueryRangeAnswer;
using zyn::test::LocalHttpServer;

constexpr const char* kTwoSeries = R"({"status":"success","data":{"resultType":"matrix","result":[
  {"metric":{"__name__":"up","job":"node","instance":"a:9100"},"values":[[1700000000,"1"],[1700000015.5,"0"]]},
  {"metric":{"job":"node","note":"say \"hi\"\\now"},"values":[[1700000000,"NaN"],[1700000015,"+Inf"],[1700000030,"-2.5e3"]]}
]},"warnings":["partial"]})";

TEST(PromAnswer, ReadsSeriesLabelsAndPointsWithTheirSpecialValues) {
    const auto r = ReadQueryRangeAnswer(kTwoSeries);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.series.size(), 2u);
    EXPECT_EQ(r.series[0].labels.size(), 3u);
    ASSERT_EQ(r.series[0].points.size(), 2u);
    EXPECT_DOUBLE_EQ(r.series[0].points[1].first, 1700000015.5);
    EXPECT_EQ(r.series[0].points[1].second, 0.0);
    ASSERT_EQ(r.series[1].points.size(), 3u);
    EXPECT_TRUE(std::isnan(r.series[1].points[0].second));
    EXPECT_EQ(r.series[1].points[1].second, INFINITY);
    EXPECT_EQ(r.series[1].points[2].second, -2500.0);
    EXPECT_EQ(r.warnings, std::vector<std::string>{"partial"});

    EXPECT_EQ(zyn::net::SeriesName(r.series[0], "up"), R"(up{job="node",instance="a:9100"})");
    EXPECT_EQ(zyn::net::SeriesName(r.series[1], "q"), "{job=\"node\",note=\"say \\\"hi\\\"\\\\now\"}");
    EXPECT_EQ(zyn::net::SeriesName({}, "sum(rate(x[1m]))"), "sum(rate(x[1m]))");
}

TEST(PromAnswer, RefusalsAndOtherShapesAreErrorsInWords) {
    const struct {
        const char* json;
        const char* says;
    } cases[] = {
        {R"({"status":"error","errorType":"bad_data","error":"parse error at char 4"})",
         "Prometheus refused the query: parse error at char 4"},
        {R"({"status":"success","data":{"resultType":"vector","result":[]}})", "not a range (matrix) result"},
        {R"({"status":"success","data":{"resultType":"matrix","result":[{"metric":{"a":1},"values":[]}]}})",
         "label value is not a string"},
        {R"({"status":"success","data":{"resultType":"matrix","result":[{"metric":{},"values":[[1,"1",2]]}]}})",
         "a point is not"},
        {R"({"status":"success","data":{"resultType":"matrix","result":[{"metric":{},"values":[["1","1"]]}]}})",
         "a point is not"},
        {R"({"status":"success","data":{"resultType":"matrix","result":[{"metric":{},"values":[[1,"one"]]}]}})",
         "not a number"},
        {R"({"status":"success","data":{"resultType":"matrix","result":[)", "not valid JSON"},
        {"[1,2,3]", "not a JSON object"},
        {R"({"status":"fine"})", "not a Prometheus API answer"},
    };
    for (const auto& c : cases) {
        const auto r = ReadQueryRangeAnswer(c.json);
        EXPECT_FALSE(r.ok) << c.json;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << c.json << " gave: " << r.error;
        if (!r.ok && std::string(c.says).find("refused") == std::string::npos) {
            EXPECT_TRUE(r.series.empty()) << c.json;
        }
    }
}

TEST(PromAnswer, LimitsStopTheReadWithAClearReason) {
    PromLimits limits;
    limits.maxSeries = 1;
    auto r = ReadQueryRangeAnswer(kTwoSeries, limits);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("more than 1 series"), std::string::npos) << r.error;
    EXPECT_TRUE(r.series.empty());

    limits = {};
    limits.maxPoints = 4;
    r = ReadQueryRangeAnswer(kTwoSeries, limits);
    EXPECT_NE(r.error.find("more than 4 points"), std::string::npos) << r.error;

    // Nesting deep enough to exhaust a recursive reader's stack is refused early.
    std::string deep = R"({"status":"success","x":)";
    for (int i = 0; i < 100000; ++i)
        deep += '[';
    r = ReadQueryRangeAnswer(deep);
    EXPECT_NE(r.error.find("nested too deeply"), std::string::npos) << r.error;
}

TEST(PromQuery, SendsTheRangeAndTheStoredTokenAndReportsTheServersRefusal) {
    zyn::test::TempSettingsStore store;
    LocalHttpServer server([](const LocalHttpServer::Request& req) {
        if (req.target.find("query=bad") != std::string::npos)
            return LocalHttpServer::Answer(400,
                                           R"({"status":"error","errorType":"bad_data","error":"no good"})",
                                           {}, "application/json");
        return LocalHttpServer::Answer(200, kTwoSeries, {}, "application/json");
    });
    zyn::net::HostSettings settings;
    settings.credentials.bearerToken = "tok";
    ASSERT_TRUE(zyn::net::SaveHostSettings(zyn::net::HostPort("127.0.0.1", server.Port()), settings));

    zyn::net::PromRangeQuery q{server.Url("/prefix/"), "rate(a[1m]) > 0", 1700000000, 1700000060, 15};
    const auto ok = zyn::net::QueryRange(q);
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.series.size(), 2u);
    const auto sent = server.Requests().at(0);
    EXPECT_EQ(sent.target, "/prefix/api/v1/query_range?query=rate%28a%5B1m%5D%29%20%3E%200"
                           "&start=1700000000.000&end=1700000060.000&step=15.000");
    EXPECT_EQ(sent.Header("Authorization"), "Bearer tok");

    q.query = "bad";
    const auto refused = zyn::net::QueryRange(q);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "Prometheus refused the query: no good");
}

TEST(PromQuery, ArgumentsThatCannotWorkAreRefusedBeforeAnythingIsSent) {
    LocalHttpServer server([](const auto&) { return LocalHttpServer::Answer(200, kTwoSeries); });
    const std::string url = server.Url();
    const std::string userInfo = "http://me:pw@127.0.0.1:" + std::to_string(server.Port());
    const zyn::net::PromRangeQuery bad[] = {
        {userInfo, "up", 0, 60, 15}, {"ftp://127.0.0.1/", "up", 0, 60, 15},
        {url, "", 0, 60, 15},        {url, "up", 60, 0, 15},
        {url, "up", 0, 60, 0},       {url, "up", 0, 86400 * 30, 1}, // 2.6 million steps
    };
    for (const auto& q : bad)
        EXPECT_FALSE(zyn::net::QueryRange(q).ok) << q.serverUrl << " " << q.query;
    EXPECT_EQ(server.RequestCount(), 0);
}

} // namespace
