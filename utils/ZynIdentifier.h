#pragma once
// Identifier texts stamped on charts, channels and events, and thread names.

#include "com/wintypes.h"

// A new GUID in braces, "{XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX}" (the third group in lower case),
// 38 characters and a terminator. False when dst is null or cch is below 39.
bool CreateIdentifier(char16_t* dst, int cch);

// Labels a worker thread for debuggers and process viewers; threadId 0xFFFFFFFF is the calling
// thread. Has no other effect: the process's main thread keeps its name, which is the program's.
void SetThreadName(const char* name, DWORD threadId);

namespace zyn::utils {
struct IdentifierBytes {
    DWORD data1;
    WORD data2;
    WORD data3;
    BYTE data4[8];
};
// The identifier's bytes when the system cannot make a GUID: the C library generator seeded from
// the tick count, an address and the cycle counter, reseeded from the cycle counter between
// pauses of up to 127 ms. Slow (around half a second) and not a proper GUID; it only keeps
// identifiers distinct. Exposed for its test.
IdentifierBytes int_FallbackIdentifierBytes(const void* salt);
} // namespace zyn::utils
