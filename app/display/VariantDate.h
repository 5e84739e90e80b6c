#pragma once
// The object library hands dates out as VT_DATE, and a script may hand one in as a plain number;
// anything else is no date.

#include "com/variant.h"

inline double VariantDate(const VARIANT& v, double otherwise = 0.0) {
    if (v.vt == VT_DATE) return v.date;
    if (v.vt == VT_R8) return v.dblVal;
    return otherwise;
}
