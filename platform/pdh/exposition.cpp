#include "exposition.h"

#include "text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zyn::pdh::detail {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

void SkipBlanks(std::string_view& s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    s.remove_prefix(i);
}

// A metric name ([a-zA-Z_:][a-zA-Z0-9_:]*) or a label name ([a-zA-Z_][a-zA-Z0-9_]*) at the start.
std::string_view TakeName(std::string_view& s, bool metric) {
    std::size_t i = 0;
    if (i < s.size() && (IsNameStart(s[i]) || (metric && s[i] == ':'))) {
        ++i;
        while (i < s.size() && (IsNameChar(s[i]) || (metric && s[i] == ':')))
            ++i;
    }
    const std::string_view name = s.substr(0, i);
    s.remove_prefix(i);
    return name;
}

std::string_view TakeWord(std::string_view& s) {
    SkipBlanks(s);
    std::size_t i = 0;
    while (i < s.size() && !IsBlank(s[i]))
        ++i;
    const std::string_view word = s.substr(0, i);
    s.remove_prefix(i);
    return word;
}

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = cp << 6 | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

// A quoted label value with the escapes \\, \" and \n.
bool TakeQuoted(std::string_view& s, std::string& out, std::string& why) {
    if (s.empty() || s.front() != '"') {
        why = "a label value must be in double quotes";
        return false;
    }
    s.remove_prefix(1);
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            if (!ValidUtf8(out)) {
                why = "a label value is not UTF-8";
                return false;
            }
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == s.size()) break;
        switch (s[i]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            why = "a label value has an unknown escape";
            return false;
        }
    }
    why = "a label value is not closed";
    return false;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    return EqualsNoCase(a, b);
}

} // namespace

bool ParseExpositionValue(std::string_view text, double& value) {
    std::string_view t = text;
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (EqualsNoCaseAscii(t, "inf") || EqualsNoCaseAscii(t, "infinity")) {
        value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    if (EqualsNoCaseAscii(t, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    // from_chars takes no sign of its own here, and would also take "inf"/"nan" spellings Go does not.
    if (t.empty() || !((t.front() >= '0' && t.front() <= '9') || t.front() == '.')) return false;
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (end != t.data() + t.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Go rounds a value too large to +-Inf and one too small to 0; from_chars leaves it to us.
        const auto e = t.find_first_of("eE");
        const bool hugeExponent =
            e != std::string_view::npos && t.substr(e + 1).find('-') == std::string_view::npos;
        v = hugeExponent ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc{}) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

void CMetricPage::Clear() {
    m_samples.clear();
    m_names.clear();
    m_labels.clear();
    m_types.clear();
    m_sampleCount = 0;
}

bool CMetricPage::Parse(std::string_view text, std::string& error) {
    Clear();
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        std::string why;
        if (!ParseLine(line, why)) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            Clear();
            return false;
        }
    }
    return true;
}

bool CMetricPage::ParseLine(std::string_view line, std::string& why) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    SkipBlanks(line);
    if (line.empty()) return true;
    if (line.front() == '#') return ParseComment(line.substr(1), why);
    return ParseSample(line, why);
}

bool CMetricPage::ParseComment(std::string_view line, std::string& why) {
    std::string_view rest = line;
    const std::string_view keyword = TakeWord(rest);
    if (keyword != "HELP" && keyword != "TYPE") return true; // a plain comment
    SkipBlanks(rest);
    const std::string_view name = TakeName(rest, true);
    if (name.empty() || (!rest.empty() && !IsBlank(rest.front()))) {
        why = "a " + std::string(keyword) + " line names no metric";
        return false;
    }
    if (keyword == "HELP") return true; // free text; nothing here reads it
    const std::string_view type = TakeWord(rest);
    SkipBlanks(rest);
    static constexpr std::string_view kTypes[] = {"counter", "gauge", "histogram", "summary", "untyped"};
    if (std::find(std::begin(kTypes), std::end(kTypes), type) == std::end(kTypes)) {
        why = "unknown metric type \"" + std::string(type) + "\"";
        return false;
    }
    if (!rest.empty()) {
        why = "text after the metric type";
        return false;
    }
    if (!m_types.emplace(std::string(name), std::string(type)).second) {
        why = "a second TYPE line for " + std::string(name);
        return false;
    }
    return true;
}

bool CMetricPage::ParseSample(std::string_view line, std::string& why) {
    if (m_sampleCount >= kMaxSamples) {
        why = "more than " + std::to_string(kMaxSamples) + " samples";
        return false;
    }
    std::string_view rest = line;
    const std::string_view name = TakeName(rest, true);
    if (name.empty()) {
        why = "a sample must start with a metric name";
        return false;
    }
    MetricSample sample;
    sample.firstLabel = static_cast<std::uint32_t>(m_labels.size());
    std::string_view afterBlanks = rest;
    SkipBlanks(afterBlanks);
    if (!afterBlanks.empty() && afterBlanks.front() == '{') {
        rest = afterBlanks.substr(1);
        for (;;) {
            SkipBlanks(rest);
            if (!rest.empty() && rest.front() == '}') {
                rest.remove_prefix(1);
                break;
            }
            const std::string_view label = TakeName(rest, false);
            if (label.empty()) {
                why = "a label name is missing or malformed";
                break;
            }
            SkipBlanks(rest);
            if (rest.empty() || rest.front() != '=') {
                why = "a label has no '='";
                break;
            }
            rest.remove_prefix(1);
            SkipBlanks(rest);
            std::string value;
            if (!TakeQuoted(rest, value, why)) break;
            const auto begin = m_labels.begin() + sample.firstLabel;
            if (std::any_of(begin, m_labels.end(), [&](const auto& l) { return l.first == label; })) {
                why = "the label " + std::string(label) + " appears twice";
                break;
            }
            if (m_labels.size() - sample.firstLabel >= kMaxLabelsPerSample) {
                why = "a sample has too many labels";
                break;
            }
            m_labels.emplace_back(std::string(label), std::move(value));
            SkipBlanks(rest);
            if (!rest.empty() && rest.front() == ',') {
                rest.remove_prefix(1);
                continue;
            }
            if (!rest.empty() && rest.front() == '}') continue;
            why = "labels must be separated by ','";
            break;
        }
        if (!why.empty()) {
            m_labels.resize(sample.firstLabel);
            return false;
        }
    }
    sample.labelCount = static_cast<std::uint32_t>(m_labels.size() - sample.firstLabel);
    if (rest.empty() || !IsBlank(rest.front())) {
        why = rest.empty() ? "a sample has no value" : "a blank must separate the name from the value";
        m_labels.resize(sample.firstLabel);
        return false;
    }
    const std::string_view valueText = TakeWord(rest);
    const std::string_view timeText = TakeWord(rest);
    SkipBlanks(rest);
    bool ok = ParseExpositionValue(valueText, sample.value);
    if (!ok) why = "\"" + std::string(valueText.substr(0, 40)) + "\" is not a number";
    if (ok && !timeText.empty()) {
        const auto [end, ec] =
            std::from_chars(timeText.data(), timeText.data() + timeText.size(), sample.timestampMs);
        ok = ec == std::errc{} && end == timeText.data() + timeText.size();
        sample.hasTimestamp = ok;
        if (!ok) why = "the timestamp is not a whole number of milliseconds";
    }
    if (ok && !rest.empty()) {
        ok = false;
        why = "text after the timestamp";
    }
    if (!ok) {
        m_labels.resize(sample.firstLabel);
        return false;
    }
    auto it = m_samples.find(name);
    if (it == m_samples.end()) {
        it = m_samples.emplace(std::string(name), std::vector<MetricSample>{}).first;
        m_names.emplace_back(name);
    }
    it->second.push_back(sample);
    ++m_sampleCount;
    return true;
}

std::span<const MetricSample> CMetricPage::Samples(std::string_view name) const {
    const auto it = m_samples.find(name);
    if (it == m_samples.end()) return {};
    return it->second;
}

std::span<const std::pair<std::string, std::string>> CMetricPage::Labels(const MetricSample& sample) const {
    if (sample.firstLabel + std::size_t{sample.labelCount} > m_labels.size()) return {};
    return {m_labels.data() + sample.firstLabel, sample.labelCount};
}

std::string_view CMetricPage::Label(const MetricSample& sample, std::string_view name) const {
    for (const auto& [k, v] : Labels(sample))
        if (k == name) return v;
    return {};
}

double CMetricPage::Value(std::string_view name) const {
    const auto samples = Samples(name);
    return samples.empty() ? std::numeric_limits<double>::quiet_NaN() : samples.front().value;
}

std::string_view CMetricPage::Type(std::string_view family) const {
    const auto it = m_types.find(family);
    return it == m_types.end() ? std::string_view{} : std::string_view(it->second);
}

} // namespace zyn::pdh::detail
