#pragma once
// The clipboard formats of a copied channel, as MIME types. The two private ones carry the
// channel's description and its display name; "text/csv" and "text/plain" carry its samples as
// comma-separated text, which spreadsheets read as columns. Every text is UTF-8.

#include <QLatin1StringView>

namespace zyn::clipboard {

inline constexpr QLatin1StringView kDescriptionFormat("application/x-zynthar-zyndatapriv");
inline constexpr QLatin1StringView kNameFormat("application/x-zynthar-zynnamepriv");
inline constexpr QLatin1StringView kCsvFormat("text/csv");
inline constexpr QLatin1StringView kTextFormat("text/plain");

} // namespace zyn::clipboard
