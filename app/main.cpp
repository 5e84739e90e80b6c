// Tallon: the program. The window modes start the application; the export modes run without a
// window, say what they wrote and end with 0 on success; --help and --version print and end.

#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "report/ReportExport.h"
#include "resources/ZynStrings.h"
#include "shell/ChartWindowDocument.h"
#include "shell/TallonApp.h"
#include "view/ImageExport.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>

namespace {

void Complain(const char* format, const QString& arg) {
    std::fprintf(stderr, format, arg.toLocal8Bit().constData());
}

// The export modes load the chart file into a document as a chart window would, then write it.
int Export(const TallonCommandLine& cmd, int argc, char** argv) {
    // No window is shown: a display is not needed, unless the caller asks for a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication qapp(argc, argv);
    CAppContext context;
    int rc = 0;
    {
        CTallonChart doc(context);
        if (!doc.Chart()) {
            std::fprintf(stderr, "Tallon: the chart objects cannot be made\n");
            return 1;
        }
        // The same files a chart window opens: chart files, and comma-separated text.
        const bool csv = zyn::shell::IsCsvPath(cmd.file);
        QString why;
        if (csv ? !zyn::csv::LoadCsv(cmd.file.toStdString(), doc.Chart())
                : !zyn::shell::LoadChartFile(doc, cmd.file, &why)) {
            Complain("Tallon: %s\n",
                     csv ? QStringLiteral("%1 cannot be read as comma-separated text.").arg(cmd.file)
                         : QStringLiteral("%1 cannot be opened as a chart file: %2.").arg(cmd.file, why));
            return 1;
        }
        if (cmd.kind == TallonCommandLine::Kind::ExportCsv) {
            if (!zyn::csv::SaveCsv(cmd.output.toStdString(), doc.Chart())) {
                Complain("Tallon: cannot write %s (a chart without samples has no CSV)\n", cmd.output);
                rc = 1;
            } else {
                Complain("Tallon: wrote %s (comma-separated text)\n", cmd.output);
            }
        } else if (cmd.kind == TallonCommandLine::Kind::ExportReport) {
            QString error;
            if (!ExportReport(doc, cmd.output, &error)) {
                Complain("Tallon: %s\n", error);
                rc = 1;
            } else {
                Complain("Tallon: wrote %s (report)\n", cmd.output);
            }
        } else {
            const QSize size = cmd.size.isValid() ? cmd.size : zyn::display::kDefaultExportSize;
            if (!zyn::display::ExportChartImage(doc, size, cmd.output)) {
                Complain("Tallon: cannot write the image %s\n", cmd.output);
                rc = 1;
            } else {
                std::fprintf(stderr, "Tallon: wrote %s (%dx%d image)\n", cmd.output.toLocal8Bit().constData(),
                             size.width(), size.height());
            }
        }
    }
    context.Close();
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const TallonCommandLine cmd = ParseTallonCommandLine(args);
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
        cmd.kind == TallonCommandLine::Kind::ExportReport)
        return Export(cmd, argc, argv);

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallon"));
    // The desktop matches the windows to the installed desktop entry, and shows its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zynthar.Tallon"));
    CTallonApp app;
    int exitCode = 0;
    if (!app.InitInstance(cmd, exitCode)) {
        // A failure before any window is up would otherwise end the program without a word.
        if (exitCode != 0 && !app.LastError().isEmpty()) Complain("Tallon: %s\n", app.LastError());
        app.ExitInstance();
        return exitCode;
    }
    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
