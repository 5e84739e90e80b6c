#include "event.h"

#include "dispatcher_p.h"

#include <map>
#include <string>

namespace zyn::sync::detail {
namespace {

class Event;

// Names map to events that are alive; an entry whose event has gone is dropped by the event.
std::map<std::u16string, std::weak_ptr<Event>>& Names() {
    static auto* names = new std::map<std::u16string, std::weak_ptr<Event>>;
    return *names;
}

class Event final : public WaitableObject {
public:
    Event(bool isManualReset, bool initiallySignalled, std::u16string eventName)
        : manualReset(isManualReset), signalled(initiallySignalled), name(std::move(eventName)) {}
    ~Event() override {
        if (name.empty()) return;
        auto& d = Dispatcher::Instance();
        std::lock_guard lock(d.mutex);
        auto it = Names().find(name);
        if (it != Names().end() && it->second.expired()) Names().erase(it);
    }

    bool IsSignalled() const override { return signalled; }
    void Acquire() override {
        if (!manualReset) signalled = false;
    }

    const bool manualReset;
    bool signalled;
    const std::u16string name;
};

std::u16string NameOf(LPCWSTR name) {
    if (!name) return {};
    std::u16string s;
    while (*name)
        s.push_back(*name++);
    return s;
}

HANDLE Create(BOOL manualReset, BOOL initialState, LPCWSTR rawName) {
    std::u16string name = NameOf(rawName);
    std::shared_ptr<Event> event;
    auto& d = Dispatcher::Instance();
    std::lock_guard lock(d.mutex);
    DWORD error = ERROR_SUCCESS;
    if (!name.empty()) {
        auto it = Names().find(name);
        if (it != Names().end()) event = it->second.lock();
        if (event) error = ERROR_ALREADY_EXISTS;
    }
    if (!event) {
        event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE, name);
        if (!name.empty()) Names()[name] = event;
    }
    HANDLE h = d.Insert(event);
    if (!h) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(error);
    return h;
}

bool SetState(HANDLE h, bool signalled) {
    auto& d = Dispatcher::Instance();
    std::shared_ptr<Event> event;
    {
        std::lock_guard lock(d.mutex);
        event = std::dynamic_pointer_cast<Event>(d.Find(h));
        if (event) event->signalled = signalled;
    }
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (signalled) d.changed.notify_all();
    return true;
}

} // namespace
} // namespace zyn::sync::detail

using namespace zyn::sync::detail;

HANDLE CreateEventW(BOOL manualReset, BOOL initialState, LPCWSTR name) {
    try {
        return Create(manualReset, initialState, name);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HANDLE CreateEventW(const void*, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    return CreateEventW(manualReset, initialState, name);
}

HANDLE OpenEventW(LPCWSTR rawName) {
    std::u16string name = NameOf(rawName);
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Event> event;
    auto& d = Dispatcher::Instance();
    HANDLE h = nullptr;
    {
        std::lock_guard lock(d.mutex);
        auto it = Names().find(name);
        if (it != Names().end()) event = it->second.lock();
        if (event) h = d.Insert(event);
    }
    // The event reference is let go here, outside the lock: it may be the last one.
    if (!h)
        SetLastError(event ? ERROR_NOT_ENOUGH_MEMORY : ERROR_FILE_NOT_FOUND);
    else
        SetLastError(ERROR_SUCCESS);
    return h;
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
    return OpenEventW(name);
}

BOOL SetEvent(HANDLE h) {
    return SetState(h, true) ? TRUE : FALSE;
}
BOOL ResetEvent(HANDLE h) {
    return SetState(h, false) ? TRUE : FALSE;
}
