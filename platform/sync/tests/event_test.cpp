#include "sync/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    HANDLE e = CreateEventW(TRUE, FALSE, nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(e));
}

TEST(Event, AutoResetIsConsumedByOneWait) {
    HANDLE e = CreateEventW(FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST(Event, AutoResetReleasesExactlyOneOfSeveralWaiters) {
    HANDLE e = CreateEventW(FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    auto waiter = [&] {
        if (WaitForSingleObject(e, 3000) == WAIT_OBJECT_0) ++released;
    };
    std::thread a(waiter), b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SetEvent(e);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(released.load(), 1);
    SetEvent(e);
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST(Event, SameNameGivesTheSameEventUntilTheLastHandleCloses) {
    const char16_t* name = u"cn7f001234";
    EXPECT_EQ(OpenEventW(name), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    HANDLE first = CreateEventW(TRUE, FALSE, name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    // The second creation keeps the first's manual reset and state.
    HANDLE second = CreateEventW(FALSE, TRUE, name);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_NE(first, second);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);

    HANDLE opened = OpenEventW(EVENT_ALL_ACCESS, FALSE, name);
    ASSERT_NE(opened, nullptr);
    SetEvent(opened);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0); // manual: still set

    CloseHandle(first);
    CloseHandle(second);
    EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
    CloseHandle(opened);
    EXPECT_EQ(OpenEventW(name), nullptr);

    // A new event under the old name starts afresh.
    HANDLE again = CreateEventW(TRUE, FALSE, name);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT);
    CloseHandle(again);
}

TEST(Event, DistinctNamesAreDistinctEvents) {
    HANDLE a = CreateEventW(TRUE, FALSE, u"cnA");
    HANDLE b = CreateEventW(TRUE, FALSE, u"cna");
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
    CloseHandle(a);
    CloseHandle(b);
}

TEST(Wait, AnyReportsTheFirstSignalledIndexAndConsumesOnlyThatOne) {
    HANDLE h[3] = {CreateEventW(FALSE, FALSE, nullptr), CreateEventW(FALSE, TRUE, nullptr),
                   CreateEventW(FALSE, TRUE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_TIMEOUT);
    for (HANDLE x : h)
        CloseHandle(x);
}

TEST(Wait, TimeOutWaitsAtLeastTheTimeGiven) {
    HANDLE h[2] = {CreateEventW(TRUE, FALSE, nullptr), CreateEventW(FALSE, FALSE, nullptr)};
    auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, h, FALSE, 80), WAIT_TIMEOUT);
    EXPECT_GE(MsSince(start), 80);
    start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(h[0], 30), WAIT_TIMEOUT);
    EXPECT_GE(MsSince(start), 30);
    for (HANDLE x : h)
        CloseHandle(x);
}

TEST(Wait, AnyWakesWhenAnotherThreadSignals) {
    HANDLE h[2] = {CreateEventW(TRUE, FALSE, nullptr), CreateEventW(TRUE, FALSE, nullptr)};
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SetEvent(h[1]);
    });
    auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, h, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_LT(MsSince(start), 2000);
    t.join();
    for (HANDLE x : h)
        CloseHandle(x);
}

TEST(Wait, AllConsumesNothingUntilEverythingIsSignalled) {
    HANDLE h[2] = {CreateEventW(FALSE, TRUE, nullptr), CreateEventW(TRUE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(2, h, TRUE, 20), WAIT_TIMEOUT);
    // The auto-reset event must still be set: a failed wait-all takes nothing.
    EXPECT_EQ(WaitForSingleObject(h[0], 0), WAIT_OBJECT_0);
    SetEvent(h[0]);
    SetEvent(h[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, h, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(h[0], 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(h[1], 0), WAIT_OBJECT_0);
    for (HANDLE x : h)
        CloseHandle(x);
}

TEST(Wait, BadHandlesAndArgumentsFailWithoutTouchingAnything) {
    HANDLE e = CreateEventW(TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(e));
    EXPECT_FALSE(ResetEvent(e));
    EXPECT_FALSE(CloseHandle(e));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(std::uintptr_t(0xDEADBEEF12345)), 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(~std::uintptr_t(0)), 0), WAIT_FAILED);

    // The slot of a closed handle is reused; the old handle must not reach the new event.
    HANDLE reused = CreateEventW(TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(reused, 0), WAIT_OBJECT_0);

    HANDLE pair[2] = {reused, reused};
    EXPECT_EQ(WaitForMultipleObjects(2, pair, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(2, pair, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(0, pair, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, pair, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    HANDLE mixed[2] = {reused, e};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
    CloseHandle(reused);
}

TEST(Wait, ClosingAHandleSomeoneWaitsOnEndsInATimeOutNotACrash) {
    HANDLE e = CreateEventW(TRUE, FALSE, nullptr);
    std::atomic<DWORD> result{0};
    std::thread t([&] { result = WaitForSingleObject(e, 150); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    CloseHandle(e);
    t.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

TEST(Lock, IsRecursiveAndExcludesOtherThreads) {
    CComAutoCriticalSection cs;
    {
        CComCritSecLock<CComAutoCriticalSection> outer(cs);
        CComCritSecLock<CComAutoCriticalSection> inner(cs);
        bool otherGotIt = true;
        std::thread([&] { otherGotIt = cs.TryLock(); }).join();
        EXPECT_FALSE(otherGotIt);
        inner.Unlock();
        std::thread([&] { otherGotIt = cs.TryLock(); }).join();
        EXPECT_FALSE(otherGotIt); // still held once by the outer guard
    }
    bool otherGotIt = false;
    std::thread([&] {
        otherGotIt = cs.TryLock();
        if (otherGotIt) cs.Unlock();
    }).join();
    EXPECT_TRUE(otherGotIt);
}

TEST(Tick, FollowsTheMonotonicClockModulo32Bits) {
    zyn::sync::SetTickCountOffset(0);
    DWORD before = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_LE(DWORD(GetTickCount64()) - GetTickCount(), 5u);
}

TEST(Tick, OffsetCarriesTheCounterAcrossItsWrap) {
    DWORD now = DWORD(GetTickCount64());
    zyn::sync::SetTickCountOffset(0xFFFFFFFFu - now - 10); // ten milliseconds before the wrap
    DWORD before = GetTickCount();
    EXPECT_GT(before, 0xFFFFFF00u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    DWORD after = GetTickCount();
    zyn::sync::SetTickCountOffset(0);
    EXPECT_LT(after, before); // it wrapped
    EXPECT_GE(DWORD(after - before), 30u);
    EXPECT_LT(DWORD(after - before), 2000u);
}

TEST(Tick, CycleCounterAdvances) {
    ULONGLONG a = zyn::sync::ReadCycleCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ULONGLONG b = zyn::sync::ReadCycleCounter();
    EXPECT_GT(b, a);
    EXPECT_GT(b - a, 100000u); // 2 ms is far more than 100,000 cycles or nanoseconds
}

} // namespace
