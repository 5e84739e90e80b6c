#include "objlib/ZynRecords.h"

#include "ChannelProbes.h"

#include "com/ccombstr.h"
#include "objlib/ZynApp.h"
#include "objlib/ZynChannel.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynErrors.h"
#include "objlib/ZynEvent.h"
#include "testing/ComChecks.h"
#include "utils/ZynTime.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using zyn::test::ClearError;
using zyn::test::LeakCheckedTest;
using zyn::test::RaisedError;
using zyn::test::TakeError;

using namespace zyn::obj;
using Bytes = std::vector<unsigned char>;

// The smallest chart a channel can be attached to: a shared time axis and a list.
class AxisChart final : public CZynChartLink {
public:
    CComPtr<CZynTimeBase> timeBase = CZynTimeBase::Create();
    std::vector<CComPtr<CZynChannel>> channels;
    LONG counter = 0;

    explicit AxisChart(double start) { timeBase->SetStart(start); }
    ~AxisChart() {
        for (CZynChannel* channel : channels)
            channel->int_ClearChart();
    }
    CComPtr<CZynChannel> Add(ZynChannelType type) {
        CComPtr<CZynChannel> channel = CZynChannel::Create();
        channel->int_Attach(this);
        CZynLockList locks;
        channel->int_LockInto(locks);
        EXPECT_EQ(channel->int_SetType(type), S_OK);
        channels.push_back(channel);
        return channel;
    }
    LONG NextChannelNumber() override { return ++counter; }
    CZynTimeBase* ChartTimeBase() override { return timeBase; }
    void AggregateChanged(DWORD, bool) override {}
    HRESULT SetChartStartTime(double start) override {
        timeBase->SetStart(start);
        return S_OK;
    }
    void ChannelDetached(CZynChannel* channel) override {
        std::erase_if(channels, [&](const CComPtr<CZynChannel>& c) { return c.p == channel; });
    }
    HRESULT GetChartInterface(IZynChart** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
};

Bytes Content(const CZynGrowBuff& b) {
    return Bytes(b.GetBuffer(), b.GetBuffer() + b.GetSize());
}

void Load(CZynGrowBuff& b, const Bytes& bytes) {
    b.Release();
    b.Write(bytes.data(), bytes.size());
    b.SetReadPos(0);
}

Bytes SavedChannelRecords(CZynChannel* channel) {
    CComVariant saved;
    EXPECT_EQ(channel->SaveChannel(&saved), S_OK);
    CZynGrowBuff records;
    EXPECT_EQ(UnpackVariant(saved, records, CLSID_Channel, RecordKind::Channel), S_OK);
    return Content(records);
}

std::string Str(HRESULT (CZynChannel::*get)(BSTR*), CZynChannel* channel) {
    CComBSTR s;
    EXPECT_EQ((channel->*get)(&s), S_OK);
    return s.ToUtf8();
}

constexpr double kStart = 45000.0;
constexpr double kMs = CZynTimeBase::kDaysPerMs;

// A static channel with two values at 0 and 250 ms after 45000.0, as the hand-written record has it.
CComPtr<CZynChannel> SmallStaticChannel(AxisChart& chart) {
    CComPtr<CZynChannel> channel = chart.Add(typeStatic);
    channel->put_Name(CComBSTR(u"Ab"));
    channel->put_Units(CComBSTR(u"V"));
    channel->put_Color(0x00112233);
    channel->put_Width(2);
    LONG count = 0;
    EXPECT_EQ(channel->AddValueRelTime(1.5, 0, &count), S_OK);
    EXPECT_EQ(channel->AddValueRelTime(-2.0, 250, &count), S_OK);
    return channel;
}

// Field by field from the record tables, not from the code under test.
const Bytes kSmallChannelRecord = {
    0x43, 0x68, 0x61, 0x6E,                                     // "Chan"
    0x01, 0x00, 0x00, 0x00,                                     // version 1
    0x02, 0x00, 0x00, 0x00,                                     // static
    0x02, 0x00, 0x00, 0x00, 0x41, 0x00, 0x62, 0x00, 0x00, 0x00, // name "Ab"
    0x00, 0x00, 0x00, 0x00,                                     // comment: empty
    0x00, 0x00, 0x00, 0x00,                                     // counter: empty
    0x01, 0x00, 0x00, 0x00, 0x56, 0x00, 0x00, 0x00,             // units "V"
    0x01,                                                       // visible
    0x33, 0x22, 0x11, 0x00,                                     // colour
    0x02, 0x00, 0x00, 0x00,                                     // width
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // scale min 0.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59, 0x40,             // scale max 100.0
    0x00, 0x00, 0x00, 0x00,                                     // offset
    0x44, 0x61, 0x74, 0x61,                                     // "Data"
    0x01, 0x00, 0x00, 0x00,                                     // version 1
    0x01,                                                       // one store: nothing edited
    0x04, 0x00, 0x00, 0x00,                                     // data mode: static
    0x02, 0x00, 0x00, 0x00,                                     // two values
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,             // 1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,             // -2.0
    0x00,                                                       // no counter info
    0x01,                                                       // times follow
    0x54, 0x69, 0x6D, 0x65,                                     // "Time"
    0x00, 0x00, 0x00, 0x00,                                     // offset
    0x02, 0x00, 0x00, 0x00,                                     // two times
    0x00, 0x00, 0x00, 0x00, 0x00, 0xF9, 0xE5, 0x40,             // first value at 45000.0
    0x00, 0x00, 0x00, 0x00,                                     // +0 ms
    0xFA, 0x00, 0x00, 0x00,                                     // +250 ms
};

using RecordsTest = LeakCheckedTest;

TEST_F(RecordsTest, ChannelRecordMatchesTheTablesByteForByte) {
    AxisChart chart(kStart);
    CComPtr<CZynChannel> channel = SmallStaticChannel(chart);
    EXPECT_EQ(SavedChannelRecords(channel), kSmallChannelRecord);

    // And the string form carries the same records.
    CComBSTR text;
    ASSERT_EQ(channel->SaveChannelAsString(&text), S_OK);
    CZynGrowBuff records;
    ASSERT_EQ(UnpackString(text, records, CLSID_Chart, RecordKind::Channel), S_OK);
    EXPECT_EQ(Content(records), kSmallChannelRecord);
}

TEST_F(RecordsTest, HandWrittenChannelRecordLoads) {
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    channel->ClearChangedProperty(-1);
    CZynGrowBuff in;
    Load(in, kSmallChannelRecord);
    ASSERT_TRUE(records::ReadChannel(in, *channel));
    EXPECT_EQ(in.GetReadRemaining(), 0u);

    EXPECT_EQ(Str(&CZynChannel::get_Name, channel), "Ab");
    EXPECT_EQ(Str(&CZynChannel::get_Comment, channel), "");
    EXPECT_EQ(Str(&CZynChannel::get_Units, channel), "V");
    OLE_COLOR color = 0;
    LONG width = 0, visible = 0, changed = 0;
    double scaleMax = 0;
    channel->get_Color(&color);
    channel->get_Width(&width);
    channel->get_Visible(&visible);
    channel->get_ScaleMax(&scaleMax);
    channel->GetChangedProperty(&changed);
    EXPECT_EQ(color, 0x00112233u);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(visible, 1);
    EXPECT_EQ(scaleMax, 100.0);
    EXPECT_EQ(DWORD(changed), 0xFFFFFFFFu);
    EXPECT_EQ(Values(channel), (std::vector<double>{1.5, -2.0}));
    EXPECT_EQ(Times(channel), (std::vector<double>{kStart, kStart + 250 * kMs}));
    // The statistics come from the append path.
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    double min = 0, max = 0;
    data->get_Min(&min);
    data->get_Max(&max);
    EXPECT_EQ(min, -2.0);
    EXPECT_EQ(max, 1.5);
}

TEST_F(RecordsTest, EventRecordMatchesTheTablesAndInProgressIsSavedStopped) {
    CZynEvent* event = new CZynEvent(u"E");
    CComPtr<IZynEvent> hold(event);
    event->Restore(45000.5, 0.0, u"E", u"");
    CZynGrowBuff out;
    ASSERT_TRUE(records::WriteEvent(out, *event, 45001.0));
    const Bytes expected = {
        0x45, 0x76, 0x6E, 0x74,                         // "Evnt"
        0x01, 0x00, 0x00, 0x00,                         // version 1
        0x00, 0x00, 0x00, 0x00, 0x10, 0xF9, 0xE5, 0x40, // start 45000.5
        0x00, 0x00, 0x00, 0x00, 0x20, 0xF9, 0xE5, 0x40, // in progress: saved at 45001.0
        0x01, 0x00, 0x00, 0x00, 0x45, 0x00, 0x00, 0x00, // name "E"
        0x00, 0x00, 0x00, 0x00,                         // comment: empty
    };
    EXPECT_EQ(Content(out), expected);
    LONG inProgress = 0;
    event->get_InProgress(&inProgress);
    EXPECT_EQ(inProgress, 1) << "saving does not stop the event itself";

    // A stop before 2004-11-28 is not a real one either; a later one is kept.
    event->Restore(45000.5, 38318.9, u"E", u"");
    out.Release();
    ASSERT_TRUE(records::WriteEvent(out, *event, 45001.0));
    out.SetReadPos(16);
    double stop = 0;
    out.Read(stop);
    EXPECT_EQ(stop, 45001.0);
    event->Restore(45000.5, 38319.0, u"E", u"");
    out.Release();
    ASSERT_TRUE(records::WriteEvent(out, *event, 45001.0));
    out.SetReadPos(16);
    out.Read(stop);
    EXPECT_EQ(stop, 38319.0);

    CZynEvent* loaded = new CZynEvent();
    CComPtr<IZynEvent> holdLoaded(loaded);
    Load(out, expected);
    ASSERT_TRUE(records::ReadEvent(out, *loaded));
    EXPECT_EQ(loaded->StartDate(), 45000.5);
    EXPECT_EQ(loaded->StopDate(), 45001.0);
    EXPECT_EQ(loaded->Name(), u"E");
}

TEST_F(RecordsTest, CounterInfoRecordIsReadAsLoadedAndWrittenBackUnchanged) {
    // A dynamic channel's record as another writer made it: counter info, no times.
    CZynGrowBuff in;
    auto u32 = [&](std::uint32_t v) { in.Write(static_cast<unsigned long>(v)); };
    auto text = [&](const char16_t* s) { in.Write(s); };
    u32(records::kSigChannel), u32(1), u32(typeDynamic);
    text(u"Cpu"), text(u""), text(u"% Processor Time (Total)"), text(u"%");
    in.Write(true), u32(0xFF), in.Write(long(1)), in.Write(0.0), in.Write(100.0), u32(3);
    u32(records::kSigDataSet), u32(1), in.Write(true), u32(3), u32(1), in.Write(12.0);
    in.Write(true);
    u32(records::kSigInfo), u32(1);
    for (const char16_t* s : {u"\\\\host\\Processor(_Total)\\% Processor Time", u"host", u"Processor",
                              u"Total", u"", u"Share of time busy", u"% Processor Time"})
        text(s);
    in.Write(0.0), in.Write(100.0);
    in.Write(false);
    const Bytes written = Content(in);

    CComPtr<CZynChannel> channel = CZynChannel::Create();
    in.SetReadPos(0);
    ASSERT_TRUE(records::ReadChannel(in, *channel));
    EXPECT_EQ(Str(&CZynChannel::get_CounterPath, channel), "\\\\host\\Processor(_Total)\\% Processor Time");
    EXPECT_EQ(Str(&CZynChannel::get_CounterInstance, channel), "Total");
    EXPECT_EQ(Str(&CZynChannel::get_CounterDescription, channel), "Share of time busy");
    EXPECT_EQ(Str(&CZynChannel::get_Counter, channel), "% Processor Time (Total)");
    ASSERT_NE(channel->int_CounterInfo(), nullptr);
    EXPECT_TRUE(channel->int_CounterInfo()->loaded);
    EXPECT_FALSE(channel->int_CounterInfo()->valid);
    EXPECT_EQ(channel->int_CounterInfo()->counter, nullptr);

    // Written back without times (the channel is still of the dynamic type here), it is the same record.
    CZynGrowBuff out;
    ASSERT_TRUE(records::WriteChannel(out, *channel, false));
    EXPECT_EQ(Content(out), written);
}

TEST_F(RecordsTest, EditedValuesAreNotSavedRawOnesAre) {
    AxisChart chart(kStart);
    CComPtr<CZynChannel> channel = SmallStaticChannel(chart);
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    ASSERT_EQ(data->SetValueAt(0, 99.0), S_OK);

    const Bytes saved = SavedChannelRecords(channel);
    Bytes expected = kSmallChannelRecord;
    expected[75] = 0x00; // the one-store flag: a value was edited
    EXPECT_EQ(saved, expected);

    CComPtr<CZynChannel> loaded = CZynChannel::Create();
    CZynGrowBuff in;
    Load(in, saved);
    ASSERT_TRUE(records::ReadChannel(in, *loaded));
    EXPECT_EQ(Values(loaded), (std::vector<double>{1.5, -2.0}));
}

TEST_F(RecordsTest, SaveLoadSaveGivesTheSameRecordsWithTimesRebased) {
    AxisChart chart(kStart);
    CComPtr<CZynChannel> channel = chart.Add(typeStatic);
    channel->put_Comment(CComBSTR(u"a comment"));
    channel->put_ScaleMin(-5.0);
    channel->put_Visible(0);
    LONG count = 0;
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(channel->AddValueRelTime(i * 0.25, 1000 + 10 * i, &count), S_OK);

    const Bytes first = SavedChannelRecords(channel);
    CComPtr<CZynChannel> loaded = CZynChannel::Create();
    CZynGrowBuff in;
    Load(in, first);
    ASSERT_TRUE(records::ReadChannel(in, *loaded));
    EXPECT_EQ(Values(loaded), Values(channel));
    const std::vector<double> before = Times(channel), after = Times(loaded);
    ASSERT_EQ(after.size(), 300u);
    // Rebased: the start moved to the first value, the times did not.
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_NEAR(after[i], before[i], 1e-9) << i;
    EXPECT_EQ(SavedChannelRecords(loaded), first);
}

TEST_F(RecordsTest, NewerVersionsAreRefusedWithTheirText) {
    CZynGrowBuff in;
    Bytes record = kSmallChannelRecord;
    record[4] = 2; // channel version 2
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    Load(in, record);
    EXPECT_FALSE(records::ReadChannel(in, *channel));
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Incompatible data format. Found version=2 Expected version=1");
    EXPECT_EQ(e.source, "ZynTallonObj.Channel.1");
    EXPECT_EQ(Str(&CZynChannel::get_Name, channel), "Channel") << "nothing read past the version";

    record = kSmallChannelRecord;
    record[71] = 3; // data set version 3
    Load(in, record);
    EXPECT_FALSE(records::ReadChannel(in, *channel));
    e = TakeError();
    EXPECT_EQ(e.description, "Incompatible data format. Found version=3 Expected version=1");
    EXPECT_EQ(e.source, "ZynTallonObj.DataSet.1");
    EXPECT_EQ(Str(&CZynChannel::get_Name, channel), "Ab") << "the fields before the data set stay read";
    EXPECT_TRUE(Values(channel).empty());

    CComPtr<CZynEvent> event(new CZynEvent());
    Load(in, {0x45, 0x76, 0x6E, 0x74, 0x02, 0, 0, 0});
    EXPECT_FALSE(records::ReadEvent(in, *event));
    EXPECT_EQ(TakeError().description, "Incompatible data format. Found version=2 Expected version=1");
    Load(in, {0x45, 0x76, 0x6E, 0x75, 0x01, 0, 0, 0});
    EXPECT_FALSE(records::ReadEvent(in, *event));
    e = TakeError();
    EXPECT_EQ(e.description, "Invalid signature Found=0x756e7645 Expected=0x746e7645");
    EXPECT_EQ(e.source, "ZynTallonObj.Event.1");

    // A wrong channel signature fails without a text.
    record = kSmallChannelRecord;
    record[0] = 'c';
    Load(in, record);
    EXPECT_FALSE(records::ReadChannel(in, *channel));
    EXPECT_EQ(TakeError().description, "");
}

TEST_F(RecordsTest, EveryTruncationFailsCleanlyKeepingWhatWasRead) {
    for (std::size_t cut = 0; cut < kSmallChannelRecord.size(); ++cut) {
        CComPtr<CZynChannel> channel = CZynChannel::Create();
        CZynGrowBuff in;
        Load(in, Bytes(kSmallChannelRecord.begin(), kSmallChannelRecord.begin() + cut));
        EXPECT_FALSE(records::ReadChannel(in, *channel)) << cut;
        const std::size_t values = Values(channel).size();
        EXPECT_EQ(values, cut >= 100 ? 2u : 0u) << cut; // the values block is taken whole or not at all
        if (cut >= 22) {
            EXPECT_EQ(Str(&CZynChannel::get_Name, channel), "Ab") << cut;
        }
        // A time record cut short leaves the channel's times as they were (none).
        EXPECT_TRUE(Times(channel).empty()) << cut;
        // What was read can be saved again.
        CZynGrowBuff out;
        EXPECT_TRUE(records::WriteChannel(out, *channel, true)) << cut;
        ClearError();
    }
}

TEST_F(RecordsTest, ForgedCountsAllocateNothing) {
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    CZynGrowBuff in;
    Bytes record(kSmallChannelRecord.begin(), kSmallChannelRecord.begin() + 80);
    for (unsigned char b : {0xFF, 0xFF, 0xFF, 0x7F})
        record.push_back(b); // 2^31-1 values announced
    record.insert(record.end(), 16, 0);
    Load(in, record);
    EXPECT_FALSE(records::ReadChannel(in, *channel));
    EXPECT_EQ(channel->int_DataSet()->int_AllocatedBytes(), 0u);

    // A time record announcing more entries than follow.
    record = kSmallChannelRecord;
    record[110] = 0xFF, record[111] = 0xFF, record[112] = 0xFF;
    Load(in, record);
    CComPtr<CZynChannel> other = CZynChannel::Create();
    EXPECT_FALSE(records::ReadChannel(in, *other));
    EXPECT_EQ(other->int_TimeBase()->AllocatedBytes(), 0u);
    EXPECT_EQ(Values(other).size(), 2u);
}

TEST_F(RecordsTest, ForgedOffsetsAndShortTimesNeverIndexOutsideTheAxis) {
    for (std::uint32_t offset : {0u, 1u, 5u, 0xFFFFFFFFu, 0x80000000u}) {
        // Times carry the offset of the record; here 2 values but only one time, and an odd offset.
        Bytes record(kSmallChannelRecord.begin(), kSmallChannelRecord.end() - 24);
        record.insert(record.end(), {0x00, 0x00, 0x00, 0x00});
        std::memcpy(record.data() + record.size() - 4, &offset, 4);
        record.insert(record.end(), {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0xF9, 0xE5, 0x40, 0x10, 0, 0, 0});
        CComPtr<CZynChannel> channel = CZynChannel::Create();
        CZynGrowBuff in;
        Load(in, record);
        ASSERT_TRUE(records::ReadChannel(in, *channel)) << offset;
        EXPECT_EQ(channel->int_Offset(), LONG(offset));
        CZynGrowBuff out;
        ASSERT_TRUE(records::WriteChannel(out, *channel, true)) << offset;
        // The rewritten time record still holds one time per value.
        out.SetReadPos(out.GetSize() - 8);
        unsigned long a = 1, b = 1;
        out.Read(a), out.Read(b);
        EXPECT_EQ(a, 0u);
        EXPECT_EQ(b, 0u);
        VARIANT t;
        CComPtr<IZynDataSet> data;
        channel->get_Data(&data);
        EXPECT_EQ(data->GetTimeAt(1, &t), LONG(offset) == -1 ? S_OK : E_INVALIDARG) << offset;
        ClearError();
    }
}

TEST_F(RecordsTest, UnpackingRefusesWhatIsNotASavedBlob) {
    CZynGrowBuff records;
    CComVariant strings(u"text");
    EXPECT_EQ(UnpackVariant(strings, records, CLSID_App, RecordKind::Chart), E_INVALIDARG);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Error loading chart: Unrecognized data type");
    EXPECT_EQ(e.source, "ZynTallonObj.App.1");
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, 1);
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_BSTR;
    array.parray = names;
    EXPECT_EQ(UnpackVariant(array, records, CLSID_Chart, RecordKind::Channel), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Unable to load channel from unrecognized data type");
    VariantClear(&array);

    // Bytes that are not a container, and a container whose stream is broken.
    CZynGrowBuff plain;
    plain.Write(kSmallChannelRecord.data(), kSmallChannelRecord.size());
    CComVariant bytes;
    ASSERT_TRUE(plain.ToVariant(&bytes));
    EXPECT_EQ(UnpackVariant(bytes, records, CLSID_Chart, RecordKind::Channel), E_FAIL);
    EXPECT_EQ(TakeError().description, "Error loading channel");
    ASSERT_TRUE(plain.Compress(3));
    plain.GetBuffer()[14] ^= 0xFF;
    ASSERT_TRUE(plain.ToVariant(&bytes));
    records.Release();
    EXPECT_EQ(UnpackVariant(bytes, records, CLSID_App, RecordKind::Chart), E_FAIL);
    EXPECT_EQ(TakeError().description, "Error loading chart");

    EXPECT_EQ(UnpackString(nullptr, records, CLSID_Chart, RecordKind::Channel), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Unable to load channel from empty string");
    EXPECT_EQ(UnpackString(nullptr, records, CLSID_App, RecordKind::Chart), E_FAIL);
    EXPECT_EQ(TakeError().description, "Error loading chart");
    records.Release();
    EXPECT_EQ(UnpackString(CComBSTR(u"Q"), records, CLSID_Chart, RecordKind::Channel), E_FAIL);
    EXPECT_EQ(TakeError().description, "Error loading channel");
}

TEST_F(RecordsTest, EmptyFreeStandingChannelSavesACompleteRecord) {
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    CComBSTR text;
    ASSERT_EQ(channel->SaveChannelAsString(&text), S_OK);
    CZynGrowBuff records;
    ASSERT_EQ(UnpackString(text, records, CLSID_Chart, RecordKind::Channel), S_OK);
    CComPtr<CZynChannel> loaded = CZynChannel::Create();
    EXPECT_TRUE(records::ReadChannel(records, *loaded));
    EXPECT_EQ(records.GetReadRemaining(), 0u);
}

// --- charts ---

Bytes SavedChartRecords(IZynChart* chart) {
    CComVariant saved;
    EXPECT_EQ(chart->SaveChart(&saved), S_OK);
    CZynGrowBuff records;
    EXPECT_EQ(UnpackVariant(saved, records, CLSID_App, RecordKind::Chart), S_OK);
    return Content(records);
}

CComPtr<CZynChart> LoadedChart(CZynApp* app, const Bytes& records) {
    CZynGrowBuff packed;
    packed.Write(records.data(), records.size());
    EXPECT_TRUE(packed.Compress(3));
    CComVariant data;
    EXPECT_TRUE(packed.ToVariant(&data));
    CComPtr<IZynChart> loaded;
    EXPECT_EQ(app->LoadChart(data, &loaded), S_OK);
    return CComPtr<CZynChart>(static_cast<CZynChart*>(loaded.p));
}

std::vector<CComPtr<CZynChannel>> ChannelsOf(CZynChart* chart) {
    return chart->int_Channels();
}

// A dynamic channel sampled three times (values pushed as a counter would), a static channel, an
// event in progress and a stopped one.
CComPtr<CZynChart> RecordedChart(CZynApp* app) {
    CComPtr<IZynChart> added;
    EXPECT_EQ(app->AddChart(&added), S_OK);
    CComPtr<CZynChart> chart(static_cast<CZynChart*>(added.p));
    chart->put_Name(CComBSTR(u"Load test"));
    chart->put_Comment(CComBSTR(u"night run"));
    chart->put_Rate(500);
    CComVariant start;
    start.vt = VT_DATE;
    start.date = kStart;
    EXPECT_EQ(chart->put_StartTime(start), S_OK);
    CComPtr<IZynChannel> dynamic, fixed;
    EXPECT_EQ(chart->AddChannel(CComBSTR(u"not a counter path"), &dynamic), S_OK);
    auto* sampled = static_cast<CZynChannel*>(dynamic.p);
    for (double v : {1.0, 2.0, 3.0}) {
        EXPECT_EQ(chart->Sample(), S_OK);
        CZynLockList locks;
        chart->int_LockTree(locks);
        EXPECT_TRUE(sampled->int_AppendValue(v));
    }
    EXPECT_EQ(chart->AddStaticChannel(&fixed), S_OK);
    LONG count = 0;
    EXPECT_EQ(fixed->AddValueRelTime(7.0, 100, &count), S_OK);
    EXPECT_EQ(fixed->AddValueRelTime(8.0, 250, &count), S_OK);
    CComPtr<IZynEvent> running, done;
    chart->AddEvent(CComBSTR(u"running"), &running);
    chart->AddEvent(CComBSTR(u"done"), &done);
    done->put_Comment(CComBSTR(u"finished"));
    done->Stop();
    return chart;
}

TEST_F(RecordsTest, ChartRoundTripLoadsStaticChannelsAndStoppedEvents) {
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> chart = RecordedChart(app);
    const double before = GetTimeAsDouble(nullptr);
    const Bytes first = SavedChartRecords(chart);
    const double after = GetTimeAsDouble(nullptr);

    CComPtr<CZynChart> loaded = LoadedChart(app, first);
    EXPECT_EQ(loaded->int_Name(), u"Load test");
    EXPECT_EQ(loaded->int_Comment(), u"night run");
    EXPECT_EQ(loaded->int_Rate(), 500);
    EXPECT_NE(loaded->int_Identifier(), chart->int_Identifier());
    const auto originals = ChannelsOf(chart), channels = ChannelsOf(loaded);
    ASSERT_EQ(channels.size(), 2u);
    // The dynamic channel's values lie on the chart's axis (regression: it once had an empty copy).
    ASSERT_EQ(Times(originals[0]).size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(TypeOf(channels[i]), typeStatic) << i;
        EXPECT_EQ(Values(channels[i]), Values(originals[i])) << i;
        EXPECT_EQ(Times(channels[i]), Times(originals[i])) << i;
        EXPECT_EQ(channels[i]->int_Name(), originals[i]->int_Name()) << i;
        EXPECT_NE(channels[i]->int_Identifier(), originals[i]->int_Identifier()) << i;
    }
    const auto events = loaded->int_Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]->Name(), u"running");
    EXPECT_GE(events[0]->StopDate(), before) << "saved stopped at the save time";
    EXPECT_LE(events[0]->StopDate(), after);
    EXPECT_EQ(events[1]->Comment(), u"finished");
    EXPECT_EQ(events[1]->StopDate(), chart->int_Events()[1]->StopDate());

    // The loaded chart is a fixed point: saving and loading it again changes nothing.
    const Bytes second = SavedChartRecords(loaded);
    const Bytes third = SavedChartRecords(LoadedChart(app, second));
    ASSERT_EQ(third.size(), second.size());
    for (std::size_t i = 0; i < third.size(); ++i)
        ASSERT_EQ(third[i], second[i]) << "first difference at " << i;
    // Only the dynamic channel's record (now static, with its times) and the stop of the event
    // that was in progress differ from the first save.
    EXPECT_GT(second.size(), first.size());
    // The loaded clock restarts with the first new sample.
    const double loadedStart = loaded->int_StartDate();
    EXPECT_EQ(loaded->Sample(), S_OK);
    EXPECT_NE(loaded->int_StartDate(), loadedStart);
}

// A chart of many pages: loading gives the reading's pages back as it goes and appends values in
// runs, which must leave every value, time and statistic as a recording of them would.
TEST_F(RecordsTest, LargeChartLoadsEveryValueTimeAndStatistic) {
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<IZynChart> added;
    ASSERT_EQ(app->AddChart(&added), S_OK);
    auto* chart = static_cast<CZynChart*>(added.p);
    CComVariant start(45000.25);
    chart->put_StartTime(start);
    constexpr LONG kValues = 20011; // not a multiple of the runs the loader copies in
    for (int c = 0; c < 3; ++c) {
        CComPtr<IZynChannel> channel;
        ASSERT_EQ(chart->AddStaticChannel(&channel), S_OK);
        for (LONG i = 0; i < kValues; ++i) {
            LONG count = 0;
            const double value =
                c == 1 ? -0.5 * i : std::sin(i * 0.001 + c) * 100.0 + (i == 15000 ? 1e6 : 0.0);
            ASSERT_EQ(channel->AddValueRelTime(value, i * 1000 + c, &count), S_OK);
        }
    }
    CComPtr<CZynChart> loaded = LoadedChart(app, SavedChartRecords(chart));
    const auto originals = ChannelsOf(chart), channels = ChannelsOf(loaded);
    ASSERT_EQ(channels.size(), 3u);
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(Values(channels[c]), Values(originals[c])) << c;
        // Times are rebased on the channel's first one when saved: the same instants, to far below
        // a millisecond, though not always the same doubles.
        const auto got = Times(channels[c]), want = Times(originals[c]);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(got[i], want[i], 1e-9) << "channel " << c << ", value " << i;
        CComPtr<IZynDataSet> from, to;
        originals[c]->get_Data(&from);
        channels[c]->get_Data(&to);
        double a = 0, b = 0;
        LONG ia = 0, ib = 0;
        from->get_Max(&a), to->get_Max(&b);
        EXPECT_EQ(a, b) << c;
        from->get_Min(&a), to->get_Min(&b);
        EXPECT_EQ(a, b) << c;
        from->get_Average(&a), to->get_Average(&b);
        EXPECT_DOUBLE_EQ(a, b) << c;
        from->get_IndexMax(&ia), to->get_IndexMax(&ib);
        EXPECT_EQ(ia, ib) << c;
        from->get_IndexMin(&ia), to->get_IndexMin(&ib);
        EXPECT_EQ(ia, ib) << c;
    }
    loaded->Detach();
    chart->Detach();
}

TEST_F(RecordsTest, AllStaticChartWithStoppedEventsSavesIdenticallyAfterLoading) {
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<IZynChart> added;
    app->AddChart(&added);
    auto* chart = static_cast<CZynChart*>(added.p);
    CComPtr<IZynChannel> fixed;
    chart->AddStaticChannel(&fixed);
    LONG count = 0;
    for (int i = 0; i < 50; ++i)
        fixed->AddValueRelTime(i, 40 + 20 * i, &count);
    CComPtr<IZynEvent> event;
    chart->AddEvent(CComBSTR(u"e"), &event);
    event->Stop();
    const Bytes first = SavedChartRecords(chart);
    EXPECT_EQ(SavedChartRecords(LoadedChart(app, first)), first);
}

TEST_F(RecordsTest, VersionOneChartLoadsWithoutEvents) {
    CZynGrowBuff record;
    record.Write(static_cast<unsigned long>(records::kSigChart));
    record.Write(static_cast<unsigned long>(1));
    record.Write(u"Old");
    record.Write(u"");
    record.Write(static_cast<unsigned long>(2000));
    record.Write(static_cast<unsigned long>(2));
    record.Write(kStart);
    record.Write(static_cast<unsigned long>(0));
    record.Write(static_cast<unsigned long>(1000));
    record.Write(static_cast<unsigned long>(1));
    record.Write(kSmallChannelRecord.data(), kSmallChannelRecord.size());
    // Bytes that a version 2 reader would take for an event count and a record.
    record.Write(static_cast<unsigned long>(1));
    record.Write(static_cast<unsigned long>(records::kSigEvent));

    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> chart = LoadedChart(app, Content(record));
    EXPECT_EQ(TakeError().description, "");
    EXPECT_EQ(chart->int_Name(), u"Old");
    EXPECT_EQ(chart->int_Rate(), 2000);
    EXPECT_EQ(chart->int_Events().size(), 0u);
    ASSERT_EQ(ChannelsOf(chart).size(), 1u);
    EXPECT_EQ(Values(ChannelsOf(chart)[0]), (std::vector<double>{1.5, -2.0}));
    EXPECT_EQ(Times(ChannelsOf(chart)[0]), (std::vector<double>{kStart, kStart + 250 * kMs}));
}

TEST_F(RecordsTest, NewerChartIsRefusedButTheChartIsKept) {
    CZynGrowBuff record;
    record.Write(static_cast<unsigned long>(records::kSigChart));
    record.Write(static_cast<unsigned long>(3));
    record.Write(u"Future");
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> chart = LoadedChart(app, Content(record));
    ASSERT_TRUE(chart);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Incompatible data format. Found version=3 Expected version=2");
    EXPECT_EQ(e.source, "ZynTallonObj.Chart.1");
    EXPECT_EQ(chart->int_Name(), u"Chart-1") << "adopted, nothing read";
    CComPtr<IZynChart> found;
    EXPECT_EQ(app->FindChart(CComBSTR(u"Chart-1"), &found), S_OK);
}

TEST_F(RecordsTest, ForgedChartCountsMakeNoPhantomObjectsAndTheRateStaysRunnable) {
    CZynGrowBuff record;
    record.Write(static_cast<unsigned long>(records::kSigChart));
    record.Write(static_cast<unsigned long>(2));
    record.Write(u"Forged");
    record.Write(u"");
    record.Write(static_cast<unsigned long>(0)); // a rate the sampling thread would spin at
    record.Write(static_cast<unsigned long>(0));
    record.Write(static_cast<unsigned long>(0xFFFFFFFF)); // channels
    record.Write(kSmallChannelRecord.data(), kSmallChannelRecord.size());
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<CZynChart> chart = LoadedChart(app, Content(record));
    EXPECT_EQ(ChannelsOf(chart).size(), 1u);
    EXPECT_EQ(chart->int_Rate(), CZynChart::kMinRate);

    // An event count with nothing behind it.
    record.Release();
    record.Write(static_cast<unsigned long>(records::kSigChart));
    record.Write(static_cast<unsigned long>(2));
    record.Write(u"");
    record.Write(u"");
    record.Write(static_cast<unsigned long>(0x7FFFFFFF));
    record.Write(static_cast<unsigned long>(0x40000000)); // time-base entries: only 8 bytes follow
    record.Write(kStart);
    chart = LoadedChart(app, Content(record));
    EXPECT_EQ(chart->int_TimeBase()->GetCount(), 0u);
    EXPECT_EQ(chart->int_Rate(), CZynChart::kMaxRate);
    ClearError();
}

TEST_F(RecordsTest, ChannelLoadedIntoAnotherChartKeepsItsSettingsAndStartsAtThatChartsStart) {
    AxisChart source(kStart);
    CComPtr<CZynChannel> saved = SmallStaticChannel(source);
    saved->put_Comment(CComBSTR(u"note"));
    saved->put_ScaleMin(-3.0);
    saved->put_Visible(0);
    CComVariant data;
    ASSERT_EQ(saved->SaveChannel(&data), S_OK);

    CComPtr<IZynChart> target;
    ASSERT_EQ(CZynChart::Create()->QueryInterface(IZynChart::kIID, reinterpret_cast<void**>(&target)), S_OK);
    auto* chart = static_cast<CZynChart*>(target.p);
    CComVariant start;
    start.vt = VT_DATE;
    start.date = 45100.5;
    ASSERT_EQ(chart->put_StartTime(start), S_OK);
    CComPtr<IZynChannel> loaded;
    ASSERT_EQ(chart->LoadChannel(data, &loaded), S_OK);
    auto* channel = static_cast<CZynChannel*>(loaded.p);
    EXPECT_EQ(Str(&CZynChannel::get_Name, channel), "Ab");
    EXPECT_EQ(Str(&CZynChannel::get_Comment, channel), "note");
    EXPECT_EQ(Str(&CZynChannel::get_Units, channel), "V");
    double scaleMin = 0;
    LONG visible = 1, width = 0;
    OLE_COLOR color = 0;
    channel->get_ScaleMin(&scaleMin);
    channel->get_Visible(&visible);
    channel->get_Width(&width);
    channel->get_Color(&color);
    EXPECT_EQ(scaleMin, -3.0);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(color, 0x00112233u);
    EXPECT_NE(channel->int_Identifier(), saved->int_Identifier());
    EXPECT_EQ(TypeOf(channel), typeStatic);
    EXPECT_EQ(Values(channel), (std::vector<double>{1.5, -2.0}));
    EXPECT_EQ(Times(channel), (std::vector<double>{45100.5, 45100.5 + 250 * kMs}));
    LONG channels = 0;
    chart->get_ChannelCount(&channels);
    EXPECT_EQ(channels, 1);

    // The string form, and the refusals with the chart as the error source.
    CComBSTR text;
    ASSERT_EQ(saved->SaveChannelAsString(&text), S_OK);
    CComPtr<IZynChannel> again;
    ASSERT_EQ(chart->LoadChannelFromString(text, &again), S_OK);
    EXPECT_EQ(Values(static_cast<CZynChannel*>(again.p)), (std::vector<double>{1.5, -2.0}));
    CComPtr<IZynChannel> refused;
    EXPECT_EQ(chart->LoadChannelFromString(nullptr, &refused), E_INVALIDARG);
    EXPECT_EQ(refused, nullptr);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Unable to load channel from empty string");
    EXPECT_EQ(e.source, "ZynTallonObj.Chart.1");
    EXPECT_EQ(chart->LoadChannel(CComVariant(u"x"), &refused), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Unable to load channel from unrecognized data type");
}

TEST_F(RecordsTest, ApplicationRefusesWhatIsNotAChart) {
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<IZynChart> chart;
    EXPECT_EQ(app->LoadChart(CComVariant(u"strings"), &chart), E_INVALIDARG);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Error loading chart: Unrecognized data type");
    EXPECT_EQ(e.source, "ZynTallonObj.App.1");

    // The string round trip of a whole chart.
    CComPtr<CZynChart> recorded = RecordedChart(app);
    CComBSTR text;
    ASSERT_EQ(recorded->SaveChartAsString(&text), S_OK);
    ASSERT_EQ(app->LoadChartFromString(text, &chart), S_OK);
    EXPECT_EQ(static_cast<CZynChart*>(chart.p)->int_Name(), u"Load test");
    EXPECT_EQ(ChannelsOf(static_cast<CZynChart*>(chart.p)).size(), 2u);
}

// The load keeps S_OK and the partly filled chart; the error object says whether it is whole, so
// that a program can tell its user. A whole load leaves no error behind, even one set before.
TEST_F(RecordsTest, APartlyReadChartLoadsWithTheReasonOnTheErrorObject) {
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    const Bytes whole = SavedChartRecords(RecordedChart(app));
    (void)RaiseError(CLSID_App, E_FAIL, u"stale");
    CComPtr<CZynChart> loaded = LoadedChart(app, whole);
    EXPECT_EQ(TakeError().description, "");
    EXPECT_EQ(ChannelsOf(loaded).size(), 2u);

    for (const std::size_t cut : {std::size_t(60), whole.size() / 2, whole.size() - 3}) {
        const Bytes partial(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
        CComPtr<CZynChart> part = LoadedChart(app, partial);
        ASSERT_TRUE(part) << cut;
        EXPECT_EQ(TakeError().description, "The chart records end early or are damaged") << cut;
    }
    // A record's own reason is kept.
    Bytes newer = whole;
    newer[4] = 3;
    LoadedChart(app, newer);
    EXPECT_EQ(TakeError().description, "Incompatible data format. Found version=3 Expected version=2");
}

TEST_F(RecordsTest, CopyChannelGoesThroughTheRecordWithTimes) {
    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    CComPtr<IZynChart> from, to;
    app->AddChart(&from);
    app->AddChart(&to);
    CComPtr<IZynChannel> fixed, dead;
    from->AddStaticChannel(&fixed);
    fixed->put_Name(CComBSTR(u"copied"));
    LONG count = 0;
    fixed->AddValueRelTime(4.0, 0, &count);
    fixed->AddValueRelTime(5.0, 500, &count);
    from->AddChannel(CComBSTR(u"no such counter"), &dead);
    CComVariant start;
    start.vt = VT_DATE;
    start.date = 45200.0;
    to->put_StartTime(start);

    LONG ok = 0;
    ASSERT_EQ(to->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"copied"), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    auto* target = static_cast<CZynChart*>(to.p);
    ASSERT_EQ(ChannelsOf(target).size(), 1u);
    CZynChannel* copy = ChannelsOf(target)[0];
    EXPECT_EQ(copy->int_Name(), u"copied");
    EXPECT_EQ(TypeOf(copy), typeStatic);
    EXPECT_EQ(Values(copy), (std::vector<double>{4.0, 5.0}));
    EXPECT_EQ(Times(copy), (std::vector<double>{45200.0, 45200.0 + 500 * kMs}));

    // A dynamic source whose path names no counter arrives as a static copy.
    ASSERT_EQ(to->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"Channel-2"), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(ChannelsOf(target).size(), 2u);
    EXPECT_EQ(TypeOf(ChannelsOf(target)[1]), typeStatic);

    EXPECT_EQ(to->CopyChannel(CComBSTR(u"Chart-9"), CComBSTR(u"copied"), &ok), S_FALSE);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(to->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"missing"), &ok), S_FALSE);
    CComPtr<CZynChart> loose = CZynChart::Create();
    EXPECT_EQ(loose->CopyChannel(CComBSTR(u"Chart-1"), CComBSTR(u"copied"), &ok), S_FALSE);
}

} // namespace
