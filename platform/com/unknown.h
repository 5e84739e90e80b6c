#pragma once
// The object model's root interface, its smart pointer and the one thread-safe reference-counting
// base that every object of the system derives from. Objects are free-threaded: there are no
// apartments, so counts are atomic and an interface pointer may be used from any thread.

#include "guid.h"

#include <atomic>
#include <memory>
#include <type_traits>
#include <utility>

struct IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("00000000-0000-0000-C000-000000000046");
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Named after the compiler keyword that COM code spells this with.
template <class T> constexpr const IID& __uuidof_() { // NOLINT(bugprone-reserved-identifier)
    return T::kIID;
}

template <class T> class CComPtr {
public:
    T* p = nullptr;

    CComPtr() = default;
    CComPtr(std::nullptr_t) {}
    CComPtr(T* raw) : p(raw) {
        if (p) p->AddRef();
    }
    CComPtr(const CComPtr& o) : CComPtr(o.p) {}
    CComPtr(CComPtr&& o) noexcept : p(std::exchange(o.p, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    CComPtr(const CComPtr<U>& o) : CComPtr(static_cast<T*>(o.p)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* raw) {
        if (raw) raw->AddRef();
        Release();
        p = raw;
        return *this;
    }
    // The raw assignment takes its reference before dropping the old one, so assigning a pointer
    // to itself keeps the object.
    CComPtr& operator=(const CComPtr& o) { return *this = o.p; } // NOLINT(bugprone-unhandled-self-assignment)
    CComPtr& operator=(CComPtr&& o) noexcept {
        if (this != std::addressof(o)) {
            Release();
            p = std::exchange(o.p, nullptr);
        }
        return *this;
    }

    void Release() {
        if (T* old = std::exchange(p, nullptr)) old->Release();
    }
    T* Detach() { return std::exchange(p, nullptr); }
    void Attach(T* raw) {
        Release();
        p = raw;
    }
    HRESULT CopyTo(T** out) const {
        if (!out) return E_POINTER;
        *out = p;
        if (p) p->AddRef();
        return S_OK;
    }
    template <class Q> HRESULT QueryInterface(Q** out) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!p) return E_POINTER;
        return p->QueryInterface(Q::kIID, reinterpret_cast<void**>(out));
    }

    T* operator->() const { return p; }
    T& operator*() const { return *p; }
    operator T*() const { return p; }
    T** operator&() { return &p; }
    explicit operator bool() const { return p != nullptr; }
};

namespace zyn::com {

// Live objects of every ComObject class in this process: tests compare it before and after a scenario
// to catch leaked references.
long LiveObjectCount();

namespace detail {
void CountObject(int delta);
}

// The shared base for reference counting. A derived class lists the interfaces it answers in its
// QueryInterface through ComQueryTable below; destruction happens on the last Release.
class ComRefCount {
public:
    ComRefCount() { detail::CountObject(+1); }
    ComRefCount(const ComRefCount&) = delete;
    ComRefCount& operator=(const ComRefCount&) = delete;
    virtual ~ComRefCount() { detail::CountObject(-1); }

    ULONG InternalAddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG InternalRelease() {
        ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    ULONG RefCount() const { return m_refs.load(std::memory_order_relaxed); }
    // Takes a reference only while the object is not already being destroyed: for holders of a
    // plain back pointer that the object clears in its destructor.
    bool InternalTryAddRef() {
        ULONG n = m_refs.load(std::memory_order_relaxed);
        while (n != 0)
            if (m_refs.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
        return false;
    }

private:
    std::atomic<ULONG> m_refs{0};
};

// Answers QueryInterface for `self` from the interface list: IUnknown comes from the first entry.
template <class Self, class First, class... Rest> HRESULT ComQueryTable(Self* self, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIID) {
        *out = static_cast<IUnknown*>(static_cast<First*>(self));
    } else {
        auto tryOne = [&](auto* tag) {
            using I = std::remove_pointer_t<decltype(tag)>;
            if (!*out && iid == I::kIID) *out = static_cast<I*>(self);
        };
        tryOne(static_cast<First*>(nullptr));
        (tryOne(static_cast<Rest*>(nullptr)), ...);
    }
    if (!*out) return E_NOINTERFACE;
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

// Makes an object with a first reference held by the returned pointer.
template <class T, class... Args> CComPtr<T> MakeObject(Args&&... args) {
    return CComPtr<T>(new T(std::forward<Args>(args)...));
}

} // namespace zyn::com

// Implements the three IUnknown members of a class derived from ComRefCount and the listed interfaces.
#define ZYN_COM_IUNKNOWN(Self, ...)                                                                          \
    HRESULT QueryInterface(REFIID iid, void** out) override {                                                \
        return ::zyn::com::ComQueryTable<Self, __VA_ARGS__>(this, iid, out);                                 \
    }                                                                                                        \
    ULONG AddRef() override {                                                                                \
        return InternalAddRef();                                                                             \
    }                                                                                                        \
    ULONG Release() override {                                                                               \
        return InternalRelease();                                                                            \
    }
