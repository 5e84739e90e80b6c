#include "ImageExport.h"

#include "ChartRenderSource.h"
#include "display/ChartRenderer.h"
#include "document/CTallonChart.h"

#include "utils/ZynFiles.h"
#include "utils/ZynPng.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
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

bool ExportChartImage(CTallonChart& doc, QSize size, const std::string& path, std::string* error,
                      std::vector<std::string>* notes) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    const QImage image = RenderChartImage(doc, size);
    if (image.isNull()) return fail("the image size is not one that can be drawn");
    // Encoded in memory first: the file is written by the saver alone, which checks every write.
    const QByteArray suffix =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).suffix().toLower().toLatin1();
    // PNG, the usual case and the fallback for unknown suffixes, is encoded for speed; asking Qt
    // for its formats would load the metadata of every image plugin first.
    if (suffix == "png" || !QImageWriter::supportedImageFormats().contains(suffix)) {
        const QImage rgb =
            image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
        const std::vector<std::uint8_t> png = ZynEncodePng(rgb.constBits(), rgb.width(), rgb.height(),
                                                           static_cast<std::size_t>(rgb.bytesPerLine()),
                                                           rgb.dotsPerMeterX(), rgb.dotsPerMeterY());
        if (png.empty()) return fail("the image cannot be encoded: out of memory");
        return ZynSaveFile(path, std::span(png.data(), png.size()), error, notes);
    }
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, suffix);
    if (!writer.write(image))
        return fail("the image cannot be encoded: " + writer.errorString().toStdString());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(encoded.constData());
    return ZynSaveFile(path, std::span(bytes, std::size_t(encoded.size())), error, notes);
}

bool ExportChartImage(CTallonChart& doc, QSize size, const QString& path, std::string* error,
                      std::vector<std::string>* notes) {
    return ExportChartImage(doc, size, QFile::encodeName(path).toStdString(), error, notes);
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
