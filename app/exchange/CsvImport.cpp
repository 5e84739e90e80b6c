#include "CsvImport.h"

#include "ChartFile.h"
#include "CsvTime.h"

#include "com/bstr.h"
#include "com/ccombstr.h"
#include "com/variant.h"
#include "display/VariantDate.h"
#include "objlib/ZynBulkAccess.h"
#include "utils/ZynFiles.h"
#include "utils/ZynNumber.h"
#include "utils/ZynWhiteSpace.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cwctype>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zyn::csv {

namespace {

// The next `c` at or after `from`, or npos. The standard search of 16-bit text goes a character
// at a time; a file of a million lines is searched through twice (lines, then fields).
std::size_t Find16(std::u16string_view s, char16_t c, std::size_t from) {
    if (from >= s.size()) return std::u16string_view::npos;
    const char16_t* p = s.data() + from;
    const char16_t* const end = s.data() + s.size();
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; end - p >= 8; p += 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(block, needle)));
        if (mask) return std::size_t(p - s.data()) + std::size_t(__builtin_ctz(mask)) / 2;
    }
#endif
    for (; p < end; ++p)
        if (*p == c) return std::size_t(p - s.data());
    return std::u16string_view::npos;
}

// Lines end at the next carriage return or, when no carriage return follows, at the next line
// feed. The position of the next carriage return is remembered so the walk stays linear.
class LineWalker {
public:
    explicit LineWalker(std::u16string_view text) : m_text(text) {}

    // The next line (untrimmed); false when the rest has no line end.
    bool Next(std::u16string_view& line) {
        if (m_pos >= m_text.size()) return false;
        if (m_nextCr != std::u16string_view::npos && m_nextCr < m_pos)
            m_nextCr = Find16(m_text, u'\r', m_pos);
        std::size_t end = m_nextCr;
        if (end == std::u16string_view::npos) end = Find16(m_text, u'\n', m_pos);
        if (end == std::u16string_view::npos) return false;
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        return true;
    }

private:
    std::u16string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_nextCr = 0; // stale until the first search
};

bool HasLetter(std::u16string_view s) {
    for (char16_t c : s)
        if (std::iswalpha(wint_t(c))) return true;
    return false;
}

// A plain decimal ("-12.5") goes straight to from_chars; anything else takes StringToDouble's
// forgiving reading. Both give the correctly rounded value of the same digits.
double ReadValue(std::u16string_view field) {
    char plain[64];
    std::size_t n = 0;
    bool simple = field.size() < sizeof plain;
    bool dot = false, digits = false;
    for (std::size_t i = 0; simple && i < field.size(); ++i) {
        const char16_t c = field[i];
        if (c >= u'0' && c <= u'9')
            digits = true;
        else if (c == u'.' && !dot)
            dot = true;
        else if (!(c == u'-' && i == 0))
            simple = false;
        plain[n++] = char(c);
    }
    if (simple && digits) {
        double v = 0;
        auto [end, ec] = std::from_chars(plain, plain + n, v);
        if (ec == std::errc() && end == plain + n) return v;
    }
    std::u16string copy(field);
    return StringToDouble(copy.c_str());
}

// Offsets from the first time in whole milliseconds. Rounded, not truncated: the difference of
// two whole-second times comes out a hair below the whole number of milliseconds. A channel takes
// relative times up to the largest LONG (about 24.8 days): a row further from the first can have no
// time there, and is refused rather than wrapped onto a wrong one.
bool OffsetMs(double t, double first, LONG& ms) {
    const double d = std::fabs(t - first) * 86400000.0;
    if (!std::isfinite(d) || d > double(std::numeric_limits<LONG>::max())) return false;
    const long long rounded = std::llround(d);
    if (rounded > std::numeric_limits<LONG>::max()) return false;
    ms = LONG(rounded);
    return true;
}

// Rows read between appends: few enough that the waiting values of every column stay in the cache.
constexpr long kRunRows = 1 << 12;

// Values of one new channel waiting to be appended, with their times.
struct ColumnRun {
    CComPtr<IZynBulkAccess> target;
    std::vector<double> values;
    std::vector<LONG> times;
    LONG waiting = 0;

    // At most kRunRows between appends.
    void Add(double value, LONG ms) {
        if (values.empty()) {
            values.resize(kRunRows);
            times.resize(kRunRows);
        }
        values[std::size_t(waiting)] = value;
        times[std::size_t(waiting)] = ms;
        ++waiting;
    }
    // Appends what waits; false when the channel refuses it.
    bool Append() {
        LONG count = 0;
        const bool ok =
            waiting == 0 || SUCCEEDED(target->AppendValues(waiting, values.data(), times.data(), &count));
        waiting = 0;
        return ok;
    }
};

struct Undo {
    IZynChart* chart;
    bool startWasZero = false;
    std::vector<CComPtr<IZynChannel>>& channels;
    void Run() {
        for (auto& c : channels)
            c->Detach();
        channels.clear();
        if (startWasZero) {
            CComVariant zero(0.0);
            chart->put_StartTime(zero);
        }
    }
};

double ChartStart(IZynChart* chart) {
    CComVariant v;
    if (FAILED(chart->get_StartTime(&v))) return 0.0;
    return VariantDate(v);
}

} // namespace

namespace {

// A field of a data line as SplitFields gives it, and its value when the split could read it.
struct FieldView {
    std::u16string_view text;
    bool read = false; // `value` is ReadValue(text)
    double value = 0.0;
};

// A field that is a plain decimal from `pos` to the next comma or the end, read as ReadValue reads
// it, in the one pass that finds its end; false (nothing read) for any other field.
bool ReadPlainField(std::u16string_view line, std::size_t pos, FieldView& field, std::size_t& next) {
    char plain[64];
    std::size_t n = 0;
    bool dot = false, digits = false;
    std::size_t i = pos;
    for (; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (c == u',') break;
        if (unsigned(c - u'0') < 10u)
            digits = true;
        else if (c == u'.' && !dot)
            dot = true;
        else if (!(c == u'-' && i == pos))
            return false;
        if (n + 1 == sizeof plain) return false;
        plain[n++] = char(c);
    }
    if (!digits) return false;
    double v = 0;
    auto [end, ec] = std::from_chars(plain, plain + n, v);
    if (ec != std::errc() || end != plain + n) return false;
    field.text = line.substr(pos, i - pos);
    field.read = true;
    field.value = v;
    next = i < line.size() ? i : std::u16string_view::npos;
    return true;
}

// The fields of a data line as SplitFields gives them, as views: into the line when it holds no
// quote (the common line, split and read without copying), else into `quoted`.
void SplitViews(std::u16string_view line, std::vector<FieldView>& views, std::vector<std::u16string>& quoted,
                std::size_t limit) {
    views.clear();
    if (Find16(line, u'"', 0) != std::u16string_view::npos) {
        SplitFields(line, quoted, limit);
        for (const auto& f : quoted)
            views.push_back({f});
        return;
    }
    std::size_t pos = 0;
    while (views.size() < limit) {
        FieldView field;
        std::size_t next = 0;
        if (!ReadPlainField(line, pos, field, next)) {
            next = Find16(line, u',', pos);
            field.text =
                TrimAsciiSpace(line.substr(pos, next == std::u16string_view::npos ? line.npos : next - pos));
        }
        views.push_back(field);
        if (next == std::u16string_view::npos) break;
        pos = next + 1;
    }
}

} // namespace

void SplitFields(std::u16string_view line, std::vector<std::u16string>& fields, std::size_t limit) {
    // The strings of the last line are reused, so a long text splits without allocating.
    std::size_t count = 0;
    auto next_field = [&]() -> std::u16string& {
        if (count == fields.size()) fields.emplace_back();
        std::u16string& f = fields[count++];
        f.clear();
        return f;
    };
    std::size_t pos = 0;
    while (count < limit) {
        // Leading white space before an opening quote does not count.
        std::size_t start = pos;
        while (start < line.size() && (line[start] == u' ' || line[start] == u'\t'))
            ++start;
        std::u16string& field = next_field();
        std::size_t next;
        if (start < line.size() && line[start] == u'"') {
            std::size_t i = start + 1;
            for (; i < line.size(); ++i) {
                if (line[i] != u'"') {
                    field.push_back(line[i]);
                } else if (i + 1 < line.size() && line[i + 1] == u'"') {
                    field.push_back(u'"');
                    ++i;
                } else {
                    break;
                }
            }
            // Anything between the closing quote and the next comma is kept as written.
            next = line.find(u',', std::min(i, line.size()));
            const std::size_t tailStart = std::min(i + 1, line.size());
            field.append(
                line.substr(tailStart, (next == std::u16string_view::npos ? line.size() : next) - tailStart));
            const std::u16string trimmed(TrimAsciiSpace(field));
            field = trimmed;
        } else {
            next = line.find(u',', pos);
            field.assign(
                TrimAsciiSpace(line.substr(pos, next == std::u16string_view::npos ? line.npos : next - pos)));
        }
        if (next == std::u16string_view::npos) break;
        pos = next + 1;
    }
    fields.resize(count);
}

bool ImportText(IZynChart* chart, std::u16string_view text, const ImportOptions& options,
                std::vector<CComPtr<IZynChannel>>* createdOut) {
    if (!chart || text.empty()) return false;

    // The first line fixes the column count and whether it is a header.
    std::size_t firstEnd = text.find(u'\r');
    if (firstEnd == std::u16string_view::npos) firstEnd = text.find(u'\n');
    if (firstEnd == std::u16string_view::npos) return false;
    std::vector<std::u16string> fields;
    SplitFields(TrimAsciiSpace(text.substr(0, firstEnd)), fields, kMaxColumns);
    const std::size_t columns = fields.size();
    if (columns < 2 || columns >= std::size_t(kMaxColumns)) return false;
    int letterFields = 0;
    for (const auto& f : fields)
        letterFields += HasLetter(f) ? 1 : 0;
    const bool header = letterFields >= 2;

    // The time column: the first field of the second line that holds a ':'.
    const std::u16string_view rest = text.substr(firstEnd + 1);
    std::size_t secondEnd = rest.find(u'\r');
    if (secondEnd == std::u16string_view::npos) secondEnd = rest.find(u'\n');
    if (secondEnd == std::u16string_view::npos) return false;
    SplitFields(TrimAsciiSpace(rest.substr(0, secondEnd)), fields);
    std::size_t timeColumn = SIZE_MAX;
    for (std::size_t i = 0; i < fields.size() && i < columns; ++i) {
        if (fields[i].find(u':') != std::u16string::npos) {
            timeColumn = i;
            break;
        }
    }
    if (timeColumn == SIZE_MAX) return false;

    std::vector<CComPtr<IZynChannel>> created;
    Undo undo{chart, ChartStart(chart) == 0.0, created};
    std::vector<CComPtr<IZynChannel>> byColumn(columns);
    std::vector<ColumnRun> runs(columns);
    // Every column but the time gets its channel, in column order, before the chart is locked:
    // made inside the lock, a channel would take its own locks after the chart's, the reverse of
    // the order in which every holder of the chart takes them.
    for (std::size_t col = 0; col < columns; ++col) {
        if (col == timeColumn) continue;
        CComPtr<IZynChannel> channel;
        if (FAILED(chart->AddStaticChannel(&channel)) || !channel ||
            FAILED(channel.QueryInterface(&runs[col].target))) {
            undo.Run();
            return false;
        }
        channel->put_Color(kDefaultChannelColours[created.size() % 10]);
        created.push_back(channel);
        byColumn[col] = channel;
    }

    CComPtr<IZynObjLock> lock;
    if (FAILED(chart->LockObject(&lock)) || !lock) {
        undo.Run();
        return false;
    }
    CCsvTimeReader timeReader;
    if (options.today >= 0) timeReader.SetToday(options.today);

    std::vector<double> values(columns);
    std::vector<bool> present(columns);
    std::vector<bool> named(columns);
    std::vector<FieldView> views;
    // Each new channel's values gather in runs that are appended at once: a call per value cost
    // more than the reading of the text.
    auto flush = [&] {
        bool ok = true;
        for (ColumnRun& run : runs)
            ok = run.Append() && ok;
        return ok;
    };
    long rows = 0;
    bool refused = false;
    double firstTime = 0.0;
    bool startChecked = false;
    LineWalker walker(text);
    std::u16string_view line;
    while (walker.Next(line)) {
        line = TrimAsciiSpace(line);
        if (line.empty()) continue;
        SplitViews(line, views, fields, columns);
        const bool headerLine = rows == 0 && header;
        bool valid = true;
        double lineTime = 0.0;
        for (std::size_t col = 0; col < columns; ++col) {
            present[col] = col < views.size() && !views[col].text.empty();
            values[col] = 0.0;
            if (col == timeColumn) {
                if (!present[col]) {
                    valid = false;
                    continue;
                }
                if (headerLine) continue;
                lineTime = timeReader.Parse(views[col].text);
                // A time that cannot be read would land decades away from the others.
                if (lineTime <= 0.0)
                    valid = false;
                else if (firstTime == 0.0)
                    firstTime = lineTime;
                continue;
            }
            // Lines before the first valid one are passed over, but a header names each column's
            // channel only from the first line.
            if (rows == 0 && !named[col]) {
                named[col] = true;
                if (header) {
                    if (present[col]) byColumn[col]->put_Name(CComBSTR(views[col].text));
                    continue;
                }
            }
            if (present[col]) values[col] = views[col].read ? views[col].value : ReadValue(views[col].text);
        }
        if (!valid) continue;
        if (headerLine) {
            rows = 1;
            continue;
        }
        ++rows;
        if (!startChecked) {
            startChecked = true;
            if (ChartStart(chart) == 0.0) {
                CComVariant start(firstTime);
                chart->put_StartTime(start);
            }
        }
        LONG offset = 0;
        if (!OffsetMs(lineTime, firstTime, offset)) {
            undo.Run();
            lock->Unlock();
            return false;
        }
        for (std::size_t col = 0; col < columns; ++col) {
            if (col == timeColumn || !present[col] || !runs[col].target) continue;
            runs[col].Add(values[col], offset);
        }
        if (rows % kRunRows == 0 && !flush()) {
            refused = true;
            break;
        }
    }

    if (refused || rows < 2 || !flush()) {
        undo.Run();
        lock->Unlock();
        return false;
    }
    for (auto& c : created) {
        LONG stat = 0;
        c->AutoScale(&stat);
    }
    lock->Unlock();
    if (createdOut) *createdOut = created;
    return true;
}

bool LoadCsv(const std::string& path, IZynChart* chart, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!ZynReadRegularFile(path, bytes, zyn::chartfile::kMaxFileBytes, error)) return false;
    // Read as text: every line, the last one too, comes with one line feed.
    std::string text;
    text.reserve(bytes.size() + 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(char(bytes[i]));
    }
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    if (ImportText(chart, zyn::com::Utf8ToUtf16(text))) return true;
    if (error) *error = "it holds no data that can be read as CSV";
    return false;
}

} // namespace zyn::csv
