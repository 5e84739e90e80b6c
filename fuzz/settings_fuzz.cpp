// The 324-byte chart settings record comes from chart files and the settings store: arbitrary
// bytes (of any length up to the record's) are read over a default record, finished as a loaded
// one (fonts made from the stored descriptions, colours from the palette indices), written back,
// and drawn with into a small image (the frame, axes and legend of a chart without samples).
// Reading what was written gives the same record again.

#include "OffscreenGui.h"

#include "display/ChartFonts.h"
#include "display/ChartRenderer.h"
#include "display/ChartSettings.h"

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    OffscreenGuiApp();
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
