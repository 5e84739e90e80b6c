#include "ZynRecords.h"

#include "ZynChannel.h"
#include "ZynChart.h"
#include "ZynCounterInfo.h"
#include "ZynDataSet.h"
#include "ZynErrors.h"
#include "ZynEvent.h"
#include "ZynLockList.h"
#include "ZynText.h"
#include "ZynTimeBase.h"

#include "utils/ZynTime.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zyn::obj::records {

namespace {

bool WriteU32(CZynGrowBuff& out, std::uint32_t v) {
    return out.Write(static_cast<unsigned long>(v));
}

bool ReadU32(CZynGrowBuff& in, std::uint32_t& v) {
    unsigned long read = 0;
    const bool ok = in.Read(read);
    v = static_cast<std::uint32_t>(read);
    return ok;
}

// The BSTR layout without making a BSTR: count, units, terminator; nothing but the count when empty.
bool WriteText(CZynGrowBuff& out, std::u16string_view text) {
    if (text.size() > 0x7FFFFFFE) return false;
    const auto n = static_cast<std::uint32_t>(text.size());
    if (!WriteU32(out, n)) return false;
    if (n == 0) return true;
    return out.Write(text.data(), 2ul * n) && out.Write(static_cast<unsigned short>(0));
}

// A count of 0 leaves `target` as it was, so that a loaded object keeps its default for the field.
bool ReadText(CZynGrowBuff& in, std::u16string& target) {
    const std::uint32_t before = in.GetReadPos();
    CComBSTR text;
    if (!in.Read(text)) return false;
    if (in.GetReadPos() - before > 4) target = text.View();
    return true;
}

bool Incompatible(const CLSID& source, std::uint32_t found, std::uint32_t expected) {
    RaiseError(source, E_FAIL,
               FormatText("Incompatible data format. Found version=%d Expected version=%d",
                          static_cast<int>(found), static_cast<int>(expected)));
    return false;
}

// Signature and version of a record that refuses newer versions. A wrong signature fails without
// a text: the caller may be probing what kind of record follows.
bool ReadHeader(CZynGrowBuff& in, std::uint32_t signature, std::uint32_t newestVersion, const CLSID& source) {
    std::uint32_t found = 0, version = 0;
    if (!ReadU32(in, found) || found != signature) return false;
    if (!ReadU32(in, version)) return false;
    if (version > newestVersion) return Incompatible(source, version, newestVersion);
    return true;
}

// Reads `n` values of T (little-endian, unaligned; the caller checked that they are there) and
// hands them to `use` in runs copied into an aligned block, so that a loader appends them in bulk
// rather than one by one. The read position moves on run by run, and a buffer read once gives back
// what has been read every megabyte or so.
template <typename T, typename Use> void ReadRuns(CZynGrowBuff& in, std::uint32_t n, Use use) {
    constexpr std::uint32_t kRun = 4096;
    constexpr std::uint32_t kRunsBetweenReleases = (1u << 20) / (kRun * sizeof(T));
    T run[kRun];
    std::uint32_t runs = 0;
    for (std::uint32_t done = 0; done < n;) {
        const std::uint32_t count = std::min(kRun, n - done);
        std::memcpy(run, in.GetBuffer() + in.GetReadPos(), std::size_t(count) * sizeof(T));
        in.SetReadPos(in.GetReadPos() + count * static_cast<std::uint32_t>(sizeof(T)));
        use(run, count);
        done += count;
        if (++runs % kRunsBetweenReleases == 0) in.ReleaseReadBytes();
    }
    in.ReleaseReadBytes();
}

// Whether `count` items of `itemBytes` each are still in the buffer: checked before anything is
// reserved for them, so that a forged count costs nothing.
bool Holds(const CZynGrowBuff& in, std::uint32_t count, std::uint32_t itemBytes) {
    return std::uint64_t(count) * itemBytes <= in.GetReadRemaining();
}

} // namespace

// The channel record needs the channel's private fields; this is the one place that touches them
// from outside the channel. Every member expects the caller to hold the channel's lock list.
struct ChannelFields {
    static bool Write(CZynGrowBuff& out, CZynChannel& c, bool withTimes);
    static bool ReadBody(CZynGrowBuff& in, CZynChannel& c);
    static bool WriteTimes(CZynGrowBuff& out, CZynChannel& c);
    static bool ReadTimes(CZynGrowBuff& in, CZynChannel& c);
};

bool ChannelFields::Write(CZynGrowBuff& out, CZynChannel& c, bool withTimes) {
    std::u16string name, comment, counter, units;
    {
        std::lock_guard guard(c.m_textGuard);
        name = c.m_name;
        comment = c.m_comment;
        counter = c.m_counter;
        units = c.m_units;
    }
    const ZynChannelType type = c.m_type.load();
    const bool times = withTimes || type == typeStatic;
    const CZynCounterInfo* info = c.m_info.get();
    return WriteU32(out, kSigChannel) && WriteU32(out, kChannelVersion) &&
           WriteU32(out, std::uint32_t(type)) && WriteText(out, name) && WriteText(out, comment) &&
           WriteText(out, counter) && WriteText(out, units) && out.Write(c.m_visible.load()) &&
           WriteU32(out, c.m_color.load()) && out.Write(long(c.m_width.load())) &&
           out.Write(c.m_scaleMin.load()) && out.Write(c.m_scaleMax.load()) &&
           WriteU32(out, static_cast<std::uint32_t>(c.m_offset)) && WriteDataSet(out, *c.m_data) &&
           out.Write(info != nullptr) && (!info || WriteCounterInfo(out, *info)) && out.Write(times) &&
           (!times || WriteTimes(out, c));
}

bool ChannelFields::ReadBody(CZynGrowBuff& in, CZynChannel& c) {
    std::uint32_t type = 0;
    if (!ReadU32(in, type)) return false;
    // Every loading path sets the type again afterwards; until then an unknown number must not
    // leave the channel with a type no other code expects.
    c.m_type.store(type >= typeDynamic && type <= typeVirtual ? ZynChannelType(type) : typeStatic);

    for (std::u16string CZynChannel::*field :
         {&CZynChannel::m_name, &CZynChannel::m_comment, &CZynChannel::m_counter, &CZynChannel::m_units}) {
        std::u16string text;
        {
            std::lock_guard guard(c.m_textGuard);
            text = c.*field;
        }
        if (!ReadText(in, text)) return false;
        std::lock_guard guard(c.m_textGuard);
        (c.*field).swap(text);
    }

    bool visible = true;
    std::uint32_t color = 0, offset = 0;
    long width = 0;
    double scaleMin = 0, scaleMax = 0;
    if (!in.Read(visible)) return false;
    c.m_visible.store(visible);
    if (!ReadU32(in, color)) return false;
    c.m_color.store(color);
    if (!in.Read(width)) return false;
    // The views draw with this width; the Width property guarantees 0 … 8 to everyone else too.
    c.m_width.store(width < 0 ? 0 : width > 8 ? 8 : LONG(width));
    if (!in.Read(scaleMin)) return false;
    c.m_scaleMin.store(scaleMin);
    if (!in.Read(scaleMax)) return false;
    c.m_scaleMax.store(scaleMax);
    if (!ReadU32(in, offset)) return false;
    c.m_offset = static_cast<LONG>(offset);

    // What follows a failed data set is not where the record says it is: stop rather than read on.
    if (!ReadDataSet(in, *c.m_data)) return false;

    bool hasInfo = false;
    if (!in.Read(hasInfo)) return false;
    if (hasInfo) {
        std::unique_ptr<CZynCounterInfo> info = ReadCounterInfo(in);
        if (!info) return false;
        c.m_info = std::move(info);
    }
    bool hasTimes = false;
    if (!in.Read(hasTimes)) return false;
    return !hasTimes || ReadTimes(in, c);
}

bool ChannelFields::WriteTimes(CZynGrowBuff& out, CZynChannel& c) {
    const std::uint32_t n = c.m_data->int_Count();
    if (!WriteU32(out, kSigTimes) || !WriteU32(out, 0) || !WriteU32(out, n)) return false;
    if (n == 0) return true;

    // A channel loaded from a forged record may claim an offset or more values than its time base
    // has entries: such values take the nearest entry instead of reading past the axis.
    const CZynTimeBase& axis = *c.m_timeBase;
    const std::int64_t entries = axis.GetCount();
    const std::int64_t first = c.m_offset;
    auto relAt = [&](std::int64_t entry) -> std::uint32_t {
        if (entries == 0) return 0;
        entry = entry < 0 ? 0 : entry >= entries ? entries - 1 : entry;
        return axis.GetRel(static_cast<std::uint32_t>(entry));
    };
    const std::uint32_t base = relAt(first);
    if (!out.Write(axis.GetStart() + double(base) * CZynTimeBase::kDaysPerMs)) return false;

    const std::uint64_t bytes = 4ull * n;
    if (std::uint64_t(out.GetSize()) + bytes > 0xFFFFFFFFull ||
        !out.SetCapacity(out.GetSize() + static_cast<std::uint32_t>(bytes)))
        return false;
    unsigned char* at = out.GetBuffer() + out.GetSize();
    if (first >= 0 && first + n <= entries) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t rel = axis.GetRel(static_cast<std::uint32_t>(first) + i) - base;
            std::memcpy(at + 4ull * i, &rel, 4);
        }
    } else {
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t rel = relAt(first + i) - base;
            std::memcpy(at + 4ull * i, &rel, 4);
        }
    }
    out.IncrementSize(static_cast<std::uint32_t>(bytes));
    return true;
}

bool ChannelFields::ReadTimes(CZynGrowBuff& in, CZynChannel& c) {
    std::uint32_t signature = 0, offset = 0, n = 0;
    if (!ReadU32(in, signature) || signature != kSigTimes) return false;
    if (!ReadU32(in, offset) || !ReadU32(in, n)) return false;
    double start = c.m_timeBase->GetStart();
    // The channel's times are replaced only by a complete record: a short one leaves them whole.
    if (n > 0 && (!in.Read(start) || !Holds(in, n, 4))) return false;

    CComPtr<CZynTimeBase> own = CZynTimeBase::Create();
    own->SetStart(start);
    if (!own->Reserve(n)) return false;
    ReadRuns<std::uint32_t>(in, n, [&](const std::uint32_t* run, std::uint32_t count) {
        (void)own->AppendRel(run, count); // reserved above
    });
    c.int_SetTimeBase(own);
    c.m_offset = static_cast<LONG>(offset);
    return true;
}

bool WriteDataSet(CZynGrowBuff& out, CZynDataSet& data) {
    CZynLockList locks;
    data.int_LockInto(locks);
    const CZynGrowArray<double>& raw = data.int_RawValues();
    const std::uint32_t n = raw.Count();
    return WriteU32(out, kSigDataSet) && WriteU32(out, kDataSetVersion) &&
           out.Write(data.int_SharesStores()) && WriteU32(out, data.int_DataMode()) && WriteU32(out, n) &&
           (n == 0 || out.Write(raw.Data(), 8ul * n));
}

bool ReadDataSet(CZynGrowBuff& in, CZynDataSet& data) {
    CZynLockList locks;
    data.int_LockInto(locks);
    if (!ReadHeader(in, kSigDataSet, kDataSetVersion, CLSID_DataSet)) return false;
    bool unedited = false; // informative only: edits are never saved
    std::uint32_t mode = 0, n = 0;
    if (!in.Read(unedited) || !ReadU32(in, mode)) return false;
    data.int_SetDataMode(mode);
    data.int_SetWriteState(mode);
    data.int_ShareRawValues();
    if (!ReadU32(in, n) || !Holds(in, n, 8) || !data.int_Reserve(n)) return false;

    // Through the append path, so that the statistics and change bits are those of a recording, in
    // runs copied out of the (unaligned) record bytes; the room was reserved above.
    ReadRuns<double>(in, n,
                     [&](const double* run, std::uint32_t count) { (void)data.int_Append(run, count); });
    return true;
}

bool WriteCounterInfo(CZynGrowBuff& out, const CZynCounterInfo& info) {
    return WriteU32(out, kSigInfo) && WriteU32(out, kInfoVersion) && WriteText(out, info.path) &&
           WriteText(out, info.machine) && WriteText(out, info.object) && WriteText(out, info.instance) &&
           WriteText(out, info.parent) && WriteText(out, info.description) &&
           WriteText(out, info.counterName) && out.Write(info.defaultScaleMin) &&
           out.Write(info.defaultScaleMax);
}

std::unique_ptr<CZynCounterInfo> ReadCounterInfo(CZynGrowBuff& in) {
    // Older writers are trusted with the signature and version of this record: they are not checked.
    std::uint32_t signature = 0, version = 0;
    std::unique_ptr<CZynCounterInfo> info = CZynCounterInfo::CreateLoaded();
    const bool ok = ReadU32(in, signature) && ReadU32(in, version) && ReadText(in, info->path) &&
                    ReadText(in, info->machine) && ReadText(in, info->object) &&
                    ReadText(in, info->instance) && ReadText(in, info->parent) &&
                    ReadText(in, info->description) && ReadText(in, info->counterName) &&
                    in.Read(info->defaultScaleMin) && in.Read(info->defaultScaleMax);
    if (!ok) return nullptr;
    return info;
}

bool WriteTimes(CZynGrowBuff& out, CZynChannel& channel) {
    CZynLockList locks;
    channel.int_LockInto(locks);
    return ChannelFields::WriteTimes(out, channel);
}

bool ReadTimes(CZynGrowBuff& in, CZynChannel& channel) {
    CZynLockList locks;
    channel.int_LockInto(locks);
    return ChannelFields::ReadTimes(in, channel);
}

bool WriteChannel(CZynGrowBuff& out, CZynChannel& channel, bool withTimes) {
    CZynLockList locks;
    channel.int_LockInto(locks);
    return ChannelFields::Write(out, channel, withTimes);
}

bool ReadChannel(CZynGrowBuff& in, CZynChannel& channel) {
    bool ok = false;
    {
        CZynLockList locks;
        channel.int_LockInto(locks);
        if (!ReadHeader(in, kSigChannel, kChannelVersion, CLSID_Channel)) return false;
        ok = ChannelFields::ReadBody(in, channel);
    }
    // Whatever was read has replaced the channel's fields, also when the record ended early.
    channel.int_Raise(CZynChannel::kChangedLoaded);
    return ok;
}

bool WriteEvent(CZynGrowBuff& out, CZynEvent& event, double saveTime) {
    double stop = event.StopDate();
    if (stop < kEarliestStopDate) stop = saveTime;
    return WriteU32(out, kSigEvent) && WriteU32(out, kEventVersion) && out.Write(event.StartDate()) &&
           out.Write(stop) && WriteText(out, event.Name()) && WriteText(out, event.Comment());
}

bool ReadEvent(CZynGrowBuff& in, CZynEvent& event) {
    std::uint32_t signature = 0, version = 0;
    if (!ReadU32(in, signature) || signature != kSigEvent) {
        RaiseError(CLSID_Event, E_FAIL,
                   FormatText("Invalid signature Found=0x%x Expected=0x%x", signature, unsigned(kSigEvent)));
        return false;
    }
    if (!ReadU32(in, version)) return false;
    if (version > kEventVersion) return Incompatible(CLSID_Event, version, kEventVersion);
    double start = event.StartDate(), stop = event.StopDate();
    std::u16string name = event.Name(), comment = event.Comment();
    const bool ok = in.Read(start) && in.Read(stop) && ReadText(in, name) && ReadText(in, comment);
    event.Restore(start, stop, name, comment);
    return ok;
}

namespace {

// Whether the next bytes are the signature of a record: a count that promises more records than
// follow must not make objects for them.
bool RecordFollows(const CZynGrowBuff& in, std::uint32_t signature) {
    if (in.GetReadRemaining() < 4) return false;
    std::uint32_t found;
    std::memcpy(&found, in.GetBuffer() + in.GetReadPos(), 4);
    return found == signature;
}

} // namespace

bool WriteChart(CZynGrowBuff& out, CZynChart& chart) {
    const CZynTimeBase& axis = *chart.int_TimeBase();
    const std::uint32_t n = axis.GetCount();
    if (!WriteU32(out, kSigChart) || !WriteU32(out, kChartVersion) || !WriteText(out, chart.int_Name()) ||
        !WriteText(out, chart.int_Comment()) ||
        !WriteU32(out, static_cast<std::uint32_t>(chart.int_Rate())) || !WriteU32(out, n))
        return false;
    if (n > 0) {
        const std::uint64_t bytes = 4ull * n;
        if (!out.Write(axis.GetStart()) || std::uint64_t(out.GetSize()) + bytes > 0xFFFFFFFFull ||
            !out.SetCapacity(out.GetSize() + static_cast<std::uint32_t>(bytes)))
            return false;
        unsigned char* at = out.GetBuffer() + out.GetSize();
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t rel = axis.GetRel(i);
            std::memcpy(at + 4ull * i, &rel, 4);
        }
        out.IncrementSize(static_cast<std::uint32_t>(bytes));
    }

    const std::vector<CComPtr<CZynChannel>> channels = chart.int_Channels();
    if (!WriteU32(out, static_cast<std::uint32_t>(channels.size()))) return false;
    for (CZynChannel* channel : channels)
        if (!WriteChannel(out, *channel, false)) return false;

    const std::vector<CComPtr<CZynEvent>> events = chart.int_Events();
    const double saveTime = GetTimeAsDouble(nullptr);
    if (!WriteU32(out, static_cast<std::uint32_t>(events.size()))) return false;
    for (CZynEvent* event : events)
        if (!WriteEvent(out, *event, saveTime)) return false;
    return true;
}

bool ReadChart(CZynGrowBuff& in, CZynChart& chart) {
    std::uint32_t signature = 0, version = 0;
    if (!ReadU32(in, signature) || signature != kSigChart) return false;
    if (!ReadU32(in, version)) return false;
    if (version > kChartVersion) return Incompatible(CLSID_Chart, version, kChartVersion);
    // Whatever part of the record is read, the loaded times are the past: a run starts a new clock.
    chart.int_SetRestartPending();

    std::u16string name, comment;
    std::uint32_t rate = 0;
    const bool header = ReadText(in, name) && ReadText(in, comment) && ReadU32(in, rate);
    // A rate outside what the Rate property allows would make the sampling thread spin (0) or
    // never wake (negative): a forged record gets the nearest rate the chart can run at.
    const LONG runnable = header
                              ? std::clamp(static_cast<LONG>(rate), CZynChart::kMinRate, CZynChart::kMaxRate)
                              : chart.int_Rate();
    chart.int_SetLoaded(name, comment, runnable);
    if (!header) return false;

    std::uint32_t entries = 0;
    if (!ReadU32(in, entries)) return false;
    if (entries > 0) {
        double start = 0;
        if (!in.Read(start) || !Holds(in, entries, 4)) return false;
        CZynTimeBase& axis = *chart.int_TimeBase();
        if (!axis.Reserve(entries)) return false;
        axis.SetStart(start);
        ReadRuns<std::uint32_t>(in, entries, [&](const std::uint32_t* run, std::uint32_t count) {
            (void)axis.AppendRel(run, count); // reserved above
        });
    }

    std::uint32_t channels = 0;
    if (!ReadU32(in, channels)) return false;
    for (std::uint32_t i = 0; i < channels; ++i) {
        if (!RecordFollows(in, kSigChannel)) return false;
        CComPtr<CZynChannel> channel = chart.int_CreateChannel();
        const bool read = ReadChannel(in, *channel);
        {
            // Loaded channels are static: each keeps a copy of the times it was read with.
            CZynLockList locks;
            channel->int_LockInto(locks);
            (void)channel->int_SetType(typeStatic);
        }
        // What follows a failed channel is not where the record says: the chart keeps what it has.
        if (!read) return false;
    }

    if (version >= 2) {
        std::uint32_t events = 0;
        if (!ReadU32(in, events)) return false;
        for (std::uint32_t i = 0; i < events; ++i) {
            CComPtr<CZynEvent> event = chart.int_CreateEvent();
            if (!ReadEvent(in, *event)) return false;
            chart.int_AppendEvent(event);
        }
    }
    return true;
}

} // namespace zyn::obj::records

namespace zyn::obj {

HRESULT SaveToVariant(CZynGrowBuff& records, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out); // an out parameter holds nothing of the caller's to clear
    if (!records.Compress(3) || !records.ToVariant(out)) return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT SaveToString(CZynGrowBuff& records, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComBSTR text;
    if (!records.Compress(3) || records.Encode64() == 0 || !records.ToString(text)) return E_OUTOFMEMORY;
    *out = text.Detach();
    return S_OK;
}

namespace {

HRESULT UnpackFailed(const CLSID& raiser, RecordKind kind) {
    return RaiseError(raiser, E_FAIL,
                      kind == RecordKind::Chart ? u"Error loading chart" : u"Error loading channel");
}

} // namespace

HRESULT UnpackVariant(const VARIANT& data, CZynGrowBuff& records, const CLSID& raiser, RecordKind kind) {
    // Byte arrays pass this test (and, as ever, a few other element types that the unpacking refuses).
    if (!(data.vt & VT_ARRAY) || !((data.vt & VT_TYPEMASK) & 0x11))
        return RaiseError(raiser, E_INVALIDARG,
                          kind == RecordKind::Chart ? u"Error loading chart: Unrecognized data type"
                                                    : u"Unable to load channel from unrecognized data type");
    // Unpacked from the caller's bytes: a copy of a large blob would only add to the peak.
    if (!records.UnpackFromVariant(&data)) return UnpackFailed(raiser, kind);
    records.SetReadPos(0);
    return S_OK;
}

HRESULT UnpackString(BSTR text, CZynGrowBuff& records, const CLSID& raiser, RecordKind kind) {
    if (kind == RecordKind::Channel && SysStringLen(text) == 0)
        return RaiseError(raiser, E_INVALIDARG, u"Unable to load channel from empty string");
    // Borrow the caller's string rather than copy what may be many megabytes of text.
    CComBSTR borrowed;
    borrowed.m_str = text;
    const bool ok =
        records.FromString(borrowed) && records.Decode64() && records.IsCompressed() && records.Decompress();
    borrowed.Detach();
    if (!ok) return UnpackFailed(raiser, kind);
    records.SetReadPos(0);
    return S_OK;
}

} // namespace zyn::obj
