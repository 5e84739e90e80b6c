#pragma once
// Kernel-object handles and the waits on them. Every waitable object (events, threads) lives
// behind a HANDLE; a handle that was closed or never issued is refused with WAIT_FAILED or FALSE
// and ERROR_INVALID_HANDLE, never followed into freed memory.

#include "com/wintypes.h"

using HANDLE = void*;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
inline constexpr DWORD WAIT_ABANDONED = 0x00000080;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

#include "com/winerror.h"

// The calling thread's last error, as the handle functions leave it.
DWORD GetLastError();
void SetLastError(DWORD error);

// Drops one reference to the object; the object goes when its last handle (and any wait still
// holding it) is gone. A thread keeps running when its handle is closed.
BOOL CloseHandle(HANDLE h);

// Auto-reset events are consumed by the wait that is satisfied by them, so exactly one waiter is
// released per SetEvent. A wait on several handles with waitAll consumes nothing until every
// handle is signalled at the same moment. The result is WAIT_OBJECT_0 + index of the first
// signalled handle (or WAIT_OBJECT_0 for waitAll), WAIT_TIMEOUT, or WAIT_FAILED for a bad handle,
// a count outside 1..MAXIMUM_WAIT_OBJECTS, or one object named twice in a waitAll.
DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

void Sleep(DWORD milliseconds);
