#pragma once
// The program's user-visible texts, kept in one table and looked up by their number.

#include <QString>

// The text with that number, or an empty text for a number the table does not hold.
QString LoadZynString(int id);

// "Zynthar Tallon. Version 2.4  Build#1439": the program's version text.
QString ZynVersionText();

// True when the table is strictly ordered by number (the lookup relies on it).
bool ZynStringTableIsSorted();
