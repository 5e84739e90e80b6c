#pragma once
// The system's point in time: a double in the automation date convention (days since
// 30 December 1899 00:00, the fraction the time of day), in local wall-clock time, with the
// milliseconds carried in the fraction. Also its calendar fields and its locale texts.

#include "com/oledate.h"

// One millisecond as a fraction of a day.
inline constexpr double kZynOneMillisecond = 1.1574074074074074e-08;

// The given calendar time, or the current local time for null; 0.0 for fields that are not a
// valid date and time.
double GetTimeAsDouble(const SYSTEMTIME* st = nullptr);
// Whole seconds: wMilliseconds comes back 0. The flag is ignored.
bool DoubleToSysTime(double t, SYSTEMTIME* st, bool flag = false);

// Texts in the C library's locale (the locale's time form and date form). Each returns the
// characters written including the terminator, or 0 when the time is invalid or the text does
// not fit in cch characters.
int GetLocaleTime(const SYSTEMTIME* st, char16_t* dst, int cch);
int GetLocaleTime(double t, char16_t* dst, int cch);
int GetLocaleDate(const SYSTEMTIME* st, char16_t* dst, int cch);
int GetLocaleDate(double t, char16_t* dst, int cch);
// "<time>  <date>"; returns the length of that text without its terminator, or 0.
int GetLocaleTimeDate(const SYSTEMTIME* st, char16_t* dst, int cch);
int GetLocaleTimeDate(double t, char16_t* dst, int cch);
