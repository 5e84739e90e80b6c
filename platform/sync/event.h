#pragma once
// Events, manual- or auto-reset. Names are looked up within this process: creating or opening an
// existing name gives a new handle to the same event. Names are case-sensitive.

#include "handle.h"

inline constexpr DWORD SYNCHRONIZE = 0x00100000;
inline constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
inline constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003;

// A name already in use gives a handle to the existing event (its reset mode and state are kept)
// and sets the last error to ERROR_ALREADY_EXISTS. A null or empty name makes an unnamed event.
HANDLE CreateEventW(BOOL manualReset, BOOL initialState, LPCWSTR name);
// The Windows-shaped form; the security attributes are ignored.
HANDLE CreateEventW(const void* securityAttributes, BOOL manualReset, BOOL initialState, LPCWSTR name);

// Null with ERROR_FILE_NOT_FOUND when no event of that name exists. The access rights are not
// checked: every handle may wait on, set and reset its event.
HANDLE OpenEventW(LPCWSTR name);
HANDLE OpenEventW(DWORD desiredAccess, BOOL inheritHandle, LPCWSTR name);

BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);
