#include "ZynRecords.h"

#include "ObjTestUtil.h"

#include "ZynChannel.h"
#include "ZynEvent.h"

#include <cstring>
#include <vector>

namespace {

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
        for (CZynChannel* channel : channels) channel->int_ClearChart();
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

Bytes Content(const CZynGrowBuff& b) { return Bytes(b.GetBuffer(), b.GetBuffer() + b.GetSize()); }

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

std::vector<double> Values(CZynChannel* channel, bool raw = false) {
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    LONG n = 0;
    data->get_Count(&n);
    std::vector<double> out(static_cast<std::size_t>(n));
    for (LONG i = 0; i < n; ++i) raw ? data->GetRawValueAt(i, &out[i]) : data->GetValueAt(i, &out[i]);
    return out;
}

std::vector<double> Times(CZynChannel* channel) {
    std::vector<double> out(64);
    LONG got = 0;
    EXPECT_EQ(channel->int_DataSet()->GetTimeAtEx(0, 64, out.data(), &got), S_OK);
    out.resize(static_cast<std::size_t>(got));
    return out;
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
    0x43, 0x68, 0x61, 0x6E,                         // "Chan"
    0x01, 0x00, 0x00, 0x00,                         // version 1
    0x02, 0x00, 0x00, 0x00,                         // static
    0x02, 0x00, 0x00, 0x00, 0x41, 0x00, 0x62, 0x00, 0x00, 0x00, // name "Ab"
    0x00, 0x00, 0x00, 0x00,                         // comment: empty
    0x00, 0x00, 0x00, 0x00,                         // counter: empty
    0x01, 0x00, 0x00, 0x00, 0x56, 0x00, 0x00, 0x00, // units "V"
    0x01,                                           // visible
    0x33, 0x22, 0x11, 0x00,                         // colour
    0x02, 0x00, 0x00, 0x00,                         // width
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // scale min 0.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59, 0x40, // scale max 100.0
    0x00, 0x00, 0x00, 0x00,                         // offset
    0x44, 0x61, 0x74, 0x61,                         // "Data"
    0x01, 0x00, 0x00, 0x00,                         // version 1
    0x01,                                           // one store: nothing edited
    0x04, 0x00, 0x00, 0x00,                         // data mode: static
    0x02, 0x00, 0x00, 0x00,                         // two values
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F, // 1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, // -2.0
    0x00,                                           // no counter info
    0x01,                                           // times follow
    0x54, 0x69, 0x6D, 0x65,                         // "Time"
    0x00, 0x00, 0x00, 0x00,                         // offset
    0x02, 0x00, 0x00, 0x00,                         // two times
    0x00, 0x00, 0x00, 0x00, 0x00, 0xF9, 0xE5, 0x40, // first value at 45000.0
    0x00, 0x00, 0x00, 0x00,                         // +0 ms
    0xFA, 0x00, 0x00, 0x00,                         // +250 ms
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
    for (const char16_t* s : {u"\\\\host\\Processor(_Total)\\% Processor Time", u"host", u"Processor", u"Total", u"",
                              u"Share of time busy", u"% Processor Time"})
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
    for (int i = 0; i < 300; ++i) ASSERT_EQ(channel->AddValueRelTime(i * 0.25, 1000 + 10 * i, &count), S_OK);

    const Bytes first = SavedChannelRecords(channel);
    CComPtr<CZynChannel> loaded = CZynChannel::Create();
    CZynGrowBuff in;
    Load(in, first);
    ASSERT_TRUE(records::ReadChannel(in, *loaded));
    EXPECT_EQ(Values(loaded), Values(channel));
    const std::vector<double> before = Times(channel), after = Times(loaded);
    ASSERT_EQ(after.size(), 64u);
    // Rebased: the start moved to the first value, the times did not.
    for (std::size_t i = 0; i < after.size(); ++i) EXPECT_NEAR(after[i], before[i], 1e-9) << i;
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
    for (unsigned char b : {0xFF, 0xFF, 0xFF, 0x7F}) record.push_back(b); // 2^31-1 values announced
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

TEST_F(RecordsTest, SaveMembersCheckTheirResultPointers) {
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    EXPECT_EQ(channel->SaveChannel(nullptr), E_POINTER);
    EXPECT_EQ(channel->SaveChannelAsString(nullptr), E_POINTER);
    // An empty free-standing channel still saves a complete record.
    CComBSTR text;
    ASSERT_EQ(channel->SaveChannelAsString(&text), S_OK);
    CZynGrowBuff records;
    ASSERT_EQ(UnpackString(text, records, CLSID_Chart, RecordKind::Channel), S_OK);
    CComPtr<CZynChannel> loaded = CZynChannel::Create();
    EXPECT_TRUE(records::ReadChannel(records, *loaded));
    EXPECT_EQ(records.GetReadRemaining(), 0u);
}

} // namespace
