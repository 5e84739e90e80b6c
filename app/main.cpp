// Tallon: the program. The window modes start the application; the export modes run without a
// window, say what they wrote and end with 0 on success; --help and --version print and end.

#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "exchange/ScriptGenerator.h"
#include "registry/registry.h"
#include "report/ReportExport.h"
#include "resources/ZynStrings.h"
#include "shell/ChartWindowDocument.h"
#include "shell/TallonApp.h"
#include "utils/ZynFiles.h"
#include "view/ImageExport.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Every message of the headless modes: "Tallon: " and the text, on standard error.
void Say(const std::string& text) {
    std::fprintf(stderr, "Tallon: %s\n", text.c_str());
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "; ") + p;
    return out;
}

// The export modes load the chart file into a document as a chart window would, then write it.
// They end with 0 only when the whole chart was read and the whole output written.
int Export(const TallonCommandLine& cmd, int argc, char** argv) {
    // No window is shown: a display is not needed, unless the caller asks for a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication qapp(argc, argv);
    zyn::registry::SetNoticeHandler(Say);
    const std::string& input = cmd.fileBytes;
    const std::string& output = cmd.outputBytes;
    // Written through the safe saver, the output would replace the chart it is made from.
    if (ZynSameFile(input, output)) {
        Say(input + " and " + output +
            " are the same file: the export would replace the chart; nothing was written");
        return 1;
    }
    CAppContext context;
    int rc = 0;
    {
        CTallonChart doc(context);
        if (!doc.Chart()) {
            Say("the chart objects cannot be made");
            return 1;
        }
        // The same files a chart window opens: chart files, and comma-separated text.
        if (zyn::shell::IsCsvPath(cmd.file)) {
            std::string error;
            if (!zyn::csv::LoadCsv(input, doc.Chart(), &error)) {
                Say(input + " cannot be read as comma-separated text: " +
                    zyn::shell::WhyUnreadable(input,
                                              error.empty() ? "it holds no data that can be read" : error) +
                    ".");
                return 1;
            }
        } else {
            zyn::shell::FileOutcome opened;
            if (!zyn::shell::LoadChartFile(doc, input, &opened)) {
                Say(input + " cannot be opened as a chart file: " + opened.error + ".");
                return 1;
            }
            if (!opened.partial.empty()) {
                Say(input + " could be read only in part (" + opened.partial + "); nothing was written");
                context.Close();
                return 1;
            }
        }
        if (cmd.kind == TallonCommandLine::Kind::ExportCsv) {
            zyn::csv::CsvOptions options;
            options.milliseconds = cmd.csvMilliseconds;
            zyn::csv::CsvReport report;
            if (!zyn::csv::SaveCsv(output, doc.Chart(), options, &report)) {
                Say("cannot write " + output + ": " + report.error);
                rc = 1;
            } else {
                Say("wrote " + output + " (comma-separated text)");
                if (!report.fileNotes.empty()) Say(output + ": " + Joined(report.fileNotes));
                if (report.rowsSharingATime > 0 && !options.milliseconds)
                    Say(output + ": " + std::to_string(report.rowsSharingATime) + " of " +
                        std::to_string(report.rows) +
                        " rows have the same time as the row before, to the second; --csv-ms writes "
                        "the times to the millisecond");
            }
        } else if (cmd.kind == TallonCommandLine::Kind::ExportScript) {
            const auto language = zyn::script::ScriptLanguageForPath(cmd.output);
            const bool js = language == zyn::script::ScriptLanguage::JScript;
            const std::optional<QString> script =
                zyn::script::BuildScript({&doc}, *language, doc.Identifier(), QDateTime::currentDateTime());
            std::string error;
            std::vector<std::string> notes;
            if (!script) {
                Say("the script template is missing; nothing was written");
                rc = 1;
            } else if (!zyn::script::WriteScriptFile(output, *script, &error, &notes)) {
                Say("cannot write " + output + ": " + error);
                rc = 1;
            } else {
                Say("wrote " + output + (js ? " (JScript)" : " (VBScript)"));
                if (!notes.empty()) Say(output + ": " + Joined(notes));
            }
        } else if (cmd.kind == TallonCommandLine::Kind::ExportReport) {
            QString error;
            std::vector<std::string> notes;
            if (!ExportReport(doc, output, &error, &notes)) {
                Say(error.toLocal8Bit().toStdString());
                rc = 1;
            } else {
                Say("wrote " + output + " (report)");
                if (!notes.empty()) Say(output + ": " + Joined(notes));
            }
        } else {
            const QSize size = cmd.size.isValid() ? cmd.size : zyn::display::kDefaultExportSize;
            std::string error;
            std::vector<std::string> notes;
            if (!zyn::display::ExportChartImage(doc, size, output, &error, &notes)) {
                Say("cannot write the image " + output + ": " + error);
                rc = 1;
            } else {
                Say("wrote " + output + " (" + std::to_string(size.width()) + "x" +
                    std::to_string(size.height()) + " image)");
                if (!notes.empty()) Say(output + ": " + Joined(notes));
            }
        }
    }
    context.Close();
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    std::vector<std::string> raw;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
        raw.emplace_back(argv[i]);
    }
    const TallonCommandLine cmd = ParseTallonCommandLine(args, raw);
    switch (cmd.kind) {
    case TallonCommandLine::Kind::Invalid:
        std::fprintf(stderr, "Tallon: %s\n\n%s", cmd.error.toLocal8Bit().constData(),
                     TallonUsageText().toLocal8Bit().constData());
        return 2;
    case TallonCommandLine::Kind::Help:
        std::fputs(TallonUsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case TallonCommandLine::Kind::Version:
        std::printf("%s\n", ZynVersionText().toLocal8Bit().constData());
        return 0;
    default:
        break;
    }
    if (cmd.kind == TallonCommandLine::Kind::ExportCsv || cmd.kind == TallonCommandLine::Kind::ExportImage ||
        cmd.kind == TallonCommandLine::Kind::ExportReport ||
        cmd.kind == TallonCommandLine::Kind::ExportScript)
        return Export(cmd, argc, argv);

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallon"));
    // The desktop matches the windows to the installed desktop entry, and shows its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zynthar.Tallon"));
    CTallonApp app;
    int exitCode = 0;
    if (!app.InitInstance(cmd, exitCode)) {
        // A failure before any window is up would otherwise end the program without a word.
        if (exitCode != 0 && !app.LastError().isEmpty()) Say(app.LastError().toLocal8Bit().toStdString());
        app.ExitInstance();
        return exitCode;
    }
    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
