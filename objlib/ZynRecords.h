#pragma once
// The saved form of charts and channels: a tree of tagged records (four-letter signature, version,
// fields in a fixed order) written into a CZynGrowBuff and packed into a byte-array VARIANT or a
// Base64 string. Chart files, the clipboard and scripts carry these blobs between programs, so every
// field is written byte for byte as older files hold it, and every reader treats its input as
// untrusted: it never reads outside the buffer, checks that the bytes a count announces are present
// before it reserves or loops, and stops at the first field it cannot read, keeping what it read.
//
// The writers expect nothing of their caller's locks beyond what they take themselves (the
// channel's lock list); the chart's writer and reader expect the caller to hold the chart's tree.

#include "objlib/ZynInterfaces.h"
#include "utils/ZynGrowBuff.h"

#include <cstdint>
#include <memory>

class CZynChannel;
class CZynChart;
class CZynCounterInfo;
class CZynDataSet;
class CZynEvent;

namespace zyn::obj::records {

// Signatures are four ASCII letters read as a little-endian u32.
inline constexpr std::uint32_t kSigChart = 0x74726843;   // "Chrt"
inline constexpr std::uint32_t kSigChannel = 0x6E616843; // "Chan"
inline constexpr std::uint32_t kSigDataSet = 0x61746144; // "Data"
inline constexpr std::uint32_t kSigInfo = 0x6F666E49;    // "Info"
inline constexpr std::uint32_t kSigTimes = 0x656D6954;   // "Time"
inline constexpr std::uint32_t kSigEvent = 0x746E7645;   // "Evnt"

inline constexpr std::uint32_t kChartVersion = 2;
inline constexpr std::uint32_t kChannelVersion = 1;
inline constexpr std::uint32_t kDataSetVersion = 1;
inline constexpr std::uint32_t kInfoVersion = 1;
inline constexpr std::uint32_t kEventVersion = 1;

// A stop date before this one (2004-11-28), including 0.0 for an event in progress, is saved as the
// time of saving.
inline constexpr double kEarliestStopDate = 38319.0;

// Each writer returns false only when memory runs out. Each reader returns false when the record
// is not what it claims (wrong signature, newer version: the latter with the error text on the
// thread's error object) or ends early; the object keeps the fields read before that point.

[[nodiscard]] bool WriteDataSet(CZynGrowBuff& out, CZynDataSet& data);
[[nodiscard]] bool ReadDataSet(CZynGrowBuff& in, CZynDataSet& data);

[[nodiscard]] bool WriteCounterInfo(CZynGrowBuff& out, const CZynCounterInfo& info);
// Null when the record ends early.
[[nodiscard]] std::unique_ptr<CZynCounterInfo> ReadCounterInfo(CZynGrowBuff& in);

// The channel's times, rebased so that its first value is at relative time 0.
[[nodiscard]] bool WriteTimes(CZynGrowBuff& out, CZynChannel& channel);
[[nodiscard]] bool ReadTimes(CZynGrowBuff& in, CZynChannel& channel);

// `withTimes`: a time record follows even for a dynamic or virtual channel (saving or copying a
// single channel). A static channel always carries its times.
[[nodiscard]] bool WriteChannel(CZynGrowBuff& out, CZynChannel& channel, bool withTimes);
[[nodiscard]] bool ReadChannel(CZynGrowBuff& in, CZynChannel& channel);

// `saveTime` stands in for the stop date of an event still in progress.
[[nodiscard]] bool WriteEvent(CZynGrowBuff& out, CZynEvent& event, double saveTime);
[[nodiscard]] bool ReadEvent(CZynGrowBuff& in, CZynEvent& event);

// The caller holds the chart's tree lock. Reading expects a new chart: its channels are created as
// the record announces them, loaded as static channels, and the chart restarts its clock when run.
[[nodiscard]] bool WriteChart(CZynGrowBuff& out, CZynChart& chart);
[[nodiscard]] bool ReadChart(CZynGrowBuff& in, CZynChart& chart);

} // namespace zyn::obj::records

namespace zyn::obj {

enum class RecordKind { Chart, Channel };

// Packs written records (compressed at level 3) into the caller's result. E_POINTER for a null
// result, E_OUTOFMEMORY when the packing cannot complete, else S_OK.
[[nodiscard]] HRESULT SaveToVariant(CZynGrowBuff& records, VARIANT* out);
[[nodiscard]] HRESULT SaveToString(CZynGrowBuff& records, BSTR* out);

// Unpacks a saved blob into `records`, ready to read from position 0. Failures are raised with
// `raiser` as the error source and the texts of the loading operation of `kind`.
[[nodiscard]] HRESULT UnpackVariant(const VARIANT& data, CZynGrowBuff& records, const CLSID& raiser,
                                    RecordKind kind);
[[nodiscard]] HRESULT UnpackString(BSTR text, CZynGrowBuff& records, const CLSID& raiser, RecordKind kind);

} // namespace zyn::obj
