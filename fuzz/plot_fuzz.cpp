// A channel's visible polyline over arbitrary samples, windows and scales, painted twice with the
// same summary (with more samples appended in between, as a running chart does). The reduced
// polyline must cover the pixels of the full one: per pixel column, the same first, lowest,
// highest and last row.

#include "display/ChannelPlot.h"

#include "objlib/ZynDataSet.h"
#include "objlib/ZynTimeBase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

constexpr double kStart = 45000.0;
constexpr double kDayMs = 86400000.0;

struct Column {
    int first = 0, min = 0, max = 0, last = 0;
    bool operator==(const Column&) const = default;
};

// Rows by column of a polyline whose vertices run left to right.
std::map<int, Column> Columns(const std::vector<QPoint>& points) {
    std::map<int, Column> out;
    for (const QPoint& p : points) {
        auto [it, fresh] = out.try_emplace(p.x(), Column{p.y(), p.y(), p.y(), p.y()});
        if (fresh) continue;
        Column& c = it->second;
        c.min = std::min(c.min, p.y());
        c.max = std::max(c.max, p.y());
        c.last = p.y();
    }
    return out;
}

// Appends runs of samples described by a few bytes each, so that short inputs reach the sizes
// where whole summary blocks and super-blocks exist: a step between times (fixed, or drawn up to a
// bound, with zero steps and long gaps possible) and values (constant, a ramp, or drawn, with
// non-finite ones sprinkled in).
void Append(FuzzedDataProvider& in, CZynTimeBase& tb, CZynDataSet& set, std::uint32_t& ms, int runs) {
    for (int r = 0; r < runs && in.remaining_bytes() > 0; ++r) {
        const int count = in.ConsumeIntegralInRange(0, 9000);
        const bool drawnSteps = in.ConsumeBool();
        const std::uint32_t step = in.ConsumeIntegralInRange<std::uint32_t>(0, in.ConsumeBool() ? 3 : 200000);
        const int valueKind = in.ConsumeIntegralInRange(0, 2);
        const double a = in.ConsumeFloatingPointInRange(-300.0, 300.0);
        const double b = in.ConsumeFloatingPointInRange(-1.0, 1.0);
        const int oddEvery = in.ConsumeIntegralInRange(0, 5000);
        std::uint32_t seed = in.ConsumeIntegral<std::uint32_t>();
        auto draw = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        for (int i = 0; i < count; ++i) {
            const std::uint32_t dt = drawnSteps && step > 0 ? draw() % (step + 1) : step;
            if (ms > UINT32_MAX - dt) return;
            ms += dt;
            double v = valueKind == 0 ? a : valueKind == 1 ? a + b * i : a + double(draw() % 20000) / 50.0;
            if (oddEvery > 0 && i % oddEvery == oddEvery - 1) v = (i / oddEvery) % 2 ? NAN : INFINITY;
            if (!tb.AppendRel(ms)) return;
            if (!set.int_Append(v)) {
                tb.RemoveLast();
                return;
            }
        }
    }
}

// A window as the renderer makes one: time runs left to right over a scroll range of up to
// INT_MAX / 4 pixels (a long chart at a short span), and the clip is a non-empty run of columns
// near or inside that range.
ChannelWindow Window(FuzzedDataProvider& in, CZynDataSet* set, std::uint32_t lastMs) {
    ChannelWindow w;
    w.data = set;
    w.dataPrivate = set;
    w.scaleMin = in.ConsumeFloatingPointInRange(-100.0, 100.0);
    w.scaleMax = w.scaleMin + in.ConsumeFloatingPointInRange(-10.0, 300.0);
    w.tall = in.ConsumeIntegralInRange(-2, 2000);
    const int pixelStart = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange(-5000, 5000);
    const int width =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1200) : in.ConsumeIntegralInRange(0, INT_MAX / 4);
    const double spanMs = in.ConsumeFloatingPointInRange(1e-3, 4.0 * (double(lastMs) + 10.0));
    const double fromMs = in.ConsumeFloatingPointInRange(-1000.0, double(lastMs) + 1000.0);
    w.xMap.Setup(pixelStart, pixelStart + width, kStart + fromMs / kDayMs,
                 kStart + (fromMs + spanMs) / kDayMs);
    w.clipLeft = pixelStart + in.ConsumeIntegralInRange(-50, width + 50);
    w.clipRight = w.clipLeft + in.ConsumeIntegralInRange(0, 1200);
    return w;
}

void PaintAndCompare(const ChannelWindow& w, ChannelSummary* summary, ChannelBuffers& buf) {
    LONG count = 0;
    Check(SUCCEEDED(w.data->get_Count(&count)));
    std::vector<QPoint> full, reduced;
    const HRESULT hrFull = WindowPolyline(w, count, nullptr, buf, full, false);
    const HRESULT hrReduced = WindowPolyline(w, count, summary, buf, reduced, true);
    // Scales that give no rows fail the reduction only; then nothing is drawn.
    if (FAILED(hrFull) || FAILED(hrReduced)) return;
    Check(Columns(reduced) == Columns(full));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CComPtr<CZynTimeBase> tb = CZynTimeBase::Create();
    tb->SetStart(kStart);
    CComPtr<CZynDataSet> set = CZynDataSet::Create(tb);
    set->int_SetOwner(nullptr, 0);
    std::uint32_t ms = 0;
    Append(in, *tb, *set, ms, in.ConsumeIntegralInRange(0, 4));

    ChannelSummary summary;
    ChannelBuffers buf;
    const ChannelWindow first = Window(in, set, ms);
    // Without a summary the reduction reads the rows of wide columns itself.
    ChannelSummary* kept = in.ConsumeIntegralInRange(0, 3) ? &summary : nullptr;
    PaintAndCompare(first, kept, buf);
    Append(in, *tb, *set, ms, in.ConsumeIntegralInRange(0, 2));
    // The same mapping again reuses the columns kept by the first paint; another one drops them.
    PaintAndCompare(in.ConsumeBool() ? first : Window(in, set, ms), kept, buf);
    return 0;
}
