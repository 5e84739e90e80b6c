#include "ZynChart.h"

#include "ZynApp.h"
#include "ZynErrors.h"
#include "ZynIterators.h"
#include "ZynObjLock.h"
#include "ZynText.h"
#include "utils/ZynIdentifier.h"
#include "utils/ZynTime.h"

#include "sync/event.h"
#include "sync/thread.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr char16_t kInvalidStartTime[] = u"Invalid time to IZynChart.StartDate";
constexpr DWORD kEventAllAccess = 0x1F0003;
constexpr int kThreadPriorityAboveNormal = 1;

HRESULT DateOut(double value, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    out->vt = VT_DATE;
    out->date = value;
    return S_OK;
}

HRESULT TextOut(const std::u16string& value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = zyn::com::AllocBstr(value);
    return *out || value.empty() ? S_OK : E_OUTOFMEMORY;
}

std::u16string_view View(BSTR s) {
    return zyn::com::BstrView(s);
}

// What a channel shows, carried over to the live channel that replaces it.
void CopyDisplay(IZynChannel* from, IZynChannel* to) {
    CComBSTR text;
    if (SUCCEEDED(from->get_Name(&text))) to->put_Name(text);
    text.Empty();
    if (SUCCEEDED(from->get_Comment(&text))) to->put_Comment(text);
    text.Empty();
    if (SUCCEEDED(from->get_Units(&text))) to->put_Units(text);
    OLE_COLOR color = 0;
    if (SUCCEEDED(from->get_Color(&color))) to->put_Color(color);
    LONG value = 0;
    if (SUCCEEDED(from->get_Width(&value))) to->put_Width(value);
    if (SUCCEEDED(from->get_Visible(&value))) to->put_Visible(value);
    double scale = 0;
    if (SUCCEEDED(from->get_ScaleMin(&scale))) to->put_ScaleMin(scale);
    if (SUCCEEDED(from->get_ScaleMax(&scale))) to->put_ScaleMax(scale);
}

// Hands out `obj` as interface `I` with a new reference.
template <class I, class T> HRESULT HandOut(T* obj, I** out) {
    if (!out) return E_POINTER;
    *out = static_cast<I*>(obj);
    if (obj) obj->AddRef();
    return S_OK;
}

} // namespace

// --- life ---

CComPtr<CZynChart> CZynChart::Create() {
    return CComPtr<CZynChart>(new CZynChart());
}

CZynChart::CZynChart() : m_timeBase(CZynTimeBase::Create()) {
    char16_t id[128] = {};
    if (CreateIdentifier(id, 128)) m_identifier = id;
}

CZynChart::~CZynChart() {
    StopRunning();
    if (m_stopEvent) CloseHandle(m_stopEvent);
    // Every channel is let go as a static channel that keeps its data; then nothing refers back here.
    std::vector<CComPtr<CZynChannel>> channels;
    std::vector<CComPtr<CZynEvent>> events;
    {
        std::lock_guard guard(m_listGuard);
        channels.swap(m_channels);
        events.swap(m_events);
    }
    for (CZynChannel* channel : channels) {
        CZynLockList locks;
        channel->int_LockInto(locks);
        channel->int_ClearChart();
        (void)channel->int_SetType(typeStatic);
    }
    for (CZynEvent* event : events)
        event->ClearOwner();
    if (m_query) PdhCloseQuery(m_query);
    if (m_notification) CloseHandle(m_notification);
}

HRESULT CZynChart::QueryInterface(REFIID iid, void** out) {
    return zyn::com::ComQueryTable<CZynChart, IZynChart, IDispatch, IZynChartPrivate>(this, iid, out);
}

ULONG CZynChart::Release() {
    // With a GUI peer held, two remaining references are the peer's and the application list's: no
    // client uses the chart any more, so the peer is let go and told.
    CComPtr<IUnknown> peer;
    {
        std::lock_guard guard(m_peerGuard);
        if (RefCount() == 3 && m_peer) peer = std::move(m_peer);
    }
    if (peer) {
        int_Raise(kPeerReleased, true);
        peer.Release();
    }
    return InternalRelease();
}

// --- the tree lock ---

void CZynChart::int_LockTree(CZynLockList& locks) {
    for (;;) {
        std::vector<CComPtr<CZynChannel>> channels;
        std::uint64_t version;
        {
            std::lock_guard guard(m_listGuard);
            channels = m_channels;
            version = m_listVersion;
        }
        const std::size_t mark = locks.Size();
        locks.Add(m_timeBase->Lock(), m_timeBase.p);
        for (CZynChannel* channel : channels)
            channel->int_LockInto(locks);
        locks.Add(m_lock, this);
        {
            std::lock_guard guard(m_listGuard);
            // A channel added while this thread waited would be missing from the lock set.
            if (m_listVersion == version || locks.Failed()) return;
        }
        locks.UnlockTo(mark);
    }
}

// --- attributes ---

std::u16string CZynChart::int_Name() const {
    std::lock_guard guard(m_textGuard);
    return m_name;
}

std::u16string CZynChart::int_Comment() const {
    std::lock_guard guard(m_textGuard);
    return m_comment;
}

void CZynChart::int_SetLoaded(std::u16string_view name, std::u16string_view comment, LONG rate) {
    {
        std::lock_guard guard(m_textGuard);
        if (!name.empty()) {
            m_name = name;
            m_nameLoaded = true;
        }
        if (!comment.empty()) m_comment = comment;
    }
    m_rate.store(rate);
}

std::vector<CComPtr<CZynChannel>> CZynChart::int_Channels() const {
    std::lock_guard guard(m_listGuard);
    return m_channels;
}

std::vector<CComPtr<CZynEvent>> CZynChart::int_Events() const {
    std::lock_guard guard(m_listGuard);
    return m_events;
}

void CZynChart::int_SetOwner(CZynApp* owner, LONG chartNumber) {
    {
        std::lock_guard guard(m_ownerGuard);
        m_owner = owner;
    }
    std::lock_guard guard(m_textGuard);
    // A chart read from a record before its adoption keeps the name the record gave it, as it would
    // had the record been read after the adoption renamed it.
    if (!m_nameLoaded) m_name = zyn::obj::NumberedName(m_name, chartNumber);
}

void CZynChart::int_ClearOwner() {
    std::lock_guard guard(m_ownerGuard);
    m_owner = nullptr;
}

CComPtr<CZynApp> CZynChart::LockedOwner() {
    std::lock_guard guard(m_ownerGuard);
    CComPtr<CZynApp> owner;
    if (m_owner && m_owner->InternalTryAddRef()) owner.Attach(m_owner);
    return owner;
}

void CZynChart::int_SetCreationCallback(LONG context, LONG cookie) {
    m_callbackContext = context;
    m_callbackCookie = cookie;
}

// --- change words and notification ---

void CZynChart::int_Raise(DWORD bits, bool poke) {
    const DWORD before = m_changed.fetch_or(bits);
    if ((before & bits) == bits) return;
    m_aggregate.fetch_or(before | bits);
    if (poke) Poke();
}

void CZynChart::AggregateChanged(DWORD bits, bool poke) {
    m_aggregate.fetch_or(bits);
    if (poke) Poke();
}

void CZynChart::Poke() {
    std::lock_guard guard(m_notifyGuard);
    if (!m_notification) return;
    // After a signal the next six pokes are absorbed; a client that reads the changes resets this.
    const LONG c = m_throttle.fetch_sub(1);
    if (c < 1) {
        m_throttle.store(6);
        SetEvent(m_notification);
    }
}

HRESULT CZynChart::SetNotification(BSTR i_NotificationName) {
    m_throttle.store(0);
    std::lock_guard guard(m_notifyGuard);
    if (m_notification) {
        CloseHandle(m_notification);
        m_notification = nullptr;
    }
    if (!i_NotificationName) return E_FAIL;
    m_notification = OpenEventW(kEventAllAccess, FALSE, i_NotificationName);
    return m_notification ? S_OK : E_FAIL;
}

HRESULT CZynChart::GetChangedProperty(LONG* pVal) {
    if (!pVal) return E_POINTER;
    m_throttle.store(0);
    *pVal = static_cast<LONG>(m_changed.load());
    return S_OK;
}

HRESULT CZynChart::SetChangedProperty(LONG newVal) {
    int_Raise(static_cast<DWORD>(newVal), false);
    return S_OK;
}

HRESULT CZynChart::ClearChangedProperty(LONG newVal) {
    m_changed.fetch_and(~static_cast<DWORD>(newVal));
    return S_OK;
}

HRESULT CZynChart::GetAggregatePropChanges(LONG* pVal) {
    if (!pVal) return E_POINTER;
    m_throttle.store(0);
    *pVal = static_cast<LONG>(m_aggregate.load());
    return S_OK;
}

HRESULT CZynChart::ClearAggregatePropChanges(LONG newVal) {
    CZynLockList locks;
    int_LockTree(locks);
    const DWORD bits = static_cast<DWORD>(newVal);
    m_aggregate.fetch_and(~bits);
    for (CZynChannel* channel : int_Channels()) {
        channel->ClearChangedProperty(newVal);
        channel->int_DataSet()->ClearChangedProperty(newVal);
    }
    return S_OK;
}

HRESULT CZynChart::SetPeerWindow(IUnknown* i_pIWindow) {
    CComPtr<IUnknown> old;
    std::lock_guard guard(m_peerGuard);
    if (m_peer.p != i_pIWindow) {
        old = std::move(m_peer);
        m_peer = i_pIWindow;
    }
    return S_OK;
}

HRESULT CZynChart::PeerWindowRemoved(LONG* o_pVal) {
    if (!o_pVal) return E_POINTER;
    std::lock_guard guard(m_peerGuard);
    *o_pVal = m_peer ? 0 : 1;
    return S_OK;
}

// --- channels ---

CComPtr<CZynChannel> CZynChart::int_CreateChannel() {
    // Made static on a private axis, then attached: it shares the chart's time base from here on
    // until its type is set again.
    CComPtr<CZynChannel> channel = CZynChannel::Create();
    channel->int_Attach(this);
    {
        std::lock_guard guard(m_listGuard);
        m_channels.push_back(channel);
        ++m_listVersion;
    }
    int_Raise(kChannelAdded, true);
    return channel;
}

HRESULT CZynChart::CreateChannelOut(ZynChannelType type, IZynChannel** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<CZynChannel> channel = int_CreateChannel();
    {
        CZynLockList locks;
        channel->int_LockInto(locks);
        HRESULT hr = channel->int_SetType(type);
        if (FAILED(hr)) return hr;
    }
    return channel->QueryInterface(IZynChannel::kIID, reinterpret_cast<void**>(out));
}

HRESULT CZynChart::AddStaticChannel(IZynChannel** o_ppChannel) {
    return CreateChannelOut(typeStatic, o_ppChannel);
}
HRESULT CZynChart::AddVirtualChannel(IZynChannel** o_ppChannel) {
    return CreateChannelOut(typeVirtual, o_ppChannel);
}

HRESULT CZynChart::AddChannel(BSTR i_CounterName, IZynChannel** o_ppChannel) {
    if (!o_ppChannel) return E_POINTER;
    *o_ppChannel = nullptr;
    CComPtr<CZynChannel> channel = int_CreateChannel();
    const std::u16string path(View(i_CounterName));
    // Validating a remote machine's path can take a scrape: it happens before the tree is locked, so
    // a running chart's samples never wait for the network.
    const bool valid = PdhValidatePathW(path.c_str()) == 0;
    {
        CZynLockList locks;
        int_LockTree(locks);
        if (!valid) {
            // Not a counter: a dynamic channel that shows the text and never gets a value.
            channel->int_SetCounterText(path);
            (void)channel->int_SetType(typeDynamic);
        } else {
            if (!m_query && PdhOpenQueryW(nullptr, 0, &m_query) != 0) m_query = nullptr;
            if (m_query) {
                PDH_HCOUNTER counter = nullptr;
                const PDH_STATUS status = PdhAddCounterW(m_query, path.c_str(), 0, &counter);
                if (status == 0 && m_queryCollected && m_running.load()) {
                    // A running chart's other counters are in the middle of an interval: priming
                    // the whole query again would cut it short (and stretch the period by the
                    // priming pause). The new counter takes its baseline on its own.
                    (void)zyn::pdh::CollectCounterData(counter);
                } else {
                    m_firstCollectionPending = true;
                }
                if (status == 0) {
                    channel->int_BindCounter(counter, path, false);
                    (void)channel->int_SetType(typeDynamic);
                }
            }
        }
    }
    return channel->QueryInterface(IZynChannel::kIID, reinterpret_cast<void**>(o_ppChannel));
}

HRESULT CZynChart::FindChannel(BSTR i_ChannelName, IZynChannel** o_ppChannel) {
    if (!o_ppChannel) return E_POINTER;
    *o_ppChannel = nullptr;
    if (!i_ChannelName) return S_FALSE;
    const std::u16string_view wanted = View(i_ChannelName);
    for (CZynChannel* channel : int_Channels()) {
        if (channel->int_Identifier() == wanted || channel->int_Name() == wanted)
            return channel->QueryInterface(IZynChannel::kIID, reinterpret_cast<void**>(o_ppChannel));
    }
    return S_FALSE;
}

void CZynChart::ChannelDetached(CZynChannel* channel) {
    CComPtr<CZynChannel> keep(channel);
    {
        std::lock_guard guard(m_listGuard);
        auto it = std::find_if(m_channels.begin(), m_channels.end(),
                               [&](const CComPtr<CZynChannel>& c) { return c.p == channel; });
        if (it != m_channels.end()) {
            m_channels.erase(it);
            ++m_listVersion;
        }
    }
    channel->int_ClearChart();
    int_Raise(kChannelDetached, true);
}

HRESULT CZynChart::GetChartInterface(IZynChart** out) {
    if (!out) return E_POINTER;
    *out = this;
    AddRef();
    return S_OK;
}

HRESULT CZynChart::get_ChannelCount(LONG* pCount) {
    if (!pCount) return E_POINTER;
    std::lock_guard guard(m_listGuard);
    *pCount = static_cast<LONG>(m_channels.size());
    return S_OK;
}

HRESULT CZynChart::get_Channels(IZynChannelIter** o_ppChannelIter) {
    if (!o_ppChannelIter) return E_POINTER;
    std::vector<CComPtr<IZynChannel>> items;
    for (CZynChannel* c : int_Channels())
        items.emplace_back(static_cast<IZynChannel*>(c));
    return HandOut<IZynChannelIter>(zyn::com::MakeObject<CZynChannelIter>(std::move(items)).p,
                                    o_ppChannelIter);
}

// --- events ---

HRESULT CZynChart::AddEvent(BSTR i_EventName, IZynEvent** o_ppEvent) {
    if (!o_ppEvent) return E_POINTER;
    *o_ppEvent = nullptr;
    auto event = zyn::com::MakeObject<CZynEvent>(View(i_EventName), static_cast<CZynEventOwner*>(this));
    {
        CZynLockList locks;
        int_LockTree(locks);
        std::lock_guard guard(m_listGuard);
        m_events.push_back(event);
    }
    int_Raise(kEventAdded, true);
    return HandOut<IZynEvent>(event.p, o_ppEvent);
}

void CZynChart::int_AppendEvent(CZynEvent* event) {
    std::lock_guard guard(m_listGuard);
    m_events.emplace_back(event);
}

HRESULT CZynChart::DetachEvent(BSTR i_EventId, LONG* o_pVal) {
    if (!o_pVal) return E_POINTER;
    *o_pVal = 0;
    CComPtr<CZynEvent> detached;
    {
        CZynLockList locks;
        int_LockTree(locks);
        std::lock_guard guard(m_listGuard);
        const std::u16string_view wanted = View(i_EventId);
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            CComBSTR id;
            (*it)->get_Identifier(&id);
            if (id.View() == wanted) {
                detached = *it;
                m_events.erase(it);
                break;
            }
        }
    }
    if (!detached) return S_OK;
    detached->ClearOwner();
    *o_pVal = 1;
    int_Raise(kEventDetached, true);
    return S_OK;
}

HRESULT CZynChart::get_Events(IZynEventIter** o_ppEventIter) {
    if (!o_ppEventIter) return E_POINTER;
    std::vector<CComPtr<IZynEvent>> items;
    {
        CZynLockList locks;
        int_LockTree(locks);
        for (CZynEvent* e : int_Events())
            items.emplace_back(static_cast<IZynEvent*>(e));
    }
    return HandOut<IZynEventIter>(zyn::com::MakeObject<CZynEventIter>(std::move(items)).p, o_ppEventIter);
}

void CZynChart::StopEvents() {
    for (CZynEvent* event : int_Events())
        event->Stop();
}

// --- running and sampling ---

HRESULT CZynChart::get_Run(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = m_running.load() ? 1 : 0;
    return S_OK;
}

HRESULT CZynChart::put_Run(LONG newVal) {
    if (newVal)
        StartRunning();
    else
        StopRunning();
    return S_OK;
}

void CZynChart::StartRunning() {
    // The start time takes the tree lock; a client holding the tree may be stopping the chart,
    // which takes m_runGuard: so the tree is never taken while m_runGuard is held.
    if (!m_running.load() && m_timeBase->GetStart() == 0.0) SetChartStartTime(GetTimeAsDouble());
    std::lock_guard guard(m_runGuard);
    if (m_running.load()) return;
    if (m_thread) {
        // A thread that ended by itself (its clock ran out) is collected before a new one starts.
        WaitForSingleObject(m_thread, kStopWaitMs);
        {
            std::lock_guard link(m_sampler->guard);
            m_sampler->chart = nullptr;
        }
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    m_running.store(true);
    if (!m_stopEvent) m_stopEvent = CreateEventW(TRUE, FALSE, nullptr);
    ResetEvent(m_stopEvent);
    m_sampler = std::make_shared<SamplerLink>();
    m_sampler->chart = this;
    auto* param = new std::shared_ptr<SamplerLink>(m_sampler);
    m_thread = CreateThread(nullptr, 0, &CZynChart::SamplingThread, param, CREATE_SUSPENDED, &m_threadId);
    if (!m_thread) {
        delete param;
        m_sampler.reset();
        m_running.store(false);
        return;
    }
    SetThreadPriority(m_thread, kThreadPriorityAboveNormal);
    ResumeThread(m_thread);
}

void CZynChart::StopRunning() {
    {
        std::lock_guard guard(m_runGuard);
        const bool wasRunning = m_running.exchange(false);
        if (m_thread) {
            SetEvent(m_stopEvent);
            // The thread gives up a sample that waits for locks this caller may hold, so the wait
            // ends as soon as the current step does. A thread that still does not end in time is
            // cut off from the chart and left to end on its own.
            const bool onSamplingThread = GetCurrentThreadId() == m_threadId;
            if (!onSamplingThread) WaitForSingleObject(m_thread, kStopWaitMs);
            {
                std::lock_guard link(m_sampler->guard);
                m_sampler->chart = nullptr;
            }
            m_sampler.reset();
            CloseHandle(m_thread);
            m_thread = nullptr;
            m_threadId = 0;
        }
        if (!wasRunning) return;
    }
    StopEvents();
}

CComPtr<CZynChart> CZynChart::SamplerLink::Acquire() {
    std::lock_guard lock(guard);
    CComPtr<CZynChart> strong;
    if (chart && chart->InternalTryAddRef()) strong.Attach(chart);
    return strong;
}

DWORD CZynChart::SamplingThread(void* param) {
    std::shared_ptr<SamplerLink> link = *static_cast<std::shared_ptr<SamplerLink>*>(param);
    delete static_cast<std::shared_ptr<SamplerLink>*>(param);
    zyn::sync::SetThreadName("Dacq", 0xFFFFFFFFu);
    zyn::sync::IClock* clock = nullptr;
    {
        CComPtr<CZynChart> chart = link->Acquire();
        if (!chart) return 0;
        clock = chart->m_clock.load();
    }
    clock->Wait(nullptr, 20);
    for (;;) {
        HANDLE stop;
        DWORD rate;
        {
            // A strong reference only for the length of one sample: a chart that every client has
            // released is destroyed rather than kept alive by its own thread.
            CComPtr<CZynChart> chart = link->Acquire();
            if (!chart) break;
            stop = chart->m_stopEvent;
            if (!chart->TakeSample(stop)) break;
            rate = static_cast<DWORD>(chart->m_rate.load());
        }
        // The rate is read again each round, so a new one applies after the current wait.
        if (clock->Wait(stop, rate)) break;
    }
    return 0;
}

bool CZynChart::TakeSample(HANDLE giveUp) {
    CZynLockList locks;
    if (giveUp) {
        // Never block: a client that is stopping this chart may hold part of the tree.
        locks.SetTryMode(true);
        for (;;) {
            locks.ClearFailed();
            int_LockTree(locks);
            if (!locks.Failed()) break;
            locks.UnlockAll();
            if (WaitForSingleObject(giveUp, 1) == WAIT_OBJECT_0) return false;
        }
    } else {
        int_LockTree(locks);
    }

    const std::uint64_t now = m_clock.load()->TickMs();
    if (!m_relRunning) {
        m_relStart = now;
        m_relRunning = true;
    }
    // The relative axis holds 32-bit milliseconds (49.7 days). Past that the times would wrap onto
    // earlier ones, so the chart stops instead of storing samples under wrong times.
    if (now - m_relStart > 0xFFFFFFFFull) {
        m_running.store(false);
        return false;
    }
    const auto t = static_cast<std::uint32_t>(now - m_relStart);
    if (m_timeBase->GetStart() == 0.0 || m_restartPending.load()) {
        m_timeBase->SetStart(GetTimeAsDouble());
        m_restartPending.store(false);
        int_Raise(kStartChanged, false);
    }
    if (m_query) {
        if (m_firstCollectionPending) {
            m_firstCollectionPending = false;
            PdhCollectQueryData(m_query);
            // Rate counters need two collections apart in real time, whatever clock the chart keeps.
            Sleep(200);
        }
        PdhCollectQueryData(m_query);
        m_queryCollected = true;
        // The sampling thread comes back after one rate: remote machines are scraped just before
        // then, so that collection finds their pages and never waits for the network.
        if (giveUp) (void)zyn::pdh::ScheduleCollection(m_query, static_cast<DWORD>(m_rate.load()));
    }
    if (m_timeBase->AppendRel(t)) {
        m_lastSampleTime.store(t);
        const auto channels = int_Channels();
        for (CZynChannel* channel : channels)
            if (channel->int_Type() == typeDynamic) channel->int_TakeSample();
        for (CZynChannel* channel : channels)
            if (channel->int_Type() == typeVirtual) channel->int_TakeSample();
    }
    int_Raise(kSampled, true);
    return true;
}

HRESULT CZynChart::Sample() {
    if (m_running.load()) return S_FALSE;
    TakeSample(nullptr);
    return S_OK;
}

// --- clearing, rerunning, start time ---

HRESULT CZynChart::Clear() {
    const bool wasRunning = m_running.load();
    StopRunning();
    std::vector<CComPtr<CZynEvent>> released;
    {
        CZynLockList locks;
        int_LockTree(locks);
        for (CZynChannel* channel : int_Channels())
            if (channel->int_Type() != typeStatic) channel->Clear();
        m_timeBase->RemoveAll();
        int_Raise(kCleared, true);
        m_timeBase->SetStart(0.0);
        m_relRunning = false;
        m_lastSampleTime.store(0);
        int_Raise(kStartChanged, true);
        std::lock_guard guard(m_listGuard);
        released.swap(m_events);
    }
    for (CZynEvent* event : released)
        event->ClearOwner();
    if (wasRunning) StartRunning();
    return S_OK;
}

HRESULT CZynChart::Rerun() {
    StopRunning();
    // The channels to replace are chosen under the tree lock, and their paths checked and their
    // replacements made after it is released: a channel made while the tree is held would be
    // locked after the chart's own lock, against the order every other operation keeps, and
    // checking a remote machine's path may wait for its exporter, which must not hold the chart.
    std::vector<std::pair<CComPtr<CZynChannel>, CComBSTR>> counters;
    {
        CZynLockList locks;
        int_LockTree(locks);
        for (CZynChannel* old : int_Channels()) {
            if (old->int_Type() != typeStatic) continue;
            CComBSTR path;
            old->get_CounterPath(&path);
            if (!path.IsEmpty()) counters.emplace_back(old, std::move(path));
        }
    }
    std::vector<CComPtr<CZynChannel>> replaced;
    for (auto& [old, path] : counters) {
        if (PdhValidatePathW(path) != 0) continue;
        CComPtr<IZynChannel> fresh;
        if (FAILED(AddChannel(path, &fresh)) || !fresh) continue;
        CopyDisplay(old, fresh);
        replaced.push_back(old);
    }
    for (CZynChannel* old : replaced)
        old->Detach();
    Clear();
    StartRunning();
    return S_OK;
}

HRESULT CZynChart::SetChartStartTime(double start) {
    if (start != 0.0) {
        SYSTEMTIME st;
        if (!DoubleToSysTime(start, &st, false)) return E_INVALIDARG;
        CZynLockList locks;
        int_LockTree(locks);
        m_timeBase->SetStart(start);
        // Static channels' relative times move with the chart.
        for (CZynChannel* channel : int_Channels())
            if (channel->int_Type() == typeStatic) channel->int_TimeBase()->SetStart(start);
    } else {
        m_timeBase->SetStart(0.0);
    }
    int_Raise(kStartChanged, true);
    return S_OK;
}

HRESULT CZynChart::get_StartTime(VARIANT* o_TimeVal) {
    return DateOut(m_timeBase->GetStart(), o_TimeVal);
}

HRESULT CZynChart::put_StartTime(VARIANT newVal) {
    CComVariant date;
    HRESULT hr = VariantChangeType(&date, &newVal, 0, VT_DATE);
    if (FAILED(hr)) return zyn::obj::RaiseError(CLSID_Chart, hr, kInvalidStartTime);
    return SetChartStartTime(date.date);
}

HRESULT CZynChart::get_LastSampleTime(VARIANT* o_TimeVal) {
    return DateOut(m_timeBase->GetStart() + m_lastSampleTime.load() * CZynTimeBase::kDaysPerMs, o_TimeVal);
}

HRESULT CZynChart::get_LastTime(VARIANT* o_TimeVal) {
    if (!o_TimeVal) return E_POINTER;
    double last = m_timeBase->GetStart() + m_lastSampleTime.load() * CZynTimeBase::kDaysPerMs;
    for (CZynChannel* channel : int_Channels()) {
        if (channel->int_Type() != typeStatic) continue;
        CComVariant t;
        LONG count = 0;
        channel->get_DataCount(&count);
        if (count > 0 && SUCCEEDED(channel->get_LastTime(&t)) && t.vt == VT_DATE)
            last = std::max(last, t.date);
    }
    return DateOut(last, o_TimeVal);
}

// --- plain attributes ---

HRESULT CZynChart::get_Name(BSTR* pNameVal) {
    return TextOut(int_Name(), pNameVal);
}

HRESULT CZynChart::put_Name(BSTR newVal) {
    {
        std::lock_guard guard(m_textGuard);
        m_name = View(newVal);
    }
    int_Raise(kNameSet, true);
    return S_OK;
}

HRESULT CZynChart::get_Comment(BSTR* pComment) {
    return TextOut(int_Comment(), pComment);
}

HRESULT CZynChart::put_Comment(BSTR newVal) {
    {
        std::lock_guard guard(m_textGuard);
        m_comment = View(newVal);
    }
    int_Raise(kCommentSet, true);
    return S_OK;
}

HRESULT CZynChart::get_Rate(LONG* pRateVal) {
    if (!pRateVal) return E_POINTER;
    *pRateVal = m_rate.load();
    return S_OK;
}

HRESULT CZynChart::put_Rate(LONG newVal) {
    m_rate.store(std::clamp(newVal, kMinRate, kMaxRate));
    int_Raise(kRateSet, true);
    return S_OK;
}

HRESULT CZynChart::get_Identifier(BSTR* pIdentifier) {
    return TextOut(m_identifier, pIdentifier);
}

HRESULT CZynChart::LockObject(IZynObjLock** o_ppLock) {
    return HandOutObjLock(o_ppLock, [this](CZynLockList& locks) { int_LockTree(locks); });
}

HRESULT CZynChart::Detach() {
    CComPtr<CZynChart> self(this);
    CComPtr<CZynApp> owner = LockedOwner();
    if (owner) owner->int_RemoveChart(this);
    int_ClearOwner();
    return S_OK;
}
