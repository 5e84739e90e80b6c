#pragma once
// CounterInfo: what a dynamic channel knows of its performance counter: the path it was bound with,
// the path elements and explain text the counter library reports, the default display range, and
// the counter handle in the chart's query (removed with the info unless it came from a record).

#include "pdh/pdh.h"

#include <memory>
#include <string>
#include <string_view>

class CZynCounterInfo {
public:
    // Larger counter information is refused as implausible.
    static constexpr DWORD kMaxInfoBytes = 0x400000;

    // Reads the counter's information; an info that could not be read is kept, marked not valid.
    static std::unique_ptr<CZynCounterInfo> FromCounter(PDH_HCOUNTER counter, std::u16string_view path);
    // An info read from a record: marked loaded, not valid, without a counter handle.
    static std::unique_ptr<CZynCounterInfo> CreateLoaded();
    ~CZynCounterInfo();
    CZynCounterInfo(const CZynCounterInfo&) = delete;
    CZynCounterInfo& operator=(const CZynCounterInfo&) = delete;

    // The formatted value of the last collection, 0.0 when it is not valid; stored as the last value.
    double ReadValue();

    std::u16string path, machine, object, instance, parent, description, counterName;
    PDH_HCOUNTER counter = nullptr;
    double defaultScaleMax = 100.0;
    double defaultScaleMin = 0.0;
    double lastValue = 0.0;
    bool valid = false;
    bool loaded = false;

private:
    CZynCounterInfo() = default;
};

namespace zyn::obj {

// 100 scaled by ten to the power of minus the counter's default scale exponent.
double DefaultScaleMax(LONG exponent);
// "_Total" shows as "Total": leading underscores go while at least two characters remain.
std::u16string StripInstanceUnderscores(std::u16string_view instance);
// "Counter (Instance)", or the counter name alone without an instance.
std::u16string CounterDisplayText(std::u16string_view counterName, std::u16string_view instance);
// The units a counter's name suggests; `current` is kept when the name suggests none.
std::u16string UnitsFromCounterName(std::u16string_view counterName, std::u16string_view current);

} // namespace zyn::obj
