#pragma once
// The chart file (".tlon"): a small archive that wraps a chart object's saved form and the
// document's 324-byte settings record. Every integer is an unsigned 32-bit little-endian value:
//
//   version (3; 1 and 2 still read) | "Zyn " signature (version > 2) | chart length n | n chart
//   bytes | settings length m | m settings bytes (version > 1)
//
// This layer knows bytes only, so that it can be fuzzed and used without a window; the document
// turns the settings bytes into its record.

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zyn::chartfile {

inline constexpr std::uint32_t kCurrentVersion = 3;
inline constexpr std::uint32_t kSignature = 0x206E795A; // "Zyn "
inline constexpr std::uint32_t kSettingsBytes = 324;
// Files are read whole; a chart file larger than this is refused before anything is allocated.
inline constexpr std::uint64_t kMaxFileBytes = 1ull << 31;

enum class ChartFileError {
    None,
    Truncated,       // the file ends inside a field
    BadVersion,      // version 0 or above 3
    BadSignature,    // version 3 without "Zyn "
    ShortChart,      // fewer chart bytes than announced
    SettingsTooLong, // a settings part longer than the record
    TooLarge,        // the file exceeds kMaxFileBytes
    Unreadable,      // the file could not be opened or read
};

// A parsed chart file; the spans point into the caller's bytes.
struct ChartFileParts {
    std::uint32_t version = 0;
    std::span<const std::uint8_t> chart;
    bool hasSettings = false;
    std::span<const std::uint8_t> settings; // at most 324 bytes
};

// What is wrong with a file, in the words a user reads ("the file ends too early").
std::string_view DescribeChartFileError(ChartFileError error);

// Checks the whole structure before anything is used, so that a malformed file changes nothing.
[[nodiscard]] ChartFileError ParseChartFile(std::span<const std::uint8_t> file, ChartFileParts& out);

// A version 3 file of the chart bytes and the 324-byte settings record.
std::vector<std::uint8_t> ComposeChartFile(std::span<const std::uint8_t> chart,
                                           std::span<const std::uint8_t, kSettingsBytes> settings);

// The chart's saved form as bytes (SaveChart, then the byte-array value unpacked). False when the
// chart cannot produce it.
[[nodiscard]] bool SaveChartBytes(IZynChart* chart, std::vector<std::uint8_t>& out);

// The chart the application object loads from saved bytes, or null. A chart whose records could
// be read only in part still comes back (the application object keeps what it read); `partial`
// then gets the reason, and is emptied otherwise.
CComPtr<IZynChart> LoadChartBytes(IZynApp* app, std::span<const std::uint8_t> bytes,
                                  std::string* partial = nullptr);

// Whether every time of the chart is a date (its start, each channel's first and last sample):
// a forged start that is not a number or lies beyond the calendar would turn every sample time
// into nothing. False with the reason.
[[nodiscard]] bool ChartTimesAreDates(IZynChart* chart, std::string* why = nullptr);

// The name a saved chart takes from its file: the file name without folder and without
// everything from its last "."; empty when nothing is left.
std::u16string ChartNameFromPath(const std::string& path);

// The message number for a chart file that cannot be opened (50111) and saved (50110).
inline constexpr int kOpenFailedMessage = 50111;
inline constexpr int kSaveFailedMessage = 50110;

} // namespace zyn::chartfile
