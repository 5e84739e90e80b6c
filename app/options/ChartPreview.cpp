#include "ChartPreview.h"

#include "display/ChartColours.h"
#include "display/ChartFonts.h"
#include "display/ChartRenderer.h"
#include "display/DisplayFormat.h"
#include "document/AppContext.h"

#include "com/variant.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

// 09:00 on a fixed day: clock-time labels read as ordinary times of day.
constexpr double kSampleStart = 45000.0 + 9.0 / 24.0;

void AddSampleChannel(IZynChart* chart, COLORREF colour, int width, double (*f)(int second),
                      std::vector<ChartChannelView>& out) {
    CComPtr<IZynChannel> channel;
    if (FAILED(chart->AddStaticChannel(&channel)) || !channel) return;
    for (int s = 0; s <= CPreviewSample::kMinutes * 60; s += 2) {
        LONG count = 0;
        channel->AddValueRelTime(f(s), s * 1000, &count);
    }
    ChartChannelView view;
    view.color = colour;
    view.width = width;
    channel->get_Data(&view.data);
    if (view.data) view.data.QueryInterface(&view.dataPrivate);
    if (view.dataPrivate) out.push_back(std::move(view));
}

// The report's title band and box shades (their defaults).
constexpr int kTitleShade = 64;
constexpr int kBoxShade = 32;

} // namespace

CPreviewSample::CPreviewSample(CAppContext& context)
    : m_chart(context.NewDetachedChart()), m_start(kSampleStart) {
    if (!m_chart) return;
    CComVariant start(kSampleStart);
    start.vt = VT_DATE;
    start.date = kSampleStart;
    m_chart->put_StartTime(start);
    AddSampleChannel(
        m_chart, 0x0000FF, 1, [](int s) { return 55.0 + 30.0 * std::sin(s / 14.0); }, m_channels);
    AddSampleChannel(
        m_chart, 0x00FF00, 2, [](int s) { return 20.0 + s / 4.0 + 6.0 * std::sin(s / 5.0); }, m_channels);
}

CPreviewSample::~CPreviewSample() {
    m_channels.clear();
    if (m_chart) m_chart->Clear();
}

double CPreviewSample::Span() const {
    return kMinutes / 1440.0;
}

ChartRenderInput CPreviewSample::Input(ChartSettings& settings) const {
    ChartRenderInput in;
    in.settings = &settings;
    in.chartStartTime = m_start;
    in.chartLastTime = m_start + Span();
    in.documentCreated = m_start;
    in.channels = m_channels;
    return in;
}

CChartPreview::CChartPreview(Kind kind, ChartSettings& working, std::shared_ptr<const CPreviewSample> sample,
                             QWidget* parent)
    : QFrame(parent), m_kind(kind), m_working(working), m_sample(std::move(sample)) {
    setFrameShape(QFrame::StyledPanel);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CChartPreview::SetPrintView(int orientation, bool friendly) {
    m_orientation = orientation;
    m_friendly = friendly;
    update();
}

QSize CChartPreview::sizeHint() const {
    const int h = fontMetrics().height();
    return {h * 22, h * 11};
}

QSize CChartPreview::minimumSizeHint() const {
    const int h = fontMetrics().height();
    return {h * 12, h * 7};
}

QImage CChartPreview::Render(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    Paint(painter, image.rect());
    return image;
}

void CChartPreview::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    Paint(painter, contentsRect());
}

void CChartPreview::Paint(QPainter& painter, const QRect& area) const {
    if (area.width() < 8 || area.height() < 8) return;
    if (m_orientation == kNoPage) {
        PaintContent(painter, area, m_working);
        return;
    }
    // A sheet of paper in the orientation chosen (the printer's default is drawn upright, in
    // outline only), with the content at the scale of a page.
    const bool landscape = m_orientation == 0;
    const double aspect = landscape ? 297.0 / 210.0 : 210.0 / 297.0;
    QRect page = area.adjusted(6, 6, -8, -8);
    if (page.width() > page.height() * aspect)
        page.setWidth(int(page.height() * aspect));
    else
        page.setHeight(int(page.width() / aspect));
    page.moveCenter(area.center());
    painter.fillRect(page.translated(3, 3), palette().color(QPalette::Shadow));
    painter.fillRect(page, Qt::white);
    painter.setPen(
        QPen(palette().color(QPalette::WindowText), 1, m_orientation == 2 ? Qt::DashLine : Qt::SolidLine));
    painter.drawRect(page);
    const int margin = std::max(3, page.width() / 14);
    const QRect content = page.adjusted(margin, margin, -margin, -margin);

    ChartSettings paper;
    CopySettings(paper, m_working);
    paper.chartPrinterFriendly = m_kind == Kind::Chart && m_friendly;
    paper.reportPrinterFriendly = m_kind == Kind::Report && m_friendly;
    const int dpi = std::max(1, painter.device()->logicalDpiY());
    AdaptForPrinter(paper, dpi, dpi);
    // The page is drawn as a page of paper would hold it: laid out at a page's width in screen
    // text, then shrunk into the picture.
    const int pageWidth = std::max(content.width(), fontMetrics().height() * (landscape ? 30 : 20));
    const double scale = double(content.width()) / pageWidth;
    painter.save();
    painter.translate(content.topLeft());
    painter.scale(scale, scale);
    PaintContent(painter, QRect(0, 0, pageWidth, int(content.height() / scale)), paper);
    painter.restore();
    ReleaseFonts(paper);
}

void CChartPreview::PaintContent(QPainter& painter, const QRect& area, ChartSettings& s) const {
    painter.save();
    painter.setClipRect(area);
    if (m_kind == Kind::Chart)
        PaintChart(painter, area, s);
    else
        PaintReport(painter, area, s);
    painter.restore();
}

void CChartPreview::PaintChart(QPainter& painter, const QRect& area, ChartSettings& s) const {
    painter.fillRect(area, ToQColor(s.ColorBackGround));
    if (!m_sample) return;
    CChartRenderer renderer;
    renderer.CopyViewSettings(s);
    // The preview always shows its whole sample, whatever span the chart is zoomed to.
    renderer.timeSpan = m_sample->Span();
    renderer.printingPage = m_orientation != kNoPage;
    const ChartRenderInput in = m_sample->Input(s);
    painter.save();
    painter.translate(area.topLeft());
    const QRect local(QPoint(0, 0), area.size());
    renderer.Draw(painter, local, local, in);
    painter.restore();
}

// A section of the report as the report page draws it: a shaded box with a title band, an
// outline and label/value rows with dotted leaders.
void CChartPreview::PaintReport(QPainter& painter, const QRect& area, ChartSettings& s) const {
    const COLORREF background = s.reportBackgroundColour;
    painter.fillRect(area, ToQColor(background));
    const QFont font = ReportFont(s);
    QFont titleFont = font;
    if (titleFont.pixelSize() > 0)
        titleFont.setPixelSize(titleFont.pixelSize() * 3 / 2);
    else
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    const QFontMetrics titleMetrics(titleFont, painter.device());
    const QFontMetrics rowMetrics(font, painter.device());
    const int hh = titleMetrics.height();
    const int m = std::max(2, hh / 2);
    const QRect inner = area.adjusted(area.width() / 50 + m, m, -(area.width() / 50 + m), -m);
    const QStringList labels = {QStringLiteral("Report was created on"),
                                QStringLiteral("Current sample rate"), QStringLiteral("Number of channels")};
    const QStringList values = {FormatTimeDate(kSampleStart), QStringLiteral("1,000.00 milliSeconds"),
                                QStringLiteral("2")};
    const int total = hh + int(labels.size()) * rowMetrics.height();
    const QRect box(QPoint(inner.left() - m, inner.top() - m),
                    QPoint(inner.right() + m, inner.top() - m + 2 * m + total));
    painter.fillRect(box, ToQColor(ContrastShift(background, kBoxShade)));
    painter.fillRect(QRect(box.topLeft(), QPoint(box.right(), box.top() + m / 2 + m + hh)),
                     ToQColor(ContrastShift(background, kTitleShade)));
    painter.setPen(ToQColor(AutoTextColour(background)));
    painter.drawRect(box);

    const QColor text = ToQColor(EffectiveReportTextColour(s));
    painter.setPen(text);
    painter.setFont(titleFont);
    painter.drawText(QRect(inner.left(), inner.top(), inner.width(), hh), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Chart-1"));
    painter.setFont(font);
    int y = inner.top() + m / 2 + hh;
    const int middle = inner.left() + inner.width() / 2;
    const int rowHeight = rowMetrics.height();
    for (int i = 0; i < labels.size(); ++i) {
        const int x = inner.left() + inner.width() / 25;
        painter.setPen(text);
        painter.drawText(QRect(x, y, middle - x, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, labels[i]);
        painter.drawText(QRect(middle, y, inner.right() - middle, rowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, values[i]);
        const int labelEnd = x + rowMetrics.horizontalAdvance(labels[i]) + rowHeight / 2;
        if (labelEnd < middle - rowHeight / 2) {
            painter.setPen(QPen(text, 0, Qt::DotLine));
            painter.drawLine(labelEnd, y + rowHeight / 2, middle - rowHeight / 2, y + rowHeight / 2);
        }
        y += rowHeight;
    }
}
