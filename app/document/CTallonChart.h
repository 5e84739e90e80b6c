#pragma once
// CTallonChart: the document of one chart window. It owns one chart object of the object library,
// the chart's display settings record, and the notification thread ("ChrtNtfy") that turns the
// chart's change signals into calls on the GUI thread; it runs the commands that act on the chart
// as a whole.
//
// How to use (the shell):
//   CAppContext ctx;                        // one per process, outlives every document
//   ctx.mainWindow = mainFrame;             // owner of dialogs and message boxes
//   auto* doc = new CTallonChart(ctx, parent); // makes the chart through ctx.App()
//   doc->OnNewDocument();                   // title = the chart's name
//   auto* view = new CTallonView(doc, ctx); // see ChartView.h
//   connect(doc, &CTallonChart::statusMessage, statusPane, ...);   // (text, level 0/1/2)
//   connect(doc, &CTallonChart::titleChanged, childFrame, ...);
//   connect(doc, &CTallonChart::chartChanged, channelBar, ...);    // refresh if it shows this chart
//   connect(doc, &CTallonChart::showInChannelBar, channelBar, ...); // (refill)
//   connect(doc, &CTallonChart::deleteChannelRequested, channelBar, ...);
//   menu->addAction(doc->Action(CTallonChart::kCmdAddChannel));    // and the other command ids
//   before a menu shows: doc->UpdateActions();
//   closing: if (!doc->CanCloseWithoutPrompt()) ask to save; then delete doc (stops the thread).
// Set ctx.SetMainFrameGone(true) when the main frame is destroyed: notifications stop.
//
// Views listen to updateViews(hint): 0 refresh, 1 settings changed, 2 settings changed and
// re-layout, 5 chart data or properties changed, 17 selected channel changed. On hint 5 they may
// read the chart's aggregate changes; the document clears them after the views have run.

#include "AppContext.h"
#include "display/ChartSettings.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"
#include "sync/handle.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class QAction;

class CTallonChart : public QObject {
    Q_OBJECT

public:
    enum Hint : int {
        kHintRefresh = 0,
        kHintSettings = 1,
        kHintRelayout = 2,
        kHintChartNotify = 5,
        kHintSelectedChannel = 17,
    };
    enum Command : int {
        kCmdAddChannel = 32773,
        kCmdSampleData = 32784,
        kCmdPauseChart = 32785,
        kCmdDeleteChannel = 32807,
        kCmdRerunChart = 33004,
    };
    // Channel colours by channel count modulo 10 (0x00BBGGRR).
    static const std::array<COLORREF, 10>& DefaultChannelColours();
    static constexpr int kNotifyDebounceMs = 100;
    static constexpr int kNotifyDeliveryLimitMs = 1000;
    static constexpr unsigned kThreadStopLimitMs = 15000;
    // The chart's change bit for a sample taken.
    static constexpr LONG kChangedSampled = 0x80;

    // Makes a new chart through the shared application object. The chart is null only when the
    // object library cannot be reached; every command then does nothing.
    explicit CTallonChart(CAppContext& context, QObject* parent = nullptr);
    ~CTallonChart() override;

    // Title = the chart's name.
    void OnNewDocument();
    // Replaces the chart (a loaded or automation-made one), registers the notification with it and
    // runs OnChartNotify.
    void AttachChart(IZynChart* chart);

    IZynChart* Chart() const { return m_pChart.p; }
    CAppContext& Context() const { return m_context; }
    ChartSettings& Settings() { return m_settings; }
    const ChartSettings& Settings() const { return m_settings; }
    double Created() const { return m_dCreated; }
    QString Title() const { return m_title; }
    QString Identifier() const;
    QString Name() const;
    LONG ChannelCount() const;
    LONG Run() const;
    double StartTime() const;
    double LastTime() const;
    double LastSampleTime() const;
    std::vector<CComPtr<IZynChannel>> Channels() const;
    std::vector<CComPtr<IZynEvent>> Events() const;

    // The value-axis channel: the channel bar's selection when it belongs to this chart.
    IZynChannel* SelectedChannel() const { return m_pSelChannel.p; }
    void SyncSelectedChannel();

    // Print-page window overrides (0 = none), set by the view for each printed page.
    double WindowStart() const { return m_dWindowStart; }
    double WindowEnd() const { return m_dWindowEnd; }
    void SetWindowOverrides(double start, double end) {
        m_dWindowStart = start;
        m_dWindowEnd = end;
    }
    // The next default event number ("Event %d").
    int NextEventNumber() { return ++m_nEventCount; }

    bool FreezeUpdates() const { return m_bFreezeUpdates; }
    void SetFreezeUpdates(bool freeze) { m_bFreezeUpdates = freeze; }

    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true);
    // With Shift held or expert mode the modified flag is cleared first, so no save question is
    // asked. True when the document may close without asking.
    bool CanCloseWithoutPrompt();

    // Pushes the sample rate to the chart when it differs; views get hint 2 (all) or 1.
    void ApplySettings(bool all);
    void UpdateAllViews(int hint) { emit updateViews(hint); }
    // A status-pane text from one of the document's dialogs (level 0 information, 1 warning, 2 error).
    void ShowStatus(const QString& text, int level) { emit statusMessage(text, level); }
    // Makes the channel bar refill now when it shows this chart.
    void RefreshChannelBar() { emit showInChannelBar(true); }
    void SetDocMenu(int id);

    // The automation application object that made or opened this window (null for a window the
    // user opened), as GetApp hands it out.
    IUnknown* App() const { return m_pApp.p; }
    void SetApp(IUnknown* app) { m_pApp = app; }
    // The automation server's peer registration.
    void SetPeer(IUnknown* peer);
    void OnPeerRemoved();
    void CheckPeerRemoved();

    // Runs on the GUI thread for each forwarded chart notification.
    void OnChartNotify();
    // Validates and adds one counter path with the default colour and width for its position.
    bool AddChannelByPath(const QString& path);
    // Adds the paths as AddChannelByPath does; each channel is scaled to its data once it has
    // two samples (the counter browser's "Add common counters").
    void AddCommonCounters(const QStringList& paths);
    static constexpr LONG kSamplesBeforeScaling = 2;

    // Commands.
    void OnAddChannel();
    void OnPauseChart();
    void OnSampleData();
    void OnRerunChart();
    void OnDeleteChannel();
    QAction* Action(int id) const { return m_actions.value(id); }
    // The update handlers: enabling, check marks and texts from the chart's state.
    void UpdateActions();
    // The counter browser's configuration while "Add Channels to Chart" is open, else null.
    const CounterBrowseConfig* BrowseConfig() const { return m_pBrowseConfig; }

    // Notifications handed to the GUI thread so far (diagnostics and tests).
    std::uint64_t NotificationsPosted() const;

    // The chart window's display settings as automation reaches them (the chart window object).
    int ColorBackGround() const { return int(m_settings.ColorBackGround); }
    void SetColorBackGround(int c) { m_settings.ColorBackGround = COLORREF(c); }
    int ColorGrid() const;
    void SetColorGrid(int c);
    int ColorText() const;
    void SetColorText(int c);
    bool XMinorTicks() const { return m_settings.XMinorTicks != 0; }
    void SetXMinorTicks(bool v) { m_settings.XMinorTicks = v; }
    bool XMajorTicks() const { return m_settings.XMajorTicks != 0; }
    void SetXMajorTicks(bool v) { m_settings.XMajorTicks = v; }
    bool XGridLines() const { return m_settings.XGridLines != 0; }
    void SetXGridLines(bool v) { m_settings.XGridLines = v; }
    bool YGridLines() const { return m_settings.YGridLines != 0; }
    void SetYGridLines(bool v) { m_settings.YGridLines = v; }
    bool YMajorTicks() const { return m_settings.YMajorTicks != 0; }
    void SetYMajorTicks(bool v) { m_settings.YMajorTicks = v; }
    bool YMinorTicks() const { return m_settings.YMinorTicks != 0; }
    void SetYMinorTicks(bool v) { m_settings.YMinorTicks = v; }
    uint TickSize() const { return m_settings.TickSize; }
    void SetTickSize(uint v) { m_settings.TickSize = v; }
    int TimeFormat() const;
    void SetTimeFormat(int v);

signals:
    void updateViews(int hint);
    void titleChanged(const QString& title);
    void modifiedChanged(bool modified);
    // A status-pane text; level 0 information, 1 warning, 2 error.
    void statusMessage(const QString& text, int level);
    // The channel bar should refresh when it shows this chart.
    void chartChanged();
    // The channel bar should show this document (and refill its list when `refill`).
    void showInChannelBar(bool refill);
    // The channel bar's delete operation for its selected channel of this chart.
    void deleteChannelRequested(const QString& chartId, const QString& channelId);
    void docMenuChanged(int id);

private:
    struct Notifier;

    void CreateActions();
    void StartNotifications();
    void StopNotifications();
    void RegisterNotification();
    void SetTitle(const QString& title);
    void Status(int id, int level = 0, const QString& arg = QString());
    bool SelectionIsOurs() const;
    CComPtr<IZynChannel> AddCounterChannel(const QString& path);
    void ScaleNewChannelsToTheirData();

    CAppContext& m_context;
    CComPtr<IZynChart> m_pChart;
    CComPtr<IZynChannel> m_pSelChannel;
    CComPtr<IUnknown> m_pPeer;
    CComPtr<IUnknown> m_pApp;
    ChartSettings m_settings;
    QString m_notifyName;
    std::shared_ptr<Notifier> m_notifier;
    HANDLE m_pNotifyThread = nullptr;
    double m_dCreated = 0.0;
    bool m_bFreezeUpdates = false;
    CounterBrowseConfig* m_pBrowseConfig = nullptr;
    double m_dWindowStart = 0.0;
    double m_dWindowEnd = 0.0;
    int m_nEventCount = 0;
    int m_nMenuId = 0;
    bool m_modified = false;
    QString m_title;
    QHash<int, QAction*> m_actions;
    std::vector<CComPtr<IZynChannel>> m_scaleToData; // waiting for the samples to scale to
};
