#pragma once
// The program's menus, accelerators and tool bar, by resource number, as plain data: the frames
// build their widgets from them.

#include <QString>

#include <vector>

struct ZynMenuItem {
    int command = 0;                // 0 with no items: a separator
    QString text;                   // "&Open...\tCtrl+O": label, tab, accelerator text
    std::vector<ZynMenuItem> items; // non-empty: a popup
    bool IsSeparator() const { return command == 0 && items.empty() && text.isEmpty(); }
    bool IsPopup() const { return !items.empty(); }
};

// Menus 128 (no document), 129 (chart view), 150 (report view), and the drop-downs and context
// menus 149, 151, 152, 164, 165. An empty list for any other number.
const std::vector<ZynMenuItem>& LoadZynMenu(int id);

struct ZynAccelerator {
    const char* keys; // QKeySequence text
    int command;
};
const std::vector<ZynAccelerator>& ZynAccelerators();

// Tool bar 128: command ids in order, 0 for a separator.
const std::vector<int>& ZynToolbarButtons();

namespace ZynCmd {
enum : int {
    FileNew = 57600,
    FileOpen = 57601,
    FileClose = 57602,
    FileSave = 57603,
    FileSaveAs = 57604,
    PrintSetup = 57606,
    Print = 57607,
    PrintDirect = 57608,
    PrintPreview = 57609,
    RecentFile = 57616,
    AppExit = 57665,
    About = 57664,
    HelpTopics = 57667,
    ContextHelp = 57669,
    Help = 57670,
    EditCopy = 57634,
    EditCut = 57635,
    EditPaste = 57637,
    EditUndo = 57643,
    NewWindow = 57648,
    ArrangeIcons = 57649,
    Cascade = 57650,
    Tile = 57651,
    ViewToolbar = 59392,
    ViewStatusBar = 59393,
    ChartProperties = 32771,
    AddChannel = 32773,
    NextWindow = 32777,
    PrevWindow = 32778,
    ViewChannelBar = 32779,
    SaveAsScript = 32780,
    SaveAllAsScript = 32781,
    Preferences = 32783,
    SampleData = 32784,
    Pause = 32785,
    RefreshData = 32787,
    ClearChart = 32788,
    Zoom1 = 32789,
    Zoom7 = 32795,
    Refresh = 32796,
    ZoomButton = 32797,
    ZoomAll = 32798,
    ReportProperties = 32802,
    AutoScroll = 32803,
    AutoAxis = 32806,
    DeleteChannel = 32807,
    AddEvent = 32808,
    NoEvents = 32810,
    Rerun = 33004,
    ImportPrometheus = 33005,
};
} // namespace ZynCmd
