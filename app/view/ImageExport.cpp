#include "ImageExport.h"

#include "ChartRenderSource.h"
#include "display/ChartRenderer.h"
#include "document/CTallonChart.h"

#include <QPainter>
#include <QRegularExpression>

namespace zyn::display {

namespace {
constexpr int kMaxSide = 16384; // keeps a typo from asking for gigabytes
}

QImage RenderChartImage(CTallonChart& doc, QSize size) {
    if (size.isEmpty() || size.width() > kMaxSide || size.height() > kMaxSide) return {};
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    CChartRenderer renderer;
    renderer.CopyViewSettings(doc.Settings());
    renderer.scrollX = 0;
    const ChartRenderInput in = GatherRenderInput(doc);
    renderer.ResolveAllDataSpan(in);
    QPainter painter(&image);
    const QRect area(QPoint(0, 0), size);
    renderer.Draw(painter, area, area, in);
    return image;
}

bool ExportChartImage(CTallonChart& doc, QSize size, const QString& path) {
    const QImage image = RenderChartImage(doc, size);
    return !image.isNull() && image.save(path);
}

QSize ParseImageSize(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch()) return {};
    const int w = match.captured(1).toInt(), h = match.captured(2).toInt();
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return {};
    return {w, h};
}

} // namespace zyn::display
