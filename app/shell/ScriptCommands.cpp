#include "ScriptCommands.h"

#include "ChartWindowDocument.h"
#include "TallonAppDocument.h"
#include "document/ZynMessageBox.h"
#include "exchange/ScriptGenerator.h"
#include "resources/ZynStrings.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>

#include <optional>
#include <string>

const std::vector<ScriptFileFilter>& ScriptFileFilters() {
    // Qt reads a filter's patterns between spaces; the labels keep the texts the user knows.
    static const std::vector<ScriptFileFilter> filters = {
        {QStringLiteral("JScript (*.js)"), QStringLiteral("*.js")},
        {QStringLiteral("VBScript(*.vbs)"), QStringLiteral("*.vbs")},
        {QStringLiteral("Script Files (*.js;*.vbs)"), QStringLiteral("*.js *.vbs")},
        {QStringLiteral("All Files (*.*)"), QStringLiteral("*")},
    };
    return filters;
}

namespace {

// The filter the user chose last, offered first the next time.
int g_lastFilter = 0;

// The file and its language, or nothing on Cancel.
std::optional<std::pair<QString, zyn::script::ScriptLanguage>> ChooseScriptFile(QWidget* parent) {
    QString chosen;
    for (;;) {
        QFileDialog dialog(parent, LoadZynString(zyn::script::kSaveDialogTitle));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The labels below are set on the dialog's own list of filters.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QStringList patterns;
        for (const ScriptFileFilter& f : ScriptFileFilters())
            patterns << QStringLiteral("%1 (%2)").arg(f.label, f.patterns);
        dialog.setNameFilters(patterns);
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        if (types && types->count() == int(ScriptFileFilters().size()))
            for (int i = 0; i < types->count(); ++i)
                types->setItemText(i, ScriptFileFilters()[std::size_t(i)].label);
        dialog.selectNameFilter(patterns.value(g_lastFilter));
        if (types) types->setCurrentIndex(g_lastFilter);
        if (!chosen.isEmpty()) dialog.selectFile(chosen);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        if (types)
            g_lastFilter = types->currentIndex();
        else
            g_lastFilter = std::max<int>(0, int(patterns.indexOf(dialog.selectedNameFilter())));
        chosen = dialog.selectedFiles().constFirst();
        if (const auto language = zyn::script::ScriptLanguageForPath(chosen))
            return std::pair{chosen, *language};
        ZynMessageBox(LoadZynString(zyn::script::kWrongExtensionMessage), QMessageBox::Ok,
                      QMessageBox::Information);
    }
}

} // namespace

bool GenerateScript(QWidget* parent, const std::vector<CTallonAppDocument*>& documents,
                    const QString& chartId, QString* status) {
    const auto file = ChooseScriptFile(parent);
    if (!file) return false;
    std::vector<const CTallonChart*> charts;
    for (CTallonAppDocument* doc : documents)
        if (auto* window = qobject_cast<CChartWindowDocument*>(doc); window && window->Document())
            charts.push_back(window->Document());
    const auto script = zyn::script::BuildScript(charts, file->second, chartId, QDateTime::currentDateTime());
    std::string error = "the script template is missing";
    std::vector<std::string> notes;
    if (!script ||
        !zyn::script::WriteScriptFile(zyn::shell::FileNameBytes(file->first), *script, &error, &notes)) {
        ZynMessageBox(QStringLiteral("Cannot write %1: %2").arg(file->first, QString::fromStdString(error)));
        return false;
    }
    if (status) {
        *status = QStringLiteral("Saved the script %1").arg(file->first);
        for (const std::string& note : notes)
            *status += QStringLiteral("; ") + QString::fromStdString(note);
    }
    return true;
}
