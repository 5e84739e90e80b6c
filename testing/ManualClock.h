#pragma once
// A clock that moves only when told: scheduled code given this clock waits until the test advances
// it, so the test decides exactly when each period ends and reads exact times back.
//
//     zyn::test::ManualClock clock;
//     chart->int_SetClock(clock);
//     chart->put_Run(1);
//     ASSERT_TRUE(clock.AwaitWaiters(1));   // the thread waits for its first period
//     ASSERT_TRUE(clock.Advance(200, 1));   // one period: one sample, and it waits again

#include "sync/clock.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zyn::test {

class ManualClock final : public zyn::sync::IClock {
public:
    explicit ManualClock(std::uint64_t startMs = 1000000);
    ~ManualClock() override;

    std::uint64_t TickMs() override;
    // Blocks until Advance reaches the end of the wait or `stop` is signalled. With advance-on-wait
    // the wait moves the time itself and returns at once.
    bool Wait(HANDLE stop, DWORD ms) override;

    // For code that waits on the test's own thread (start-up, GUI timers): each wait moves the
    // time forward by its whole length instead of blocking.
    void SetAdvanceOnWait(bool on);

    // Moves the time forward, wakes every wait that has come due, then returns once `waiters`
    // threads are waiting again for a time still ahead. False when they are not within the hang
    // guard (a test failure, never a means of synchronisation).
    [[nodiscard]] bool Advance(std::uint64_t ms, std::size_t waiters = 0);
    // Returns once `count` threads wait for a time still ahead (false after the hang guard).
    [[nodiscard]] bool AwaitWaiters(std::size_t count);
    // Returns once `total` blocking waits have ended since the clock was made: the waiting thread
    // has gone on to its next step.
    [[nodiscard]] bool AwaitWaitsEnded(std::size_t total);
    // The length of every wait asked for so far, in order.
    std::vector<DWORD> Waits() const;

    static constexpr std::chrono::seconds kHangGuard{15};

private:
    struct Sleeper {
        std::uint64_t deadline = 0;
        HANDLE wake = nullptr;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_now;
    bool m_advanceOnWait = false;
    bool m_closing = false;
    std::vector<std::shared_ptr<Sleeper>> m_sleepers;
    std::vector<DWORD> m_waits;
    std::size_t m_ended = 0;
};

} // namespace zyn::test
