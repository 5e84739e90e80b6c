#pragma once
// Threads whose handle is signalled when they end, so that an owner can wait for one with a
// time-out and read its exit code.

#include "handle.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

inline constexpr DWORD CREATE_SUSPENDED = 0x00000004;
inline constexpr DWORD STILL_ACTIVE = 259;

inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;

// The security attributes are ignored; a stack size of 0 takes the default. With CREATE_SUSPENDED
// the routine does not run before ResumeThread. threadId (may be null) receives the kernel
// thread id, the same number GetCurrentThreadId gives inside the thread.
HANDLE CreateThread(const void* securityAttributes, std::size_t stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD creationFlags, DWORD* threadId);

// Returns the previous suspend count, or 0xFFFFFFFF for a handle that is not a thread.
DWORD ResumeThread(HANDLE thread);
// STILL_ACTIVE while the thread runs, else the routine's result.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Kept for the caller to read back; raising a thread's scheduling priority needs privileges an
// ordinary desktop user does not have, so the scheduler is not asked.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);

DWORD GetCurrentThreadId();

namespace zyn::sync {

// Names a thread of this process for debuggers and `top -H`: threadId 0xFFFFFFFF (or the caller's
// own id) names the calling thread. The kernel keeps at most 15 bytes; longer names are cut.
// Returns false when the thread is not one of this process's, and for the process's main thread,
// whose name is the program's name on Linux.
bool SetThreadName(const char* name, DWORD threadId);

} // namespace zyn::sync
