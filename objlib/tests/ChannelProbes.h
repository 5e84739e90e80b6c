#pragma once
// What the engine's tests read back from channels and charts: counts, values, their dates, types and
// the chart's relative time axis.

#include "objlib/ZynChannel.h"
#include "objlib/ZynChart.h"

#include "com/variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

inline LONG Count(IZynChannel* channel) {
    LONG n = -1;
    channel->get_DataCount(&n);
    return n;
}

inline std::vector<double> Values(IZynChannel* channel, bool raw = false) {
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    LONG n = 0;
    data->get_Count(&n);
    std::vector<double> out(static_cast<std::size_t>(n));
    for (LONG i = 0; i < n; ++i)
        raw ? data->GetRawValueAt(i, &out[i]) : data->GetValueAt(i, &out[i]);
    return out;
}

// The date of every value, read in bulk as the plot reads them.
inline std::vector<double> Times(IZynChannel* channel) {
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    CComPtr<IZynDataSetPrivate> bulk;
    EXPECT_EQ(data.QueryInterface(&bulk), S_OK);
    LONG n = 0;
    data->get_Count(&n);
    std::vector<double> out(static_cast<std::size_t>(n > 0 ? n : 1));
    LONG got = 0;
    EXPECT_EQ(bulk->GetTimeAtEx(0, LONG(out.size()), out.data(), &got), S_OK);
    out.resize(static_cast<std::size_t>(got));
    return out;
}

inline ZynChannelType TypeOf(IZynChannel* channel) {
    ZynChannelType type{};
    channel->get_ChannelType(&type);
    return type;
}

// The chart's relative sample times in milliseconds.
inline std::vector<std::uint32_t> Rels(CZynChart* chart) {
    std::vector<std::uint32_t> out;
    CZynTimeBase* axis = chart->int_TimeBase();
    for (std::uint32_t i = 0; i < axis->GetCount(); ++i)
        out.push_back(axis->GetRel(i));
    return out;
}

inline double Date(HRESULT (IZynChart::*getter)(VARIANT*), IZynChart* chart) {
    CComVariant v;
    EXPECT_EQ((chart->*getter)(&v), S_OK);
    EXPECT_EQ(v.vt, VT_DATE);
    return v.date;
}

// Dates match to within a hundredth of a millisecond: a start plus a relative time is rounded once,
// and which way depends on how the sum was grouped.
inline auto DatesAre(const std::vector<double>& expected) {
    return ::testing::Pointwise(::testing::DoubleNear(1e-10), expected);
}
