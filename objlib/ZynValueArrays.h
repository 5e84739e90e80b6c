#pragma once
// Arrays of numbers in and out of automation calls that take or give whole runs of values: an
// argument read as doubles (in place when it already holds doubles), and a result made from doubles.

#include "objlib/ZynInterfaces.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace zyn::obj {

class CDoubleArrayArg {
public:
    CDoubleArrayArg() = default;
    ~CDoubleArrayArg();
    CDoubleArrayArg(const CDoubleArrayArg&) = delete;
    CDoubleArrayArg& operator=(const CDoubleArrayArg&) = delete;

    // Reads a one-dimensional array `arg` (any lower bound) whose elements convert to `as` (VT_R8
    // for values, VT_DATE for times) the way a single argument of that type would. E_INVALIDARG when
    // `arg` is not such an array; the conversion's failure when an element does not convert, with
    // its index (from 0) in *badIndex.
    HRESULT Read(const VARIANT& arg, VARTYPE as, std::size_t* badIndex);

    const double* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    SAFEARRAY* m_accessed = nullptr; // an array of doubles read in place
    const double* m_data = nullptr;
    std::size_t m_size = 0;
    std::vector<double> m_converted;
};

// *out = an array of `n` doubles (VT_ARRAY | VT_R8, lower bound 0) that `fill` writes, given room
// for n; E_OUTOFMEMORY (and *out empty) when it cannot be made.
HRESULT MakeDoubleArray(std::size_t n, VARIANT* out, const std::function<void(double*)>& fill);

} // namespace zyn::obj
