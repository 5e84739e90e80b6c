#pragma once
// The one lock and condition under which every waitable object changes state and every wait
// looks at it, and the table that turns handles into objects. One process-wide dispatcher keeps
// wait-all atomic over any mix of objects; the program has a few dozen threads at most, so the
// broadcast on every state change costs nothing that matters.

#include "handle.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zyn::sync::detail {

class WaitableObject {
public:
    virtual ~WaitableObject() = default;
    // Both are called with the dispatcher lock held.
    virtual bool IsSignalled() const = 0;
    // The wait that was satisfied by this object takes its due (an auto-reset event resets).
    virtual void Acquire() {}
};

class Dispatcher {
public:
    static Dispatcher& Instance();

    std::mutex mutex;
    std::condition_variable changed;

    // All three expect the lock held. A null result means the handle is not (or no longer) valid.
    HANDLE Insert(std::shared_ptr<WaitableObject> object);
    std::shared_ptr<WaitableObject> Find(HANDLE h) const;
    // The caller lets the result go after unlocking, so that no destructor runs under the lock.
    std::shared_ptr<WaitableObject> Remove(HANDLE h);

private:
    struct Slot {
        std::shared_ptr<WaitableObject> object;
        std::uint32_t generation = 1;
    };
    const Slot* SlotOf(HANDLE h) const;

    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_free;
};

} // namespace zyn::sync::detail
