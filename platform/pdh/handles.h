#pragma once
// The live query and counter handles, so that a stale or foreign handle gives PDH_INVALID_HANDLE
// instead of touching freed memory. Guarded by one lock: several queries live on several threads.

#include "pdh.h"

namespace zyn::pdh::detail {

void RegisterQuery(PDH_HQUERY query);
void UnregisterQuery(PDH_HQUERY query);
[[nodiscard]] bool IsLiveQuery(PDH_HQUERY query);
void RegisterCounter(PDH_HCOUNTER counter);
void UnregisterCounter(PDH_HCOUNTER counter);
[[nodiscard]] bool IsLiveCounter(PDH_HCOUNTER counter);

} // namespace zyn::pdh::detail
