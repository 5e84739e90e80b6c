// Arbitrary bytes through the chart file reader, the chart loader behind it and the CSV export of
// what loaded (both time forms) and, read as UTF-16 text, through ImportText into a real chart. The
// seeds are chart files the program saved (fuzz/corpus/README).

#include "exchange/ChartFile.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "exchange/CsvTime.h"

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"

#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool init = [] {
        std::setlocale(LC_ALL, "C.UTF-8");
        return true;
    }();
    (void)init;
    static CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();

    if (size > 0 && (data[0] & 1) == 0) {
        zyn::chartfile::ChartFileParts parts;
        const std::span<const std::uint8_t> bytes(data + 1, size - 1);
        if (zyn::chartfile::ParseChartFile(bytes, parts) == zyn::chartfile::ChartFileError::None) {
            if (parts.chart.size() > bytes.size() || parts.settings.size() > zyn::chartfile::kSettingsBytes)
                __builtin_trap();
            std::string partial;
            if (CComPtr<IZynChart> chart = zyn::chartfile::LoadChartBytes(app, parts.chart, &partial)) {
                std::string why;
                const bool dated = zyn::chartfile::ChartTimesAreDates(chart, &why);
                for (const bool ms : {false, true}) {
                    std::string text;
                    zyn::csv::CsvOptions options;
                    options.milliseconds = ms;
                    zyn::csv::CsvReport report;
                    // A text is made only of a chart whose every time is a date.
                    if (zyn::csv::WriteChartCsv(chart, text, options, &report) && !dated) __builtin_trap();
                }
                chart->Detach();
            }
        }
        return 0;
    }
    std::u16string text;
    const std::size_t n = size > 0 ? (size - 1) / 2 : 0;
    text.resize(n);
    if (n) std::memcpy(text.data(), data + 1, n * 2);
    CComPtr<IZynChart> chart;
    app->AddChart(&chart);
    zyn::csv::ImportOptions options;
    options.today = 45000.0;
    (void)zyn::csv::ImportText(chart, text, options);
    zyn::csv::CCsvTimeReader reader;
    reader.SetToday(45000.0);
    (void)reader.Parse(text.substr(0, 64));
    chart->Detach();
    return 0;
}
