#include "handles.h"

#include "query.h"

#include <mutex>
#include <unordered_map>

namespace zyn::pdh::detail {
namespace {

// Held only for a lookup, never across a collection: charts on several threads pass through it
// without waiting on each other's work.
struct Registry {
    std::mutex lock;
    std::unordered_map<const ZynPdhQuery*, std::shared_ptr<ZynPdhQuery>> queries;
    std::unordered_map<const ZynPdhCounter*, std::weak_ptr<ZynPdhQuery>> counters;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

void RegisterQuery(std::shared_ptr<ZynPdhQuery> query) {
    std::lock_guard guard(TheRegistry().lock);
    const ZynPdhQuery* key = query.get();
    TheRegistry().queries.emplace(key, std::move(query));
}

void UnregisterQuery(PDH_HQUERY query) {
    std::shared_ptr<ZynPdhQuery> last; // released after the registry lock
    std::lock_guard guard(TheRegistry().lock);
    const auto it = TheRegistry().queries.find(query);
    if (it == TheRegistry().queries.end()) return;
    last = std::move(it->second);
    TheRegistry().queries.erase(it);
}

std::shared_ptr<ZynPdhQuery> FindQuery(PDH_HQUERY query) {
    std::lock_guard guard(TheRegistry().lock);
    const auto it = TheRegistry().queries.find(query);
    return it == TheRegistry().queries.end() ? nullptr : it->second;
}

void RegisterCounter(PDH_HCOUNTER counter, const std::shared_ptr<ZynPdhQuery>& owner) {
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().counters[counter] = owner;
}

void UnregisterCounter(PDH_HCOUNTER counter) {
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().counters.erase(counter);
}

std::shared_ptr<ZynPdhQuery> FindCounterOwner(PDH_HCOUNTER counter) {
    std::lock_guard guard(TheRegistry().lock);
    const auto it = TheRegistry().counters.find(counter);
    return it == TheRegistry().counters.end() ? nullptr : it->second.lock();
}

} // namespace zyn::pdh::detail
