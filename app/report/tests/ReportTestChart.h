#pragma once
// Charts with known contents for report tests, written as the object library's chart record and
// loaded through the application object, so that every fact the report reads is fixed: times,
// values, counter path elements, units, events with set start and stop times.

#include "com/ccombstr.h"
#include "com/unknown.h"
#include "com/variant.h"
#include "objlib/ZynInterfaces.h"
#include "utils/ZynGrowBuff.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Readable failures for Qt's texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << "[\n";
    for (const QString& s : l)
        *os << "  \"" << s.toStdString() << "\"\n";
    *os << "]";
}

namespace reporttest {

inline constexpr double kSecond = 1.0 / 86400;
// 15 March 2023 12:00:00
inline constexpr double kStart = 45000.5;

struct Counter {
    std::u16string path, machine, object, instance, parent, description, name;
};

struct Channel {
    std::u16string name;
    std::u16string comment;
    std::u16string counter; // the display name
    std::u16string units;
    bool visible = true;
    double scaleMin = 0.0, scaleMax = 100.0;
    std::vector<double> values; // on the chart's time base from its first entry
    Counter info;
};

struct Event {
    std::u16string name, comment;
    double start = 0.0, stop = 0.0; // stop 0: still running
};

struct Chart {
    std::u16string name = u"Test chart";
    std::u16string comment;
    std::uint32_t rate = 1000;
    double start = kStart;
    std::vector<std::uint32_t> times; // milliseconds after the start
    std::vector<Channel> channels;
    std::vector<Event> events;
};

inline void WriteU32(CZynGrowBuff& b, std::uint32_t v) {
    b.Write(static_cast<unsigned long>(v));
}

inline void WriteChannel(CZynGrowBuff& b, const Channel& c) {
    WriteU32(b, 0x6E616843); // Chan
    WriteU32(b, 1);
    WriteU32(b, 1); // dynamic: it takes the chart's times and is made static on loading
    b.Write(c.name.c_str());
    b.Write(c.comment.c_str());
    b.Write(c.counter.c_str());
    b.Write(c.units.c_str());
    b.Write(c.visible);
    WriteU32(b, 0x0000FF);
    b.Write(long(1));
    b.Write(c.scaleMin);
    b.Write(c.scaleMax);
    WriteU32(b, 0);          // offset in the time base
    WriteU32(b, 0x61746144); // Data
    WriteU32(b, 1);
    b.Write(true);
    WriteU32(b, 3);
    WriteU32(b, std::uint32_t(c.values.size()));
    for (double v : c.values)
        b.Write(v);
    b.Write(true);
    WriteU32(b, 0x6F666E49); // Info
    WriteU32(b, 1);
    for (const std::u16string* s : {&c.info.path, &c.info.machine, &c.info.object, &c.info.instance,
                                    &c.info.parent, &c.info.description, &c.info.name})
        b.Write(s->c_str());
    b.Write(c.scaleMin);
    b.Write(c.scaleMax);
    b.Write(false); // no times of its own
}

// The packed chart record, as a chart file or the clipboard carries it.
inline std::vector<std::uint8_t> ChartBytes(const Chart& chart) {
    CZynGrowBuff b;
    WriteU32(b, 0x74726843); // Chrt
    WriteU32(b, 2);
    b.Write(chart.name.c_str());
    b.Write(chart.comment.c_str());
    WriteU32(b, chart.rate);
    WriteU32(b, std::uint32_t(chart.times.size()));
    if (!chart.times.empty()) {
        b.Write(chart.start);
        for (std::uint32_t t : chart.times)
            WriteU32(b, t);
    }
    WriteU32(b, std::uint32_t(chart.channels.size()));
    for (const Channel& c : chart.channels)
        WriteChannel(b, c);
    WriteU32(b, std::uint32_t(chart.events.size()));
    for (const Event& e : chart.events) {
        WriteU32(b, 0x746E7645); // Evnt
        WriteU32(b, 1);
        b.Write(e.start);
        b.Write(e.stop);
        b.Write(e.name.c_str());
        b.Write(e.comment.c_str());
    }
    b.Compress(3);
    const unsigned char* p = b.GetBuffer();
    return std::vector<std::uint8_t>(p, p + b.GetSize());
}

inline CComPtr<IZynChart> LoadChart(IZynApp* app, const Chart& chart) {
    const std::vector<std::uint8_t> bytes = ChartBytes(chart);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(array->pvData));
    CComVariant value;
    value.vt = VT_ARRAY | VT_UI1;
    value.parray = array;
    CComPtr<IZynChart> loaded;
    if (!app || FAILED(app->LoadChart(value, &loaded))) return {};
    return loaded;
}

// One time-base entry per second: 0 .. n - 1 seconds.
inline std::vector<std::uint32_t> Seconds(int n) {
    std::vector<std::uint32_t> t;
    t.reserve(std::size_t(n > 0 ? n : 0));
    for (int i = 0; i < n; ++i)
        t.push_back(std::uint32_t(i) * 1000);
    return t;
}

// Five seconds of one channel without an instance (its row has a label and no value) and one event
// over seconds 1 to 3.
inline Chart SmallChart(std::u16string name = u"Small") {
    Chart c;
    c.name = std::move(name);
    c.times = Seconds(5);
    c.channels.push_back({u"Load",
                          u"",
                          u"Load counter",
                          u"%",
                          true,
                          0,
                          100,
                          {1, 5, 3, 4, 2},
                          {u"\\Load", u"", u"Load", u"", u"", u"How busy", u"Load"}});
    c.events.push_back({u"Peak", u"", kStart + 1 * kSecond, kStart + 3 * kSecond});
    return c;
}

} // namespace reporttest
