// A chart from untrusted bytes drawn as the program draws it: the records of a chart (as SaveChart
// writes them before packing) are loaded through the application object into a chart document
// with a settings record from the same input, checked as a chart file is, and rendered into a
// small image of a size the input picks.
//
// Input: width, height (one byte each), the length of the settings record (one byte, times two,
// at most 324), that many settings bytes, then the chart records.

#include "OffscreenGui.h"

#include "display/ChartFonts.h"
#include "display/ChartSettings.h"
#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/ChartFile.h"
#include "view/ImageExport.h"

#include "com/errorinfo.h"
#include "utils/ZynGrowBuff.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Host {
    std::string store;
    std::unique_ptr<CAppContext> context;
};

Host& TheHost() {
    static Host* host = [] {
        auto* h = new Host;
        // A settings store of the target's own, removed at exit: the object library registers
        // itself there.
        std::string folder = (std::filesystem::temp_directory_path() / "render_fuzz-store-XXXXXX").string();
        if (!::mkdtemp(folder.data())) __builtin_trap();
        h->store = folder;
        ::setenv("ZYN_REGISTRY_DIR", h->store.c_str(), 1);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(TheHost().store, ec);
        });
        OffscreenGuiApp();
        h->context = std::make_unique<CAppContext>();
        return h;
    }();
    return *host;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Host& host = TheHost();
    if (size < 3) return 0;
    const int width = 8 + data[0] % 248, height = 8 + data[1] % 248;
    const std::size_t settingsLength = std::min<std::size_t>(std::size_t(data[2]) * 2, ChartSettings::kBytes);
    data += 3;
    size -= 3;
    if (size < settingsLength) return 0;
    const std::uint8_t* settings = data;
    data += settingsLength;
    size -= settingsLength;

    CZynGrowBuff records;
    if (size > 0) records.Write(data, static_cast<unsigned long>(size));
    if (!records.Compress(3)) return 0;
    const std::vector<std::uint8_t> packed(records.GetBuffer(), records.GetBuffer() + records.GetSize());

    CComPtr<IZynApp> app = host.context->App();
    if (!app) __builtin_trap();
    std::string partial;
    CComPtr<IZynChart> chart = zyn::chartfile::LoadChartBytes(app, packed, &partial);
    SetErrorInfo(0, nullptr);
    if (!chart) return 0;
    // What a chart file with such times is refused for never reaches a window.
    if (!zyn::chartfile::ChartTimesAreDates(chart)) {
        chart->Detach();
        return 0;
    }
    {
        CTallonChart doc(*host.context);
        if (settingsLength > 0 && ReadChartSettings(settings, settingsLength, doc.Settings()))
            FinishChartSettings(doc.Settings(), true, 0xFFFFFF);
        doc.AttachChart(chart);
        const QImage image = zyn::display::RenderChartImage(doc, QSize(width, height));
        if (image.size() != QSize(width, height)) __builtin_trap();
    }
    chart->Detach();
    return 0;
}
