#include "Watermark.h"

#include "ChartColours.h"
#include "ChartFonts.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

int PainterDpiY(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
}

QRect DrawWatermark(QPainter& painter, int right, int bottom, int points, COLORREF colour) {
    QFont font = painter.font();
    font.setPixelSize(std::max(1, MulDiv(points, PainterDpiY(painter), 72)));
    const QFontMetrics metrics(font, painter.device());
    const QString text = QStringLiteral("Zynthar");
    const int width = metrics.horizontalAdvance(text);
    const QRect rect(right - width, bottom - metrics.height(), width, metrics.height());
    painter.save();
    painter.setFont(font);
    painter.setPen(ToQColor(colour));
    painter.drawText(QPoint(rect.left(), rect.top() + metrics.ascent()), text);
    painter.restore();
    return rect;
}
