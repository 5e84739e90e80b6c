// Arbitrary bytes as a Prometheus server's answer to a range query, read under limits the first
// byte picks. The reader accepts only valid JSON, never returns more series or points than its
// limits allow, keeps nothing when it fails, and names every series it returns.

#include "net/prometheus_api.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    zyn::net::PromLimits limits;
    limits.maxSeries = 1 + (data[0] & 0x0F);
    limits.maxPoints = 1 + 4 * std::size_t(data[0] >> 4);
    const std::string_view json(reinterpret_cast<const char*>(data + 1), size - 1);

    const zyn::net::PromResult result = zyn::net::ReadQueryRangeAnswer(json, limits);
    if (!result.ok) {
        Check(!result.error.empty());
        // A refusal the server explained is the only failure that came from a complete answer.
        if (result.error.rfind("Prometheus refused the query: ", 0) != 0) Check(result.series.empty());
        return 0;
    }
    Check(result.error.empty());
    Check(nlohmann::json::accept(json));
    Check(result.series.size() <= limits.maxSeries);
    std::size_t points = 0;
    for (const zyn::net::PromSeries& series : result.series) {
        points += series.points.size();
        Check(!zyn::net::SeriesName(series, "q").empty());
    }
    Check(points <= limits.maxPoints);
    return 0;
}
