#pragma once
// Calendar time and the automation date: a double counting days since 30 December 1899 00:00,
// whose fraction is the time of day. Before that day the whole part is negative and the fraction
// still counts forward from midnight (-1.25 is 29 December 1899 06:00).

#include "wintypes.h"

#include <optional>
#include <string>

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek; // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Local wall-clock time, and UTC, with milliseconds.
void GetLocalTime(SYSTEMTIME* st);
void GetSystemTime(SYSTEMTIME* st);

// Years 100 to 9999; the milliseconds field is ignored. FALSE for fields out of range.
BOOL SystemTimeToVariantTime(const SYSTEMTIME* st, double* out);
// Rounds to the nearest whole second; wMilliseconds comes back 0. FALSE outside years 100..9999
// or for a value that is not finite.
BOOL VariantTimeToSystemTime(double t, SYSTEMTIME* st);

namespace zyn::com {

// The days-since-epoch count of a proleptic Gregorian date.
long DaysFromCivil(int year, unsigned month, unsigned day);

// "M/D/YYYY h:mm:ss AM" (date alone when the time is midnight, time alone on day 0), the text a
// date variant converts to.
std::u16string FormatVariantDate(double t);
// Reads the text FormatVariantDate writes, ISO "YYYY-MM-DD[ HH:MM[:SS]]" and a plain number.
std::optional<double> ParseVariantDate(std::u16string_view text);

} // namespace zyn::com
