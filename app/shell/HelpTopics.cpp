#include "HelpTopics.h"

#include "resources/ZynMenus.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

namespace {

constexpr char kIndex[] = "index.html";
constexpr char kChartWindow[] = "chart-window.html";
constexpr char kAddingCounters[] = "adding-counters.html";
constexpr char kEvents[] = "events.html";
constexpr char kReports[] = "reports.html";
constexpr char kFiles[] = "files-and-csv.html";
constexpr char kScripting[] = "scripting.html";

// Recent files are numbered on from the first entry.
constexpr int kRecentFileCount = 16;

const char* PageOf(int id) {
    static const std::pair<int, const char*> pages[] = {
        {128, kIndex},
        {129, kChartWindow},
        {150, kReports},
        {ZynCmd::FileNew, kIndex},
        {ZynCmd::FileOpen, kFiles},
        {ZynCmd::ImportPrometheus, kFiles},
        {ZynCmd::FileClose, kFiles},
        {ZynCmd::FileSave, kFiles},
        {ZynCmd::FileSaveAs, kFiles},
        {ZynCmd::PrintSetup, kChartWindow},
        {ZynCmd::Print, kChartWindow},
        {ZynCmd::PrintDirect, kChartWindow},
        {ZynCmd::PrintPreview, kChartWindow},
        {ZynCmd::AppExit, kIndex},
        {ZynCmd::About, kIndex},
        {ZynCmd::HelpTopics, kIndex},
        {ZynCmd::ContextHelp, kIndex},
        {ZynCmd::Help, kIndex},
        {ZynCmd::EditCopy, kFiles},
        {ZynCmd::EditCut, kFiles},
        {ZynCmd::EditPaste, kFiles},
        {ZynCmd::EditUndo, kChartWindow},
        {ZynCmd::NewWindow, kChartWindow},
        {ZynCmd::ArrangeIcons, kChartWindow},
        {ZynCmd::Cascade, kChartWindow},
        {ZynCmd::Tile, kChartWindow},
        {ZynCmd::ViewToolbar, kChartWindow},
        {ZynCmd::ViewStatusBar, kChartWindow},
        {ZynCmd::ChartProperties, kChartWindow},
        {ZynCmd::AddChannel, kAddingCounters},
        {ZynCmd::NextWindow, kChartWindow},
        {ZynCmd::PrevWindow, kChartWindow},
        {ZynCmd::ViewChannelBar, kChartWindow},
        {ZynCmd::SaveAsScript, kScripting},
        {ZynCmd::SaveAllAsScript, kScripting},
        {ZynCmd::Preferences, kChartWindow},
        {ZynCmd::SampleData, kChartWindow},
        {ZynCmd::Pause, kChartWindow},
        {ZynCmd::RefreshData, kReports},
        {ZynCmd::ClearChart, kChartWindow},
        {ZynCmd::Refresh, kChartWindow},
        {ZynCmd::ZoomButton, kChartWindow},
        {ZynCmd::ZoomAll, kChartWindow},
        {ZynCmd::ReportProperties, kReports},
        {ZynCmd::AutoScroll, kChartWindow},
        {ZynCmd::AutoAxis, kChartWindow},
        {ZynCmd::DeleteChannel, kChartWindow},
        {ZynCmd::AddEvent, kEvents},
        {ZynCmd::NoEvents, kEvents},
        {ZynCmd::Rerun, kChartWindow},
    };
    if (id >= ZynCmd::Zoom1 && id <= ZynCmd::Zoom7) return kChartWindow;
    if (id >= ZynCmd::RecentFile && id < ZynCmd::RecentFile + kRecentFileCount) return kFiles;
    for (const auto& [pageId, page] : pages)
        if (pageId == id) return page;
    return nullptr;
}

} // namespace

QString HelpPageForContext(std::uint32_t context) {
    const char* page = PageOf(int(context & 0xFFFF));
    return page ? QString::fromLatin1(page) : QString();
}

QString HelpIndexPage() {
    return QString::fromLatin1(kIndex);
}

QString HelpFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" ZYN_DATADIR_FROM_BINDIR "/help"));
}
