#pragma once
// Result codes of the object model. Values are the familiar ones so that a script sees the
// numbers it would expect and the same code means the same thing on every surface.

#include "wintypes.h"

using HRESULT = std::int32_t;
using SCODE = std::int32_t;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr HRESULT HRESULT_CODE(HRESULT hr) {
    return hr & 0xFFFF;
}

constexpr HRESULT MAKE_HRESULT_(std::uint32_t v) {
    return static_cast<HRESULT>(v);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MAKE_HRESULT_(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MAKE_HRESULT_(0x80004002);
inline constexpr HRESULT E_POINTER = MAKE_HRESULT_(0x80004003);
inline constexpr HRESULT E_ABORT = MAKE_HRESULT_(0x80004004);
inline constexpr HRESULT E_FAIL = MAKE_HRESULT_(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MAKE_HRESULT_(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MAKE_HRESULT_(0x80070005);
inline constexpr HRESULT E_HANDLE = MAKE_HRESULT_(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MAKE_HRESULT_(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MAKE_HRESULT_(0x80070057);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = MAKE_HRESULT_(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MAKE_HRESULT_(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MAKE_HRESULT_(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = MAKE_HRESULT_(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MAKE_HRESULT_(0x800401F8);
inline constexpr HRESULT SELFREG_E_CLASS = MAKE_HRESULT_(0x80040201);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MAKE_HRESULT_(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MAKE_HRESULT_(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MAKE_HRESULT_(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MAKE_HRESULT_(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MAKE_HRESULT_(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MAKE_HRESULT_(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = MAKE_HRESULT_(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = MAKE_HRESULT_(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MAKE_HRESULT_(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = MAKE_HRESULT_(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MAKE_HRESULT_(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MAKE_HRESULT_(0x8002000F);

inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MAKE_HRESULT_(0x8002802B);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MAKE_HRESULT_(0x8002801D);
