// The system clock: its waits end with their time or, sooner, with the stop event, and a stop
// handle that is no longer valid ends them as a stop would.

#include "sync/clock.h"
#include "sync/event.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemClock, AWaitEndsWithItsTimeOrSoonerWithTheStopEvent) {
    zyn::sync::IClock& clock = zyn::sync::SystemClock();
    HANDLE stop = CreateEventW(TRUE, FALSE, nullptr);
    const std::uint64_t t0 = clock.TickMs();
    EXPECT_FALSE(clock.Wait(stop, 30));
    EXPECT_FALSE(clock.Wait(nullptr, 20));
    EXPECT_GE(clock.TickMs() - t0, 50u);

    SetEvent(stop);
    const std::uint64_t t1 = clock.TickMs();
    EXPECT_TRUE(clock.Wait(stop, 60000));
    EXPECT_LT(clock.TickMs() - t1, 5000u);
    CloseHandle(stop);
    EXPECT_TRUE(clock.Wait(stop, 60000)) << "a closed stop handle ends the wait";
}

} // namespace
