#pragma once
// Headless image export: a chart rendered as its chart view shows it right after opening (the
// document's settings and zoom, the start of the recording at the left edge), into an image file
// whose format follows the file name (PNG for ".png"). Needs a QGuiApplication; the offscreen
// platform is enough. Used by `Tallon --export-image CHART.tlon OUT.png [--size WxH]`.

#include <QImage>
#include <QSize>
#include <QString>

class CTallonChart;

namespace zyn::display {

inline constexpr QSize kDefaultExportSize{800, 500};

// The chart as an image of `size` pixels (a null image for an empty size).
QImage RenderChartImage(CTallonChart& doc, QSize size = kDefaultExportSize);
// Renders and writes the image; false when the size is empty or the file cannot be written.
[[nodiscard]] bool ExportChartImage(CTallonChart& doc, QSize size, const QString& path);
// "WxH" (e.g. "1024x600") to a size; an invalid size for anything else or a side outside 1..16384.
QSize ParseImageSize(const QString& text);

} // namespace zyn::display
