#include "objlib/ZynChannel.h"

#include "com/ccombstr.h"
#include "testing/ComChecks.h"
#include "utils/ZynNumber.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using zyn::test::LeakCheckedTest;
using zyn::test::RaisedError;
using zyn::test::TakeError;

// Stands in for the chart: numbering, the shared time axis, the aggregate word and the list.
class FakeChart final : public CZynChartLink {
public:
    CComPtr<CZynTimeBase> timeBase = CZynTimeBase::Create();
    std::vector<CComPtr<CZynChannel>> channels;
    LONG counter = 0;
    DWORD aggregate = 0;
    int pokes = 0;

    ~FakeChart() {
        for (CZynChannel* channel : channels)
            channel->int_ClearChart();
    }
    CComPtr<CZynChannel> Add(ZynChannelType type) {
        CComPtr<CZynChannel> channel = CZynChannel::Create();
        channel->int_Attach(this);
        {
            CZynLockList locks;
            channel->int_LockInto(locks);
            EXPECT_EQ(channel->int_SetType(type), S_OK);
        }
        channels.push_back(channel);
        return channel;
    }

    LONG NextChannelNumber() override { return ++counter; }
    CZynTimeBase* ChartTimeBase() override { return timeBase; }
    void AggregateChanged(DWORD bits, bool poke) override {
        aggregate |= bits;
        if (poke) ++pokes;
    }
    HRESULT SetChartStartTime(double start) override {
        timeBase->SetStart(start);
        for (CZynChannel* channel : channels)
            if (channel->int_Type() == typeStatic) channel->int_TimeBase()->SetStart(start);
        return S_OK;
    }
    void ChannelDetached(CZynChannel* channel) override {
        aggregate |= 0x2;
        std::erase_if(channels, [&](const CComPtr<CZynChannel>& c) { return c.p == channel; });
    }
    HRESULT GetChartInterface(IZynChart** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
};

std::string Str(HRESULT (CZynChannel::*get)(BSTR*), CZynChannel* channel) {
    CComBSTR s;
    EXPECT_EQ((channel->*get)(&s), S_OK);
    return s.ToUtf8();
}

LONG Changed(CZynChannel* channel) {
    LONG w = 0;
    channel->GetChangedProperty(&w);
    return w;
}

constexpr double kStart = 45000.25;
double At(std::uint32_t ms) {
    return kStart + ms * CZynTimeBase::kDaysPerMs;
}

using ChannelTest = LeakCheckedTest;

TEST_F(ChannelTest, ChannelsAreNumberedByTheirChartAndIdentifiedForLife) {
    CComPtr<CZynChannel> loose = CZynChannel::Create();
    EXPECT_EQ(Str(&CZynChannel::get_Name, loose), "Channel");
    ZynChannelType type{};
    loose->get_ChannelType(&type);
    EXPECT_EQ(type, typeStatic);

    FakeChart chart;
    auto first = chart.Add(typeStatic);
    auto second = chart.Add(typeVirtual);
    EXPECT_EQ(Str(&CZynChannel::get_Name, first), "Channel-1");
    EXPECT_EQ(Str(&CZynChannel::get_Name, second), "Channel-2");
    const std::string id = Str(&CZynChannel::get_Identifier, first);
    EXPECT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), '{');
    EXPECT_NE(id, Str(&CZynChannel::get_Identifier, second));
    EXPECT_EQ(second->int_TimeBase(), chart.timeBase.p) << "virtual channels share the chart's axis";
    EXPECT_NE(first->int_TimeBase(), chart.timeBase.p) << "static channels own theirs";
}

TEST_F(ChannelTest, AttributeSettersRaiseTheirBitsOnlyOnChange) {
    FakeChart chart;
    auto channel = chart.Add(typeStatic);
    const int pokes = chart.pokes;

    EXPECT_EQ(channel->put_Width(8), S_OK);
    EXPECT_EQ(channel->put_Width(9), E_INVALIDARG);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Line width must be between 0 and 8 inclusive");
    EXPECT_EQ(e.source, "ZynTallonObj.Channel.1");
    EXPECT_EQ(channel->put_Width(-1), E_INVALIDARG);
    TakeError();
    LONG width = 0;
    channel->get_Width(&width);
    EXPECT_EQ(width, 8);

    channel->ClearChangedProperty(-1);
    channel->put_Width(3);
    EXPECT_EQ(Changed(channel), 0x8000);
    channel->put_Width(3);
    channel->put_Color(0x808080);
    channel->put_ScaleMax(100.0);
    EXPECT_EQ(Changed(channel), 0x8000) << "equal values raise nothing";
    channel->put_Color(0xFF);
    channel->put_Visible(7);
    LONG visible = 0;
    channel->get_Visible(&visible);
    EXPECT_EQ(visible, 1);
    channel->put_Visible(0);
    EXPECT_EQ(Changed(channel), 0x8000 | 0x2000 | 0x80000);
    CComBSTR units(u"Widgets");
    channel->put_Units(units);
    EXPECT_EQ(Changed(channel), 0x8000 | 0x2000 | 0x80000) << "units raise nothing";
    EXPECT_EQ(chart.aggregate & 0xA000, 0xA000u);
    EXPECT_GT(chart.pokes, pokes);

    // The private interface raises silently into the chart's word and clears only the channel's.
    const int before = chart.pokes;
    channel->SetChangedProperty(0x100);
    EXPECT_EQ(chart.pokes, before);
    EXPECT_TRUE(chart.aggregate & 0x100);
    channel->ClearChangedProperty(0x100);
    EXPECT_FALSE(Changed(channel) & 0x100);
    EXPECT_TRUE(chart.aggregate & 0x100);
}

TEST_F(ChannelTest, StaticValuesTakeRelativeTimesOnTheChartClock) {
    LONG count = 0;
    CComPtr<CZynChannel> loose = CZynChannel::Create();
    EXPECT_EQ(loose->AddValueRelTime(1, 0, &count), E_FAIL);
    EXPECT_EQ(TakeError().description,
              "Cannot add data to a channel that is not connected to a chart object.");

    FakeChart chart;
    auto dynamicChannel = chart.Add(typeDynamic);
    EXPECT_EQ(dynamicChannel->AddValueRelTime(1, 0, &count), E_FAIL);
    EXPECT_EQ(TakeError().description, "Can only add values to a static channel");

    auto channel = chart.Add(typeStatic);
    EXPECT_EQ(channel->AddValueRelTime(1, -1, &count), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Invalid relative time");
    EXPECT_NE(chart.timeBase->GetStart(), 0.0) << "the first value starts the chart's clock";

    chart.SetChartStartTime(kStart);
    ASSERT_EQ(channel->AddValueRelTime(10, 0, &count), S_OK);
    ASSERT_EQ(channel->AddValueRelTime(20, 1500, &count), S_OK);
    EXPECT_EQ(count, 2);
    CComVariant first, last;
    ASSERT_EQ(channel->get_FirstTime(&first), S_OK);
    ASSERT_EQ(channel->get_LastTime(&last), S_OK);
    EXPECT_EQ(first.vt, VT_DATE);
    EXPECT_DOUBLE_EQ(first.date, At(0));
    EXPECT_DOUBLE_EQ(last.date, At(1500));
    EXPECT_EQ(chart.timeBase->GetCount(), 0u) << "static times never reach the chart's axis";
}

TEST_F(ChannelTest, AbsoluteTimesStartAnUnstartedChartAndAreStoredExactly) {
    FakeChart chart;
    auto channel = chart.Add(typeStatic);
    CComVariant empty;
    ASSERT_EQ(channel->get_FirstTime(&empty), S_OK);
    EXPECT_EQ(empty.vt, VT_DATE);
    EXPECT_EQ(empty.date, 0.0);

    LONG count = 0;
    ASSERT_EQ(channel->AddValueAbsTime(1, CComVariant::Date(kStart), &count), S_OK);
    EXPECT_EQ(chart.timeBase->GetStart(), kStart);
    EXPECT_EQ(channel->int_TimeBase()->GetRel(0), 0u);
    // A date on a whole millisecond is stored as that millisecond, not the one before.
    for (std::uint32_t ms : {1u, 2000u, 86399999u}) {
        ASSERT_EQ(channel->AddValueAbsTime(2, CComVariant::Date(At(ms)), &count), S_OK);
        EXPECT_EQ(channel->int_TimeBase()->GetRel(std::uint32_t(count - 1)), ms);
    }

    EXPECT_EQ(channel->AddValueAbsTime(3, CComVariant::Date(kStart - 1), &count), E_FAIL);
    EXPECT_EQ(TakeError().description, "Time for data point cannot be earlier than the chart start time.");
    // 30 days do not fit 32-bit signed milliseconds: refused instead of stored at a wrapped time.
    EXPECT_EQ(channel->AddValueAbsTime(3, CComVariant::Date(kStart + 30), &count), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Time for data point is too far after the chart start time.");
    EXPECT_EQ(channel->AddValueAbsTime(3, CComVariant(u"not a time"), &count), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(TakeError().description, "Invalid time to IZynChannel.AddValueAbsTime");
    EXPECT_EQ(channel->AddValueAbsTime(3, CComVariant::Date(std::nan("")), &count), E_INVALIDARG);
    TakeError();
    LONG total = 0;
    channel->get_DataCount(&total);
    EXPECT_EQ(total, 4) << "refused values leave nothing behind";
}

TEST_F(ChannelTest, DetachedChannelsKeepACopyOfTheirTimes) {
    FakeChart chart;
    chart.timeBase->SetStart(kStart);
    auto channel = chart.Add(typeVirtual);
    {
        CZynLockList locks;
        channel->int_LockInto(locks);
        ASSERT_TRUE(chart.timeBase->AppendRel(0));
        ASSERT_TRUE(chart.timeBase->AppendRel(250));
        ASSERT_TRUE(channel->int_AppendValue(5));
    }
    EXPECT_EQ(channel->int_Offset(), 1) << "the first value sits at the newest entry";
    ASSERT_EQ(channel->Detach(), S_OK);
    EXPECT_TRUE(chart.aggregate & 0x2);
    EXPECT_TRUE(chart.channels.empty());
    EXPECT_NE(channel->int_TimeBase(), chart.timeBase.p);
    CComVariant t;
    ASSERT_EQ(channel->get_FirstTime(&t), S_OK);
    EXPECT_DOUBLE_EQ(t.date, At(250));
    CComPtr<IZynChart> owner;
    EXPECT_EQ(channel->get_Chart(&owner), S_FALSE);
    EXPECT_EQ(channel->Detach(), S_OK);

    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    EXPECT_EQ(data->GetTimeAt(1, &t), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Invalid index passed to GetTimeAt(2) Size=2 Offset=1");
    EXPECT_EQ(data->GetTimeAt(-1, &t), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Negative index passed to GetTimeAt() Size=2 Offset=1");
    channel->Clear();
    EXPECT_EQ(data->GetTimeAt(0, &t), E_FAIL);
    EXPECT_EQ(TakeError().description, "Channel has no data");
}

TEST_F(ChannelTest, ADataSetOutlivingItsChannelStillResolvesTimes) {
    FakeChart chart;
    chart.timeBase->SetStart(kStart);
    auto channel = chart.Add(typeDynamic);
    CComPtr<IZynDataSet> data;
    {
        CZynLockList locks;
        channel->int_LockInto(locks);
        for (std::uint32_t ms : {0u, 100u, 200u})
            ASSERT_TRUE(chart.timeBase->AppendRel(ms));
        ASSERT_TRUE(channel->int_AppendValue(1));
        ASSERT_TRUE(chart.timeBase->AppendRel(300));
        ASSERT_TRUE(channel->int_AppendValue(2));
    }
    channel->get_Data(&data);
    channel->Detach();
    channel.Release();
    CComVariant t;
    ASSERT_EQ(data->GetTimeAt(1, &t), S_OK);
    EXPECT_DOUBLE_EQ(t.date, At(300));
}

TEST_F(ChannelTest, FiltersAreNumberedFoundAndDetached) {
    FakeChart chart;
    auto channel = chart.Add(typeStatic);
    CComPtr<IZynFilter> one, two, found;
    ASSERT_EQ(channel->AddFilter(nullptr, &one), S_OK);
    ASSERT_EQ(channel->AddFilter(nullptr, &two), S_OK);
    EXPECT_TRUE(Changed(channel) & 0x400);
    CComBSTR name;
    two->get_Name(&name);
    EXPECT_EQ(name.ToUtf8(), "Filter-2");

    CComBSTR wanted(u"Filter-2");
    ASSERT_EQ(channel->FindFilter(wanted, &found), S_OK);
    EXPECT_EQ(found.p, two.p);
    found.Release();
    CComBSTR id;
    one->get_Identifier(&id);
    ASSERT_EQ(channel->FindFilter(id, &found), S_OK);
    EXPECT_EQ(found.p, one.p);
    found.Release();
    EXPECT_EQ(channel->FindFilter(nullptr, &found), S_FALSE);
    EXPECT_EQ(found.p, nullptr);

    channel->ClearChangedProperty(-1);
    ASSERT_EQ(one->Detach(), S_OK);
    EXPECT_EQ(Changed(channel), 0x800);
    EXPECT_EQ(channel->FindFilter(id, &found), S_FALSE);
    EXPECT_EQ(one->Detach(), S_OK);

    // A filter held by a client survives its channel and then detaches from nothing.
    channel->Detach();
    channel.Release();
    EXPECT_EQ(two->Detach(), S_OK);
}

TEST_F(ChannelTest, AutoScaleMovesTheScaleOnlyWhenTheRoundedRangeDiffers) {
    FakeChart chart;
    chart.SetChartStartTime(kStart);
    auto channel = chart.Add(typeStatic);
    LONG count = 0, stat = -1;
    channel->AddValueRelTime(3, 0, &count);
    channel->AddValueRelTime(97, 10, &count);
    channel->ClearChangedProperty(-1);
    ASSERT_EQ(channel->AutoScale(&stat), S_OK);
    EXPECT_EQ(stat, 0) << "3..97 rounds to the default 0..100";
    EXPECT_EQ(Changed(channel), 0);

    channel->AddValueRelTime(-240, 20, &count);
    double lo = -240, hi = 97;
    ::AutoScale(lo, hi);
    ASSERT_EQ(channel->AutoScale(&stat), S_OK);
    EXPECT_EQ(stat, 1);
    double min = 0, max = 0;
    channel->get_ScaleMin(&min);
    channel->get_ScaleMax(&max);
    EXPECT_EQ(min, lo);
    EXPECT_EQ(max, hi);
    EXPECT_EQ(Changed(channel), 0x10000 | (hi != 100.0 ? 0x20000 : 0));
}

// The program reads and writes whole channels through the internal bulk interface; each member must
// give exactly what the public calls it stands for give.
struct Points {
    std::vector<double> values, times;
};

Points ReadOneByOne(IZynChannel* channel) {
    Points p;
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    LONG n = 0;
    data->get_Count(&n);
    for (LONG i = 0; i < n; ++i) {
        double v = 0;
        CComVariant t;
        EXPECT_EQ(data->GetValueAt(i, &v), S_OK);
        EXPECT_EQ(data->GetTimeAt(i, &t), S_OK);
        p.values.push_back(v);
        p.times.push_back(t.date);
    }
    return p;
}

CComPtr<IZynBulkAccess> Bulk(IZynChannel* channel) {
    CComPtr<IZynBulkAccess> bulk;
    EXPECT_EQ(channel->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&bulk)), S_OK);
    return bulk;
}

TEST_F(ChannelTest, BulkAppendsAreTheSingleAppendsInOneStepAndAllOrNone) {
    FakeChart chart;
    auto single = chart.Add(typeStatic);
    auto bulkChannel = chart.Add(typeStatic);
    CComPtr<IZynBulkAccess> bulk = Bulk(bulkChannel);
    const std::vector<double> values = {5, -2, 7.5, 7.5, 1e300, 0};
    const std::vector<LONG> times = {0, 10, 10, 2500, 2501, 86400000};
    LONG count = 0;
    ASSERT_EQ(bulk->AppendValues(LONG(values.size()), values.data(), times.data(), &count), S_OK);
    EXPECT_EQ(count, 6);
    EXPECT_NE(chart.timeBase->GetStart(), 0.0) << "an unstarted chart starts as with one value";
    for (std::size_t k = 0; k < values.size(); ++k)
        ASSERT_EQ(single->AddValueRelTime(values[k], times[k], &count), S_OK);

    const Points a = ReadOneByOne(single), b = ReadOneByOne(bulkChannel);
    EXPECT_EQ(a.values, b.values);
    EXPECT_EQ(a.times, b.times);
    CComPtr<IZynDataSet> da, db;
    single->get_Data(&da);
    bulkChannel->get_Data(&db);
    auto statistics = [](IZynDataSet* d) {
        double min = 0, max = 0, average = 0;
        LONG indexMax = 0, bits = 0;
        d->get_Min(&min);
        d->get_Max(&max);
        d->get_Average(&average);
        d->get_IndexMax(&indexMax);
        CComPtr<IZynDataSetPrivate> priv;
        d->QueryInterface(IZynDataSetPrivate::kIID, reinterpret_cast<void**>(&priv));
        priv->GetChangedProperty(&bits);
        return std::vector<double>{min, max, average, double(indexMax), double(bits)};
    };
    EXPECT_EQ(statistics(da), statistics(db));

    // After an edit the displayed values have a store of their own; appends reach both stores.
    ASSERT_EQ(da->SetValueAt(1, 100), S_OK);
    ASSERT_EQ(db->SetValueAt(1, 100), S_OK);
    const double more[] = {-50, 200, 3};
    const LONG moreTimes[] = {90000000, 90000001, 90000001};
    ASSERT_EQ(bulk->AppendValues(3, more, moreTimes, &count), S_OK);
    for (std::size_t k = 0; k < 3; ++k)
        ASSERT_EQ(single->AddValueRelTime(more[k], moreTimes[k], &count), S_OK);
    EXPECT_EQ(count, 9);
    EXPECT_EQ(ReadOneByOne(single).values, ReadOneByOne(bulkChannel).values);
    EXPECT_EQ(ReadOneByOne(single).times, ReadOneByOne(bulkChannel).times);
    EXPECT_EQ(statistics(da), statistics(db));
    double raw = 0;
    ASSERT_EQ(db->GetRawValueAt(8, &raw), S_OK);
    EXPECT_EQ(raw, 3.0);

    // One bad time refuses the whole run.
    const LONG bad[] = {3000, -1, 4000};
    EXPECT_EQ(bulk->AppendValues(3, values.data(), bad, &count), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Invalid relative time");
    EXPECT_EQ(ReadOneByOne(bulkChannel).values.size(), 9u);
    EXPECT_EQ(bulk->AppendValues(0, nullptr, nullptr, &count), S_OK);
    EXPECT_EQ(count, 9);
    EXPECT_EQ(bulk->AppendValues(1, nullptr, times.data(), &count), E_POINTER);
    EXPECT_EQ(bulk->AppendValues(-1, values.data(), times.data(), &count), E_INVALIDARG);

    auto dynamicChannel = chart.Add(typeDynamic);
    EXPECT_EQ(Bulk(dynamicChannel)->AppendValues(1, values.data(), times.data(), &count), E_FAIL);
    EXPECT_EQ(TakeError().description, "Can only add values to a static channel");
    CComPtr<CZynChannel> loose = CZynChannel::Create();
    EXPECT_EQ(Bulk(loose)->AppendValues(1, values.data(), times.data(), &count), E_FAIL);
    EXPECT_EQ(TakeError().description,
              "Cannot add data to a channel that is not connected to a chart object.");
}

TEST_F(ChannelTest, BulkCopiesGiveWhatGetValueAtAndGetTimeAtGive) {
    FakeChart chart;
    chart.timeBase->SetStart(kStart);
    // A virtual channel whose first value sits at the axis' second entry, with one value edited.
    auto channel = chart.Add(typeVirtual);
    {
        CZynLockList locks;
        channel->int_LockInto(locks);
        ASSERT_TRUE(chart.timeBase->AppendRel(0));
        for (std::uint32_t k = 0; k < 5; ++k) {
            ASSERT_TRUE(chart.timeBase->AppendRel(100 + 250 * k));
            ASSERT_TRUE(channel->int_AppendValue(10.0 * k));
        }
    }
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    ASSERT_EQ(data->SetValueAt(2, -7.0), S_OK);
    const Points expected = ReadOneByOne(channel);
    ASSERT_EQ(expected.values.size(), 5u);

    CComPtr<IZynBulkAccess> bulk = Bulk(channel);
    std::vector<double> values(8, -1), times(8, -1);
    LONG copied = -1;
    ASSERT_EQ(bulk->CopyValues(0, 8, values.data(), times.data(), &copied), S_OK);
    ASSERT_EQ(copied, 5) << "cut at the last value";
    EXPECT_EQ(std::vector<double>(values.begin(), values.begin() + 5), expected.values);
    EXPECT_EQ(std::vector<double>(times.begin(), times.begin() + 5), expected.times);
    EXPECT_EQ(values[5], -1) << "nothing written past the copied run";

    ASSERT_EQ(bulk->CopyValues(3, 2, values.data(), nullptr, &copied), S_OK);
    EXPECT_EQ(copied, 2);
    EXPECT_EQ(values[0], expected.values[3]);
    EXPECT_EQ(bulk->CopyValues(5, 3, values.data(), times.data(), &copied), S_OK);
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(bulk->CopyValues(-1, 3, values.data(), times.data(), &copied), E_INVALIDARG);
    EXPECT_EQ(bulk->CopyValues(0, 3, nullptr, times.data(), &copied), E_POINTER);
    EXPECT_EQ(bulk->CopyValues(0, 3, values.data(), times.data(), nullptr), E_POINTER);
}

TEST_F(ChannelTest, TheEditCountMovesOnChangesToHeldValuesOnly) {
    FakeChart chart;
    chart.SetChartStartTime(kStart);
    auto channel = chart.Add(typeStatic);
    CComPtr<IZynBulkAccess> bulk = Bulk(channel);
    auto edits = [&] {
        ULONG n = 0;
        EXPECT_EQ(bulk->GetEditCount(&n), S_OK);
        return n;
    };
    const ULONG start = edits();
    LONG count = 0;
    const double values[] = {1, 2, 3};
    const LONG times[] = {0, 1, 2};
    ASSERT_EQ(bulk->AppendValues(3, values, times, &count), S_OK);
    ASSERT_EQ(channel->AddValueRelTime(4, 3, &count), S_OK);
    EXPECT_EQ(edits(), start) << "appends keep what readers derived";
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    ASSERT_EQ(data->SetValueAt(1, 9), S_OK);
    const ULONG edited = edits();
    EXPECT_NE(edited, start);
    channel->Clear();
    EXPECT_NE(edits(), edited);
    EXPECT_EQ(bulk->GetEditCount(nullptr), E_POINTER);
}

TEST_F(ChannelTest, TimesInOrderUntilOneGoesBackAndAgainAfterAClear) {
    FakeChart chart;
    chart.SetChartStartTime(kStart);
    auto channel = chart.Add(typeStatic);
    CComPtr<IZynBulkAccess> bulk = Bulk(channel);
    auto inOrder = [&] {
        BOOL in = FALSE;
        EXPECT_EQ(bulk->GetTimesInOrder(&in), S_OK);
        return in == TRUE;
    };
    EXPECT_TRUE(inOrder()) << "no times";
    LONG count = 0;
    const double values[] = {1, 2, 3};
    const LONG rising[] = {0, 5, 5};
    ASSERT_EQ(bulk->AppendValues(3, values, rising, &count), S_OK);
    ASSERT_EQ(channel->AddValueRelTime(4, 5, &count), S_OK);
    EXPECT_TRUE(inOrder()) << "equal times do not go back";
    ASSERT_EQ(channel->AddValueRelTime(5, 4, &count), S_OK);
    EXPECT_FALSE(inOrder());
    ASSERT_EQ(channel->AddValueRelTime(6, 10, &count), S_OK);
    EXPECT_FALSE(inOrder()) << "once back, later times do not mend it";

    channel->Clear();
    EXPECT_TRUE(inOrder());
    const LONG backInsideARun[] = {7, 9, 8};
    ASSERT_EQ(bulk->AppendValues(3, values, backInsideARun, &count), S_OK);
    EXPECT_FALSE(inOrder());
    channel->Clear();
    ASSERT_EQ(channel->AddValueRelTime(1, 50, &count), S_OK);
    const LONG backAtTheJoin[] = {49, 60, 70};
    ASSERT_EQ(bulk->AppendValues(3, values, backAtTheJoin, &count), S_OK);
    EXPECT_FALSE(inOrder());
    EXPECT_EQ(bulk->GetTimesInOrder(nullptr), E_POINTER);
}

TEST_F(ChannelTest, TheBulkInterfaceStaysOutOfTheTypeLibrary) {
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    CComPtr<IDispatch> disp;
    ASSERT_EQ(channel->QueryInterface(IDispatch::kIID, reinterpret_cast<void**>(&disp)), S_OK);
    CComPtr<IZynBulkAccess> bulk;
    EXPECT_EQ(disp->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&bulk)), S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"CopyValues")};
    DISPID id = 0;
    EXPECT_NE(disp->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK) << "scripts cannot reach it";
    for (const zyn::com::DispInterface* itf : ZYNTALLONOBJLib_TypeLib().interfaces)
        EXPECT_NE(*itf->iid, IZynBulkAccess::kIID);
}

TEST(CounterText, UnitsFollowTheCounterName) {
    using zyn::obj::UnitsFromCounterName;
    EXPECT_EQ(UnitsFromCounterName(u"% Processor Time", u""), u"%");
    EXPECT_EQ(UnitsFromCounterName(u"Disk Read Bytes/sec", u""), u"Bytes");
    EXPECT_EQ(UnitsFromCounterName(u"Available MBytes", u""), u"MBytes");
    EXPECT_EQ(UnitsFromCounterName(u"Avg. Disk sec/Read", u""), u"sec");
    EXPECT_EQ(UnitsFromCounterName(u"Pages/sec", u""), u"Pages");
    EXPECT_EQ(UnitsFromCounterName(u"Disk Writes", u""), u"Writes");
    EXPECT_EQ(UnitsFromCounterName(u"x/sec", u""), u"") << "a one-letter word is no unit";
    EXPECT_EQ(UnitsFromCounterName(u"Processes", u""), u"");
    EXPECT_EQ(UnitsFromCounterName(u"Pages/sec", u"Mine"), u"Mine") << "a guess never replaces units";
    EXPECT_EQ(UnitsFromCounterName(std::u16string(511, u'%'), u"Old"), u"Old");
}

TEST(CounterText, InstancesScalesAndDisplayText) {
    using namespace zyn::obj;
    EXPECT_EQ(StripInstanceUnderscores(u"_Total"), u"Total");
    EXPECT_EQ(StripInstanceUnderscores(u"__x"), u"x");
    EXPECT_EQ(StripInstanceUnderscores(u"_"), u"_");
    EXPECT_EQ(CounterDisplayText(u"% Processor Time", u"Total"), u"% Processor Time (Total)");
    EXPECT_EQ(CounterDisplayText(u"Processes", u""), u"Processes");
    EXPECT_DOUBLE_EQ(DefaultScaleMax(0), 100.0);
    EXPECT_DOUBLE_EQ(DefaultScaleMax(2), 1.0);
    EXPECT_DOUBLE_EQ(DefaultScaleMax(-6), 1e8);
    EXPECT_EQ(DefaultScaleMax(2000000000), 0.0) << "a corrupt exponent ends quickly";
}

TEST_F(ChannelTest, BoundCountersNameTheChannelAndInvalidReadingsRecordZero) {
    PDH_HQUERY query = nullptr;
    ASSERT_EQ(PdhOpenQueryW(nullptr, 0, &query), ERROR_SUCCESS);
    {
        FakeChart chart;
        chart.timeBase->SetStart(kStart);
        auto cpu = chart.Add(typeStatic);
        auto memory = chart.Add(typeStatic);
        PDH_HCOUNTER cpuCounter = nullptr, memoryCounter = nullptr;
        const char16_t* cpuPath = u"\\Processor(_Total)\\% Processor Time";
        ASSERT_EQ(PdhAddCounterW(query, cpuPath, 0, &cpuCounter), ERROR_SUCCESS);
        ASSERT_EQ(PdhAddCounterW(query, u"\\Memory\\Available Bytes", 0, &memoryCounter), ERROR_SUCCESS);
        {
            CZynLockList locks;
            cpu->int_LockInto(locks);
            memory->int_LockInto(locks);
            cpu->int_BindCounter(cpuCounter, cpuPath, false);
            memory->int_BindCounter(memoryCounter, u"\\Memory\\Available Bytes", false);
            ASSERT_EQ(cpu->int_SetType(typeDynamic), S_OK);
            ASSERT_EQ(memory->int_SetType(typeDynamic), S_OK);
        }
        EXPECT_EQ(Str(&CZynChannel::get_Counter, cpu), "% Processor Time (Total)");
        EXPECT_EQ(Str(&CZynChannel::get_CounterInstance, cpu), "Total");
        EXPECT_EQ(Str(&CZynChannel::get_CounterPath, cpu), "\\Processor(_Total)\\% Processor Time");
        EXPECT_EQ(Str(&CZynChannel::get_Units, cpu), "%");
        EXPECT_EQ(Str(&CZynChannel::get_Counter, memory), "Available Bytes");
        EXPECT_EQ(Str(&CZynChannel::get_Units, memory), "Bytes");
        double scaleMax = 0;
        memory->get_ScaleMax(&scaleMax);
        EXPECT_DOUBLE_EQ(scaleMax, 1e8);
        EXPECT_TRUE(cpu->int_AwaitingFirstSample());

        // A rate counter has no value after a single collection: the tick still records 0.0.
        auto sample = [&] {
            CZynLockList locks;
            for (CZynChannel* channel : chart.channels)
                channel->int_LockInto(locks);
            ASSERT_TRUE(chart.timeBase->AppendRel(chart.timeBase->GetCount() * 1000));
            for (CZynChannel* channel : chart.channels)
                channel->int_TakeSample();
        };
        PdhCollectQueryData(query);
        sample();
        PdhCollectQueryData(query);
        sample();
        CComPtr<IZynDataSet> data;
        cpu->get_Data(&data);
        LONG count = 0;
        data->get_Count(&count);
        ASSERT_EQ(count, 2);
        double first = -1, second = -1;
        data->GetValueAt(0, &first);
        data->GetValueAt(1, &second);
        EXPECT_EQ(first, 0.0);
        EXPECT_GE(second, 0.0);
        EXPECT_LE(second, 100.0);
        EXPECT_FALSE(cpu->int_AwaitingFirstSample());
        data.Release();
        memory->get_Data(&data);
        data->GetValueAt(0, &first);
        EXPECT_GT(first, 0.0) << "an instantaneous counter is valid at once";
    }
    PdhCloseQuery(query);
}

} // namespace
