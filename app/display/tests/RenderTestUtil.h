#pragma once
// Data sets with known samples for the renderer's tests, built through the object library's own
// data set on a time base of its own.

#include "display/ChartFonts.h"
#include "display/ChartRenderInput.h"

#include "objlib/ZynDataSet.h"
#include "objlib/ZynTimeBase.h"

#include <QImage>

#include <functional>

inline constexpr double kTestStart = 45000.0; // 15 March 2023, 00:00
inline constexpr double kMs = 1.0 / 86400000.0;

// `count` samples, one every `stepMs` milliseconds from kTestStart, values from f(i).
inline ChartChannelView MakeChannel(std::int64_t count, std::uint32_t stepMs,
                                    const std::function<double(std::int64_t)>& f,
                                    COLORREF colour = 0x0000FF) {
    CComPtr<CZynTimeBase> tb = CZynTimeBase::Create();
    tb->SetStart(kTestStart);
    CComPtr<CZynDataSet> set = CZynDataSet::Create(tb);
    set->int_SetOwner(nullptr, 0);
    for (std::int64_t i = 0; i < count; ++i) {
        if (!tb->AppendRel(std::uint32_t(i * stepMs)) || !set->int_Append(f(i))) break;
    }
    ChartChannelView c;
    c.color = colour;
    c.data = set.p;
    c.dataPrivate = set.p;
    return c;
}

inline ChartRenderInput MakeInput(ChartSettings& s, double lastTime) {
    FinishChartSettings(s, false);
    ChartRenderInput in;
    in.settings = &s;
    in.chartStartTime = kTestStart;
    in.chartLastTime = lastTime;
    in.documentCreated = kTestStart;
    return in;
}

inline QImage NewImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::magenta); // anything left unpainted shows
    return img;
}
