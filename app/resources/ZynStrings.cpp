#include "ZynStrings.h"

#include <algorithm>
#include <iterator>

namespace {

struct ZynStringEntry {
    int id;
    const char16_t* text;
};

// Sorted by number; add new entries in order (a test checks the order).
constexpr ZynStringEntry kZynStrings[] = {
    {50090, u"day\nhour\nminute\nsecond\nmSec\ns"},
    {50099, u"Chart zoom is now %ls"},
};

} // namespace

QString LoadZynString(int id) {
    const auto* end = std::end(kZynStrings);
    const auto* it = std::lower_bound(std::begin(kZynStrings), end, id,
                                      [](const ZynStringEntry& e, int key) { return e.id < key; });
    if (it == end || it->id != id) return {};
    return QString::fromUtf16(it->text);
}

bool ZynStringTableIsSorted() {
    return std::is_sorted(std::begin(kZynStrings), std::end(kZynStrings),
                          [](const ZynStringEntry& a, const ZynStringEntry& b) { return a.id < b.id; }) &&
           std::adjacent_find(std::begin(kZynStrings), std::end(kZynStrings),
                              [](const ZynStringEntry& a, const ZynStringEntry& b) { return a.id == b.id; }) ==
               std::end(kZynStrings);
}
