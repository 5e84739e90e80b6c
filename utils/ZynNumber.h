#pragma once
// Numbers typed by users, numbers shown to them, and the bounds of a chart axis.

// Keeps the digits, the first '.' and a '-' that comes before anything else, skipping every other
// character ("1,234.5" is 1234.5, "abc-12" is -12), and reads the result with '.' as the decimal
// mark whatever the locale. Null, unreadable or overflowing text gives 0.0. Only the first 511 kept
// characters count.
double StringToDouble(const char16_t* s);

// The number with ',' between groups of three integer digits and '.' as the decimal mark,
// whatever the locale. A null format, or one shorter than two characters, picks one by the
// magnitude. A caller's format must be exactly one floating-point conversion
// ("%[flags][width][.precision][l](f|F|e|E|g|G)") and nothing else; any other format is refused,
// never printed. False, with nothing written, for a null buffer, cch below 64, a refused format,
// or a text longer than 63 characters before grouping or longer than cch - 1 after it.
bool CommaNumber(double x, char16_t* dst, int cch, const char16_t* fmt = nullptr);

// Rounds a data range outward to even multiples of a power of ten for an axis ((3, 97) becomes
// (0, 100)); the pair comes back ordered. Unchanged when a bound is not finite or lies outside the
// 32-bit integer range.
void AutoScale(double& lo, double& hi);
