#include "CTallonChart.h"

#include "CommandActions.h"
#include "ZynMessageBox.h"
#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "display/WideText.h"
#include "resources/ZynFormat.h"
#include "resources/ZynStrings.h"

#include "com/ccombstr.h"
#include "com/variant.h"
#include "com/winerror.h"
#include "pdh/pdh.h"
#include "sync/event.h"
#include "sync/thread.h"
#include "utils/ZynTime.h"

#include <QAction>
#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Taken around posting a call to the GUI thread and first thing in that call. It orders what the
// call captured for the thread sanitizer, which cannot see the order Qt's event queue gives (Qt is
// not instrumented); and since the posting thread drops its reference to the call before letting
// go of it, the call is always destroyed on the GUI thread, after it ran.
std::mutex& HandOffLock() {
    static std::mutex lock;
    return lock;
}

double DateOf(IZynChart* chart, HRESULT (IZynChart::*getter)(VARIANT*)) {
    if (!chart) return 0.0;
    CComVariant v;
    if (FAILED((chart->*getter)(&v))) return 0.0;
    if (v.vt == VT_DATE || v.vt == VT_R8) return v.vt == VT_DATE ? v.date : v.dblVal;
    return 0.0;
}

} // namespace

// What the notification thread shares with its document. The thread holds its own reference, so
// a thread that outlives the document's wait touches nothing the document freed.
struct CTallonChart::Notifier {
    HANDLE event = nullptr; // the named manual-reset event the chart signals
    std::shared_ptr<std::atomic<bool>> mainFrameGone;
    QPointer<CTallonChart> document; // dereferenced on the GUI thread only
    std::mutex guard;
    std::condition_variable wake;
    bool closing = false;
    std::uint64_t posted = 0; // calls handed to the GUI thread
    std::uint64_t acked = 0;  // calls the GUI thread has run (or skipped)

    ~Notifier() {
        if (event) CloseHandle(event);
    }

    bool Closing() {
        std::lock_guard lock(guard);
        return closing;
    }

    // Hands one call to the GUI thread and waits up to the delivery limit for it to run. A call
    // still queued from an earlier try is waited for again instead of queueing another, so a busy
    // GUI thread never collects a pile of them.
    static bool Deliver(const std::shared_ptr<Notifier>& n) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return false;
        std::unique_lock lock(n->guard);
        if (n->closing) return false;
        std::uint64_t seq = n->posted;
        if (n->acked >= n->posted) {
            seq = ++n->posted;
            lock.unlock();
            {
                std::lock_guard handOff(HandOffLock());
                QMetaObject::invokeMethod(
                    app,
                    [n, seq] {
                        { std::lock_guard handedOver(HandOffLock()); }
                        // Runs on the GUI thread: the document is either alive here or gone for good.
                        const QPointer<CTallonChart> doc = n->document;
                        if (doc && !n->mainFrameGone->load()) doc->OnChartNotify();
                        {
                            std::lock_guard done(n->guard);
                            n->acked = std::max(n->acked, seq);
                        }
                        n->wake.notify_all();
                    },
                    Qt::QueuedConnection);
            }
            lock.lock();
        }
        const bool ran = n->wake.wait_for(lock, std::chrono::milliseconds(kNotifyDeliveryLimitMs),
                                          [&] { return n->closing || n->acked >= seq; });
        return ran && !n->closing;
    }

    static DWORD Thread(void* param) {
        std::shared_ptr<Notifier> n = std::move(*static_cast<std::shared_ptr<Notifier>*>(param));
        delete static_cast<std::shared_ptr<Notifier>*>(param);
        zyn::sync::SetThreadName("ChrtNtfy", 0xFFFFFFFF);
        while (!n->Closing()) {
            if (WaitForSingleObject(n->event, INFINITE) != WAIT_OBJECT_0) break;
            {
                // The pause turns a burst of changes into one notification.
                std::unique_lock lock(n->guard);
                if (n->wake.wait_for(lock, std::chrono::milliseconds(kNotifyDebounceMs),
                                     [&] { return n->closing; }))
                    break;
            }
            ResetEvent(n->event);
            if (n->mainFrameGone->load()) continue;
            if (n->Closing()) break;
            if (!Deliver(n) && !n->mainFrameGone->load()) {
                if (n->Closing()) break;
                SetEvent(n->event); // try again after the next pause
            }
        }
        return 0;
    }
};

const std::array<COLORREF, 10>& CTallonChart::DefaultChannelColours() {
    static const std::array<COLORREF, 10> colours = {0x0000FF, 0x00FF00, 0x00FFFF, 0xFFFF00, 0xFF00FF,
                                                     0x008CFF, 0x808000, 0x9314FF, 0x8FBC8F, 0xFF0000};
    return colours;
}

CTallonChart::CTallonChart(CAppContext& context, QObject* parent) : QObject(parent), m_context(context) {
    // The process stays while any chart document exists.
    m_context.LockApp();
    CopySettings(m_settings, context.DefaultChartSettings());
    m_settings.version = ChartSettings::kCurrentVersion;
    m_dCreated = GetTimeAsDouble();
    if (CComPtr<IZynApp> app = context.App()) {
        CComPtr<IZynChart> chart;
        if (SUCCEEDED(app->AddChart(&chart))) m_pChart = chart;
    }
    if (m_pChart) m_pChart->put_Rate(LONG(m_settings.sampleRate));
    StartNotifications();
    RegisterNotification();
    CreateActions();
}

CTallonChart::~CTallonChart() {
    StopNotifications();
    if (m_pChart) {
        CComPtr<IZynChartPrivate> priv;
        // The chart may outlive this document (a script holds it): it must stop signalling us.
        if (SUCCEEDED(m_pChart.QueryInterface(&priv))) priv->SetNotification(nullptr);
        m_pChart->Detach();
    }
    m_pSelChannel = nullptr;
    m_pPeer = nullptr;
    m_pApp = nullptr;
    m_pChart = nullptr;
    ReleaseFonts(m_settings);
    m_context.UnlockApp();
}

void CTallonChart::StartNotifications() {
    m_notifier = std::make_shared<Notifier>();
    m_notifier->mainFrameGone = m_context.MainFrameGoneFlag();
    m_notifier->document = this;
    const QString base = QStringLiteral("cn%1").arg(quintptr(this), 0, 16);
    m_notifyName = base;
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::u16string name(U16View(m_notifyName));
        HANDLE h = CreateEventW(TRUE, FALSE, name.c_str());
        // A chart of a closed document at this address may still hold the old event open; sharing
        // it would let that chart wake this document.
        if (h && GetLastError() == DWORD(ERROR_ALREADY_EXISTS)) {
            CloseHandle(h);
            m_notifyName = base + u'-' + QString::number(attempt);
            continue;
        }
        m_notifier->event = h;
        break;
    }
    if (!m_notifier->event) return;
    auto* param = new std::shared_ptr<Notifier>(m_notifier);
    m_pNotifyThread = CreateThread(nullptr, 0, &Notifier::Thread, param, 0, nullptr);
    if (!m_pNotifyThread) delete param;
}

void CTallonChart::StopNotifications() {
    if (!m_notifier) return;
    {
        std::lock_guard lock(m_notifier->guard);
        m_notifier->closing = true;
    }
    m_notifier->wake.notify_all();
    if (m_notifier->event) SetEvent(m_notifier->event);
    if (m_pNotifyThread) {
        // A thread that does not end in time keeps only its own share of the notifier.
        WaitForSingleObject(m_pNotifyThread, kThreadStopLimitMs);
        CloseHandle(m_pNotifyThread);
        m_pNotifyThread = nullptr;
    }
    m_notifier.reset();
}

void CTallonChart::RegisterNotification() {
    if (!m_pChart || !m_notifier || !m_notifier->event) return;
    CComPtr<IZynChartPrivate> priv;
    if (FAILED(m_pChart.QueryInterface(&priv))) return;
    priv->SetNotification(ToBstr(m_notifyName));
}

std::uint64_t CTallonChart::NotificationsPosted() const {
    if (!m_notifier) return 0;
    std::lock_guard lock(m_notifier->guard);
    return m_notifier->posted;
}

void CTallonChart::OnNewDocument() {
    SetTitle(Name());
}

void CTallonChart::AttachChart(IZynChart* chart) {
    if (!chart || chart == m_pChart.p) return;
    if (m_pChart) {
        CComPtr<IZynChartPrivate> priv;
        if (SUCCEEDED(m_pChart.QueryInterface(&priv))) priv->SetNotification(nullptr);
        m_pChart->Detach();
    }
    m_pSelChannel = nullptr;
    m_pChart = chart;
    RegisterNotification();
    OnChartNotify();
    SetTitle(Name());
}

QString CTallonChart::Identifier() const {
    CComBSTR id;
    if (!m_pChart || FAILED(m_pChart->get_Identifier(&id))) return {};
    return FromBstr(id);
}

QString CTallonChart::Name() const {
    CComBSTR name;
    if (!m_pChart || FAILED(m_pChart->get_Name(&name))) return {};
    return FromBstr(name);
}

LONG CTallonChart::ChannelCount() const {
    LONG n = 0;
    if (m_pChart) m_pChart->get_ChannelCount(&n);
    return n;
}

LONG CTallonChart::Run() const {
    LONG run = 0;
    if (m_pChart) m_pChart->get_Run(&run);
    return run;
}

double CTallonChart::StartTime() const {
    return DateOf(m_pChart.p, &IZynChart::get_StartTime);
}
double CTallonChart::LastTime() const {
    return DateOf(m_pChart.p, &IZynChart::get_LastTime);
}
double CTallonChart::LastSampleTime() const {
    return DateOf(m_pChart.p, &IZynChart::get_LastSampleTime);
}

std::vector<CComPtr<IZynChannel>> CTallonChart::Channels() const {
    std::vector<CComPtr<IZynChannel>> out;
    CComPtr<IZynChannelIter> it;
    if (!m_pChart || FAILED(m_pChart->get_Channels(&it)) || !it) return out;
    for (;;) {
        LONG more = 0;
        if (FAILED(it->get_HasNext(&more)) || !more) break;
        CComPtr<IZynChannel> channel;
        if (FAILED(it->GetNext(&channel)) || !channel) break;
        out.push_back(channel);
    }
    return out;
}

std::vector<CComPtr<IZynEvent>> CTallonChart::Events() const {
    std::vector<CComPtr<IZynEvent>> out;
    CComPtr<IZynEventIter> it;
    if (!m_pChart || FAILED(m_pChart->get_Events(&it)) || !it) return out;
    for (;;) {
        LONG more = 0;
        if (FAILED(it->get_HasNext(&more)) || !more) break;
        CComPtr<IZynEvent> event;
        if (FAILED(it->GetNext(&event)) || !event) break;
        out.push_back(event);
    }
    return out;
}

void CTallonChart::SetTitle(const QString& title) {
    if (title == m_title) return;
    m_title = title;
    emit titleChanged(title);
}

void CTallonChart::SetModifiedFlag(bool modified) {
    if (modified == m_modified) return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

bool CTallonChart::CanCloseWithoutPrompt() {
    if (m_context.NoPrompts()) SetModifiedFlag(false);
    return !m_modified;
}

void CTallonChart::Status(int id, int level, const QString& arg) {
    emit statusMessage(ZynFormat(id, {arg}), level);
}

void CTallonChart::OnChartNotify() {
    // Only the changes seen before the views ran are cleared afterwards. A change raised meanwhile
    // on another thread (the last release of a client's chart, made by the sampling thread, lets
    // the window go) stays for the next notification instead of being cleared unseen.
    CComPtr<IZynChartPrivate> priv;
    LONG changed = 0;
    LONG aggregate = 0;
    if (m_pChart && SUCCEEDED(m_pChart.QueryInterface(&priv))) {
        priv->GetChangedProperty(&changed);
        priv->GetAggregatePropChanges(&aggregate);
    }
    if (!m_scaleToData.empty()) ScaleNewChannelsToTheirData();
    if (!m_bFreezeUpdates) UpdateAllViews(kHintChartNotify);
    emit chartChanged();
    if (!priv) return;
    if (!m_bFreezeUpdates && (changed & 0x4)) SetTitle(Name());
    // Samples recorded since the last save are data the file does not hold: closing must ask (a
    // rerun file, a chart sampling on its own). Windows a script made are the script's to save.
    if ((aggregate & kChangedSampled) && !m_pPeer) SetModifiedFlag(true);
    priv->ClearChangedProperty(changed);
    priv->ClearAggregatePropChanges(aggregate);
}

void CTallonChart::ApplySettings(bool all) {
    LONG rate = 0;
    if (m_pChart && SUCCEEDED(m_pChart->get_Rate(&rate)) && rate != LONG(m_settings.sampleRate)) {
        m_pChart->put_Rate(LONG(m_settings.sampleRate));
    }
    UpdateAllViews(all ? kHintRelayout : kHintSettings);
}

void CTallonChart::SetDocMenu(int id) {
    if (id == m_nMenuId) return;
    m_nMenuId = id;
    emit docMenuChanged(id);
}

bool CTallonChart::SelectionIsOurs() const {
    const CChannelBarState& bar = m_context.channelBar;
    return !bar.selectedChart.isEmpty() && !bar.selectedChannel.isEmpty() &&
           bar.selectedChart == Identifier();
}

void CTallonChart::SyncSelectedChannel() {
    const bool had = m_pSelChannel != nullptr;
    if (SelectionIsOurs()) {
        CComPtr<IZynChannel> channel;
        if (m_pChart) m_pChart->FindChannel(ToBstr(m_context.channelBar.selectedChannel), &channel);
        m_pSelChannel = channel;
        if (had || m_pSelChannel) UpdateAllViews(kHintSelectedChannel);
        return;
    }
    if (had) {
        m_pSelChannel = nullptr;
        UpdateAllViews(kHintSelectedChannel);
    }
}

void CTallonChart::SetPeer(IUnknown* peer) {
    m_pPeer = peer;
    if (!m_pChart) return;
    CComPtr<IZynChartPrivate> priv;
    if (SUCCEEDED(m_pChart.QueryInterface(&priv))) priv->SetPeerWindow(peer);
}

void CTallonChart::OnPeerRemoved() {
    if (m_pChart) {
        CComPtr<IZynChartPrivate> priv;
        if (SUCCEEDED(m_pChart.QueryInterface(&priv))) priv->SetPeerWindow(nullptr);
    }
    m_pPeer = nullptr;
}

void CTallonChart::CheckPeerRemoved() {
    if (!m_pPeer || !m_pChart) return;
    CComPtr<IZynChartPrivate> priv;
    LONG removed = 0;
    if (FAILED(m_pChart.QueryInterface(&priv)) || FAILED(priv->PeerWindowRemoved(&removed)) || !removed)
        return;
    // Not from inside the view's update: the release may end the chart's last outside reference.
    QMetaObject::invokeMethod(
        this, [this] { OnPeerRemoved(); }, Qt::QueuedConnection);
}

bool CTallonChart::AddChannelByPath(const QString& path) {
    return AddCounterChannel(path) != nullptr;
}

CComPtr<IZynChannel> CTallonChart::AddCounterChannel(const QString& path) {
    const std::u16string wide(U16View(path));
    if (!m_pChart || PdhValidatePathW(wide.c_str()) != PDH_CSTATUS_VALID_DATA) {
        ZynMessageBox(LoadZynString(50101));
        return {};
    }
    SetModifiedFlag(true);
    const LONG n = ChannelCount();
    CComPtr<IZynChannel> channel;
    if (FAILED(m_pChart->AddChannel(ToBstr(path), &channel)) || !channel) {
        ZynMessageBox(LoadZynString(50101));
        return {};
    }
    channel->put_Color(DefaultChannelColours()[std::size_t(n % 10)]);
    channel->put_Width(n / 10);
    CComBSTR counter;
    channel->get_CounterName(&counter);
    Status(50107, 0, FromBstr(counter));
    emit chartChanged();
    emit showInChannelBar(false);
    return channel;
}

void CTallonChart::AddCommonCounters(const QStringList& paths) {
    for (const QString& path : paths) {
        CComPtr<IZynChannel> channel = AddCounterChannel(path);
        if (!channel) break;
        m_scaleToData.push_back(channel);
    }
}

// A counter's range is unknown until it has shown some data: bytes per second may be thousands
// or billions. Once two samples are in, the channel's scale is fitted to them.
void CTallonChart::ScaleNewChannelsToTheirData() {
    bool scaled = false;
    std::erase_if(m_scaleToData, [&](const CComPtr<IZynChannel>& channel) {
        CComPtr<IZynChart> owner;
        if (FAILED(channel->get_Chart(&owner)) || owner != m_pChart) return true; // gone from the chart
        LONG count = 0;
        if (FAILED(channel->get_DataCount(&count)) || count < kSamplesBeforeScaling) return false;
        LONG changed = 0;
        channel->AutoScale(&changed);
        scaled = true;
        return true;
    });
    if (scaled) UpdateAllViews(kHintSettings);
}

void CTallonChart::OnAddChannel() {
    if (!m_pChart || m_pBrowseConfig) return;
    const LONG previous = ChannelCount();
    CNumberedSettings& settings = m_context.Settings();
    if (m_context.ShiftDown()) {
        settings.Set(CNumberedSettings::kAddChannelUses, 0);
    } else {
        settings.Increment(CNumberedSettings::kAddChannelUses);
    }
    const std::uint32_t detail = settings.Get(CNumberedSettings::kCounterDetail);
    // On the heap: the dialog's event loop may end this document, and with it any frame it owns.
    auto config = std::make_unique<CounterBrowseConfig>();
    config->detailLevel = CounterDetailForSetting(detail);
    config->includeCostlyObjects = detail > 2;
    const QPointer<CTallonChart> self(this);
    config->callback = [self](const QStringList& paths) {
        for (const QString& path : paths) {
            if (!self || !self->AddChannelByPath(path)) break;
        }
        return 0;
    };
    config->commonCallback = [self](const QStringList& paths) {
        if (self) self->AddCommonCounters(paths);
        return 0;
    };
    m_pBrowseConfig = config.get();
    if (m_context.ui.browseCounters) m_context.ui.browseCounters(m_context.mainWindow, *config);
    if (!self) return;
    m_pBrowseConfig = nullptr;
    if (previous == 0 && ChannelCount() > 0) {
        m_pChart->put_Rate(LONG(m_settings.sampleRate));
        m_pChart->put_Run(1);
    }
    emit showInChannelBar(true);
}

void CTallonChart::OnPauseChart() {
    if (!m_pChart) return;
    const bool running = Run() > 0;
    m_pChart->put_Run(running ? 0 : 1);
    Status(running ? 50086 : 50087);
}

void CTallonChart::OnSampleData() {
    if (!m_pChart) return;
    m_pChart->Sample();
    SetModifiedFlag(true);
    Status(50085);
}

void CTallonChart::OnRerunChart() {
    if (!m_pChart) return;
    if (!m_context.NoPrompts() && !ZynAskYesNo(LoadZynString(32812))) return;
    m_pChart->Rerun();
    Status(50138);
}

void CTallonChart::OnDeleteChannel() {
    const CChannelBarState& bar = m_context.channelBar;
    if (bar.selectedChart.isEmpty() || bar.selectedChannel.isEmpty()) return;
    emit deleteChannelRequested(bar.selectedChart, bar.selectedChannel);
}

void CTallonChart::CreateActions() {
    QAction* add = MakeCommandAction(this, m_actions, kCmdAddChannel, tr("Add &Channel..."));
    connect(add, &QAction::triggered, this, &CTallonChart::OnAddChannel);
    QAction* sample = MakeCommandAction(this, m_actions, kCmdSampleData, tr("&Sample Data"));
    connect(sample, &QAction::triggered, this, &CTallonChart::OnSampleData);
    QAction* pause = MakeCommandAction(this, m_actions, kCmdPauseChart, tr("&Pause"));
    pause->setCheckable(true);
    connect(pause, &QAction::triggered, this, &CTallonChart::OnPauseChart);
    QAction* del = MakeCommandAction(this, m_actions, kCmdDeleteChannel, tr("&Delete"));
    del->setStatusTip(QString());
    connect(del, &QAction::triggered, this, &CTallonChart::OnDeleteChannel);
    QAction* rerun = MakeCommandAction(this, m_actions, kCmdRerunChart, tr("R&erun Chart"));
    connect(rerun, &QAction::triggered, this, &CTallonChart::OnRerunChart);
    UpdateActions();
}

void CTallonChart::UpdateActions() {
    const LONG run = Run();
    QAction* pause = m_actions.value(kCmdPauseChart);
    pause->setChecked(run == 0);
    m_actions.value(kCmdSampleData)->setEnabled(m_pChart && run < 1);
    m_actions.value(kCmdRerunChart)->setEnabled(ChannelCount() >= 1);
    m_actions.value(kCmdAddChannel)->setEnabled(true);

    // "&Delete (channel name)\tDel" while the channel bar's selection is a channel of this chart.
    QAction* del = m_actions.value(kCmdDeleteChannel);
    const QStringList prompt = LoadZynString(50137).split(u'\t');
    CComPtr<IZynChannel> channel;
    if (SelectionIsOurs() && m_pChart)
        m_pChart->FindChannel(ToBstr(m_context.channelBar.selectedChannel), &channel);
    if (channel) {
        CComBSTR name;
        channel->get_Name(&name);
        del->setText(QStringLiteral("%1 (%2)\t%3").arg(prompt.value(0), FromBstr(name), prompt.value(1)));
        del->setEnabled(true);
    } else {
        del->setText(prompt.value(0) + u'\t' + prompt.value(1));
        del->setEnabled(false);
    }
}

int CTallonChart::ColorGrid() const {
    return int(EffectiveGridColour(m_settings));
}

void CTallonChart::SetColorGrid(int c) {
    m_settings.ColorGrid = COLORREF(c);
    m_settings.gridColourAuto = 0;
}

int CTallonChart::ColorText() const {
    return int(EffectiveTextColour(m_settings));
}

void CTallonChart::SetColorText(int c) {
    m_settings.ColorText = COLORREF(c);
    m_settings.textColourAuto = 0;
}

int CTallonChart::TimeFormat() const {
    if (m_settings.timeMode == 1) return int(m_settings.relativeTimeFormat);
    return int(m_settings.absoluteTimeFormat) | 8;
}

void CTallonChart::SetTimeFormat(int v) {
    if (v & 8) {
        m_settings.timeMode = 0;
        m_settings.absoluteTimeFormat = std::uint32_t(v & 1);
    } else {
        m_settings.timeMode = 1;
        m_settings.relativeTimeFormat = std::uint32_t(v & 3);
    }
    UpdateAllViews(kHintRelayout);
}
