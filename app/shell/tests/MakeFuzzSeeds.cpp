// Not a test: writes the seeds of the fuzz targets from charts the program records and saves, so
// that every fuzzer starts from files as they really are (fuzz/corpus/README).
//   MakeFuzzSeeds CORPUS_FOLDER
// Each chart file is saved by the program's own save; the seeds of the other targets are cut from
// those files: the settings record, and the chart records unpacked.

#include "com/ccombstr.h"
#include "com/variant.h"
#include "display/ChartFonts.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/ChartFile.h"
#include "exchange/CsvImport.h"
#include "shell/ChartWindowDocument.h"
#include "utils/ZynGrowBuff.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

bool Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LONG Count(IZynChannel* channel) {
    CComPtr<IZynDataSet> data;
    LONG n = 0;
    if (SUCCEEDED(channel->get_Data(&data)) && data) data->get_Count(&n);
    return n;
}

// Samples until every channel has `samples` values.
bool Record(CTallonChart& doc, LONG samples) {
    doc.Chart()->put_Run(1);
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        bool done = true;
        for (const auto& c : doc.Channels())
            done = done && Count(c) >= samples;
        if (done || timer.elapsed() > 20000) break;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    doc.Chart()->put_Run(0);
    return timer.elapsed() <= 20000;
}

// The seeds of one saved chart file: itself for chartfile_fuzz (mode byte 0: a chart file), its
// settings record for settings_fuzz, and its unpacked records for render_fuzz and records_fuzz.
bool Seeds(const std::string& corpus, const std::string& name, const std::string& file) {
    const Bytes bytes = Read(file);
    zyn::chartfile::ChartFileParts parts;
    if (zyn::chartfile::ParseChartFile(bytes, parts) != zyn::chartfile::ChartFileError::None) return false;
    CZynGrowBuff records;
    records.Write(parts.chart.data(), static_cast<unsigned long>(parts.chart.size()));
    if (!records.Decompress()) return false;
    const Bytes unpacked(records.GetBuffer(), records.GetBuffer() + records.GetSize());
    const Bytes settings(parts.settings.begin(), parts.settings.end());

    Bytes chartfile{0};
    chartfile.insert(chartfile.end(), bytes.begin(), bytes.end());
    Bytes render{200, 120, std::uint8_t(settings.size() / 2)};
    render.insert(render.end(), settings.begin(), settings.end());
    render.insert(render.end(), unpacked.begin(), unpacked.end());
    Bytes recordsSeed{0};
    recordsSeed.insert(recordsSeed.end(), unpacked.begin(), unpacked.end());
    return Write(corpus + "/chartfile_fuzz/real_" + name, chartfile) &&
           Write(corpus + "/settings_fuzz/real_" + name, settings) &&
           Write(corpus + "/render_fuzz/real_" + name, render) &&
           Write(corpus + "/records_fuzz/real_" + name, recordsSeed);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication qapp(argc, argv);
    if (argc < 2) {
        std::fputs("usage: MakeFuzzSeeds CORPUS_FOLDER\n", stderr);
        return 2;
    }
    const std::string corpus = argv[1];
    const std::string scratch = corpus + "/.scratch.tlon";
    CAppContext context;
    int failures = 0;
    {
        // Two live counters sampled by the chart's thread, with an event that was stopped and one
        // still running when the chart was saved.
        CTallonChart doc(context);
        doc.AddChannelByPath(QStringLiteral("\\Processor(_Total)\\% Processor Time"));
        doc.AddChannelByPath(QStringLiteral("\\Memory\\% Committed Bytes In Use"));
        doc.Chart()->put_Rate(100);
        CComPtr<IZynEvent> stopped, running;
        doc.Chart()->AddEvent(CComBSTR(u"warm-up"), &stopped);
        failures += !Record(doc, 6);
        if (stopped) stopped->Stop();
        doc.Chart()->AddEvent(CComBSTR(u"steady"), &running);
        failures += !Record(doc, 12);
        doc.Chart()->put_Comment(CComBSTR(u"two counters, two events"));
        failures += !zyn::shell::SaveChartFile(doc, QString::fromStdString(scratch));
        failures += !Seeds(corpus, "live_counters", scratch);
    }
    {
        // Imported text: static channels with names and gaps, in clock-time mode with other colours.
        CTallonChart doc(context);
        failures += !zyn::csv::ImportText(doc.Chart(), u"Time,Disk Reads,Disk Writes,Queue\n"
                                                       u"10:00:00,12.5,3,0\n10:00:01,,4,1\n"
                                                       u"10:00:02,14,,2\n10:00:03,9.25,7,0\n");
        doc.Settings().timeMode = 0;
        doc.Settings().ColorBackGround = 0x202020;
        doc.Settings().gridPaletteIndex = 3;
        doc.Settings().XGridLines = 1;
        doc.Settings().YGridLines = 1;
        failures += !zyn::shell::SaveChartFile(doc, QString::fromStdString(scratch));
        failures += !Seeds(corpus, "imported_text", scratch);
    }
    {
        // A live counter beside a static channel fed by a script, at a fifth of a second.
        CTallonChart doc(context);
        doc.AddChannelByPath(QStringLiteral("\\System\\Processes"));
        CComPtr<IZynChannel> fed;
        doc.Chart()->AddStaticChannel(&fed);
        fed->put_Name(CComBSTR(u"fed by a script"));
        fed->put_Units(CComBSTR(u"widgets"));
        LONG n = 0;
        for (int i = 0; i < 10; ++i)
            fed->AddValueRelTime(i * 1.5, i * 200, &n);
        doc.Chart()->put_Rate(200);
        failures += !Record(doc, 5);
        failures += !zyn::shell::SaveChartFile(doc, QString::fromStdString(scratch));
        failures += !Seeds(corpus, "live_and_static", scratch);
    }
    std::remove(scratch.c_str());
    context.Close();
    std::printf("%s\n", failures ? "some seeds could not be made" : "seeds written");
    return failures ? 1 : 0;
}
