#include "sync/sync.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

struct Sampler {
    HANDLE stop = nullptr;
    std::atomic<int> rounds{0};
    std::atomic<DWORD> idInside{0};
};

// The shape of a sampling loop: work, then wait for the stop event for one period.
DWORD SamplerLoop(void* p) {
    auto* s = static_cast<Sampler*>(p);
    s->idInside = GetCurrentThreadId();
    for (;;) {
        ++s->rounds;
        if (WaitForSingleObject(s->stop, 5) == WAIT_OBJECT_0) break;
    }
    return 7;
}

DWORD Nap(void* p) {
    Sleep(*static_cast<DWORD*>(p));
    return 3;
}

TEST(Thread, HandleIsSignalledWhenTheThreadEndsAndKeepsItsExitCode) {
    Sampler s;
    s.stop = CreateEventW(TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, SamplerLoop, &s, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_GT(s.rounds.load(), 0);
    EXPECT_EQ(id, s.idInside.load());
    EXPECT_NE(id, GetCurrentThreadId());

    SetEvent(s.stop);
    EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0); // stays signalled
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(t);
    CloseHandle(s.stop);
}

TEST(Thread, WaitAnyOverAThreadAndAnEvent) {
    DWORD ms = 20;
    HANDLE t = CreateThread(nullptr, 0, Nap, &ms, 0, nullptr);
    HANDLE e = CreateEventW(TRUE, FALSE, nullptr);
    HANDLE both[2] = {e, t};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 10000), WAIT_OBJECT_0 + 1);
    CloseHandle(t);
    CloseHandle(e);
}

TEST(Thread, SuspendedThreadRunsOnlyAfterResume) {
    Sampler s;
    s.stop = CreateEventW(TRUE, TRUE, nullptr);
    HANDLE t = CreateThread(nullptr, std::size_t(64 * 1024), SamplerLoop, &s, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_ABOVE_NORMAL));
    EXPECT_EQ(GetThreadPriority(t), THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
    EXPECT_EQ(s.rounds.load(), 0);
    EXPECT_EQ(ResumeThread(t), 1u);
    EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(s.rounds.load(), 1);
    EXPECT_EQ(ResumeThread(t), 0u);
    CloseHandle(t);
    CloseHandle(s.stop);
}

TEST(Thread, ClosingTheHandleEarlyLeavesTheThreadRunningSafely) {
    DWORD ms = 30;
    HANDLE t = CreateThread(nullptr, 0, Nap, &ms, 0, nullptr);
    ASSERT_TRUE(CloseHandle(t));
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(t, &code));
    EXPECT_EQ(ResumeThread(t), 0xFFFFFFFFu);
    Sleep(80); // let it end before the test binary might
}

TEST(Thread, EventHandlesAreNotThreads) {
    HANDLE e = CreateEventW(TRUE, FALSE, nullptr);
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(e, &code));
    EXPECT_EQ(ResumeThread(e), 0xFFFFFFFFu);
    CloseHandle(e);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
}

std::string CommOf(DWORD tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%u/comm", unsigned(tid));
    std::FILE* f = std::fopen(path, "r");
    if (!f) return {};
    char buf[32] = {};
    if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
    std::fclose(f);
    std::string s(buf);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

TEST(ThreadName, NamesTheCallerOrAnotherThreadOfThisProcess) {
    std::string own, longName;
    std::thread([&] {
        EXPECT_TRUE(zyn::sync::SetThreadName("Dacq", 0xFFFFFFFF));
        own = CommOf(GetCurrentThreadId());
        EXPECT_TRUE(zyn::sync::SetThreadName("ChrtNtfyWithAVeryLongName", GetCurrentThreadId()));
        longName = CommOf(GetCurrentThreadId());
    }).join();
    EXPECT_EQ(own, "Dacq");
    EXPECT_EQ(longName, "ChrtNtfyWithAVe");

    Sampler s;
    s.stop = CreateEventW(TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, SamplerLoop, &s, 0, &id);
    EXPECT_TRUE(zyn::sync::SetThreadName("Main", id));
    EXPECT_EQ(CommOf(id), "Main");
    SetEvent(s.stop);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    CloseHandle(s.stop);

    EXPECT_FALSE(zyn::sync::SetThreadName("x", 0x7FFFFFF0)); // not a thread of ours
    EXPECT_FALSE(zyn::sync::SetThreadName(nullptr, 0xFFFFFFFF));
}

// On Linux the main thread's name is the program's name: naming it would rename the process in
// ps, top and pidof. Only other threads take names.
TEST(ThreadName, TheMainThreadKeepsTheProgramsName) {
    const DWORD mainId = DWORD(getpid());
    ASSERT_EQ(GetCurrentThreadId(), mainId) << "tests run on the main thread";
    const std::string before = CommOf(mainId);
    EXPECT_FALSE(zyn::sync::SetThreadName("Main", 0xFFFFFFFF));
    EXPECT_FALSE(zyn::sync::SetThreadName("Main", mainId));
    bool fromWorker = true;
    std::thread([&] { fromWorker = zyn::sync::SetThreadName("Main", mainId); }).join();
    EXPECT_FALSE(fromWorker);
    EXPECT_EQ(CommOf(mainId), before);
    EXPECT_NE(before, "Main");
}

TEST(ThreadName, LongUtf8NameIsNotCutInsideACharacter) {
    std::string got;
    std::thread([&] {
        // 14 ASCII bytes then a two-byte character: byte 15 would split it.
        zyn::sync::SetThreadName("abcdefghijklmn\xC3\xA9z", 0xFFFFFFFF);
        got = CommOf(GetCurrentThreadId());
    }).join();
    EXPECT_EQ(got, "abcdefghijklmn");
}

} // namespace
