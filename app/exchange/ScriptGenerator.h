#pragma once
// Scripts that rebuild charts through the program's automation server ("Tallon.Application"): one
// chart, or every open chart, in JScript or VBScript. A script is one of the four script templates
// (file resources 137 to 140) with its placeholders replaced by text built from the charts'
// current settings, read through the chart objects and the settings their windows show.
//
// How to use:
//   auto text = zyn::script::BuildScript(openDocuments, ScriptLanguage::JScript, chartId, now);
//   if (text) zyn::script::WriteScriptFile(path, *text, &error);
// `chartId` empty makes the all-charts script.

#include "ScriptLanguage.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class CTallonChart;

namespace zyn::script {

inline constexpr int kFirstTemplateId = 137; // JScript one chart; +1 all charts; +2 VBScript
inline constexpr int kWrongExtensionMessage = 50051;
inline constexpr int kSaveDialogTitle = 50052;

// The resource number of the template: 137 + (2 for VBScript) + (1 for all charts).
int ScriptTemplateId(ScriptLanguage language, bool allCharts);
// The template's text up to "##END", or nothing when the program holds no such resource.
std::optional<QString> LoadScriptTemplate(int id);

// "##DATE": month, day (two digits), year " at " hour, minute and second (two digits each).
QString ScriptDateText(const QDateTime& when);

// The lines that set up a new chart `zynChart` like `doc`'s chart and its window: name, comment,
// rate, the window's display settings, each channel, and whether it runs.
QString ChartConfigurationText(const CTallonChart& doc, ScriptLanguage language);

// The whole script. `chartId` names the chart of a one-chart script (its "##CONFIG_CHART" stays
// when no document holds it); an empty one makes the script of every document, in their order.
// Nothing when the template is missing.
std::optional<QString> BuildScript(const std::vector<const CTallonChart*>& documents, ScriptLanguage language,
                                   const QString& chartId, const QDateTime& now);

// The script as a file's whole content, in UTF-8 without a byte-order mark, through the safe saver.
// False with the reason in `error`; `notes` gets what the user should know of a file that was
// written.
[[nodiscard]] bool WriteScriptFile(const std::string& path, const QString& script,
                                   std::string* error = nullptr, std::vector<std::string>* notes = nullptr);

} // namespace zyn::script
