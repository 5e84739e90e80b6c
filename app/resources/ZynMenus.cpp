#include "ZynMenus.h"

#include <map>

namespace {

ZynMenuItem I(int command, const char* text) {
    return {command, QString::fromUtf8(text), {}};
}
ZynMenuItem Sep() {
    return {};
}
ZynMenuItem Popup(const char* text, std::vector<ZynMenuItem> items) {
    return {0, QString::fromUtf8(text), std::move(items)};
}

std::vector<ZynMenuItem> ZoomItems() {
    std::vector<ZynMenuItem> items;
    items.reserve(7);
    for (int i = 0; i < 7; ++i)
        items.push_back(I(ZynCmd::Zoom1 + i, std::to_string(i + 1).c_str()));
    return items;
}

ZynMenuItem StopEvent() {
    return Popup("&Stop Event", {I(ZynCmd::NoEvents, "No Events to Stop")});
}

ZynMenuItem HelpMenu() {
    return Popup("&Help",
                 {I(ZynCmd::HelpTopics, "&Help Topics"), Sep(), I(ZynCmd::About, "&About Tallon...")});
}

std::vector<ZynMenuItem> FileItems(const char* printText) {
    return {I(ZynCmd::FileNew, "&New\tCtrl+N"),
            I(ZynCmd::FileOpen, "&Open...\tCtrl+O"),
            I(ZynCmd::ImportPrometheus, "&Import from Prometheus..."),
            I(ZynCmd::FileClose, "&Close"),
            I(ZynCmd::FileSave, "&Save\tCtrl+S"),
            I(ZynCmd::FileSaveAs, "Save &As..."),
            Sep(),
            I(ZynCmd::SaveAsScript, "&Save Chart as Script..."),
            I(ZynCmd::SaveAllAsScript, "Save All as Script..."),
            Sep(),
            I(ZynCmd::Print, printText),
            I(ZynCmd::PrintPreview, "Print Pre&view"),
            I(ZynCmd::PrintSetup, "P&rint Setup..."),
            Sep(),
            I(ZynCmd::RecentFile, "Recent File"),
            Sep(),
            I(ZynCmd::AppExit, "E&xit")};
}

ZynMenuItem ViewMenu() {
    std::vector<ZynMenuItem> zoom = ZoomItems();
    return Popup("&View", {Popup("&Zoom", zoom), Sep(), I(ZynCmd::ZoomAll, "&All"), Sep(),
                           I(ZynCmd::ViewToolbar, "&Toolbar"), I(ZynCmd::ViewStatusBar, "&Status Bar"),
                           I(ZynCmd::ViewChannelBar, "&Channel Bar")});
}

ZynMenuItem WindowMenu() {
    return Popup("&Window", {I(ZynCmd::NewWindow, "&New Window"), I(ZynCmd::Cascade, "&Cascade"),
                             I(ZynCmd::Tile, "&Tile"), I(ZynCmd::ArrangeIcons, "&Arrange Icons")});
}

std::map<int, std::vector<ZynMenuItem>> BuildMenus() {
    std::map<int, std::vector<ZynMenuItem>> m;
    m[128] = {Popup("&File", {I(ZynCmd::FileNew, "&New\tCtrl+N"), I(ZynCmd::FileOpen, "&Open...\tCtrl+O"),
                              I(ZynCmd::ImportPrometheus, "&Import from Prometheus..."), Sep(),
                              I(ZynCmd::PrintSetup, "P&rint Setup..."), Sep(),
                              I(ZynCmd::RecentFile, "Recent File"), Sep(), I(ZynCmd::AppExit, "E&xit")}),
              Popup("&View", {I(ZynCmd::ViewToolbar, "&Toolbar"), I(ZynCmd::ViewStatusBar, "&Status Bar"),
                              I(ZynCmd::Preferences, "Preferences...")}),
              HelpMenu()};
    m[129] = {Popup("&File", FileItems("&Print Chart...\tCtrl+P")),
              Popup("&Edit",
                    {I(ZynCmd::EditCut, "Cu&t\tCtrl+X"), I(ZynCmd::EditCopy, "&Copy\tCtrl+C"),
                     I(ZynCmd::EditPaste, "&Paste\tCtrl+V"), Sep(), I(ZynCmd::DeleteChannel, "&Delete\tDel"),
                     I(ZynCmd::ClearChart, "Clear &Chart"), I(ZynCmd::Preferences, "Preferences...")}),
              Popup("&Chart",
                    {I(ZynCmd::AddChannel, "&Add Channel...\tCtrl+A"), I(ZynCmd::SampleData, "Sample &Data"),
                     I(ZynCmd::Pause, "&Pause"), Sep(), I(ZynCmd::AutoAxis, "Auto A&xis"),
                     I(ZynCmd::AutoScroll, "A&uto Scroll"), Sep(), I(ZynCmd::AddEvent, "Add &Event..."),
                     StopEvent(), Sep(), I(ZynCmd::Rerun, "&Rerun\tCtrl+R"), I(ZynCmd::Refresh, "R&efresh"),
                     I(ZynCmd::ChartProperties, "P&roperties...")}),
              ViewMenu(),
              WindowMenu(),
              HelpMenu()};
    m[150] = {Popup("&File", FileItems("&Print Report...\tCtrl+P")),
              Popup("&Edit", {I(ZynCmd::EditCut, "Cu&t\tCtrl+X"), I(ZynCmd::EditCopy, "&Copy\tCtrl+C"),
                              I(ZynCmd::EditPaste, "&Paste\tCtrl+V"), Sep(),
                              I(ZynCmd::Preferences, "Preferences...")}),
              Popup("&Report",
                    {I(ZynCmd::RefreshData, "&Refresh Data"), I(ZynCmd::ReportProperties, "Properties...")}),
              ViewMenu(),
              WindowMenu(),
              HelpMenu()};
    m[149] = {I(ZynCmd::RecentFile, "Recent File")};
    std::vector<ZynMenuItem> zoom = ZoomItems();
    zoom.push_back(I(ZynCmd::ZoomAll, "&All"));
    m[151] = zoom;
    m[152] = {Popup("&Zoom", ZoomItems()),
              I(ZynCmd::AutoAxis, "Auto A&xis"),
              I(ZynCmd::AutoScroll, "A&uto Scroll"),
              I(ZynCmd::Pause, "&Pause"),
              I(ZynCmd::Refresh, "&Refresh"),
              Sep(),
              I(ZynCmd::ChartProperties, "P&roperties...")};
    m[164] = {I(ZynCmd::RefreshData, "Refresh Data"), I(ZynCmd::EditCopy, "&Copy"),
              I(ZynCmd::ReportProperties, "Properties...")};
    m[165] = {StopEvent()};
    return m;
}

} // namespace

const std::vector<ZynMenuItem>& LoadZynMenu(int id) {
    static const std::map<int, std::vector<ZynMenuItem>> menus = BuildMenus();
    static const std::vector<ZynMenuItem> none;
    auto it = menus.find(id);
    return it == menus.end() ? none : it->second;
}

const std::vector<ZynAccelerator>& ZynAccelerators() {
    static const std::vector<ZynAccelerator> table = {
        {"Ctrl+N", ZynCmd::FileNew},
        {"Ctrl+O", ZynCmd::FileOpen},
        {"Ctrl+S", ZynCmd::FileSave},
        {"Ctrl+P", ZynCmd::Print},
        {"Ctrl+C", ZynCmd::EditCopy},
        {"Ctrl+Ins", ZynCmd::EditCopy},
        {"Ctrl+X", ZynCmd::EditCut},
        {"Ctrl+V", ZynCmd::EditPaste},
        {"Shift+Ins", ZynCmd::EditPaste},
        {"Del", ZynCmd::DeleteChannel},
        {"Shift+Del", ZynCmd::DeleteChannel},
        {"Ctrl+Z", ZynCmd::EditUndo},
        {"Alt+Backspace", ZynCmd::EditUndo},
        {"F1", ZynCmd::Help},
        {"Shift+F1", ZynCmd::ContextHelp},
        {"F6", ZynCmd::NextWindow},
        {"Ctrl+Tab", ZynCmd::NextWindow},
        {"Shift+F6", ZynCmd::PrevWindow},
        {"Ctrl+Shift+Tab", ZynCmd::PrevWindow},
        {"Ctrl+R", ZynCmd::Rerun},
        {"Ctrl+A", ZynCmd::AddChannel},
    };
    return table;
}

const std::vector<int>& ZynToolbarButtons() {
    // Buttons 5, 9 and 10 carry the start-up tips.
    static const std::vector<int> buttons = {ZynCmd::FileNew,
                                             ZynCmd::FileOpen,
                                             ZynCmd::FileSave,
                                             0,
                                             ZynCmd::Print,
                                             ZynCmd::AddChannel,
                                             ZynCmd::Pause,
                                             ZynCmd::SampleData,
                                             0,
                                             ZynCmd::ZoomButton,
                                             ZynCmd::AddEvent,
                                             0,
                                             ZynCmd::ChartProperties,
                                             ZynCmd::About};
    return buttons;
}
