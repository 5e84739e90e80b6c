#pragma once
// The fixed-width scalar names that the Windows-shaped interfaces of this project use.
// Widths are those the stored formats and interfaces were defined with: LONG and DWORD stay 32 bits
// on this 64-bit platform.

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using CHAR = char;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using DWORD_PTR = std::uintptr_t;
using BOOL = std::int32_t;
using FLOAT = float;
using DOUBLE = double;

// Wide text is UTF-16 everywhere: wchar_t is 32 bits on Linux.
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using LPOLESTR = char16_t*;
using LPCOLESTR = const char16_t*;
using BSTR = char16_t*;

using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// An automation date: days since 30 December 1899, the fraction being the time of day.
using DATE = double;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
