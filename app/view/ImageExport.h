#pragma once
// Headless image export: a chart rendered as its chart view shows it right after opening (the
// document's settings and zoom, the start of the recording at the left edge), into an image file
// whose format follows the file name (PNG for ".png"). Needs a QGuiApplication; the offscreen
// platform is enough. Used by `Tallon --export-image CHART.tlon OUT.png [--size WxH]`.

#include <QImage>
#include <QSize>
#include <QString>

#include <string>
#include <vector>

class CTallonChart;

namespace zyn::display {

inline constexpr QSize kDefaultExportSize{800, 500};

// The chart as an image of `size` pixels (a null image for an empty size).
QImage RenderChartImage(CTallonChart& doc, QSize size = kDefaultExportSize);
// Renders the image, encodes it in the format the file name asks for (PNG for ".png", and PNG when
// the name says none) and writes it through the safe saver: a failure at any point keeps the
// previous file. `path` is bytes. False, with the reason, when the size is empty, the image cannot
// be encoded or the file cannot be written; `notes` gets what the saver said of a save that worked.
[[nodiscard]] bool ExportChartImage(CTallonChart& doc, QSize size, const std::string& path,
                                    std::string* error = nullptr, std::vector<std::string>* notes = nullptr);
// The same for a name from the user interface.
[[nodiscard]] bool ExportChartImage(CTallonChart& doc, QSize size, const QString& path,
                                    std::string* error = nullptr, std::vector<std::string>* notes = nullptr);
// "WxH" (e.g. "1024x600") to a size; an invalid size for anything else or a side outside 1..16384.
QSize ParseImageSize(const QString& text);

} // namespace zyn::display
