#include "handle.h"

#include "dispatcher_p.h"

#include <chrono>
#include <thread>

namespace zyn::sync::detail {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// A handle is the slot index in the low half and the slot's generation in the high half, so a
// handle kept after its close no longer matches once the slot is reused.
HANDLE MakeHandle(std::uint32_t index, std::uint32_t generation) {
    return reinterpret_cast<HANDLE>(std::uintptr_t(generation) << 32 | std::uintptr_t(index + 1));
}

} // namespace

Dispatcher& Dispatcher::Instance() {
    // Never destroyed: threads may still wait or end while the process exits.
    static Dispatcher* instance = new Dispatcher;
    return *instance;
}

const Dispatcher::Slot* Dispatcher::SlotOf(HANDLE h) const {
    const auto value = reinterpret_cast<std::uintptr_t>(h);
    const auto low = std::uint32_t(value & 0xFFFFFFFFu);
    const auto generation = std::uint32_t(value >> 32);
    if (low == 0 || low > m_slots.size()) return nullptr;
    const Slot& slot = m_slots[low - 1];
    if (!slot.object || slot.generation != generation) return nullptr;
    return &slot;
}

HANDLE Dispatcher::Insert(std::shared_ptr<WaitableObject> object) {
    std::uint32_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
    } else {
        if (m_slots.size() >= 0xFFFFFFF0u) return nullptr;
        try {
            m_slots.emplace_back();
            m_free.reserve(m_slots.size()); // so that Remove never allocates
        } catch (...) {
            return nullptr;
        }
        index = std::uint32_t(m_slots.size() - 1);
    }
    m_slots[index].object = std::move(object);
    return MakeHandle(index, m_slots[index].generation);
}

std::shared_ptr<WaitableObject> Dispatcher::Find(HANDLE h) const {
    const Slot* slot = SlotOf(h);
    return slot ? slot->object : nullptr;
}

std::shared_ptr<WaitableObject> Dispatcher::Remove(HANDLE h) {
    auto* slot = const_cast<Slot*>(SlotOf(h));
    if (!slot) return nullptr;
    auto object = std::move(slot->object);
    slot->object.reset();
    ++slot->generation;
    if (slot->generation == 0) slot->generation = 1;
    m_free.push_back(std::uint32_t(slot - m_slots.data()));
    return object;
}

} // namespace zyn::sync::detail

using zyn::sync::detail::Dispatcher;
using zyn::sync::detail::WaitableObject;

DWORD GetLastError() {
    return zyn::sync::detail::t_lastError;
}
void SetLastError(DWORD error) {
    zyn::sync::detail::t_lastError = error;
}

BOOL CloseHandle(HANDLE h) {
    std::shared_ptr<WaitableObject> gone;
    {
        auto& d = Dispatcher::Instance();
        std::lock_guard lock(d.mutex);
        gone = d.Remove(h);
    }
    if (!gone) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &h, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // Declared before the lock so that the references are dropped after it is released.
    std::vector<std::shared_ptr<WaitableObject>> objects(count);
    auto& d = Dispatcher::Instance();
    std::unique_lock lock(d.mutex);
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = d.Find(handles[i]);
        if (!objects[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (waitAll) {
            for (DWORD j = 0; j < i; ++j) {
                if (objects[j] == objects[i]) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
            }
        }
    }

    auto trySatisfy = [&]() -> DWORD {
        if (waitAll) {
            for (auto& o : objects)
                if (!o->IsSignalled()) return WAIT_TIMEOUT;
            for (auto& o : objects)
                o->Acquire();
            return WAIT_OBJECT_0;
        }
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->IsSignalled()) {
                objects[i]->Acquire();
                return WAIT_OBJECT_0 + i;
            }
        }
        return WAIT_TIMEOUT;
    };

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        DWORD result = trySatisfy();
        if (result != WAIT_TIMEOUT) return result;
        if (milliseconds == 0) return WAIT_TIMEOUT;
        if (milliseconds == INFINITE) {
            d.changed.wait(lock);
        } else if (d.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            return trySatisfy();
        }
    }
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
