#include "handles.h"

#include <mutex>
#include <unordered_set>

namespace zyn::pdh::detail {
namespace {

struct Registry {
    std::mutex lock;
    std::unordered_set<const void*> queries;
    std::unordered_set<const void*> counters;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

void RegisterQuery(PDH_HQUERY query) {
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().queries.insert(query);
}
void UnregisterQuery(PDH_HQUERY query) {
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().queries.erase(query);
}
bool IsLiveQuery(PDH_HQUERY query) {
    std::lock_guard guard(TheRegistry().lock);
    return query && TheRegistry().queries.contains(query);
}
void RegisterCounter(PDH_HCOUNTER counter) {
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().counters.insert(counter);
}
void UnregisterCounter(PDH_HCOUNTER counter) {
    std::lock_guard guard(TheRegistry().lock);
    TheRegistry().counters.erase(counter);
}
bool IsLiveCounter(PDH_HCOUNTER counter) {
    std::lock_guard guard(TheRegistry().lock);
    return counter && TheRegistry().counters.contains(counter);
}

} // namespace zyn::pdh::detail
