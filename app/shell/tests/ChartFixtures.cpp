#include "ChartFixtures.h"

#include "display/ChartSettings.h"
#include "exchange/ChartFile.h"
#include "utils/ZynGrowBuff.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace zyn::test::fixtures {
namespace {

class RecordWriter {
public:
    explicit RecordWriter(Bytes& out) : m_out(out) {}
    void U32(std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8)
            m_out.push_back(std::uint8_t(v >> shift));
    }
    void Double(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int shift = 0; shift < 64; shift += 8)
            m_out.push_back(std::uint8_t(bits >> shift));
    }
    void Bool(bool v) { m_out.push_back(v ? 1 : 0); }
    void String(const std::u16string& s) {
        U32(std::uint32_t(s.size()));
        if (s.empty()) return;
        for (char16_t c : s) {
            m_out.push_back(std::uint8_t(c));
            m_out.push_back(std::uint8_t(c >> 8));
        }
        m_out.push_back(0);
        m_out.push_back(0);
    }

private:
    Bytes& m_out;
};

} // namespace

ChartRecipe EvenChart(int channels, int count, std::uint32_t stepMs) {
    ChartRecipe chart;
    chart.rateMs = stepMs;
    for (int i = 0; i < count; ++i)
        chart.times.push_back(std::uint32_t(i) * stepMs);
    for (int c = 0; c < channels; ++c) {
        ChannelRecipe channel;
        channel.name = u"Channel " + std::u16string(1, char16_t(u'A' + c));
        for (int i = 0; i < count; ++i)
            channel.values.push_back(c * 1000.0 + i);
        chart.channels.push_back(channel);
    }
    return chart;
}

Bytes ChartRecord(const ChartRecipe& chart) {
    Bytes out;
    RecordWriter w(out);
    w.U32(0x74726843); // Chrt
    w.U32(2);
    w.String(chart.name);
    w.String(u"");
    w.U32(chart.rateMs);
    w.U32(std::uint32_t(chart.times.size()));
    if (!chart.times.empty()) {
        w.Double(chart.start);
        for (std::uint32_t t : chart.times)
            w.U32(t);
    }
    w.U32(std::uint32_t(chart.channels.size()));
    for (const ChannelRecipe& c : chart.channels) {
        w.U32(0x6E616843); // Chan
        w.U32(1);
        w.U32(1); // a live channel: its values sit on the chart's times
        w.String(c.name);
        w.String(u"");
        w.String(u"\\Fixture\\Value");
        w.String(u"");
        w.Bool(true);
        w.U32(0x0000FF);
        w.U32(1);
        w.Double(0.0);
        w.Double(10000.0);
        w.U32(0);
        w.U32(0x61746144); // Data
        w.U32(1);
        w.Bool(true);
        w.U32(3);
        w.U32(std::uint32_t(c.values.size()));
        for (double v : c.values)
            w.Double(v);
        w.Bool(false); // no counter information
        w.Bool(false); // the chart's times
    }
    w.U32(0); // no events
    return out;
}

Bytes Pack(const Bytes& records) {
    CZynGrowBuff buffer;
    if (!records.empty()) buffer.Write(records.data(), static_cast<unsigned long>(records.size()));
    if (!buffer.Compress(3)) return {};
    return Bytes(buffer.GetBuffer(), buffer.GetBuffer() + buffer.GetSize());
}

Bytes ChartFile(const Bytes& packedChart) {
    const ChartSettingsBytes settings = WriteChartSettings(ChartSettings{});
    return zyn::chartfile::ComposeChartFile(packedChart, settings);
}

Bytes ChartFileOf(const ChartRecipe& chart) {
    return ChartFile(Pack(ChartRecord(chart)));
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace zyn::test::fixtures
