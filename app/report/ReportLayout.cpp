#include "ReportLayout.h"

#include "display/ChartColours.h"
#include "display/ChartFonts.h"

#include "utils/ZynRegistry.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace {

constexpr int kTallText = 1 << 24; // room enough for any measured text
constexpr int kTitleFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
constexpr int kRowFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
constexpr int kFullRowFlags = kRowFlags | Qt::TextExpandTabs;

// Texts wrap between words, and inside a word only when it is wider than its column on its own
// (an identifier or a path): nothing runs past its column into the next.
QTextOption TextOption(int flags) {
    QTextOption option(Qt::Alignment(flags & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
    option.setWrapMode((flags & Qt::TextWordWrap) ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                                  : QTextOption::NoWrap);
    return option;
}

void DrawText(QPainter& painter, const QRect& rect, int flags, const QString& text) {
    painter.drawText(QRectF(rect), text, TextOption(flags));
}

int ShadeOrDefault(CZynRegistry* reg, const char16_t* name, int def) {
    const DWORD v = reg ? reg->ReadDWord(name, DWORD(def)) : DWORD(def);
    return v >= 1 && v <= 254 ? int(v) : def;
}

// The geometry of one section, as it is drawn and as pagination weighs it.
struct SectionGeometry {
    ReportSectionBox box;
    int m = 0;     // half the title height: the box's margin
    int total = 0; // title and rows
};

class CLayouter {
public:
    CLayouter(QPainter& painter, const QRect& rect, const ReportStyle& style)
        : m_painter(painter), m_style(style), m_width(rect.width()), m_left(rect.left() + rect.width() / 50),
          m_right(rect.left() + rect.width() - rect.width() / 50) {}

    // The section laid out with its title at `top`.
    SectionGeometry Measure(const CReportSection& s, int top) {
        SectionGeometry g;
        ReportSectionBox& b = g.box;
        b.section = &s;
        const int left = m_left + m_width * s.Level() / 50;
        const int width = std::max(1, m_right - left);
        const SizedFont& titleFont = FontFor(s.FontSize());
        b.titleFont = titleFont.font;
        const QRect title = Bounds(titleFont, QRect(left, 0, width, kTallText), kTitleFlags, s.Text());
        const int hh = title.height();
        g.m = hh / 2;

        int rowsHeight = 0;
        for (const auto& row : s.Rows()) {
            ReportRowBox r = MeasureRow(*row, s.Level(), left, width);
            rowsHeight += r.label.united(r.value).height();
            b.rows.push_back(std::move(r));
        }
        g.total = hh + rowsHeight;

        b.box = QRect(left - g.m, top - g.m, width + 2 * g.m, 2 * g.m + g.total);
        b.band = QRect(b.box.left(), b.box.top(), b.box.width(), g.m / 2 + g.m + hh);
        b.title = QRect(left, top, width, hh);
        int y = top + g.m / 2 + hh;
        for (ReportRowBox& r : b.rows) {
            const int h = r.label.united(r.value).height();
            const int dy = y - r.label.top();
            r.label.translate(0, dy);
            r.value.translate(0, dy);
            if (!r.leader.isNull()) r.leader.translate(0, dy);
            y += h;
        }
        return g;
    }

private:
    // The report font at a size, with the metrics of the painter's device, made once per layout.
    struct SizedFont {
        QFont font;
        QFontMetrics metrics;
        int line = 0; // the height a one-line text takes
    };
    const SizedFont& FontFor(int percent) {
        auto it = m_fonts.find(percent);
        if (it == m_fonts.end()) {
            QFont font = m_style.FontAt(percent);
            QFontMetrics metrics(font, m_painter.device());
            m_painter.setFont(font);
            const QRectF probe = m_painter.boundingRect(QRectF(0, 0, kTallText, kTallText),
                                                        QStringLiteral("X"), TextOption(kRowFlags));
            const int line = std::max(metrics.height(), int(std::ceil(probe.height())));
            it = m_fonts.emplace(percent, SizedFont{font, metrics, line}).first;
        }
        return it->second;
    }

    // The room's column, as high as the text needs (a line at least, even for an empty text). Most
    // texts fit on one line, which their advance tells without laying them out.
    QRect Bounds(const SizedFont& f, const QRect& room, int flags, const QString& text) {
        int height = f.line;
        const bool plain = !text.contains(u'\n') && !text.contains(u'\t') && !text.contains(u'\r');
        if (!plain || f.metrics.horizontalAdvance(text) > room.width()) {
            m_painter.setFont(f.font);
            const QRectF needed = m_painter.boundingRect(QRectF(room), text, TextOption(flags));
            height = std::max(height, int(std::ceil(needed.height())));
        }
        return QRect(room.left(), room.top(), room.width(), height);
    }

    ReportRowBox MeasureRow(const CReportRow& row, int level, int left, int width) {
        ReportRowBox r;
        r.row = &row;
        const SizedFont& f = FontFor(row.FontSize());
        r.font = f.font;
        if (row.FullWidth()) {
            r.textFlags = kFullRowFlags;
            r.label = Bounds(f, QRect(left, 0, width, kTallText), r.textFlags, row.Label());
            return r;
        }
        r.textFlags = kRowFlags;
        const int middle = left + width / 2;
        const int labelLeft = left + m_width / 50 * (level + 1);
        // A long label or value wraps in its own column instead of running into the next.
        const int labelWidth = std::max(1, middle - labelLeft - m_width / 100);
        r.label = Bounds(f, QRect(labelLeft, 0, labelWidth, kTallText), r.textFlags, row.Label());
        if (row.Value().isEmpty()) return r;
        r.value = Bounds(f, QRect(middle, 0, std::max(1, left + width - middle), kTallText), r.textFlags,
                         row.Value());
        // The leader follows a label of one line, from its end to the value column.
        const int h = f.line;
        if (r.label.height() <= h) {
            const int from = labelLeft + f.metrics.horizontalAdvance(row.Label()) + h / 2;
            const int to = middle - h / 2;
            if (from < to) r.leader = QLine(from, h / 2, to, h / 2);
        }
        return r;
    }

    QPainter& m_painter;
    const ReportStyle& m_style;
    const int m_width;
    const int m_left, m_right;
    std::map<int, SizedFont> m_fonts;
};

void Place(CLayouter& layouter, const CReportSection& s, int page, int rectTop, int& top, ReportLayout& out) {
    if (page <= 0 || s.Page() == page) {
        SectionGeometry probe = layouter.Measure(s, top);
        if (top == rectTop) probe = layouter.Measure(s, top += probe.m);
        top = probe.box.box.bottom() + 1 + 2 * probe.m;
        out.height = std::max(out.height, probe.box.box.bottom() + 1 - rectTop);
        out.sections.push_back(std::move(probe.box));
    }
    for (const auto& child : s.Children())
        Place(layouter, *child, page, rectTop, top, out);
}

struct PageState {
    int count = 0;
    int used = 0; // bottom of the last box on the current page, from the page's top
    int gap = 0;  // what the last box leaves below itself: twice its margin
};

void Paginate(CLayouter& layouter, CReportSection& s, int pageHeight, PageState& state) {
    const SectionGeometry g = layouter.Measure(s, 0);
    // The first box of a page starts at its top (its title half a title below); a later one's
    // title starts the previous box's gap below that box, its own margin above the title.
    const int alone = 2 * g.m + g.total;
    const int after = state.used + state.gap + g.m + g.total;
    if (s.Level() == 1 || state.count == 0 || after > pageHeight) {
        ++state.count;
        state.used = alone;
    } else {
        state.used = after;
    }
    state.gap = 2 * g.m;
    s.SetPage(state.count);
    for (const auto& child : s.Children())
        Paginate(layouter, *child, pageHeight, state);
}

} // namespace

ReportShades ReportShades::FromRegistry() {
    ReportShades shades;
    CZynRegistry* reg = GetUserReg(u"Settings");
    shades.titleBand = ShadeOrDefault(reg, u"ReportBk1", shades.titleBand);
    shades.box = ShadeOrDefault(reg, u"ReportBk2", shades.box);
    if (reg) ReleaseReg(reg);
    return shades;
}

ReportStyle ReportStyle::FromSettings(ChartSettings& settings, int dpiY, ReportShades shades) {
    ReportStyle style;
    style.font = ReportFont(settings);
    style.logFont =
        settings.reportFontSlot ? settings.reportFontSlot->logFont : settings.chartFontSlot->logFont;
    style.dpiY = dpiY > 0 ? dpiY : 96;
    style.background = settings.reportBackgroundColour;
    style.text = EffectiveReportTextColour(settings);
    style.shades = shades;
    return style;
}

QFont ReportStyle::FontAt(int percent) const {
    if (percent == CReportSection::kDefaultFontSize) return font;
    // Through points at the target's resolution, in whole numbers: the cell height of the size.
    const int points = -MulDiv(std::abs(logFont.lfHeight), 72, dpiY);
    ZynLogFont lf = logFont;
    lf.lfHeight = std::max(1, MulDiv(points * percent / -100, dpiY, 72));
    return CreateFontFromLogFont(lf);
}

ReportLayout LayoutReport(QPainter& painter, const QRect& rect, const CReportSection& root,
                          const ReportStyle& style, int page) {
    ReportLayout layout;
    painter.save();
    CLayouter layouter(painter, rect, style);
    int top = rect.top();
    for (const auto& s : root.Children())
        Place(layouter, *s, page, rect.top(), top, layout);
    painter.restore();
    return layout;
}

int PaginateReport(QPainter& painter, const QRect& pageRect, CReportSection& root, const ReportStyle& style) {
    painter.save();
    CLayouter layouter(painter, pageRect, style);
    PageState state;
    for (const auto& s : root.Children())
        Paginate(layouter, *s, pageRect.height(), state);
    painter.restore();
    return state.count;
}

void DrawReport(QPainter& painter, const ReportLayout& layout, const ReportStyle& style, const QRect& clip) {
    painter.save();
    const QColor text = ToQColor(style.text);
    const QColor boxFill = ToQColor(ContrastShift(style.background, style.shades.box));
    const QColor bandFill = ToQColor(ContrastShift(style.background, style.shades.titleBand));
    // Lines of a screen pixel at any resolution: on paper a device pixel is a hairline that a
    // preview drawing the page scaled down loses.
    const qreal pixel = std::max(1.0, style.dpiY / 96.0);
    const QPen outline(ToQColor(AutoTextColour(style.background)), pixel, Qt::SolidLine, Qt::SquareCap,
                       Qt::MiterJoin);
    // Dots of that size (the pattern counts in pen widths).
    QPen leader(text, pixel, Qt::CustomDashLine, Qt::FlatCap);
    leader.setDashPattern({1.0, 1.0});
    painter.setBackgroundMode(Qt::TransparentMode);
    for (const ReportSectionBox& s : layout.sections) {
        if (!clip.isEmpty() && !clip.intersects(s.box.adjusted(-1, -1, 1, 1))) continue;
        painter.fillRect(s.box, boxFill);
        painter.fillRect(s.band, bandFill);
        painter.setPen(outline);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(s.box.adjusted(0, 0, -1, -1));
        painter.setPen(text);
        painter.setFont(s.titleFont);
        DrawText(painter, s.title, kTitleFlags, s.section->Text());
        for (const ReportRowBox& r : s.rows) {
            painter.setFont(r.font);
            painter.setPen(text);
            DrawText(painter, r.label, r.textFlags, r.row->Label());
            if (r.value.isEmpty()) continue;
            DrawText(painter, r.value, r.textFlags, r.row->Value());
            if (r.leader.isNull()) continue;
            painter.setPen(leader);
            painter.drawLine(r.leader);
        }
    }
    painter.restore();
}
