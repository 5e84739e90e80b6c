#include "ZynCounterInfo.h"

#include <cwctype>
#include <vector>

namespace {

std::u16string Text(const char16_t* s) {
    return s ? std::u16string(s) : std::u16string();
}

bool IsLetterOrDigit(char16_t c) {
    if (c < 0x80) return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    return std::iswalnum(static_cast<wint_t>(c)) != 0;
}

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

} // namespace

namespace zyn::obj {

double DefaultScaleMax(LONG exponent) {
    // Beyond a few hundred steps the result is 0 or infinite anyway; a corrupt exponent must not
    // spin for billions of them.
    if (exponent > 400) exponent = 400;
    if (exponent < -400) exponent = -400;
    double scale = 100.0;
    for (LONG d = exponent; d > 0; --d)
        scale *= 0.1;
    for (LONG d = exponent; d < 0; ++d)
        scale *= 10.0;
    return scale;
}

std::u16string StripInstanceUnderscores(std::u16string_view instance) {
    while (instance.size() >= 2 && instance.front() == u'_')
        instance.remove_prefix(1);
    return std::u16string(instance);
}

std::u16string CounterDisplayText(std::u16string_view counterName, std::u16string_view instance) {
    std::u16string text(counterName);
    if (!instance.empty()) {
        text += u" (";
        text += instance;
        text += u')';
    }
    return text;
}

std::u16string UnitsFromCounterName(std::u16string_view name, std::u16string_view current) {
    if (name.size() > 510) return std::u16string(current);
    std::u16string lower(name);
    for (char16_t& c : lower)
        c = Lower(c);
    static constexpr struct {
        std::u16string_view contains, units;
    } kRules[] = {{u"%", u"%"},        {u"mbyte", u"MBytes"}, {u"kbyte", u"KBytes"},
                  {u"byte", u"Bytes"}, {u" read", u"Reads"},  {u" write", u"Writes"}};
    for (const auto& rule : kRules)
        if (lower.find(rule.contains) != std::u16string::npos) return std::u16string(rule.units);
    if (!current.empty()) return std::u16string(current);

    // The word before the first separator: "Pages/sec" is counted in Pages.
    std::size_t sep = name.find(u'\\');
    if (sep == std::u16string_view::npos) sep = name.find(u'/');
    if (sep == std::u16string_view::npos) return {};
    std::size_t end = sep;
    while (end > 0 && !IsLetterOrDigit(name[end - 1]))
        --end;
    std::size_t begin = end;
    while (begin > 0 && IsLetterOrDigit(name[begin - 1]))
        --begin;
    if (end - begin < 2) return {};
    return std::u16string(name.substr(begin, end - begin));
}

} // namespace zyn::obj

std::unique_ptr<CZynCounterInfo> CZynCounterInfo::FromCounter(PDH_HCOUNTER counter,
                                                              std::u16string_view path) {
    std::unique_ptr<CZynCounterInfo> info(new CZynCounterInfo);
    info->path = path;
    info->counter = counter;

    DWORD size = 0;
    PdhGetCounterInfoW(counter, TRUE, &size, nullptr);
    if (size == 0 || size > kMaxInfoBytes) return info;
    // Room for the announced size and a little more, aligned for the structure.
    std::vector<std::uint64_t> block((std::size_t(size) + 16 + 7) / 8);
    auto* data = reinterpret_cast<PDH_COUNTER_INFO_W*>(block.data());
    DWORD given = size;
    if (PdhGetCounterInfoW(counter, TRUE, &given, data) != ERROR_SUCCESS) return info;

    info->machine = Text(data->CounterPath.szMachineName);
    info->object = Text(data->CounterPath.szObjectName);
    info->instance = zyn::obj::StripInstanceUnderscores(Text(data->CounterPath.szInstanceName));
    info->parent = Text(data->CounterPath.szParentInstance);
    info->description = Text(data->szExplainText);
    info->counterName = Text(data->CounterPath.szCounterName);
    info->defaultScaleMax = zyn::obj::DefaultScaleMax(data->lDefaultScale);
    info->valid = true;
    return info;
}

std::unique_ptr<CZynCounterInfo> CZynCounterInfo::CreateLoaded() {
    std::unique_ptr<CZynCounterInfo> info(new CZynCounterInfo);
    info->loaded = true;
    return info;
}

CZynCounterInfo::~CZynCounterInfo() {
    if (counter && !loaded) PdhRemoveCounter(counter);
}

double CZynCounterInfo::ReadValue() {
    PDH_FMT_COUNTERVALUE value{};
    const PDH_STATUS status =
        PdhGetFormattedCounterValue(counter, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE, nullptr, &value);
    const bool good = status == ERROR_SUCCESS && (value.CStatus == DWORD(PDH_CSTATUS_VALID_DATA) ||
                                                  value.CStatus == DWORD(PDH_CSTATUS_NEW_DATA));
    lastValue = good ? value.doubleValue : 0.0;
    return lastValue;
}
