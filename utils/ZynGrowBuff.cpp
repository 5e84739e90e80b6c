#include "ZynGrowBuff.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

void CZynGrowBuff::int_Free() {
    m_readOnce = false; // new content may be read more than once
    if (!m_buffer) return;
    std::free(m_buffer);
    m_buffer = nullptr;
    m_size = 0;
    m_capacity = 0;
}

void CZynGrowBuff::int_TakeHandoff(CZynGrowBuff& other) {
    if (&other == this) return;
    int_Free();
    m_buffer = other.m_buffer;
    m_size = other.m_size;
    m_capacity = other.m_capacity;
    m_readPos = 0;
    other.m_buffer = nullptr;
    other.m_size = 0;
    other.m_capacity = 0;
}

bool CZynGrowBuff::int_EnsureSize(std::uint32_t n) {
    if (m_capacity >= n) return true;
    // Small buffers roughly double; large ones grow by the shortfall plus 128 KiB, so that a run of
    // small appends is cheap without doubling multi-megabyte records.
    std::uint64_t increment = m_capacity <= 0x20000 ? n : std::uint64_t(n) - m_capacity + 0x20000;
    std::uint64_t grown = m_capacity + ((increment + 256) & ~std::uint64_t(0xFF));
    if (grown < n) grown = n;
    if (grown > 0xFFFFFFFFull) grown = 0xFFFFFFFFull;
    void* block = std::realloc(m_buffer, static_cast<std::size_t>(grown));
    if (!block) return false;
    m_buffer = static_cast<unsigned char*>(block);
    m_capacity = static_cast<std::uint32_t>(grown);
    return true;
}

std::uint32_t CZynGrowBuff::IncrementSize(std::uint32_t n) {
    std::uint64_t grown = std::uint64_t(m_size) + n;
    m_size = grown > m_capacity ? m_capacity : static_cast<std::uint32_t>(grown);
    return m_size;
}

bool CZynGrowBuff::int_WriteRaw(const void* data, std::uint32_t length) {
    if (length == 0) return true;
    if (std::uint64_t(m_size) + length > 0xFFFFFFFFull) return false;
    if (!int_EnsureSize(m_size + length)) return false;
    std::memcpy(m_buffer + m_size, data, length);
    m_size += length;
    return true;
}

void CZynGrowBuff::ReleaseReadBytes() {
    static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (!m_readOnce || !m_buffer || page == 0) return;
    const std::uint32_t read = m_readPos < m_size ? m_readPos : m_size;
    // Only pages wholly inside the block: the allocator's own bytes before it stay untouched.
    const auto begin = (reinterpret_cast<std::uintptr_t>(m_buffer) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(m_buffer) + read) / page * page;
    if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

bool CZynGrowBuff::int_ReadRaw(void* data, std::uint32_t length) {
    if (GetReadRemaining() < length) {
        std::memset(data, 0, length);
        if (m_readPos < m_size) m_readPos = m_size;
        return false;
    }
    std::memcpy(data, m_buffer + m_readPos, length);
    m_readPos += length;
    return true;
}

bool CZynGrowBuff::Write(bool v) {
    unsigned char b = v ? 1 : 0;
    return int_WriteRaw(&b, 1);
}
bool CZynGrowBuff::Write(unsigned char v) {
    return int_WriteRaw(&v, 1);
}
bool CZynGrowBuff::Write(unsigned short v) {
    return int_WriteRaw(&v, 2);
}
bool CZynGrowBuff::Write(int v) {
    return int_WriteRaw(&v, 4);
}
bool CZynGrowBuff::Write(long v) {
    auto v32 = static_cast<std::int32_t>(v);
    return int_WriteRaw(&v32, 4);
}
bool CZynGrowBuff::Write(unsigned long v) {
    auto v32 = static_cast<std::uint32_t>(v);
    return int_WriteRaw(&v32, 4);
}
bool CZynGrowBuff::Write(double v) {
    return int_WriteRaw(&v, 8);
}

bool CZynGrowBuff::Write(const void* data, unsigned long length) {
    if (length > 0xFFFFFFFFul || (length && !data)) return false;
    return int_WriteRaw(data, static_cast<std::uint32_t>(length));
}

bool CZynGrowBuff::Write(const CZynGrowBuff& other) {
    if (&other == this) {
        // Appending a buffer to itself: the block may move while growing, so copy first.
        std::uint32_t n = m_size;
        if (!int_EnsureSize(n * 2u)) return false;
        std::memcpy(m_buffer + n, m_buffer, n);
        m_size += n;
        return true;
    }
    return int_WriteRaw(other.m_buffer, other.m_size);
}

bool CZynGrowBuff::Write(const CComBSTR& s) {
    std::uint32_t n = s.Length();
    if (!Write(static_cast<unsigned long>(n))) return false;
    if (n == 0) return true;
    // The units and the terminator, exactly as stored (embedded zeros included).
    return int_WriteRaw(s.m_str, 2 * n + 2);
}

bool CZynGrowBuff::Write(const char16_t* s) {
    std::size_t n = zyn::com::StrLen16(s);
    if (n > 0x7FFFFFFE) return false;
    if (!Write(static_cast<unsigned long>(n))) return false;
    if (n == 0) return true;
    return int_WriteRaw(s, static_cast<std::uint32_t>(2 * n + 2));
}

bool CZynGrowBuff::Read(bool& v) {
    unsigned char b = 0;
    bool ok = int_ReadRaw(&b, 1);
    v = b != 0;
    return ok;
}
bool CZynGrowBuff::Read(unsigned char& v) {
    return int_ReadRaw(&v, 1);
}
bool CZynGrowBuff::Read(unsigned short& v) {
    return int_ReadRaw(&v, 2);
}
bool CZynGrowBuff::Read(int& v) {
    return int_ReadRaw(&v, 4);
}
bool CZynGrowBuff::Read(long& v) {
    std::int32_t v32 = 0;
    bool ok = int_ReadRaw(&v32, 4);
    v = v32;
    return ok;
}
bool CZynGrowBuff::Read(unsigned long& v) {
    std::uint32_t v32 = 0;
    bool ok = int_ReadRaw(&v32, 4);
    v = v32;
    return ok;
}
bool CZynGrowBuff::Read(double& v) {
    return int_ReadRaw(&v, 8);
}

bool CZynGrowBuff::Read(CComBSTR& s) {
    std::uint32_t n = 0;
    if (!int_ReadRaw(&n, 4)) return false;
    if (n == 0) return true; // the target keeps what it had
    std::uint64_t bytes = 2ull * n + 2;
    if (GetReadRemaining() < bytes) {
        // A count that runs past the data: take nothing, and stop at the end.
        m_readPos = m_size;
        return false;
    }
    // The text ends at the first zero unit; the position still moves past all n units.
    const unsigned char* at = m_buffer + m_readPos;
    std::uint32_t len = 0;
    while (len < n) {
        char16_t unit;
        std::memcpy(&unit, at + 2 * std::size_t(len), 2);
        if (unit == 0) break;
        ++len;
    }
    std::u16string text(len, u'\0');
    std::memcpy(text.data(), at, 2 * std::size_t(len));
    BSTR fresh = zyn::com::AllocBstr(text);
    if (!fresh && len) return false;
    s.Attach(fresh);
    m_readPos += static_cast<std::uint32_t>(bytes);
    return true;
}
