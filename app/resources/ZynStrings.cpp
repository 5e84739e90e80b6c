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
    {100, u"OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {50047, u"Name"},
    {50048, u"Min"},
    {50049, u"Max"},
    {50050, u"Avg"},
    {50069, u"Unable to find the channel you selected"},
    {50076, u"Color"},
    {50079, u"Would you like to apply these changes to all current windows?"},
    {50083, u"%ls has been deleted"},
    {50084, u"Autoscale done. Display range is Min=%ls Max=%ls"},
    {50086, u"Data collection has been paused."},
    {50087, u"Data collection has been resumed."},
    {50088, u"Chart\nReport"},
    {50090, u"day\nhour\nminute\nsecond\nmSec\ns"},
    {50099, u"Chart zoom is now %ls"},
    {50103, u"Counter"},
    {50104, u"Object"},
    {50105, u"Machine"},
    {50106, u"Last"},
    {50110, u"Error saving chart. Check to make sure there is enough free space on the disk or try saving the chart again in a different format."},
    {50111, u"Unable to open the chart file. Please make sure the file is the correct type and has not been damaged."},
    {50121, u"Are you sure that you want to delete this channel?\nAll of the data for this channel will be lost."},
    {50139, u"Auto-scale has determined that this channel already has optimal scaling values."},
    {50140, u"Add a channel~Click here to pick the counters this chart records."},
    {50167, u"Zoom~Click the arrow beside this button to choose how much time the chart shows."},
    {50168, u"Events~Mark a span of time on the chart with a named event."},
    {50169, u"More counters~Hold Shift while choosing Add Channel to see every counter the system offers."},
    {61708, u"Unable to remove the registration of the program."},
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
