#include "prometheus_api.h"

#include "host_settings.h"
#include "http.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <limits>

namespace zyn::net {
namespace {

constexpr std::size_t kMaxDepth = 32;
constexpr std::size_t kMaxLabels = 256;

// Prometheus writes sample values as strings: a number, "NaN", "+Inf" or "-Inf".
bool ParseSampleValue(std::string_view text, double& value) {
    if (text == "NaN") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (text == "+Inf" || text == "Inf") {
        value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (text == "-Inf") {
        value = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && std::isfinite(value);
}

// Where the reader is in the answer; everything it does not know is skipped whole.
enum class Frame { Root, Data, Result, Series, Metric, Values, Point, Warnings, Skip };

class CAnswerReader final : public nlohmann::json::json_sax_t {
public:
    explicit CAnswerReader(const PromLimits& limits, PromResult& out) : m_limits(limits), m_out(out) {}

    bool null() override { return Scalar(); }
    bool boolean(bool) override { return Scalar(); }
    bool number_integer(number_integer_t v) override { return Number(static_cast<double>(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Number(static_cast<double>(v)); }
    bool number_float(number_float_t v, const string_t&) override { return Number(v); }
    bool binary(binary_t&) override { return Scalar(); }

    bool string(string_t& s) override {
        const std::string key = TakeKey();
        switch (Top()) {
        case Frame::Root:
            if (key == "status")
                m_status = s;
            else if (key == "error")
                m_error = s;
            else if (key == "errorType")
                m_errorType = s;
            return true;
        case Frame::Data:
            if (key == "resultType") m_resultType = s;
            return true;
        case Frame::Metric:
            if (m_out.series.back().labels.size() >= kMaxLabels) return Fail("a series has too many labels");
            m_out.series.back().labels.emplace_back(key, std::move(s));
            return true;
        case Frame::Point:
            if (m_pointIndex++ != 1) return Fail("a point is not [time, \"value\"]");
            if (!ParseSampleValue(s, m_pointValue)) return Fail("a point's value is not a number");
            return true;
        case Frame::Warnings:
            if (m_out.warnings.size() < 16) m_out.warnings.push_back(std::move(s));
            return true;
        default:
            return true;
        }
    }

    bool key(string_t& k) override {
        m_key = std::move(k);
        return true;
    }

    bool start_object(std::size_t) override {
        const std::string key = TakeKey();
        if (m_stack.empty()) return Push(Frame::Root);
        switch (Top()) {
        case Frame::Root:
            return Push(key == "data" ? Frame::Data : Frame::Skip);
        case Frame::Result:
            if (m_out.series.size() >= m_limits.maxSeries)
                return Fail("the query returned more than " + std::to_string(m_limits.maxSeries) +
                            " series; narrow it (for example with sum by (…) or topk)");
            m_out.series.emplace_back();
            return Push(Frame::Series);
        case Frame::Series:
            return Push(key == "metric" ? Frame::Metric : Frame::Skip);
        case Frame::Metric:
            return Fail("a label value is not a string");
        default:
            return Push(Frame::Skip);
        }
    }

    bool end_object() override { return Pop(); }

    bool start_array(std::size_t) override {
        const std::string key = TakeKey();
        if (m_stack.empty()) return Fail("the answer is not a JSON object");
        switch (Top()) {
        case Frame::Root:
            return Push(key == "warnings" ? Frame::Warnings : Frame::Skip);
        case Frame::Data:
            return Push(key == "result" ? Frame::Result : Frame::Skip);
        case Frame::Series:
            return Push(key == "values" ? Frame::Values : Frame::Skip);
        case Frame::Values:
            m_pointIndex = 0;
            m_pointTime = m_pointValue = std::numeric_limits<double>::quiet_NaN();
            return Push(Frame::Point);
        case Frame::Metric:
            return Fail("a label value is not a string");
        default:
            return Push(Frame::Skip);
        }
    }

    bool end_array() override {
        if (Top() == Frame::Point) {
            if (m_pointIndex != 2 || !std::isfinite(m_pointTime))
                return Fail("a point is not [time, \"value\"]");
            if (++m_points > m_limits.maxPoints)
                return Fail("the query returned more than " + std::to_string(m_limits.maxPoints) +
                            " points; choose a larger step or a shorter range");
            m_out.series.back().points.emplace_back(m_pointTime, m_pointValue);
        }
        return Pop();
    }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::json::exception&) override {
        if (m_failure.empty())
            m_failure = "the answer is not valid JSON (at byte " + std::to_string(position) + ")";
        return false;
    }

    // The verdict once the parse has ended.
    void Finish(bool parsed) {
        if (!m_failure.empty() || !parsed) {
            m_out.error = m_failure.empty() ? "the answer is not valid JSON" : m_failure;
            m_out.series.clear();
            return;
        }
        if (m_status == "error") {
            m_out.error = "Prometheus refused the query: " + (m_error.empty() ? m_errorType : m_error);
            return;
        }
        if (m_status != "success") {
            m_out.error = "the answer is not a Prometheus API answer";
            m_out.series.clear();
            return;
        }
        if (m_resultType != "matrix") {
            m_out.error = "the answer is not a range (matrix) result";
            m_out.series.clear();
            return;
        }
        m_out.ok = true;
    }

private:
    [[nodiscard]] Frame Top() const { return m_stack.empty() ? Frame::Skip : m_stack.back(); }
    std::string TakeKey() { return std::exchange(m_key, std::string()); }

    bool Push(Frame f) {
        if (m_stack.size() >= kMaxDepth) return Fail("the answer is nested too deeply");
        m_stack.push_back(f);
        return true;
    }
    bool Pop() {
        if (!m_stack.empty()) m_stack.pop_back();
        return true;
    }
    bool Scalar() {
        const std::string key = TakeKey();
        if (Top() == Frame::Metric) return Fail("a label value is not a string");
        if (Top() == Frame::Point) return Fail("a point is not [time, \"value\"]");
        return true;
    }
    bool Number(double v) {
        const std::string key = TakeKey();
        switch (Top()) {
        case Frame::Point:
            if (m_pointIndex++ != 0) return Fail("a point is not [time, \"value\"]");
            m_pointTime = v;
            return true;
        case Frame::Metric:
            return Fail("a label value is not a string");
        default:
            return true;
        }
    }
    bool Fail(std::string why) {
        if (m_failure.empty()) m_failure = std::move(why);
        return false;
    }

    const PromLimits& m_limits;
    PromResult& m_out;
    std::vector<Frame> m_stack;
    std::string m_key;
    std::string m_status, m_error, m_errorType, m_resultType, m_failure;
    std::size_t m_points = 0;
    int m_pointIndex = 0;
    double m_pointTime = 0, m_pointValue = 0;
};

// Seconds as the API takes them, without the locale's decimal separator.
std::string SecondsText(double seconds) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 3);
    return ec == std::errc{} ? std::string(buf, end) : std::string("0");
}

} // namespace

PromResult ReadQueryRangeAnswer(std::string_view json, const PromLimits& limits) {
    PromResult result;
    if (json.size() > limits.maxBytes) {
        result.error = "the answer is larger than " + std::to_string(limits.maxBytes) + " bytes";
        return result;
    }
    CAnswerReader reader(limits, result);
    const bool parsed = nlohmann::json::sax_parse(json.begin(), json.end(), &reader,
                                                  nlohmann::json::input_format_t::json, true, false);
    reader.Finish(parsed);
    return result;
}

PromResult QueryRange(const PromRangeQuery& q, const PromLimits& limits) {
    PromResult result;
    UrlParts url;
    if (!ParseHttpUrl(q.serverUrl, url) || url.path.find('?') != std::string::npos) {
        result.error = "The server address must look like http://host:9090 or https://host/prefix, without a "
                       "user name or password (those belong in the settings).";
        return result;
    }
    if (q.query.empty()) {
        result.error = "The query is empty.";
        return result;
    }
    if (!(q.step > 0) || !std::isfinite(q.start) || !std::isfinite(q.end) || !(q.end > q.start)) {
        result.error = "The range must end after it starts, and the step must be more than 0.";
        return result;
    }
    if ((q.end - q.start) / q.step + 1 > kPromMaxStepsPerSeries) {
        result.error =
            "The range holds more than 11,000 steps, more than Prometheus answers; choose a larger "
            "step or a shorter range.";
        return result;
    }
    std::string base = q.serverUrl;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    HttpRequest request;
    request.url = base + "/api/v1/query_range?query=" + UrlEncode(q.query) +
                  "&start=" + SecondsText(q.start) + "&end=" + SecondsText(q.end) +
                  "&step=" + SecondsText(q.step);
    request.accept = "application/json";
    request.maxBytes = limits.maxBytes;
    request.timeoutMs = limits.timeoutMs;
    request.credentials = LoadHostSettings(HostPort(url.host, url.port)).credentials;
    const HttpResponse response = Get(request);
    if (response.failure != HttpFailure::None) {
        result.error = DescribeFailure(response, "Prometheus");
        return result;
    }
    // Prometheus explains a refused query in a JSON body with an error status; anything else that
    // is not 200 is the server's or a proxy's own refusal.
    result = ReadQueryRangeAnswer(response.body, limits);
    if (!result.ok && response.status != 200 && result.error.rfind("Prometheus refused", 0) != 0)
        result.error = DescribeFailure(response, "Prometheus");
    return result;
}

std::string SeriesName(const PromSeries& series, std::string_view query) {
    std::string name;
    std::string labels;
    for (const auto& [key, value] : series.labels) {
        if (key == "__name__") {
            name = value;
            continue;
        }
        if (!labels.empty()) labels += ",";
        labels += key + "=\"";
        for (const char c : value) {
            if (c == '"' || c == '\\') labels += '\\';
            if (c == '\n') {
                labels += "\\n";
                continue;
            }
            labels += c;
        }
        labels += "\"";
    }
    if (name.empty() && labels.empty()) return std::string(query);
    return labels.empty() ? name : name + "{" + labels + "}";
}

} // namespace zyn::net
