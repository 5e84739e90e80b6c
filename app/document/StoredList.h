#pragma once
// A short list of texts kept in the user's settings store as numbered values of one key
// ("File1", "File2", … under "Recent File List"): most recent first, empty values ignored.

#include <QString>
#include <QStringList>

// The non-empty values `prefix`1 to `prefix`limit of the key, in number order.
QStringList LoadStoredList(const char16_t* key, const char16_t* prefix, int limit);
// Writes `prefix`1 to `prefix`limit: the list's texts, then empty values for the unused numbers, so
// that a shorter list does not leave older entries behind.
void SaveStoredList(const char16_t* key, const char16_t* prefix, int limit, const QStringList& list);
