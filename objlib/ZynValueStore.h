#pragma once
// One run of measured values, shared by reference count between a data set's raw and displayed
// values until the first edit separates them.

#include "ZynGrowArray.h"

#include "com/unknown.h"

class CZynValueStore final : public zyn::com::ComRefCount {
public:
    ULONG AddRef() { return InternalAddRef(); }
    ULONG Release() { return InternalRelease(); }

    CZynGrowArray<double> values;
};
