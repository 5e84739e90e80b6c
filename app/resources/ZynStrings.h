#pragma once
// The program's user-visible texts, kept in one table and looked up by their number.

#include <QString>

// The text with that number, or an empty text for a number the table does not hold.
QString LoadZynString(int id);

// True when the table is strictly ordered by number (the lookup relies on it).
bool ZynStringTableIsSorted();
