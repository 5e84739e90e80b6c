#pragma once
// History from a Prometheus server: a range query (`/api/v1/query_range`) and the reader of its
// answer. The reader streams the JSON and stops at the first thing that breaks a limit, so a huge
// or hostile answer never builds more than the limits allow.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zyn::net {

struct PromSeries {
    std::vector<std::pair<std::string, std::string>> labels; // in the order the server sent them
    std::vector<std::pair<double, double>> points;           // (Unix seconds, value)
};

struct PromLimits {
    std::size_t maxSeries = 500;
    std::size_t maxPoints = 2'000'000; // over all series
    std::size_t maxBytes = 64u << 20;  // of the answer, decoded
    int timeoutMs = 30000;
};

struct PromRangeQuery {
    std::string serverUrl; // http(s)://host[:port][/prefix], without credentials
    std::string query;     // PromQL
    double start = 0;      // Unix seconds
    double end = 0;
    double step = 0; // seconds
};

struct PromResult {
    bool ok = false;
    std::string error; // in words, when not ok
    std::vector<PromSeries> series;
    std::vector<std::string> warnings;
};

// Prometheus answers at most this many points per series.
inline constexpr double kPromMaxStepsPerSeries = 11000;

// Runs the query with the credentials the settings store keeps for the server's host.
[[nodiscard]] PromResult QueryRange(const PromRangeQuery& query, const PromLimits& limits = {});

// Reads a query_range answer body. Fails on anything but a successful matrix result, and when the
// answer has more series or points than the limits allow.
[[nodiscard]] PromResult ReadQueryRangeAnswer(std::string_view json, const PromLimits& limits = {});

// A series' name from its labels, as Prometheus writes a selector: `name{a="1",b="2"}`; the
// query itself when the series has no labels at all.
[[nodiscard]] std::string SeriesName(const PromSeries& series, std::string_view query);

} // namespace zyn::net
