#pragma once
// The two script languages a chart can be saved in, and how each writes the pieces of a generated
// line: line ends, the declaration word, booleans and string literals.

#include <QString>

#include <optional>

namespace zyn::script {

enum class ScriptLanguage { JScript, VBScript };

// The language a file name asks for by its extension, compared without regard to case: "js" is
// JScript, "vbs" is VBScript; nothing for any other extension.
std::optional<ScriptLanguage> ScriptLanguageForPath(const QString& path);

// ";\r\n" or "\r\n".
QString LineEnd(ScriptLanguage language);
// "var" or "Set".
QString DeclarationWord(ScriptLanguage language);
// "true"/"false" or "True"/"False".
QString BooleanText(ScriptLanguage language, bool value);

// `text` in double quotes, as a literal of the language that reads back as `text`: JScript gets
// backslash escapes for the backslash, the quote and control characters; VBScript doubles the
// quote and joins line breaks and other control characters in with vbCrLf, vbLf, vbCr or Chr().
// A text without such characters is only put in quotes.
QString StringLiteral(ScriptLanguage language, const QString& text);

// The name of the function that rebuilds chart `k` (counting from 1) of an all-charts script:
// "Add_" and the chart's name ("Chart<k>" when it has none), with every character that cannot be
// part of a name replaced by '_'.
QString ChartFunctionName(const QString& chartName, int k);

} // namespace zyn::script
