#include "ZynIdentifier.h"

#include "com/guid.h"
#include "sync/thread.h"
#include "sync/tick.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace zyn::utils {

IdentifierBytes int_FallbackIdentifierBytes(const void* salt) {
    const std::uint64_t tsc = zyn::sync::ReadCycleCounter();
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(salt));
    std::srand(GetTickCount() * address * std::uint32_t(tsc >> 32) * std::uint32_t(tsc));
    BYTE bytes[16];
    for (int k = 15; k >= 0; --k) {
        if (k % 2) {
            bytes[15 - k] = static_cast<BYTE>(std::rand() & 0xFF);
        } else {
            Sleep(DWORD(std::rand() & 0x7F));
            const std::uint64_t now = zyn::sync::ReadCycleCounter();
            std::srand(std::uint32_t(now));
            bytes[15 - k] = static_cast<BYTE>(now & 0xFF);
        }
    }
    IdentifierBytes id{};
    id.data1 = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    id.data2 = WORD(bytes[4] | bytes[5] << 8);
    id.data3 = WORD(bytes[6] | bytes[7] << 8);
    for (int i = 0; i < 8; ++i)
        id.data4[i] = bytes[8 + i];
    return id;
}

} // namespace zyn::utils

bool CreateIdentifier(char16_t* dst, int cch) {
    // The terminator must fit too: a 38-character buffer would get an unterminated text.
    if (!dst || cch < 39) return false;
    GUID guid;
    zyn::utils::IdentifierBytes id{};
    if (SUCCEEDED(CoCreateGuid(&guid)) && guid != GUID_NULL) {
        id.data1 = guid.Data1;
        id.data2 = guid.Data2;
        id.data3 = guid.Data3;
        for (int i = 0; i < 8; ++i)
            id.data4[i] = guid.Data4[i];
    } else {
        id = zyn::utils::int_FallbackIdentifierBytes(dst);
    }
    char text[40];
    const int n =
        std::snprintf(text, sizeof text, "{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      unsigned(id.data1), unsigned(id.data2), unsigned(id.data3), id.data4[0], id.data4[1],
                      id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
    if (n != 38) return false;
    for (int i = 0; i <= n; ++i)
        dst[i] = static_cast<char16_t>(text[i]);
    return true;
}

void SetThreadName(const char* name, DWORD threadId) {
    zyn::sync::SetThreadName(name, threadId);
}
