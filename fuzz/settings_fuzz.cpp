// The 324-byte chart settings record comes from chart files and the settings store: arbitrary
// bytes (of any length up to the record's) are read over a default record, finished as a loaded
// one (fonts made from the stored descriptions, colours from the palette indices), written back,
// and drawn with: an empty chart and one of a few samples, into a small image. Reading what was
// written gives the same record again.

#include "display/ChartFonts.h"
#include "display/ChartRenderer.h"
#include "display/ChartSettings.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "settings_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    App();
    if (size > ChartSettings::kBytes) size = ChartSettings::kBytes;
    ChartSettings settings;
    if (!ReadChartSettings(data, size, settings)) return 0;
    FinishChartSettings(settings, true, 0xFFFFFF);

    const ChartSettingsBytes written = WriteChartSettings(settings);
    ChartSettings again;
    if (!ReadChartSettings(written.data(), written.size(), again)) __builtin_trap();
    if (WriteChartSettings(again) != written) __builtin_trap();

    CChartRenderer renderer;
    renderer.CopyViewSettings(settings);
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const QRect area(0, 0, 96, 64);
    ChartRenderInput empty;
    empty.settings = &settings;
    empty.chartStartTime = 45000.5;
    empty.chartLastTime = 45000.5 + 30.0 / 86400.0;
    renderer.Draw(painter, area, area, empty);
    return 0;
}
