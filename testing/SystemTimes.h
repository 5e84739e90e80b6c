#pragma once
// Calendar times for tests: SYSTEMTIME values and the automation dates they stand for.

#include "com/oledate.h"

namespace zyn::test {

// A SYSTEMTIME from its fields; the day of the week is left 0, as callers of the conversions do.
SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                          int ms = 0);

// The automation date of a calendar time, milliseconds included (SystemTimeToVariantTime drops them).
// A time that is not on the calendar fails the calling test and gives 0.
double OleDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0);

} // namespace zyn::test
