#include "ChannelPlot.h"

#include "utils/ZynVectorUnits.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr std::int64_t kChunk = 1 << 16;
// Rows fetched per call while summarising: the run's pairs stay in the cache until reduced.
constexpr std::int64_t kSummaryRun = 1 << 14;
constexpr double kOneMs = 1.0 / 86400000.0;
constexpr double kNotRead = std::numeric_limits<double>::quiet_NaN();

// Rows of [a, a + n) into buf.rows (pairs of time-base index and row); how many came back.
HRESULT FetchRows(const ChannelWindow& w, std::int64_t a, std::int64_t n, ChannelBuffers& buf, LONG& got) {
    got = 0;
    if (n <= 0) return S_OK;
    if (buf.rows.size() < std::size_t(2 * n)) buf.rows.resize(std::size_t(2 * n));
    return w.dataPrivate->GetDataEx(LONG(a), LONG(n), w.scaleMin, w.scaleMax, 0.0, w.tall, buf.rows.data(),
                                    &got);
}

// Times of the samples, fetched in aligned blocks so that neighbouring look-ups share a call.
class TimeCursor {
public:
    TimeCursor(const ChannelWindow& w, std::int64_t count) : m_w(w), m_count(count) {}

    // The column of sample i, or INT_MAX when its time cannot be read.
    int PixelOf(std::int64_t i) {
        const std::int64_t block = i / kSize;
        if (block != m_block) {
            m_block = block;
            m_valid = 0;
            LONG got = 0;
            const std::int64_t n = std::min<std::int64_t>(kSize, m_count - block * kSize);
            if (n > 0 && SUCCEEDED(m_w.dataPrivate->GetTimeAtEx(LONG(block * kSize), LONG(n), m_times, &got)))
                m_valid = got;
        }
        const std::int64_t k = i - m_block * kSize;
        return k < m_valid ? m_w.xMap.Map(m_times[k]) : INT_MAX;
    }

private:
    static constexpr std::int64_t kSize = ChannelSummary::kBlock;
    const ChannelWindow& m_w;
    std::int64_t m_count;
    std::int64_t m_block = -1;
    std::int64_t m_valid = 0;
    double m_times[kSize];
};

// First index in [lo, hi] whose column is at least px (hi when none is), starting from the data
// set's own time search and correcting locally for its millisecond resolution.
std::int64_t FirstAtOrAfter(const ChannelWindow& w, TimeCursor& times, ChannelSummary* summary, int px,
                            std::int64_t lo, std::int64_t hi) {
    LONG guess = LONG(lo);
    if (summary && summary->Blocks() > 0) {
        // The block before the first one starting at or after px holds the answer (or it is
        // beyond the summarised part). The halving search probes the blocks std::partition_point
        // would, in its order: with times out of order the answer depends on which are probed.
        std::int64_t j = 0;
        for (std::int64_t len = summary->Blocks(); len > 0;) {
            const std::int64_t half = len / 2;
            if (w.xMap.Map(summary->BlockTime(j + half)) < px) {
                j += half + 1;
                len -= half + 1;
            } else {
                len = half;
            }
        }
        guess = LONG(j == 0 ? 0 : (j - 1) * ChannelSummary::kBlock);
    } else if (w.data) {
        w.data->TimeToIndex(w.xMap.Unmap(px) - 2 * kOneMs, &guess);
    }
    std::int64_t g = std::clamp<std::int64_t>(guess, lo, hi);
    // Bracket [left, right] so that PixelOf(left - 1) < px (or left = lo) and PixelOf(right) >= px (or right
    // = hi).
    std::int64_t left = g, right = g;
    std::int64_t stride = 1;
    while (left > lo && times.PixelOf(left - 1) >= px) {
        right = left - 1;
        left = std::max(lo, left - stride);
        stride *= 2;
    }
    if (right == g) {
        stride = 1;
        while (right < hi && times.PixelOf(right) < px) {
            left = right + 1;
            right = std::min(hi, right + stride);
            stride *= 2;
        }
    }
    while (left < right) {
        const std::int64_t mid = left + (right - left) / 2;
        if (times.PixelOf(mid) >= px)
            right = mid;
        else
            left = mid + 1;
    }
    return left;
}

// Rows of aligned blocks, the last one kept: neighbouring columns share their boundary block. The
// last block is usually partial, and the data set refuses a run reaching past its end.
class RowCursor {
public:
    RowCursor(const ChannelWindow& w, std::int64_t count) : m_w(w), m_count(count) {}
    HRESULT RowAt(std::int64_t i, int& row) {
        const std::int64_t block = i / kSize;
        if (block != m_block) {
            m_block = -1;
            LONG got = 0;
            const std::int64_t n = std::min<std::int64_t>(kSize, m_count - block * kSize);
            if (n <= 0) return E_FAIL;
            const HRESULT hr = m_w.dataPrivate->GetDataEx(LONG(block * kSize), LONG(n), m_w.scaleMin,
                                                          m_w.scaleMax, 0.0, m_w.tall, m_rows, &got);
            if (FAILED(hr)) return hr;
            m_block = block;
            m_valid = got;
        }
        const std::int64_t k = i - block * kSize;
        if (k >= m_valid) return E_FAIL;
        row = m_rows[2 * k + 1];
        return S_OK;
    }

private:
    static constexpr std::int64_t kSize = ChannelSummary::kBlock;
    const ChannelWindow& m_w;
    std::int64_t m_count;
    std::int64_t m_block = -1;
    std::int64_t m_valid = 0;
    LONG m_rows[2 * kSize];
};

struct Extremes {
    int first = 0, last = 0;
    int min = INT_MAX, max = INT_MIN;
    void Take(int row) {
        min = std::min(min, row);
        max = std::max(max, row);
    }
};

// Scans raw rows of [a, b) into e; records the first and last row when they fall inside.
HRESULT ScanRaw(const ChannelWindow& w, std::int64_t a, std::int64_t b, std::int64_t colFirst,
                std::int64_t colLast, ChannelBuffers& buf, Extremes& e) {
    for (std::int64_t s = a; s < b; s += kChunk) {
        const std::int64_t n = std::min(kChunk, b - s);
        LONG got = 0;
        const HRESULT hr = FetchRows(w, s, n, buf, got);
        if (FAILED(hr)) return hr;
        for (LONG k = 0; k < got; ++k)
            e.Take(buf.rows[2 * std::size_t(k) + 1]);
        if (got > 0 && s == colFirst) e.first = buf.rows[1];
        if (got > 0 && s + got - 1 == colLast) e.last = buf.rows[2 * std::size_t(got - 1) + 1];
    }
    return S_OK;
}

HRESULT ScanCursor(RowCursor& rows, std::int64_t a, std::int64_t b, Extremes& e) {
    for (std::int64_t i = a; i < b; ++i) {
        int row = 0;
        const HRESULT hr = rows.RowAt(i, row);
        if (FAILED(hr)) return hr;
        e.Take(row);
    }
    return S_OK;
}

HRESULT ColumnExtremes(const ChannelWindow& w, std::int64_t a, std::int64_t b, const ChannelSummary* summary,
                       ChannelBuffers& buf, RowCursor& rows, Extremes& e) {
    const std::int64_t B = ChannelSummary::kBlock;
    const std::int64_t fullStart = (a + B - 1) / B * B;
    const std::int64_t fullEnd = summary ? std::min(b, summary->Covered()) / B * B : 0;
    int bmin = 0, bmax = 0;
    HRESULT hr = S_OK;
    if (summary && fullStart < fullEnd && summary->BlockExtremes(fullStart, fullEnd, bmin, bmax)) {
        e.Take(bmin);
        e.Take(bmax);
        hr = ScanCursor(rows, a, fullStart, e);
        if (SUCCEEDED(hr)) hr = ScanCursor(rows, fullEnd, b, e);
    } else if (b - a <= 2 * B) {
        hr = ScanCursor(rows, a, b, e);
    } else {
        return ScanRaw(w, a, b, a, b - 1, buf, e);
    }
    if (SUCCEEDED(hr)) hr = rows.RowAt(a, e.first);
    if (SUCCEEDED(hr)) hr = rows.RowAt(b - 1, e.last);
    return hr;
}

void Push(std::vector<QPoint>& out, QPoint p) {
    if (out.empty() || out.back() != p) out.push_back(p);
}

// Lowest and highest row of each of `blocks` blocks of (index, row) pairs, four entries at a time
// in vector registers, two vectors in flight; the rows are the odd lanes.
[[gnu::always_inline]] inline void BlockRowExtremesOf(const LONG* pairs, std::int64_t blocks,
                                                      std::int32_t* mins, std::int32_t* maxs) {
    using Lanes = std::int32_t __attribute__((vector_size(16)));
    constexpr int kLanes = 4;
    constexpr int kPerBlock = 2 * int(ChannelSummary::kBlock);
    static_assert(sizeof(LONG) == sizeof(std::int32_t) && kPerBlock % (2 * kLanes) == 0);
    const auto load = [](const LONG* at) {
        Lanes v;
        std::memcpy(&v, at, sizeof v);
        return v;
    };
    const auto low = [](Lanes a, Lanes b) { return a < b ? a : b; };
    const auto high = [](Lanes a, Lanes b) { return a > b ? a : b; };
    for (std::int64_t b = 0; b < blocks; ++b) {
        const LONG* p = pairs + b * kPerBlock;
        Lanes lo0 = load(p), lo1 = load(p + kLanes);
        Lanes hi0 = lo0, hi1 = lo1;
        for (int k = 2 * kLanes; k < kPerBlock; k += 2 * kLanes) {
            const Lanes v0 = load(p + k), v1 = load(p + k + kLanes);
            lo0 = low(lo0, v0);
            lo1 = low(lo1, v1);
            hi0 = high(hi0, v0);
            hi1 = high(hi1, v1);
        }
        const Lanes lo = low(lo0, lo1), hi = high(hi0, hi1);
        mins[b] = std::min(lo[1], lo[3]);
        maxs[b] = std::max(hi[1], hi[3]);
    }
}

#if defined(__x86_64__)
// The baseline instruction set has no signed 32-bit vector minimum and maximum: each costs a
// compare and three logical operations there.
[[gnu::target("avx2")]] void BlockRowExtremesAvx2(const LONG* pairs, std::int64_t blocks, std::int32_t* mins,
                                                  std::int32_t* maxs) {
    BlockRowExtremesOf(pairs, blocks, mins, maxs);
}
#endif

void BlockRowExtremes(const LONG* pairs, std::int64_t blocks, std::int32_t* mins, std::int32_t* maxs) {
#if defined(__x86_64__)
    if (zyn::HasAvx2()) return BlockRowExtremesAvx2(pairs, blocks, mins, maxs);
#endif
    BlockRowExtremesOf(pairs, blocks, mins, maxs);
}

// Block extremes of the whole blocks [from, to) of w's data set into mins and maxs (one entry per
// block); `done` says how many samples were summarised.
// One pass over the values: each run's rows are reduced while they are still cached.
HRESULT SummariseRun(const ChannelWindow& w, std::int64_t from, std::int64_t to, std::int32_t* mins,
                     std::int32_t* maxs, std::int64_t& done) {
    done = 0;
    std::vector<LONG> rows(std::size_t(2 * std::min(kSummaryRun, to - from)));
    zyn::ClearUpperVectorState(); // a paint's fills came before
    for (std::int64_t at = from; at < to;) {
        const std::int64_t n = std::min(to - at, kSummaryRun);
        LONG got = 0;
        const HRESULT hr = w.dataPrivate->GetDataEx(LONG(at), LONG(n), w.scaleMin, w.scaleMax, 0.0, w.tall,
                                                    rows.data(), &got);
        if (FAILED(hr)) return hr;
        if (got != n) return E_FAIL;
        const std::int64_t block = (at - from) / ChannelSummary::kBlock;
        BlockRowExtremes(rows.data(), n / ChannelSummary::kBlock, mins + block, maxs + block);
        at += n;
        done = at - from;
    }
    return S_OK;
}

} // namespace

bool ChannelSummary::Matches(IZynDataSetPrivate* set, double scaleMin, double scaleMax, int tall) const {
    return m_set.p == set && m_scaleMin == scaleMin && m_scaleMax == scaleMax && m_tall == tall;
}

HRESULT ChannelSummary::Update(const ChannelWindow& w, std::int64_t count) {
    IZynDataSetPrivate* set = w.dataPrivate;
    const double scaleMin = w.scaleMin, scaleMax = w.scaleMax;
    const int tall = w.tall;
    ULONG edits = 0;
    const bool known = w.bulk && SUCCEEDED(w.bulk->GetEditCount(&edits));
    if (!Matches(set, scaleMin, scaleMax, tall) || count < m_covered || known != m_editsKnown ||
        edits != m_edits) {
        *this = ChannelSummary();
        m_set = set;
        m_scaleMin = scaleMin;
        m_scaleMax = scaleMax;
        m_tall = tall;
        m_editsKnown = known;
        m_edits = edits;
    }
    const std::int64_t target = count / kBlock * kBlock;
    if (m_covered < target) {
        // Block times are read as searches need them, so both ends of the new run must have one:
        // a set whose time base ends before its values gets no summary.
        double t = 0.0;
        LONG got = 0;
        for (const std::int64_t i : {m_covered, target - 1}) {
            const HRESULT hr = set->GetTimeAtEx(LONG(i), 1, &t, &got);
            if (FAILED(hr)) return hr;
            if (got != 1) return E_FAIL;
        }
        // Room for the whole run at once, growing geometrically as a live chart's summary does.
        const std::size_t blocks = std::max(std::size_t(target / kBlock), 2 * m_min.capacity());
        if (std::size_t(target / kBlock) > m_min.capacity()) {
            m_min.reserve(blocks);
            m_max.reserve(blocks);
            m_blockTime.reserve(blocks);
        }
        const std::size_t first = m_min.size();
        m_min.resize(std::size_t(target / kBlock));
        m_max.resize(m_min.size());
        std::int64_t done = 0;
        const HRESULT hr =
            SummariseRun(w, m_covered, target, m_min.data() + first, m_max.data() + first, done);
        // What was summarised counts; a failure leaves the rest for the next paint.
        m_covered += done;
        m_min.resize(std::size_t(m_covered / kBlock));
        m_max.resize(m_min.size());
        m_blockTime.resize(m_min.size(), kNotRead);
        if (FAILED(hr)) return hr;
    }
    constexpr std::size_t kPer = kSuperBlock / kBlock;
    while ((m_superMin.size() + 1) * kPer <= m_min.size()) {
        const std::size_t s = m_superMin.size() * kPer;
        m_superMin.push_back(*std::min_element(m_min.begin() + s, m_min.begin() + s + kPer));
        m_superMax.push_back(*std::max_element(m_max.begin() + s, m_max.begin() + s + kPer));
    }
    return S_OK;
}

const std::vector<ChannelSummary::Column>* ChannelSummary::ColumnsFor(const LinearMap& xMap) {
    if (!m_editsKnown) return nullptr;
    const LinearMap& m = m_columnMap;
    if (m.Enabled() != xMap.Enabled() || m.OffsetMode() != xMap.OffsetMode() ||
        m.PixelStart() != xMap.PixelStart() || m.PixelEnd() != xMap.PixelEnd() ||
        m.ValueStart() != xMap.ValueStart() || m.ValueEnd() != xMap.ValueEnd()) {
        m_columns.clear();
        m_columnMap = xMap;
    }
    return &m_columns;
}

const ChannelSummary::Column* ChannelSummary::FindColumn(std::int64_t a, std::size_t& hint) const {
    if (hint >= m_columns.size() || m_columns[hint].a != a) {
        const auto it = std::lower_bound(m_columns.begin(), m_columns.end(), a,
                                         [](const Column& c, std::int64_t v) { return c.a < v; });
        hint = std::size_t(it - m_columns.begin());
        if (it == m_columns.end() || it->a != a) return nullptr;
    }
    return &m_columns[hint++];
}

void ChannelSummary::KeepColumns(const std::vector<Column>& fresh) {
    if (fresh.empty()) return;
    // Scrolling far and wide must not grow this without bound.
    constexpr std::size_t kMaxKept = 1 << 16;
    if (m_columns.size() + fresh.size() > kMaxKept) m_columns.clear();
    auto less = [](const Column& c, std::int64_t v) { return c.a < v; };
    const auto from = std::lower_bound(m_columns.begin(), m_columns.end(), fresh.front().a, less);
    const auto to = std::lower_bound(from, m_columns.end(), fresh.back().b, less);
    const auto at = m_columns.erase(from, to);
    m_columns.insert(at, fresh.begin(), fresh.end());
}

double ChannelSummary::BlockTime(std::int64_t j) {
    double& t = m_blockTime[std::size_t(j)];
    if (std::isnan(t)) {
        LONG got = 0;
        double read = kNotRead;
        if (SUCCEEDED(m_set->GetTimeAtEx(LONG(j * kBlock), 1, &read, &got)) && got == 1) t = read;
    }
    return t;
}

bool ChannelSummary::BlockExtremes(std::int64_t a, std::int64_t b, int& minRow, int& maxRow) const {
    std::int64_t j = (a + kBlock - 1) / kBlock;
    const std::int64_t end = std::min(b, m_covered) / kBlock;
    if (j >= end) return false;
    constexpr std::int64_t kPer = kSuperBlock / kBlock;
    int mn = INT_MAX, mx = INT_MIN;
    while (j < end) {
        if (j % kPer == 0 && j + kPer <= end && std::size_t(j / kPer) < m_superMin.size()) {
            mn = std::min(mn, m_superMin[std::size_t(j / kPer)]);
            mx = std::max(mx, m_superMax[std::size_t(j / kPer)]);
            j += kPer;
        } else {
            mn = std::min(mn, m_min[std::size_t(j)]);
            mx = std::max(mx, m_max[std::size_t(j)]);
            ++j;
        }
    }
    minRow = mn;
    maxRow = mx;
    return true;
}

HRESULT AllVertices(const ChannelWindow& w, LONG first, LONG n, ChannelBuffers& buf,
                    std::vector<QPoint>& out) {
    out.clear();
    LONG got = 0;
    HRESULT hr = FetchRows(w, first, n, buf, got);
    if (FAILED(hr)) return hr;
    if (buf.times.size() < std::size_t(std::max<LONG>(got, 1)))
        buf.times.resize(std::size_t(std::max<LONG>(got, 1)));
    LONG gotTimes = 0;
    hr = w.dataPrivate->GetTimeAtEx(first, got, buf.times.data(), &gotTimes);
    if (FAILED(hr)) return hr;
    const LONG m = std::min(got, gotTimes);
    out.reserve(std::size_t(m));
    for (LONG k = 0; k < m; ++k)
        out.emplace_back(w.xMap.Map(buf.times[std::size_t(k)]), buf.rows[2 * std::size_t(k) + 1]);
    return S_OK;
}

HRESULT WindowPolyline(const ChannelWindow& w, LONG count, ChannelSummary* summary, ChannelBuffers& buf,
                       std::vector<QPoint>& out, bool reduce) {
    out.clear();
    if (count < 2 || !w.data || !w.dataPrivate) return S_OK;
    LONG i0 = 0, i1 = 0;
    HRESULT hr = w.data->TimeToIndex(w.xMap.Unmap(w.clipLeft), &i0);
    if (SUCCEEDED(hr)) hr = w.data->TimeToIndex(w.xMap.Unmap(w.clipRight), &i1);
    if (FAILED(hr)) return hr;
    const LONG first = std::max<LONG>(0, i0 - 2);
    const LONG last = std::min<LONG>(count - 1, i1 + 2);
    LONG n = last - first;
    if (first + n < count) n += 1;
    if (n <= 0) return S_OK;
    const std::int64_t columns = std::max(1, w.clipRight - w.clipLeft + 1) + 4;
    if (!reduce || n <= 4 * columns) return AllVertices(w, first, n, buf, out);

    if (summary) {
        hr = summary->Update(w, count);
        if (FAILED(hr)) summary = nullptr;
    }
    const std::vector<ChannelSummary::Column>* kept = summary ? summary->ColumnsFor(w.xMap) : nullptr;
    std::vector<ChannelSummary::Column>& fresh = buf.columns;
    fresh.clear();
    std::size_t hint = 0;
    TimeCursor times(w, count);
    RowCursor rows(w, count);
    const std::int64_t end = std::int64_t(first) + n;
    std::int64_t a = first;
    out.reserve(std::size_t(columns * 4));
    while (a < end) {
        const ChannelSummary::Column* c = kept ? summary->FindColumn(a, hint) : nullptr;
        ChannelSummary::Column col;
        if (c && c->b <= end) {
            col = *c;
        } else {
            const int x = times.PixelOf(a);
            if (x == INT_MAX) break;
            const std::int64_t b = FirstAtOrAfter(w, times, summary, x + 1, a + 1, end);
            Extremes e;
            hr = ColumnExtremes(w, a, b, summary, buf, rows, e);
            if (FAILED(hr)) return hr;
            col = {a, b, x, e.first, e.min, e.max, e.last};
        }
        Push(out, {col.x, col.first});
        Push(out, {col.x, col.min});
        Push(out, {col.x, col.max});
        Push(out, {col.x, col.last});
        // A column cut off by the end of the window may grow; only whole ones are kept.
        if (kept && col.b < end) fresh.push_back(col);
        a = col.b;
    }
    if (kept) summary->KeepColumns(fresh);
    return S_OK;
}
