#pragma once
// The live query and counter handles, so that a stale or foreign handle gives PDH_INVALID_HANDLE
// instead of touching freed memory. The registry shares ownership of each open query with every
// call in progress on it: closing a query on one thread never frees it under another thread's call.

#include "pdh.h"

#include <memory>

namespace zyn::pdh::detail {

void RegisterQuery(std::shared_ptr<ZynPdhQuery> query);
void UnregisterQuery(PDH_HQUERY query);
// The open query behind a handle, or null.
[[nodiscard]] std::shared_ptr<ZynPdhQuery> FindQuery(PDH_HQUERY query);
void RegisterCounter(PDH_HCOUNTER counter, const std::shared_ptr<ZynPdhQuery>& owner);
void UnregisterCounter(PDH_HCOUNTER counter);
// The query that owns a live counter handle, or null.
[[nodiscard]] std::shared_ptr<ZynPdhQuery> FindCounterOwner(PDH_HCOUNTER counter);

} // namespace zyn::pdh::detail
