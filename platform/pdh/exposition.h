#pragma once
// The text exposition format of Prometheus exporters (version 0.0.4): `# HELP` and `# TYPE` lines,
// comments, and samples `name{label="value",…} value [timestamp]`. A page is read whole and strictly,
// as Prometheus itself reads a scrape: one malformed line rejects the page, with the line named.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zyn::pdh::detail {

struct MetricSample {
    std::uint32_t firstLabel = 0; // into the page's label table
    std::uint32_t labelCount = 0;
    double value = 0;
    std::int64_t timestampMs = 0;
    bool hasTimestamp = false;
};

class CMetricPage {
public:
    // Most samples a page may hold: an exporter's page has a few thousand.
    static constexpr std::size_t kMaxSamples = 500'000;
    static constexpr std::size_t kMaxLabelsPerSample = 64;

    // Reads `text`. False with the reason (and the line) when it is not a valid page; the page is
    // then empty.
    bool Parse(std::string_view text, std::string& error);

    // The samples of a metric in page order (empty when the page has none).
    [[nodiscard]] std::span<const MetricSample> Samples(std::string_view name) const;
    // A label's value, or empty when the sample has no such label.
    [[nodiscard]] std::string_view Label(const MetricSample& sample, std::string_view name) const;
    [[nodiscard]] std::span<const std::pair<std::string, std::string>>
    Labels(const MetricSample& sample) const;
    // The value of the metric's first sample, NaN when the page has none.
    [[nodiscard]] double Value(std::string_view name) const;
    [[nodiscard]] bool Has(std::string_view name) const { return !Samples(name).empty(); }
    // The metric names in the order they first appear.
    [[nodiscard]] const std::vector<std::string>& Names() const { return m_names; }
    // The TYPE a page declared for a metric family (empty when none).
    [[nodiscard]] std::string_view Type(std::string_view family) const;
    [[nodiscard]] std::size_t SampleCount() const { return m_sampleCount; }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Map = std::unordered_map<std::string, std::vector<MetricSample>, Hash, std::equal_to<>>;

    bool ParseLine(std::string_view line, std::string& why);
    bool ParseComment(std::string_view line, std::string& why);
    bool ParseSample(std::string_view line, std::string& why);
    void Clear();

    Map m_samples;
    std::vector<std::string> m_names;
    std::vector<std::pair<std::string, std::string>> m_labels;
    std::unordered_map<std::string, std::string, Hash, std::equal_to<>> m_types;
    std::size_t m_sampleCount = 0;
};

// A sample value as exporters write it (Go's float syntax: `1.5e3`, `+Inf`, `-Inf`, `NaN`).
[[nodiscard]] bool ParseExpositionValue(std::string_view text, double& value);

} // namespace zyn::pdh::detail
