#pragma once
// Save as Script (the active chart) and Save All as Script (every open chart): the user picks the
// file in the "Save Script As" dialog, whose extension picks the language, and the script generator
// writes it.

#include <QString>

#include <vector>

class CTallonAppDocument;
class QWidget;

// The dialog's filters as the user reads them, and the patterns each one shows.
struct ScriptFileFilter {
    QString label;
    QString patterns;
};
const std::vector<ScriptFileFilter>& ScriptFileFilters();

// Writes the script of the chart whose identifier is `chartId` among `documents`, or of all of them
// when `chartId` is empty. Asks again while the chosen name ends in neither .js nor .vbs (message
// 50051). True when the file was written; false on Cancel, or after telling the user why it could
// not be written. `status` gets the status-bar text of a written file.
bool GenerateScript(QWidget* parent, const std::vector<CTallonAppDocument*>& documents,
                    const QString& chartId, QString* status = nullptr);
