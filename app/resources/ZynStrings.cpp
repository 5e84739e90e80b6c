#include "ZynStrings.h"

#include "utils/ZynVersion.h"

#include <algorithm>
#include <iterator>

namespace {

struct ZynStringEntry {
    int id;
    const char16_t* text;
};

// Sorted by number; add new entries in order (a test checks the order). A command's entry is
// "prompt\ntip": the status-bar prompt and the tool tip of its menu items and buttons.
constexpr ZynStringEntry kZynStrings[] = {
    {100, u"OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {32771, u"Display the chart properties dialog"},
    {32773, u"Add a new channel to the chart\nAdd channel"},
    {32780, u"Save the chart as a script\nSave as Script"},
    {32781, u"Save all charts as one script\nSave All as Script"},
    {32784, u"Take a data sample\nSample data"},
    {32785, u"Pause the chart\nPause"},
    {32787, u"Refresh the report with current data\nRefresh"},
    {32788, u"Clear the Chart\nClear Chart"},
    {32789, u"Zoom to this scale"},
    {32796, u"Refresh the chart\nRefresh"},
    {32797, u"Change the Zoom level\nZoom"},
    {32798, u"Zoom to see all of the data\nZoom All"},
    {32802, u"Display the report properties dialog\nReport Properties"},
    {32803, u"Auto scroll the chart when needed\nAuto scroll"},
    {32806, u"Set the Y-Axis to the selected channel\nAuto axis"},
    {32808, u"Add a new event to this chart\nAdd Event"},
    {32810, u"Stop this event\nStop Event"},
    {32812, u"This will  clear all of the channels and rerun the chart.\nAre you sure you want to conitnue?"},
    {33004, u"Rerun the chart with the same channels\nRerun chart"},
    {50047, u"Name"},
    {50048, u"Min"},
    {50049, u"Max"},
    {50050, u"Avg"},
    {50051, u"Select either a .js or .vbs extension for the script."},
    {50052, u"Save Script As"},
    {50069, u"Unable to find the channel you selected"},
    {50074, u"More Colors..."},
    {50076, u"Color"},
    {50079, u"Would you like to apply these changes to all current windows?"},
    {50082, u"Changes not saved. Reverting to previous settings."},
    {50083, u"%ls has been deleted"},
    {50084, u"Autoscale done. Display range is Min=%ls Max=%ls"},
    {50085, u"A data sample has been taken."},
    {50086, u"Data collection has been paused."},
    {50087, u"Data collection has been resumed."},
    {50088, u"Chart\nReport"},
    {50090, u"day\nhour\nminute\nsecond\nmSec\ns"},
    {50096, u"Report Properties"},
    {50097, u"Black\nWhite\nJust Peachy\nHoney Dew\nChocolate\nKhaki\nSea Green\nLemon Chiffon\nMidnight\n"
            u"Cornflower Blue\nIvory\nMidnight\nNone (Windows Default)\nCustom (Double click to Edit)"},
    {50098,
     u"Black\nWhite\nBurl Wood\nDark Gray\nSlate Gray\nKhaki\nSea Green\nMaroon\nMidnight\nOlive Green\n"
     u"Orange\nPlum\nNone - Windows Default\nCustom  (Double click to Edit)"},
    {50099, u"Chart zoom is now %ls"},
    {50100, u"The chart has been cleared."},
    {50101, u"Unable to validate the counter you attempted to add."},
    {50102, u"Are you sure that you want to clear this chart?\nAll data will be erased."},
    {50103, u"Counter"},
    {50104, u"Object"},
    {50105, u"Machine"},
    {50106, u"Last"},
    {50107, u"Added counter %ls"},
    {50108, u"Failed to load the report template"},
    {50109, u"Applying configuration changes"},
    {50110, u"Error saving chart. Check to make sure there is enough free space on the disk or try saving "
            u"the chart again in a different format."},
    {50111, u"Unable to open the chart file. Please make sure the file is the correct type and has not been "
            u"damaged."},
    {50112, u"Enter any notes or comments for this chart here.\r\n\r\nYour notes will be saved with the "
            u"chart and will be "
            u"included as part of the report."},
    {50113, u"Auto-scroll is enabled"},
    {50114, u"Auto-scroll is now disabled."},
    {50115, u"&Copy\tCtrl+C"},
    {50116, u"Cu&t\tCtrl+X"},
    {50117, u"&Paste\tCtrl+V"},
    {50118, u"Error pasting clipboard data. The data is no longer available."},
    {50119, u"%ls has been pasted in to this chart."},
    {50120, u"%ls is inserted in to the clipboard."},
    {50121,
     u"Are you sure that you want to delete this channel?\nAll of the data for this channel will be lost."},
    {50122, u"Unable to paste CSV data. The data may not be in the proper format or is in a format that is "
            u"not recognized."},
    {50124, u"Data from the clipboard was successfully pasted."},
    {50125, u"External data was successfully imported."},
    {50127, u"Report has been placed in to the Clipboard."},
    {50128, u"Page %d of %d"},
    {50129, u"%ls has been stopped."},
    {50130, u"Error stopping the event you selected."},
    {50131, u"Unknown - Event still running"},
    {50137, u"&Delete\tDel"},
    {50138, u"The chart has been cleared and is now being rerun."},
    {50139, u"Auto-scale has determined that this channel already has optimal scaling values."},
    {50140, u"Add a channel~Click here to pick the counters this chart records."},
    {50167, u"Zoom~Click the arrow beside this button to choose how much time the chart shows."},
    {50168, u"Events~Mark a span of time on the chart with a named event."},
    {50169, u"More counters~Hold Shift while choosing Add Channel to see every counter the system offers."},
    // The framework's commands carry only a tool tip: no status-bar prompt.
    {57600, u"\nNew chart"},
    {57601, u"\nOpen a chart"},
    {57603, u"\nSave the chart"},
    {57607, u"\nPrint"},
    // Cut says what it does not do: a cut channel stays where it is and is pasted as a copy.
    {57635, u"Put the selected channel on the Clipboard; the channel stays in this chart until you delete "
            u"it\nCut"},
    {57664, u"\nAbout Tallon"},
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

QString ZynVersionText() {
    return QString::asprintf(zyn::version::kProgramVersionFormat, zyn::version::kMajor, zyn::version::kMinor,
                             zyn::version::kProgramBuild);
}

bool ZynStringTableIsSorted() {
    return std::is_sorted(std::begin(kZynStrings), std::end(kZynStrings),
                          [](const ZynStringEntry& a, const ZynStringEntry& b) { return a.id < b.id; }) &&
           std::adjacent_find(std::begin(kZynStrings), std::end(kZynStrings),
                              [](const ZynStringEntry& a, const ZynStringEntry& b) {
                                  return a.id == b.id;
                              }) == std::end(kZynStrings);
}
