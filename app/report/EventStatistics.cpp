#include "EventStatistics.h"

#include <algorithm>

namespace {

// Values read at once: large enough that a call costs little per value, small enough to stay in
// the cache while they are summed.
constexpr LONG kChunk = 16 * CValueSummary::kBlock;

// Running figures of consecutive runs, first reach kept.
class CRunning {
public:
    void Add(const double* v, LONG n, LONG index) {
        if (n <= 0) return;
        if (!m_started) Start(v[0], index);
        // Four lanes of running figures in named variables (an array of them lived in memory), so
        // that no value waits for the one before it.
        double lo0 = m_s.min, lo1 = lo0, lo2 = lo0, lo3 = lo0;
        double hi0 = m_s.max, hi1 = hi0, hi2 = hi0, hi3 = hi0;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        const auto lower = [](double x, double y) { return x < y ? x : y; };
        const auto higher = [](double x, double y) { return x > y ? x : y; };
        LONG i = 0;
        for (; i + 4 <= n; i += 4) {
            const double a = v[i], b = v[i + 1], c = v[i + 2], d = v[i + 3];
            s0 += a;
            s1 += b;
            s2 += c;
            s3 += d;
            lo0 = lower(a, lo0);
            lo1 = lower(b, lo1);
            lo2 = lower(c, lo2);
            lo3 = lower(d, lo3);
            hi0 = higher(a, hi0);
            hi1 = higher(b, hi1);
            hi2 = higher(c, hi2);
            hi3 = higher(d, hi3);
        }
        for (; i < n; ++i) {
            s0 += v[i];
            lo0 = lower(v[i], lo0);
            hi0 = higher(v[i], hi0);
        }
        const double lo = lower(lower(lo0, lo1), lower(lo2, lo3));
        const double hi = higher(higher(hi0, hi1), higher(hi2, hi3));
        // Found by value: a running figure whose address is taken stays in memory in the loop.
        const auto firstAt = [v, n](double x) { return LONG(std::find(v, v + n, x) - v); };
        // Only a strictly better value moves an extreme, to the first sample holding it.
        if (lo < m_s.min) {
            m_s.min = lo;
            m_s.indexMin = index + firstAt(lo);
        }
        if (hi > m_s.max) {
            m_s.max = hi;
            m_s.indexMax = index + firstAt(hi);
        }
        m_s.sum += (s0 + s1) + (s2 + s3);
        m_s.lastValue = v[n - 1];
    }
    // A whole block's figures; the first block of a window starts the figures with its own.
    void AddSummary(double mn, LONG indexMin, double mx, LONG indexMax, double sum) {
        if (!m_started) {
            m_started = true;
            m_s.min = mn;
            m_s.max = mx;
            m_s.indexMin = indexMin;
            m_s.indexMax = indexMax;
        } else {
            if (mn < m_s.min) {
                m_s.min = mn;
                m_s.indexMin = indexMin;
            }
            if (mx > m_s.max) {
                m_s.max = mx;
                m_s.indexMax = indexMax;
            }
        }
        m_s.sum += sum;
    }
    bool Started() const { return m_started; }
    void SetFirst(double v) { m_s.firstValue = v; }
    void SetLast(double v) { m_s.lastValue = v; }
    SampleWindowStats Finish(const SampleWindow& w) {
        m_s.first = w.first;
        m_s.last = w.last;
        return m_s;
    }

private:
    void Start(double v, LONG index) {
        m_started = true;
        m_s.firstValue = m_s.min = m_s.max = v;
        m_s.indexMin = m_s.indexMax = index;
    }

    SampleWindowStats m_s;
    bool m_started = false;
};

// Reads [first, last] in chunks into `buf` and hands each run to `sink`.
template <class Sink>
HRESULT ForRuns(const CChannelValues& values, LONG first, LONG last, std::vector<double>& buf, Sink&& sink) {
    for (LONG at = first; at <= last;) {
        const LONG n = std::min<LONG>(kChunk, last - at + 1);
        buf.resize(std::size_t(n));
        if (const HRESULT hr = values.Read(at, n, buf.data()); FAILED(hr)) return hr;
        sink(buf.data(), n, at);
        at += n;
    }
    return S_OK;
}

} // namespace

HRESULT EventWindow(IZynDataSet* data, double start, double stop, SampleWindow& out) {
    out = {};
    LONG count = 0, first = 0, last = 0;
    HRESULT hr = data->get_Count(&count);
    if (FAILED(hr)) return hr;
    if (count < 1) return S_OK;
    if (FAILED(hr = data->TimeToIndex(start, &first)) || FAILED(hr = data->TimeToIndex(stop, &last)))
        return hr;
    out.first = std::max<LONG>(first, 0);
    out.last = std::min<LONG>(last, count - 1);
    return S_OK;
}

CChannelValues::CChannelValues(IZynChannel* channel) {
    if (!channel) return;
    if (FAILED(CComPtr<IZynChannel>(channel).QueryInterface(&m_bulk))) channel->get_Data(&m_data);
}

HRESULT CChannelValues::Read(LONG first, LONG many, double* out) const {
    if (m_bulk) {
        LONG copied = 0;
        const HRESULT hr = m_bulk->CopyValues(first, many, out, nullptr, &copied);
        if (FAILED(hr)) return hr;
        // A run cut short: the channel lost values since the window was planned.
        return copied == many ? S_OK : E_FAIL;
    }
    if (!m_data) return E_POINTER;
    // One lock for the run: its values cannot change between the first and the last.
    CComPtr<IZynObjLock> lock;
    HRESULT hr = m_data->LockObject(&lock);
    if (FAILED(hr)) return hr;
    for (LONG i = 0; i < many && SUCCEEDED(hr); ++i)
        hr = m_data->GetValueAt(first + i, &out[i]);
    if (lock) lock->Unlock();
    return hr;
}

bool CChannelValues::EditCount(ULONG& edits) const {
    return m_bulk && SUCCEEDED(m_bulk->GetEditCount(&edits));
}

HRESULT WalkSamples(const CChannelValues& values, const SampleWindow& window, SampleWindowStats& out) {
    out = {};
    if (window.Size() < 1) return E_INVALIDARG;
    CRunning running;
    std::vector<double> buf;
    const HRESULT hr = ForRuns(values, window.first, window.last, buf,
                               [&](const double* v, LONG n, LONG at) { running.Add(v, n, at); });
    if (FAILED(hr)) return hr;
    out = running.Finish(window);
    return S_OK;
}

HRESULT CValueSummary::Build(const CChannelValues& values, LONG count) {
    m_min.clear();
    m_max.clear();
    m_sum.clear();
    m_indexMin.clear();
    m_indexMax.clear();
    return Extend(values, count);
}

HRESULT CValueSummary::Extend(const CChannelValues& values, LONG count) {
    const LONG from = Covered();
    const LONG to = count / kBlock * kBlock;
    if (to <= from) return S_OK;
    std::vector<double> buf;
    const HRESULT hr = ForRuns(values, from, to - 1, buf, [&](const double* v, LONG n, LONG at) {
        for (LONG b = 0; b < n; b += kBlock) {
            CRunning block;
            block.Add(v + b, kBlock, at + b);
            const SampleWindowStats s = block.Finish({at + b, at + b + kBlock - 1});
            m_min.push_back(s.min);
            m_max.push_back(s.max);
            m_sum.push_back(s.sum);
            m_indexMin.push_back(s.indexMin);
            m_indexMax.push_back(s.indexMax);
        }
    });
    // A summary read half way is no summary.
    if (FAILED(hr)) Build(values, 0);
    return hr;
}

HRESULT CValueSummary::Window(const CChannelValues& values, const SampleWindow& window,
                              SampleWindowStats& out) const {
    out = {};
    if (window.Size() < 1) return E_INVALIDARG;
    // Whole blocks inside the window: [b0, b1).
    const LONG b0 = (window.first + kBlock - 1) / kBlock;
    const LONG b1 = std::min<LONG>((window.last + 1) / kBlock, LONG(m_sum.size()));
    if (b1 <= b0) return WalkSamples(values, window, out);

    CRunning running;
    std::vector<double> buf;
    const auto add = [&](const double* v, LONG n, LONG at) { running.Add(v, n, at); };
    HRESULT hr = ForRuns(values, window.first, b0 * kBlock - 1, buf, add);
    if (FAILED(hr)) return hr;
    if (!running.Started()) {
        // The window starts on a block, whose figures begin with its first value.
        double first = 0.0;
        if (FAILED(hr = values.Read(window.first, 1, &first))) return hr;
        running.SetFirst(first);
    }
    for (LONG b = b0; b < b1; ++b)
        running.AddSummary(m_min[std::size_t(b)], m_indexMin[std::size_t(b)], m_max[std::size_t(b)],
                           m_indexMax[std::size_t(b)], m_sum[std::size_t(b)]);
    if (b1 * kBlock <= window.last) {
        if (FAILED(hr = ForRuns(values, b1 * kBlock, window.last, buf, add))) return hr;
    } else {
        double last = 0.0;
        if (FAILED(hr = values.Read(window.last, 1, &last))) return hr;
        running.SetLast(last);
    }
    out = running.Finish(window);
    return S_OK;
}

void CEventStatistics::BeginBuild() {
    for (auto& [channel, e] : m_entries) {
        e.current = false;
        e.planned = 0.0;
    }
}

void CEventStatistics::EndBuild() {
    std::erase_if(m_entries, [](const auto& item) { return !item.second.current; });
}

CEventStatistics::Entry& CEventStatistics::EntryFor(IZynChannel* channel) {
    Entry& e = m_entries[channel];
    if (e.current) return e;
    e.current = true;
    if (!e.values) {
        e.channel = channel;
        e.values = std::make_unique<CChannelValues>(channel);
    }
    CComPtr<IZynDataSet> data;
    e.count = 0;
    if (SUCCEEDED(channel->get_Data(&data)) && data) data->get_Count(&e.count);
    ULONG edits = 0;
    const bool known = e.values->EditCount(edits);
    // A summary stays only while nothing but appends happened to the values it covers.
    if (e.summary && (!known || !e.editsKnown || edits != e.edits || e.count < e.summary->Covered()))
        e.summary.reset();
    e.editsKnown = known;
    e.edits = edits;
    return e;
}

void CEventStatistics::Plan(IZynChannel* channel, const SampleWindow& window) {
    EntryFor(channel).planned += window.Size();
}

HRESULT CEventStatistics::Stats(IZynChannel* channel, const SampleWindow& window, SampleWindowStats& out) {
    Entry& e = EntryFor(channel);
    HRESULT hr = S_OK;
    if (e.summary) {
        // Kept from an earlier build: only the samples added since are read.
        if (FAILED(hr = e.summary->Extend(*e.values, e.count))) e.summary.reset();
    } else if (e.planned > double(e.count) && e.count >= 2 * CValueSummary::kBlock) {
        // Summarising reads the channel once; walking would read more.
        auto summary = std::make_unique<CValueSummary>();
        if (FAILED(hr = summary->Build(*e.values, e.count))) return hr;
        e.summary = std::move(summary);
    }
    if (FAILED(hr)) return hr;
    if (e.summary) return e.summary->Window(*e.values, window, out);
    return WalkSamples(*e.values, window, out);
}
