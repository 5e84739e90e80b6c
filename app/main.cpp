// Tallon: the program. The window modes start the application; the export modes run without a
// window and end with 0 on success.

#include "ChartFile.h"
#include "CsvExport.h"
#include "MainFrame.h"
#include "TallonApp.h"
#include "TallonAppChartDocument.h"
#include "TallonAppContext.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

int ExportCsv(const TallonCommandLine& cmd) {
    using namespace zyn::chartfile;
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(cmd.file.toStdString(), bytes)) {
        std::fprintf(stderr, "Tallon: cannot read %s\n", cmd.file.toLocal8Bit().constData());
        return 1;
    }
    ChartFileParts parts;
    if (ParseChartFile(bytes, parts) != ChartFileError::None) {
        std::fprintf(stderr, "Tallon: %s is not a chart file\n", cmd.file.toLocal8Bit().constData());
        return 1;
    }
    IZynApp* app = CTallonAppContext::Instance().App();
    CComPtr<IZynChart> chart = LoadChartBytes(app, parts.chart);
    if (!chart) {
        std::fprintf(stderr, "Tallon: the chart in %s cannot be loaded\n", cmd.file.toLocal8Bit().constData());
        return 1;
    }
    const bool ok = zyn::csv::SaveCsv(cmd.output.toStdString(), chart);
    chart->Detach();
    if (!ok) std::fprintf(stderr, "Tallon: cannot write %s (a chart without samples has no CSV)\n", cmd.output.toLocal8Bit().constData());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const TallonCommandLine cmd = ParseTallonCommandLine(args);
    if (cmd.kind == TallonCommandLine::Kind::Invalid) {
        std::fprintf(stderr, "Tallon: %s\n", cmd.error.toLocal8Bit().constData());
        return 2;
    }
    if (cmd.kind == TallonCommandLine::Kind::ExportCsv) {
        const int rc = ExportCsv(cmd);
        CTallonAppContext::Instance().ReleaseObjects();
        return rc;
    }
    if (cmd.kind == TallonCommandLine::Kind::ExportImage) {
        std::fprintf(stderr, "Tallon: image export is not part of this build yet\n");
        return 1;
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallon"));
    CTallonApp app;
    app.SetDocumentFactory([&app](QObject* parent) { return new CTallonAppChartDocument(&app, parent); });
    int exitCode = 0;
    if (!app.InitInstance(cmd, exitCode)) {
        app.ExitInstance();
        return exitCode;
    }
    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
