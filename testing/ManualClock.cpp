#include "ManualClock.h"

#include "sync/event.h"

#include <algorithm>
#include <limits>

namespace zyn::test {

namespace {

bool Signalled(HANDLE stop) {
    return stop && WaitForSingleObject(stop, 0) != WAIT_TIMEOUT;
}

} // namespace

ManualClock::ManualClock(std::uint64_t startMs) : m_now(startMs) {}

ManualClock::~ManualClock() {
    // A thread still waiting here would block for ever on a clock that is gone: it is told to stop
    // instead, and the clock lives until it has left.
    std::unique_lock lock(m_mutex);
    m_closing = true;
    for (const auto& sleeper : m_sleepers)
        SetEvent(sleeper->wake);
    m_changed.wait_for(lock, kHangGuard, [&] { return m_sleepers.empty(); });
}

std::uint64_t ManualClock::TickMs() {
    std::lock_guard lock(m_mutex);
    return m_now;
}

bool ManualClock::Wait(HANDLE stop, DWORD ms) {
    std::unique_lock lock(m_mutex);
    m_waits.push_back(ms);
    if (m_closing) return true;
    if (m_advanceOnWait || ms == 0) {
        if (m_advanceOnWait && ms != INFINITE) m_now += ms;
        return Signalled(stop);
    }
    auto sleeper = std::make_shared<Sleeper>();
    sleeper->deadline = ms == INFINITE ? std::numeric_limits<std::uint64_t>::max() : m_now + ms;
    sleeper->wake = CreateEventW(FALSE, FALSE, nullptr);
    m_sleepers.push_back(sleeper);
    m_changed.notify_all();
    lock.unlock();

    const HANDLE handles[2] = {sleeper->wake, stop};
    const DWORD rc = WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, INFINITE);

    lock.lock();
    std::erase(m_sleepers, sleeper);
    ++m_ended;
    const bool closing = m_closing;
    m_changed.notify_all();
    lock.unlock();
    CloseHandle(sleeper->wake);
    return rc != WAIT_OBJECT_0 || closing;
}

void ManualClock::SetAdvanceOnWait(bool on) {
    std::lock_guard lock(m_mutex);
    m_advanceOnWait = on;
}

bool ManualClock::Advance(std::uint64_t ms, std::size_t waiters) {
    std::unique_lock lock(m_mutex);
    m_now += ms;
    // Due sleepers leave the list here, so that the count below only sees waits begun afterwards
    // or still ahead.
    std::erase_if(m_sleepers, [this](const std::shared_ptr<Sleeper>& s) {
        if (s->deadline > m_now) return false;
        SetEvent(s->wake);
        return true;
    });
    return m_changed.wait_for(lock, kHangGuard, [&] { return m_sleepers.size() >= waiters; });
}

bool ManualClock::AwaitWaiters(std::size_t count) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kHangGuard, [&] { return m_sleepers.size() >= count; });
}

bool ManualClock::AwaitWaitsEnded(std::size_t total) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kHangGuard, [&] { return m_ended >= total; });
}

std::vector<DWORD> ManualClock::Waits() const {
    std::lock_guard lock(m_mutex);
    return m_waits;
}

} // namespace zyn::test
