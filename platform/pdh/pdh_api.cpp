// The C-style PDH surface over the query engine: handle checks, formatting and the counter-info
// buffer protocol.

#include "pdh.h"

#include "api_strings.h"
#include "com/bstr.h"
#include "handles.h"
#include "query.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

using namespace zyn::pdh::detail;

namespace zyn::pdh {

PDH_STATUS OpenQueryWithSources(const SourceConfig& sources, DWORD_PTR userData, PDH_HQUERY* query) {
    if (!query) return PDH_INVALID_ARGUMENT;
    auto q = std::make_shared<ZynPdhQuery>(sources, userData);
    *query = q.get();
    RegisterQuery(std::move(q));
    return ERROR_SUCCESS;
}

PDH_STATUS ValidatePath(std::u16string_view path, const SourceConfig& sources) {
    CounterPath parsed;
    const ObjectDef* object = nullptr;
    const CounterDef* counter = nullptr;
    return ResolvePath(zyn::com::Utf16ToUtf8(path), sources, true, parsed, object, counter);
}

} // namespace zyn::pdh

extern "C" {

namespace {

// One call on a query: the query's own lock, held from the handle check to the last use. Charts
// collect in parallel; a counter removed on a client thread (a released channel) waits only for a
// collection of its own query.
class CQueryCall {
public:
    explicit CQueryCall(PDH_HQUERY query) : m_owner(FindQuery(query)) {
        if (!m_owner) return;
        m_lock = std::unique_lock(m_owner->lock);
        if (m_owner->closed) Drop(); // closed while this call waited
    }
    // A call on a counter locks the query that owns it.
    explicit CQueryCall(PDH_HCOUNTER counter) : m_owner(FindCounterOwner(counter)) {
        if (!m_owner) return;
        m_lock = std::unique_lock(m_owner->lock);
        // Removed, or its query closed, while this call waited.
        if (m_owner->closed || FindCounterOwner(counter) != m_owner) Drop();
    }
    explicit operator bool() const { return m_owner != nullptr; }
    ZynPdhQuery* operator->() const { return m_owner.get(); }
    [[nodiscard]] const std::shared_ptr<ZynPdhQuery>& Owner() const { return m_owner; }

private:
    void Drop() {
        m_lock.unlock();
        m_owner.reset();
    }

    std::shared_ptr<ZynPdhQuery> m_owner; // declared first: the lock is released before the query
    std::unique_lock<std::mutex> m_lock;
};

} // namespace

PDH_STATUS PdhOpenQueryW(LPCWSTR dataSource, DWORD_PTR userData, PDH_HQUERY* query) {
    if (dataSource && *dataSource) return PDH_INVALID_ARGUMENT; // no log files
    return zyn::pdh::OpenQueryWithSources(zyn::pdh::CurrentSourceConfig(), userData, query);
}

PDH_STATUS PdhCloseQuery(PDH_HQUERY query) {
    const CQueryCall call(query);
    if (!call) return PDH_INVALID_HANDLE;
    for (const auto& c : call->counters)
        UnregisterCounter(c.get());
    call->counters.clear();
    call->closed = true;
    UnregisterQuery(query); // freed when the last call that holds it ends
    return ERROR_SUCCESS;
}

PDH_STATUS PdhAddCounterW(PDH_HQUERY query, LPCWSTR fullCounterPath, DWORD_PTR userData,
                          PDH_HCOUNTER* counter) {
    const CQueryCall call(query);
    if (!call) return PDH_INVALID_HANDLE;
    if (!fullCounterPath || !counter) return PDH_INVALID_ARGUMENT;
    const std::optional<std::string> path = ArgumentText(fullCounterPath);
    if (!path) return PDH_INVALID_ARGUMENT;
    ZynPdhCounter* added = nullptr;
    const PDH_STATUS st = call->AddCounter(*path, userData, added);
    if (st != ERROR_SUCCESS) return st;
    RegisterCounter(added, call.Owner());
    *counter = added;
    return ERROR_SUCCESS;
}

PDH_STATUS PdhRemoveCounter(PDH_HCOUNTER counter) {
    const CQueryCall call(counter);
    if (!call) return PDH_INVALID_HANDLE;
    UnregisterCounter(counter);
    call->RemoveCounter(counter);
    return ERROR_SUCCESS;
}

PDH_STATUS PdhCollectQueryData(PDH_HQUERY query) {
    const CQueryCall call(query);
    if (!call) return PDH_INVALID_HANDLE;
    return call->Collect();
}

PDH_STATUS PdhGetFormattedCounterValue(PDH_HCOUNTER counter, DWORD format, DWORD* type,
                                       PDH_FMT_COUNTERVALUE* value) {
    const CQueryCall call(counter);
    if (!call) return PDH_INVALID_HANDLE;
    if (!value) return PDH_INVALID_ARGUMENT;
    const DWORD kind = format & (PDH_FMT_LONG | PDH_FMT_DOUBLE | PDH_FMT_LARGE);
    if (kind != PDH_FMT_LONG && kind != PDH_FMT_DOUBLE && kind != PDH_FMT_LARGE) return PDH_INVALID_ARGUMENT;
    if (type) *type = counter->def->type;
    value->CStatus = counter->collected ? static_cast<DWORD>(counter->status)
                                        : static_cast<DWORD>(PDH_CSTATUS_INVALID_DATA);
    value->largeValue = 0;
    const bool valid = counter->collected &&
                       (counter->status == PDH_CSTATUS_VALID_DATA || counter->status == PDH_CSTATUS_NEW_DATA);
    if (!valid) return PDH_INVALID_DATA;
    double v = counter->value;
    if (counter->def->IsPercent() && !(format & PDH_FMT_NOCAP100)) v = std::min(v, 100.0);
    if (!(format & PDH_FMT_NOSCALE)) v *= std::pow(10.0, counter->def->defaultScale);
    if (kind == PDH_FMT_DOUBLE) {
        value->doubleValue = v;
    } else if (kind == PDH_FMT_LARGE) {
        value->largeValue = static_cast<LONGLONG>(std::clamp(v, -9.2e18, 9.2e18));
    } else {
        value->longValue = static_cast<LONG>(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
    }
    return ERROR_SUCCESS;
}

PDH_STATUS PdhGetCounterInfoW(PDH_HCOUNTER counter, BOOLEAN retrieveExplainText, DWORD* bufferSize,
                              PDH_COUNTER_INFO_W* buffer) {
    const CQueryCall call(counter);
    if (!call) return PDH_INVALID_HANDLE;
    if (!bufferSize) return PDH_INVALID_ARGUMENT;
    const CounterPath& p = counter->path;
    const std::u16string machine = u"\\\\" + zyn::com::Utf8ToUtf16(call->MachineOf(counter));
    const std::u16string object = zyn::com::Utf8ToUtf16(counter->object->name);
    const std::u16string name = zyn::com::Utf8ToUtf16(counter->def->name);
    const std::u16string instance = zyn::com::Utf8ToUtf16(p.instance);
    const std::u16string parent = zyn::com::Utf8ToUtf16(p.parent);
    CounterPath canonical = p;
    canonical.machine = zyn::com::Utf16ToUtf8(machine.substr(2));
    canonical.object = std::string(counter->object->name);
    canonical.counter = std::string(counter->def->name);
    const std::u16string full = zyn::com::Utf8ToUtf16(FormatCounterPath(canonical));
    const std::u16string explain =
        retrieveExplainText ? zyn::com::Utf8ToUtf16(counter->def->explain) : std::u16string();

    CStringPacker packer(sizeof(PDH_COUNTER_INFO_W));
    packer.Add(full);
    packer.Add(machine);
    packer.Add(object);
    if (p.hasInstance) packer.Add(instance);
    if (!p.parent.empty()) packer.Add(parent);
    packer.Add(name);
    if (retrieveExplainText) packer.Add(explain);
    const std::size_t needed = packer.Size();
    if (needed > UINT32_MAX) return PDH_INVALID_DATA;
    if (!buffer || *bufferSize < needed) {
        *bufferSize = static_cast<DWORD>(needed);
        return PDH_MORE_DATA;
    }
    std::memset(buffer, 0, sizeof(PDH_COUNTER_INFO_W));
    packer.Begin(reinterpret_cast<char*>(buffer));
    buffer->dwLength = static_cast<DWORD>(needed);
    buffer->dwType = counter->def->type;
    buffer->CVersion = 1;
    buffer->CStatus = static_cast<DWORD>(counter->collected ? counter->status : PDH_CSTATUS_VALID_DATA);
    buffer->lScale = counter->def->defaultScale;
    buffer->lDefaultScale = counter->def->defaultScale;
    buffer->dwUserData = counter->userData;
    buffer->dwQueryUserData = counter->query->userData;
    buffer->szFullPath = packer.Put(full);
    buffer->CounterPath.szMachineName = packer.Put(machine);
    buffer->CounterPath.szObjectName = packer.Put(object);
    buffer->CounterPath.szInstanceName = p.hasInstance ? packer.Put(instance) : nullptr;
    buffer->CounterPath.szParentInstance = p.parent.empty() ? nullptr : packer.Put(parent);
    buffer->CounterPath.dwInstanceIndex = p.index;
    buffer->CounterPath.szCounterName = packer.Put(name);
    buffer->szExplainText = retrieveExplainText ? packer.Put(explain) : nullptr;
    *bufferSize = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

PDH_STATUS PdhValidatePathW(LPCWSTR fullCounterPath) {
    if (!fullCounterPath) return PDH_INVALID_ARGUMENT;
    const std::optional<std::string> path = ArgumentText(fullCounterPath);
    if (!path) return PDH_CSTATUS_BAD_COUNTERNAME;
    return zyn::pdh::ValidatePath(zyn::com::Utf8ToUtf16(*path), zyn::pdh::CurrentSourceConfig());
}

PDH_STATUS PdhParseCounterPathW(LPCWSTR fullPathBuffer, PDH_COUNTER_PATH_ELEMENTS_W* elements,
                                DWORD* bufferSize, DWORD /*flags*/) {
    if (!fullPathBuffer || !bufferSize) return PDH_INVALID_ARGUMENT;
    const std::optional<std::string> text = ArgumentText(fullPathBuffer);
    if (!text) return PDH_INVALID_ARGUMENT;
    CounterPath p;
    if (const PDH_STATUS st = ParseCounterPath(*text, p); st != PDH_CSTATUS_VALID_DATA) return st;
    const std::u16string machine =
        u"\\\\" + (p.machine.empty() ? zyn::pdh::LocalMachineName() : zyn::com::Utf8ToUtf16(p.machine));
    const std::u16string object = zyn::com::Utf8ToUtf16(p.object),
                         instance = zyn::com::Utf8ToUtf16(p.instance),
                         parent = zyn::com::Utf8ToUtf16(p.parent), counter = zyn::com::Utf8ToUtf16(p.counter);
    CStringPacker packer(sizeof(PDH_COUNTER_PATH_ELEMENTS_W));
    packer.Add(machine);
    packer.Add(object);
    if (p.hasInstance) packer.Add(instance);
    if (!p.parent.empty()) packer.Add(parent);
    packer.Add(counter);
    const std::size_t needed = packer.Size();
    if (!elements || *bufferSize < needed) {
        *bufferSize = static_cast<DWORD>(needed);
        return PDH_MORE_DATA;
    }
    packer.Begin(reinterpret_cast<char*>(elements));
    elements->szMachineName = packer.Put(machine);
    elements->szObjectName = packer.Put(object);
    elements->szInstanceName = p.hasInstance ? packer.Put(instance) : nullptr;
    elements->szParentInstance = p.parent.empty() ? nullptr : packer.Put(parent);
    elements->dwInstanceIndex = p.index;
    elements->szCounterName = packer.Put(counter);
    *bufferSize = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

PDH_STATUS PdhMakeCounterPathW(const PDH_COUNTER_PATH_ELEMENTS_W* elements, LPWSTR fullPathBuffer,
                               DWORD* bufferSize, DWORD /*flags*/) {
    if (!elements || !bufferSize || !elements->szObjectName || !elements->szCounterName)
        return PDH_INVALID_ARGUMENT;
    CounterPath p;
    auto text = [](LPCWSTR s) { return s ? ArgumentText(s).value_or(std::string()) : std::string(); };
    p.machine = text(elements->szMachineName);
    while (p.machine.starts_with('\\'))
        p.machine.erase(0, 1);
    p.object = text(elements->szObjectName);
    p.parent = text(elements->szParentInstance);
    p.instance = text(elements->szInstanceName);
    p.hasInstance = !p.instance.empty();
    p.index = p.hasInstance ? elements->dwInstanceIndex : 0;
    p.counter = text(elements->szCounterName);
    const std::string made = FormatCounterPath(p);
    CounterPath check;
    if (ParseCounterPath(made, check) != PDH_CSTATUS_VALID_DATA) return PDH_CSTATUS_BAD_COUNTERNAME;
    const std::u16string out = zyn::com::Utf8ToUtf16(made);
    const std::size_t needed = out.size() + 1;
    if (!fullPathBuffer || *bufferSize < needed) {
        *bufferSize = static_cast<DWORD>(needed);
        return PDH_MORE_DATA;
    }
    std::copy(out.begin(), out.end(), fullPathBuffer);
    fullPathBuffer[out.size()] = u'\0';
    *bufferSize = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

} // extern "C"

namespace zyn::pdh {

PDH_STATUS CollectCounterData(PDH_HCOUNTER counter) {
    const CQueryCall call(counter);
    if (!call) return PDH_INVALID_HANDLE;
    return call->CollectOne(counter);
}

PDH_STATUS ScheduleCollection(PDH_HQUERY query, DWORD dueInMs) {
    const CQueryCall call(query);
    if (!call) return PDH_INVALID_HANDLE;
    call->ScheduleCollection(dueInMs);
    return ERROR_SUCCESS;
}

} // namespace zyn::pdh
