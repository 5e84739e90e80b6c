#pragma once
// A contiguous growable array of plain values for the value stores and time axes. Its growth rule is
// part of the memory budget of a long recording: up to 8192 entries it grows by half like an ordinary
// sequence container; from then on, when full, it grows by half the count rounded down to a
// multiple of 32. Failure to grow is reported, never thrown.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <class T> class CZynGrowArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    // Indexes cross the interfaces as 32-bit signed values, so no array may hold more.
    static constexpr std::uint32_t kMaxCount = 0x7FFFFFFF;
    static constexpr std::uint32_t kLinearGrowthFrom = 8192;

    CZynGrowArray() = default;
    ~CZynGrowArray() { std::free(m_data); }
    CZynGrowArray(const CZynGrowArray&) = delete;
    CZynGrowArray& operator=(const CZynGrowArray&) = delete;

    static std::uint32_t NextCapacity(std::uint32_t count, std::uint32_t capacity) {
        std::uint64_t next = count < kLinearGrowthFrom ? std::uint64_t(capacity) + capacity / 2
                                                       : std::uint64_t(count) + ((count / 2) & ~31u);
        if (next < std::uint64_t(count) + 1) next = std::uint64_t(count) + 1;
        return next > kMaxCount ? kMaxCount : static_cast<std::uint32_t>(next);
    }

    std::uint32_t Count() const { return m_count; }
    std::uint32_t Capacity() const { return m_capacity; }
    const T* Data() const { return m_data; }
    T* Data() { return m_data; }
    T operator[](std::uint32_t i) const { return m_data[i]; }
    T& operator[](std::uint32_t i) { return m_data[i]; }
    std::size_t AllocatedBytes() const { return std::size_t(m_capacity) * sizeof(T); }

    // Makes room for one more entry; false when the limit or the heap says no.
    [[nodiscard]] bool ReserveOne() {
        if (m_count < m_capacity) return true;
        if (m_count >= kMaxCount) return false;
        return int_Reallocate(NextCapacity(m_count, m_capacity));
    }
    [[nodiscard]] bool Append(T v) {
        if (m_count == m_capacity && !ReserveOne()) return false;
        m_data[m_count++] = v;
        return true;
    }
    // Room for `extra` more entries in one step, for a loader that knows how many will follow.
    [[nodiscard]] bool Reserve(std::uint32_t extra) {
        const std::uint64_t wanted = std::uint64_t(m_count) + extra;
        if (wanted > kMaxCount) return false;
        if (wanted <= m_capacity) return true;
        return int_Reallocate(static_cast<std::uint32_t>(wanted));
    }
    // Room for `extra` more entries for an appender that does not know how many will follow: grows
    // by the rule of single appends (at least to what is asked), so that runs cost no more.
    [[nodiscard]] bool ReserveForAppends(std::uint32_t extra) {
        const std::uint64_t wanted = std::uint64_t(m_count) + extra;
        if (wanted > kMaxCount) return false;
        if (wanted <= m_capacity) return true;
        // The capacity single appends would move to when they fill the present one.
        const std::uint64_t grown = NextCapacity(m_capacity, m_capacity);
        return int_Reallocate(static_cast<std::uint32_t>(wanted > grown ? wanted : grown));
    }
    // Only after ReserveOne() succeeded.
    void AppendReserved(T v) { m_data[m_count++] = v; }
    // Appends `n` entries in one step; false (nothing appended) when the limit or the heap says no.
    [[nodiscard]] bool AppendMany(const T* v, std::uint32_t n) {
        if (!ReserveForAppends(n)) return false;
        if (n) std::memcpy(m_data + m_count, v, std::size_t(n) * sizeof(T));
        m_count += n;
        return true;
    }

    [[nodiscard]] bool CopyFrom(const CZynGrowArray& other) {
        if (this == &other) return true;
        if (other.m_count > m_capacity && !int_Reallocate(other.m_count)) return false;
        if (other.m_count) std::memcpy(m_data, other.m_data, std::size_t(other.m_count) * sizeof(T));
        m_count = other.m_count;
        return true;
    }

    void RemoveLast() {
        if (m_count) --m_count;
    }

    void RemoveAll() {
        std::free(m_data);
        m_data = nullptr;
        m_count = m_capacity = 0;
    }

private:
    bool int_Reallocate(std::uint32_t capacity) {
        void* fresh = std::realloc(m_data, std::size_t(capacity) * sizeof(T));
        if (!fresh) return false;
        m_data = static_cast<T*>(fresh);
        m_capacity = capacity;
        return true;
    }

    T* m_data = nullptr;
    std::uint32_t m_count = 0;
    std::uint32_t m_capacity = 0;
};
