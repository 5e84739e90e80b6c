// The exposition-format reader: what exporters write, and the malformed pages it must refuse whole.

#include "pdh/exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using zyn::pdh::detail::CMetricPage;

std::string Fixture(const char* name) {
    std::ifstream in(std::string(ZYN_PDH_TEST_DATA) + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Exposition, ReadsSamplesLabelsEscapesTimestampsAndSpecialValues) {
    const std::string text = "# HELP node_x Help with \\\\ and \\n escapes.\n"
                             "# TYPE node_x counter\n"
                             "# a plain comment\n"
                             "\n"
                             "node_x{device=\"a\\\"b\\\\c\\nd\",mode=\"idle\",} 1.5e3\n"
                             "node_x{ mode = \"user\" , device=\"sda\" } -2 1700000000000\n"
                             "node_y +Inf\n"
                             "node_y{a=\"\"} -Inf\n"
                             "node_z NaN\r\n"
                             "  node_w\t7   \n"
                             "metric:with:colons 1\n";
    CMetricPage page;
    std::string error;
    ASSERT_TRUE(page.Parse(text, error)) << error;
    EXPECT_EQ(page.SampleCount(), 7u);
    EXPECT_EQ(page.Type("node_x"), "counter");
    const auto x = page.Samples("node_x");
    ASSERT_EQ(x.size(), 2u);
    EXPECT_EQ(page.Label(x[0], "device"), "a\"b\\c\nd");
    EXPECT_EQ(page.Label(x[0], "mode"), "idle");
    EXPECT_EQ(x[0].value, 1500.0);
    EXPECT_FALSE(x[0].hasTimestamp);
    EXPECT_EQ(page.Label(x[1], "device"), "sda");
    EXPECT_EQ(x[1].value, -2.0);
    EXPECT_EQ(x[1].timestampMs, 1700000000000);
    EXPECT_EQ(page.Samples("node_y")[0].value, INFINITY);
    EXPECT_EQ(page.Samples("node_y")[1].value, -INFINITY);
    EXPECT_EQ(page.Label(page.Samples("node_y")[1], "a"), "");
    EXPECT_TRUE(std::isnan(page.Value("node_z")));
    EXPECT_EQ(page.Value("node_w"), 7.0);
    EXPECT_EQ(page.Value("metric:with:colons"), 1.0);
    EXPECT_TRUE(std::isnan(page.Value("absent")));
    EXPECT_EQ((std::vector<std::string>{"node_x", "node_y", "node_z", "node_w", "metric:with:colons"}),
              page.Names());
}

TEST(Exposition, AMalformedLineRefusesThePageAndNamesTheLine) {
    const struct {
        const char* line;
        const char* says;
    } cases[] = {
        {"node_x{a=\"1\" b=\"2\"} 1", "separated by ','"},
        {"node_x{a=\"1\",a=\"2\"} 1", "appears twice"},
        {"node_x{a=1} 1", "double quotes"},
        {"node_x{a=\"1} 1", "not closed"},
        {"node_x{a=\"\\t\"} 1", "unknown escape"},
        {"node_x{a=\"\xff\"} 1", "not UTF-8"},
        {"node_x{a=\"\xc0\xaf\"} 1", "not UTF-8"}, // an overlong '/'
        {"node_x{1a=\"x\"} 1", "label name"},
        {"node_x{a\"x\"} 1", "no '='"},
        {"node_x", "no value"},
        {"node_x{} ", "not a number"},
        {"node_x one", "not a number"},
        {"node_x 0x10", "not a number"},
        {"node_x 1 12.5", "timestamp"},
        {"node_x 1 2 3", "after the timestamp"},
        {"node_x{a=\"1\"}1", "blank must separate"},
        {"9node 1", "metric name"},
        {"{a=\"1\"} 1", "metric name"},
        {"# TYPE node_x countr", "unknown metric type"},
        {"# TYPE node_x counter extra", "after the metric type"},
        {"# TYPE", "names no metric"},
        {"# HELP 9x text", "names no metric"},
    };
    for (const auto& c : cases) {
        CMetricPage page;
        std::string error;
        const std::string text = "node_ok 1\n" + std::string(c.line) + "\nnode_after 2\n";
        EXPECT_FALSE(page.Parse(text, error)) << c.line;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << c.line << " gave: " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.line << " gave: " << error;
        EXPECT_EQ(page.SampleCount(), 0u) << "a refused page keeps nothing";
        EXPECT_FALSE(page.Has("node_ok"));
    }
    CMetricPage page;
    std::string error;
    EXPECT_FALSE(page.Parse("# TYPE a gauge\n# TYPE a counter\n", error));
    EXPECT_NE(error.find("second TYPE"), std::string::npos) << error;
}

TEST(Exposition, ValuesFollowGosFloatSyntax) {
    double v = 0;
    for (const char* text : {"1", "-1.25", "+3", ".5", "1e-3", "1E3", "Inf", "+inf", "-Infinity", "nan"})
        EXPECT_TRUE(zyn::pdh::detail::ParseExpositionValue(text, v)) << text;
    ASSERT_TRUE(zyn::pdh::detail::ParseExpositionValue("1e999", v));
    EXPECT_EQ(v, INFINITY);
    ASSERT_TRUE(zyn::pdh::detail::ParseExpositionValue("1e-999", v));
    EXPECT_EQ(v, 0.0);
    for (const char* text : {"", "+", "-", "1,5", "1.2.3", "0x1p3", "--1", "1e", "infx", " 1"})
        EXPECT_FALSE(zyn::pdh::detail::ParseExpositionValue(text, v)) << text;
}

TEST(Exposition, ReadsARealNodeExporterPage) {
    const std::string text = Fixture("node_exporter_1.5.0.txt");
    ASSERT_FALSE(text.empty());
    CMetricPage page;
    std::string error;
    ASSERT_TRUE(page.Parse(text, error)) << error;
    EXPECT_GT(page.SampleCount(), 500u);
    EXPECT_EQ(page.Samples("node_cpu_seconds_total").size() % 8, 0u);
    EXPECT_EQ(page.Type("node_cpu_seconds_total"), "counter");
    EXPECT_EQ(page.Type("go_gc_duration_seconds"), "summary");
    EXPECT_GT(page.Value("node_memory_MemTotal_bytes"), 0.0);
}

} // namespace
