// Arbitrary bytes as an exporter's /metrics page: the reader either refuses the page whole or keeps
// every sample, and a page it accepts, written out again sample by sample, reads back the same.
// An accepted page then goes through every remote collector, as a machine's catalogue is built.

#include "pdh/exposition.h"
#include "pdh/remote.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace {

using zyn::pdh::detail::CMetricPage;
using zyn::pdh::detail::MetricSample;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string Escaped(std::string_view value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

std::string ValueText(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// The page as a canonical writer would write it: names in order of appearance, one line a sample.
std::string Rewrite(const CMetricPage& page) {
    std::string out;
    for (const std::string& name : page.Names()) {
        for (const MetricSample& s : page.Samples(name)) {
            out += name;
            out += '{';
            for (const auto& [label, value] : page.Labels(s))
                out += label + "=\"" + Escaped(value) + "\",";
            out += "} " + ValueText(s.value);
            if (s.hasTimestamp) out += ' ' + std::to_string(s.timestampMs);
            out += '\n';
        }
    }
    return out;
}

bool SameValue(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto page = std::make_shared<CMetricPage>();
    std::string error;
    if (!page->Parse(text, error)) {
        Check(!error.empty() && page->SampleCount() == 0 && page->Names().empty());
        return 0;
    }
    std::size_t total = 0;
    for (const std::string& name : page->Names()) {
        Check(page->Has(name));
        for (const MetricSample& s : page->Samples(name))
            Check(page->Labels(s).size() == s.labelCount);
        total += page->Samples(name).size();
    }
    Check(total == page->SampleCount());

    CMetricPage again;
    std::string againError;
    Check(again.Parse(Rewrite(*page), againError));
    Check(again.Names() == page->Names() && again.SampleCount() == page->SampleCount());
    for (const std::string& name : page->Names()) {
        const auto a = page->Samples(name);
        const auto b = again.Samples(name);
        Check(a.size() == b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            Check(SameValue(a[i].value, b[i].value) && a[i].hasTimestamp == b[i].hasTimestamp &&
                  a[i].timestampMs == b[i].timestampMs);
            const auto la = page->Labels(a[i]);
            const auto lb = again.Labels(b[i]);
            Check(la.size() == lb.size() && std::equal(la.begin(), la.end(), lb.begin()));
        }
    }

    zyn::pdh::detail::Scrape scrape;
    scrape.page = page;
    scrape.status = 0;
    const auto catalog = zyn::pdh::detail::CatalogOf(std::move(scrape));
    for (const auto& object : catalog->objects) {
        Check(object.def != nullptr && !object.counters.empty());
        for (const auto* counter : object.counters)
            Check(catalog->HasCounter(object.def, counter));
    }
    return 0;
}
