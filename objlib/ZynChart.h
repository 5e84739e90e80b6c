#pragma once
// Chart: the root of the data model. Owns the channels, the events and the shared time axis, and
// runs the sampling thread ("Dacq") that reads every dynamic channel's counter at the chart's rate.

#include "ZynChannel.h"
#include "ZynChartLink.h"
#include "ZynCritSec.h"
#include "ZynDispatchImpl.h"
#include "ZynEvent.h"
#include "ZynLockList.h"
#include "ZynTimeBase.h"

#include "pdh/pdh.h"
#include "sync/clock.h"
#include "sync/handle.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CZynApp;

class CZynChart final : public zyn::com::ComRefCount,
                        public CZynDispatchImpl<IZynChart>,
                        public IZynChartPrivate,
                        private CZynChartLink,
                        private CZynEventOwner {
public:
    enum ChangeBits : DWORD {
        kChannelAdded = 0x1,
        kChannelDetached = 0x2,
        kNameSet = 0x4,
        kCommentSet = 0x8,
        kStartChanged = 0x10,
        kRateSet = 0x20,
        kCleared = 0x40,
        kSampled = 0x80,
        kEventAdded = 0x2000000,
        kEventDetached = 0x4000000,
        kEventStopped = 0x8000000,
        kPeerReleased = 0x80000000,
    };
    static constexpr LONG kMinRate = 200;
    static constexpr LONG kMaxRate = 86400000;
    static constexpr DWORD kStopWaitMs = 10000;

    static CComPtr<CZynChart> Create();

    // IUnknown by hand: the release that leaves exactly two references lets the GUI peer go.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return InternalAddRef(); }
    ULONG Release() override;

    // IZynChart
    HRESULT AddChannel(BSTR i_CounterName, IZynChannel** o_ppChannel) override;
    HRESULT FindChannel(BSTR i_ChannelName, IZynChannel** o_ppChannel) override;
    HRESULT Detach() override;
    HRESULT Sample() override;
    HRESULT AddStaticChannel(IZynChannel** o_ppChannel) override;
    HRESULT AddVirtualChannel(IZynChannel** o_ppChannel) override;
    HRESULT Clear() override;
    HRESULT LockObject(IZynObjLock** o_ppLock) override;
    HRESULT LoadChannel(VARIANT i_Data, IZynChannel** o_ppChannel) override;
    HRESULT LoadChannelFromString(BSTR i_StringData, IZynChannel** o_ppChannel) override;
    HRESULT SaveChart(VARIANT* pVar) override;
    HRESULT SaveChartAsString(BSTR* pStrVal) override;
    HRESULT CopyChannel(BSTR i_ChartId, BSTR i_ChannelId, LONG* o_pVal) override;
    HRESULT AddEvent(BSTR i_EventName, IZynEvent** o_ppEvent) override;
    HRESULT DetachEvent(BSTR i_EventId, LONG* o_pVal) override;
    HRESULT Rerun() override;
    HRESULT get_Name(BSTR* pNameVal) override;
    HRESULT put_Name(BSTR newVal) override;
    HRESULT get_ChannelCount(LONG* pCount) override;
    HRESULT get_Channels(IZynChannelIter** o_ppChannelIter) override;
    HRESULT get_Comment(BSTR* pComment) override;
    HRESULT put_Comment(BSTR newVal) override;
    HRESULT get_Rate(LONG* pRateVal) override;
    HRESULT put_Rate(LONG newVal) override;
    HRESULT get_Run(LONG* pVal) override;
    HRESULT put_Run(LONG newVal) override;
    HRESULT get_LastTime(VARIANT* o_TimeVal) override;
    HRESULT get_StartTime(VARIANT* o_TimeVal) override;
    HRESULT put_StartTime(VARIANT newVal) override;
    HRESULT get_Identifier(BSTR* pIdentifier) override;
    HRESULT get_LastSampleTime(VARIANT* o_TimeVal) override;
    HRESULT get_Events(IZynEventIter** o_ppEventIter) override;

    // IZynChartPrivate
    HRESULT SetNotification(BSTR i_NotificationName) override;
    HRESULT GetChangedProperty(LONG* pVal) override;
    HRESULT SetChangedProperty(LONG newVal) override;
    HRESULT ClearChangedProperty(LONG newVal) override;
    HRESULT GetAggregatePropChanges(LONG* pVal) override;
    HRESULT ClearAggregatePropChanges(LONG newVal) override;
    HRESULT SetPeerWindow(IUnknown* i_pIWindow) override;
    HRESULT PeerWindowRemoved(LONG* o_pVal) override;

    // For the application object, the object factory and the record readers and writers.
    // The whole tree in the fixed order: chart time base, each channel's lock list, the chart.
    void int_LockTree(CZynLockList& locks);
    std::u16string int_Name() const;
    std::u16string int_Comment() const;
    std::u16string int_Identifier() const { return m_identifier; }
    LONG int_Rate() const { return m_rate.load(); }
    // A record's values: the rate as stored, without clamping.
    void int_SetLoaded(std::u16string_view name, std::u16string_view comment, LONG rate);
    CZynTimeBase* int_TimeBase() const { return m_timeBase.p; }
    double int_StartDate() const { return m_timeBase->GetStart(); }
    std::vector<CComPtr<CZynChannel>> int_Channels() const;
    std::vector<CComPtr<CZynEvent>> int_Events() const;
    // A new static channel attached to this chart and appended to its list (bit 0x1 raised).
    CComPtr<CZynChannel> int_CreateChannel();
    // An event without name made for this chart but not yet in its list (for loading a record).
    CComPtr<CZynEvent> int_CreateEvent();
    // Appends an event made for this chart (loaded from a record).
    void int_AppendEvent(CZynEvent* event);
    void int_SetRestartPending() { m_restartPending.store(true); }
    // The clock of the sampling period and the relative times (the system's unless a test gives
    // another). Set it while the chart is stopped; the clock must outlive the chart.
    void int_SetClock(zyn::sync::IClock& clock) { m_clock.store(&clock); }
    // Adoption by an application object (name rebuilt as Chart-n) and its release.
    void int_SetOwner(CZynApp* owner, LONG chartNumber);
    void int_ClearOwner();
    // The object factory's creation callback: stored, and called once at once when given.
    void int_SetCreationCallback(LONG context, LONG cookie);
    // Raises chart bits: a no-op when all are set already; with poke the throttle may signal.
    void int_Raise(DWORD bits, bool poke);
    // Pokes the notification throttle: the first poke signals, then every seventh until read.
    void int_Poke() { Poke(); }

private:
    CZynChart();
    ~CZynChart() override;

    // CZynChartLink
    LONG NextChannelNumber() override { return ++m_channelCounter; }
    CZynTimeBase* ChartTimeBase() override { return m_timeBase.p; }
    void AggregateChanged(DWORD bits, bool poke) override;
    HRESULT SetChartStartTime(double start) override;
    void ChannelDetached(CZynChannel* channel) override;
    HRESULT GetChartInterface(IZynChart** out) override;
    // CZynEventOwner
    void EventStopped() override { int_Raise(kEventStopped, true); }

    void Poke();
    HRESULT CreateChannelOut(ZynChannelType type, IZynChannel** out);
    void StartRunning();
    void StopRunning();
    // One sample under the whole tree lock. From the sampling thread `giveUp` is the stop event:
    // the thread never blocks on a lock that a stopping client may hold.
    bool TakeSample(HANDLE giveUp);
    // The sampling thread reaches the chart only through this link, which the chart cuts before it
    // is destroyed: a thread that outlives its stop limit never touches a freed chart.
    struct SamplerLink {
        std::mutex guard;
        CZynChart* chart = nullptr;
        CComPtr<CZynChart> Acquire();
    };
    static DWORD SamplingThread(void* param);
    void StopEvents();
    CComPtr<CZynApp> LockedOwner();

    // Owner and list bookkeeping.
    mutable std::mutex m_ownerGuard;
    CZynApp* m_owner = nullptr;
    mutable std::mutex m_listGuard; // the two lists; never held while taking another lock
    std::vector<CComPtr<CZynChannel>> m_channels;
    std::vector<CComPtr<CZynEvent>> m_events;
    std::uint64_t m_listVersion = 0;
    std::atomic<LONG> m_channelCounter{0};
    std::atomic<LONG> m_throttle{0};

    mutable std::mutex m_textGuard;
    std::u16string m_name{u"Chart"};
    bool m_nameLoaded = false;
    std::u16string m_comment;
    std::u16string m_identifier;

    // Running state. m_runGuard serialises starting and stopping; it is never held by the thread.
    std::mutex m_runGuard;
    std::atomic<bool> m_running{false};
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
    HANDLE m_stopEvent = nullptr;
    std::shared_ptr<SamplerLink> m_sampler;

    // The relative timer: the clock's tick at the first reading after creation or Clear.
    std::atomic<zyn::sync::IClock*> m_clock{&zyn::sync::SystemClock()};
    bool m_relRunning = false;
    std::uint64_t m_relStart = 0;
    CComPtr<CZynTimeBase> m_timeBase;
    std::mutex m_peerGuard;
    CComPtr<IUnknown> m_peer;
    std::atomic<bool> m_restartPending{false};
    bool m_firstCollectionPending = false;
    bool m_queryCollected = false; // the query's counters hold baselines from a sample
    std::atomic<DWORD> m_changed{0};
    std::atomic<DWORD> m_aggregate{0};
    std::atomic<LONG> m_rate{1000};
    std::atomic<std::uint32_t> m_lastSampleTime{0};
    PDH_HQUERY m_query = nullptr;
    std::mutex m_notifyGuard;
    HANDLE m_notification = nullptr;
    CZynCritSec m_lock;
    LONG m_callbackContext = 0;
    LONG m_callbackCookie = 0;
};
