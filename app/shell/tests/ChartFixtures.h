#pragma once
// Chart files made byte by byte, as the record format lays them out: charts whose samples are
// known exactly (a second apart, a fifth of a second apart, none), and the damaged forms a reader
// must not take for whole ones (records cut off part-way, start times that are not numbers).

#include <cstdint>
#include <string>
#include <vector>

namespace zyn::test::fixtures {

using Bytes = std::vector<std::uint8_t>;

struct ChannelRecipe {
    std::u16string name;
    std::vector<double> values; // one per time of the chart
};

struct ChartRecipe {
    std::u16string name;
    std::uint32_t rateMs = 1000;
    double start = 45000.5;              // 15 March 2023, noon
    std::vector<std::uint32_t> times;    // relative times in milliseconds
    std::vector<ChannelRecipe> channels; // saved as live channels on the chart's times
};

// `count` samples `stepMs` apart on `channels` channels; channel c's value i is c * 1000 + i.
ChartRecipe EvenChart(int channels, int count, std::uint32_t stepMs);

// The chart record as SaveChart writes it (before packing).
Bytes ChartRecord(const ChartRecipe& chart);
// Packed as SaveChart hands it out.
Bytes Pack(const Bytes& records);
// A version 3 chart file of packed chart bytes and the default settings record.
Bytes ChartFile(const Bytes& packedChart);
// All of it: the chart file of `chart`.
Bytes ChartFileOf(const ChartRecipe& chart);

bool WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

} // namespace zyn::test::fixtures
